#pragma once
// A per-process scratch file for targets that go through the file-reading
// code: on tmpfs when there is one (file I/O would otherwise dominate), removed
// at exit.
#include <fcntl.h>
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

// Writes the input to the scratch file; 1 on success. The file is rewritten in
// place and then cut to size: emptying it first would free and refill its
// pages on every input.
inline int WriteFuzzScratch(const uint8_t* data, size_t size) {
  static const int fd = open(FuzzScratchPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  return ftruncate(fd, static_cast<off_t>(size)) == 0 ? 1 : 0;
}
