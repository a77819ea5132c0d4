// wintext <caption>: for each visible top-level window whose caption is
// <caption>, prints one block:
//   window <handle>
//   child <class> <id>: <text>      (one line per child window)
// Texts are UTF-8; CR and LF inside them are written as \r and \n.
// Exit status 0 when at least one window was found, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
const wchar_t* g_caption = nullptr;
int g_found = 0;

std::string Utf8(const std::wstring& text) {
  std::wstring escaped;
  for (wchar_t c : text) {
    if (c == L'\r') escaped += L"\\r";
    else if (c == L'\n') escaped += L"\\n";
    else escaped += c;
  }
  int n = WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(strlen(out.c_str()));
  return out;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t text[4096];
  text[0] = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, nullptr);
  text[4095] = 0;
  return text;
}

BOOL CALLBACK OnChild(HWND child, LPARAM) {
  wchar_t cls[256];
  GetClassNameW(child, cls, 256);
  std::printf("child %s %d: %s\n", Utf8(cls).c_str(), GetDlgCtrlID(child), Utf8(TextOf(child)).c_str());
  return TRUE;
}

BOOL CALLBACK OnTopLevel(HWND hwnd, LPARAM) {
  if (!IsWindowVisible(hwnd) || TextOf(hwnd) != g_caption) return TRUE;
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
