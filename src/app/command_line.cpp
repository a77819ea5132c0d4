#include "app/command_line.h"

#include <algorithm>

#include "app/history_listing.h"
#include "host/text_utils.h"

const std::vector<ExitCodeInfo>& ExitCodeTable() {
  static const std::vector<ExitCodeInfo> table = {
      {EXITCODE_OK,
       L"updated: every selected printer that needed the file was written (and verified where the product "
       L"verifies), the others already run it"},
      {EXITCODE_FAILED,
       L"at least one printer failed, or the print spooler or a switched-on RFU setting could not be put back"},
      {EXITCODE_USAGE, L"bad command line (usage printed)"},
      {EXITCODE_CURRENT, L"nothing written: every selected printer already runs the file's version or newer"},
      {EXITCODE_NO_DEVICE, L"no supported device: a named printer is not installed, or none is installed"},
      {EXITCODE_NOT_APPLICABLE, L"not applicable: a printer needs the RFU setting switched on and /rfu was not given"},
      {EXITCODE_ALREADY_RUNNING, L"another copy is running"},
      {EXITCODE_NOT_ADMIN, L"not run as an administrator"},
      {EXITCODE_CONFIGURATION, L"the configuration file is missing or incomplete"},
  };
  return table;
}

const std::vector<ExitCode>& ExitCodeRanking() {
  // A printer written outweighs one already current: a script that updates
  // only on 0 must still see the old printer.
  static const std::vector<ExitCode> ranking = {EXITCODE_FAILED, EXITCODE_NO_DEVICE, EXITCODE_NOT_APPLICABLE,
                                                EXITCODE_OK, EXITCODE_CURRENT};
  return ranking;
}

ExitCode WorseExitCode(ExitCode a, ExitCode b) {
  // Counted from the best: a code outside the ranking ranks worst of all.
  const std::vector<ExitCode>& ranking = ExitCodeRanking();
  auto rank = [&ranking](ExitCode c) { return std::find(ranking.rbegin(), ranking.rend(), c) - ranking.rbegin(); };
  return rank(b) > rank(a) ? b : a;
}

const std::vector<SwitchEntry>& SwitchTable() {
  static const std::vector<SwitchEntry> table = {
      {SwitchId::Help, L"?", SwitchValue::None, nullptr, L"this text: every switch and the exit codes"},
      {SwitchId::Silent, L"s", SwitchValue::None, nullptr, L"silent: no window and no message box at all"},
      {SwitchId::Check, L"c", SwitchValue::None, nullptr,
       L"check only: report what an update would do (with /f, and past the RFU gate, whose setting is read), "
       L"write nothing"},
      {SwitchId::Printer, L"printer", SwitchValue::Text, L"NAME",
       L"a printer by its installed name, in any letter case (repeatable); without /printer or /all: every "
       L"supported printer"},
      {SwitchId::All, L"all", SwitchValue::None, nullptr, L"every installed printer whose driver is listed"},
      {SwitchId::Force, L"f", SwitchValue::None, nullptr,
       L"force: write even when the printer already runs the file's version or a newer one"},
      {SwitchId::Rfu, L"rfu", SwitchValue::Choice, L"on|onoff",
       L"may switch the RFU setting on where the update needs it: on = leave it on, onoff = switch it off again "
       L"afterwards"},
      {SwitchId::GetCommunity, L"getcommunity", SwitchValue::Text, L"NAME",
       L"the SNMP community that reads the RFU setting"},
      {SwitchId::SetCommunity, L"setcommunity", SwitchValue::Text, L"NAME",
       L"the SNMP community that writes the RFU setting"},
      {SwitchId::Report, L"report", SwitchValue::Text, L"FILE",
       L"write the run's report (JSON) to FILE, whole, for every exit"},
      {SwitchId::Log, L"l", SwitchValue::Text, L"FILE", L"the log file (default C:\\QVTideway.log)"},
      {SwitchId::Parallel, L"parallel", SwitchValue::Number, L"N",
       L"update up to N network printers at once (1 to 256, default 8); USB and parallel printers go one at a "
       L"time"},
      {SwitchId::History, L"history", SwitchValue::OptionalNumber, L"N",
       L"list the last N updates recorded on this computer (default 20) instead of updating; with /report also "
       L"as JSON"},
  };
  return table;
}

