#pragma once
// The application object: start-up checks in their fixed order, then the main
// dialog. The system services the checks need come through StartupPlatform so
// that the order and every decision can be driven by tests.

#include <cstddef>

#include "firmware/firmware_policy.h"
#include "printer/installed_printers.h"

class CProperties;

constexpr size_t APP_SERIES_NAME_MAX = 0x100;

// What CreateInstanceMutex found.
enum InstanceMutexResult {
  INSTANCE_MUTEX_NONE = -1,  // no handle (access denied, any other failure)
  INSTANCE_MUTEX_EXISTS = 0,  // another copy owns it; the handle is closed already
  INSTANCE_MUTEX_OWNED = 1,   // created and owned by this process
};

// Whether the run may go on: only with the lock in hand. A lock that cannot be
// taken (one created by a copy in another session, under another account) is
// another copy too; "no lock, go on" would let two runs reach one printer.
bool OwnsInstanceLock(int mutexResult);

class StartupPlatform {
 public:
  virtual ~StartupPlatform() = default;
  virtual void InitCommonControls() = 0;
  // Opens and rotates the log (Logger::InitLogFile in the product).
  virtual void InitLogFile() = 0;
  // The named mutex, created owned, that SYSTEM and every administrator can
  // open from any session (an InstanceMutexResult).
  virtual int CreateInstanceMutex(const wchar_t* name) = 0;
  // Releases and closes the mutex this process owns.
  virtual void ReleaseInstanceMutex() = 0;
  // 1 when the user is an administrator.
  virtual int IsUserAdmin() = 0;
  // The folder of the program file with its trailing separator; 1 on success.
  virtual int ProgramDirectory(wchar_t* out) = 0;
  // Runs the main dialog modally; its result is not examined.
  virtual int RunMainDialog() = 0;
  // The firmware trust Group Policy sets (ReadFirmwarePolicy in the product).
  virtual FirmwarePolicy FirmwareTrustPolicy() = 0;
};

// The Win32 services (startup_platform_win32.cpp).
StartupPlatform& SystemStartupPlatform();
// What the Win32 platform's RunMainDialog runs: the dialog lives in the
// program, not in the library the test programs link.
void SetMainDialogRunner(int (*runner)());

// In the Global\ namespace: one copy a computer, whichever session or account
// runs it (a deployment tool as SYSTEM in session 0, a Remote Desktop user).
extern const wchar_t APP_INSTANCE_MUTEX_NAME[];
extern const wchar_t APP_REGISTRY_KEY[];

class CtidewayApp {
 public:
  CtidewayApp(StartupPlatform& platform, CProperties& properties);
  CtidewayApp(const CtidewayApp&) = delete;
  CtidewayApp& operator=(const CtidewayApp&) = delete;

  // Runs the start-up checks and the main dialog; always false (no message loop
  // of the application's own follows).
  bool InitInstance();

  PrinterNameList m_driverNames;
  wchar_t m_seriesName[APP_SERIES_NAME_MAX];
  // The application's registry key name, kept for settings of the toolkit; the
  // program stores none there.
  const wchar_t* m_registryKey = nullptr;

 private:
  // Steps after the instance check, up to the main dialog.
  void RunChecks(PrinterNameList* foundPrinters);

  StartupPlatform& m_platform;
  CProperties& m_properties;
};

// Loads "properties.ini" from `programDirectory` into `properties`: true when
// the file was read, "DRIVER_NAMES" exists, "BIN_FILES" or, failing that,
// "BIN_FILES_AND_IDS" exists, and the firmware trust of `policy` and the file
// is usable (DecideFirmwareTrust). Sets the run's trusted signers (none when
// no signature is asked for).
bool InitProperties(CProperties& properties, const wchar_t* programDirectory, const FirmwarePolicy& policy);
// The same for the process-wide table, the program's own folder and this
// computer's policy.
bool InitProperties();
