// The console's live board: what each printer's line reads as its update goes
// on, that 64 printers at once redraw a few times a second and lose nothing,
// and that a line is cut to the console without splitting a character.
#include "app/live_board.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/fake_clock.h"

namespace {
// The console as the writer leaves it: every line written, the block at `top`.
class ScreenWriter : public LiveBoardWriter {
 public:
  size_t columns = 48;
  std::vector<std::wstring> rows;
  size_t top = 0;
  int replaces = 0;
  size_t linesReplaced = 0;

  size_t Columns() override { return columns; }
  void WriteFromTop(const std::vector<std::wstring>& lines, size_t blockLines) override {
    rows.resize(top);
    rows.insert(rows.end(), lines.begin(), lines.end());
    top = rows.size() - blockLines;
  }
  void Replace(const std::vector<std::pair<size_t, std::wstring>>& lines) override {
    ++replaces;
    linesReplaced += lines.size();
    for (const auto& line : lines) rows.at(top + line.first) = line.second;
  }
};

UpdateProgressState State(UpdatePhase phase, int percent, uint64_t sent = 0, uint64_t total = 0, uint32_t waited = 0) {
  UpdateProgressState s;
  s.phase = phase;
  s.percent = percent;
  s.bytesSent = sent;
  s.bytesTotal = total;
  s.secondsWaited = waited;
  return s;
}
}  // namespace

TEST(LiveBoard, EachPrinterKeepsOneLineThatFollowsItsUpdate) {
  FakeClock clock;
  ScreenWriter screen;
  LiveBoard board(screen);
  board.Line(L"Updating 3 printers, 8 at once.");
  board.Begin({L"Office 2", L"Lab", L"\u6771\u4eac 3F"});
  EXPECT_EQ(screen.rows, (std::vector<std::wstring>{
                             L"Updating 3 printers, 8 at once.", L"Office 2        waiting to start",
                             L"Lab             waiting to start", L"\u6771\u4eac 3F         waiting to start"}));

  struct Step {
    size_t printer;
    UpdateProgressEvent what;  // Done here stands for End
    UpdateProgressState state;
    UpdateOutcome outcome;  // None: a progress step
    const wchar_t* detail;
    const wchar_t* line;  // what the printer's line reads after the step
  } steps[] = {
      {0, UpdateProgressEvent::Milestone, State(UpdatePhase::Idle, 10), UpdateOutcome::None, nullptr,
       L"Office 2        waiting to start"},
      {0, UpdateProgressEvent::Phase, State(UpdatePhase::ChoosingFile, 10), UpdateOutcome::None, nullptr,
       L"Office 2   10%  choosing the firmware file"},
      {0, UpdateProgressEvent::Phase, State(UpdatePhase::Idle, 10), UpdateOutcome::None, nullptr,
       L"Office 2   10%  waiting its turn"},
      // While sending, the data sent; the milestone otherwise.
      {0, UpdateProgressEvent::Phase, State(UpdatePhase::Sending, 15, 0, 1000), UpdateOutcome::None, nullptr,
       L"Office 2    0%  writing the firmware"},
      {0, UpdateProgressEvent::Bytes, State(UpdatePhase::Sending, 15, 470, 1000), UpdateOutcome::None, nullptr,
       L"Office 2   47%  writing the firmware"},
      // The data all sent, the printer writes its flash: the milestone again.
      {1, UpdateProgressEvent::Phase, State(UpdatePhase::Restarting, 50, 1000, 1000), UpdateOutcome::None, nullptr,
       L"Lab        50%  waiting for the restart"},
      {1, UpdateProgressEvent::Waited, State(UpdatePhase::Restarting, 50, 0, 0, 12), UpdateOutcome::None, nullptr,
       L"Lab        50%  waiting for the restart, 12 s"},
      {2, UpdateProgressEvent::Phase, State(UpdatePhase::Verifying, 50, 0, 0, 1), UpdateOutcome::None, nullptr,
       L"\u6771\u4eac 3F    50%  checking the new version, 1 s"},
      // The update's own end says nothing; the outcome does, without the
      // printer's name twice, cut to the console (48 cells, one kept free).
      {0, UpdateProgressEvent::Done, State(UpdatePhase::Done, 100), UpdateOutcome::None, nullptr,
       L"Office 2   47%  writing the firmware"},
      {0, UpdateProgressEvent::Done, State(UpdatePhase::Done, 100), UpdateOutcome::Updated,
       L"Office 2: Successfully updated firmware.", L"Office 2  updated: Successfully updated firmwar"},
      {0, UpdateProgressEvent::Waited, State(UpdatePhase::Restarting, 50, 0, 0, 1), UpdateOutcome::None, nullptr,
       L"Office 2  updated: Successfully updated firmwar"},
      {1, UpdateProgressEvent::Done, State(UpdatePhase::Done, 50), UpdateOutcome::Failed, L"no answer at 10.0.0.9",
       L"Lab       failed: no answer at 10.0.0.9"},
  };
  for (const Step& step : steps) {
    clock.Advance(1000);
    if (step.outcome != UpdateOutcome::None) {
      board.End(step.printer, step.outcome, step.detail);
    } else {
      board.Progress(step.printer, step.state, step.what);
    }
    EXPECT_EQ(screen.rows.at(screen.top + step.printer), step.line) << step.line;
  }

  // A line of the run goes above the block; the cursor stays below it.
  board.Line(L"The print spooler is started again.");
  EXPECT_EQ(screen.rows,
            (std::vector<std::wstring>{L"Updating 3 printers, 8 at once.", L"The print spooler is started again.",
                                       L"Office 2  updated: Successfully updated firmwar",
                                       L"Lab       failed: no answer at 10.0.0.9",
                                       L"\u6771\u4eac 3F    50%  checking the new version, 1 s"}));
  EXPECT_EQ(screen.top, 2u);
}

