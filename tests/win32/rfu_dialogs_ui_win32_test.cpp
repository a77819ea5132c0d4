// The RFU prompts as the user meets them: the real dialogs, answered by a
// thread timer that acts on the next dialog this thread shows, by control id.
// SNMP and the registry stay scripted.
#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <string>

#include "app/rfu_sequencer.h"
#include "host/strings.h"
#include "printer/rfu_status.h"
#include "resources/resource.h"
#include "support/log_capture.h"
#include "support/scripted_rfu_platform.h"

namespace {

const plist_t kPrinter{L"QV Office", L"IP_127.0.0.9", L"0"};
// "PRINTER_SERIESNAME" is not set in the test program: the caption starts
// with the blank.
const wchar_t kCaption[] = L" Firmware Update Utility";

class RealDialogsPlatform : public ScriptedRfuPlatform {
 public:
  int AskCommunity(const wchar_t* prompt, std::wstring& community) override {
    calls.push_back(L"ask(" + community + L")");
    return SystemRfuPlatform().AskCommunity(prompt, community);
  }
  int AskRemoteUpgrade() override {
    calls.push_back(L"question");
    return SystemRfuPlatform().AskRemoteUpgrade();
  }
};

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = L"";
  GetWindowTextW(window, text, 1024);
  return text;
}

// What the user does with the dialog, and what they saw in it.
std::deque<std::function<void(HWND)>> g_actions;

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found) {
  wchar_t cls[16] = L"";
  GetClassNameW(window, cls, 16);
  if (!IsWindowVisible(window) || wcscmp(cls, L"#32770") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void CALLBACK ActOnDialog(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog || g_actions.empty()) return;
  auto action = g_actions.front();
  g_actions.pop_front();
  action(dialog);
}

class ScriptedUser {
 public:
  explicit ScriptedUser(std::deque<std::function<void(HWND)>> actions) {
    g_actions = std::move(actions);
    timer_ = SetTimer(nullptr, 0, 20, ActOnDialog);
  }
  ~ScriptedUser() {
    KillTimer(nullptr, timer_);
    EXPECT_TRUE(g_actions.empty()) << g_actions.size() << " dialog(s) never shown";
  }

 private:
  UINT_PTR timer_;
};

void Click(HWND dialog, int id) {
  SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::wstring Text(unsigned id) {
  wchar_t text[STRINGS_TEXT_MAX];
  Strings::Instance()->GetString(id, text);
  return text;
}

}  // namespace

// The prompt shows the caller's texts and the picture; OK without editing
// sends the initial words as the community; the close box cancels.
TEST(RfuDialogs, CommunityPrompt) {
  BoxCapture boxes;
  RealDialogsPlatform platform;
  platform.port = kPrinter.portName;
  platform.reads = {-7, -8, 2};
  std::wstring caption, label, edit;
  HANDLE picture = nullptr;
  RfuContext context(platform);
  context.printer = kPrinter;
  {
    ScriptedUser user({[&](HWND d) {
                         caption = WindowText(d);
                         label = WindowText(GetWindow(d, GW_CHILD));
                         edit = WindowText(GetDlgItem(d, IDC_COMMUNITY_EDIT));
                         picture = reinterpret_cast<HANDLE>(
                             SendDlgItemMessageW(d, IDC_COMMUNITY_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
                         Click(d, IDC_COMMUNITY_OK);
                       },
                       [](HWND d) {
                         SetDlgItemTextW(d, IDC_COMMUNITY_EDIT, L"private");
                         Click(d, IDC_COMMUNITY_OK);
                       }});
    EXPECT_EQ(SnmpGetStep(context, 0), NEXT);
  }
  EXPECT_EQ(context.rfuValue, RFU_ON);
  EXPECT_EQ(platform.calls,
            (std::vector<std::wstring>{L"get(tarnel)", L"ask(Get Community Name)", L"get(Get Community Name)",
                                       L"ask(Get Community Name)", L"get(private)"}));
  EXPECT_EQ(caption, kCaption);
  EXPECT_EQ(label, Text(IDS_GET_COMMUNITY_PROMPT));
  EXPECT_EQ(edit, L"Get Community Name");
  EXPECT_NE(picture, nullptr);
  EXPECT_EQ(boxes.Boxes().size(), 1u);  // the one wrong name

  platform.reads = {-7};
  platform.calls.clear();
  RfuContext fresh(platform);
  fresh.printer = kPrinter;
  {
    ScriptedUser user({[](HWND d) { SendMessageW(d, WM_CLOSE, 0, 0); }});
    EXPECT_EQ(SnmpGetStep(fresh, 0), FAILED);
  }
  EXPECT_EQ(platform.calls, (std::vector<std::wstring>{L"get(tarnel)", L"ask(Get Community Name)"}));
}

// Neither choice is checked at the start; only OK reads the choice. Closed
// without one, the question counts as disable: before an update the gate
// stops, after it RFU is switched off.
TEST(RfuDialogs, RemoteUpgradeQuestion) {
  struct Case {
    const char* name;
    bool afterUpdate;
    std::function<void(HWND)> answer;
    std::deque<int> reads, writes;
    int result;  // of the gate
    std::vector<std::wstring> calls;
  };
  const std::vector<Case> cases = {
      {"close box before the update",
       false,
       [](HWND d) { SendMessageW(d, WM_CLOSE, 0, 0); },
       {1},
       {},
       1,
       {L"get(tarnel)", L"question"}},
      {"Enable, then Escape",
       false,
       [](HWND d) {
         Click(d, IDC_RFU_ENABLE);
         SendMessageW(d, WM_COMMAND, IDCANCEL, 0);
       },
       {1},
       {},
       1,
       {L"get(tarnel)", L"question"}},
      {"Enable, OK",
       false,
       [](HWND d) {
         Click(d, IDC_RFU_ENABLE);
         Click(d, IDC_RFU_OK);
       },
       {1},
       {0},
       0,
       {L"get(tarnel)", L"question", L"set(tarnel,2)"}},
      {"OK without a choice before the update",
       false,
       [](HWND d) { Click(d, IDC_RFU_OK); },
       {1},
       {},
       1,
       {L"get(tarnel)", L"question"}},
      {"close box after the update",
       true,
       [](HWND d) { SendMessageW(d, WM_CLOSE, 0, 0); },
       {},
       {0},
       -1,
       {L"question", L"set(tarnel,1)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BoxCapture boxes;
    RealDialogsPlatform platform;
    platform.port = kPrinter.portName;
    platform.reads = c.reads;
    platform.writes = c.writes;
    std::wstring caption;
    UINT disable = 99, enable = 99;
    {
      ScriptedUser user({[&](HWND d) {
        caption = WindowText(d);
        disable = IsDlgButtonChecked(d, IDC_RFU_DISABLE);
        enable = IsDlgButtonChecked(d, IDC_RFU_ENABLE);
        c.answer(d);
      }});
      if (c.afterUpdate) {
        RfuPostUpdateQuestion(kPrinter, true, platform);
      } else {
        EXPECT_EQ(RunRfuGate(kPrinter, platform), c.result);
      }
    }
    EXPECT_EQ(platform.calls, c.calls);
    EXPECT_EQ(caption, kCaption);
    EXPECT_EQ(disable, BST_UNCHECKED);
    EXPECT_EQ(enable, BST_UNCHECKED);
  }
}
