#include "host/text_utils.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "host/text_case.h"

namespace {
constexpr size_t kWildcardMax = 1024;  // 1023 characters + terminator
constexpr size_t kStaticSize = 4096;

wchar_t FoldAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// Equal without regard to case; beyond ASCII by the platform's tables.
bool SameLetter(wchar_t a, wchar_t b) {
  if (FoldAscii(a) == FoldAscii(b)) return true;
  return (a >= 0x80 || b >= 0x80) && UpperCaseOf(a) == UpperCaseOf(b);
}

// Finds `part` (already folded) in `text` (already folded); nullptr if absent.
const wchar_t* FindFolded(const wchar_t* text, const wchar_t* part, size_t partLen) {
  if (partLen == 0) return text;
  for (; *text; ++text) {
    size_t i = 0;
    while (i < partLen && text[i] && text[i] == part[i]) ++i;
    if (i == partLen) return text;
  }
  return nullptr;
}

// Encodes one code point; returns bytes (1..4) or 0 when `room` is too small.
size_t EncodeUtf8(uint32_t cp, char* out, size_t room) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  size_t n = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  if (n > room) return 0;
  switch (n) {
    case 1: out[0] = static_cast<char>(cp); break;
    case 2:
      out[0] = static_cast<char>(0xC0 | (cp >> 6));
      out[1] = static_cast<char>(0x80 | (cp & 0x3F));
      break;
    case 3:
      out[0] = static_cast<char>(0xE0 | (cp >> 12));
      out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out[2] = static_cast<char>(0x80 | (cp & 0x3F));
      break;
    default:
      out[0] = static_cast<char>(0xF0 | (cp >> 18));
      out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return n;
}

// Reads one code point from a wide text (UTF-16 with surrogates where wchar_t is
// 16 bits); advances *pos.
uint32_t NextCodePoint(const wchar_t* text, size_t* pos) {
  uint32_t c = static_cast<uint32_t>(text[*pos]);
  if (sizeof(wchar_t) == 2) c &= 0xFFFF;
  ++*pos;
  if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF) {
    uint32_t low = static_cast<uint32_t>(text[*pos]) & 0xFFFF;
    if (low >= 0xDC00 && low <= 0xDFFF) {
      ++*pos;
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
    return 0xFFFD;
  }
  return c;
}

// Writes one code point as wide characters; returns count (0 if no room).
size_t PutWide(uint32_t cp, wchar_t* out, size_t room) {
  if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
    if (room < 2) return 0;
    cp -= 0x10000;
    out[0] = static_cast<wchar_t>(0xD800 + (cp >> 10));
    out[1] = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    return 2;
  }
  if (room < 1) return 0;
  out[0] = static_cast<wchar_t>(cp);
  return 1;
}

// Converts into `out`, stopping before a character that does not fit.
// Returns bytes written; *complete tells whether the whole text was converted.
size_t WideToUtf8Bounded(const wchar_t* text, char* out, size_t outSize, bool* complete) {
  size_t used = 0;
  size_t pos = 0;
  *complete = true;
  if (outSize == 0) {
    *complete = text == nullptr || text[0] == 0;
    return 0;
  }
  while (text && text[pos]) {
    // ASCII, most of every text, takes the short way (the log converts each line).
    const uint32_t unit = static_cast<uint32_t>(text[pos]);
    if (unit < 0x80 && used + 1 < outSize) {
      out[used++] = static_cast<char>(unit);
      ++pos;
      continue;
    }
    size_t before = pos;
    uint32_t cp = NextCodePoint(text, &pos);
    size_t n = EncodeUtf8(cp, out + used, outSize - 1 - used);
    if (n == 0) {
      pos = before;
      *complete = false;
      break;
    }
    used += n;
  }
  out[used] = '\0';
  return used;
}
}  // namespace

void UpperAscii(wchar_t* text) {
  for (; text && *text; ++text) *text = FoldAscii(*text);
}

int TextContains(const wchar_t* text, const wchar_t* part) {
  if (!text || !part || !*text || !*part) return 0;
  for (const wchar_t* t = text; *t; ++t) {
    size_t i = 0;
    while (part[i] && t[i] && FoldAscii(t[i]) == FoldAscii(part[i])) ++i;
    if (part[i] == 0) return 1;
  }
  return 0;
}

int TextEquals(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return 0;
  while (*a && *b && SameLetter(*a, *b)) {
    ++a;
    ++b;
  }
  return *a == 0 && *b == 0 ? 1 : 0;
}

