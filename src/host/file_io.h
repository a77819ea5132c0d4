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
// Appends `size` bytes in one write. When the write fails or falls short the
// file is cut back to its size before, so it holds them whole or not at all.
// 1 on success.
int AppendWholeToFile(const wchar_t* path, const void* data, size_t size);
