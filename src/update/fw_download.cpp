#include "update/fw_download.h"

#include <cstring>
#include <cwchar>

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/clock.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "printer/installed_printers.h"
#include "printer/port_address.h"
#include "printer/product_name.h"
#include "printer/services.h"
#include "transport/acl_exchange.h"
#include "transport/acl_protocol.h"
#include "transport/ntwk_download.h"
#include "update/printer_record.h"
#include "update/run_interrupt.h"

int MapDownloadResult(int result) {
  if (result == 1) return FWDL_UPDATED;
  if (result == 0) return FWDL_UP_TO_DATE;
  if (result == ACL_DOWNLOAD_NOT_TRUSTED) return FWDL_NOT_TRUSTED;
  return FWDL_FAILED;
}

int MapCheckedDownloadResult(int result, int check) {
  // A package file of which nothing was written to a printer whose versions
  // could not be read (/f, or the dialog, which always downloads) left that
  // printer as it was, current or not.
  if (result == 0 && check != VERCHK_UP_TO_DATE) {
    Logger::Instance()->Write(L"ERROR: nothing was written and the printer was not found current.");
    return FWDL_FAILED;
  }
  return MapDownloadResult(result);
}

int ExtractInfoField(const wchar_t* info, const wchar_t* field, wchar_t* out, size_t outSize) {
  if (!info || !field || !out || outSize == 0) return 0;
  const wchar_t* start = wcsstr(info, field);
  if (!start) return 0;
  start += wcslen(field);
  const wchar_t* end = wcschr(start, L';');
  if (!end) return 0;
  size_t length = static_cast<size_t>(end - start);
  if (length > outSize - 1) {
    length = outSize - 1;
    // A high surrogate left without its partner would be no character at all.
    if (length > 0 && start[length - 1] >= 0xD800 && start[length - 1] <= 0xDBFF) --length;
  }
  wmemcpy(out, start, length);
  out[length] = 0;
  return 1;
}

bool VerifiesAfterDownload() {
  return !(ProductIs(PRODUCT_VESTRA) || ProductIs(PRODUCT_KORM) || ProductIs(PRODUCT_TALEN) ||
           ProductIs(PRODUCT_MIRO) || ProductIs(PRODUCT_SELUNAR) || ProductIs(PRODUCT_QV4410SERIES));
}

bool CFWDownload::IsExpectedFile(const FirmwareFileInfo& checked) const {
  if (m_expected.fileSize < 0 || (checked.fileType == m_expected.fileType && checked.fileSize == m_expected.fileSize &&
                                  checked.fileVersion == m_expected.fileVersion)) {
    return true;
  }
  Logger::Instance()->Write(L"ERROR: the firmware file changed after it was checked, nothing is sent.");
  return false;
}

// A USB or parallel burn cannot stop part way, and the network burns stop
// only where no part of the file was burned: the run's interrupt is taken
// here, before the data.
bool CFWDownload::InterruptedBeforeData() const {
  if (!RunInterrupted()) return false;
  Logger::Instance()->Write(L"The run was interrupted: nothing is sent.");
  return true;
}

// The numeric address of a network port's printer. A port without one (a WSD
// or FILE: port, a parallel port's information read) is a failure: an empty
// text would reach this computer instead.
int CFWDownload::AddressOf(const wchar_t* portName, wchar_t* out, uint16_t* tcpPort) {
  if (m_lookup ? CopyText(out, FWDL_NAME_MAX, m_lookup->address.c_str()) > 0 : ResolvePortAddress(portName, out)) {
    *tcpPort = m_lookup ? m_lookup->tcpPort : GetPortTcpNumber(portName);
    return 1;
  }
  out[0] = 0;
  Logger::Instance()->Write(L"ERROR: no printer address for port %ls, nothing is sent.", portName);
  return 0;
}

int CFWDownload::PortOf(const wchar_t* printerName, wchar_t* out) {
  if (!m_lookup) return GetPortname(printerName, out);
  return CopyText(out, FWDL_NAME_MAX, m_lookup->port.c_str()) > 0 ? 1 : 0;
}

int CFWDownload::GetDriverName(const wchar_t* printerName, wchar_t* out) {
  if (!m_lookup) return GetPrinterDriverName(printerName, out);
  return CopyText(out, PRINTER_DRIVER_MAX, m_lookup->driver.c_str()) > 0 ? 1 : 0;
}

