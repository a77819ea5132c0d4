#include "app/unattended_run.h"

#include <cstdio>
#include <cwchar>
#include <memory>

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/clock.h"
#include "host/logger.h"
#include "host/strings.h"
#include "host/text_insert.h"
#include "host/text_utils.h"
#include "net/ip_address.h"
#include "printer/installed_printers.h"
#include "printer/port_address.h"
#include "printer/services.h"
#include "resources/resource.h"
#include "update/fleet_schedule.h"
#include "update/fw_download.h"
#include "update/run_interrupt.h"
#include "update/security_firmware.h"
#include "update/update_progress.h"
#include "update/update_worker.h"

namespace {

const wchar_t* KindName(PortKind kind) {
  switch (kind) {
    case PORT_USB:
      return L"usb";
    case PORT_PARALLEL:
      return L"parallel";
    default:
      return L"network";
  }
}

// A localised outcome line without its line breaks and runs of blanks.
std::wstring OneLine(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r' || c == L'\n') c = L' ';
    if (c == L' ' && (out.empty() || out.back() == L' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == L' ') out.pop_back();
  return out;
}

// The packages of a NAND file the printer would take, by component; a BIN
// file's one version.
ReportVersion FileVersionOf(const ChosenFirmware& chosen) {
  ReportVersion version;
  if (chosen.fileType != BINTYPE_NAND_PKG) {
    version.known = chosen.fileVersion != 0;
    version.number = chosen.fileVersion;
    return version;
  }
  FirmwareFileBuffer buffer;
  NandPackageFile file;
  if (!buffer.ReadPath(chosen.path) || file.Open(buffer.Data(), buffer.Size()) != NAND_OK) return version;
  for (uint32_t i = 0; i < file.Count(); ++i) {
    NandPackage package;
    if (!file.Package(i, &package) || !AcceptNandPackage(package, chosen.productId, chosen.familyId)) continue;
    version.parts.emplace_back(ComponentTypeName(package.componentType, "unknown"), package.version);
  }
  version.known = !version.parts.empty();
  return version;
}

ReportVersion PrinterVersionOf(const PrinterVersionCheck& check) {
  ReportVersion version;
  if (check.printerVersion == 0) return version;
  version.known = true;
  version.number = check.printerVersion;
  if (check.printerVersion == PRINTER_VERSION_COMPONENTS && !check.componentText.empty()) {
    std::vector<ComponentVersion> components;
    ParseVersionString(&components, check.componentText);
    for (const ComponentVersion& c : components) version.parts.emplace_back(c.name, c.version);
  }
  return version;
}

// The RFU gate's person, answered from the command line: consent as given,
// no community prompt (a refused community is a failure), no box.
class UnattendedRfuPlatform : public RfuPlatform {
 public:
  UnattendedRfuPlatform(RfuPlatform& system, RfuConsent consent) : m_system(system), m_consent(consent) {}

  int QueryRfuStatus(const wchar_t* portName, const wchar_t* community) override {
    return m_system.QueryRfuStatus(portName, community);
  }
  int WriteRfuStatus(const wchar_t* portName, const wchar_t* community, int value) override {
    return m_system.WriteRfuStatus(portName, community, value);
  }
  int AskCommunity(const wchar_t*, std::wstring&) override {
    Logger::Instance()->Write(L"The printer refused the SNMP community; an unattended run does not ask for another");
    return 0;
  }
  int AskRemoteUpgrade() override {
    m_askedConsent = true;
    Logger::Instance()->Write(L"RFU switch-on %ls by the command line",
                              m_consent != RfuConsent::None ? L"allowed" : L"not allowed");
    return m_consent != RfuConsent::None ? 1 : 0;
  }
  void ShowUnableToCommunicate() override {
    Logger::Instance()->Write(L"Unable to Communicate.");
    m_unreachable = true;
  }
  long SaveValue(const wchar_t* keyPath, const wchar_t* valueName, const void* data, uint32_t size,
                 uint32_t type) override {
    return m_system.SaveValue(keyPath, valueName, data, size, type);
  }
  long SaveInstallCrashed(const wchar_t* keyPath) override { return m_system.SaveInstallCrashed(keyPath); }
  long DeleteValue(const wchar_t* keyPath, const wchar_t* valueName) override {
    return m_system.DeleteValue(keyPath, valueName);
  }

  bool AskedConsent() const { return m_askedConsent; }
  bool Unreachable() const { return m_unreachable; }

 private:
  RfuPlatform& m_system;
  RfuConsent m_consent;
  bool m_askedConsent = false;
  bool m_unreachable = false;
};

// Keeps the print spooler stopped from the first download of a fleet to the
// end of the last, on every path out: one update restarting it would cut into
// another's address lookup or USB write.
class SpoolerHold {
 public:
  explicit SpoolerHold(bool needed) : m_held(needed) {
    if (!m_held) return;
    Logger::Instance()->Write(L"Unattended: the spooler is stopped for the run's downloads");
    StopAService();
  }
  ~SpoolerHold() {
    if (!m_held) return;
    StartAService();
    Logger::Instance()->Write(L"Unattended: the spooler is started again after the run's downloads");
  }
  SpoolerHold(const SpoolerHold&) = delete;
  SpoolerHold& operator=(const SpoolerHold&) = delete;

 private:
  bool m_held;
};

// One printer's check or update, taken a step at a time so that a fleet can
// run each step for every printer before the next: Lookup (while the spooler
// runs), Check, Gate (one printer at a time), Download, SwitchOff. Everything
// the update needs lives here, one object per printer, and every log line of
// a step names the printer.
class PrinterRun {
 public:
  PrinterRun(const CommandLine& line, const UnattendedEnvironment& env, RunBoard& board, size_t index,
             PrinterReport* report, const plist_t* printer)
      : m_line(line),
        m_env(env),
        m_board(board),
        m_index(index),
        m_report(report),
        m_start(TickCountMs()),
        m_found(printer != nullptr) {
    if (printer) m_printer = *printer;
    m_progress.SetListener([this](const UpdateProgress& progress, UpdateProgressEvent what) {
      m_board.Progress(m_index, progress.Snapshot(), what);
    });
  }

  bool Ended() const { return m_ended; }
  // Checked, the file is to be written, and nothing ended the printer since.
  bool ToWrite() const { return m_toWrite && !m_ended; }
  PortKind Kind() const { return m_kind; }

  // The port's kind, the driver and a network port's address, asked of the
  // spooler before the run stops it.
  void Lookup() {
    LogPrinterScope scope(m_report->name.c_str());
    if (!m_found) {
      End(L"not-found", m_report->name + L": no installed printer of a listed driver has this name",
          UpdateOutcome::NotFound);
      return;
    }
    m_lookup.port = m_printer.portName;
    m_kind = ClassifyPort(m_printer.portName.c_str());
    m_report->port = m_printer.portName;
    m_report->kind = KindName(m_kind);
    wchar_t driver[PRINTER_DRIVER_MAX] = {};
    if (GetPrinterDriverName(m_printer.printerName.c_str(), driver)) m_lookup.driver = driver;
    if (m_kind == PORT_NETWORK) {
      wchar_t address[PORT_ADDRESS_MAX] = {};
      if (ResolvePortAddress(m_printer.portName.c_str(), address)) m_lookup.address = address;
      m_report->address = m_lookup.address;
    }
  }

  // The file for the printer and the printer's version: whether it is to be
  // written. Ends the printer's report when not.
  void Check() {
    LogPrinterScope scope(m_report->name.c_str());
    const std::wstring& name = m_printer.printerName;
    CFWDownload download(&m_progress, &m_lookup);
    Logger::Instance()->Write(L"FWDownload()");
    m_progress.SetMilestone(10);
    m_progress.SetPhase(UpdatePhase::ChoosingFile);
    WorkerResult prepared;
    if (!PrepareFirmware(m_env.tables, m_printer, download, &m_chosen, &prepared)) {
      End(L"failed",
          prepared.outcomeLine.empty() ? name + L": the printer's front panel culture is not known"
                                       : prepared.outcomeLine,
          UpdateOutcome::Failed);
      return;
    }
    m_report->file = m_chosen.path;
    m_report->fileVersion = FileVersionOf(m_chosen);

    m_progress.SetPhase(UpdatePhase::ReadingVersion);
    PrinterVersionCheck check;
    download.CheckPrinter(name.c_str(), m_chosen.productId, m_chosen.path, m_chosen.familyId, &check);
    if (!check.address.empty()) m_report->address = check.address;
    m_report->versionBefore = PrinterVersionOf(check);

    if (check.result == VERCHK_ERROR && !m_line.force) {
      End(L"failed", name + L": the printer's firmware version could not be read; nothing was written",
          UpdateOutcome::Failed);
      return;
    }
    if (m_line.checkOnly) {
      if (check.result == VERCHK_FILE_NEWER) {
        End(L"would-update", name + L": the file is newer than the printer's firmware", UpdateOutcome::WouldUpdate);
      } else if (check.result == VERCHK_UP_TO_DATE) {
        End(L"current", name + L": the printer already runs the file's version or newer", UpdateOutcome::Current);
      } else {
        End(L"failed", name + L": the printer's firmware version could not be read", UpdateOutcome::Failed);
      }
      return;
    }
    if (check.result == VERCHK_UP_TO_DATE && !m_line.force) {
      End(L"current", name + L": the printer already runs the file's version or newer; nothing was written",
          UpdateOutcome::Current);
      return;
    }
    m_toWrite = true;
    // Until its download starts the printer waits its turn.
    m_progress.SetPhase(UpdatePhase::Idle);
  }

  // The network printer's RFU gate without a person. Ends the printer's
  // report when it is not to be updated.
  void Gate() {
    LogPrinterScope scope(m_report->name.c_str());
    if (m_kind != PORT_NETWORK) return;
    const std::wstring& name = m_printer.printerName;
    Logger* log = Logger::Instance();
    const int security = CheckSecurityFirmwareOfPort(m_printer.portName.c_str(), Ping);
    if (security == SECURITY_FW_UNREACHABLE) {
      End(L"failed", name + L": the printer does not answer at " + m_report->address, UpdateOutcome::Failed);
      return;
    }
    if (security != SECURITY_FW_GATE) {
      log->Write(L"This product fwversion is not securilty firmware version,download directly");
      return;
    }
    log->Write(L"--- This product fwversion is securilty firmware version---");
    m_progress.SetPhase(UpdatePhase::SwitchingRfu);
    UnattendedRfuPlatform rfu(*m_env.rfuSystem, m_line.rfu);
    RfuSequencer sequencer(rfu, m_printer);
    sequencer.SetCommunities(m_line.getCommunity.empty() ? RFU_DEFAULT_COMMUNITY : m_line.getCommunity,
                             m_line.setCommunity.empty() ? RFU_DEFAULT_COMMUNITY : m_line.setCommunity);
    const int gate = sequencer.InstallSequencer();
    if (gate == RFU_GATE_PASSED) {
      m_switchedOn = rfu.AskedConsent();
      m_progress.SetPhase(UpdatePhase::Idle);
      return;
    }
    if (rfu.AskedConsent() && m_line.rfu == RfuConsent::None) {
      End(L"not-applicable", name + L": the RFU setting is off; /rfu:on or /rfu:onoff lets the update switch it on",
          UpdateOutcome::NotApplicable);
    } else if (gate == RFU_GATE_CANCELLED && !rfu.AskedConsent() && !rfu.Unreachable()) {
      End(L"failed", name + L": " + LocalString(IDS_RFU_LOCKED), UpdateOutcome::Failed);
    } else {
      End(L"failed",
          name + L": the RFU setting could not be read or switched on (no SNMP answer, or the community was refused)",
          UpdateOutcome::Failed);
    }
  }

  // Writes the file and, where the product verifies, reads the new version.
  // `spoolerHeld`: the run keeps the spooler stopped around every download.
  void Download(bool spoolerHeld) {
    LogPrinterScope scope(m_report->name.c_str());
    const std::wstring& name = m_printer.printerName;
    m_lookup.spoolerHeld = spoolerHeld;
    Logger::Instance()->Write(L"---Start to firmware download---");
    CFWDownload download(&m_progress, &m_lookup);
    const WorkerResult result = RunPreparedUpdate(m_printer, m_chosen, download);
    LogWorkerEnd(result);

    const bool updated = result.status == FWDL_UPDATED;
    if (updated && VerifiesAfterDownload() && m_kind != PORT_PARALLEL) {
      PrinterVersionCheck after;
      CFWDownload(nullptr, &m_lookup)
          .CheckPrinter(name.c_str(), m_chosen.productId, m_chosen.path, m_chosen.familyId, &after);
      m_report->versionAfter = PrinterVersionOf(after);
    }
    if (updated) {
      End(L"updated", result.outcomeLine, UpdateOutcome::Updated, result.status);
    } else if (result.status == FWDL_UP_TO_DATE) {
      End(L"current", result.outcomeLine, UpdateOutcome::Current, result.status);
    } else {
      End(L"failed", result.outcomeLine + (RunInterrupted() ? L" The run was interrupted." : L""),
          UpdateOutcome::Failed, result.status);
    }
  }

  // After the last update: the RFU setting this run switched on goes off
  // again when the command line asked for it.
  void SwitchOff() {
    LogPrinterScope scope(m_report->name.c_str());
    if (!m_switchedOn || m_line.rfu != RfuConsent::OnOff) return;
    UnattendedRfuPlatform rfu(*m_env.rfuSystem, m_line.rfu);
    const std::wstring& community = m_line.setCommunity;
    if (SwitchRfuOff(m_printer, rfu, community.empty() ? nullptr : community.c_str())) return;
    m_report->detail += L" The RFU setting could not be switched off again.";
    Logger::Instance()->Write(L"Unattended: %ls: the RFU setting could not be switched off again",
                              m_report->name.c_str());
  }

  // The run was interrupted before this printer ended.
  void EndInterrupted() {
    LogPrinterScope scope(m_report->name.c_str());
    if (m_ended) return;
    End(L"failed", m_report->name + L": the run was interrupted before this printer's update ended",
        UpdateOutcome::Failed);
  }

 private:
  void End(const wchar_t* outcome, const std::wstring& detail, UpdateOutcome progressOutcome, int status = -1) {
    m_ended = true;
    m_report->outcome = outcome;
    m_report->detail = OneLine(detail);
    m_report->seconds = static_cast<double>(TickCountMs() - m_start) / 1000.0;
    m_progress.Finish(progressOutcome, status, progressOutcome == UpdateOutcome::Updated);
    Logger::Instance()->Write(L"Unattended: %ls: %ls (%ls)", m_report->name.c_str(), outcome, m_report->detail.c_str());
    m_board.End(m_index, outcome, m_report->detail);
  }

  const CommandLine& m_line;
  const UnattendedEnvironment& m_env;
  RunBoard& m_board;
  size_t m_index;
  PrinterReport* m_report;
  uint32_t m_start;
  bool m_found;
  plist_t m_printer;
  PrinterLookup m_lookup;
  PortKind m_kind = PORT_NETWORK;
  ChosenFirmware m_chosen;
  UpdateProgress m_progress;
  bool m_toWrite = false;
  bool m_switchedOn = false;
  bool m_ended = false;
};

using Runs = std::vector<std::unique_ptr<PrinterRun>>;

FleetLane LaneOf(PortKind kind) {
  if (kind == PORT_USB) return FleetLane::Usb;
  if (kind == PORT_PARALLEL) return FleetLane::Alone;
  return FleetLane::Network;
}

// Runs `step` for the printers `pick` chooses, side by side as the schedule
// allows, until the run is interrupted.
void RunStep(Runs& runs, int limit, const std::function<bool(const PrinterRun&)>& pick,
             const std::function<void(PrinterRun&)>& step) {
  std::vector<PrinterRun*> chosen;
  std::vector<FleetLane> lanes;
  for (auto& run : runs) {
    if (!pick(*run)) continue;
    chosen.push_back(run.get());
    lanes.push_back(LaneOf(run->Kind()));
  }
  if (chosen.empty()) return;
  RunFleet(
      lanes, limit, [&](size_t i) { step(*chosen[i]); }, RunInterrupted);
}

}  // namespace

ExitCode OutcomeExitCode(const std::wstring& outcome) {
  if (outcome == L"updated" || outcome == L"would-update") return EXITCODE_OK;
  if (outcome == L"current") return EXITCODE_CURRENT;
  if (outcome == L"not-applicable") return EXITCODE_NOT_APPLICABLE;
  if (outcome == L"not-found") return EXITCODE_NO_DEVICE;
  return EXITCODE_FAILED;
}

RunReport RunUnattended(const CommandLine& line, const UnattendedEnvironment& env) {
  RunReport report;
  TextBoard textBoard(env.output);
  RunBoard& board = env.board ? *env.board : textBoard;
  const std::vector<plist_t> installed = CollectSupportedPrinters(env.driverNames);

  // Each selected name with the installed printer it names (null: none).
  std::vector<std::pair<std::wstring, const plist_t*>> selected;
  if (line.printers.empty()) {
    for (const plist_t& p : installed) selected.emplace_back(p.printerName, &p);
  } else {
    for (const std::wstring& name : line.printers) {
      const plist_t* match = nullptr;
      for (const plist_t& p : installed) {
        if (TextEquals(p.printerName.c_str(), name.c_str())) {
          match = &p;
          break;
        }
      }
      selected.emplace_back(match ? match->printerName : name, match);
    }
  }
  if (selected.empty()) {
    Logger::Instance()->Write(L"Unattended: no supported printer is installed");
    board.Line(L"No supported printer is installed.");
    report.exitCode = EXITCODE_NO_DEVICE;
    return report;
  }

  report.printers.resize(selected.size());
  std::vector<std::wstring> names;
  for (const auto& s : selected) names.push_back(s.first);
  board.Begin(names);
  Runs runs;
  for (size_t i = 0; i < selected.size(); ++i) {
    report.printers[i].name = selected[i].first;
    runs.push_back(std::make_unique<PrinterRun>(line, env, board, i, &report.printers[i], selected[i].second));
  }

  // Each step for every printer before the next: the spooler is asked while
  // it runs, the RFU gates (SNMP, the sequencer's registry values) go one
  // printer at a time, the spooler is stopped once around all downloads, and
  // switch-offs wait for the last update to end.
  const int limit = line.parallel;
  for (auto& run : runs) run->Lookup();
  RunStep(
      runs, limit, [](const PrinterRun& r) { return !r.Ended(); }, [](PrinterRun& r) { r.Check(); });
  for (auto& run : runs) {
    if (RunInterrupted()) break;
    if (run->ToWrite()) run->Gate();
  }
  // A parallel port's openings restart the spooler: those printers go alone,
  // before the hold.
  RunStep(
      runs, 1, [](const PrinterRun& r) { return r.ToWrite() && r.Kind() == PORT_PARALLEL; },
      [](PrinterRun& r) { r.Download(false); });
  {
    bool downloads = false;
    for (auto& run : runs) downloads = downloads || (run->ToWrite() && run->Kind() != PORT_PARALLEL);
    SpoolerHold hold(downloads && !RunInterrupted());
    RunStep(
        runs, limit, [](const PrinterRun& r) { return r.ToWrite() && r.Kind() != PORT_PARALLEL; },
        [](PrinterRun& r) { r.Download(true); });
  }
  for (auto& run : runs) run->SwitchOff();

  ExitCode worst = EXITCODE_OK;
  for (size_t i = 0; i < runs.size(); ++i) {
    runs[i]->EndInterrupted();
    worst = WorseExitCode(worst, OutcomeExitCode(report.printers[i].outcome));
  }
  report.exitCode = worst;
  return report;
}

namespace {
std::wstring VersionText(const ReportVersion& v) {
  if (!v.known) return L"-";
  if (v.parts.empty()) return std::to_wstring(v.number);
  std::wstring text;
  for (const auto& part : v.parts) {
    if (!text.empty()) text += L",";
    text += FromUtf8Static(part.first.c_str());
    text += L"=" + std::to_wstring(part.second);
  }
  return text;
}

std::wstring Column(std::wstring text, size_t width) {
  if (text.size() < width) text.resize(width, L' ');
  return text + L" ";
}
}  // namespace

std::wstring SummaryText(const RunReport& report) {
  std::wstring text = Column(L"printer", 28) + Column(L"kind", 8) + Column(L"printer version", 16) +
                      Column(L"file version", 16) + L"outcome\r\n";
  for (const PrinterReport& p : report.printers) {
    text += Column(p.name, 28) + Column(p.kind.empty() ? L"-" : p.kind, 8) + Column(VersionText(p.versionBefore), 16) +
            Column(VersionText(p.fileVersion), 16) + p.outcome + L"\r\n";
  }
  text += L"exit code " + std::to_wstring(static_cast<int>(report.exitCode)) + L"\r\n";
  return text;
}
