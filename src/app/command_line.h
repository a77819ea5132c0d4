#pragma once
// The command line of an unattended run. One table of switches gives both the
// parser and the usage text (/?), so they cannot drift apart; one table of
// exit codes gives the codes and their documented meanings.
//
// Switches are case-insensitive, "-x" is accepted for "/x", and a value
// follows ":" or "=" ("/printer:Office 2", "-report=C:\r.json").

#include <string>
#include <vector>

#include "update/fleet_options.h"

// The process's exit codes in an unattended run. Scripts branch on these
// numbers: never renumber them.
enum ExitCode : int {
  EXITCODE_OK = 0,               // written where needed (and verified where verified), the rest current
  EXITCODE_FAILED = 1,           // a printer failed, or the spooler or an RFU setting was not put back
  EXITCODE_USAGE = 2,            // bad command line (usage printed)
  EXITCODE_CURRENT = 3,          // nothing written: every printer already runs the file's version or newer
  EXITCODE_NO_DEVICE = 4,        // a named printer is not installed, or none is
  EXITCODE_NOT_APPLICABLE = 5,   // the RFU setting had to be switched on and /rfu was not given
  EXITCODE_ALREADY_RUNNING = 6,  // another copy is running
  EXITCODE_NOT_ADMIN = 7,        // not run as an administrator
  EXITCODE_CONFIGURATION = 8,    // "properties.ini" missing or incomplete
};

struct ExitCodeInfo {
  ExitCode code;
  const wchar_t* meaning;
};
// Every code with its meaning, in numeric order (the usage text prints it).
const std::vector<ExitCodeInfo>& ExitCodeTable();

// The codes a printer's outcome can give, worst first (the usage prints it).
const std::vector<ExitCode>& ExitCodeRanking();
// Of several printers' codes the worst wins, by ExitCodeRanking.
ExitCode WorseExitCode(ExitCode a, ExitCode b);

// How many printers an unattended run updates at once: /parallel:N. Each
// update at once takes a thread, a connection and a few buffers; the images
// are shared per file, so memory no longer bounds it.
constexpr int COMMANDLINE_PARALLEL_DEFAULT = 8;
constexpr int COMMANDLINE_PARALLEL_MAX = 256;
// How many updates /history lists at most.
constexpr int COMMANDLINE_HISTORY_MAX = 100000;

struct CommandLine {
  bool help = false;
  bool silent = false;
  bool checkOnly = false;
  bool force = false;
  bool all = false;
  std::vector<std::wstring> printers;  // in the order given
  RfuConsent rfu = RfuConsent::None;
  std::wstring getCommunity;  // empty: the product's default
  std::wstring setCommunity;
  std::wstring reportPath;
  std::wstring logPath;
  int parallel = COMMANDLINE_PARALLEL_DEFAULT;  // printers updated at once
  int history = 0;  // /history[:N]: list the last N updates instead of updating; 0: not asked
};

enum class SwitchValue { None, Text, Choice, Number, OptionalNumber };

enum class SwitchId {
  Help,
  Silent,
  Check,
  Printer,
  All,
  Force,
  Rfu,
  GetCommunity,
  SetCommunity,
  Report,
  Log,
  Parallel,
  History
};

struct SwitchEntry {
  SwitchId id;
  const wchar_t* name;  // without the leading "/"
  SwitchValue value;
  const wchar_t* valueName;  // shown in the usage: "NAME", "on|onoff"
  const wchar_t* help;
};
const std::vector<SwitchEntry>& SwitchTable();

// Parses the arguments after the program name. True and `out` filled, or
// false and `error` saying which argument is wrong and why.
bool ParseCommandLine(const std::vector<std::wstring>& args, CommandLine* out, std::wstring* error);

// The /report file of a line ParseCommandLine refused, so that even a bad
// line answers the tool that reads the report: the one value every /report
// switch gives; empty when there is none, or two differ.
std::wstring ReportPathOfRefusedLine(const std::vector<std::wstring>& args);

// The arguments as the log shows them, each after a blank: the SNMP community
// names (/getcommunity, /setcommunity) are passwords and read "***".
std::wstring CommandLineForLog(const std::vector<std::wstring>& args);

// The usage: every switch of the table and every exit code, lines ending in
// "\r\n".
std::wstring UsageText();
