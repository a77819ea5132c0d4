// The RFU prompts as the user meets them: the real dialogs, answered by
// control id from a thread timer that runs inside their modal loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "update/rfu_sequencer.h"
#include "resources/resource.h"

namespace {

// No "PRINTER_SERIESNAME" in the test program: the caption starts with a blank.
const std::wstring kCaption = L" Firmware Update Utility";

std::function<void(HWND)> g_user;

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found) {
  wchar_t cls[16] = L"";
  GetClassNameW(window, cls, 16);
  if (!IsWindowVisible(window) || wcscmp(cls, L"#32770") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog) g_user(dialog);
}

// Answers every dialog this thread shows while it lives.
struct ScriptedUser {
  explicit ScriptedUser(std::function<void(HWND)> answer) : timer(SetTimer(nullptr, 0, 20, AnswerDialog)) {
    g_user = std::move(answer);
  }
  ~ScriptedUser() { KillTimer(nullptr, timer); }
  UINT_PTR timer;
};

std::wstring Text(HWND window) {
  wchar_t text[1024] = L"";
  GetWindowTextW(window, text, 1024);
  return text;
}

void Click(HWND dialog, int id) {
  SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

}  // namespace

// The prompt shows the caller's texts and the picture; OK without editing
// gives back the initial words, which the caller then sends as the community.
TEST(RfuDialogs, CommunityPromptOkWithoutEditing) {
  std::wstring seen;
  LRESULT picture = 0;
  std::wstring community = L"Get Community Name";
  ScriptedUser user([&](HWND d) {
    seen = Text(d) + L"|" + Text(GetWindow(d, GW_CHILD)) + L"|" + Text(GetDlgItem(d, IDC_COMMUNITY_EDIT));
    picture = SendDlgItemMessageW(d, IDC_COMMUNITY_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0);
    Click(d, IDC_COMMUNITY_OK);
  });
  EXPECT_EQ(SystemRfuPlatform().AskCommunity(L"Please enter the product Get Community Name", community), 1);
  EXPECT_EQ(seen, kCaption + L"|Please enter the product Get Community Name|Get Community Name");
  EXPECT_NE(picture, 0);
  EXPECT_EQ(community, L"Get Community Name");
}

// Neither choice is checked at the start and only OK reads one: closed
// without a choice the question answers disable (0).
TEST(RfuDialogs, RemoteUpgradeQuestion) {
  struct Case {
    std::vector<int> clicks;  // ids; none: the close box
    int choice;
  };
  for (const Case& c : {Case{{}, 0}, Case{{IDC_RFU_ENABLE}, 0}, Case{{IDC_RFU_ENABLE, IDC_RFU_OK}, 1}}) {
    std::wstring seen;
    ScriptedUser user([&](HWND d) {
      seen = Text(d) + L"|" + std::to_wstring(IsDlgButtonChecked(d, IDC_RFU_DISABLE)) +
             std::to_wstring(IsDlgButtonChecked(d, IDC_RFU_ENABLE));
      for (int id : c.clicks) Click(d, id);
      if (c.clicks.size() < 2) SendMessageW(d, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(SystemRfuPlatform().AskRemoteUpgrade(), c.choice);
    EXPECT_EQ(seen, kCaption + L"|00");
  }
}
