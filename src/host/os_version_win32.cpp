#include <windows.h>

#include "host/os_version.h"

// GetVersionExW reports what the manifest lets the program see; the program
// declares no newer system than Windows 7, which is all these tests ask about.
int GetOsVersion(uint32_t* major, uint32_t* minor) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
  BOOL ok = GetVersionExW(&info);
  if (!ok) return 0;
  if (major) *major = info.dwMajorVersion;
  if (minor) *minor = info.dwMinorVersion;
  return 1;
}
