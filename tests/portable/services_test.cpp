// The spooler stop/start sequences over a scripted service control, with the
// fake clock: waits, the 3000 ms limit across the tick counter's wrap, the
// wait-hint loop of the start.

#include "printer/services.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "host/service_control.h"
#include "support/fake_clock.h"
#include "support/log_capture.h"

namespace {
ServiceStatus Status(uint32_t state, uint32_t waitHint = 0, uint32_t checkPoint = 0) {
  ServiceStatus s;
  s.state = state;
  s.waitHint = waitHint;
  s.checkPoint = checkPoint;
  return s;
}

// One scripted service: queries answer from a queue (the last answer repeats).
struct ScriptedService {
  std::deque<ServiceStatus> queries;
  ServiceStatus last = Status(SVC_STATE_RUNNING);
  ServiceStatus stopAnswer = Status(SVC_STATE_STOP_PENDING, 100);
  uint32_t stopError = 0;   // nonzero: the stop control fails with it
  uint32_t startError = 0;  // nonzero: the start fails with it
  bool openFails = false;
};

class ScriptedServiceControl : public ServiceControl {
 public:
  std::map<std::wstring, ScriptedService> services;
  std::vector<std::wstring> dependents;  // of every service, in list order
  uint32_t enumError = SVC_ERROR_MORE_DATA;
  uint32_t managerError = 0;
  std::vector<std::wstring> calls;
  int openHandles = 0;

  ServiceHandle OpenManager(uint32_t access) override {
    calls.push_back(L"manager " + std::to_wstring(access));
    if (managerError) return Fail(managerError);
    ++openHandles;
    return &managerToken_;
  }
  ServiceHandle Open(ServiceHandle, const wchar_t* name, uint32_t access) override {
    calls.push_back(std::wstring(L"open ") + name + L" " + std::to_wstring(access));
    auto it = services.find(name);
    if (it == services.end() || it->second.openFails) return Fail(1060);
    ++openHandles;
    return const_cast<std::wstring*>(&it->first);
  }
  void Close(ServiceHandle) override { --openHandles; }
  int Query(ServiceHandle h, ServiceStatus* status) override {
    ScriptedService& s = Of(h);
    calls.push_back(L"query " + Name(h));
    if (!s.queries.empty()) {
      s.last = s.queries.front();
      s.queries.pop_front();
    }
    *status = s.last;
    return 1;
  }
  int ControlStop(ServiceHandle h, ServiceStatus* status) override {
    ScriptedService& s = Of(h);
    calls.push_back(L"stop " + Name(h));
    if (s.stopError) return Fail(s.stopError) ? 1 : 0;
    *status = s.stopAnswer;
    return 1;
  }
  int Start(ServiceHandle h) override {
    ScriptedService& s = Of(h);
    calls.push_back(L"start " + Name(h));
    if (s.startError) return Fail(s.startError) ? 1 : 0;
    return 1;
  }
  int EnumDependents(ServiceHandle h, void* buffer, uint32_t size, uint32_t* needed, uint32_t* count) override {
    calls.push_back(L"dependents " + Name(h));
    *needed = static_cast<uint32_t>(dependents.size() * 64);
    *count = 0;
    if (dependents.empty()) return 1;
    if (!buffer || size < *needed) return Fail(enumError) ? 1 : 0;
    *count = static_cast<uint32_t>(dependents.size());
    return 1;
  }
  const wchar_t* DependentName(const void*, uint32_t index) override { return dependents[index].c_str(); }
  uint32_t LastError() override { return lastError_; }

 private:
  std::nullptr_t Fail(uint32_t error) {
    lastError_ = error;
    return nullptr;
  }
  static std::wstring Name(ServiceHandle h) { return *static_cast<std::wstring*>(h); }
  ScriptedService& Of(ServiceHandle h) { return services[Name(h)]; }
  int managerToken_ = 0;
  uint32_t lastError_ = 0;
};

const std::wstring kOpenForStop = L"open Spooler 44";       // 0x2C
const std::wstring kOpenForStart = L"open Spooler 983551";  // 0xF01FF
}  // namespace

