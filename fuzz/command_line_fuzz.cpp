// Arbitrary arguments for the unattended command line: bytes split at NUL into
// arguments, each read as UTF-8. Besides memory safety: a refused line says
// why; a line that parses has no more printers than arguments, none empty,
// never /all with /printer, and parsing it again gives the same result.
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
  CommandLine line;
  std::wstring error;
  if (!ParseCommandLine(args, &line, &error)) {
    if (error.empty()) abort();
    return 0;
  }
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
