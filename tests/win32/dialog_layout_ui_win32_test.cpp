// The dialogs as a user meets them, in every language the program ships: each
// label holds its language's text and shows it whole (measured with the
// dialog's own font), the dialog opens where it belongs, and a right-to-left
// language mirrors it. Answered from a thread timer inside the modal loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>

#include "app/rfu_dialogs.h"
#include "app/status_line.h"
#include "app/tideway_dlg.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "resources/resource.h"
#include "support/language_tables.h"
#include "support/test_env.h"

namespace {

std::function<void(HWND)> g_user;

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found) {
  wchar_t cls[16] = L"";
  GetClassNameW(window, cls, 16);
  if (!IsWindowVisible(window) || wcscmp(cls, L"#32770") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;
  KillTimer(nullptr, timer);
  g_user(dialog);
}

// Looks at the next dialog this thread shows, then closes it with `close`.
void WhenShown(std::function<void(HWND)> look, int close) {
  g_user = [look, close](HWND dialog) {
    look(dialog);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(close, BN_CLICKED), 0);
  };
  SetTimer(nullptr, 0, 20, AnswerDialog);
}

std::wstring Text(HWND window) {
  wchar_t text[1024] = L"";
  GetWindowTextW(window, text, 1024);
  return text;
}

bool IsJapanese(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c >= 0x3000 && c <= 0x9FFF) return true;
  }
  return false;
}

// Whether `text` shows whole in `control`, drawn as the control draws it
// with `font`.
bool FitsWith(HWND control, const std::wstring& text, HFONT font) {
  wchar_t cls[32] = L"";
  GetClassNameW(control, cls, 32);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  RECT client;
  GetClientRect(control, &client);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, font);
  RECT need = {0, 0, client.right, 0};
  bool fits;
  if (_wcsicmp(cls, L"Static") == 0) {
    // Wrapped at blanks as the control wraps it; a word wider than the
    // control, or more lines than it is high, is cut.
    DrawTextW(dc, text.c_str(), -1, &need,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
    fits = need.right <= client.right && need.bottom <= client.bottom;
  } else {
    DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
    const LONG type = style & BS_TYPEMASK;
    int room = client.right - 8;  // a push button's edges
    if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON)
      room = client.right - GetSystemMetrics(SM_CXMENUCHECK) - 6;
    if (type == BS_GROUPBOX) room = client.right - 16;
    fits = need.right <= room;
  }
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return fits;
}

// Whether `text` shows whole in `control` with the control's font and, for
// Japanese, with the Japanese dialog face a Japanese system would use (here
// IPA P Gothic: the default face has no Japanese letters to measure).
bool Fits(HWND control, const std::wstring& text) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (!FitsWith(control, text, font)) return false;
  if (!IsJapanese(text)) return true;
  LOGFONTW face = {};
  GetObjectW(font, sizeof face, &face);
  wcscpy(face.lfFaceName, L"IPAPGothic");
  HFONT japanese = CreateFontIndirectW(&face);
  const bool fits = FitsWith(control, text, japanese);
  DeleteObject(japanese);
  return fits;
}

struct Label {
  int controlId;
  unsigned stringId;
};

// Each label holds `table`'s text and shows it whole.
void ExpectLabels(HWND dialog, const LanguageTable& table, std::initializer_list<Label> labels) {
  for (const Label& label : labels) {
    HWND control = GetDlgItem(dialog, label.controlId);
    ASSERT_NE(nullptr, control) << label.controlId;
    const std::wstring text = Text(control);
    EXPECT_EQ(std::wstring(table.Find(label.stringId)), text) << table.code << " " << label.stringId;
    EXPECT_TRUE(Fits(control, text)) << table.code << " " << label.stringId
                                     << " is cut: " << ToUtf8Static(text.c_str());
  }
}

