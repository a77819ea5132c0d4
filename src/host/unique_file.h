#pragma once
// An owned FILE*, closed once when the owner goes.

#include <cstdio>
#include <memory>

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;
