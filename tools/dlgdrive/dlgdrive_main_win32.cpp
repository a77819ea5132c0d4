// dlgdrive <caption> [@<marker>] <verb> [id] [text]: acts on the first visible
// top-level window with that caption that holds a child with control id `id`
// (and one with id `marker`, which tells apart dialogs of the same caption).
//   state                 one line per child of every such window:
//                         <class> <id> enabled|disabled [pos=N] [sel=N] [image=icon|bitmap|none] [checked]
//                         [default]
//                         rect=<left>,<top>,<right>,<bottom> (screen) "<text>"
//   select <id> <text>    combo box: selects the item and tells the dialog (CBN_SELCHANGE)
//   click <id>            button: the dialog gets BN_CLICKED (refused, exit 3, when disabled)
//   settext <id> <text>   edit field text
//   check <id>            radio button or check box: clicked (BM_CLICK)
//   command <id>          WM_COMMAND with `id` to the window itself (1 = OK, 2 = Cancel of a box)
//   syscommand <id>       WM_SYSCOMMAND with `id`, to the first window with the caption
// Commands are posted, so the driver never waits on a modal loop the program
// enters. Exit status 0 on success, 1 when no window fits, 2 on bad usage.
// The Windows headers depend on this order.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "window_text_win32.h"

namespace {

std::wstring ClassOf(HWND hwnd) {
  wchar_t cls[256];
  GetClassNameW(hwnd, cls, 256);
  return cls;
}

struct Search {
  const wchar_t* caption;
  int id;  // -1: any window with the caption
  std::vector<HWND> found;
};

int g_marker = -1;

BOOL CALLBACK OnTopLevel(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!IsWindowVisible(hwnd) || WindowTextOf(hwnd) != search->caption) return TRUE;
  if (g_marker >= 0 && !GetDlgItem(hwnd, g_marker)) return TRUE;
  if (search->id < 0 || GetDlgItem(hwnd, search->id)) search->found.push_back(hwnd);
  return TRUE;
}

std::vector<HWND> Windows(const wchar_t* caption, int id) {
  Search search{caption, id, {}};
  EnumWindows(OnTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

LRESULT Ask(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result);
  return static_cast<LRESULT>(result);
}

BOOL CALLBACK OnChild(HWND child, LPARAM) {
  const std::wstring cls = ClassOf(child);
  std::printf("%s %d %s", EscapedUtf8(cls).c_str(), GetDlgCtrlID(child),
              IsWindowEnabled(child) ? "enabled" : "disabled");
  if (cls == PROGRESS_CLASSW) std::printf(" pos=%d", static_cast<int>(Ask(child, PBM_GETPOS)));
  if (cls == L"ComboBox") std::printf(" sel=%d", static_cast<int>(Ask(child, CB_GETCURSEL)));
  if (cls == L"Static") {
    const LONG style = GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
    if (style == SS_BITMAP) std::printf(" image=%s", Ask(child, STM_GETIMAGE, IMAGE_BITMAP) ? "bitmap" : "none");
    if (style == SS_ICON) std::printf(" image=%s", Ask(child, STM_GETIMAGE, IMAGE_ICON) ? "icon" : "none");
  }
  if (cls == L"Button") {
    const LRESULT checked = Ask(child, BM_GETCHECK);
    if (checked == BST_CHECKED) std::printf(" checked");
    if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) std::printf(" default");
  }
  RECT r;
  GetWindowRect(child, &r);
  std::printf(" rect=%ld,%ld,%ld,%ld \"%s\"\n", r.left, r.top, r.right, r.bottom,
              EscapedUtf8(WindowTextOf(child)).c_str());
  return TRUE;
}

int Usage() {
  std::fprintf(stderr,
               "usage: dlgdrive <caption> [@<marker>] state | select|click|settext|check|command|syscommand <id> "
               "[text]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && argv[2][0] == L'@') {
    g_marker = _wtoi(argv[2] + 1);
    --argc;
    ++argv;
    argv[1] = argv[0];
  }
  if (argc < 3) return Usage();
  const wchar_t* caption = argv[1];
  const std::wstring verb = argv[2];

  if (verb == L"state") {
    std::vector<HWND> windows = Windows(caption, -1);
    for (HWND w : windows) {
      std::printf("window %p\n", static_cast<void*>(w));
      EnumChildWindows(w, OnChild, 0);
    }
    std::fflush(stdout);
    return windows.empty() ? 1 : 0;
  }

  if (argc < 4) return Usage();
  const int id = _wtoi(argv[3]);
  const wchar_t* text = argc > 4 ? argv[4] : L"";

  if (verb == L"syscommand") {
    std::vector<HWND> windows = Windows(caption, -1);
    if (windows.empty()) return 1;
    PostMessageW(windows[0], WM_SYSCOMMAND, static_cast<WPARAM>(id), 0);
    return 0;
  }

  std::vector<HWND> windows = Windows(caption, id);
  if (windows.empty()) {
    std::fprintf(stderr, "dlgdrive: no window \"%s\" with control %d\n", EscapedUtf8(caption).c_str(), id);
    return 1;
  }
  HWND window = windows[0];
  HWND control = GetDlgItem(window, id);

  if (verb == L"command") {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    return 0;
  }
  if (verb == L"click") {
    if (!IsWindowEnabled(control)) {
      std::fprintf(stderr, "dlgdrive: control %d is disabled\n", id);
      return 3;
    }
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    return 0;
  }
  if (verb == L"check") {
    PostMessageW(control, BM_CLICK, 0, 0);
    return 0;
  }
  if (verb == L"settext") {
    return Ask(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? 0 : 1;
  }
  if (verb == L"select") {
    const LRESULT count = Ask(control, CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
      wchar_t item[1024] = {0};
      if (Ask(control, CB_GETLBTEXTLEN, i) >= 1024) continue;
      Ask(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      if (wcscmp(item, text) != 0) continue;
      Ask(control, CB_SETCURSEL, i);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
      return 0;
    }
    std::fprintf(stderr, "dlgdrive: no item \"%s\"\n", EscapedUtf8(text).c_str());
    return 1;
  }
  return Usage();
}
