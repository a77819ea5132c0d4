#pragma once
// Localised texts by numeric id: from "strings.dll" beside the program when it
// is there, otherwise from the program's own string table.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

constexpr size_t STRINGS_TEXT_MAX = 1024;

class Strings {
 public:
  static Strings* Instance();
  // Fills `out` (STRINGS_TEXT_MAX characters) with the text or "String Not
  // Found"; 1 when the text was loaded.
  int GetString(unsigned id, wchar_t* out);
  int LoadDll();
  // Makes the library at `path` the source of the texts (LoadDll with the
  // library beside the program); 1 on success, else the source stays.
  int LoadLibraryFile(const wchar_t* path);
  // The language id of the texts served (the string table's resource
  // language; 0x0409 for the program's own table). Loads the source first.
  uint16_t TextLanguage();
  // The same for the source already loaded, 0 while none is; loads nothing.
  uint16_t LoadedTextLanguage() const;

 private:
  Strings() = default;
  // The loaded library, else the program's own module (nullptr natively).
  // Loads once, whichever update's thread asks first.
  void* Source();
  std::mutex m_loadLock;
  std::atomic<void*> m_sHmod{nullptr};
  std::atomic<bool> m_usingOwnTable{false};
};

// The localised text `id` (GetString's text, "String Not Found" included).
inline std::wstring LocalString(unsigned id) {
  wchar_t text[STRINGS_TEXT_MAX];
  Strings::Instance()->GetString(id, text);
  return text;
}

// The program's own table as compiled into the portable library (the same texts
// as the resource script's string table); nullptr when the id is not there.
const wchar_t* BuiltInString(unsigned id);