namespace {

const SwitchEntry* FindSwitch(const std::wstring& name) {
  for (const SwitchEntry& entry : SwitchTable()) {
    if (TextEquals(entry.name, name.c_str())) return &entry;
  }
  return nullptr;
}

// An argument's switch name and value ("/printer:Lab" -> "printer", "Lab").
struct SplitArg {
  std::wstring name;
  std::wstring value;
  bool hasValue = false;
  size_t separator = std::wstring::npos;
};

SplitArg Split(const std::wstring& arg) {
  SplitArg split;
  split.separator = arg.find_first_of(L":=", 1);
  split.name = arg.substr(1, split.separator == std::wstring::npos ? std::wstring::npos : split.separator - 1);
  split.hasValue = split.separator != std::wstring::npos;
  if (split.hasValue) split.value = arg.substr(split.separator + 1);
  return split;
}

bool IsSwitch(const std::wstring& arg) {
  return arg.size() >= 2 && (arg[0] == L'/' || arg[0] == L'-');
}

bool Fail(std::wstring* error, const std::wstring& arg, const wchar_t* why) {
  if (error) *error = L"\"" + arg + L"\": " + why;
  return false;
}

// A second, different value for a switch that takes one is a mistake in the
// script, not something to resolve silently.
// A decimal number from 1 to `most`; -1 for anything else.
int BoundedNumber(const std::wstring& value, int most) {
  int number = 0;
  for (wchar_t c : value) {
    if (c < L'0' || c > L'9' || number > most) return -1;
    number = number * 10 + (c - L'0');
  }
  return number >= 1 && number <= most ? number : -1;
}

bool SetOnce(std::wstring* field, const std::wstring& value, const std::wstring& arg, std::wstring* error) {
  if (!field->empty() && *field != value) return Fail(error, arg, L"given twice with different values");
  *field = value;
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::wstring>& args, CommandLine* out, std::wstring* error) {
  CommandLine line;
  std::wstring runSwitch;  // the first switch that only an update run takes
  bool parallelGiven = false;
  for (const std::wstring& arg : args) {
    if (!IsSwitch(arg)) return Fail(error, arg, L"not a switch");
    const SplitArg split = Split(arg);
    const std::wstring& value = split.value;
    const bool hasValue = split.hasValue;
    const SwitchEntry* entry = FindSwitch(split.name);
    if (!entry) return Fail(error, arg, L"unknown switch");
    if (entry->value == SwitchValue::None && hasValue) return Fail(error, arg, L"takes no value");
    const bool optional = entry->value == SwitchValue::None || entry->value == SwitchValue::OptionalNumber;
    if (!optional && value.empty()) return Fail(error, arg, L"needs a value");

    switch (entry->id) {
      case SwitchId::Help:
        line.help = true;
        break;
      case SwitchId::Silent:
        line.silent = true;
        break;
      case SwitchId::Check:
        line.checkOnly = true;
        break;
      case SwitchId::All:
        line.all = true;
        break;
      case SwitchId::Force:
        line.force = true;
        break;
      case SwitchId::Printer:
        line.printers.push_back(value);
        break;
      case SwitchId::Rfu: {
        RfuConsent consent;
        if (TextEquals(value.c_str(), L"on")) {
          consent = RfuConsent::On;
        } else if (TextEquals(value.c_str(), L"onoff")) {
          consent = RfuConsent::OnOff;
        } else {
          return Fail(error, arg, L"the value is on or onoff");
        }
        if (line.rfu != RfuConsent::None && line.rfu != consent) {
          return Fail(error, arg, L"given twice with different values");
        }
        line.rfu = consent;
        break;
      }
      case SwitchId::GetCommunity:
        if (!SetOnce(&line.getCommunity, value, arg, error)) return false;
        break;
      case SwitchId::SetCommunity:
        if (!SetOnce(&line.setCommunity, value, arg, error)) return false;
        break;
      case SwitchId::Report:
        if (!SetOnce(&line.reportPath, value, arg, error)) return false;
        break;
      case SwitchId::Log:
        if (!SetOnce(&line.logPath, value, arg, error)) return false;
        break;
      case SwitchId::Parallel: {
        const int number = BoundedNumber(value, COMMANDLINE_PARALLEL_MAX);
        if (number < 0) return Fail(error, arg, L"the value is a number from 1 to 256");
        if (parallelGiven && line.parallel != number) return Fail(error, arg, L"given twice with different values");
        parallelGiven = true;
        line.parallel = number;
        break;
      }
      case SwitchId::History: {
        const int number = hasValue ? BoundedNumber(value, COMMANDLINE_HISTORY_MAX) : HISTORY_LIST_DEFAULT;
        if (number < 0) return Fail(error, arg, L"the value is a number from 1 to 100000");
        line.history = number;
        break;
      }
    }
    if (runSwitch.empty() && entry->id != SwitchId::History && entry->id != SwitchId::Report &&
        entry->id != SwitchId::Log && entry->id != SwitchId::Silent) {
      runSwitch = arg;
    }
  }
  // A listing updates nothing: a switch for an update run is a mistake.
  if (line.history && !runSwitch.empty()) return Fail(error, runSwitch, L"cannot be combined with /history");
  if (line.all && !line.printers.empty()) return Fail(error, L"/all", L"cannot be combined with /printer");
  *out = line;
  return true;
}

std::wstring ReportPathOfRefusedLine(const std::vector<std::wstring>& args) {
  std::wstring path;
  for (const std::wstring& arg : args) {
    if (!IsSwitch(arg)) continue;
    const SplitArg split = Split(arg);
    const SwitchEntry* entry = FindSwitch(split.name);
    if (!entry || entry->id != SwitchId::Report || split.value.empty()) continue;
    // Two different files: which one the tool reads is not known.
    if (!path.empty() && path != split.value) return std::wstring();
    path = split.value;
  }
  return path;
}

std::wstring CommandLineForLog(const std::vector<std::wstring>& args) {
  std::wstring joined;
  for (const std::wstring& arg : args) {
    joined += L" ";
    if (IsSwitch(arg)) {
      const SplitArg split = Split(arg);
      const SwitchEntry* entry = FindSwitch(split.name);
      if (entry && (entry->id == SwitchId::GetCommunity || entry->id == SwitchId::SetCommunity) &&
          !split.value.empty()) {
        joined += arg.substr(0, split.separator + 1) + L"***";
        continue;
      }
    }
    joined += arg;
  }
  return joined;
}

std::wstring UsageText() {
  std::wstring text = L"Usage: tideway.exe [switches]   (no switches: the dialog)\r\n\r\n";
  for (const SwitchEntry& entry : SwitchTable()) {
    std::wstring left = L"  /" + std::wstring(entry.name);
    if (entry.valueName) {
      left += entry.value == SwitchValue::OptionalNumber ? L"[:" + std::wstring(entry.valueName) + L"]"
                                                         : L":" + std::wstring(entry.valueName);
    }
    if (left.size() < 24) left.resize(24, L' ');
    text += left + L" " + entry.help + L"\r\n";
  }
  text += L"\r\nSwitches are case-insensitive; -x is accepted for /x, and = for :.\r\n\r\nExit codes:\r\n";
  for (const ExitCodeInfo& info : ExitCodeTable()) {
    text += L"  " + std::to_wstring(static_cast<int>(info.code)) + L"  " + info.meaning + L"\r\n";
  }
  text += L"Of several printers the worst code wins:";
  const wchar_t* separator = L" ";
  for (ExitCode code : ExitCodeRanking()) {
    text += separator + std::to_wstring(static_cast<int>(code));
    separator = L", ";
  }
  text +=
      L" (a printer written outweighs one already current). "
      L"With /c, 0 means an update would write to some printer and 3 that it would write to none.\r\n";
  return text;
}
