#include "transport/acl_checksum.h"

#include <cstring>

namespace {

// The printer's accumulator is a signed 32-bit value that wraps; its shift is
// arithmetic. Spelled out so the result never depends on how the compiler
// treats a negative right shift.
int32_t ShiftRight16(int32_t s) {
  return s < 0 ? static_cast<int32_t>(~(~static_cast<uint32_t>(s) >> 16)) : (s >> 16);
}

bool HostIsLittleEndian() {
  const uint16_t probe = 1;
  uint8_t first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

// Sums of the bytes at even and at odd offsets over `words8` 8-byte blocks.
// Bytes are gathered into 16-bit lanes of a 64-bit word (four lanes per half),
// which stay exact for 256 blocks (256 * 255 < 65536) before they are folded
// into the 64-bit totals.
void SumLanes(const uint8_t* p, size_t words8, uint64_t* evenSum, uint64_t* oddSum) {
  const uint64_t kLaneMask = 0x00FF00FF00FF00FFull;
  const bool little = HostIsLittleEndian();
  uint64_t lowTotal = 0;   // lanes holding bytes at offsets 0,2,4,6 on a little-endian host
  uint64_t highTotal = 0;  // offsets 1,3,5,7 on a little-endian host
  while (words8 > 0) {
    size_t block = words8 < 256 ? words8 : 256;
    words8 -= block;
    uint64_t lowLanes = 0;
    uint64_t highLanes = 0;
    for (size_t i = 0; i < block; ++i) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      p += 8;
      lowLanes += w & kLaneMask;
      highLanes += (w >> 8) & kLaneMask;
    }
    for (int lane = 0; lane < 4; ++lane) {
      lowTotal += (lowLanes >> (16 * lane)) & 0xFFFFu;
      highTotal += (highLanes >> (16 * lane)) & 0xFFFFu;
    }
  }
  // On a big-endian host the first byte in memory lands in the top lane.
  *evenSum += little ? lowTotal : highTotal;
  *oddSum += little ? highTotal : lowTotal;
}

}  // namespace

uint32_t AclChecksum(const uint8_t* data, size_t length) {
  // Adding big-endian words is adding 256 * (bytes at even offsets) + (bytes at
  // odd offsets); the 32-bit wrap of the accumulator is the low 32 bits of that.
  uint64_t evenSum = 0;
  uint64_t oddSum = 0;
  size_t blocks = length / 8;
  if (data != nullptr && blocks > 0) SumLanes(data, blocks, &evenSum, &oddSum);
  size_t i = blocks * 8;
  for (; i + 1 < length; i += 2) {
    evenSum += data[i];
    oddSum += data[i + 1];
  }
  uint64_t total = (evenSum << 8) + oddSum;
  if (i < length) total += data[i];

  int32_t s = static_cast<int32_t>(static_cast<uint32_t>(total));
  while (ShiftRight16(s) != 0) {
    uint32_t folded = (static_cast<uint32_t>(s) & 0xFFFFu) + static_cast<uint32_t>(ShiftRight16(s));
    s = static_cast<int32_t>(folded);
  }
  return ~static_cast<uint32_t>(s);
}
