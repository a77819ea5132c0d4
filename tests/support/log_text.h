#pragma once
// Narrow (UTF-8) views of a LogCapture, for tests that compare with the byte
// texts of files and printers.

#include <string>
#include <vector>

#include "host/text_utils.h"
#include "support/log_capture.h"

namespace fwtest {

inline std::vector<std::string> NarrowLines(const LogCapture& log) {
  std::vector<std::string> out;
  for (const std::wstring& l : log.Lines()) out.emplace_back(ToUtf8Static(l.c_str()));
  return out;
}

// Index of the first line equal to `line`, -1 if none.
inline int FindLine(const LogCapture& log, const std::string& line) {
  std::vector<std::string> lines = NarrowLines(log);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return static_cast<int>(i);
  }
  return -1;
}

inline bool HasLine(const LogCapture& log, const std::string& line) { return FindLine(log, line) >= 0; }

inline bool HasLinePart(const LogCapture& log, const std::string& part) {
  for (const std::string& l : NarrowLines(log)) {
    if (l.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace fwtest
