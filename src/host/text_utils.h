#pragma once
// Text helpers shared by every subsystem. Portable: no Windows API here.

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Error code returned by ToUtf8 when the text does not fit (ERROR_BAD_LENGTH).
constexpr int TEXT_ERROR_BAD_LENGTH = 24;

// 1 when both are non-empty and `part` occurs in `text`, ignoring ASCII case.
int TextContains(const wchar_t* text, const wchar_t* part);
// 1 when equal ignoring case (of every script, not ASCII alone).
int TextEquals(const wchar_t* a, const wchar_t* b);
// Pattern with '*' wildcards, ASCII case folded; start anchored, end not.
int WildcardMatch(const wchar_t* pattern, const wchar_t* text);

// Converts `text` to UTF-8 into `out` (size in bytes, terminator included).
// Returns the number of bytes written (terminator excluded), or
// TEXT_ERROR_BAD_LENGTH when the text and its terminator do not fit; `out` then
// holds an empty string (when size > 0).
int ToUtf8(const wchar_t* text, char* out, size_t outSize);
// Conversion buffers of the calling thread (4096 bytes / 4096 wide
// characters); the result is valid until the thread's next call of the same
// function. Over-long input is
// cut at a character boundary.
const char* ToUtf8Static(const wchar_t* text);
const wchar_t* FromUtf8Static(const char* text);
// Bounded UTF-8 -> wide conversion of `len` bytes (invalid bytes become U+FFFD);
// always terminates `out` when outSize > 0. Returns characters written.
size_t Utf8ToWide(const char* text, size_t len, wchar_t* out, size_t outSize);

// Bounded copy: copies at most outSize-1 characters and always terminates.
// Returns the number of characters copied.
size_t CopyText(wchar_t* out, size_t outSize, const wchar_t* text);
size_t CopyText(char* out, size_t outSize, const char* text);
// Bounded append.
size_t AppendText(wchar_t* out, size_t outSize, const wchar_t* text);

// printf-style formatting into a fixed buffer: over-long results are cut, never
// overflow; `out` is always terminated. Wide strings are passed with %ls.
void FormatTextV(wchar_t* out, size_t outSize, const wchar_t* format, va_list args);
void FormatText(wchar_t* out, size_t outSize, const wchar_t* format, ...);

// ASCII upper-casing (a..z only), in place.
void UpperAscii(wchar_t* text);
