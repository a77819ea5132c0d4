#pragma once
// Operating system version tests: 1 when the version is exactly 6.0 (Vista)
// or 6.1 (Windows 7). Natively both are 0.

#include <cstdint>

int IsWindowsVista();
int IsWindows7();
// The rule, for tests: major and minor must match exactly.
int IsOsVersion(uint32_t major, uint32_t minor, uint32_t wantMajor, uint32_t wantMinor);
// Major and minor version of the running system; 0 when unknown (tests).
int GetOsVersion(uint32_t* major, uint32_t* minor);
