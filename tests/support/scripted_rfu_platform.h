#pragma once
// The RFU gate's outside world for tests. SNMP answers, prompt answers and the
// question's choices are scripted (SNMP, with `realSnmp`, goes to
// printer/rfu_status.h); the registry is a map. Every call is recorded in `calls`:
//   get(<community>) set(<community>,<value>)[ within <answer wait> ms] ask(<initial text>) question unable
// A scripted prompt answered with OK returns "typed1", "typed2"...

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "net/snmp_rfu.h"
#include "update/rfu_sequencer.h"

class ScriptedRfuPlatform : public RfuPlatform {
 public:
  std::wstring port;  // the port every scripted SNMP call must name
  std::deque<int> reads, writes, prompts /* 1 = OK */, choices;
  bool realSnmp = false;
  std::vector<std::wstring> calls;
  std::map<std::wstring, std::vector<uint8_t>> registry;  // value name -> bytes

  int QueryRfuStatus(const wchar_t* portName, const wchar_t* community) override {
    calls.push_back(L"get(" + std::wstring(community) + L")");
    if (realSnmp) return RfuPlatform::QueryRfuStatus(portName, community);
    EXPECT_EQ(port, portName);
    return Next(reads);
  }
  int WriteRfuStatus(const wchar_t* portName, const wchar_t* community, int value,
                     const RfuWriteBounds* bounds) override {
    calls.push_back(L"set(" + std::wstring(community) + L"," + std::to_wstring(value) + L")" +
                    (bounds ? L" within " + std::to_wstring(bounds->answerWaitMs) + L" ms" : L""));
    if (bounds) {
      EXPECT_TRUE(bounds->stop) << "a bounded write the run's interrupt cannot end";
    }
    if (realSnmp) return RfuPlatform::WriteRfuStatus(portName, community, value, bounds);
    EXPECT_EQ(port, portName);
    return Next(writes, -7);
  }
  int AskCommunity(const wchar_t*, std::wstring& community) override {
    calls.push_back(L"ask(" + community + L")");
    if (!Next(prompts)) return 0;
    community = L"typed" + std::to_wstring(++typed_);
    return 1;
  }
  int AskRemoteUpgrade() override {
    calls.push_back(L"question");
    return Next(choices);
  }
  void ShowUnableToCommunicate() override { calls.push_back(L"unable"); }
  long SaveValue(const wchar_t* keyPath, const wchar_t* valueName, const void* data, uint32_t size,
                 uint32_t type) override {
    EXPECT_STREQ(keyPath, RFU_STATE_KEY_PATH);
    EXPECT_EQ(type, 3u);  // REG_BINARY
    registry[valueName].assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return 0;
  }
  long SaveInstallCrashed(const wchar_t* keyPath) override {
    EXPECT_STREQ(keyPath, RFU_STATE_KEY_PATH);
    registry[L"InstallCrashed"] = {1, 0, 0, 0};
    return 0;
  }
  long DeleteValue(const wchar_t* keyPath, const wchar_t* valueName) override {
    EXPECT_STREQ(keyPath, RFU_STATE_KEY_PATH);
    return registry.erase(valueName) ? 0 : 2;
  }

  // The steps "SeqStack" holds, bottom first; {-1} unless it is 1028 bytes.
  std::vector<int32_t> SavedStack() const {
    auto it = registry.find(L"SeqStack");
    if (it == registry.end() || it->second.size() != RFU_SEQ_STACK_BYTES) return {-1};
    auto at = [&it](size_t i) {
      const uint8_t* b = it->second.data() + 4 * i;
      return static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
    };
    std::vector<int32_t> steps;
    for (int32_t i = 0; i <= at(0); ++i) steps.push_back(at(1 + static_cast<size_t>(i)));
    return steps;
  }

 private:
  int Next(std::deque<int>& script, int whenEmpty = 0) {
    if (script.empty()) {
      ADD_FAILURE() << "unscripted call";
      return whenEmpty;
    }
    int v = script.front();
    script.pop_front();
    return v;
  }

  int typed_ = 0;
};
