#include <cstdio>
#include <string>

#include "fwinfo_report.h"
#include "host/text_utils.h"

namespace {
int Run(int argc, const wchar_t* const* argv) {
  if (argc != 2) {
    fputs("usage: fwinfo <firmware file>\n", stderr);
    return FWINFO_USAGE;
  }
  std::string report;
  std::string error;
  const int status = FwInfoReport(argv[1], &report, &error);
  fputs(report.c_str(), stdout);
  fflush(stdout);
  if (!error.empty()) fprintf(stderr, "fwinfo: %s\n", error.c_str());
  return status;
}
}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
#else
int main(int argc, char** argv) {
  std::wstring args[2];
  const wchar_t* wide[2] = {L"", L""};
  for (int i = 0; i < argc && i < 2; ++i) {
    args[i] = FromUtf8Static(argv[i]);
    wide[i] = args[i].c_str();
  }
  return Run(argc, wide);
}
#endif
