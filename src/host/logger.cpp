#include "host/logger.h"

#include <atomic>
#include <string>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "host/file_io.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "host/ui_language.h"
#include "host/unique_file.h"

namespace {
const wchar_t kConfiguredLogName[] = L"C:\\QVTideway.log";
const wchar_t kFallbackLogName[] = L"ICLlogging";

std::atomic<LogDebugSink> g_debugSink{nullptr};
std::atomic<LogMessageBoxHook> g_boxHook{nullptr};
std::atomic<LogFileSink> g_fileSink{nullptr};

// Called under the log lock only, so one pair of buffers serves every thread
// without touching the heap: 4096 characters need at most 4 bytes each, and
// each byte may gain a CR.
char g_utf8Line[LOG_LINE_MAX * 4 + 1];
char g_fileLine[64 + LOG_LINE_MAX * 8];

thread_local wchar_t t_printer[LOG_PRINTER_MAX] = {};

// The time stamp and the line (UTF-8) with LF turned into CR LF, as a
// text-mode stream on Windows would write it; returns its length.
size_t ComposeFileLine(const wchar_t* line) {
  // Lines come in bursts: the stamp is formatted once a millisecond.
  static LogTimeParts s_stampTime{};
  static char s_stamp[64];
  static size_t s_stampLength = 0;
  LogTimeParts t{};
  LogPlatformLocalTime(&t);
  if (s_stampLength == 0 || memcmp(&t, &s_stampTime, sizeof t) != 0) {
    s_stampTime = t;
    s_stampLength = FormatLogTimeStamp(t, s_stamp, sizeof s_stamp);
  }
  memcpy(g_fileLine, s_stamp, s_stampLength);
  size_t n = s_stampLength;
  ToUtf8(line, g_utf8Line, sizeof g_utf8Line);
  for (const char* p = g_utf8Line; *p && n + 2 <= sizeof g_fileLine; ++p) {
    if (*p == '\n') g_fileLine[n++] = '\r';
    g_fileLine[n++] = *p;
  }
  return n;
}

// The file is opened and closed per line so that each line is on disk when
// Write returns.
void AppendToFile(const wchar_t* path, const char* bytes, size_t size) {
  UniqueFile file(OpenFileWide(path, "ab"));
  if (file) fwrite(bytes, 1, size, file.get());
}
}  // namespace

size_t FormatLogTimeStamp(const LogTimeParts& t, char* out, size_t outSize) {
  if (!out || outSize == 0) return 0;
  int n = snprintf(out, outSize, "[%2d-%2d-%4d %2d:%02d:%02d:%03d]- ", t.month, t.day, t.year, t.hour, t.minute,
                   t.second, t.millisecond);
  if (n < 0) {
    out[0] = 0;
    return 0;
  }
  return static_cast<size_t>(n) < outSize ? static_cast<size_t>(n) : outSize - 1;
}

LogPrinterScope::LogPrinterScope(const wchar_t* printer) {
  CopyText(m_outer, LOG_PRINTER_MAX, t_printer);
  CopyText(t_printer, LOG_PRINTER_MAX, printer);
}

LogPrinterScope::~LogPrinterScope() {
  CopyText(t_printer, LOG_PRINTER_MAX, m_outer);
}

const wchar_t* LogPrinterName() {
  return t_printer;
}

LogDebugSink SetLogDebugSinkForTesting(LogDebugSink sink) {
  return g_debugSink.exchange(sink);
}

LogMessageBoxHook SetLogMessageBoxHookForTesting(LogMessageBoxHook hook) {
  return g_boxHook.exchange(hook);
}

LogFileSink SetLogFileSinkForTesting(LogFileSink sink) { return g_fileSink.exchange(sink); }

Logger::Logger() {
  CopyText(m_caption, LOG_CAPTION_MAX, L" ");
  m_logFilePath[0] = 0;
  CopyText(m_tag, LOG_TAG_MAX, L"LOG");
}

Logger* Logger::Instance() {
  // Created on first use and never destroyed, so threads still running at exit
  // can log.
  static Logger* instance = new Logger();
  return instance;
}

void Logger::InitLogFile() {
  InitLogFileNamed(kConfiguredLogName);
}

