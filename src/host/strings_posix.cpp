#include "host/logger.h"
#include "host/program_dir.h"
#include "host/strings.h"
#include "host/text_utils.h"

// Natively there is no strings library: the lookup logs the path it would
// load, as on Windows without the library, and the built-in table serves.
namespace {
constexpr uint32_t kFileNotFound = 2;          // ERROR_FILE_NOT_FOUND, as for a data-file load
constexpr uint32_t kResourceNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
}  // namespace

Strings* Strings::Instance() {
  static Strings* instance = new Strings();
  return instance;
}

int Strings::LoadDll() {
  wchar_t path[PROGRAM_PATH_MAX];
  GetProgramDirectory(path);
  AppendText(path, PROGRAM_PATH_MAX, L"strings.dll");
  Logger::Instance()->Write(L"Strings(): stringsDllPath: %ls", path);
  return LoadLibraryFile(path);
}

int Strings::LoadLibraryFile(const wchar_t*) {
  Logger::Instance()->WriteError(kFileNotFound, L"LoadLibraryEx strings dll  m_sHmod == NULL");
  return 0;
}

void* Strings::Source() {
  std::lock_guard<std::mutex> lock(m_loadLock);
  if (!m_usingOwnTable && !LoadDll()) m_usingOwnTable = true;
  return nullptr;
}

uint16_t Strings::LoadedTextLanguage() const {
  return m_usingOwnTable ? 0x0409 : 0;
}

uint16_t Strings::TextLanguage() {
  Source();
  return 0x0409;
}

int Strings::GetString(unsigned id, wchar_t* out) {
  if (!out) return 0;
  CopyText(out, STRINGS_TEXT_MAX, L"String Not Found");
  Source();
  const wchar_t* text = BuiltInString(id);
  if (!text) {
    Logger::Instance()->WriteError(kResourceNotFound, L"LoadString failed");
    return 0;
  }
  CopyText(out, STRINGS_TEXT_MAX, text);
  return 1;
}
