// AclChecksum throughput against memcpy of the same 256 MiB buffer, best of
// several rounds each, measured alternately in one run.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "transport/acl_checksum.h"

int main(int argc, char** argv) {
  size_t mib = argc > 1 ? static_cast<size_t>(atoi(argv[1])) : 256;
  const size_t size = mib * 1024 * 1024;
  std::unique_ptr<uint8_t[]> src(new uint8_t[size]);
  std::unique_ptr<uint8_t[]> dst(new uint8_t[size]);
  std::mt19937_64 rng(1);
  for (size_t i = 0; i < size; i += 8) {
    uint64_t v = rng();
    std::memcpy(src.get() + i, &v, size - i < 8 ? size - i : 8);
  }
  std::memset(dst.get(), 0, size);  // fault the pages in before timing

  using Clock = std::chrono::steady_clock;
  double bestCopy = 1e30;
  double bestSum = 1e30;
  volatile uint32_t sink = 0;
  for (int round = 0; round < 5; ++round) {
    auto t0 = Clock::now();
    std::memcpy(dst.get(), src.get(), size);
    auto t1 = Clock::now();
    sink = sink + dst[round * 4097 % size];
    sink = sink + AclChecksum(src.get(), size);
    auto t2 = Clock::now();
    double copy = std::chrono::duration<double>(t1 - t0).count();
    double sum = std::chrono::duration<double>(t2 - t1).count();
    if (copy < bestCopy) bestCopy = copy;
    if (sum < bestSum) bestSum = sum;
  }
  double mb = static_cast<double>(size) / (1024.0 * 1024.0);
  printf("buffer: %zu MiB\n", mib);
  printf("memcpy:      %8.1f MiB/s (%.3f s)\n", mb / bestCopy, bestCopy);
  printf("AclChecksum: %8.1f MiB/s (%.3f s)\n", mb / bestSum, bestSum);
  printf("ratio AclChecksum/memcpy: %.2fx (goal >= 0.5x)\n", bestCopy / bestSum);
  return sink == 0xDEADBEEF ? 1 : 0;
}
