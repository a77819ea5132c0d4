// Start-up order and decisions, driven through the platform seam with a fake
// spooler, a properties file in a folder of the test's own, and captured log
// lines and message boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/tideway_app.h"
#include "firmware/firmware_signers.h"
#include "host/logger.h"
#include "host/properties.h"
#include "host/text_utils.h"
#include "resources/version.h"
#include "support/fake_service.h"
#include "support/fake_spooler.h"
#include "support/log_capture.h"

namespace fs = std::filesystem;

namespace {
const wchar_t kAlreadyRunning[] = L"There is already a copy of the firmware update program running.";
const wchar_t kNotAdmin[] =
    L"Insufficient permissions.  You must have administrator rights to update the firmware for this product.";
const wchar_t kMissingConfig[] = L"Missing a configuration file.";
const wchar_t kAbortLine[] = L"There is already a copy of the firmware update program.  Aborting...";
const wchar_t kNotAdminLine[] =
    L"ERROR: User does NOT have administrator priviledges. Cannot install the printer software without "
    L"administrator priviledges.";
constexpr uint32_t kTopmost = 0x00040000;

class FakePlatform : public StartupPlatform {
 public:
  int mutexResult = INSTANCE_MUTEX_OWNED;
  int admin = 1;
  std::wstring directory;
  std::vector<std::string> calls;
  std::wstring mutexName;

  void InitCommonControls() override { calls.push_back("controls"); }
  void InitLogFile() override { calls.push_back("log"); }
  int CreateInstanceMutex(const wchar_t* name) override {
    calls.push_back("mutex");
    mutexName = name;
    return mutexResult;
  }
  void ReleaseInstanceMutex() override { calls.push_back("release"); }
  int IsUserAdmin() override {
    calls.push_back("admin");
    return admin;
  }
  int ProgramDirectory(wchar_t* out) override {
    calls.push_back("directory");
    CopyText(out, 260, directory.c_str());
    return 1;
  }
  int RunMainDialog() override {
    calls.push_back("dialog");
    return 2;
  }
  FirmwarePolicy policy;
  FirmwarePolicy FirmwareTrustPolicy() override { return policy; }
};

// A folder of its own per test; properties.ini is written there when given.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("tideway-app-" + std::to_string(stamp) + "-" + std::to_string(counter.fetch_add(1)));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  void WriteProperties(const std::string& text) const {
    std::ofstream(path_ / "properties.ini", std::ios::binary) << text;
  }
  // With the trailing separator, as the program directory comes.
  std::wstring Directory() const { return (path_ / "").wstring(); }

 private:
  fs::path path_;
};

const char kGoodProperties[] =
    "PRINTER_SERIESNAME = \"QV Vestra\"\n"
    "DRIVER_NAMES = \"QV Vestra 5100 Series, QV Orrery Print Driver\"\n"
    "BIN_FILES = \"QV Vestra*, vestra.bin\"\n";

std::vector<FakePrinter> Printers() {
  return {
      {L"Front Desk", L"IP_127.40.0.2", L"QV Vestra 5100 Series", L"", 0},
      {L"Lab", L"LPT1:", L"QV Orrery Print Driver", L"", 0},
      {L"Other", L"USB001", L"Another Driver", L"", 0},
  };
}

struct StartUpRun {
  std::vector<std::string> calls;
  std::vector<CapturedBox> boxes;
  std::vector<std::wstring> lines;
  bool result = true;
  std::wstring seriesName;
  PrinterNameList driverNames;
  bool registryKeySet = false;

  bool Logged(const std::wstring& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  bool LoggedPart(const std::wstring& part) const {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::wstring& l) { return l.find(part) != std::wstring::npos; });
  }
};

