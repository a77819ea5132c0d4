#pragma once
// The download controller: one firmware update of one installed printer. It
// learns the model from the printer, finds its port, takes the USB, parallel
// or network path by the port name, and returns one status for the worker.

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/firmware_file.h"
#include "printer/port_address.h"
#include "printer/services.h"
#include "transport/device_io.h"
#include "update/firmware_images.h"
#include "update/update_progress.h"

// Statuses of CFWDownload::FWDownload.
constexpr int FWDL_FAILED = 0;            // no port, failed download or failed verification
constexpr int FWDL_UPDATED = 1;           // written (and, where verified, reported by the printer)
constexpr int FWDL_UP_TO_DATE = 2;        // the transport had nothing to write
constexpr int FWDL_NO_USB_DEVICE = 3;     // not opened, before the download or when reopened after it
constexpr int FWDL_NO_PARALLEL_PORT = 4;  // not opened at one of its openings
constexpr int FWDL_NOT_TRUSTED = 5;       // the file's signature was refused; nothing sent

constexpr size_t FWDL_NAME_MAX = 256;        // model, port, panel build and address texts
constexpr size_t FWDL_INFO_TEXT_MAX = 1024;  // printer information, bytes as received / wide characters

// Waits the printer needs. Verification after a download (network and USB).
constexpr uint32_t FWDL_RESTART_WAIT_MS = 5000;
constexpr int FWDL_VERIFY_PASSES = 60;  // network: version checks; USB: attempts to reopen
constexpr uint32_t FWDL_VERIFY_PASS_WAIT_MS = 1000;
// The longest a printer is given to come back after its burn: the restart
// wait and every verification pass.
constexpr uint32_t FWDL_RESTART_LIMIT_MS = FWDL_RESTART_WAIT_MS + FWDL_VERIFY_PASSES * FWDL_VERIFY_PASS_WAIT_MS;
// After the reset that follows the VESTRA NVRAM fix.
constexpr uint32_t FWDL_NTWK_VESTRA_RESET_WAIT_MS = 10000;
constexpr uint32_t FWDL_USB_VESTRA_RESET_WAIT_MS = 5000;
constexpr uint32_t FWDL_PRLL_VESTRA_NVRAM_WAIT_MS = 1000;
// Before the parallel port is opened for the download.
constexpr uint32_t FWDL_PRLL_REOPEN_WAIT_MS = 5000;
// Printer information over USB from a CORVINE printer: up to 6 attempts; build
// information: attempts numbered 1 and 3 (a single one for other products).
constexpr int FWDL_CORVINE_INFO_ATTEMPTS = 6;
constexpr int FWDL_CORVINE_BUILD_LAST_ATTEMPT = 3;
constexpr int FWDL_CORVINE_BUILD_ATTEMPT_STEP = 2;

// What the printer reported when asked for its version, and how that compares
// with a file.
struct PrinterVersionCheck {
  int result = -1;              // VERCHK_*
  uint32_t printerVersion = 0;  // 0: none obtained; 9999: component versions
  std::string componentText;    // the printer's component version text
  std::wstring address;         // the numeric address a network printer was asked at
};

// What one update learned on its way, for its record: where it reached a
// network printer, and the versions the printer reported before the download
// and after it (result VERCHK_ERROR and version 0 where it was not asked).
struct DownloadFacts {
  std::wstring address;
  PrinterVersionCheck before;
  PrinterVersionCheck after;
  std::wstring imageSha256;  // the shared image's digest, when one was sent from
};

// What a fleet run looked up for one printer while the spooler still ran: the
// update then asks the spooler nothing, since the run stops it around all of
// its downloads at once.
struct PrinterLookup {
  std::wstring port;
  std::wstring driver;                      // empty: not known
  std::wstring address;                     // a network port's numeric address; empty: none
  uint16_t tcpPort = PORT_PRINTER_RAW_TCP;  // where at that address (GetPortTcpNumber)
  // The run holds the spooler stopped: the download neither stops nor starts it.
  bool spoolerHeld = false;
  // The image the run's updates of the file share; null: the download reads
  // the file itself.
  SharedFirmwareImage* image = nullptr;
  // Where the download's own stops of the spooler note the dependents they
  // take down, for the run to check after its start; null: the download's.
  StoppedServices* stoppedServices = nullptr;
};

class CFWDownload {
 public:
  // `progress` (may be null) gets the phases, milestones 15 and 50 and the
  // waits of this update. Without `lookup` the spooler is asked for the port,
  // driver and address, and stopped and started around the download.
  explicit CFWDownload(UpdateProgress* progress = nullptr, const PrinterLookup* lookup = nullptr)
      : m_progress(progress), m_lookup(lookup) {}

