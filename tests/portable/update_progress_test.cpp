// The per-update progress object: what its listener hears, in which order,
// and that readers on other threads always see a whole state.
#include "update/update_progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {
std::string Heard(const UpdateProgress& p, UpdateProgressEvent what) {
  const UpdateProgressState s = p.Snapshot();
  switch (what) {
    case UpdateProgressEvent::Phase:
      return "phase" + std::to_string(static_cast<int>(s.phase));
    case UpdateProgressEvent::Milestone:
      return "m" + std::to_string(s.percent);
    case UpdateProgressEvent::Waited:
      return "w" + std::to_string(s.secondsWaited);
    case UpdateProgressEvent::Bytes:
      return "b" + std::to_string(s.bytesSent) + "/" + std::to_string(s.bytesTotal);
    case UpdateProgressEvent::Done:
      return "done" + std::to_string(static_cast<int>(s.outcome)) + ":" + std::to_string(s.status);
  }
  return "?";
}
}  // namespace

TEST(UpdateProgress, ListenerHearsEachChangeInOrder) {
  struct Case {
    const char* name;
    bool succeeded;
    std::vector<std::string> heard;
  } cases[] = {
      // A lower or equal milestone is no change; a new phase counts its wait from zero;
      // success reaches 100 before the end is reported.
      {"success",
       true,
       {"m10", "phase2", "m15", "phase1", "w0", "w1", "w2", "m50", "phase4", "w0", "b5/10", "m100", "done1:1"}},
      {"failure: the bar stays",
       false,
       {"m10", "phase2", "m15", "phase1", "w0", "w1", "w2", "m50", "phase4", "w0", "b5/10", "done4:1"}},
  };
  for (const Case& c : cases) {
    UpdateProgress progress;
    std::vector<std::string> heard;
    progress.SetListener(
        [&heard](const UpdateProgress& p, UpdateProgressEvent what) { heard.push_back(Heard(p, what)); });
    progress.SetMilestone(10);
    progress.SetPhase(UpdatePhase::ChoosingFile);
    progress.SetMilestone(15);
    progress.SetMilestone(10);
    progress.SetPhase(UpdatePhase::ReadingVersion);
    progress.AddWaitMs(999);
    progress.AddWaitMs(1);
    progress.AddWaitMs(1500);
    progress.SetMilestone(50);
    progress.SetMilestone(50);
    progress.SetPhase(UpdatePhase::Sending);
    progress.AddWaitMs(500);
    progress.SetBytes(5, 10);
    progress.Finish(c.succeeded ? UpdateOutcome::Updated : UpdateOutcome::Failed, 1, c.succeeded);
    EXPECT_EQ(heard, c.heard) << c.name;
    EXPECT_EQ(progress.Phase(), UpdatePhase::Done) << c.name;
    EXPECT_EQ(progress.Percent(), c.succeeded ? 100 : 50) << c.name;
  }
}

TEST(UpdateProgress, ReadersOnOtherThreadsSeeWholeStates) {
  UpdateProgress progress;
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread reader([&]() {
    while (!stop) {
      const UpdateProgressState s = progress.Snapshot();
      // The writer sets bytes sent and total together, always sent == total / 2.
      if (s.bytesSent * 2 != s.bytesTotal) ++torn;
      if (s.percent < 0 || s.percent > 100) ++torn;
    }
  });
  for (uint64_t i = 0; i < 20000; ++i) {
    progress.SetBytes(i, 2 * i);
    progress.SetMilestone(static_cast<int>(i % 101));
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(progress.Percent(), 100);
}
