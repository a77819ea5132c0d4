#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "host/logger.h"
#include "host/text_utils.h"

// Native builds serve the tests: the "debugger output" goes to stderr when
// TIDEWAY_DEBUG_OUTPUT is set; message boxes are answered with OK unless a
// test hook (logger.cpp) answers them.

void LogPlatformLocalTime(LogTimeParts* parts) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  tm local{};
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &local);
  *parts = {local.tm_mon + 1, local.tm_mday, local.tm_year + 1900, local.tm_hour,
            local.tm_min,     local.tm_sec,  static_cast<int>(tv.tv_usec / 1000)};
}

uint32_t LogPlatformThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

void LogPlatformDebugOutput(const wchar_t* line) {
  if (!getenv("TIDEWAY_DEBUG_OUTPUT")) return;
  // Not ToUtf8Static: its buffer is shared with every other thread.
  static char utf8[LOG_LINE_MAX * 4 + 1];  // only ever used under the log lock
  ToUtf8(line, utf8, sizeof utf8);
  fputs(utf8, stderr);
}

void LogPlatformSystemMessage(uint32_t id, wchar_t* out, size_t outSize) {
  // Windows error codes have no text here: the field stays empty.
  (void)id;
  if (out && outSize) out[0] = 0;
}

void LogPlatformWindowsDirectory(wchar_t* out, size_t outSize) { CopyText(out, outSize, L"C:\\windows"); }

int LogPlatformMessageBox(const wchar_t* text, const wchar_t* caption, uint32_t flags) {
  (void)text;
  (void)caption;
  (void)flags;
  return 1;  // IDOK: nobody to ask natively
}
