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
#include "transport/acl_protocol.h"
#include "transport/ntwk_download.h"
#include "update/printer_record.h"

int MapDownloadResult(int result) {
  if (result == 1) return FWDL_UPDATED;
  if (result == 0) return FWDL_UP_TO_DATE;
  return FWDL_FAILED;
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

namespace {

// The numeric address of a network port's printer. A port without one (a WSD
// or FILE: port, a parallel port's information read) is a failure: an empty
// text would reach this computer instead.
bool NtwkPrinterAddress(const wchar_t* portName, wchar_t* address) {
  if (ResolvePortAddress(portName, address)) return true;
  Logger::Instance()->Write(L"ERROR: no printer address for port %ls, nothing is sent.", portName);
  return false;
}
}  // namespace

int CFWDownload::FWDownload(const wchar_t* printerName, const wchar_t* productId, const wchar_t* fileName,
                            const wchar_t* familyId) {
  wchar_t modelName[FWDL_NAME_MAX] = {};
  wchar_t portName[FWDL_NAME_MAX] = {};
  Job job{productId ? productId : L"", familyId ? familyId : L"", fileName ? fileName : L"", portName, modelName};

  if (!GetFwPrinterName(printerName, modelName)) {
    wchar_t driver[PRINTER_DRIVER_MAX] = {};
    if (GetPrinterDriverName(printerName, driver)) CopyText(modelName, FWDL_NAME_MAX, driver);
  }
  Logger::Instance()->Write(L"CFWDownload::FWDownload");
  if (!GetPortname(printerName, portName)) return FWDL_FAILED;

  switch (ClassifyPort(portName)) {
    case PORT_USB:
      return UsbDownload(job);
    case PORT_PARALLEL:
      return PrllDownload(job);
    default:
      return NtwkDownload(job);
  }
}

void CFWDownload::Wait(uint32_t ms) {
  SleepMs(ms);
  ReportWaitMs(m_progress, ms);
}

int CFWDownload::NtwkDownload(const Job& job) {
  ReportPhase(m_progress, UpdatePhase::ReadingVersion);
  ReportMilestone(m_progress, 15);
  wchar_t address[FWDL_NAME_MAX] = {};
  if (!NtwkPrinterAddress(job.portName, address)) return FWDL_FAILED;

  CFWDownloadNtwk ntwk;
  FirmwareFileInfo info;
  ntwk.CheckFirmwareVersion(job.productId, job.familyId, &info, address, job.fileName);
  ReportMilestone(m_progress, 50);

  ReportPhase(m_progress, UpdatePhase::Sending);
  if (ProductIs(PRODUCT_VESTRA)) {
    ntwk.FixNvRam(address);
    ntwk.ResetNtwkPrinter(address);
    Wait(FWDL_NTWK_VESTRA_RESET_WAIT_MS);
  }

  StopAService();
  int result = ntwk.DownLoadFirmware(&info, address, job.fileName, job.productId, job.familyId);
  StartAService();

  if (result != 1 || !VerifiesAfterDownload()) return MapDownloadResult(result);

  // The printer restarts with the new firmware; until it answers, the check
  // reports an error and the next pass waits.
  ReportPhase(m_progress, UpdatePhase::Restarting);
  Wait(FWDL_RESTART_WAIT_MS);
  ReportPhase(m_progress, UpdatePhase::Verifying);
  for (int pass = 0; pass < FWDL_VERIFY_PASSES; ++pass) {
    Logger::Instance()->Write(L"check firmwareVersion idx %d", pass);
    int check = ntwk.CheckFirmwareVersion(job.productId, job.familyId, &info, address, job.fileName);
    if (check == VERCHK_UP_TO_DATE) return FWDL_UPDATED;
    if (check == VERCHK_FILE_NEWER) return FWDL_FAILED;
    Wait(FWDL_VERIFY_PASS_WAIT_MS);
  }
  return FWDL_FAILED;
}

int CFWDownload::GetPrinterFWInfo(const wchar_t* printerName, uint16_t cmdID, wchar_t* out) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownload::GetPrinterFWInfo");
  wchar_t portName[FWDL_NAME_MAX] = {};
  if (!GetPortname(printerName, portName)) return 0;

  char text[FWDL_INFO_TEXT_MAX] = {};
  if (ClassifyPort(portName) == PORT_USB) {
    if (!ReadUsbInfo(portName, cmdID, text)) return 0;
  } else {
    wchar_t address[FWDL_NAME_MAX] = {};
    CFWDownloadNtwk ntwk;
    if (!NtwkPrinterAddress(portName, address) || !ntwk.GetNtwkBuildInfo(address, text, cmdID)) return 0;
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
