#include "host/properties.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cwchar>

#include "host/file_io.h"
#include "host/unique_file.h"
#include "host/logger.h"
#include "host/text_utils.h"

namespace {
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f'; }

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring Trim(const std::wstring& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// A value that starts with a decimal integer (optional sign) is that integer;
// out-of-range numbers stop at the int limits.
bool LeadingInteger(const std::wstring& text, int* value) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
    negative = text[pos] == L'-';
    ++pos;
  }
  if (pos >= text.size() || !IsDigit(text[pos])) return false;
  long long magnitude = 0;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1) magnitude = magnitude * 10 + (text[pos] - L'0');
  }
  if (negative) {
    *value = magnitude > static_cast<long long>(INT_MAX) + 1 ? INT_MIN : static_cast<int>(-magnitude);
  } else {
    *value = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
  }
  return true;
}

// UTF-16 code units from `data` (big-endian when `bigEndian`), an odd last
// byte dropped. Where wchar_t holds a whole code point a pair is joined; a
// lone surrogate becomes U+FFFD, so every text is valid for the log.
void DecodeUtf16(const unsigned char* data, size_t size, bool bigEndian, std::wstring* out) {
  auto unit = [&](size_t i) -> uint32_t {
    return static_cast<uint32_t>(bigEndian ? (data[i] << 8 | data[i + 1]) : (data[i + 1] << 8 | data[i]));
  };
  const size_t units = size / 2;
  out->reserve(units);
  for (size_t i = 0; i < units; ++i) {
    const uint32_t u = unit(2 * i);
    if (u < 0xD800 || u > 0xDFFF) {
      out->push_back(static_cast<wchar_t>(u));
      continue;
    }
    const uint32_t next = i + 1 < units ? unit(2 * (i + 1)) : 0;
    if (u > 0xDBFF || next < 0xDC00 || next > 0xDFFF) {
      out->push_back(static_cast<wchar_t>(0xFFFD));
      continue;
    }
    ++i;
    if (sizeof(wchar_t) >= 4) {
      out->push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00)));
    } else {
      out->push_back(static_cast<wchar_t>(u));
      out->push_back(static_cast<wchar_t>(next));
    }
  }
}

// Editors save the file with a byte-order mark: a UTF-8 one is passed over
// (the bytes after it stay one character each), and a UTF-16 file is read in
// its byte order. Left in, the mark would become part of the first key.
void DecodeText(const unsigned char* data, size_t size, std::wstring* out) {
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    data += 3;
    size -= 3;
  } else if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
    DecodeUtf16(data + 2, size - 2, data[0] == 0xFE, out);
    return;
  }
  out->assign(data, data + size);
}

void AppendBounded(std::wstring& out, const wchar_t* text, size_t length) {
  if (out.size() >= PROPERTY_VALUE_MAX) return;
  size_t room = PROPERTY_VALUE_MAX - out.size();
  out.append(text, length < room ? length : room);
}
}  // namespace

CProperties* CProperties::Instance() {
  static CProperties* instance = new CProperties();
  return instance;
}

int CProperties::Load(const wchar_t* path) {
  UniqueFile file(path ? OpenFileWide(path, "rb") : nullptr);
  if (!file) {
    Logger::Instance()->WriteError(LastSystemError(), L"Could not open ini file '%ls'", path ? path : L"");
    return 0;
  }
  std::string content;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file.get())) > 0) content.append(chunk, n);
  file.reset();
  LoadText(content.data(), content.size());
  return 1;
}

void CProperties::LoadText(const char* data, size_t size) {
  std::wstring text;
  DecodeText(reinterpret_cast<const unsigned char*>(data), data ? size : 0, &text);
  // Read as a Windows text-mode stream would deliver it: CR LF becomes LF and
  // Ctrl-Z ends the file; then in pieces of at most 1023 characters, each
  // ending after its line feed.
  wchar_t line[PROPERTY_LINE_MAX + 1];
  size_t length = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\x1a') break;
    if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    line[length++] = c;
    if (c == L'\n' || length == PROPERTY_LINE_MAX) {
      ParseLine(line, length);
      length = 0;
    }
  }
  if (length > 0) ParseLine(line, length);
}

void CProperties::ParseLine(const wchar_t* line, size_t length) {
  // A NUL ends the line as it would a C string.
  std::wstring text;
  for (size_t i = 0; i < length && line[i]; ++i) text.push_back(line[i]);
  if (text.empty() || text[0] == L'#') return;

  size_t pos = 0;
  while (pos < text.size() && text[pos] == L'=') ++pos;
  size_t equals = text.find(L'=', pos);
  std::wstring key = Trim(text.substr(pos, equals == std::wstring::npos ? std::wstring::npos : equals - pos));
  if (key.empty()) return;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_named.push_back(key);
  }

  std::wstring raw;
  if (equals != std::wstring::npos) {
    size_t start = equals + 1;
    while (start < text.size() && text[start] == L'#') ++start;
    size_t hash = text.find(L'#', start);
    raw = Trim(text.substr(start, hash == std::wstring::npos ? std::wstring::npos : hash - start));
  }

  int number = 0;
  if (LeadingInteger(raw, &number)) {
    SetProperty(key.c_str(), number);
    return;
  }
  std::wstring value;
  BuildValue(raw, value);
  SetProperty(key.c_str(), value.c_str());
}

