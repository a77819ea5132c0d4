#include "host/os_version.h"

// No Windows version natively.
int GetOsVersion(uint32_t* major, uint32_t* minor) {
  if (major) *major = 0;
  if (minor) *minor = 0;
  return 0;
}
