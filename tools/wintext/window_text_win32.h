#pragma once
// Window texts for the test tools (wintext, dlgdrive): read across processes
// with a time-out, printed as UTF-8 with CR and LF written as \r and \n.
#include <windows.h>

#include <cstring>
#include <string>

inline std::string EscapedUtf8(const std::wstring& text) {
  std::wstring escaped;
  for (wchar_t c : text) {
    if (c == L'\r')
      escaped += L"\\r";
    else if (c == L'\n')
      escaped += L"\\n";
    else
      escaped += c;
  }
  int n = WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

inline std::wstring WindowTextOf(HWND hwnd) {
  wchar_t text[4096];
  text[0] = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, nullptr);
  text[4095] = 0;
  return text;
}
