#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "host/file_io.h"
#include "host/text_utils.h"

namespace {
// Accepts Windows-style separators so the same path texts work in native tests.
void NativePath(const wchar_t* path, char* out, size_t outSize) {
  ToUtf8(path, out, outSize);
  for (char* p = out; *p; ++p) {
    if (*p == '\\') *p = '/';
  }
}
}  // namespace

FILE* OpenFileWide(const wchar_t* path, const char* mode) {
  if (!path || !mode) return nullptr;
  char native[4096];
  NativePath(path, native, sizeof native);
  return fopen(native, mode);
}

int GetFileSizeWide(const wchar_t* path, uint64_t* size) {
  if (!path) return 0;
  char native[4096];
  NativePath(path, native, sizeof native);
  struct stat st;
  if (stat(native, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  if (size) *size = static_cast<uint64_t>(st.st_size);
  return 1;
}

int FileExistsWide(const wchar_t* path) {
  if (!path) return 0;
  char native[4096];
  NativePath(path, native, sizeof native);
  return access(native, F_OK) == 0 ? 1 : 0;
}

int RemoveFileWide(const wchar_t* path) {
  if (!path) return 0;
  char native[4096];
  NativePath(path, native, sizeof native);
  return unlink(native) == 0 ? 1 : 0;
}

int RenameFileWide(const wchar_t* from, const wchar_t* to) {
  if (!from || !to) return 0;
  char a[4096];
  char b[4096];
  NativePath(from, a, sizeof a);
  NativePath(to, b, sizeof b);
  // MoveFile refuses an existing target; keep that behaviour.
  if (access(b, F_OK) == 0) {
    errno = EEXIST;
    return 0;
  }
  return rename(a, b) == 0 ? 1 : 0;
}

int ReplaceFileWide(const wchar_t* from, const wchar_t* to) {
  if (!from || !to) return 0;
  char a[4096];
  char b[4096];
  NativePath(from, a, sizeof a);
  NativePath(to, b, sizeof b);
  return rename(a, b) == 0 ? 1 : 0;
}

FILE* CreateNewFileWide(const wchar_t* path) {
  if (!path) return nullptr;
  char native[4096];
  NativePath(path, native, sizeof native);
  const int fd = open(native, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    close(fd);
    unlink(native);
  }
  return file;
}

int RandomBytes(void* out, size_t size) {
  if (!out) return 0;
  std::random_device source;
  unsigned char* bytes = static_cast<unsigned char*>(out);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(source());
  return 1;
}

int FlushFileToDisk(FILE* f) { return f && fflush(f) == 0 && fsync(fileno(f)) == 0 ? 1 : 0; }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

int SetFileAttributesNormal(const wchar_t* path) {
  if (!path) return 0;
  char native[4096];
  NativePath(path, native, sizeof native);
  struct stat st;
  if (stat(native, &st) != 0) return 0;
  return chmod(native, st.st_mode | S_IWUSR) == 0 ? 1 : 0;
}

int SeekFile64(FILE* f, int64_t offset, int origin) { return fseeko(f, static_cast<off_t>(offset), origin); }

int64_t TellFile64(FILE* f) { return static_cast<int64_t>(ftello(f)); }

uint32_t LastSystemError() { return static_cast<uint32_t>(errno); }

void SetLastSystemError(uint32_t error) { errno = static_cast<int>(error); }

int AppendWholeToFile(const wchar_t* path, const void* data, size_t size) {
  if (!path || (!data && size > 0)) return 0;
  char native[4096];
  NativePath(path, native, sizeof native);
  const int fd = open(native, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  const off_t before = lseek(fd, 0, SEEK_END);
  const ssize_t written = before < 0 ? -1 : write(fd, data, size);
  const int error = errno;
  int ok = written >= 0 && static_cast<size_t>(written) == size;
  if (!ok && before >= 0 && ftruncate(fd, before) != 0) ok = 0;
  close(fd);
  if (!ok) errno = written >= 0 ? ENOSPC : error;
  return ok;
}