  // Runs one update: a FWDL_* status. Null identifiers count as empty.
  int FWDownload(const wchar_t* printerName, const wchar_t* productId, const wchar_t* fileName,
                 const wchar_t* familyId);
  // The file as the caller chose and checked it (type, size and trailer
  // version; fileSize -1: none): one that differs when the update checks it
  // again is not sent.
  void ExpectFile(const FirmwareFileInfo& chosen) { m_expected = chosen; }

  // The printer's text for `cmdID` (ACLCMD_GET_PRINTER_INFO or
  // ACLCMD_GET_BUILD_INFO) into `out` (FWDL_INFO_TEXT_MAX wide characters,
  // always terminated). 1 on success, 0 on failure.
  int GetPrinterFWInfo(const wchar_t* printerName, uint16_t cmdID, wchar_t* out);
  // The "MDL:" field of the printer information / the "PANEL:" field of the
  // build information into `out` (FWDL_NAME_MAX, cut to fit). 1 when found;
  // otherwise 0 and `out` as it was.
  int GetFwPrinterName(const wchar_t* printerName, wchar_t* out);
  int GetFwBuildName(const wchar_t* printerName, wchar_t* out);
  // The printer's driver name into `out` (PRINTER_DRIVER_MAX): 1 when known.
  int GetDriverName(const wchar_t* printerName, wchar_t* out);

  // Asks the printer for its version the way its port's transport does (3
  // questions, 1000 ms apart) and compares it with the file; writes nothing.
  // A USB device or parallel port that cannot be opened gives VERCHK_ERROR.
  int CheckPrinter(const wchar_t* printerName, const wchar_t* productId, const wchar_t* fileName,
                   const wchar_t* familyId, PrinterVersionCheck* out);

  // What the last FWDownload learned.
  const DownloadFacts& Facts() const { return m_facts; }

 private:
  struct Job {
    const wchar_t* productId;
    const wchar_t* familyId;
    const wchar_t* fileName;
    const wchar_t* portName;
    const wchar_t* modelName;
  };
  int NtwkDownload(const Job& job);
  int UsbDownload(const Job& job);
  int PrllDownload(const Job& job);
  // The USB printer's info text into `text` (FWDL_INFO_TEXT_MAX bytes), with
  // the retries of the kind: 1 or 0.
  int ReadUsbInfo(const wchar_t* portName, uint16_t cmdID, char* text);
  int ReadField(const wchar_t* printerName, uint16_t cmdID, const wchar_t* field, wchar_t* out);
  // A wait for the printer, counted in the progress; `bySecond`: slept and
  // counted a second at a time, for a wait the user watches. False when the
  // run was interrupted (checked every second): the update ends as failed.
  bool Wait(uint32_t ms, bool bySecond = false);
  // The port (FWDL_NAME_MAX) and a network port's address (FWDL_NAME_MAX)
  // with the TCP port there, from the lookup when there is one; 1 when found.
  int PortOf(const wchar_t* printerName, wchar_t* out);
  int AddressOf(const wchar_t* portName, wchar_t* out, uint16_t* tcpPort);
  // Around a download, unless the run holds the spooler stopped.
  void StopSpooler();
  void StartSpooler();
  // The dependents this download's stops of the spooler take down.
  StoppedServices* Stopped() { return m_lookup && m_lookup->stoppedServices ? m_lookup->stoppedServices : &m_stopped; }
  // Whether the file the transport's check classified is the one expected.
  bool IsExpectedFile(const FirmwareFileInfo& checked) const;
  // Whether the run was interrupted before this printer's data (logged).
  bool InterruptedBeforeData() const;

  // The run's shared image of the file into `image` (null when the lookup
  // gives none): false (logged) when it could not be read.
  bool SharedImage(const FirmwareImage** image);
  // The printer's answer to the check the transport just made.
  static PrinterVersionCheck Answer(int result, const FirmwareFileInfo& info, const wchar_t* address);

  UpdateProgress* m_progress;
  const PrinterLookup* m_lookup;
  FirmwareFileInfo m_expected;
  DownloadFacts m_facts;
  StoppedServices m_stopped;
};

// False for the products whose printers are not asked for their version after
// a download (VESTRA, KORM, TALEN, MIRO, SELUNAR, QV4410SERIES).
bool VerifiesAfterDownload();
// -1 (failed) -> FWDL_FAILED, 0 (nothing written) -> FWDL_UP_TO_DATE, 1 -> FWDL_UPDATED,
// ACL_DOWNLOAD_NOT_TRUSTED -> FWDL_NOT_TRUSTED.
int MapDownloadResult(int result);
// The same, where nothing written is "up to date" only when the version check
// before the download (`check`, VERCHK_*) found the printer so; otherwise
// it is a failure.
int MapCheckedDownloadResult(int result, int check);
// The text between the first `field` and the first ";" after it, into `out`
// (`outSize` characters). A value too long for `out` is cut, never split
// inside a surrogate pair. 1 when both were found.
int ExtractInfoField(const wchar_t* info, const wchar_t* field, wchar_t* out, size_t outSize);
