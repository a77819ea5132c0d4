#include <windows.h>
#include <commctrl.h>

#include "app/tideway_app.h"
#include "host/logger.h"
#include "host/program_dir.h"

namespace {
// IsUserAnAdmin is exported by ordinal 680 from shell32.
using IsUserAnAdminFn = BOOL(WINAPI*)();
constexpr WORD kIsUserAnAdminOrdinal = 680;

int (*g_mainDialogRunner)() = nullptr;

class Win32StartupPlatform : public StartupPlatform {
 public:
  ~Win32StartupPlatform() override {
    if (m_mutex) CloseHandle(m_mutex);
  }

  void InitCommonControls() override {
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;  // 8
    icc.dwICC = 0xFF;         // every class of the mask's low byte
    InitCommonControlsEx(&icc);
  }

  void InitLogFile() override { Logger::Instance()->InitLogFile(); }

  int CreateInstanceMutex(const wchar_t* name) override {
    SetLastError(ERROR_SUCCESS);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      if (mutex) CloseHandle(mutex);
      return INSTANCE_MUTEX_EXISTS;
    }
    if (!mutex) return INSTANCE_MUTEX_NONE;
    m_mutex = mutex;
    return INSTANCE_MUTEX_OWNED;
  }

  void ReleaseInstanceMutex() override {
    if (!m_mutex) return;
    ReleaseMutex(m_mutex);
    CloseHandle(m_mutex);
    m_mutex = nullptr;
  }

  int IsUserAdmin() override {
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (!shell) shell = LoadLibraryW(L"shell32.dll");
    if (!shell) return 0;
    auto isAdmin = reinterpret_cast<IsUserAnAdminFn>(
        reinterpret_cast<void*>(GetProcAddress(shell, MAKEINTRESOURCEA(kIsUserAnAdminOrdinal))));
    // Without the query there is no proof of administrator rights.
    return isAdmin && isAdmin() ? 1 : 0;
  }

  int ProgramDirectory(wchar_t* out) override { return GetProgramDirectory(out); }

  int RunMainDialog() override { return g_mainDialogRunner ? g_mainDialogRunner() : IDCANCEL; }

 private:
  HANDLE m_mutex = nullptr;
};
}  // namespace

void SetMainDialogRunner(int (*runner)()) { g_mainDialogRunner = runner; }

StartupPlatform& SystemStartupPlatform() {
  static Win32StartupPlatform platform;
  return platform;
}
