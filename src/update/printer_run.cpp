#include "update/printer_run.h"

#include <functional>

#include "firmware/versions.h"
#include "host/clock.h"
#include "host/logger.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "net/ip_address.h"
#include "net/snmp_rfu.h"
#include "printer/installed_printers.h"
#include "printer/port_address.h"
#include "resources/resource.h"
#include "update/run_interrupt.h"
#include "update/run_rescue.h"
#include "update/security_firmware.h"
#include "update/switch_off_retry.h"
#include "update/unattended_rfu.h"

namespace {
// One switch-off with the run's Set community, the run having the printer's consent.
bool SwitchOffOnce(RfuPlatform& system, const plist_t& printer, const std::wstring& community,
                   const RfuWriteBounds* bounds) {
  UnattendedRfuPlatform platform(system, RfuConsent::OnOff);
  return SwitchRfuOff(printer, platform, community.empty() ? nullptr : community.c_str(), bounds) != 0;
}
}  // namespace

PrinterRun::PrinterRun(const FleetOptions& options, const FleetEnvironment& env, RunBoard& board, size_t index,
                       PrinterReport* report, const plist_t* printer, FirmwareImages& images)
    : m_options(options),
      m_env(env),
      m_board(board),
      m_index(index),
      m_report(report),
      m_start(TickCountMs()),
      m_found(printer != nullptr),
      m_images(images) {
  if (printer) m_printer = *printer;
  m_progress.SetListener([this](const UpdateProgress& progress, UpdateProgressEvent what) {
    m_board.Progress(m_index, progress.Snapshot(), what);
  });
}

void PrinterRun::Lookup() {
  LogPrinterScope scope(m_report->name.c_str());
  if (!m_found) {
    End(UpdateOutcome::NotFound, m_report->name + L": no installed printer of a listed driver has this name");
    return;
  }
  m_lookup.port = m_printer.portName;
  m_kind = ClassifyPort(m_printer.portName.c_str());
  m_report->port = m_printer.portName;
  m_report->kind = PortKindName(m_kind);
  wchar_t driver[PRINTER_DRIVER_MAX] = {};
  if (GetPrinterDriverName(m_printer.printerName.c_str(), driver)) m_lookup.driver = driver;
  if (m_kind == PORT_NETWORK) {
    wchar_t address[PORT_ADDRESS_MAX] = {};
    if (ResolvePortAddress(m_printer.portName.c_str(), address)) {
      m_lookup.address = address;
      m_lookup.tcpPort = GetPortTcpNumber(m_printer.portName.c_str());
    }
    m_report->address = m_lookup.address;
  }
}

DeviceKey PrinterRun::Device() const {
  DeviceKey key;
  key.kind = m_kind;
  if (m_found) key.port = m_printer.portName;
  key.address = m_lookup.address;
  key.tcpPort = m_lookup.tcpPort;
  return key;
}

void PrinterRun::RideWith(PrinterRun& carrier) {
  m_rides = true;
  carrier.m_riders.push_back(this);
  RescueRecordRider(m_index, carrier.m_index);
  Logger::Instance()->Write(L"Unattended: %ls prints to the same printer as %ls: it is updated once, by %ls",
                            m_report->name.c_str(), carrier.m_report->name.c_str(), carrier.m_report->name.c_str());
}

void PrinterRun::Check() {
  LogPrinterScope scope(m_report->name.c_str());
  const std::wstring& name = m_printer.printerName;
  CFWDownload download(&m_progress, &m_lookup);
  Logger::Instance()->Write(L"FWDownload()");
  m_progress.SetMilestone(10);
  m_progress.SetPhase(UpdatePhase::ChoosingFile);
  WorkerResult prepared;
  if (!PrepareFirmware(m_env.tables, m_printer, download, &m_chosen, &prepared, &m_images)) {
    End(UpdateOutcome::Failed, prepared.outcomeLine.empty() ? name + L": the printer's front panel culture is not known"
                                                            : prepared.outcomeLine);
    return;
  }
  m_report->file = m_chosen.path;
  m_report->fileVersion = FileVersionOf(m_chosen);

  m_progress.SetPhase(UpdatePhase::ReadingVersion);
  PrinterVersionCheck check;
  download.CheckPrinter(name.c_str(), m_chosen.productId, m_chosen.path, m_chosen.familyId, &check);
  if (!check.address.empty()) m_report->address = check.address;
  m_report->versionBefore = PrinterVersionOf(check);

  if (check.result == VERCHK_ERROR && !m_options.force) {
    End(UpdateOutcome::Failed, name + L": the printer's firmware version could not be read; nothing was written");
    return;
  }
  if (check.result == VERCHK_UP_TO_DATE && !m_options.force) {
    End(UpdateOutcome::Current,
        name + (m_options.checkOnly ? L": the printer already runs the file's version or newer"
                                    : L": the printer already runs the file's version or newer; nothing was written"));
    return;
  }
  // A check goes on to the RFU gate as the update would, and ends there.
  m_wouldUpdate = check.result == VERCHK_FILE_NEWER ? name + L": the file is newer than the printer's firmware"
                                                    : name + L": /f would write the file";
  m_toWrite = true;
  if (!m_options.checkOnly) m_image = m_images.Claim(m_chosen.path);
  // Until its download starts the printer waits its turn.
  m_progress.SetPhase(UpdatePhase::Idle);
}

