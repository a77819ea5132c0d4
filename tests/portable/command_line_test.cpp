// The unattended command line: one table of arguments and what they parse to
// (or why they are refused), the usage generated from the switch table, and
// the worst-wins rule of the exit codes.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// A parse result written compactly: the flags s c f a h, the rfu consent, the
// printers joined by "|", then the four texts.
std::wstring Describe(const CommandLine& l) {
  std::wstring d;
  d += l.silent ? L"s" : L"-";
  d += l.checkOnly ? L"c" : L"-";
  d += l.force ? L"f" : L"-";
  d += l.all ? L"a" : L"-";
  d += l.help ? L"h" : L"-";
  d += l.rfu == RfuConsent::On ? L" on" : l.rfu == RfuConsent::OnOff ? L" onoff" : L" none";
  d += L" [";
  for (size_t i = 0; i < l.printers.size(); ++i) d += (i ? L"|" : L"") + l.printers[i];
  d += L"] get=" + l.getCommunity + L" set=" + l.setCommunity + L" report=" + l.reportPath + L" log=" + l.logPath;
  if (l.parallel != COMMANDLINE_PARALLEL_DEFAULT) d += L" parallel=" + std::to_wstring(l.parallel);
  if (l.history) d += L" history=" + std::to_wstring(l.history);
  return d;
}
}  // namespace

TEST(CommandLine, ParseTable) {
  struct Case {
    std::vector<std::wstring> args;
    const wchar_t* parsed;  // Describe() of the result, or nullptr when refused
    const wchar_t* error;   // part of the error text when refused
  } cases[] = {
      {{}, L"----- none [] get= set= report= log=", nullptr},
      {{L"/s", L"/c", L"/f", L"/all"}, L"scfa- none [] get= set= report= log=", nullptr},
      {{L"/?"}, L"----h none [] get= set= report= log=", nullptr},
      {{L"-?"}, L"----h none [] get= set= report= log=", nullptr},
      // Case and dash forms, ':' and '='.
      {{L"-S", L"/C", L"-F", L"/ALL"}, L"scfa- none [] get= set= report= log=", nullptr},
      {{L"/Printer:Office 2", L"-PRINTER=Lab", L"/printer:Lab"},
       L"----- none [Office 2|Lab|Lab] get= set= report= log=",
       nullptr},
      // The value is everything after the first separator, kept as written.
      {{L"/printer:A=B:C", L"/report=C:\\out\\r.json", L"/l:C:\\x.log"},
       L"----- none [A=B:C] get= set= report=C:\\out\\r.json log=C:\\x.log",
       nullptr},
      {{L"/rfu:on", L"/getcommunity:pub", L"/setcommunity=Priv"},
       L"----- on [] get=pub set=Priv report= log=",
       nullptr},
      {{L"/RFU=OnOff", L"/rfu:onoff"}, L"----- onoff [] get= set= report= log=", nullptr},
      {{L"/report:a.json", L"/report:a.json"}, L"----- none [] get= set= report=a.json log=", nullptr},
      // Refused.
      {{L"/x"}, nullptr, L"unknown switch"},
      {{L"/silent"}, nullptr, L"unknown switch"},
      {{L"--s"}, nullptr, L"unknown switch"},
      {{L"/"}, nullptr, L"not a switch"},
      {{L"Office"}, nullptr, L"not a switch"},
      {{L"/s:yes"}, nullptr, L"takes no value"},
      {{L"/?=1"}, nullptr, L"takes no value"},
      {{L"/printer"}, nullptr, L"needs a value"},
      {{L"/printer:"}, nullptr, L"needs a value"},
      {{L"/report="}, nullptr, L"needs a value"},
      {{L"/rfu"}, nullptr, L"needs a value"},
      {{L"/rfu:off"}, nullptr, L"on or onoff"},
      {{L"/rfu:on", L"/rfu:onoff"}, nullptr, L"different values"},
      {{L"/getcommunity:a", L"/getcommunity:b"}, nullptr, L"different values"},
      {{L"/l:a.log", L"/l:b.log"}, nullptr, L"different values"},
      {{L"/all", L"/printer:P"}, nullptr, L"cannot be combined"},
      // How many at once: 1 to 256, digits only.
      {{L"/parallel:1"}, L"----- none [] get= set= report= log= parallel=1", nullptr},
      {{L"/PARALLEL=256"}, L"----- none [] get= set= report= log= parallel=256", nullptr},
      {{L"/parallel:0"}, nullptr, L"from 1 to 256"},
      {{L"/parallel:257"}, nullptr, L"from 1 to 256"},
      {{L"/parallel:99999999999"}, nullptr, L"from 1 to 256"},
      {{L"/parallel:-3"}, nullptr, L"from 1 to 256"},
      {{L"/parallel:8x"}, nullptr, L"from 1 to 256"},
      {{L"/parallel:4", L"/parallel=4"}, L"----- none [] get= set= report= log= parallel=4", nullptr},
      {{L"/parallel:4", L"/parallel:2"}, nullptr, L"different values"},
      // The history instead of an update: its count is optional, /report takes the JSON.
      {{L"/history"}, L"----- none [] get= set= report= log= history=20", nullptr},
      {{L"/s", L"/HISTORY:5", L"/report:h.json"}, L"s---- none [] get= set= report=h.json log= history=5", nullptr},
      {{L"/history:0"}, nullptr, L"from 1 to 100000"},
      {{L"/history:100001"}, nullptr, L"from 1 to 100000"},
      {{L"/printer:P", L"/history"}, nullptr, L"\"/printer:P\": cannot be combined with /history"},
      {{L"/history:3", L"/c"}, nullptr, L"cannot be combined with /history"},
  };
  for (const Case& c : cases) {
    std::wstring joined;
    for (const std::wstring& a : c.args) joined += a + L" ";
    CommandLine line;
    line.printers = {L"stale"};
    std::wstring error;
    const bool ok = ParseCommandLine(c.args, &line, &error);
    EXPECT_EQ(ok, c.parsed != nullptr) << joined << error;
    if (c.parsed) {
      EXPECT_EQ(Describe(line), c.parsed) << joined;
    } else {
      EXPECT_NE(error.find(c.error), std::wstring::npos) << joined << " -> " << error;
      EXPECT_EQ(line.printers, std::vector<std::wstring>{L"stale"}) << joined << ": a refused line changes nothing";
    }
  }
}

