// The Windows headers depend on this order.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <sddl.h>
// clang-format on

#include <utility>

#include "app/tideway_app.h"
#include "host/logger.h"
#include "host/program_dir.h"
#include "host/win_handles.h"

namespace {
// IsUserAnAdmin is exported by ordinal 680 from shell32.
using IsUserAnAdminFn = BOOL(WINAPI*)();
constexpr WORD kIsUserAnAdminOrdinal = 680;

int (*g_mainDialogRunner)() = nullptr;

// Full access for SYSTEM and the Administrators group, nobody else, nothing
// inherited: a deployment tool's run as SYSTEM and an administrator's in a
// Remote Desktop session both open the one lock, whichever made it.
const wchar_t kInstanceMutexSddl[] = L"D:P(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)";

// Frees the descriptor ConvertStringSecurityDescriptorToSecurityDescriptorW made.
struct LocalDescriptor {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ~LocalDescriptor() {
    if (sd) LocalFree(sd);
  }
};

class Win32StartupPlatform : public StartupPlatform {
 public:
  void InitCommonControls() override {
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;  // 8
    icc.dwICC = 0xFF;         // every class of the mask's low byte
    InitCommonControlsEx(&icc);
  }

  void InitLogFile() override { Logger::Instance()->InitLogFile(); }

  int CreateInstanceMutex(const wchar_t* name) override {
    LocalDescriptor descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kInstanceMutexSddl, SDDL_REVISION_1, &descriptor.sd,
                                                              nullptr)) {
      Logger::Instance()->WriteError(GetLastError(), L"Single-instance lock: security descriptor");
      return INSTANCE_MUTEX_NONE;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.sd, FALSE};
    SetLastError(ERROR_SUCCESS);
    win::UniqueHandle mutex(CreateMutexW(&attributes, TRUE, name));
    const DWORD error = GetLastError();
    if (mutex && error == ERROR_ALREADY_EXISTS) return INSTANCE_MUTEX_EXISTS;
    if (!mutex) {
      // Access denied: a lock another copy made that this account may not open.
      Logger::Instance()->WriteError(error, L"Single-instance lock");
      return INSTANCE_MUTEX_NONE;
    }
    m_mutex = std::move(mutex);
    return INSTANCE_MUTEX_OWNED;
  }

  void ReleaseInstanceMutex() override {
    if (!m_mutex) return;
    ReleaseMutex(m_mutex.Get());
    m_mutex.Reset();
  }

  int IsUserAdmin() override {
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    win::UniqueLibrary loaded;
    if (!shell) {
      loaded.Reset(LoadLibraryW(L"shell32.dll"));
      shell = loaded.Get();
    }
    if (!shell) return 0;
    auto isAdmin = reinterpret_cast<IsUserAnAdminFn>(
        reinterpret_cast<void*>(GetProcAddress(shell, MAKEINTRESOURCEA(kIsUserAnAdminOrdinal))));
    // Without the query there is no proof of administrator rights.
    return isAdmin && isAdmin() ? 1 : 0;
  }

  int ProgramDirectory(wchar_t* out) override { return GetProgramDirectory(out); }

  int RunMainDialog() override { return g_mainDialogRunner ? g_mainDialogRunner() : IDCANCEL; }

  FirmwarePolicy FirmwareTrustPolicy() override { return ReadFirmwarePolicy(); }

 private:
  win::UniqueHandle m_mutex;
};
}  // namespace

void SetMainDialogRunner(int (*runner)()) { g_mainDialogRunner = runner; }

StartupPlatform& SystemStartupPlatform() {
  static Win32StartupPlatform platform;
  return platform;
}
