#include <windows.h>

#include "host/logger.h"
#include "host/text_utils.h"
#include "host/win_handles.h"

void LogPlatformLocalTime(LogTimeParts* parts) {
  SYSTEMTIME st;
  GetLocalTime(&st);
  *parts = {st.wMonth, st.wDay, st.wYear, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

uint32_t LogPlatformThreadId() { return GetCurrentThreadId(); }

void LogPlatformDebugOutput(const wchar_t* line) { OutputDebugStringW(line); }

void LogPlatformSystemMessage(uint32_t id, wchar_t* out, size_t outSize) {
  out[0] = 0;
  win::UniqueLocal text;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                           reinterpret_cast<wchar_t*>(text.Receive()), 0, nullptr);
  if (n && text) CopyText(out, outSize, static_cast<const wchar_t*>(text.Get()));
}

void LogPlatformWindowsDirectory(wchar_t* out, size_t outSize) {
  wchar_t dir[MAX_PATH];
  UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) dir[0] = 0;
  CopyText(out, outSize, dir);
}

int LogPlatformMessageBox(const wchar_t* text, const wchar_t* caption, uint32_t flags) {
  return MessageBoxW(nullptr, text, caption, flags);
}
