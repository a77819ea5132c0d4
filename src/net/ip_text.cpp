#include "net/ip_text.h"

#include <cstddef>
#include <cstdint>
#include <cwchar>

namespace {
constexpr size_t kTextMax = 256;

bool IsDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}
bool IsHex(wchar_t c) {
  return IsDigit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// Reads 1..maxDigits decimal digits at *pos (0 = unbounded, saturating).
bool ReadNumber(const wchar_t* s, size_t* pos, size_t maxDigits, uint64_t* value) {
  size_t start = *pos;
  uint64_t v = 0;
  while (IsDigit(s[*pos]) && (maxDigits == 0 || *pos - start < maxDigits)) {
    if (v < 0xFFFFFFFFull) v = v * 10 + static_cast<uint64_t>(s[*pos] - L'0');
    ++*pos;
  }
  *value = v;
  return *pos > start;
}

// The whole text (from `s` to its end) is 1..maxDigits decimal digits.
bool WholeNumber(const wchar_t* s, size_t maxDigits, uint64_t* value) {
  size_t pos = 0;
  return ReadNumber(s, &pos, maxDigits, value) && s[pos] == 0;
}

bool IsGroup(const wchar_t* s, size_t len) {
  if (len == 0 || len > 4) return false;
  for (size_t i = 0; i < len; ++i) {
    if (!IsHex(s[i])) return false;
  }
  return true;
}

// Counts the colon-separated groups of s[0..len); a dotted tail is allowed only
// as the very last group of the address (`lastPart`). Returns -1 when a group
// is malformed.
int CountGroups(const wchar_t* s, size_t len, bool lastPart, bool* hasTail) {
  if (len == 0) return 0;
  int groups = 0;
  size_t start = 0;
  while (start <= len) {
    size_t end = start;
    while (end < len && s[end] != L':') ++end;
    bool last = end == len;
    size_t glen = end - start;
    bool dotted = false;
    for (size_t i = start; i < end; ++i) {
      if (s[i] == L'.') dotted = true;
    }
    if (dotted) {
      if (!(last && lastPart) || glen >= kTextMax) return -1;
      wchar_t tail[kTextMax];
      wmemcpy(tail, s + start, glen);
      tail[glen] = 0;
      if (!IsIPv4Text(tail)) return -1;
      *hasTail = true;
    } else {
      if (!IsGroup(s + start, glen)) return -1;
      ++groups;
    }
    if (last) break;
    start = end + 1;
  }
  return groups;
}
}  // namespace

int IsIPv4Text(const wchar_t* text) {
  if (!text) return 0;
  for (const wchar_t* p = text; *p; ++p) {
    if (!IsDigit(*p) && *p != L'.' && *p != L':') return 0;
  }
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (text[pos] != L'.') return 0;
      ++pos;
    }
    uint64_t v = 0;
    if (!ReadNumber(text, &pos, 3, &v) || v > 255) return 0;
  }
  if (text[pos] == 0) return 1;
  // Only a port may follow: ":" and digits up to the end.
  if (text[pos] != L':') return 0;
  ++pos;
  uint64_t port = 0;
  if (!ReadNumber(text, &pos, 0, &port) || port > 65535) return 0;
  return text[pos] == 0 ? 1 : 0;
}

int IsIPv6Text(const wchar_t* text) {
  if (!text) return 0;
  size_t len = wcslen(text);
  if (len == 0 || len >= kTextMax) return 0;
  wchar_t buf[kTextMax];
  wmemcpy(buf, text, len + 1);
  wchar_t* s = buf;

  if (s[0] == L'[') {
    wchar_t* close = wcschr(s, L']');
    if (!close) return 0;
    // "[address]" alone or followed by ":port".
    if (close[1] != 0) {
      uint64_t port = 0;
      if (close[1] != L':' || !WholeNumber(close + 2, 0, &port) || port > 65535) return 0;
    }
    *close = 0;
    ++s;
  }

  if (wchar_t* slash = wcsrchr(s, L'/')) {
    uint64_t prefix = 0;
    if (!WholeNumber(slash + 1, 3, &prefix) || prefix > 128) return 0;
    *slash = 0;
  } else if (wchar_t* percent = wcsrchr(s, L'%')) {
    uint64_t zone = 0;
    if (!WholeNumber(percent + 1, 10, &zone) || zone > 0xFFFFFFFFull) return 0;
    *percent = 0;
  }

  len = wcslen(s);
  if (!wcschr(s, L':')) return 0;

  const wchar_t* dbl = wcsstr(s, L"::");
  if (dbl && wcsstr(dbl + 1, L"::")) return 0;
  size_t dblPos = dbl ? static_cast<size_t>(dbl - s) : len;
  if (s[0] == L':' && dblPos != 0) return 0;
  if (s[len - 1] == L':' && !(dbl && dblPos + 2 == len)) return 0;

  bool tail = false;
  int groups = 0;
  if (dbl) {
    int left = CountGroups(s, dblPos, false, &tail);
    int right = CountGroups(s + dblPos + 2, len - dblPos - 2, true, &tail);
    if (left < 0 || right < 0) return 0;
    groups = left + right;
  } else {
    groups = CountGroups(s, len, true, &tail);
    if (groups < 0) return 0;
  }
  int limit = tail ? 6 : 8;
  if (groups > limit) return 0;
  if (!dbl && groups != limit) return 0;
  return 1;
}
