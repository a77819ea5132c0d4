// wintext <caption>: for each visible top-level window whose caption is
// <caption>, prints one block:
//   window <handle>
//   child <class> <id>: <text>      (one line per child window)
// Texts are UTF-8; CR and LF inside them are written as \r and \n.
// Exit status 0 when at least one window was found, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>

#include "window_text_win32.h"

namespace {
const wchar_t* g_caption = nullptr;
int g_found = 0;

BOOL CALLBACK OnChild(HWND child, LPARAM) {
  wchar_t cls[256];
  GetClassNameW(child, cls, 256);
  std::printf("child %s %d: %s\n", EscapedUtf8(cls).c_str(), GetDlgCtrlID(child),
              EscapedUtf8(WindowTextOf(child)).c_str());
  return TRUE;
}

BOOL CALLBACK OnTopLevel(HWND hwnd, LPARAM) {
  if (!IsWindowVisible(hwnd) || WindowTextOf(hwnd) != g_caption) return TRUE;
  ++g_found;
  std::printf("window %p\n", static_cast<void*>(hwnd));
  EnumChildWindows(hwnd, OnChild, 0);
  return TRUE;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wintext <caption>\n");
    return 2;
  }
  g_caption = argv[1];
  EnumWindows(OnTopLevel, 0);
  std::fflush(stdout);
  return g_found ? 0 : 1;
}
