// Every target keeps the log in memory: the logger still composes each line's
// file form (time stamp, UTF-8, CR LF) and the form is checked here, but no
// file is opened per line. The last 64 KiB are kept for a look at a finding.
#include <cstddef>
#include <cstring>

#include "host/logger.h"

namespace {
constexpr size_t kKept = 64 * 1024;
char g_kept[kKept];
size_t g_end = 0;

// The checks are left out of the coverage: they would only add to each
// line's cost, never lead the fuzzer anywhere.

// Length of the well-formed UTF-8 sequence at `p` (at most `n` bytes); 0 when
// it is not one.
__attribute__((no_sanitize("coverage"))) size_t Utf8Sequence(const unsigned char* p, size_t n) {
  if (p[0] < 0x80) return 1;
  size_t len = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 ? 2 : 0;
  if (len == 0 || len > n || p[0] > 0xF4) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  if (len == 3 && (p[0] == 0xE0 ? p[1] < 0xA0 : p[0] == 0xED && p[1] >= 0xA0)) return 0;  // overlong, surrogate
  if (len == 4 && (p[0] == 0xF0 ? p[1] < 0x90 : p[0] == 0xF4 && p[1] >= 0x90)) return 0;  // overlong, > U+10FFFF
  return len;
}

__attribute__((no_sanitize("coverage"))) void KeepLine(const char* bytes, size_t size) {
  // One stamped line: valid UTF-8 with no NUL, every LF after a CR, CR LF last.
  if (size < 3 || bytes[0] != '[' || bytes[size - 2] != '\r' || bytes[size - 1] != '\n') __builtin_trap();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < size;) {
    if (p[i] == 0 || (p[i] == '\n' && p[i - 1] != '\r')) __builtin_trap();
    size_t n = Utf8Sequence(p + i, size - i);
    if (n == 0) __builtin_trap();
    i += n;
  }
  if (size >= kKept) {
    bytes += size - kKept;
    size = kKept;
  }
  size_t first = size < kKept - g_end ? size : kKept - g_end;
  memcpy(g_kept + g_end, bytes, first);
  memcpy(g_kept, bytes + first, size - first);
  g_end = (g_end + size) % kKept;
}

const bool g_installed = (SetLogFileSinkForTesting(KeepLine), true);
}  // namespace