void CFWDownload::StopSpooler() {
  if (!m_lookup || !m_lookup->spoolerHeld) StopAService(SPOOLER_SERVICE_NAME, Stopped());
}

void CFWDownload::StartSpooler() {
  if (!m_lookup || !m_lookup->spoolerHeld) StartAService(SPOOLER_SERVICE_NAME, Stopped());
}

PrinterVersionCheck CFWDownload::Answer(int result, const FirmwareFileInfo& info, const wchar_t* address) {
  PrinterVersionCheck check;
  check.result = result;
  check.printerVersion = info.printerVersion;
  check.componentText = info.printerComponents;
  if (address) check.address = address;
  return check;
}

bool CFWDownload::SharedImage(const FirmwareImage** image) {
  *image = nullptr;
  if (!m_lookup || !m_lookup->image) return true;
  *image = m_lookup->image->Get();
  if (!*image) {
    Logger::Instance()->Write(L"ERROR: the firmware file could not be read, nothing is sent.");
    return false;
  }
  m_facts.imageSha256 = (*image)->Sha256Text();
  return true;
}

int CFWDownload::FWDownload(const wchar_t* printerName, const wchar_t* productId, const wchar_t* fileName,
                            const wchar_t* familyId) {
  m_facts = DownloadFacts();
  wchar_t modelName[FWDL_NAME_MAX] = {};
  wchar_t portName[FWDL_NAME_MAX] = {};
  Job job{productId ? productId : L"", familyId ? familyId : L"", fileName ? fileName : L"", portName, modelName};

  if (!GetFwPrinterName(printerName, modelName)) {
    wchar_t driver[PRINTER_DRIVER_MAX] = {};
    if (GetDriverName(printerName, driver)) CopyText(modelName, FWDL_NAME_MAX, driver);
  }
  Logger::Instance()->Write(L"CFWDownload::FWDownload");
  if (!PortOf(printerName, portName)) return FWDL_FAILED;

  switch (ClassifyPort(portName)) {
    case PORT_USB:
      return UsbDownload(job);
    case PORT_PARALLEL:
      return PrllDownload(job);
    default:
      return NtwkDownload(job);
  }
}

namespace {
// The transport's view of the update: data going out is sending, the pause
// after it is the printer writing its flash (a NAND file alternates them).
AclProgress FollowBurn(UpdateProgress* progress) {
  AclProgress follow;
  if (!progress) return follow;
  follow.sent = [progress](uint32_t sent, uint32_t total) {
    if (progress->Phase() != UpdatePhase::Sending) progress->SetPhase(UpdatePhase::Sending);
    progress->SetBytes(sent, total);
  };
  follow.paused = [progress](uint32_t ms) {
    if (progress->Phase() != UpdatePhase::Restarting) progress->SetPhase(UpdatePhase::Restarting);
    progress->AddWaitMs(ms);
  };
  follow.stopped = [] { return RunInterrupted(); };
  return follow;
}
}  // namespace

bool CFWDownload::Wait(uint32_t ms, bool bySecond) {
  const uint32_t slice = bySecond && m_progress ? ACL_PAUSE_SLICE_MS : ms;
  for (uint32_t left = ms; left > 0;) {
    if (RunInterrupted()) {
      Logger::Instance()->Write(L"The run was interrupted: the update ends without waiting on.");
      return false;
    }
    const uint32_t now = left < slice ? left : slice;
    SleepMs(now);
    left -= now;
    ReportWaitMs(m_progress, now);
  }
  return true;
}

