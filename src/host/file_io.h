#pragma once
// Files by wide path, the same on every platform (file_io_win32.cpp uses the
// wide Windows calls; file_io_posix.cpp converts the path to UTF-8).

#include <cstddef>
#include <cstdint>
#include <cstdio>

FILE* OpenFileWide(const wchar_t* path, const char* mode);
// 1 and the size when the file exists, 0 otherwise.
int GetFileSizeWide(const wchar_t* path, uint64_t* size);
int FileExistsWide(const wchar_t* path);
int RemoveFileWide(const wchar_t* path);
int RenameFileWide(const wchar_t* from, const wchar_t* to);
// Moves `from` over `to`, replacing it in one step and through to the disk
// (MoveFileExW REPLACE_EXISTING | WRITE_THROUGH; rename natively): a reader
// finds the old file or the new one, never half of either. 1 on success.
int ReplaceFileWide(const wchar_t* from, const wchar_t* to);
// Creates `path` and opens it for writing ("wb"), failing when anything has
// that name already, a file or a link (CREATE_NEW / O_EXCL): nothing another
// account laid there is ever written through. nullptr on failure.
FILE* CreateNewFileWide(const wchar_t* path);
// Fills `out` from the system's random source (BCryptGenRandom /
// std::random_device); 1 on success.
int RandomBytes(void* out, size_t size);
// Flushes `f` and asks the system to put its data on the disk; 1 on success.
int FlushFileToDisk(FILE* f);
// This process's id (temporary file names of its own).
uint32_t CurrentProcessId();
// Clears a read-only attribute (FILE_ATTRIBUTE_NORMAL); 1 on success.
int SetFileAttributesNormal(const wchar_t* path);
// Seeks and tells with 64-bit offsets (files up to 4 GiB and beyond).
int SeekFile64(FILE* f, int64_t offset, int origin);
int64_t TellFile64(FILE* f);
// The calling thread's last system error (GetLastError / errno).
uint32_t LastSystemError();
// Sets it: 0 before a step whose failure may set none, so no older error is
// told with it; the value read before, once something in between changed it.
void SetLastSystemError(uint32_t error);
// Appends `size` bytes in one write to the file's end, beside other writers
// (the file is shared for writing; each write lands whole at the end). When the write fails or falls short the
// file is cut back to its size before, so it holds them whole or not at all.
// 1 on success.
int AppendWholeToFile(const wchar_t* path, const void* data, size_t size);