TEST(StopAService, AlreadyStoppedEndsAfterFirstQuery) {
  FakeClock clock;
  LogCapture log;
  ScriptedServiceControl scm;
  scm.services[L"Spooler"].queries = {Status(SVC_STATE_STOPPED)};
  EXPECT_EQ(StopServiceWith(scm, L"Spooler"), 0);
  EXPECT_EQ(scm.calls, (std::vector<std::wstring>{L"manager 1", kOpenForStop, L"query Spooler"}));
  EXPECT_TRUE(clock.Sleeps().empty());
  EXPECT_EQ(scm.openHandles, 0);
  EXPECT_EQ(log.Lines(), (std::vector<std::wstring>{L"StopAService(Spooler)"}));
}

TEST(StopAService, StopsAndWaitsWithTheWaitHint) {
  FakeClock clock;
  LogCapture log;
  ScriptedServiceControl scm;
  ScriptedService& spooler = scm.services[L"Spooler"];
  spooler.queries = {Status(SVC_STATE_RUNNING), Status(SVC_STATE_STOP_PENDING, 250), Status(SVC_STATE_STOPPED)};
  spooler.stopAnswer = Status(SVC_STATE_STOP_PENDING, 200);
  EXPECT_EQ(StopServiceWith(scm, L"Spooler"), 0);
  // The hint from the stop control's answer, then from the query.
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{200, 250}));
  EXPECT_EQ(scm.calls, (std::vector<std::wstring>{L"manager 1", kOpenForStop, L"query Spooler", L"dependents Spooler",
                                                  L"stop Spooler", L"query Spooler", L"query Spooler"}));
  EXPECT_FALSE(log.Contains(L"Stopping service timed out"));
  EXPECT_EQ(scm.openHandles, 0);
}

TEST(StopAService, ThreeSecondLimitHoldsAcrossTickWrap) {
  // The same service with the clock far from and just before the wrap of the
  // 32-bit tick counter must wait exactly the same.
  for (uint32_t start : {0u, 0xFFFFF000u, 0xFFFFFFFFu}) {
    FakeClock clock;
    clock.SetNow(start);
    LogCapture log;
    ScriptedServiceControl scm;
    ScriptedService& spooler = scm.services[L"Spooler"];
    spooler.queries = {Status(SVC_STATE_RUNNING), Status(SVC_STATE_STOP_PENDING, 1000)};
    spooler.stopAnswer = Status(SVC_STATE_STOP_PENDING, 1000);
    EXPECT_EQ(StopServiceWith(scm, L"Spooler"), 0);
    // 1000, 2000, 3000 (not over the limit), 4000: over.
    EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{1000, 1000, 1000, 1000})) << start;
    EXPECT_TRUE(log.Contains(L"Stopping service timed out")) << start;
    EXPECT_EQ(scm.openHandles, 0);
  }
}

TEST(StopAService, PendingStopIsAwaitedWithoutAStopControl) {
  struct Case {
    std::deque<ServiceStatus> queries;
    std::vector<uint32_t> sleeps;
    bool timedOut;
  } cases[] = {
      {{Status(SVC_STATE_STOP_PENDING, 300), Status(SVC_STATE_STOP_PENDING, 400), Status(SVC_STATE_STOPPED)},
       {300, 400},
       false},
      {{Status(SVC_STATE_STOP_PENDING, 1500)}, {1500, 1500, 1500}, true},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    ScriptedServiceControl scm;
    scm.services[L"Spooler"].queries = c.queries;
    EXPECT_EQ(StopServiceWith(scm, L"Spooler"), 0);
    EXPECT_EQ(clock.Sleeps(), c.sleeps);
    EXPECT_EQ(log.Contains(L"Stopping service timed out"), c.timedOut);
    for (const auto& call : scm.calls) EXPECT_NE(call, L"stop Spooler");
    EXPECT_EQ(scm.openHandles, 0);
  }
}

TEST(StopAService, StopsDependentsFirstInListOrder) {
  FakeClock clock;
  LogCapture log;
  ScriptedServiceControl scm;
  scm.dependents = {L"FaxA", L"FaxB"};
  scm.services[L"FaxA"].stopAnswer = Status(SVC_STATE_STOP_PENDING, 120);
  scm.services[L"FaxA"].queries = {Status(SVC_STATE_STOPPED)};
  scm.services[L"FaxB"].stopAnswer = Status(SVC_STATE_STOPPED);
  scm.services[L"Spooler"].stopAnswer = Status(SVC_STATE_STOPPED);
  // What an earlier stop took down and no start brought back is kept once.
  StoppedServices stopped = {L"FaxB"};
  EXPECT_EQ(StopServiceWith(scm, L"Spooler", &stopped), 0);
  EXPECT_EQ(scm.calls, (std::vector<std::wstring>{L"manager 1", kOpenForStop, L"query Spooler", L"dependents Spooler",
                                                  L"dependents Spooler", L"open FaxA 36", L"stop FaxA", L"query FaxA",
                                                  L"open FaxB 36", L"stop FaxB", L"stop Spooler"}));
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{120}));
  EXPECT_EQ(scm.openHandles, 0);
  EXPECT_EQ(stopped, (StoppedServices{L"FaxB", L"FaxA"}));
}

