#include <unistd.h>

#include <cstring>

#include "host/program_dir.h"
#include "host/text_utils.h"

int GetProgramDirectory(wchar_t* out) {
  out[0] = 0;
  char path[PROGRAM_PATH_MAX * 4];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = 0;
  char* slash = strrchr(path, '/');
  if (!slash) return 0;
  slash[1] = 0;
  wchar_t wide[PROGRAM_PATH_MAX];
  Utf8ToWide(path, strlen(path), wide, PROGRAM_PATH_MAX);
  CopyText(out, PROGRAM_PATH_MAX, wide);
  return 1;
}