void PrinterRun::Gate() {
  LogPrinterScope scope(m_report->name.c_str());
  if (m_kind != PORT_NETWORK) {
    if (m_options.checkOnly) End(UpdateOutcome::WouldUpdate, m_wouldUpdate);
    return;
  }
  const std::wstring& name = m_printer.printerName;
  Logger* log = Logger::Instance();
  const int security = CheckSecurityFirmwareOfPort(m_printer.portName.c_str(), Ping);
  if (security == SECURITY_FW_UNREACHABLE) {
    End(UpdateOutcome::Failed, name + L": the printer does not answer at " + m_report->address);
    return;
  }
  if (security != SECURITY_FW_GATE) {
    log->Write(L"This product fwversion is not securilty firmware version,download directly");
    if (m_options.checkOnly) End(UpdateOutcome::WouldUpdate, m_wouldUpdate);
    return;
  }
  log->Write(L"--- This product fwversion is securilty firmware version---");
  if (m_options.checkOnly) {
    CheckGate();
    return;
  }
  m_progress.SetPhase(UpdatePhase::SwitchingRfu);
  UnattendedRfuPlatform rfu(*m_env.rfuSystem, m_options.rfu);
  RfuSequencer sequencer(rfu, m_printer);
  sequencer.SetCommunities(m_options.getCommunity.empty() ? RFU_DEFAULT_COMMUNITY : m_options.getCommunity,
                           m_options.setCommunity.empty() ? RFU_DEFAULT_COMMUNITY : m_options.setCommunity);
  const int gate = sequencer.InstallSequencer();
  if (gate == RFU_GATE_PASSED) {
    if (rfu.AskedConsent() && m_options.rfu == RfuConsent::OnOff) {
      // Owed from now on: the process's end does it when the run cannot.
      RfuPlatform* system = m_env.rfuSystem;
      const plist_t printer = m_printer;
      const std::wstring community = m_options.setCommunity;
      m_owesSwitchOff = true;
      RescueOweSwitchOff(m_index,
                         [system, printer, community] { return SwitchOffOnce(*system, printer, community, nullptr); });
    }
    m_progress.SetPhase(UpdatePhase::Idle);
    return;
  }
  if (rfu.AskedConsent() && m_options.rfu == RfuConsent::None) {
    End(UpdateOutcome::NotApplicable,
        name + L": the RFU setting is off; /rfu:on or /rfu:onoff lets the update switch it on");
  } else if (gate == RFU_GATE_CANCELLED && !rfu.AskedConsent() && !rfu.Unreachable()) {
    End(UpdateOutcome::Failed, name + L": " + LocalString(IDS_RFU_LOCKED));
  } else {
    End(UpdateOutcome::Failed,
        name + L": the RFU setting could not be read or switched on (no SNMP answer, or the community was refused)");
  }
}

void PrinterRun::CheckGate() {
  const std::wstring& name = m_printer.printerName;
  const std::wstring& community = m_options.getCommunity.empty() ? RFU_DEFAULT_COMMUNITY : m_options.getCommunity;
  // One read, no sequencer: a check writes neither the printer nor the registry.
  const int value = m_env.rfuSystem->QueryRfuStatus(m_printer.portName.c_str(), community.c_str());
  Logger::Instance()->Write(L"Unattended: check only: the RFU setting reads %d", value);
  if (value == RFU_ON) {
    End(UpdateOutcome::WouldUpdate, m_wouldUpdate);
  } else if (value == RFU_OFF && m_options.rfu != RfuConsent::None) {
    End(UpdateOutcome::WouldUpdate, m_wouldUpdate + L"; the RFU setting would be switched on");
  } else if (value == RFU_OFF) {
    End(UpdateOutcome::NotApplicable,
        name + L": the RFU setting is off; /rfu:on or /rfu:onoff lets the update switch it on");
  } else if (value == RFU_OFF_LOCKED) {
    End(UpdateOutcome::Failed, name + L": " + LocalString(IDS_RFU_LOCKED));
  } else {
    End(UpdateOutcome::Failed,
        name + L": the RFU setting could not be read (no SNMP answer, or the community was refused)");
  }
}

