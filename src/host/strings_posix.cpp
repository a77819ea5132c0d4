#include "host/logger.h"
#include "host/strings.h"
#include "host/text_utils.h"

// Natively there is no strings library; the built-in table serves.
Strings* Strings::Instance() {
  static Strings* instance = new Strings();
  return instance;
}

int Strings::LoadDll() { return 0; }

int Strings::GetString(unsigned id, wchar_t* out) {
  CopyText(out, STRINGS_TEXT_MAX, L"String Not Found");
  const wchar_t* text = BuiltInString(id);
  if (!text) {
    Logger::Instance()->WriteError(0x716 /* ERROR_RESOURCE_NAME_NOT_FOUND */, L"LoadString failed");
    return 0;
  }
  CopyText(out, STRINGS_TEXT_MAX, text);
  return 1;
}