TEST(StopAService, DependentFailuresEndTheDependentStepOnly) {
  struct Case {
    const wchar_t* name;
    uint32_t enumError;
    bool dependentStuck;
    bool dependentOpenFails;
    const wchar_t* line;
  } cases[] = {
      {L"list refused", 5, false, false, nullptr},
      {L"dependent never stops", SVC_ERROR_MORE_DATA, true, false, L"Stopping dependent service timed out"},
      {L"dependent cannot be opened", SVC_ERROR_MORE_DATA, false, true, L"OpenService dependent failed (gle=1060)"},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    ScriptedServiceControl scm;
    scm.dependents = {L"FaxA"};
    scm.enumError = c.enumError;
    scm.services[L"FaxA"].stopAnswer = Status(SVC_STATE_STOP_PENDING, 1000);
    scm.services[L"FaxA"].last = Status(c.dependentStuck ? SVC_STATE_STOP_PENDING : SVC_STATE_STOPPED, 1000);
    scm.services[L"FaxA"].openFails = c.dependentOpenFails;
    scm.services[L"Spooler"].stopAnswer = Status(SVC_STATE_STOPPED);
    StoppedServices stopped;
    EXPECT_EQ(StopServiceWith(scm, L"Spooler", &stopped), 0) << c.name;
    // Only one asked to stop is for the start to bring back.
    EXPECT_EQ(stopped, c.dependentStuck ? StoppedServices{L"FaxA"} : StoppedServices{}) << c.name;
    EXPECT_EQ(scm.calls.back(), L"stop Spooler") << c.name;
    if (c.line) {
      EXPECT_TRUE(log.Contains(c.line)) << c.name;
    } else {
      // Refused without a message.
      EXPECT_EQ(log.Lines(), (std::vector<std::wstring>{L"StopAService(Spooler)"})) << c.name;
    }
    EXPECT_EQ(scm.openHandles, 0) << c.name;
  }
}

TEST(StopAService, FailuresAreLoggedWithTheirCode) {
  {
    LogCapture log;
    ScriptedServiceControl scm;
    scm.managerError = 5;
    EXPECT_EQ(StopServiceWith(scm, L"Spooler"), 0);
    EXPECT_TRUE(log.Contains(L"OpenSCManager failed (gle=5)"));
  }
  {
    LogCapture log;
    ScriptedServiceControl scm;
    EXPECT_EQ(StopServiceWith(scm, L"Spooler"), 0);  // no such service
    EXPECT_TRUE(log.Contains(L"OpenService failed (gle=1060)"));
    EXPECT_EQ(scm.openHandles, 0);
  }
  {
    FakeClock clock;
    LogCapture log;
    ScriptedServiceControl scm;
    scm.services[L"Spooler"].stopError = 1051;
    EXPECT_EQ(StopServiceWith(scm, L"Spooler"), 0);
    EXPECT_TRUE(log.Contains(L"ControlService failed (gle=1051)"));
    EXPECT_EQ(scm.openHandles, 0);
  }
}

TEST(StartAService, RunningOrAlreadyRunningIsZeroWithoutMessage) {
  for (uint32_t startError : {0u, SVC_ERROR_ALREADY_RUNNING}) {
    FakeClock clock;
    LogCapture log;
    ScriptedServiceControl scm;
    scm.services[L"Spooler"].startError = startError;
    scm.services[L"Spooler"].queries = {Status(SVC_STATE_RUNNING)};
    EXPECT_EQ(StartServiceWith(scm, L"Spooler"), 0);
    EXPECT_EQ(log.Lines(), (std::vector<std::wstring>{L"StartAService(Spooler)"}));
    scm.services[L"Spooler"].queries = {Status(SVC_STATE_RUNNING)};
    EXPECT_EQ(EnsureServiceRunningWith(scm, L"Spooler"), 1);
    EXPECT_EQ(scm.calls.front(), L"manager 983103");  // 0xF003F
    EXPECT_EQ(scm.calls[1], kOpenForStart);
    EXPECT_TRUE(clock.Sleeps().empty());
    EXPECT_EQ(scm.openHandles, 0);
  }
}

