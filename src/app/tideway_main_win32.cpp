#include <windows.h>

#include "app/tideway_app.h"
#include "host/properties.h"

// The process runs start-up once; it reads no command line and has no message
// loop of its own.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  CtidewayApp app(SystemStartupPlatform(), *CProperties::Instance());
  app.InitInstance();
  return 0;
}
