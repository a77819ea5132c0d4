#include <windows.h>

#include "host/logger.h"
#include "host/program_dir.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "resources/resource.h"

Strings* Strings::Instance() {
  static Strings* instance = new Strings();
  return instance;
}

int Strings::LoadDll() {
  wchar_t path[MAX_PATH];
  GetProgramDirectory(path);
  AppendText(path, MAX_PATH, L"strings.dll");
  Logger::Instance()->Write(L"Strings(): stringsDllPath: %ls", path);
  return LoadLibraryFile(path);
}

int Strings::LoadLibraryFile(const wchar_t* path) {
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    Logger::Instance()->WriteError(GetLastError(), L"LoadLibraryEx strings dll  m_sHmod == NULL");
    return 0;
  }
  m_sHmod = module;
  m_usingOwnTable = false;
  return 1;
}

void* Strings::Source() {
  std::lock_guard<std::mutex> lock(m_loadLock);
  if (!m_sHmod && !m_usingOwnTable) {
    if (!LoadDll()) {
      m_sHmod = GetModuleHandleW(nullptr);
      m_usingOwnTable = true;
    }
  }
  return m_sHmod;
}

namespace {
BOOL CALLBACK TakeLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
  *reinterpret_cast<WORD*>(found) = language;
  return FALSE;
}
}  // namespace

uint16_t Strings::LoadedTextLanguage() const {
  WORD language = 0;
  // The table's block that holds the program's title (16 strings a block).
  if (void* module = m_sHmod.load()) {
    EnumResourceLanguagesW(static_cast<HMODULE>(module), RT_STRING, MAKEINTRESOURCEW(IDS_APP_TITLE / 16 + 1),
                           TakeLanguage, reinterpret_cast<LONG_PTR>(&language));
  }
  return language;
}

uint16_t Strings::TextLanguage() {
  Source();
  const uint16_t language = LoadedTextLanguage();
  return language ? language : 0x0409;
}

int Strings::GetString(unsigned id, wchar_t* out) {
  if (!out) return 0;
  CopyText(out, STRINGS_TEXT_MAX, L"String Not Found");
  void* module = Source();
  if (!module) return 0;
  wchar_t text[STRINGS_TEXT_MAX];
  if (LoadStringW(static_cast<HMODULE>(module), id, text, STRINGS_TEXT_MAX) <= 0) {
    Logger::Instance()->WriteError(GetLastError(), L"LoadString failed");
    return 0;
  }
  CopyText(out, STRINGS_TEXT_MAX, text);
  return 1;
}