void Logger::InitLogFileNamed(const wchar_t* configuredName) {
  wchar_t name[LOG_PATH_MAX];
  CopyText(name, LOG_PATH_MAX, (configuredName && *configuredName) ? configuredName : kFallbackLogName);

  size_t len = wcslen(name);
  if (len >= 4 && name[len - 4] == L'.') name[len - 4] = 0;

  wchar_t base[LOG_PATH_MAX];
  if (wcschr(name, L'\\') || wcschr(name, L'/')) {
    CopyText(base, LOG_PATH_MAX, name);
  } else {
    wchar_t windir[LOG_PATH_MAX];
    LogPlatformWindowsDirectory(windir, LOG_PATH_MAX);
    FormatText(base, LOG_PATH_MAX, L"%ls\\Temp\\%ls", windir, name);
  }

  wchar_t current[LOG_PATH_MAX];
  FormatText(current, LOG_PATH_MAX, L"%ls.log", base);

  uint64_t size = 0;
  if (GetFileSizeWide(current, &size) && size >= LOG_ROTATE_THRESHOLD) {
    for (int n = LOG_OLD_GENERATIONS; n >= 0; --n) {
      wchar_t from[LOG_PATH_MAX];
      if (n == 0)
        FormatText(from, LOG_PATH_MAX, L"%ls.log", base);
      else
        FormatText(from, LOG_PATH_MAX, L"%ls%d.log", base, n);
      if (!FileExistsWide(from)) continue;
      if (n == LOG_OLD_GENERATIONS) {
        RemoveFileWide(from);
      } else {
        wchar_t to[LOG_PATH_MAX];
        FormatText(to, LOG_PATH_MAX, L"%ls%d.log", base, n + 1);
        RenameFileWide(from, to);
      }
    }
  }
  std::lock_guard<std::mutex> lock(m_logLock);
  CopyText(m_logFilePath, LOG_PATH_MAX, current);
}

void Logger::CloseLogFileForTesting() {
  std::lock_guard<std::mutex> lock(m_logLock);
  m_logFilePath[0] = 0;
}

void Logger::SetLogFilePathForTesting(const wchar_t* path) {
  std::lock_guard<std::mutex> lock(m_logLock);
  CopyText(m_logFilePath, LOG_PATH_MAX, path);
}

void Logger::SetTag(const wchar_t* tag) {
  CopyText(m_tag, LOG_TAG_MAX, tag);
}

void Logger::SetCaption(const wchar_t* caption) {
  CopyText(m_caption, LOG_CAPTION_MAX, caption);
}

void Logger::WriteComposed(const wchar_t* text) {
  // Writing sets the thread's error (opening the existing log file does on
  // Windows); what the caller reads next must still be its own.
  const uint32_t callerError = LastSystemError();
  // Prefix, text and the trailing line feed, cut to the line buffer.
  wchar_t line[LOG_LINE_MAX];
  const unsigned thread = static_cast<unsigned>(LogPlatformThreadId());
  if (t_printer[0]) {
    FormatText(line, LOG_LINE_MAX, L"%ls(%X) [%ls]: ", m_tag, thread, t_printer);
  } else {
    FormatText(line, LOG_LINE_MAX, L"%ls(%X): ", m_tag, thread);
  }
  const size_t limit = LOG_LINE_MAX - 2;  // room for the line feed and the terminator
  size_t len = wcslen(line);
  if (len > limit) len = limit;
  len += CopyText(line + len, limit - len + 1, text);
  line[len] = L'\n';
  line[len + 1] = 0;

  std::lock_guard<std::mutex> lock(m_logLock);
  if (LogFileSink sink = g_fileSink.load()) {
    sink(g_fileLine, ComposeFileLine(line));
  } else if (m_logFilePath[0]) {
    AppendToFile(m_logFilePath, g_fileLine, ComposeFileLine(line));
  }

  // The debugger output shows one physical line per call: inner line feeds
  // become blanks, the trailing one stays.
  size_t total = wcslen(line);
  for (size_t i = 0; i + 2 < total; ++i) {
    if (line[i] == L'\n') line[i] = L' ';
  }
  if (LogDebugSink sink = g_debugSink.load()) {
    sink(line);
  } else {
    LogPlatformDebugOutput(line);
  }
  SetLastSystemError(callerError);
}

