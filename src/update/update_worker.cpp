#include "update/update_worker.h"

#include <cwchar>

#include "firmware/firmware_file.h"
#include "firmware/firmware_signature.h"
#include "host/logger.h"
#include "host/strings.h"
#include "printer/installed_printers.h"
#include "printer/product_name.h"
#include "resources/resource.h"
#include "update/fw_download.h"

namespace {
constexpr int kProgressStart = 10;
constexpr size_t kElmbridgeLength = 9;
}  // namespace

unsigned OutcomeStringId(int status) {
  switch (status) {
    case FWDL_FAILED:
      return IDS_UPDATE_FAILED;
    case FWDL_UPDATED:
      return IDS_UPDATE_SUCCEEDED;
    case FWDL_UP_TO_DATE:
      return IDS_UP_TO_DATE;
    case FWDL_NO_USB_DEVICE:
    case FWDL_NO_PARALLEL_PORT:
      return IDS_NOT_CONNECTED;
    case FWDL_NOT_TRUSTED:
      return IDS_FILE_NOT_TRUSTED;
    default:
      return IDS_UNKNOWN_STATUS;
  }
}

bool OutcomeSucceeded(int status) {
  return status == FWDL_UPDATED || status == FWDL_UP_TO_DATE;
}

std::wstring OutcomeLine(const std::wstring& printerName, unsigned stringId) {
  return printerName + L": " + LocalString(stringId);
}

bool PrepareFirmware(const FirmwareTables& tables, const plist_t& printer, CFWDownload& download,
                     ChosenFirmware* chosen, WorkerResult* result, FirmwareImages* images) {
  Logger* log = Logger::Instance();
  const wchar_t* name = printer.printerName.c_str();
  wchar_t key[DLG_NAME_MAX] = {0};
  if (!download.GetFwPrinterName(name, key)) {
    key[0] = 0;
    download.GetDriverName(name, key);
  }
  chosen->model = key;

  if (!GetBinFile(tables, key, chosen->path, chosen->productId, chosen->familyId)) {
    result->outcomeLine = OutcomeLine(printer.printerName, IDS_NO_FIRMWARE_FILE);
    return false;
  }

  wchar_t build[DLG_NAME_MAX] = {0};
  if (wcsncmp(g_productName, PRODUCT_ELMBRIDGE, kElmbridgeLength) == 0 && download.GetFwBuildName(name, build)) {
    if (wcsstr(build, L"WESTERN")) {
      log->Write(L"FWDownload()::This is a western product, use default bin file");
    } else if (wcsstr(build, L"ASIAN")) {
      log->Write(L"FWDownload()::This is a asian product, get asian bin file");
      if (!GetBinFileAsian(tables, key, chosen->path, chosen->productId, chosen->familyId)) {
        result->outcomeLine = OutcomeLine(printer.printerName, IDS_NO_FIRMWARE_FILE);
        return false;
      }
    } else {
      log->Write(L"FWDownload()::Unable to retrieve the printer front panel culture.");
      return false;
    }
  }

  FirmwareFileInfo info;
  chosen->fileVersion = GetBinFileVersion(&info, &chosen->fileType, chosen->path);
  chosen->fileSize = info.fileSize;
  if (chosen->fileVersion == 0 && chosen->fileType == BINTYPE_CORRUPT) {
    result->outcomeLine = OutcomeLine(printer.printerName, IDS_FILE_CORRUPT);
    return false;
  }
  // Before the printer is asked for its version; the send checks the bytes it
  // reads once more.
  const SignatureVerdict verdict = images ? images->ChosenFileSignature(chosen->path)
                                          : CheckFirmwareFileSignature(TrustedSigners(), chosen->path);
  if (!SignatureAllows(verdict)) {
    // A file that vanished or is locked says nothing about who signed it.
    result->outcomeLine = OutcomeLine(printer.printerName,
                                      verdict == SIGNATURE_FILE_UNREADABLE ? IDS_FILE_UNREADABLE : IDS_FILE_NOT_TRUSTED);
    result->notTrusted = verdict != SIGNATURE_FILE_UNREADABLE;
    return false;
  }
  return true;
}

WorkerResult RunUpdateWorker(const FirmwareTables& tables, const plist_t& printer, UpdateProgress* progress) {
  Logger::Instance()->Write(L"FWDownload()");
  ReportMilestone(progress, kProgressStart);
  ReportPhase(progress, UpdatePhase::ChoosingFile);

  WorkerResult result;
  CFWDownload download(progress);
  ChosenFirmware chosen;
  if (!PrepareFirmware(tables, printer, download, &chosen, &result)) {
    result.chosen = chosen;
    return result;
  }
  return RunPreparedUpdate(printer, chosen, download);
}

WorkerResult RunPreparedUpdate(const plist_t& printer, const ChosenFirmware& chosen, CFWDownload& download) {
  WorkerResult result;
  // A run may check every printer long before it writes one: a file replaced
  // meanwhile is not the one its decision and its report are about.
  FirmwareFileInfo expected;
  expected.fileType = chosen.fileType;
  expected.fileSize = chosen.fileSize;
  expected.fileVersion = chosen.fileVersion;
  download.ExpectFile(expected);
  result.status = download.FWDownload(printer.printerName.c_str(), chosen.productId, chosen.path, chosen.familyId);
  result.succeeded = OutcomeSucceeded(result.status);
  result.notTrusted = result.status == FWDL_NOT_TRUSTED;
  result.outcomeLine = OutcomeLine(printer.printerName, OutcomeStringId(result.status));
  result.chosen = chosen;
  result.facts = download.Facts();
  return result;
}

UpdateOutcome WorkerOutcome(const WorkerResult& result) {
  if (result.status == FWDL_UPDATED) return UpdateOutcome::Updated;
  return result.status == FWDL_UP_TO_DATE ? UpdateOutcome::Current : UpdateOutcome::Failed;
}

void LogWorkerEnd(const WorkerResult& result) {
  Logger::Instance()->Write(result.succeeded ? L"---Firmware download Fininsh Success---"
                                             : L"---Firmware download Fininsh Not Success---");
}

void FinishWorker(const WorkerResult& result, UpdateProgress* progress) {
  LogWorkerEnd(result);
  if (!progress) return;
  progress->Finish(WorkerOutcome(result), result.status, result.succeeded);
}
