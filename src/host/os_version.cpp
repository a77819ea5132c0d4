#include "host/os_version.h"

int IsOsVersion(uint32_t major, uint32_t minor, uint32_t wantMajor, uint32_t wantMinor) {
  return major == wantMajor && minor == wantMinor ? 1 : 0;
}

int IsWindowsVista() {
  uint32_t major = 0;
  uint32_t minor = 0;
  return GetOsVersion(&major, &minor) ? IsOsVersion(major, minor, 6, 0) : 0;
}

int IsWindows7() {
  uint32_t major = 0;
  uint32_t minor = 0;
  return GetOsVersion(&major, &minor) ? IsOsVersion(major, minor, 6, 1) : 0;
}