// One start-up. `properties` null: no properties.ini in the folder.
StartUpRun StartUp(FakePlatform& platform, const char* properties, std::vector<FakePrinter> printers = Printers()) {
  TempFolder folder;
  if (properties) folder.WriteProperties(properties);
  platform.directory = folder.Directory();
  FakeSpooler spooler(std::move(printers));
  CProperties table;
  LogCapture log;
  BoxCapture boxes;
  CtidewayApp app(platform, table);
  StartUpRun run;
  run.result = app.InitInstance();
  run.calls = platform.calls;
  run.boxes = boxes.Boxes();
  run.lines = log.Lines();
  run.seriesName = app.m_seriesName;
  run.driverNames = app.m_driverNames;
  run.registryKeySet = app.m_registryKey != nullptr;
  return run;
}

using Calls = std::vector<std::string>;
}  // namespace

TEST(StartUp, MatchingPrinterRunsTheDialogAndReleasesTheMutex) {
  FakePlatform platform;
  StartUpRun run = StartUp(platform, kGoodProperties);
  EXPECT_FALSE(run.result);
  EXPECT_EQ(run.calls, (Calls{"controls", "log", "mutex", "admin", "directory", "dialog", "release"}));
  EXPECT_EQ(platform.mutexName, L"Global\\{6B1E2F40-93AC-4D7E-A215-0C4F7D9B3E58}");
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(run.registryKeySet);
  EXPECT_EQ(run.seriesName, L"QV Vestra");
  EXPECT_EQ(run.driverNames, (PrinterNameList{L"QV Vestra 5100 Series", L"QV Orrery Print Driver"}));

  // The banner first, then the properties and the count, in this order.
  ASSERT_GE(run.lines.size(), 3u);
  EXPECT_EQ(run.lines[0], L"================= Firmware Update ========================");
  EXPECT_EQ(run.lines[1], L"Version: " TIDEWAY_VERSION_TEXT);
  std::wstring expectedPath = L"InitProperties - retrieve props from file '" + platform.directory + L"properties.ini'";
  EXPECT_EQ(run.lines[2], expectedPath);
  auto dump = std::find(run.lines.begin(), run.lines.end(), L"-\\/\\/\\/- Properties -\\/\\/\\/-");
  auto found = std::find(run.lines.begin(), run.lines.end(), L"++ Found 2 printers");
  ASSERT_NE(dump, run.lines.end());
  ASSERT_NE(found, run.lines.end());
  EXPECT_LT(dump, found);
  EXPECT_EQ(run.lines.back(), L"++ Found 2 printers");
  EXPECT_EQ(Logger::Instance()->Tag(), std::wstring(L"TIDWY"));
  EXPECT_EQ(Logger::Instance()->Caption(), std::wstring(L"Error"));
}

TEST(StartUp, SecondCopyStopsBeforeEveryOtherCheck) {
  // A lock that cannot be taken (access denied: a copy in another session or
  // under another account made it) is another copy too. Even a user without
  // administrator rights sees the second-copy box.
  for (int found : {INSTANCE_MUTEX_EXISTS, INSTANCE_MUTEX_NONE}) {
    SCOPED_TRACE(found);
    FakePlatform platform;
    platform.mutexResult = found;
    platform.admin = 0;
    StartUpRun run = StartUp(platform, kGoodProperties);
    EXPECT_FALSE(run.result);
    EXPECT_EQ(run.calls, (Calls{"controls", "log", "mutex"}));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, kAlreadyRunning);
    EXPECT_EQ(run.boxes[0].caption, L"Error");
    EXPECT_EQ(run.boxes[0].flags, kTopmost);  // plain OK box
    EXPECT_EQ(run.lines.back(), kAbortLine);
    EXPECT_FALSE(run.LoggedPart(L"InitProperties"));
  }
}

TEST(StartUp, NonAdministratorIsRefusedBeforeTheConfigurationIsRead) {
  // No properties file at all: the user must see string 223, never 105.
  FakePlatform platform;
  platform.admin = 0;
  StartUpRun run = StartUp(platform, nullptr);
  EXPECT_EQ(run.calls, (Calls{"controls", "log", "mutex", "admin", "release"}));
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, kNotAdmin);
  EXPECT_EQ(run.boxes[0].flags, kTopmost | 0x10u);
  EXPECT_TRUE(run.Logged(kNotAdminLine));
  EXPECT_FALSE(run.LoggedPart(L"InitProperties"));
}

