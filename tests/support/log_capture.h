#pragma once
// Test helpers around the process-wide Logger.
//
// LogCapture points the logger at a fresh file of its own (a temp folder per
// object) and gives back what was written, so tests can assert exact log lines:
//
//   LogCapture log;
//   DoSomething();
//   EXPECT_TRUE(log.Contains(L"GetPortname()"));
//   EXPECT_EQ(log.Lines(), (std::vector<std::wstring>{L"first", L"second"}));
//
// It also records what went to the debugger output. On destruction the logger's
// previous file path comes back and the folder is removed.
//
// BoxCapture answers the logger's message boxes (with `answer`, IDOK by
// default) and records text, caption and flags, so code that shows boxes runs
// unattended natively and under Wine.
//
// Not thread-safe against a second LogCapture / BoxCapture at the same time
// (they replace process-wide hooks); lines written by other threads while one
// is alive are captured like the test's own.

#include <cstdint>
#include <string>
#include <vector>

#include "host/logger.h"

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Full path of the log file in use (wide, as the logger holds it).
  const std::wstring& Path() const { return m_path; }
  // File content decoded from UTF-8, CR LF kept.
  std::wstring Raw() const;
  // Physical lines of the file, time stamp included, CR LF removed.
  std::vector<std::wstring> FileLines() const;
  // Physical lines with the time stamp and the "TAG(thread): " prefix (or
  // "TAG(thread) [printer]: ") removed.
  // A message with inner line feeds gives several entries; the ones after the
  // first carry no prefix and are returned as they stand.
  std::vector<std::wstring> Lines() const;
  // 1 when some entry of Lines() equals `line` exactly.
  bool Contains(const std::wstring& line) const;
  // 1 when some entry of Lines() contains `part`.
  bool ContainsPart(const std::wstring& part) const;
  // Lines sent to the debugger output (each with its trailing line feed).
  std::vector<std::wstring> DebugLines() const;
  // Forgets what was written so far (file and debugger lines).
  void Clear();

  // The message part of one file line ("" when it has no time stamp prefix).
  static std::wstring StripPrefix(const std::wstring& fileLine);

 private:
  std::wstring m_previousPath;
  std::wstring m_dir;
  std::wstring m_path;
  LogDebugSink m_previousSink;
};

struct CapturedBox {
  std::wstring text;
  std::wstring caption;
  uint32_t flags;
};

class BoxCapture {
 public:
  explicit BoxCapture(int answer = 1 /* IDOK */);
  ~BoxCapture();
  BoxCapture(const BoxCapture&) = delete;
  BoxCapture& operator=(const BoxCapture&) = delete;

  void SetAnswer(int answer);
  std::vector<CapturedBox> Boxes() const;

 private:
  LogMessageBoxHook m_previousHook;
};
