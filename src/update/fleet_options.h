#pragma once
// What a fleet run is asked to do and what it needs from outside the update:
// the front end fills these from its own switches and settings.

#include <functional>
#include <string>
#include <vector>

#include "update/firmware_choice.h"
#include "update/rfu_sequencer.h"

class RunBoard;

// Whether the run may switch a printer's RFU setting on (and off again after).
enum class RfuConsent { None, On, OnOff };

struct FleetOptions {
  bool checkOnly = false;  // report what would be written, write nothing
  bool force = false;      // write also a printer that already runs the file's version
  std::vector<std::wstring> printers;  // in the order given; empty: every supported printer
  RfuConsent rfu = RfuConsent::None;
  std::wstring getCommunity;  // empty: the product's default
  std::wstring setCommunity;
  int parallel = 1;  // printers updated at once
};

struct FleetEnvironment {
  FirmwareTables tables;
  std::vector<std::wstring> driverNames;
  // SNMP and the registry for the RFU gate (the prompts are answered here).
  RfuPlatform* rfuSystem = nullptr;
  // Where the printers' progress goes.
  RunBoard* board = nullptr;
  // Told each printer's record as its update ends (the history, the
  // registry); may be called from several updates at once. Empty: nothing.
  std::function<void(const struct PrinterReport&)> recordUpdate;
};