TEST(StartUp, IncompleteConfigurationShowsMissingConfigAfterTheDump) {
  const std::string complete = "DRIVER_NAMES = \"QV Vestra 5100 Series\"\nBIN_FILES = \"a*, a.bin\"\n";
  const std::string signers = complete + "FIRMWARE_SIGNERS = ";
  const std::string aSigner = signers + "\"" + std::string(64, 'e') + "\"\n";
  const std::string notAThumbprint = signers + "\"ab:cd\"\n";
  const std::string noThumbprint = signers + "\" , \"\n";
  FirmwarePolicy policyList;
  policyList.signersState = POLICY_VALUE_SET;
  policyList.signers = std::wstring(64, L'a');
  FirmwarePolicy policyBad = policyList;
  policyBad.signers = L"12";
  FirmwarePolicy required;
  required.requireState = POLICY_VALUE_SET;
  required.require = 1;
  struct Case {
    const char* name;
    const char* properties;  // null: no file
    bool passes;
    const wchar_t* line = nullptr;  // what the log says about the configuration
    FirmwarePolicy policy = {};
  } cases[] = {
      {"no file", nullptr, false},
      {"no DRIVER_NAMES", "BIN_FILES = \"a*, a.bin\"\n", false},
      {"no firmware table", "DRIVER_NAMES = \"QV Vestra 5100 Series\"\n", false},
      {"only the table with ids", "DRIVER_NAMES = \"QV Vestra 5100 Series\"\nBIN_FILES_AND_IDS = \"a*, a.bin, 1, 2\"\n",
       true, L"Firmware signatures are not checked: FIRMWARE_SIGNERS is not set."},
      {"empty file", "", false},
      {"driver_names in lower case", "driver_names = \"QV Vestra 5100 Series\"\nbin_files = \"a*, a.bin\"\n", true},
      {"a signer", aSigner.c_str(), true,
       L"Firmware files must be signed by one of these signers: EEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEE"},
      {"a signer that is not a thumbprint", notAThumbprint.c_str(), false,
       L"ERROR: FIRMWARE_SIGNERS: \"ab:cd\" is not a SHA-256 thumbprint"},
      {"signers without a thumbprint", noThumbprint.c_str(), false,
       L"ERROR: FIRMWARE_SIGNERS holds no thumbprint"},
      {"the policy's list over a bad key in the file", notAThumbprint.c_str(), true,
       L"Firmware signers are set by the policy value HKLM\\SOFTWARE\\Policies\\QV\\Tideway\\FirmwareSigners; "
       L"FIRMWARE_SIGNERS of properties.ini is ignored.",
       policyList},
      {"the policy's list not one of thumbprints", aSigner.c_str(), false,
       L"ERROR: the policy value HKLM\\SOFTWARE\\Policies\\QV\\Tideway\\FirmwareSigners: \"12\" is not a SHA-256 "
       L"thumbprint",
       policyBad},
      {"signed firmware required by policy, no key", complete.c_str(), false,
       L"ERROR: the policy value HKLM\\SOFTWARE\\Policies\\QV\\Tideway\\RequireSignedFirmware requires signed "
       L"firmware, and no signers are set.",
       required},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.policy = c.policy;
    StartUpRun run = StartUp(platform, c.properties);
    EXPECT_EQ(run.calls.back(), "release") << c.name;
    if (c.line) {
      EXPECT_TRUE(run.Logged(c.line)) << c.name;
    }
    if (c.passes) {
      EXPECT_TRUE(run.boxes.empty()) << c.name;
      EXPECT_TRUE(run.Logged(L"++ Found 1 printers")) << c.name;
      continue;
    }
    ASSERT_EQ(run.boxes.size(), 1u) << c.name;
    EXPECT_EQ(run.boxes[0].text, kMissingConfig) << c.name;
    EXPECT_EQ(run.boxes[0].flags, kTopmost | 0x10u) << c.name;
    EXPECT_TRUE(run.Logged(L"-\\/\\/\\/- Properties -\\/\\/\\/-")) << c.name;
    EXPECT_TRUE(run.Logged(L"-/\\/\\/\\- Properties -/\\/\\/\\-")) << c.name;
    EXPECT_FALSE(run.LoggedPart(L"FindInstalledPrinters")) << c.name;
    EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), "dialog"), 0) << c.name;
  }
  SetTrustedSigners({});
}

