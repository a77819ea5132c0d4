#pragma once
// A per-process scratch file for targets that go through the file-reading
// code: on tmpfs when there is one (file I/O would otherwise dominate), removed
// at exit.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline const std::string& FuzzScratchPath() {
  static const std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string p = std::string(dir) + "/tideway-fuzz-" + std::to_string(getpid()) + ".bin";
    return p;
  }();
  static const bool registered = [] {
    atexit([] { unlink(FuzzScratchPath().c_str()); });
    return true;
  }();
  (void)registered;
  return path;
}

// Writes the input to the scratch file; 1 on success.
inline int WriteFuzzScratch(const uint8_t* data, size_t size) {
  FILE* f = fopen(FuzzScratchPath().c_str(), "wb");
  if (!f) return 0;
  const bool ok = size == 0 || fwrite(data, 1, size, f) == size;
  return (fclose(f) == 0 && ok) ? 1 : 0;
}