void PrinterRun::Download(bool spoolerHeld, StoppedServices* stopped) {
  LogPrinterScope scope(m_report->name.c_str());
  const std::wstring& name = m_printer.printerName;
  m_lookup.spoolerHeld = spoolerHeld;
  m_lookup.stoppedServices = stopped;
  m_lookup.image = m_image.get();
  Logger::Instance()->Write(L"---Start to firmware download---");
  CFWDownload download(&m_progress, &m_lookup);
  const WorkerResult result = RunPreparedUpdate(m_printer, m_chosen, download);
  LogWorkerEnd(result);
  if (!result.facts.imageSha256.empty()) m_report->fileSha256 = result.facts.imageSha256;

  const bool updated = result.status == FWDL_UPDATED;
  if (updated && VerifiesAfterDownload() && m_kind != PORT_PARALLEL) {
    PrinterVersionCheck after;
    CFWDownload(nullptr, &m_lookup)
        .CheckPrinter(name.c_str(), m_chosen.productId, m_chosen.path, m_chosen.familyId, &after);
    m_report->versionAfter = PrinterVersionOf(after);
  }
  const UpdateOutcome outcome = WorkerOutcome(result);
  const bool interrupted = outcome == UpdateOutcome::Failed && RunInterrupted();
  End(outcome, result.outcomeLine + (interrupted ? L" The run was interrupted." : L""), result.status);
}

void PrinterRun::SwitchOff(uint32_t downloadsEnded) {
  LogPrinterScope scope(m_report->name.c_str());
  const std::function<bool()> switchOff = RescueTakeSwitchOff(m_index);
  if (!switchOff) return;
  // A printer whose burn ended the run's downloads may still be restarting
  // and not answer yet: asked again for as long as the update would wait for
  // its restart.
  const auto again = [this](const RfuWriteBounds& bounds) {
    return SwitchOffOnce(*m_env.rfuSystem, m_printer, m_options.setCommunity, &bounds);
  };
  if (RetrySwitchOff(switchOff, again, downloadsEnded, FWDL_RESTART_LIMIT_MS)) return;
  MarkRfuLeftOn(m_report);
  RescueRecordPrinter(m_index, *m_report);
}

void PrinterRun::EndInterrupted() {
  LogPrinterScope scope(m_report->name.c_str());
  // The switch-offs are done: riders waiting for this printer's end it now.
  m_owesSwitchOff = false;
  if (m_ended) {
    EndRiders();
    return;
  }
  End(UpdateOutcome::Failed, m_report->name + L": the run was interrupted before this printer's update ended");
}

void PrinterRun::End(UpdateOutcome outcome, const std::wstring& detail, int status) {
  m_report->outcome = outcome;
  m_report->detail = OneLineText(detail);
  m_report->seconds = static_cast<double>(TickCountMs() - m_start) / 1000.0;
  Finish(status);
}

void PrinterRun::Finish(int status) {
  m_ended = true;
  m_endStatus = status;
  // The last update of the file to end releases its image.
  m_image.reset();
  m_lookup.image = nullptr;
  const UpdateOutcome outcome = m_report->outcome;
  m_progress.Finish(outcome, status, outcome == UpdateOutcome::Updated);
  Logger::Instance()->Write(L"Unattended: %ls: %ls (%ls)", m_report->name.c_str(), OutcomeText(outcome),
                            m_report->detail.c_str());
  AddFileSha256(m_report);
  if (m_env.recordUpdate) m_env.recordUpdate(*m_report);
  RescueRecordPrinter(m_index, *m_report);
  m_board.End(m_index, outcome, m_report->detail);
  if (!m_owesSwitchOff) {
    EndRiders();
    return;
  }
  // The riders' records wait for the switch-off, whose failure is theirs too;
  // the process's end meanwhile finds them with this printer's outcome.
  for (PrinterRun* rider : m_riders) RescueRecordPrinter(rider->m_index, rider->CarriedReport(*m_report));
}

void PrinterRun::EndRiders() {
  std::vector<PrinterRun*> riders;
  riders.swap(m_riders);
  for (PrinterRun* rider : riders) rider->EndAsCarried(*m_report, m_endStatus);
}

PrinterReport PrinterRun::CarriedReport(const PrinterReport& carrier) const {
  PrinterReport report = *m_report;
  report.file = carrier.file;
  report.fileSha256 = carrier.fileSha256;
  report.fileVersion = carrier.fileVersion;
  report.versionBefore = carrier.versionBefore;
  report.versionAfter = carrier.versionAfter;
  report.outcome = carrier.outcome;
  report.detail = OneLineText(report.name + L": same printer as " + carrier.name);
  report.seconds = carrier.seconds;
  // Logged once, as the carrier's.
  if (carrier.rfuLeftOn) NoteRfuLeftOn(&report);
  return report;
}

void PrinterRun::EndAsCarried(const PrinterReport& carrier, int status) {
  LogPrinterScope scope(m_report->name.c_str());
  *m_report = CarriedReport(carrier);
  Finish(status);
}
