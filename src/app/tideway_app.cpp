#include "app/tideway_app.h"

#include <cwchar>

#include "firmware/firmware_signers.h"
#include "host/logger.h"
#include "host/program_dir.h"
#include "host/properties.h"
#include "host/strings.h"
#include "host/text_insert.h"
#include "host/text_utils.h"
#include "printer/services.h"
#include "resources/version.h"

const wchar_t APP_INSTANCE_MUTEX_NAME[] = L"Global\\{6B1E2F40-93AC-4D7E-A215-0C4F7D9B3E58}";
const wchar_t APP_REGISTRY_KEY[] = L"Local AppWizard-Generated Applications";

namespace {
constexpr unsigned kStringNoPrinter = 222;
constexpr unsigned kStringMissingConfig = 105;
constexpr unsigned kStringNotAdmin = 223;
constexpr uint32_t kBoxErrorOk = 16;  // MB_ICONERROR | MB_OK
constexpr size_t kPathMax = 260;
constexpr size_t kMessageMax = 1024;
constexpr size_t kSourceMax = 128;

// The run's signers from the policy or FIRMWARE_SIGNERS, said once in the
// log; false (a configuration error) when the list in force is not one of
// thumbprints or signatures are required without one.
bool LoadTrustedSigners(const CProperties& properties, const FirmwarePolicy& policy) {
  Logger* log = Logger::Instance();
  const FirmwareTrust trust = DecideFirmwareTrust(policy, properties);
  SetTrustedSigners(trust.signers);
  wchar_t source[kSourceMax];
  FormatText(source, kSourceMax, L"the policy value HKLM\\%ls\\%ls", FIRMWARE_POLICY_KEY, FIRMWARE_POLICY_SIGNERS);
  const wchar_t* listName = trust.fromPolicy ? source : FIRMWARE_SIGNERS_KEY;
  if (trust.fromPolicy) {
    log->Write(L"Firmware signers are set by %ls%ls", source,
               trust.fileKeyIgnored ? L"; FIRMWARE_SIGNERS of properties.ini is ignored." : L".");
  }
  switch (trust.result) {
    case TRUST_BAD_LIST:
      if (trust.unusableValue) {
        log->Write(L"ERROR: %ls is not usable", listName);
      } else if (trust.bad.empty()) {
        log->Write(L"ERROR: %ls holds no thumbprint", listName);
      } else {
        log->Write(L"ERROR: %ls: \"%ls\" is not a SHA-256 thumbprint", listName, trust.bad.c_str());
      }
      return false;
    case TRUST_REQUIRED_NO_LIST:
      log->Write(L"ERROR: the policy value HKLM\\%ls\\%ls requires signed firmware, and no signers are set.",
                 FIRMWARE_POLICY_KEY, FIRMWARE_POLICY_REQUIRE);
      return false;
    case TRUST_NOT_ASKED:
      log->Write(L"Firmware signatures are not checked: %ls is not set.", FIRMWARE_SIGNERS_KEY);
      return true;
    case TRUST_SIGNERS:
      break;
  }
  std::wstring list;
  for (const Thumbprint& signer : trust.signers) list += (list.empty() ? L"" : L", ") + Sha256Hex(signer.data());
  log->Write(L"Firmware files must be signed by one of these signers: %ls", list.c_str());
  return true;
}
}  // namespace

CtidewayApp::CtidewayApp(StartupPlatform& platform, CProperties& properties)
    : m_platform(platform), m_properties(properties) {
  wmemset(m_seriesName, 0, APP_SERIES_NAME_MAX);
}