TEST(StartUp, NoMatchingPrinterShowsTheSeriesNameAsData) {
  struct Case {
    const char* series;  // the PRINTER_SERIESNAME line, or null
    const wchar_t* text;
  } cases[] = {
      {"PRINTER_SERIESNAME = \"QV Vestra\"\n", L"Cannot find a QV Vestra printer installed on this system.\r\n"},
      // Missing series name: nothing between "a" and "printer".
      {nullptr, L"Cannot find a  printer installed on this system.\r\n"},
      // Directives in the configured name are shown, never interpreted.
      {"PRINTER_SERIESNAME = \"100%s %n %ls\"\n", L"Cannot find a 100%s %n %ls printer installed on this system.\r\n"},
  };
  for (const Case& c : cases) {
    std::string properties = std::string(c.series ? c.series : "") +
                             "DRIVER_NAMES = \"QV Nothing Installed\"\nBIN_FILES = \"a*, a.bin\"\n";
    FakePlatform platform;
    StartUpRun run = StartUp(platform, properties.c_str());
    EXPECT_EQ(run.calls, (Calls{"controls", "log", "mutex", "admin", "directory", "release"}));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, c.text);
    EXPECT_EQ(run.boxes[0].caption, L"Error");
    EXPECT_EQ(run.boxes[0].flags, kTopmost | 16u);
    EXPECT_TRUE(run.Logged(L" Found NO printers with our drivername"));
    EXPECT_FALSE(run.LoggedPart(L"++ Found"));
  }
}

TEST(StartUp, OverLongSeriesNameIsCut) {
  std::string series(600, 'S');
  std::string properties = "PRINTER_SERIESNAME = \"" + series +
                           "\"\nDRIVER_NAMES = \"QV Nothing Installed\"\nBIN_FILES = \"a*, a.bin\"\n";
  FakePlatform platform;
  StartUpRun run = StartUp(platform, properties.c_str());
  EXPECT_EQ(run.seriesName, std::wstring(APP_SERIES_NAME_MAX - 1, L'S'));
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, L"Cannot find a " + std::wstring(APP_SERIES_NAME_MAX - 1, L'S') +
                                   L" printer installed on this system.\r\n");
}

// A spooler left stopped by a run that was cut off in the middle of an update:
// the printers cannot be listed (RPC server unavailable) until it runs again.
TEST(StartUp, ASpoolerLeftStoppedIsStartedBeforeThePrintersAreCounted) {
  TempFolder folder;
  folder.WriteProperties(kGoodProperties);
  FakePlatform platform;
  platform.directory = folder.Directory();
  FakeSpooler spooler(Printers());
  FakeSpoolerService service(spooler, false);
  CProperties table;
  LogCapture log;
  BoxCapture boxes;
  CtidewayApp app(platform, table);
  app.InitInstance();
  EXPECT_TRUE(service.Running());
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(platform.calls, (Calls{"controls", "log", "mutex", "admin", "directory", "dialog", "release"}));
}

TEST(InitProperties, TooLongAFolderIsRefused) {
  CProperties table;
  LogCapture log;
  std::wstring folder = L"/" + std::wstring(250, L'x') + L"/";
  EXPECT_FALSE(InitProperties(table, folder.c_str(), FirmwarePolicy()));
  EXPECT_EQ(table.Count(), 0u);
}
