#pragma once
// The SHA-256 of a file as it is on the disk, read a piece at a time.

#include <cstdint>

#include "host/sha256.h"

// 1 and the digest of the whole file; 0 when it cannot be opened or read.
int Sha256OfFile(const wchar_t* path, uint8_t digest[SHA256_SIZE]);
