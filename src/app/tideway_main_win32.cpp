// The Windows headers depend on this order.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <memory>
#include <string>
#include <vector>

#include "app/console_board.h"
#include "app/console_interrupt.h"
#include "app/console_output.h"
#include "app/session_end.h"
#include "app/tideway_app.h"
#include "app/tideway_dlg.h"
#include "app/unattended_startup.h"
#include "host/properties.h"
#include "update/rfu_sequencer.h"

namespace {
CtidewayDlg* g_mainDialog = nullptr;

int RunMainDialog() {
  return static_cast<int>(g_mainDialog->DoModal());
}

// The arguments after the program name, split the way the system splits them.
std::vector<std::wstring> CommandLineArguments() {
  std::vector<std::wstring> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return args;
  for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}
}  // namespace

// Without arguments the process runs the dialog's start-up once and has no
// message loop of its own; with arguments it is an unattended run whose exit
// code tells how it went.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::vector<std::wstring> args = CommandLineArguments();
  if (!args.empty()) {
    ConsoleOutput console;
    InstallConsoleInterrupt();
    // Without a window the session's end would come unannounced.
    SessionEndWindow sessionEnd;
    // A person at a console sees a live line per printer; a file or a pipe
    // (deployment tools) gets whole lines, never rewritten.
    std::unique_ptr<ConsoleBoardWriter> writer;
    std::unique_ptr<LiveBoard> live;
    if (console.Console()) {
      writer = std::make_unique<ConsoleBoardWriter>(console.Console());
      live = std::make_unique<LiveBoard>(*writer);
    }
    return RunCommandLine(
        args, SystemStartupPlatform(), *CProperties::Instance(), SystemRfuPlatform(),
        [&console](const std::wstring& line) { console.WriteLine(line); }, live.get());
  }
  CtidewayDlg dialog;
  g_mainDialog = &dialog;
  SetMainDialogRunner(RunMainDialog);
  CtidewayApp app(SystemStartupPlatform(), *CProperties::Instance());
  app.InitInstance();
  return 0;
}