bool CtidewayApp::InitInstance() {
  m_platform.InitCommonControls();

  PrinterNameList foundPrinters;
  wmemset(m_seriesName, 0, APP_SERIES_NAME_MAX);

  Logger* log = Logger::Instance();
  m_platform.InitLogFile();
  log->SetTag(L"TIDWY");
  log->SetCaption(L"Error");

  log->Write(L"================= Firmware Update ========================");
  log->Write(L"Version: %ls", L"" TIDEWAY_VERSION_TEXT);

  const int mutex = m_platform.CreateInstanceMutex(APP_INSTANCE_MUTEX_NAME);
  if (!OwnsInstanceLock(mutex)) {
    // The other copy owns the mutex: leave it alone.
    log->ShowStringMessage();
    log->Write(L"There is already a copy of the firmware update program.  Aborting...");
    return false;
  }

  RunChecks(&foundPrinters);

  m_platform.ReleaseInstanceMutex();
  return false;
}

bool OwnsInstanceLock(int mutexResult) {
  if (mutexResult == INSTANCE_MUTEX_OWNED) return true;
  if (mutexResult != INSTANCE_MUTEX_EXISTS) {
    Logger::Instance()->Write(L"The single-instance lock could not be taken: taken for another copy.");
  }
  return false;
}

void CtidewayApp::RunChecks(PrinterNameList* foundPrinters) {
  Logger* log = Logger::Instance();

  if (!m_platform.IsUserAdmin()) {
    log->ShowStringError(kStringNotAdmin);
    log->Write(
        L"ERROR: User does NOT have administrator priviledges. Cannot install the printer software without "
        L"administrator priviledges.");
    return;
  }

  wchar_t programDirectory[kPathMax];
  if (!m_platform.ProgramDirectory(programDirectory)) programDirectory[0] = 0;
  if (!InitProperties(m_properties, programDirectory, m_platform.FirmwareTrustPolicy())) {
    m_properties.Dump();
    log->ShowStringError(kStringMissingConfig);
    return;
  }

  m_properties.Dump();
  m_properties.GetProperty(L"PRINTER_SERIESNAME", m_seriesName, APP_SERIES_NAME_MAX);
  m_properties.GetPropertyList(L"DRIVER_NAMES", m_driverNames);
  // An update that was cut off (the program killed, a crash, a power cut)
  // leaves the spooler stopped: no printer would be listed, and nothing on this
  // computer would print. The update stops and starts it anyway.
  StartAService();
  const int count = FindInstalledPrinters(foundPrinters, m_driverNames, 0);

  if (count == 0) {
    wchar_t text[STRINGS_TEXT_MAX];
    Strings::Instance()->GetString(kStringNoPrinter, text);
    // The series name comes from the configuration file: it fills the text's
    // one string directive and is never read as a format itself.
    wchar_t message[kMessageMax];
    InsertTextValue(message, kMessageMax, text, m_seriesName);
    log->ShowMessageTyped(kBoxErrorOk, L"%ls", message);
    return;
  }

  log->Write(L"++ Found %d printers", count);
  m_registryKey = APP_REGISTRY_KEY;
  m_platform.RunMainDialog();
}

bool InitProperties(CProperties& properties, const wchar_t* programDirectory, const FirmwarePolicy& policy) {
  wchar_t path[kPathMax];
  CopyText(path, kPathMax, programDirectory ? programDirectory : L"");
  const size_t wanted = wcslen(path) + wcslen(L"properties.ini");
  AppendText(path, kPathMax, L"properties.ini");
  Logger::Instance()->Write(L"InitProperties - retrieve props from file '%ls'", path);
  // A cut path would name some other file.
  if (wanted >= kPathMax) return false;

  if (!properties.Load(path)) return false;
  const bool hasDriverNames = properties.PropertyExists(L"DRIVER_NAMES") != 0;
  if (!properties.PropertyExists(L"BIN_FILES") && !properties.PropertyExists(L"BIN_FILES_AND_IDS")) return false;
  return hasDriverNames && LoadTrustedSigners(properties, policy);
}

bool InitProperties() {
  wchar_t programDirectory[kPathMax];
  if (!GetProgramDirectory(programDirectory)) programDirectory[0] = 0;
  return InitProperties(*CProperties::Instance(), programDirectory, ReadFirmwarePolicy());
}
