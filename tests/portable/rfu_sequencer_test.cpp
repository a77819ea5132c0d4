// The RFU gate with scripted SNMP answers, prompts and registry: every way
// through the steps, the walk back, the stack and its persisted form.
#include "update/rfu_sequencer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/strings.h"
#include "support/log_capture.h"
#include "support/scripted_rfu_platform.h"

namespace {

const plist_t kPrinter{L"QV Office", L"IP_127.0.0.9", L"0"};
const std::wstring kGetAsk = L"ask(Get Community Name)";
const std::wstring kSetAsk = L"ask(Set Community Name)";

std::wstring Text(unsigned id) {
  wchar_t text[STRINGS_TEXT_MAX];
  Strings::Instance()->GetString(id, text);
  return text;
}

std::vector<int> StepsLogged(const LogCapture& log) {
  const std::wstring prefix = L"RFUSequencer() step = ";
  std::vector<int> steps;
  for (const std::wstring& line : log.Lines()) {
    if (line.compare(0, prefix.size(), prefix) == 0) steps.push_back(std::stoi(line.substr(prefix.size())));
  }
  return steps;
}

struct GateCase {
  const char* name;
  std::deque<int> reads, choices, writes, prompts;
  int result;
  std::vector<int> steps;
  std::vector<std::wstring> calls;
  std::vector<unsigned> boxes;  // string ids of the information boxes
  std::vector<int32_t> stack;   // bottom first, at the end
  bool stateKept;               // "SeqStack" and "InstallCrashed" left behind
  const wchar_t* logged;
};

}  // namespace

TEST(RfuSequencer, EveryWayThroughTheGate) {
  // clang-format off
  const std::vector<GateCase> cases = {
    // name; reads, choices, writes, prompts; result; steps; calls; boxes; stack; kept; logged
    {"on", {2}, {}, {}, {}, 0, {0, 1, 3, 7, 10, 14}, {L"get(tarnel)"}, {}, {0, 1, 3, 7, 14}, false,
     L"  >> PUSH step SNMPON_STEP (7)"},
    {"off, enable, set ok", {1}, {1}, {0}, {}, 0, {0, 1, 3, 4, 5, 6, 7, 10, 14},
     {L"get(tarnel)", L"question", L"set(tarnel,2)"}, {}, {0, 1, 3, 4, 5, 6, 7, 14}, false, nullptr},
    {"off, disable: stops without clean-up", {1}, {0}, {}, {}, 1, {0, 1, 3, 4, 5, 13},
     {L"get(tarnel)", L"question"}, {}, {0, 1, 3, 4, 5}, true, nullptr},
    {"off, enable, set refused three times", {1}, {1}, {-8, -7, -8, -7}, {1, 1, 1}, 2, {0, 1, 3, 4, 5, 6, 11, 14},
     {L"get(tarnel)", L"question", L"set(tarnel,2)", kSetAsk, L"set(typed1,2)", kSetAsk, L"set(typed2,2)", kSetAsk,
      L"set(typed3,2)"}, {236, 236, 236}, {0, 1, 3, 4, 5, 6, 14}, false, nullptr},
    {"off, enable, Set prompt cancelled: walk back", {1}, {1}, {-8}, {0}, 1, {0, 1, 3, 4, 5, 6, 6, 5, 4, 3, 1, 0, 13},
     {L"get(tarnel)", L"question", L"set(tarnel,2)", kSetAsk}, {}, {}, true, nullptr},
    {"off and locked", {3}, {}, {}, {}, 2, {0, 1, 3, 8, 11, 14}, {L"get(tarnel)"}, {237}, {0, 1, 3, 8, 14}, false,
     nullptr},
    {"no SNMP at all", {-100}, {}, {}, {}, 1, {0, 1, 3, 3, 1, 0, 13}, {L"get(tarnel)", L"unable"}, {}, {}, true,
     L"Install Sequencing Error - Unexpected NEXT detected."},
    {"Get community refused, prompt cancelled", {-8}, {}, {}, {0}, 1, {0, 1, 3, 3, 1, 0, 13},
     {L"get(tarnel)", kGetAsk}, {}, {}, true, nullptr},
    {"Get community refused three times", {-7, -8, -7, 0}, {}, {}, {1, 1, 1}, 1, {0, 1, 3, 3, 1, 0, 13},
     {L"get(tarnel)", kGetAsk, L"get(typed1)", kGetAsk, L"get(typed2)", kGetAsk, L"get(typed3)"},
     {235, 235, 235}, {}, true, nullptr},
    {"value outside 1..3, then on", {4, 2}, {}, {}, {}, 0, {0, 1, 3, 3, 7, 10, 14},
     {L"get(tarnel)", L"get(tarnel)"}, {}, {0, 1, 3, 3, 7, 14}, false, nullptr},
    {"value outside 1..3 three times in a row", {4, 9, 4}, {}, {}, {}, 1, {0, 1, 3, 3, 3, 3, 3, 3, 1, 0, 13},
     {L"get(tarnel)", L"get(tarnel)", L"get(tarnel)"}, {}, {}, true,
     L"SnmpGetStep() RFU value 4 is not 1..3, 3 times in a row: giving up"},
  };
  // clang-format on
  for (const GateCase& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    BoxCapture boxes;
    ScriptedRfuPlatform platform;
    platform.port = kPrinter.portName;
    platform.reads = c.reads;
    platform.choices = c.choices;
    platform.writes = c.writes;
    platform.prompts = c.prompts;

    RfuSequencer sequencer(platform, kPrinter);
    EXPECT_EQ(sequencer.InstallSequencer(), c.result);
    EXPECT_EQ(StepsLogged(log), c.steps);
    EXPECT_EQ(platform.calls, c.calls);
    EXPECT_TRUE(platform.reads.empty() && platform.writes.empty() && platform.prompts.empty());

    std::vector<int32_t> stack;
    for (int32_t i = 0; i <= sequencer.StackTop(); ++i) stack.push_back(sequencer.StackEntry(i));
    EXPECT_EQ(stack, c.stack);
    if (c.stateKept) {
      EXPECT_EQ(platform.SavedStack(), c.stack);
      EXPECT_EQ(platform.registry[L"InstallCrashed"], (std::vector<uint8_t>{1, 0, 0, 0}));
    } else {
      EXPECT_TRUE(platform.registry.empty());
    }

    std::vector<CapturedBox> shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), c.boxes.size());
    for (size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i].text, Text(c.boxes[i]));
      EXPECT_EQ(shown[i].flags & 0xFFu, 0x40u);
    }
    if (c.logged) {
      EXPECT_TRUE(log.Contains(c.logged));
    }
  }
}