TEST(LiveBoard, ManyPrintersRedrawAFewTimesASecondAndLoseNothing) {
  FakeClock clock;
  ScreenWriter screen;
  screen.columns = 80;
  LiveBoard board(screen);
  std::vector<std::wstring> names;
  for (int i = 1; i <= 64; ++i) names.push_back(L"P" + std::to_wstring(i));
  board.Begin(names);
  for (size_t i = 0; i < names.size(); ++i) {
    board.Progress(i, State(UpdatePhase::Sending, 15, 0, 100), UpdateProgressEvent::Phase);
  }
  // A new phase draws at once, and only the line that changed.
  EXPECT_EQ(screen.replaces, 64);
  EXPECT_EQ(screen.linesReplaced, 64u);

  // Every printer reports its data every 320 ms, one every 5 ms: 6.4 s of
  // news, drawn every 250 ms.
  for (uint64_t sent = 5; sent <= 100; sent += 5) {
    for (size_t i = 0; i < names.size(); ++i) {
      clock.Advance(5);
      board.Progress(i, State(UpdatePhase::Sending, 15, sent, 100), UpdateProgressEvent::Bytes);
    }
  }
  EXPECT_EQ(screen.replaces, 64 + 25);
  EXPECT_NE(screen.rows.back(), L"P64   100%  writing the firmware");

  // What the throttle held back goes out with the next draw.
  board.Progress(0, State(UpdatePhase::Restarting, 50), UpdateProgressEvent::Phase);
  EXPECT_EQ(screen.rows.front(), L"P1    50%  waiting for the restart");
  for (size_t i = 1; i < names.size(); ++i) {
    EXPECT_EQ(screen.rows[i], names[i] + std::wstring(3 - names[i].size(), L' ') + L"  100%  writing the firmware");
  }
  for (size_t i = 0; i < names.size(); ++i) board.End(i, UpdateOutcome::Updated, names[i] + L": ok");
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(screen.rows[i], names[i] + std::wstring(3 - names[i].size(), L' ') + L"  updated: ok");
  }
}

TEST(LiveBoard, FitToCellsNeverSplitsACharacter) {
  struct Case {
    const wchar_t* text;
    size_t cells;
    const wchar_t* fits;
  } cases[] = {
      {L"Office 2", 4, L"Offi"},
      // A character outside the BMP (a UTF-16 pair, two cells) goes whole or not at all.
      {L"ab\xD83D\xDDA8"
       L"cd",
       3, L"ab"},
      {L"ab\xD83D\xDDA8"
       L"cd",
       4, L"ab\xD83D\xDDA8"},
      // A wide character that would straddle the edge stays out.
      {L"\u6771\u4eac 3F", 3, L"\u6771"},
      // Combining marks stay with their letter, or go with it.
      {L"Cafe\u0301 2", 4, L"Cafe\u0301"},
      {L"Cafe\u0301 2", 3, L"Caf"},
      // A lone surrogate is one cell of its own.
      {L"a\xD800"
       L"b",
       2, L"a\xD800"},
  };
  for (const Case& c : cases) EXPECT_EQ(FitToCells(c.text, c.cells), c.fits) << c.text << " " << c.cells;
}
