#include <cstdio>

#include "app/console_output.h"
#include "host/text_utils.h"

// Natively (tests, tools) the lines go to standard output.
ConsoleOutput::ConsoleOutput() = default;
ConsoleOutput::~ConsoleOutput() = default;

void ConsoleOutput::WriteLine(const std::wstring& line) {
  std::fputs(ToUtf8Static(line.c_str()), stdout);
  std::fputs("\n", stdout);
}