TEST(StartAService, WaitHintLoop) {
  struct Case {
    const wchar_t* name;
    std::deque<ServiceStatus> queries;
    std::vector<uint32_t> sleeps;
    int result;
    uint32_t startError = 0;
  } cases[] = {
      // A tenth of the hint, within 1000..10000 ms.
      {L"tenth of hint",
       {Status(SVC_STATE_START_PENDING, 30000, 1), Status(SVC_STATE_START_PENDING, 30000, 2),
        Status(SVC_STATE_RUNNING)},
       {3000, 3000},
       0},
      {L"at least a second", {Status(SVC_STATE_START_PENDING, 5000, 1), Status(SVC_STATE_RUNNING)}, {1000}, 0},
      {L"at most ten seconds", {Status(SVC_STATE_START_PENDING, 200000, 1), Status(SVC_STATE_RUNNING)}, {10000}, 0},
      // Check point stuck: waiting stops once more than the hint has passed.
      {L"stuck", {Status(SVC_STATE_START_PENDING, 2000, 7)}, {1000, 1000, 1000}, SERVICE_RESULT_NOT_RUNNING},
      // A growing check point restarts the clock.
      {L"advancing then stuck",
       {Status(SVC_STATE_START_PENDING, 2000, 1), Status(SVC_STATE_START_PENDING, 2000, 1),
        Status(SVC_STATE_START_PENDING, 2000, 2), Status(SVC_STATE_START_PENDING, 2000, 2),
        Status(SVC_STATE_START_PENDING, 2000, 2), Status(SVC_STATE_START_PENDING, 2000, 2)},
       {1000, 1000, 1000, 1000, 1000},
       SERVICE_RESULT_NOT_RUNNING},
      {L"ends stopped",
       {Status(SVC_STATE_START_PENDING, 0, 1), Status(SVC_STATE_STOPPED)},
       {1000},
       SERVICE_RESULT_NOT_RUNNING},
      // "Already running" from a service the system still starts (at boot):
      // awaited as a start of its own.
      {L"already starting",
       {Status(SVC_STATE_START_PENDING, 5000, 1), Status(SVC_STATE_RUNNING)},
       {1000},
       0,
       SVC_ERROR_ALREADY_RUNNING},
      {L"already starting, stuck",
       {Status(SVC_STATE_START_PENDING, 2000, 4)},
       {1000, 1000, 1000},
       SERVICE_RESULT_NOT_RUNNING,
       SVC_ERROR_ALREADY_RUNNING},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    clock.SetNow(0xFFFFFC00u);  // across the wrap as well
    LogCapture log;
    ScriptedServiceControl scm;
    scm.services[L"Spooler"].startError = c.startError;
    scm.services[L"Spooler"].queries = c.queries;
    EXPECT_EQ(StartServiceWith(scm, L"Spooler"), c.result) << c.name;
    EXPECT_EQ(clock.Sleeps(), c.sleeps) << c.name;
    EXPECT_EQ(log.ContainsPart(L"Failed to start Spooler service. "), c.result != 0) << c.name;
    EXPECT_EQ(scm.openHandles, 0) << c.name;
    // Only a service seen running is one a caller may rely on.
    scm.services[L"Spooler"].queries = c.queries;
    EXPECT_EQ(EnsureServiceRunningWith(scm, L"Spooler"), c.result == 0 ? 1 : 0) << c.name;
  }
}

