#include <windows.h>

#include "host/logger.h"
#include "host/program_dir.h"
#include "host/strings.h"
#include "host/text_utils.h"

Strings* Strings::Instance() {
  static Strings* instance = new Strings();
  return instance;
}

int Strings::LoadDll() {
  wchar_t path[MAX_PATH];
  GetProgramDirectory(path);
  AppendText(path, MAX_PATH, L"strings.dll");
  Logger::Instance()->Write(L"Strings(): stringsDllPath: %ls", path);
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    Logger::Instance()->WriteError(GetLastError(), L"LoadLibraryEx strings dll  m_sHmod == NULL");
    return 0;
  }
  m_sHmod = module;
  return 1;
}

int Strings::GetString(unsigned id, wchar_t* out) {
  if (!out) return 0;
  CopyText(out, STRINGS_TEXT_MAX, L"String Not Found");
  if (!m_sHmod && !m_usingOwnTable) {
    if (!LoadDll()) {
      m_sHmod = GetModuleHandleW(nullptr);
      m_usingOwnTable = true;
    }
  }
  if (!m_sHmod) return 0;
  wchar_t text[STRINGS_TEXT_MAX];
  if (LoadStringW(static_cast<HMODULE>(m_sHmod), id, text, STRINGS_TEXT_MAX) <= 0) {
    Logger::Instance()->WriteError(GetLastError(), L"LoadString failed");
    return 0;
  }
  CopyText(out, STRINGS_TEXT_MAX, text);
  return 1;
}
