#include <windows.h>

#include "app/tideway_app.h"
#include "app/tideway_dlg.h"
#include "host/properties.h"

namespace {
CtidewayDlg* g_mainDialog = nullptr;

int RunMainDialog() {
  return static_cast<int>(g_mainDialog->DoModal());
}
}  // namespace

// The process runs start-up once; it reads no command line and has no message
// loop of its own.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  CtidewayDlg dialog;
  g_mainDialog = &dialog;
  SetMainDialogRunner(RunMainDialog);
  CtidewayApp app(SystemStartupPlatform(), *CProperties::Instance());
  app.InitInstance();
  return 0;
}