int CFWDownload::NtwkDownload(const Job& job) {
  ReportPhase(m_progress, UpdatePhase::ReadingVersion);
  ReportMilestone(m_progress, 15);
  wchar_t address[FWDL_NAME_MAX] = {};
  uint16_t tcpPort = PORT_PRINTER_RAW_TCP;
  if (!AddressOf(job.portName, address, &tcpPort)) return FWDL_FAILED;
  m_facts.address = address;

  CFWDownloadNtwk ntwk(tcpPort);
  const AclProgress follow = FollowBurn(m_progress);
  FirmwareFileInfo info;
  const int check = ntwk.CheckFirmwareVersion(job.productId, job.familyId, &info, address, job.fileName);
  m_facts.before = Answer(check, info, address);
  ReportMilestone(m_progress, 50);
  if (!IsExpectedFile(info)) return FWDL_FAILED;
  const FirmwareImage* image = nullptr;
  if (!SharedImage(&image)) return FWDL_FAILED;

  ReportPhase(m_progress, UpdatePhase::Sending);
  if (ProductIs(PRODUCT_VESTRA)) {
    ntwk.FixNvRam(address);
    ntwk.ResetNtwkPrinter(address);
    if (!Wait(FWDL_NTWK_VESTRA_RESET_WAIT_MS)) return FWDL_FAILED;
  }
  if (InterruptedBeforeData()) return FWDL_FAILED;

  StopSpooler();
  if (m_progress) ntwk.FollowBurns(&follow);
  int result = ntwk.DownLoadFirmware(&info, address, job.fileName, job.productId, job.familyId, image);
  StartSpooler();

  if (result != 1 || !VerifiesAfterDownload()) return MapCheckedDownloadResult(result, check);

  // The printer restarts with the new firmware; until it answers, the check
  // reports an error and the next pass waits. The wait counts on from the
  // flash pause.
  if (m_progress && m_progress->Phase() != UpdatePhase::Restarting) ReportPhase(m_progress, UpdatePhase::Restarting);
  if (!Wait(FWDL_RESTART_WAIT_MS, true)) return FWDL_FAILED;
  ReportPhase(m_progress, UpdatePhase::Verifying);
  for (int pass = 0; pass < FWDL_VERIFY_PASSES; ++pass) {
    Logger::Instance()->Write(L"check firmwareVersion idx %d", pass);
    int check = ntwk.CheckFirmwareVersion(job.productId, job.familyId, &info, address, job.fileName);
    m_facts.after = Answer(check, info, address);
    if (check == VERCHK_UP_TO_DATE) return FWDL_UPDATED;
    if (check == VERCHK_FILE_NEWER) return FWDL_FAILED;
    if (!Wait(FWDL_VERIFY_PASS_WAIT_MS)) return FWDL_FAILED;
  }
  return FWDL_FAILED;
}

int CFWDownload::GetPrinterFWInfo(const wchar_t* printerName, uint16_t cmdID, wchar_t* out) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownload::GetPrinterFWInfo");
  wchar_t portName[FWDL_NAME_MAX] = {};
  if (!PortOf(printerName, portName)) return 0;

  char text[FWDL_INFO_TEXT_MAX] = {};
  if (ClassifyPort(portName) == PORT_USB) {
    if (!ReadUsbInfo(portName, cmdID, text)) return 0;
  } else {
    wchar_t address[FWDL_NAME_MAX] = {};
    uint16_t tcpPort = PORT_PRINTER_RAW_TCP;
    if (!AddressOf(portName, address, &tcpPort) || !CFWDownloadNtwk(tcpPort).GetNtwkBuildInfo(address, text, cmdID)) {
      return 0;
    }
  }

  // The zero bytes after the text end it; a full buffer is cut to leave room
  // for the terminator.
  wmemset(out, 0, FWDL_INFO_TEXT_MAX);
  Utf8ToWide(text, strnlen(text, sizeof text), out, FWDL_INFO_TEXT_MAX);
  log->Write(L"PrinterFWInfo:%ls", out);
  return 1;
}

int CFWDownload::ReadField(const wchar_t* printerName, uint16_t cmdID, const wchar_t* field, wchar_t* out) {
  wchar_t info[FWDL_INFO_TEXT_MAX] = {};
  GetPrinterFWInfo(printerName, cmdID, info);
  return ExtractInfoField(info, field, out, FWDL_NAME_MAX);
}

int CFWDownload::GetFwPrinterName(const wchar_t* printerName, wchar_t* out) {
  Logger::Instance()->Write(L"CFWDownload::GetFwPrinterName");
  if (!ReadField(printerName, ACLCMD_GET_PRINTER_INFO, L"MDL:", out)) return 0;
  Logger::Instance()->Write(L"FwPrinterName:%ls", out);
  return 1;
}

int CFWDownload::GetFwBuildName(const wchar_t* printerName, wchar_t* out) {
  Logger::Instance()->Write(L"CFWDownload::GetFwBuildName");
  if (!ReadField(printerName, ACLCMD_GET_BUILD_INFO, L"PANEL:", out)) return 0;
  Logger::Instance()->Write(L"GetFwBuildName:%ls", out);
  return 1;
}
