// Where a dialog goes, which drawing of a picture a screen gets, and what the
// status line says (English texts: the program's own table serves here).
#include "app/dialog_layout.h"

#include <gtest/gtest.h>

#include <string>

#include "app/status_line.h"
#include "host/strings.h"
#include "resources/resource.h"

namespace {

TEST(DialogPlacement, CentredOverTheOwnerAndKeptOnTheScreen) {
  const ScreenRect screen{0, 0, 1024, 740};
  struct Case {
    const char* what;
    ScreenRect window, over, area, expected;
  } cases[] = {
      {"on the screen", {0, 0, 400, 200}, screen, screen, {312, 270, 712, 470}},
      {"over its owner", {0, 0, 100, 50}, {200, 100, 600, 300}, screen, {350, 175, 450, 225}},
      {"from where it was", {900, 600, 1000, 650}, {200, 100, 600, 300}, screen, {350, 175, 450, 225}},
      {"owner at the right edge: pushed back left", {0, 0, 300, 100}, {900, 0, 1100, 100}, screen, {724, 0, 1024, 100}},
      {"owner above the screen: pushed down", {0, 0, 300, 100}, {100, -400, 500, -300}, screen, {150, 0, 450, 100}},
      {"larger than the screen: its top-left corner shows", {0, 0, 1200, 900}, screen, screen, {0, 0, 1200, 900}},
      {"work area off the origin", {0, 0, 200, 100}, {40, 30, 1064, 770}, {40, 30, 1064, 770}, {452, 350, 652, 450}},
  };
  for (const Case& c : cases) {
    const ScreenRect r = CentredRect(c.window, c.over, c.area);
    EXPECT_EQ(c.expected.left, r.left) << c.what;
    EXPECT_EQ(c.expected.top, r.top) << c.what;
    EXPECT_EQ(c.expected.right, r.right) << c.what;
    EXPECT_EQ(c.expected.bottom, r.bottom) << c.what;
  }
}

TEST(DialogPictures, DrawingForTheScreensResolution) {
  const struct {
    unsigned dpi;
    int index;
  } cases[] = {{72, 0}, {96, 0}, {120, 0}, {143, 0}, {144, 1}, {168, 1}, {191, 1}, {192, 2}, {288, 2}};
  for (const auto& c : cases) EXPECT_EQ(c.index, PictureScaleIndex(c.dpi)) << c.dpi;
}

TEST(StatusLine, TextOfEachPhase) {
  struct Case {
    StatusPhase phase;
    uint64_t sent, total;
    uint32_t seconds;
    const wchar_t* text;
  } cases[] = {
      {STATUS_NONE, 0, 0, 0, L""},
      {STATUS_READING_VERSION, 0, 0, 0, L"Reading the printer's firmware version..."},
      {STATUS_CHOOSING_FILE, 0, 0, 0, L"Choosing the firmware file..."},
      {STATUS_SWITCHING_RFU, 0, 0, 0, L"Changing the printer's Remote Firmware Update setting..."},
      {STATUS_SENDING, 0, 0, 0, L"Sending the firmware to the printer..."},
      {STATUS_SENDING, 0, 4096, 0, L"Sending the firmware to the printer..."},
      {STATUS_SENDING, 1, 4096, 0, L"Sending the firmware to the printer: 1/4 KB..."},
      {STATUS_SENDING, 2048, 4096, 0, L"Sending the firmware to the printer: 2/4 KB..."},
      // The total shows only once the last byte went out.
      {STATUS_SENDING, 4095, 4096, 0, L"Sending the firmware to the printer: 3/4 KB..."},
      {STATUS_SENDING, 4096, 4096, 0, L"Sending the firmware to the printer: 4/4 KB..."},
      {STATUS_SENDING, 3000, 3000, 0, L"Sending the firmware to the printer: 3/3 KB..."},
      {STATUS_SENDING, 9000, 3000, 0, L"Sending the firmware to the printer: 3/3 KB..."},
      {STATUS_SENDING, 5000000, 0, 0, L"Sending the firmware to the printer: 4882 KB..."},
      {STATUS_RESTARTING, 0, 0, 0, L"The printer is writing the firmware and restarting..."},
      {STATUS_RESTARTING, 4096, 4096, 37, L"The printer is writing the firmware and restarting (37 s)..."},
      {STATUS_CHECKING_VERSION, 0, 0, 0, L"Checking the printer's new firmware version..."},
      {STATUS_SUCCEEDED, 0, 0, 0, L"The firmware was updated successfully."},
      {STATUS_UP_TO_DATE, 0, 0, 0, L"The printer's firmware is already up to date."},
      {STATUS_FAILED, 0, 0, 0, L"The firmware update failed."},
      {STATUS_CANCELED, 0, 0, 0, L"The update was canceled."},
      {STATUS_NOT_TRUSTED, 0, 0, 0, L"The firmware file is not signed by a trusted signer."},
  };
  for (const Case& c : cases) {
    StatusReport report;
    report.phase = c.phase;
    report.bytesSent = c.sent;
    report.bytesTotal = c.total;
    report.secondsWaited = c.seconds;
    EXPECT_EQ(std::wstring(c.text), StatusLineText(report)) << c.phase << " " << c.sent << "/" << c.total;
  }
}

TEST(StatusLine, MilestonesAndOutcome) {
  const struct {
    int position;
    StatusPhase phase;
  } cases[] = {{0, STATUS_NONE},
               {10, STATUS_CHOOSING_FILE},
               {15, STATUS_READING_VERSION},
               {50, STATUS_SENDING},
               {100, STATUS_SUCCEEDED}};
  for (const auto& c : cases) EXPECT_EQ(c.phase, MilestoneStatus(c.position)) << c.position;

  // From the outcome, never from the localised line (a printer may be named anything).
  EXPECT_EQ(STATUS_SUCCEEDED, EndStatus(UpdateOutcome::Updated, false));
  EXPECT_EQ(STATUS_UP_TO_DATE, EndStatus(UpdateOutcome::Current, false));
  EXPECT_EQ(STATUS_NOT_TRUSTED, EndStatus(UpdateOutcome::Failed, true));
  EXPECT_EQ(STATUS_FAILED, EndStatus(UpdateOutcome::Failed, false));
}

}  // namespace
