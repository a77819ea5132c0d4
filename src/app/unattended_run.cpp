#include "app/unattended_run.h"

#include <cstdio>
#include <cwchar>

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/clock.h"
#include "host/logger.h"
#include "host/strings.h"
#include "host/text_insert.h"
#include "host/text_utils.h"
#include "net/ip_address.h"
#include "resources/resource.h"
#include "update/fw_download.h"
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

const char* ComponentName(int32_t type) {
  switch (type) {
    case COMP_NANDLDR:
      return "NandLDR";
    case COMP_PRINT:
      return "print";
    case COMP_BINARY:
      return "binary";
    case COMP_KINSET:
      return "Kinset";
    case COMP_NANDBOOT:
      return "NandBoot";
    default:
      return "unknown";
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
    version.parts.emplace_back(ComponentName(package.componentType), package.version);
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

// One printer's check or update.
class PrinterRun {
 public:
  PrinterRun(const CommandLine& line, const UnattendedEnvironment& env, RunBoard& board, size_t index,
             PrinterReport* report)
      : m_line(line), m_env(env), m_board(board), m_index(index), m_report(report), m_start(TickCountMs()) {
    m_progress.SetListener([this](const UpdateProgress& progress, UpdateProgressEvent what) {
      m_board.Progress(m_index, progress.Snapshot(), what);
    });
  }

  void Run(const plist_t* printer) {
    LogPrinterScope scope(m_report->name.c_str());
    if (!printer) {
      End(L"not-found", m_report->name + L": no installed printer of a listed driver has this name",
          UpdateOutcome::NotFound);
      return;
    }
    Update(*printer);
  }

 private:
  void End(const wchar_t* outcome, const std::wstring& detail, UpdateOutcome progressOutcome, int status = -1) {
    m_report->outcome = outcome;
    m_report->detail = OneLine(detail);
    m_report->seconds = static_cast<double>(TickCountMs() - m_start) / 1000.0;
    m_progress.Finish(progressOutcome, status, progressOutcome == UpdateOutcome::Updated);
    Logger::Instance()->Write(L"Unattended: %ls: %ls (%ls)", m_report->name.c_str(), outcome, m_report->detail.c_str());
    m_board.End(m_index, outcome, m_report->detail);
  }

  void Update(const plist_t& printer) {
    const std::wstring& name = printer.printerName;
    m_report->port = printer.portName;
    const PortKind kind = ClassifyPort(printer.portName.c_str());
    m_report->kind = KindName(kind);

    CFWDownload download(&m_progress);
    Logger::Instance()->Write(L"FWDownload()");
    m_progress.SetMilestone(10);
    m_progress.SetPhase(UpdatePhase::ChoosingFile);
    ChosenFirmware chosen;
    WorkerResult prepared;
    if (!PrepareFirmware(m_env.tables, printer, download, &chosen, &prepared)) {
      End(L"failed",
          prepared.outcomeLine.empty() ? name + L": the printer's front panel culture is not known"
                                       : prepared.outcomeLine,
          UpdateOutcome::Failed);
      return;
    }
    m_report->file = chosen.path;
    m_report->fileVersion = FileVersionOf(chosen);

    m_progress.SetPhase(UpdatePhase::ReadingVersion);
    PrinterVersionCheck check;
    download.CheckPrinter(name.c_str(), chosen.productId, chosen.path, chosen.familyId, &check);
    m_report->address = check.address;
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

    UnattendedRfuPlatform rfu(*m_env.rfuSystem, m_line.rfu);
    bool switchedOn = false;
    if (kind == PORT_NETWORK && !PassGate(printer, rfu, &switchedOn)) return;

    Logger::Instance()->Write(L"---Start to firmware download---");
    const WorkerResult result = RunPreparedUpdate(printer, chosen, download);
    LogWorkerEnd(result);

    const bool updated = result.status == FWDL_UPDATED;
    if (updated && VerifiesAfterDownload() && kind != PORT_PARALLEL) {
      PrinterVersionCheck after;
      CFWDownload(nullptr).CheckPrinter(name.c_str(), chosen.productId, chosen.path, chosen.familyId, &after);
      m_report->versionAfter = PrinterVersionOf(after);
    }

    std::wstring detail = result.outcomeLine;
    if (switchedOn && m_line.rfu == RfuConsent::OnOff) {
      m_progress.SetPhase(UpdatePhase::SwitchingRfu);
      const std::wstring community = m_line.setCommunity;
      if (!SwitchRfuOff(printer, rfu, community.empty() ? nullptr : community.c_str())) {
        detail += L" The RFU setting could not be switched off again.";
      }
    }
    if (updated) {
      End(L"updated", detail, UpdateOutcome::Updated, result.status);
    } else if (result.status == FWDL_UP_TO_DATE) {
      End(L"current", detail, UpdateOutcome::Current, result.status);
    } else {
      End(L"failed", detail, UpdateOutcome::Failed, result.status);
    }
  }

  // The network printer's RFU gate without a person. False when the printer
  // is not to be updated (its report ended here).
  bool PassGate(const plist_t& printer, UnattendedRfuPlatform& rfu, bool* switchedOn) {
    const std::wstring& name = printer.printerName;
    Logger* log = Logger::Instance();
    const int security = CheckSecurityFirmwareOfPort(printer.portName.c_str(), Ping);
    if (security == SECURITY_FW_UNREACHABLE) {
      End(L"failed", name + L": the printer does not answer at " + m_report->address, UpdateOutcome::Failed);
      return false;
    }
    if (security != SECURITY_FW_GATE) {
      log->Write(L"This product fwversion is not securilty firmware version,download directly");
      return true;
    }
    log->Write(L"--- This product fwversion is securilty firmware version---");
    m_progress.SetPhase(UpdatePhase::SwitchingRfu);
    RfuSequencer sequencer(rfu, printer);
    sequencer.SetCommunities(m_line.getCommunity.empty() ? RFU_DEFAULT_COMMUNITY : m_line.getCommunity,
                             m_line.setCommunity.empty() ? RFU_DEFAULT_COMMUNITY : m_line.setCommunity);
    const int gate = sequencer.InstallSequencer();
    if (gate == RFU_GATE_PASSED) {
      *switchedOn = rfu.AskedConsent();
      return true;
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
    return false;
  }

  const CommandLine& m_line;
  const UnattendedEnvironment& m_env;
  RunBoard& m_board;
  size_t m_index;
  PrinterReport* m_report;
  uint32_t m_start;
  UpdateProgress m_progress;
};

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

  // One after another; each has its own report, progress and RFU platform.
  report.printers.resize(selected.size());
  std::vector<std::wstring> names;
  for (const auto& s : selected) names.push_back(s.first);
  board.Begin(names);
  ExitCode worst = EXITCODE_OK;
  for (size_t i = 0; i < selected.size(); ++i) {
    report.printers[i].name = selected[i].first;
    PrinterRun run(line, env, board, i, &report.printers[i]);
    run.Run(selected[i].second);
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
