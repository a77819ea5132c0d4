// One RFU GET exchange against net-snmp's snmpd on loopback: this program's
// client next to net-snmp's own snmpget, against the same agent in the same
// run. The mandated 500 ms pauses of a full read are excluded (fake clock).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "host/logger.h"
#include "net/snmp_rfu.h"
#include "support/fake_clock.h"
#include "support/snmp_agent_posix.h"

extern char** environ;

namespace {

// A free address of the tests' range, found at start.
std::string g_address;
std::wstring g_addressW;

// Our exchange: start, open the session, GET, close, release.
void BM_TidewayGetExchange(benchmark::State& state) {
  for (auto _ : state) {
    RfuSnmpRequest* record = StartRfuSnmp();
    int v = GetRfuValue(record, g_address.c_str(), reinterpret_cast<const uint8_t*>("tarnel"), 6);
    ReleaseRfuSnmp(record);
    if (v != RFU_ON) state.SkipWithError("unexpected RFU value");
  }
}
BENCHMARK(BM_TidewayGetExchange)->Unit(benchmark::kMicrosecond);

// The whole QueryRfuStatusAtAddress (ping, guard thread, exchange) without its
// two mandated 500 ms pauses. Each call leaves a guard thread for up to 5 s,
// so the iterations are few.
void BM_TidewayQueryWithoutPauses(benchmark::State& state) {
  FakeClock clock;
  for (auto _ : state) {
    if (QueryRfuStatusAtAddress(g_addressW.c_str(), L"tarnel") != RFU_ON) state.SkipWithError("unexpected RFU value");
  }
}
BENCHMARK(BM_TidewayQueryWithoutPauses)->Unit(benchmark::kMicrosecond)->Iterations(50);

// net-snmp's snmpget, one process per exchange (its whole cost as a tool).
void BM_NetSnmpSnmpget(benchmark::State& state) {
  const char* argv[] = {"snmpget", "-v2c", "-c", "tarnel", "-On", "-Oq", g_address.c_str(),
                        ".1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8.0", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawnp(&pid, "snmpget", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
      state.SkipWithError("snmpget could not be started");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("snmpget failed");
  }
  posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_NetSnmpSnmpget)->Unit(benchmark::kMicrosecond);

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) microseconds[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> microseconds;
};

}  // namespace

int main(int argc, char** argv) {
  Logger::Instance()->CloseLogFileForTesting();
  char persist[] = "/tmp/tideway-snmpget-XXXXXX";
  if (!mkdtemp(persist)) return 1;
  setenv("SNMP_PERSISTENT_DIR", persist, 1);
  setenv("MIBS", "", 1);
  SnmpAgent agent;
  SnmpAgentOptions options;
  g_address = FreeSnmpAddress(250);
  g_addressW.assign(g_address.begin(), g_address.end());
  options.address = g_address;
  options.initialValue = RFU_ON;
  if (!agent.Start(options)) {
    fprintf(stderr, "snmpd did not start: %s\n", agent.Error().c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  agent.Stop();
  std::string rm = std::string("rm -rf ") + persist;
  if (system(rm.c_str()) != 0) fprintf(stderr, "could not remove %s\n", persist);

  double ours = reporter.microseconds["BM_TidewayGetExchange"];
  double full = reporter.microseconds["BM_TidewayQueryWithoutPauses/iterations:50"];
  double theirs = reporter.microseconds["BM_NetSnmpSnmpget"];
  if (ours > 0 && theirs > 0) {
    printf("GET exchange: tideway %.1f us, snmpget %.1f us, ratio %.3f (goal <= 1.5)\n", ours, theirs, ours / theirs);
    if (full > 0) printf("QueryRfuStatus without its 2 x 500 ms pauses: %.1f us, ratio to snmpget %.3f\n", full, full / theirs);
  }
  return 0;
}
