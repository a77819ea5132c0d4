// The fleet's schedule on a virtual clock: every printer takes its time, the
// schedule starts what it may whenever one ends. What the rules promise:
// network printers side by side up to the limit, USB printers one at a time,
// a parallel printer alone, and a waiting one never holds back those behind.
#include "update/fleet_schedule.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace {
constexpr FleetLane N = FleetLane::Network, U = FleetLane::Usb, A = FleetLane::Alone;

struct Timeline {
  uint32_t end = 0;               // when the last printer ended
  std::vector<uint32_t> startAt;  // per printer
  size_t mostAtOnce = 0;          // printers running together
  size_t mostUsbAtOnce = 0;
  bool aloneShared = false;  // a parallel printer ran beside another
};

// Runs the schedule with `seconds` per printer on a virtual clock.
Timeline Simulate(const std::vector<FleetLane>& lanes, const std::vector<uint32_t>& seconds, int limit) {
  FleetSchedule schedule(lanes, limit);
  Timeline t;
  t.startAt.assign(lanes.size(), 0);
  std::multimap<uint32_t, size_t> running;  // end time -> printer
  uint32_t now = 0;
  for (;;) {
    for (int next; (next = schedule.Next()) >= 0;) {
      t.startAt[next] = now;
      running.emplace(now + seconds[next], next);
    }
    size_t usb = 0, alone = 0;
    for (const auto& r : running) {
      usb += lanes[r.second] == U;
      alone += lanes[r.second] == A;
    }
    t.mostAtOnce = std::max(t.mostAtOnce, running.size());
    t.mostUsbAtOnce = std::max(t.mostUsbAtOnce, usb);
    t.aloneShared = t.aloneShared || (alone > 0 && running.size() > 1);
    if (running.empty()) break;
    now = running.begin()->first;
    schedule.Done(running.begin()->second);
    running.erase(running.begin());
  }
  EXPECT_TRUE(schedule.Finished());
  t.end = now;
  return t;
}
}  // namespace

TEST(FleetSchedule, RulesOnAVirtualClock) {
  struct Case {
    const char* name;
    std::vector<FleetLane> lanes;
    std::vector<uint32_t> seconds;
    int limit;
    uint32_t end;
    size_t mostAtOnce;
    std::vector<uint32_t> startAt;  // empty: not checked
  } cases[] = {
      {"16 network at 8: two rounds", std::vector<FleetLane>(16, N), std::vector<uint32_t>(16, 35), 8, 70, 8, {}},
      {"16 network at 16: one round", std::vector<FleetLane>(16, N), std::vector<uint32_t>(16, 35), 16, 35, 16, {}},
      {"limit 1: one after another", {N, N, N}, {35, 10, 5}, 1, 50, 1, {0, 35, 45}},
      {"a limit below 1 counts as 1", {N, N}, {3, 4}, 0, 7, 1, {0, 3}},
      {"a freed place goes to the next at once", {N, N, N}, {30, 10, 10}, 2, 30, 2, {0, 0, 10}},
      {"USB one at a time beside the network", {U, N, U, N}, {40, 35, 40, 35}, 8, 80, 3, {0, 0, 40, 0}},
      {"USB takes a place of the limit", {U, N, N}, {10, 10, 10}, 2, 20, 2, {0, 0, 10}},
      {"parallel waits for all, then runs alone; later ones pass it", {N, A, N}, {35, 20, 35}, 8, 55, 2, {0, 35, 0}},
      {"nothing starts beside a running parallel", {A, N, U}, {20, 35, 40}, 8, 60, 2, {0, 20, 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Timeline t = Simulate(c.lanes, c.seconds, c.limit);
    EXPECT_EQ(t.end, c.end);
    EXPECT_EQ(t.mostAtOnce, c.mostAtOnce);
    EXPECT_LE(t.mostUsbAtOnce, 1u);
    EXPECT_FALSE(t.aloneShared);
    if (!c.startAt.empty()) {
      EXPECT_EQ(t.startAt, c.startAt);
    }
  }
}

// On threads: every printer's work runs once, never more at once than the
// limit, and a stop lets the running ones end while the rest never start.
TEST(FleetSchedule, RunFleetOnThreadsAndItsStop) {
  std::mutex lock;
  std::vector<int> runs(12, 0);
  size_t atOnce = 0, mostAtOnce = 0;
  std::atomic<int> started{0};
  auto work = [&](size_t i) {
    {
      std::lock_guard<std::mutex> g(lock);
      ++runs[i];
      mostAtOnce = std::max(mostAtOnce, ++atOnce);
    }
    ++started;
    std::lock_guard<std::mutex> g(lock);
    --atOnce;
  };
  const std::vector<size_t> notStarted = RunFleet(std::vector<FleetLane>(12, N), 3, work, nullptr);
  EXPECT_TRUE(notStarted.empty());
  EXPECT_EQ(runs, std::vector<int>(12, 1));
  EXPECT_LE(mostAtOnce, 3u);

  // Stopped once four have started: the others are reported, not run.
  std::atomic<int> begun{0};
  const std::vector<size_t> left = RunFleet(
      std::vector<FleetLane>(10, N), 1, [&](size_t) { ++begun; }, [&] { return begun.load() >= 4; });
  EXPECT_EQ(begun.load(), 4);
  EXPECT_EQ(left, (std::vector<size_t>{4, 5, 6, 7, 8, 9}));
}