// A full stack overwrites its top entry; popping an empty one gives
// "FAILED_STOP" and saves nothing. "SeqStack" is the top, then all 256
// entries, little-endian.
TEST(RfuSequencer, StackCapAndPersistedForm) {
  ScriptedRfuPlatform platform;
  RfuSequencer sequencer(platform, kPrinter);
  EXPECT_EQ(sequencer.PopStep(), FAILED_STOP);
  EXPECT_TRUE(platform.registry.empty());

  for (int step = 0; step < 300; ++step) sequencer.PushStep(step);
  EXPECT_EQ(sequencer.StackTop(), 254);
  const std::vector<uint8_t>& saved = platform.registry[L"SeqStack"];
  ASSERT_EQ(saved.size(), 1028u);
  EXPECT_EQ(std::vector<uint8_t>(saved.begin(), saved.begin() + 4), (std::vector<uint8_t>{0xFE, 0, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(saved.begin() + 4 + 4 * 253, saved.begin() + 4 + 4 * 255),
            (std::vector<uint8_t>{253, 0, 0, 0, 0x2B, 0x01, 0, 0}));

  EXPECT_EQ(sequencer.PopStep(), 299);
  EXPECT_EQ(sequencer.PopStep(), 253);
  EXPECT_EQ(platform.SavedStack().size(), 253u);
}

// After a successful update: disable switches RFU off with a fresh context's
// Set community; enable leaves it. No registry values.
TEST(RfuSequencer, PostUpdateQuestion) {
  for (int choice : {0, 1}) {
    LogCapture log;
    ScriptedRfuPlatform platform;
    platform.port = kPrinter.portName;
    platform.choices = {choice};
    if (choice == 0) platform.writes = {0};
    RfuPostUpdateQuestion(kPrinter, true, platform);
    const std::vector<std::wstring> calls =
        choice ? std::vector<std::wstring>{L"question"} : std::vector<std::wstring>{L"question", L"set(tarnel,1)"};
    EXPECT_EQ(platform.calls, calls);
    EXPECT_TRUE(platform.registry.empty());
  }
}
