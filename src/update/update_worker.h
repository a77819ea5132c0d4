#pragma once
// The update worker's part of one update, for any front end: the printer's
// model name, the firmware file for it (and, for ELMBRIDGE, for its front
// panel culture), the corrupt-file and signature checks, the download
// controller, and the outcome line a person reads. Holds no window state:
// progress goes to the update's UpdateProgress.

#include <cstdint>
#include <string>

#include "update/firmware_choice.h"
#include "update/fw_download.h"
#include "update/printer_record.h"
#include "update/update_progress.h"

// The localised string that reports a download status (FWDL_*).
unsigned OutcomeStringId(int status);
// Whether the status ends in the success state: written, or nothing to write.
bool OutcomeSucceeded(int status);
// `printerName` + ": " + the localised string `stringId`.
std::wstring OutcomeLine(const std::wstring& printerName, unsigned stringId);

// The file chosen for one printer.
struct ChosenFirmware {
  std::wstring model;  // the key the tables were matched with
  wchar_t path[DLG_PATH_MAX] = {0};
  wchar_t productId[DLG_NAME_MAX] = {0};
  wchar_t familyId[DLG_NAME_MAX] = {0};
  uint32_t fileVersion = 0;  // from the file's trailer; 0 when none
  int32_t fileType = 0;      // BINTYPE_*
  int64_t fileSize = -1;     // as it was checked; -1 when not known
};

// What one run of the worker ended with.
struct WorkerResult {
  bool succeeded = false;    // updated, or the transport had nothing to write
  int status = -1;           // FWDL_*; -1 when the controller did not run
  std::wstring outcomeLine;  // empty when no outcome was recorded
  bool notTrusted = false;   // the file's signature was refused, when chosen or when sent
  // For the update's record: the file (path empty when none was chosen) and
  // what the controller learned.
  ChosenFirmware chosen;
  DownloadFacts facts;
};

// Steps 2 to 5 of the worker: the model name (the driver name when the
// printer does not say), the file, the culture choice, the corrupt-file check
// and, with signers configured, the file's signature (through `images` when
// given: once a file for the run). False with `result` filled when the update
// cannot go on.
bool PrepareFirmware(const FirmwareTables& tables, const plist_t& printer, CFWDownload& download,
                     ChosenFirmware* chosen, WorkerResult* result, FirmwareImages* images = nullptr);

// Step 6 and 7 of the worker: the controller with the prepared file (sent
// only while it is still the file that was chosen and checked), and the
// outcome of its status.
WorkerResult RunPreparedUpdate(const plist_t& printer, const ChosenFirmware& chosen, CFWDownload& download);

// The whole worker on `printer`: milestone 10, PrepareFirmware, the
// controller. The caller ends the progress (FinishWorker).
WorkerResult RunUpdateWorker(const FirmwareTables& tables, const plist_t& printer, UpdateProgress* progress);

// Updated, current or failed.
UpdateOutcome WorkerOutcome(const WorkerResult& result);

// The worker's last log line.
void LogWorkerEnd(const WorkerResult& result);
// LogWorkerEnd, then ends `progress` (100 on success).
void FinishWorker(const WorkerResult& result, UpdateProgress* progress);
