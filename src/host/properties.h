#pragma once
// The process-wide table of named texts read from "properties.ini".
//
// File format (one definition a line, 8-bit text, each byte one character; a
// UTF-8 byte-order mark is passed over, and a file that starts with a UTF-16
// one, either byte order, is read as UTF-16):
//   # comment (only with "#" as the very first character)
//   KEY = 12 trailing words dropped          -> "12"
//   KEY = "quoted ""text"""                  -> quoted "text"
//   KEY = OTHER_KEY " and more"              -> OTHER_KEY's value + " and more"
//   LIST = "a, b,,c"                         -> GetPropertyList: a | b | "" | c
// Names compare without regard to case; a later definition replaces the value
// and keeps the first definition's place.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

constexpr long PROPERTY_OK = 0;
constexpr long PROPERTY_INVALID_PARAMETER = 87;  // ERROR_INVALID_PARAMETER
constexpr long PROPERTY_NOT_FOUND = 1168;        // ERROR_NOT_FOUND
// Longest line read at once; the rest of a longer line reads as the next line.
constexpr size_t PROPERTY_LINE_MAX = 1023;
// A value built from name references is cut at this many characters (callers
// read at most 1024).
constexpr size_t PROPERTY_VALUE_MAX = 4095;
// GetPropertyList reads the value into a buffer of this many characters.
constexpr size_t PROPERTY_LIST_BUFFER = 1024;

class CProperties {
 public:
  CProperties() = default;
  CProperties(const CProperties&) = delete;
  CProperties& operator=(const CProperties&) = delete;

  // The process-wide table (created on first use, never destroyed).
  static CProperties* Instance();

  // Parses the file into the table: 1 when it was read to its end, 0 when it
  // could not be opened (logged with the system error).
  int Load(const wchar_t* path);
  // Parses file content already in memory, the same way (tests, fuzzing).
  void LoadText(const char* data, size_t size);

  // Empties `value` first; 87 for an empty name (logged), 1168 when unknown.
  long GetProperty(const wchar_t* name, std::wstring& value) const;
  // Copies into `buffer` (`bufferChars` characters, cut to fit, terminated);
  // leaves it untouched when the property is missing or the name is empty.
  long GetProperty(const wchar_t* name, wchar_t* buffer, size_t bufferChars) const;
  // 87 for an empty name or value (logged); otherwise replaces or appends.
  long SetProperty(const wchar_t* name, const wchar_t* value);
  long SetProperty(const wchar_t* name, int value);
  // 1 when defined; otherwise logs why and returns 0.
  int PropertyExists(const wchar_t* name) const;
  // Splits the value (at most 1023 characters) at every comma and trims each
  // piece; empty pieces are kept, so a missing property gives one empty item.
  // Returns the result of reading the value.
  long GetPropertyList(const wchar_t* name, std::vector<std::wstring>& list) const;
  // 1 when a line of the file named the key, also when its value came out
  // empty and so was not stored (an unquoted text reads as a name reference).
  int Named(const wchar_t* name) const;
  // Logs every entry in table order between two marker lines.
  void Dump() const;

  size_t Count() const;

 private:
  struct Entry {
    std::wstring name;
    std::wstring value;
  };
  void ParseLine(const wchar_t* line, size_t length);
  void BuildValue(const std::wstring& text, std::wstring& out) const;
  const Entry* Find(const wchar_t* name) const;

  mutable std::mutex m_lock;
  std::vector<Entry> m_table;
  std::vector<std::wstring> m_named;
};