int WildcardMatch(const wchar_t* pattern, const wchar_t* text) {
  if (!pattern || !text) return 0;
  wchar_t pat[kWildcardMax];
  wchar_t txt[kWildcardMax];
  CopyText(pat, kWildcardMax, pattern);
  CopyText(txt, kWildcardMax, text);
  UpperAscii(pat);
  UpperAscii(txt);

  const wchar_t* star = wcschr(pat, L'*');
  if (!star) return TextEquals(pat, txt);

  size_t prefixLen = static_cast<size_t>(star - pat);
  if (prefixLen > 0 && wcsncmp(txt, pat, prefixLen) != 0) return 0;

  // Each part between stars must be found in order; the end is not anchored.
  const wchar_t* cursor = txt;
  const wchar_t* part = pat;
  for (;;) {
    const wchar_t* next = wcschr(part, L'*');
    size_t partLen = next ? static_cast<size_t>(next - part) : wcslen(part);
    const wchar_t* found = FindFolded(cursor, part, partLen);
    if (!found) return 0;
    cursor = found + partLen;
    if (!next) break;
    part = next + 1;
  }
  return 1;
}

int ToUtf8(const wchar_t* text, char* out, size_t outSize) {
  if (!out || outSize == 0) return TEXT_ERROR_BAD_LENGTH;
  bool complete = false;
  size_t used = WideToUtf8Bounded(text, out, outSize, &complete);
  if (!complete) {
    out[0] = '\0';
    return TEXT_ERROR_BAD_LENGTH;
  }
  return static_cast<int>(used);
}

const char* ToUtf8Static(const wchar_t* text) {
  static thread_local char buffer[kStaticSize];
  bool complete = false;
  WideToUtf8Bounded(text, buffer, sizeof buffer, &complete);
  return buffer;
}

size_t Utf8ToWide(const char* text, size_t len, wchar_t* out, size_t outSize) {
  if (!out || outSize == 0) return 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  size_t used = 0;
  while (text && i < len && s[i]) {
    uint32_t cp = 0xFFFD;
    size_t need = 0;
    unsigned char b = s[i];
    if (b < 0x80) {
      cp = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      cp = b & 0x1F;
      need = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      cp = b & 0x0F;
      need = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      cp = b & 0x07;
      need = 3;
    }
    size_t consumed = 1;
    if (need) {
      bool ok = i + need < len + 1;
      for (size_t k = 1; ok && k <= need; ++k) {
        if (i + k >= len || (s[i + k] & 0xC0) != 0x80) ok = false;
        else cp = (cp << 6) | (s[i + k] & 0x3F);
      }
      // Reject overlong forms, surrogates and values past U+10FFFF.
      if (ok && ((need == 2 && cp < 0x800) || (need == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                 (cp >= 0xD800 && cp <= 0xDFFF))) {
        ok = false;
      }
      if (ok) consumed = need + 1;
      else cp = 0xFFFD;
    } else if (b >= 0x80) {
      cp = 0xFFFD;
    }
    size_t n = PutWide(cp, out + used, outSize - 1 - used);
    if (n == 0) break;
    used += n;
    i += consumed;
  }
  out[used] = 0;
  return used;
}

const wchar_t* FromUtf8Static(const char* text) {
  static thread_local wchar_t buffer[kStaticSize];
  Utf8ToWide(text, text ? strlen(text) : 0, buffer, kStaticSize);
  return buffer;
}

size_t CopyText(wchar_t* out, size_t outSize, const wchar_t* text) {
  if (!out || outSize == 0) return 0;
  size_t i = 0;
  if (text) {
    for (; i + 1 < outSize && text[i]; ++i) out[i] = text[i];
  }
  out[i] = 0;
  return i;
}

size_t CopyText(char* out, size_t outSize, const char* text) {
  if (!out || outSize == 0) return 0;
  size_t i = 0;
  if (text) {
    for (; i + 1 < outSize && text[i]; ++i) out[i] = text[i];
  }
  out[i] = 0;
  return i;
}

size_t AppendText(wchar_t* out, size_t outSize, const wchar_t* text) {
  if (!out || outSize == 0) return 0;
  size_t len = wcsnlen(out, outSize);
  if (len >= outSize) {
    out[outSize - 1] = 0;
    return outSize - 1;
  }
  return len + CopyText(out + len, outSize - len, text);
}

void FormatTextV(wchar_t* out, size_t outSize, const wchar_t* format, va_list args) {
  if (!out || outSize == 0) return;
  out[0] = 0;
  if (!format) return;
  // vswprintf returns -1 on truncation; the C library may leave the buffer
  // unterminated then, so the last slot is always reset.
  int n = vswprintf(out, outSize, format, args);
  if (n < 0) {
    out[outSize - 1] = 0;
  }
}

void FormatText(wchar_t* out, size_t outSize, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FormatTextV(out, outSize, format, args);
  va_end(args);
}
