#include <pwd.h>
#include <unistd.h>

#include <cstring>

#include "host/computer_names.h"
#include "host/text_utils.h"

namespace {
std::wstring Wide(const char* text) {
  wchar_t out[256];
  Utf8ToWide(text, strnlen(text, 255), out, 256);
  return out;
}
}  // namespace

std::wstring ComputerName() {
  char name[256] = {};
  return gethostname(name, sizeof name - 1) == 0 ? Wide(name) : std::wstring();
}

std::wstring UserName() {
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[1024];
  return getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found ? Wide(found->pw_name)
                                                                                    : std::wstring();
}