// Quoted texts and name references, concatenated. A quote opens a text only
// where an element may begin; anywhere else everything up to the next letter
// is skipped and what follows is a name.
void CProperties::BuildValue(const std::wstring& text, std::wstring& out) const {
  size_t pos = 0;
  bool elementMayBegin = true;
  const size_t size = text.size();
  while (pos < size) {
    wchar_t c = text[pos];
    if (elementMayBegin && c == L'"') {
      ++pos;
      while (pos < size) {
        if (text[pos] == L'"') {
          if (pos + 1 < size && text[pos + 1] == L'"') {
            AppendBounded(out, L"\"", 1);
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        AppendBounded(out, &text[pos], 1);
        ++pos;
      }
      continue;  // directly after the closing quote another element may begin
    }
    if (IsLetter(c)) {
      size_t end = text.find(L' ', pos);
      std::wstring name = text.substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos);
      std::wstring referenced;
      if (GetProperty(name.c_str(), referenced) == PROPERTY_OK) AppendBounded(out, referenced.data(), referenced.size());
      if (end == std::wstring::npos) break;
      pos = end + 1;
      elementMayBegin = true;
      continue;
    }
    while (pos < size && !IsLetter(text[pos])) ++pos;
    elementMayBegin = false;
  }
}

const CProperties::Entry* CProperties::Find(const wchar_t* name) const {
  for (const Entry& e : m_table) {
    if (TextEquals(e.name.c_str(), name)) return &e;
  }
  return nullptr;
}

long CProperties::GetProperty(const wchar_t* name, std::wstring& value) const {
  value.clear();
  if (!name || !*name) {
    Logger::Instance()->Write(L"Invalid Parameter in CProperties::GetProperty : Property name is empty");
    return PROPERTY_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> lock(m_lock);
  const Entry* e = Find(name);
  if (!e) return PROPERTY_NOT_FOUND;
  value = e->value;
  return PROPERTY_OK;
}

long CProperties::GetProperty(const wchar_t* name, wchar_t* buffer, size_t bufferChars) const {
  std::wstring value;
  long result = GetProperty(name, value);
  if (result == PROPERTY_OK) CopyText(buffer, bufferChars, value.c_str());
  return result;
}

long CProperties::SetProperty(const wchar_t* name, const wchar_t* value) {
  if (!name || !*name) {
    Logger::Instance()->Write(L"ERROR: Invalid Parameter in CProperties::SetProperty : Property name is empty");
    return PROPERTY_INVALID_PARAMETER;
  }
  if (!value || !*value) {
    Logger::Instance()->Write(L"ERROR: Invalid Parameter in CProperties::SetProperty %ls: Property value is empty", name);
    return PROPERTY_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> lock(m_lock);
  for (Entry& e : m_table) {
    if (TextEquals(e.name.c_str(), name)) {
      e.value = value;
      return PROPERTY_OK;
    }
  }
  m_table.push_back({name, value});
  return PROPERTY_OK;
}

long CProperties::SetProperty(const wchar_t* name, int value) {
  wchar_t text[16];
  FormatText(text, 16, L"%d", value);
  return SetProperty(name, text);
}

int CProperties::PropertyExists(const wchar_t* name) const {
  if (!name || !*name) {
    Logger::Instance()->Write(L"Invalid Parameter in CProperties::SetProperty : Property name is empty");
    return 0;
  }
  std::wstring value;
  if (GetProperty(name, value) != PROPERTY_OK) {
    Logger::Instance()->Write(L"ERROR: Property '%ls' does NOT exist.", name);
    return 0;
  }
  return 1;
}

long CProperties::GetPropertyList(const wchar_t* name, std::vector<std::wstring>& list) const {
  list.clear();
  wchar_t value[PROPERTY_LIST_BUFFER] = {0};
  long result = GetProperty(name, value, PROPERTY_LIST_BUFFER);
  const wchar_t* piece = value;
  for (;;) {
    const wchar_t* comma = wcschr(piece, L',');
    size_t length = comma ? static_cast<size_t>(comma - piece) : wcslen(piece);
    list.push_back(Trim(std::wstring(piece, length)));
    if (!comma) break;
    piece = comma + 1;
  }
  return result;
}

int CProperties::Named(const wchar_t* name) const {
  std::lock_guard<std::mutex> lock(m_lock);
  for (const std::wstring& key : m_named) {
    if (name && TextEquals(key.c_str(), name)) return 1;
  }
  return 0;
}

void CProperties::Dump() const {
  Logger* log = Logger::Instance();
  std::lock_guard<std::mutex> lock(m_lock);
  log->Write(L"-\\/\\/\\/- Properties -\\/\\/\\/-");
  for (const Entry& e : m_table) log->Write(L"%ls = %ls", e.name.c_str(), e.value.c_str());
  log->Write(L"-/\\/\\/\\- Properties -/\\/\\/\\-");
}

size_t CProperties::Count() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_table.size();
}
