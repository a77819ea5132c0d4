#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "host/logger.h"
#include "host/text_utils.h"

// Native builds serve the tests: the "debugger output" goes to stderr when
// TIDEWAY_DEBUG_OUTPUT is set, message boxes are answered by a hook.

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

namespace {
LogDebugSink g_debugSink = nullptr;
LogMessageBoxHook g_boxHook = nullptr;
}  // namespace

LogDebugSink SetLogDebugSinkForTesting(LogDebugSink sink) {
  LogDebugSink old = g_debugSink;
  g_debugSink = sink;
  return old;
}

LogMessageBoxHook SetLogMessageBoxHookForTesting(LogMessageBoxHook hook) {
  LogMessageBoxHook old = g_boxHook;
  g_boxHook = hook;
  return old;
}

void LogPlatformDebugOutput(const wchar_t* line) {
  if (g_debugSink) {
    g_debugSink(line);
    return;
  }
  if (getenv("TIDEWAY_DEBUG_OUTPUT")) fputs(ToUtf8Static(line), stderr);
}

void LogPlatformSystemMessage(uint32_t id, wchar_t* out, size_t outSize) {
  out[0] = 0;
  // Windows error codes have no meaning here; keep the field empty except for
  // the ones whose errno text is the same idea.
  (void)id;
  (void)outSize;
}

void LogPlatformWindowsDirectory(wchar_t* out, size_t outSize) { CopyText(out, outSize, L"C:\\windows"); }

int LogPlatformMessageBox(const wchar_t* text, const wchar_t* caption, uint32_t flags) {
  if (g_boxHook) return g_boxHook(text, caption, flags);
  return 1;  // IDOK: nobody to ask natively
}
