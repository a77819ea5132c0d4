#pragma once
// One printer's check or update in a fleet run, taken a step at a time so
// that the run can take each step for every printer before the next: Lookup
// (while the spooler runs), Check, Gate (one printer at a time), Download,
// SwitchOff. Everything the update needs lives here, one object per printer,
// and every log line of a step names the printer.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "update/device_groups.h"
#include "update/firmware_images.h"
#include "update/fleet_options.h"
#include "update/fleet_report.h"
#include "update/fw_download.h"
#include "update/printer_record.h"
#include "update/run_board.h"
#include "update/update_progress.h"
#include "update/update_worker.h"

class PrinterRun {
 public:
  // `printer` null: no installed printer of a listed driver has the name.
  PrinterRun(const FleetOptions& options, const FleetEnvironment& env, RunBoard& board, size_t index,
             PrinterReport* report, const plist_t* printer, FirmwareImages& images);

  bool Ended() const { return m_ended; }
  // Checked, the file is to be written, and nothing ended the printer since.
  bool ToWrite() const { return m_toWrite && !m_ended; }
  PortKind Kind() const { return m_kind; }
  // Where the queue prints to, known after Lookup.
  DeviceKey Device() const;
  // Another queue of the same device carries the update: this one takes no
  // step of its own and ends with the carrier's outcome.
  void RideWith(PrinterRun& carrier);
  bool Rides() const { return m_rides; }

  // The port's kind, the driver and a network port's address, asked of the
  // spooler before the run stops it.
  void Lookup();
  // The file for the printer and the printer's version: whether it is to be
  // written. Ends the printer's report when not.
  void Check();
  // The network printer's RFU gate without a person. Ends the printer's
  // report when it is not to be updated; ends every printer of a check.
  void Gate();
  // Writes the file and, where the product verifies, reads the new version.
  // `spoolerHeld`: the run keeps the spooler stopped around every download.
  // `stopped`: where the download's own stops of it note its dependents.
  void Download(bool spoolerHeld, StoppedServices* stopped = nullptr);
  // After the last update: the RFU setting this run switched on goes off
  // again when the options ask for it, tried until the printer's restart
  // would have ended, counted from `downloadsEnded` (a tick count).
  void SwitchOff(uint32_t downloadsEnded);
  // The run's last step, after every switch-off: a printer not ended by now
  // was interrupted; the queues riding with it end with it.
  void EndInterrupted();

 private:
  void End(UpdateOutcome outcome, const std::wstring& detail, int status = -1);
  // The end of a report whose outcome, detail and time are set: recorded,
  // shown, and the riders ended unless a switch-off is owed.
  void Finish(int status);
  void EndRiders();
  // This queue's report as a rider of `carrier`.
  PrinterReport CarriedReport(const PrinterReport& carrier) const;
  // The gate of a check: the setting read once, nothing written.
  void CheckGate();
  // The carrier ended: the same outcome, versions and file, told as the carrier's.
  void EndAsCarried(const PrinterReport& carrier, int status);

  const FleetOptions& m_options;
  const FleetEnvironment& m_env;
  RunBoard& m_board;
  size_t m_index;
  PrinterReport* m_report;
  uint32_t m_start;
  bool m_found;
  plist_t m_printer;
  PrinterLookup m_lookup;
  PortKind m_kind = PORT_NETWORK;
  ChosenFirmware m_chosen;
  FirmwareImages& m_images;
  // The file's image, claimed once the printer is to be written and let go
  // when its update ends.
  std::shared_ptr<SharedFirmwareImage> m_image;
  UpdateProgress m_progress;
  std::wstring m_wouldUpdate;  // a check's detail once the gate lets the printer through
  bool m_toWrite = false;
  bool m_ended = false;
  bool m_rides = false;
  std::vector<PrinterRun*> m_riders;  // queues of the same device, ended with this one
  // The gate switched the RFU setting on for a switch-off after the run: the
  // riders end only after it.
  bool m_owesSwitchOff = false;
  int m_endStatus = -1;
};