TEST(CommandLine, UsageListsEverySwitchAndEveryExitCode) {
  const std::wstring usage = UsageText();
  for (const SwitchEntry& entry : SwitchTable()) {
    std::wstring value;
    if (entry.valueName) {
      value = entry.value == SwitchValue::OptionalNumber ? L"[:" + std::wstring(entry.valueName) + L"]"
                                                         : L":" + std::wstring(entry.valueName);
    }
    const std::wstring shown = L"/" + std::wstring(entry.name) + value;
    EXPECT_NE(usage.find(L"  " + shown + L" "), std::wstring::npos) << shown;
    EXPECT_NE(usage.find(entry.help), std::wstring::npos) << shown;
  }
  std::vector<int> codes;
  for (const ExitCodeInfo& info : ExitCodeTable()) {
    codes.push_back(info.code);
    EXPECT_NE(usage.find(L"  " + std::to_wstring(static_cast<int>(info.code)) + L"  " + info.meaning),
              std::wstring::npos);
  }
  EXPECT_EQ(codes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_NE(usage.find(L"the worst code wins: 1, 4, 5, 0, 3 ("), std::wstring::npos);
}

TEST(CommandLine, WorstExitCodeWins) {
  // 1, 4, 5, 0, 3, from worst to best: a printer written (or, with /c, to be written) outweighs a current one.
  const ExitCode order[] = {EXITCODE_FAILED, EXITCODE_NO_DEVICE, EXITCODE_NOT_APPLICABLE, EXITCODE_OK,
                            EXITCODE_CURRENT};
  for (size_t i = 0; i < 5; ++i) {
    for (size_t j = 0; j < 5; ++j) {
      const ExitCode worse = order[i < j ? i : j];
      EXPECT_EQ(WorseExitCode(order[i], order[j]), worse) << order[i] << " vs " << order[j];
    }
  }
}

TEST(CommandLine, WhatTheLogAndARefusedLineKeep) {
  // Community names are passwords: any spelling of the switch hides the value, and only the value.
  EXPECT_EQ(CommandLineForLog({L"-SETCOMMUNITY=priv", L"/getcommunity:a:b", L"/getcommunity", L"/printer:x", L"x"}),
            L" -SETCOMMUNITY=*** /getcommunity:*** /getcommunity /printer:x x");
  // A refused line still names its report file, unless two differ.
  EXPECT_EQ(ReportPathOfRefusedLine({L"/bogus", L"-REPORT=a.json", L"/report:a.json", L"/report"}), L"a.json");
  EXPECT_EQ(ReportPathOfRefusedLine({L"/report:a.json", L"/report:b.json"}), L"");
}