// What the stop took down comes back after the service, last stopped first;
// each one that does not is an error of its own and stays in the list.
TEST(StartAService, BringsBackTheStoppedDependentsLastFirst) {
  struct Case {
    const wchar_t* name;
    uint32_t spoolerStartError;
    uint32_t faxBStartError;
    std::vector<std::wstring> starts;
    StoppedServices left;
  } cases[] = {
      {L"all come back", 0, 0, {L"start Spooler", L"start FaxB", L"start FaxA"}, {}},
      {L"already running again", 0, SVC_ERROR_ALREADY_RUNNING, {L"start Spooler", L"start FaxB", L"start FaxA"}, {}},
      {L"one does not", 0, 1058, {L"start Spooler", L"start FaxB", L"start FaxA"}, {L"FaxB"}},
      // Nothing that depends on a stopped service can run.
      {L"the service does not", 1058, 0, {L"start Spooler"}, {L"FaxA", L"FaxB"}},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    ScriptedServiceControl scm;
    scm.services[L"Spooler"].startError = c.spoolerStartError;
    scm.services[L"FaxA"];
    scm.services[L"FaxB"].startError = c.faxBStartError;
    StoppedServices stopped = {L"FaxA", L"FaxB"};
    EXPECT_EQ(EnsureServiceRunningWith(scm, L"Spooler", &stopped), c.spoolerStartError ? 0 : 1) << c.name;
    std::vector<std::wstring> starts;
    for (const auto& call : scm.calls) {
      if (call.rfind(L"start ", 0) == 0) starts.push_back(call);
    }
    EXPECT_EQ(starts, c.starts) << c.name;
    EXPECT_EQ(stopped, c.left) << c.name;
    for (const auto& name : {L"FaxA", L"FaxB"}) {
      const bool left = std::find(c.left.begin(), c.left.end(), name) != c.left.end();
      EXPECT_EQ(log.Contains(std::wstring(L"ERROR: the service ") + name + L", stopped with Spooler, could not be "
                                                                            L"started again"),
                left)
          << c.name << " " << name;
    }
    EXPECT_EQ(scm.openHandles, 0) << c.name;
  }
}

// Asked without a start: a stopped service stays so, one still starting is awaited.
TEST(ServiceIsRunning, ReadsTheStateWithoutStarting) {
  struct Case {
    std::deque<ServiceStatus> queries;
    int result;
    std::vector<uint32_t> sleeps;
  } cases[] = {
      {{Status(SVC_STATE_RUNNING)}, 1, {}},
      {{Status(SVC_STATE_STOPPED)}, 0, {}},
      {{Status(SVC_STATE_START_PENDING, 3000, 1), Status(SVC_STATE_RUNNING)}, 1, {1000}},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    ScriptedServiceControl scm;
    scm.services[L"Spooler"].queries = c.queries;
    EXPECT_EQ(ServiceIsRunningWith(scm, L"Spooler"), c.result);
    EXPECT_EQ(clock.Sleeps(), c.sleeps);
    EXPECT_EQ(scm.calls[1], L"open Spooler 4");
    for (const auto& call : scm.calls) EXPECT_NE(call, L"start Spooler");
    EXPECT_EQ(scm.openHandles, 0);
  }
}

TEST(StartAService, StuckStartReportsPendingState) {
  FakeClock clock;
  LogCapture log;
  ScriptedServiceControl scm;
  ServiceStatus stuck = Status(SVC_STATE_START_PENDING, 2000, 3);
  stuck.exitCode = 1077;
  scm.services[L"Spooler"].queries = {stuck};
  EXPECT_EQ(StartServiceWith(scm, L"Spooler"), SERVICE_RESULT_NOT_RUNNING);
  EXPECT_EQ(log.Lines(), (std::vector<std::wstring>{L"StartAService(Spooler)", L"Failed to start Spooler service. ",
                                                    L"Current State: 2", L"Exit Code: 1077",
                                                    L"Service Specific Exit Code: 0", L""}));
}

TEST(StartAService, StartFailureIsRecordedWithItsCode) {
  LogCapture log;
  ScriptedServiceControl scm;
  scm.services[L"Spooler"].startError = 1058;
  EXPECT_EQ(StartServiceWith(scm, L"Spooler"), 0);
  EXPECT_EQ(EnsureServiceRunningWith(scm, L"Spooler"), 0);
  EXPECT_TRUE(log.ContainsPart(L"===>>> ERROR (gle=1058, 0x422)"));
  EXPECT_TRUE(log.ContainsPart(L"Context: StartService failed"));
  EXPECT_EQ(scm.openHandles, 0);
}

TEST(Services, DefaultControlIsReplaceableForTests) {
  FakeClock clock;
  ScriptedServiceControl scm;
  scm.services[L"Spooler"].queries = {Status(SVC_STATE_STOPPED), Status(SVC_STATE_RUNNING)};
  ServiceControl* previous = SetServiceControlForTesting(&scm);
  EXPECT_EQ(StopAService(), 0);
  EXPECT_EQ(StartAService(), 0);
  SetServiceControlForTesting(previous);
  EXPECT_EQ(scm.calls, (std::vector<std::wstring>{L"manager 1", kOpenForStop, L"query Spooler", L"manager 983103",
                                                  kOpenForStart, L"start Spooler", L"query Spooler"}));
}
