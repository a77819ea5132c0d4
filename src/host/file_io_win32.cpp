// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <fcntl.h>
#include <io.h>

#include "host/file_io.h"
#include "host/text_utils.h"

FILE* OpenFileWide(const wchar_t* path, const char* mode) {
  if (!path || !mode) return nullptr;
  wchar_t wmode[8];
  size_t i = 0;
  for (; i + 1 < sizeof wmode / sizeof wmode[0] && mode[i]; ++i) wmode[i] = static_cast<wchar_t>(mode[i]);
  wmode[i] = 0;
  // _wfopen keeps GetLastError meaningful for callers that log it.
  return _wfopen(path, wmode);
}

int GetFileSizeWide(const wchar_t* path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!path || !GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  if (size) *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return 1;
}

int FileExistsWide(const wchar_t* path) { return path && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0; }

int RemoveFileWide(const wchar_t* path) { return path && DeleteFileW(path) ? 1 : 0; }

int RenameFileWide(const wchar_t* from, const wchar_t* to) { return from && to && MoveFileW(from, to) ? 1 : 0; }

int ReplaceFileWide(const wchar_t* from, const wchar_t* to) {
  return from && to && MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}

FILE* CreateNewFileWide(const wchar_t* path) {
  if (!path) return nullptr;
  const HANDLE handle = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    DeleteFileW(path);
    return nullptr;
  }
  FILE* file = _fdopen(fd, "wb");
  if (!file) {
    _close(fd);
    DeleteFileW(path);
  }
  return file;
}

int RandomBytes(void* out, size_t size) {
  if (!out || size > 0xFFFFFFFFu) return 0;
  return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))
             ? 1
             : 0;
}

int FlushFileToDisk(FILE* f) {
  if (!f || fflush(f) != 0) return 0;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) ? 1 : 0;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

int SetFileAttributesNormal(const wchar_t* path) {
  return path && SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL) ? 1 : 0;
}

int SeekFile64(FILE* f, int64_t offset, int origin) { return _fseeki64(f, offset, origin); }

int64_t TellFile64(FILE* f) { return _ftelli64(f); }

uint32_t LastSystemError() { return GetLastError(); }

void SetLastSystemError(uint32_t error) { SetLastError(error); }

int AppendWholeToFile(const wchar_t* path, const void* data, size_t size) {
  if (!path || (!data && size > 0) || size > MAXDWORD) return 0;
  // Shared for writing: a second writer's open must not fail and lose its line.
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA | FILE_WRITE_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  // This offset writes at the file's end as it is at the moment of the write,
  // whatever other writers added since the open.
  OVERLAPPED atEnd = {};
  atEnd.Offset = 0xFFFFFFFF;
  atEnd.OffsetHigh = 0xFFFFFFFF;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, data, static_cast<DWORD>(size), &written, &atEnd) && written == size;
  DWORD error = ok ? 0 : GetLastError();
  if (!ok && error == 0) error = ERROR_HANDLE_DISK_FULL;
  // The file pointer stands after what was written: the part is cut off again.
  LARGE_INTEGER after = {};
  const LARGE_INTEGER zero = {};
  if (!ok && written > 0 && SetFilePointerEx(file, zero, &after, FILE_CURRENT)) {
    after.QuadPart -= written;
    if (SetFilePointerEx(file, after, nullptr, FILE_BEGIN)) SetEndOfFile(file);
  }
  CloseHandle(file);
  if (!ok) SetLastError(error);
  return ok ? 1 : 0;
}
