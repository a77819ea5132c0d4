#include <windows.h>

#include "host/program_dir.h"
#include "host/text_utils.h"

int GetProgramDirectory(wchar_t* out) {
  wchar_t path[PROGRAM_PATH_MAX];
  out[0] = 0;
  DWORD n = GetModuleFileNameW(nullptr, path, PROGRAM_PATH_MAX);
  if (n == 0 || n >= PROGRAM_PATH_MAX) return 0;
  wchar_t* slash = wcsrchr(path, L'\\');
  if (!slash) return 0;
  slash[1] = 0;
  CopyText(out, PROGRAM_PATH_MAX, path);
  return 1;
}