POINT Centre(const RECT& r) {
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void ExpectCentredOver(HWND dialog, const RECT& over, const char* what) {
  RECT r;
  GetWindowRect(dialog, &r);
  EXPECT_LE(std::abs(Centre(r).x - Centre(over).x), 1) << what;
  EXPECT_LE(std::abs(Centre(r).y - Centre(over).y), 1) << what;
}

// Mirrored exactly when the language reads right to left: the later button
// of a row (further right in the template) then stands further left, the
// texts read right to left, and the picture is not drawn mirrored.
void ExpectDirection(HWND dialog, const LanguageTable& table, int firstButton, int laterButton, int picture) {
  const bool rtl = (table.languageId & 0x3FF) == LANG_ARABIC;
  EXPECT_EQ(rtl, (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0) << table.code;
  RECT first, later;
  GetWindowRect(GetDlgItem(dialog, firstButton), &first);
  GetWindowRect(GetDlgItem(dialog, laterButton), &later);
  EXPECT_EQ(rtl, later.left < first.left) << table.code;
  EXPECT_EQ(rtl, (GetWindowLongW(GetDlgItem(dialog, laterButton), GWL_EXSTYLE) & WS_EX_RTLREADING) != 0) << table.code;
  if (picture) {
    EXPECT_EQ(0, GetWindowLongW(GetDlgItem(dialog, picture), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) << table.code;
  }
}

class DialogsInEachLanguage : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = CreateWindowExW(0, L"Static", L"owner", WS_POPUP | WS_VISIBLE, 60, 50, 720, 500, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, owner_);
    GetWindowRect(owner_, &ownerRect_);
  }
  void TearDown() override {
    DestroyWindow(owner_);
    // Later tests read the program's own table again.
    Strings::Instance()->LoadLibraryFile(LibraryPath(LanguageTables()[0]).c_str());
  }
  static std::wstring LibraryPath(const LanguageTable& table) {
    return fwtest::BinaryDir() + L"\\bin\\languages\\" + std::wstring(table.code, table.code + 2) + L"\\strings.dll";
  }
  HWND owner_ = nullptr;
  RECT ownerRect_ = {};
};

TEST_F(DialogsInEachLanguage, MainDialog) {
  for (size_t t = 0; t < LanguageTableCount(); ++t) {
    const LanguageTable& table = LanguageTables()[t];
    ASSERT_EQ(1, Strings::Instance()->LoadLibraryFile(LibraryPath(table).c_str())) << table.code;
    bool shown = false;
    WhenShown(
        [&](HWND d) {
          shown = true;
          ExpectLabels(d, table,
                       {{IDC_SELECT_LABEL, IDS_LABEL_SELECT_PRINTER},
                        {IDC_READY_LABEL, IDS_LABEL_READY},
                        {IDC_PROGRESS_GROUP, IDS_LABEL_PROGRESS},
                        {IDC_SEND_FIRMWARE, IDS_LABEL_SEND_FIRMWARE},
                        {IDC_EXIT, IDS_LABEL_EXIT}});
          EXPECT_EQ(L" " + std::wstring(table.Find(IDS_APP_TITLE)), Text(d)) << table.code;
          // Every status text, with the widest numbers it can carry.
          HWND status = GetDlgItem(d, IDC_STATUS_TEXT);
          for (int phase = STATUS_READING_VERSION; phase <= STATUS_NOT_TRUSTED; ++phase) {
            StatusReport report;
            report.phase = static_cast<StatusPhase>(phase);
            report.bytesSent = 99998ull * 1024;
            report.bytesTotal = 99999ull * 1024;
            report.secondsWaited = 999;
            const std::wstring line = StatusLineText(report);
            EXPECT_TRUE(Fits(status, line)) << table.code << " status is cut: " << ToUtf8Static(line.c_str());
          }
          MONITORINFO monitor = {};
          monitor.cbSize = sizeof monitor;
          GetMonitorInfoW(MonitorFromWindow(d, MONITOR_DEFAULTTOPRIMARY), &monitor);
          ExpectCentredOver(d, monitor.rcWork, table.code);
          ExpectDirection(d, table, IDC_SEND_FIRMWARE, IDC_EXIT, IDC_RESULT_PICTURE);
          // Where a user starts: the printer list, with Send Firmware the
          // default button.
          EXPECT_EQ(GetDlgItem(d, IDC_PRINTER_COMBO), GetFocus()) << table.code;
          EXPECT_EQ(IDC_SEND_FIRMWARE, LOWORD(SendMessageW(d, DM_GETDEFID, 0, 0))) << table.code;
        },
        IDC_EXIT);
    CtidewayDlg dialog;
    dialog.DoModal();
    EXPECT_TRUE(shown) << table.code;
  }
}

TEST_F(DialogsInEachLanguage, RfuQuestionAndCommunityPrompt) {
  for (size_t t = 0; t < LanguageTableCount(); ++t) {
    const LanguageTable& table = LanguageTables()[t];
    ASSERT_EQ(1, Strings::Instance()->LoadLibraryFile(LibraryPath(table).c_str())) << table.code;
    WhenShown(
        [&](HWND d) {
          ExpectLabels(d, table,
                       {{IDC_RFU_RECOMMENDATION, IDS_RFU_RECOMMENDATION},
                        {IDC_RFU_QUESTION, IDS_RFU_QUESTION},
                        {IDC_RFU_DISABLE, IDS_LABEL_RFU_DISABLE},
                        {IDC_RFU_ENABLE, IDS_LABEL_RFU_ENABLE},
                        {IDC_RFU_OK, IDS_LABEL_OK}});
          ExpectCentredOver(d, ownerRect_, table.code);
          ExpectDirection(d, table, IDC_RFU_DISABLE, IDC_RFU_OK, 0);
          EXPECT_EQ(GetDlgItem(d, IDC_RFU_OK), GetFocus()) << table.code;
        },
        IDCANCEL);
    CRemoteUpgradeDlg question;
    question.DoModal(owner_);

    WhenShown(
        [&](HWND d) {
          SetDlgItemTextW(d, IDC_COMMUNITY_PROMPT, table.Find(IDS_SET_COMMUNITY_PROMPT));
          ExpectLabels(d, table,
                       {{IDC_COMMUNITY_PROMPT, IDS_SET_COMMUNITY_PROMPT},
                        {IDC_COMMUNITY_OK, IDS_LABEL_OK},
                        {IDC_COMMUNITY_CANCEL, IDS_LABEL_CANCEL}});
          ExpectCentredOver(d, ownerRect_, table.code);
          ExpectDirection(d, table, IDC_COMMUNITY_OK, IDC_COMMUNITY_CANCEL, IDC_COMMUNITY_PICTURE);
          // Typing replaces the words the field opens with.
          HWND edit = GetDlgItem(d, IDC_COMMUNITY_EDIT);
          EXPECT_EQ(edit, GetFocus()) << table.code;
          DWORD from = 0, to = 0;
          SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
          EXPECT_EQ(0u, from);
          EXPECT_EQ(static_cast<DWORD>(wcslen(table.Find(IDS_GET_COMMUNITY))), to) << table.code;
        },
        IDC_COMMUNITY_CANCEL);
    CGetRFUStatusDlg prompt;
    prompt.SetPrompt(table.Find(IDS_GET_COMMUNITY_PROMPT));
    prompt.SetCommunity(table.Find(IDS_GET_COMMUNITY));
    EXPECT_EQ(IDCANCEL, prompt.DoModal(owner_));
  }
}

}  // namespace
