#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/data_path.h"
#include "host/text_utils.h"

namespace {
void NativePath(const wchar_t* path, char* out, size_t outSize) {
  ToUtf8(path, out, outSize);
  for (char* p = out; *p; ++p) {
    if (*p == '\\') *p = '/';
  }
}
}  // namespace

// Natively root stands for SYSTEM and Administrators.
int ReadPathFacts(const wchar_t* path, PathFacts* facts) {
  *facts = PathFacts();
  char native[4096];
  NativePath(path, native, sizeof native);
  size_t length = 0;
  while (native[length]) ++length;
  // "dir/" would follow a link named dir: the link itself is judged.
  while (length > 1 && native[length - 1] == '/') native[--length] = 0;
  struct stat st;
  if (lstat(native, &st) != 0) return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
  facts->exists = true;
  facts->reparsePoint = S_ISLNK(st.st_mode);
  facts->directory = S_ISDIR(st.st_mode);
  facts->trustedOwner = st.st_uid == 0 || st.st_uid == geteuid();
  return 1;
}

int CreateProtectedFolder(const wchar_t* path) {
  char native[4096];
  NativePath(path, native, sizeof native);
  return mkdir(native, 0755) == 0 ? 1 : 0;
}
