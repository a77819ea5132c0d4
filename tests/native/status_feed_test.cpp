// What of an update's progress the dialog's status line is sent: every phase,
// the amount sent not on every write, the wait once a second, the outcome
// not at all (the bar's end and the failure bring it).

#include "app/status_feed.h"

#include <gtest/gtest.h>

namespace {
using E = UpdateProgressEvent;
using P = UpdatePhase;
}  // namespace

TEST(StatusFeed, WhatReachesTheLineInOneUpdate) {
  struct Step {
    E what;
    P phase;
    uint64_t sent, total;
    uint32_t seconds, nowMs;
    StatusPhase shown;  // STATUS_NONE: nothing sent
  } steps[] = {
      {E::Milestone, P::Idle, 0, 0, 0, 0, STATUS_NONE},
      {E::Phase, P::ChoosingFile, 0, 0, 0, 0, STATUS_CHOOSING_FILE},
      {E::Phase, P::ReadingVersion, 0, 0, 0, 10, STATUS_READING_VERSION},
      {E::Phase, P::Sending, 0, 0, 0, 20, STATUS_SENDING},
      {E::Bytes, P::Sending, 4096, 300000, 0, 30, STATUS_NONE},      // small step, soon
      {E::Bytes, P::Sending, 65536, 300000, 0, 40, STATUS_SENDING},  // 64 KiB on
      {E::Bytes, P::Sending, 70000, 300000, 0, 100, STATUS_NONE},
      {E::Bytes, P::Sending, 72000, 300000, 0, 290, STATUS_SENDING},   // a quarter second on
      {E::Bytes, P::Sending, 300000, 300000, 0, 291, STATUS_SENDING},  // the last byte always
      {E::Phase, P::Restarting, 300000, 300000, 0, 300, STATUS_RESTARTING},
      {E::Waited, P::Restarting, 300000, 300000, 0, 700, STATUS_NONE},  // still 0 s
      {E::Waited, P::Restarting, 300000, 300000, 1, 1300, STATUS_RESTARTING},
      {E::Waited, P::Restarting, 300000, 300000, 1, 1800, STATUS_NONE},
      {E::Waited, P::Restarting, 300000, 300000, 2, 2300, STATUS_RESTARTING},
      {E::Phase, P::Verifying, 300000, 300000, 0, 2400, STATUS_CHECKING_VERSION},
      {E::Waited, P::Verifying, 300000, 300000, 1, 3400, STATUS_CHECKING_VERSION},
      {E::Milestone, P::Done, 300000, 300000, 0, 3500, STATUS_NONE},
      {E::Done, P::Done, 300000, 300000, 0, 3500, STATUS_NONE},
      // A second image of a package: its amount starts again.
      {E::Phase, P::Sending, 300000, 300000, 0, 4000, STATUS_SENDING},
      {E::Bytes, P::Sending, 1024, 100000, 0, 4001, STATUS_NONE},
      {E::Bytes, P::Sending, 70000, 100000, 0, 4002, STATUS_SENDING},
      {E::Bytes, P::Sending, 100000, 100000, 0, 4003, STATUS_SENDING},
  };
  StatusFeed feed;
  int i = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(i++);
    UpdateProgressState state;
    state.phase = s.phase;
    state.bytesSent = s.sent;
    state.bytesTotal = s.total;
    state.secondsWaited = s.seconds;
    StatusReport report;
    report.phase = STATUS_CANCELED;  // untouched when nothing is sent
    const bool sent = feed.Next(state, s.what, s.nowMs, &report);
    EXPECT_EQ(sent, s.shown != STATUS_NONE);
    if (!sent) {
      EXPECT_EQ(report.phase, STATUS_CANCELED);
      continue;
    }
    EXPECT_EQ(report.phase, s.shown);
    EXPECT_EQ(report.bytesSent, s.sent);
    EXPECT_EQ(report.bytesTotal, s.total);
    EXPECT_EQ(report.secondsWaited, s.seconds);
  }
}