void Logger::Write(const wchar_t* format, ...) {
  if (!format) return;
  wchar_t text[LOG_LINE_MAX];
  va_list args;
  va_start(args, format);
  FormatTextV(text, LOG_LINE_MAX, format, args);
  va_end(args);
  WriteComposed(text);
}

uint32_t Logger::ErrorMessageId(uint32_t code) {
  if ((code & 0xE0000000u) == 0xE0000000u) return 0x800F0000u | (code & 0xFFFFu);
  return code;
}

void Logger::WriteError(uint32_t code, const wchar_t* format, ...) {
  if (!format) return;
  wchar_t context[LOG_LINE_MAX];
  va_list args;
  va_start(args, format);
  FormatTextV(context, LOG_LINE_MAX, format, args);
  va_end(args);

  uint32_t id = ErrorMessageId(code);
  wchar_t message[LOG_LINE_MAX];
  LogPlatformSystemMessage(id, message, LOG_LINE_MAX);
  Write(L"===>>> ERROR (gle=%d, %#x):  Msg: %ls  Context: %ls", static_cast<int>(id), static_cast<unsigned>(code),
        message, context);
}

uint32_t Logger::MessageBoxFlags(uint32_t type, uint16_t uiLanguage) {
  uint32_t flags = type | LOG_MB_TOPMOST;
  uint16_t primary = uiLanguage & 0x1FF;
  if (primary == 0x01 || primary == 0x0D) flags |= LOG_MB_RIGHT | LOG_MB_RTLREADING;
  return flags;
}

void Logger::SetBoxesSilent(bool silent) {
  m_boxesSilent = silent;
}

namespace {
// A box reads right to left on a right-to-left interface, and as well when
// its texts are in such a language (a library installed on another system).
uint16_t BoxLanguage() {
  const uint16_t ui = GetUILanguage();
  if (IsRightToLeftLanguage(ui)) return ui;
  const uint16_t texts = Strings::Instance()->LoadedTextLanguage();
  return IsRightToLeftLanguage(texts) ? texts : ui;
}
}  // namespace

int Logger::ShowBox(uint32_t type, const wchar_t* text) {
  if (m_boxesSilent) {
    // A box text may end in a line break; the log line ends by itself.
    std::wstring line(text ? text : L"");
    while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n')) line.pop_back();
    Write(L"No box (silent): %ls", line.c_str());
    constexpr uint32_t kButtonsMask = 0x0F, kYesNo = 4;  // MB_OK = 0; every other set has Cancel or No
    constexpr int kIdOk = 1, kIdCancel = 2, kIdNo = 7;
    const uint32_t buttons = type & kButtonsMask;
    if (buttons == 0) return kIdOk;
    return buttons == kYesNo ? kIdNo : kIdCancel;
  }
  std::lock_guard<std::recursive_mutex> lock(m_boxLock);
  uint32_t flags = MessageBoxFlags(type, BoxLanguage());
  if (LogMessageBoxHook hook = g_boxHook.load()) return hook(text, m_caption, flags);
  return LogPlatformMessageBox(text, m_caption, flags);
}

int Logger::ShowMessage(const wchar_t* format, ...) {
  if (!format) return 0;
  wchar_t text[LOG_BOX_TEXT_MAX];
  va_list args;
  va_start(args, format);
  FormatTextV(text, LOG_BOX_TEXT_MAX, format, args);
  va_end(args);
  return ShowBox(0, text);
}

int Logger::ShowMessageTyped(uint32_t type, const wchar_t* format, ...) {
  if (!format) return 0;
  wchar_t text[LOG_BOX_TEXT_MAX];
  va_list args;
  va_start(args, format);
  FormatTextV(text, LOG_BOX_TEXT_MAX, format, args);
  va_end(args);
  return ShowBox(type, text);
}

int Logger::ShowStringMessage() {
  wchar_t text[STRINGS_TEXT_MAX];
  Strings::Instance()->GetString(220, text);
  return ShowBox(0, text);
}

int Logger::ShowStringError(int id) {
  wchar_t text[STRINGS_TEXT_MAX];
  Strings::Instance()->GetString(id, text);
  return ShowBox(0x10, text);
}
