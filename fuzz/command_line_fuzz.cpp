// Arbitrary arguments for the unattended command line: bytes split at NUL into
// arguments, each read as UTF-8. Besides memory safety: a refused line says
// why; a line that parses has no more printers than arguments, none empty,
// never /all with /printer, and parsing it again gives the same result; the
// log's copy of the line hides the community names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "host/text_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::wstring> args;
  std::string current;
  for (size_t i = 0; i <= size && args.size() < 32; ++i) {
    if (i == size || data[i] == 0) {
      args.emplace_back(FromUtf8Static(current.c_str()));
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  const std::wstring logged = CommandLineForLog(args);
  std::wstring joined;
  for (const std::wstring& arg : args) joined += L" " + arg;
  CommandLine line;
  std::wstring error;
  if (!ParseCommandLine(args, &line, &error)) {
    if (error.empty()) abort();
    // A refused line's report file is one of its own arguments' values.
    const std::wstring report = ReportPathOfRefusedLine(args);
    if (!report.empty() && joined.find(report) == std::wstring::npos) abort();
    return 0;
  }
  // A community name given is hidden in the log's copy.
  const bool hidden = (line.getCommunity.empty() || line.getCommunity == L"***") &&
                      (line.setCommunity.empty() || line.setCommunity == L"***");
  if (!hidden && logged == joined) abort();
  if (line.printers.size() > args.size()) abort();
  for (const std::wstring& p : line.printers) {
    if (p.empty()) abort();
  }
  if (line.all && !line.printers.empty()) abort();
  CommandLine again;
  if (!ParseCommandLine(args, &again, &error) || again.printers != line.printers || again.reportPath != line.reportPath)
    abort();
  return 0;
}
