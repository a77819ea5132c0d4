#pragma once
// Process-wide trace log and serialised message boxes.
//
// Format strings are wide printf formats; pass wide strings with %ls (the only
// string conversion that means the same on every C library we build with) and
// convert narrow texts first (FromUtf8Static).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

constexpr uint32_t LOG_ROTATE_THRESHOLD = 500000;
constexpr int LOG_OLD_GENERATIONS = 4;
constexpr size_t LOG_LINE_MAX = 4096;
constexpr size_t LOG_BOX_TEXT_MAX = 1024;
constexpr size_t LOG_PATH_MAX = 260;
constexpr size_t LOG_TAG_MAX = 80;
constexpr size_t LOG_CAPTION_MAX = 256;
constexpr size_t LOG_PRINTER_MAX = 256;

// Message box type flags added by the logger.
constexpr uint32_t LOG_MB_TOPMOST = 0x00040000;
constexpr uint32_t LOG_MB_RIGHT = 0x00080000;
constexpr uint32_t LOG_MB_RTLREADING = 0x00100000;

class Logger {
 public:
  static Logger* Instance();

  // Chooses the log file (configured name "C:\QVTideway.log") and rotates old
  // generations once.
  void InitLogFile();
  // Same with another configured name; tests use it to log into a folder of
  // their own.
  void InitLogFileNamed(const wchar_t* configuredName);

  void Write(const wchar_t* format, ...);
  void WriteError(uint32_t code, const wchar_t* format, ...);

  int ShowMessage(const wchar_t* format, ...);
  int ShowMessageTyped(uint32_t type, const wchar_t* format, ...);
  int ShowStringMessage();
  int ShowStringError(int id);

  // An unattended run has nobody to answer a box: with `silent` each box
  // becomes a log line ("No box (silent): ...") and is answered No or Cancel
  // where the box has such a button, else OK.
  void SetBoxesSilent(bool silent);
  bool BoxesSilent() const { return m_boxesSilent; }

  void SetTag(const wchar_t* tag);
  void SetCaption(const wchar_t* caption);
  const wchar_t* Tag() const { return m_tag; }
  const wchar_t* Caption() const { return m_caption; }
  const wchar_t* LogFilePath() const { return m_logFilePath; }
  // Empties the path so lines go to the debugger output only (tests).
  void CloseLogFileForTesting();
  // Points the log at `path` as it stands, without rotation (tests).
  void SetLogFilePathForTesting(const wchar_t* path);

  // The box flags for a type and a user-interface language: topmost always,
  // right-aligned right-to-left reading for Arabic and Hebrew.
  static uint32_t MessageBoxFlags(uint32_t type, uint16_t uiLanguage);
  // The message id for an error code: setup-interface codes (top three bits
  // set) map into the 0x800F0000 range.
  static uint32_t ErrorMessageId(uint32_t code);

 private:
  Logger();
  void WriteComposed(const wchar_t* line);
  int ShowBox(uint32_t type, const wchar_t* text);

  wchar_t m_caption[LOG_CAPTION_MAX];
  wchar_t m_logFilePath[LOG_PATH_MAX];
  wchar_t m_tag[LOG_TAG_MAX];
  std::mutex m_logLock;
  // A box's modal loop dispatches the messages of its own thread, so a handler
  // run from there may ask for a box while this thread already holds the lock:
  // waiting would wait for itself forever. The inner box goes on top and the
  // outer one waits for it, as nested modal loops do; other threads still wait
  // until every box of the holder is closed.
  std::recursive_mutex m_boxLock;
  std::atomic<bool> m_boxesSilent{false};
};

// Names the printer whose update this thread works on, for its lifetime: each
// line the thread writes meanwhile reads "TAG(thread) [printer]: text", so the
// lines of one printer in a fleet run can be found with grep. Scopes nest (the
// inner name holds until it ends); a thread without one writes "TAG(thread): ".
class LogPrinterScope {
 public:
  explicit LogPrinterScope(const wchar_t* printer);
  ~LogPrinterScope();
  LogPrinterScope(const LogPrinterScope&) = delete;
  LogPrinterScope& operator=(const LogPrinterScope&) = delete;

 private:
  wchar_t m_outer[LOG_PRINTER_MAX];
};
// The printer named on this thread, "" outside every scope. A thread started
// for an update opens a scope with the name its starter had.
const wchar_t* LogPrinterName();

// Platform pieces of the logger (log_platform_win32.cpp / log_platform_posix.cpp).
struct LogTimeParts {
  int month, day, year, hour, minute, second, millisecond;
};
// "[%2d-%2d-%4d %2d:%02d:%02d:%03d]- " (month, day, year, hour, minute, second,
// millisecond) into `out`; returns its length.
size_t FormatLogTimeStamp(const LogTimeParts& t, char* out, size_t outSize);
void LogPlatformLocalTime(LogTimeParts* parts);
uint32_t LogPlatformThreadId();
void LogPlatformDebugOutput(const wchar_t* line);
// System message text for `id` in English; empty when the system has none.
void LogPlatformSystemMessage(uint32_t id, wchar_t* out, size_t outSize);
void LogPlatformWindowsDirectory(wchar_t* out, size_t outSize);
int LogPlatformMessageBox(const wchar_t* text, const wchar_t* caption, uint32_t flags);

// Test hooks, on every platform. A debug sink receives each debugger-output
// line instead of the system; a box hook answers message boxes instead of the
// user (it gets the text, the caption and the final flags). Both return the
// hook that was in place; nullptr restores the real behaviour. See
// tests/support/log_capture.h.
using LogDebugSink = void (*)(const wchar_t* line);
using LogMessageBoxHook = int (*)(const wchar_t* text, const wchar_t* caption, uint32_t flags);
LogDebugSink SetLogDebugSinkForTesting(LogDebugSink sink);
LogMessageBoxHook SetLogMessageBoxHookForTesting(LogMessageBoxHook hook);
// A file sink receives each line in its file form (time stamp, UTF-8, CR LF)
// instead of the log file, whether or not a file is chosen: the fuzz targets
// keep their log in memory. Returns the sink that was in place.
using LogFileSink = void (*)(const char* bytes, size_t size);
LogFileSink SetLogFileSinkForTesting(LogFileSink sink);
