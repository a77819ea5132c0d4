#include <windows.h>

#include "host/computer_names.h"

std::wstring ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

std::wstring UserName() {
  wchar_t name[257] = {};  // UNLEN + 1
  DWORD size = 257;
  return GetUserNameW(name, &size) && size > 0 ? std::wstring(name, size - 1) : std::wstring();
}
