#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "transport/acl_checksum.h"

namespace {

// Word-by-word from the stated steps, with the accumulator as a wrapping signed
// 32-bit value and an arithmetic shift: the slow twin of the product's version.
uint32_t ReferenceChecksum(const std::vector<uint8_t>& b) {
  uint32_t s = 0;
  size_t i = 0;
  for (; i + 1 < b.size(); i += 2) s += static_cast<uint32_t>(b[i] << 8 | b[i + 1]);
  if (i < b.size()) s += b[i];
  auto sar16 = [](uint32_t v) -> uint32_t {
    return (v & 0x80000000u) ? ((v >> 16) | 0xFFFF0000u) : (v >> 16);
  };
  while (sar16(s) != 0) s = (s & 0xFFFFu) + sar16(s);
  return ~s;
}

std::vector<uint8_t> Words(size_t count, uint16_t word) {
  std::vector<uint8_t> b;
  b.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    b.push_back(static_cast<uint8_t>(word >> 8));
    b.push_back(static_cast<uint8_t>(word));
  }
  return b;
}

uint32_t Sum(const std::vector<uint8_t>& b) { return AclChecksum(b.data(), b.size()); }

}  // namespace

TEST(AclChecksum, StatedExamples) {
  EXPECT_EQ(Sum({'a', 'b', 'c'}), 0xFFFF9E3Au);
  EXPECT_EQ(AclChecksum16(reinterpret_cast<const uint8_t*>("abc"), 3), 0x9E3A);
  EXPECT_EQ(Sum({0x01}), 0xFFFFFFFEu);
  EXPECT_EQ(Sum({0x00, 0x01}), 0xFFFFFFFEu);
  EXPECT_EQ(Sum({}), 0xFFFFFFFFu);
  EXPECT_EQ(AclChecksum(nullptr, 0), 0xFFFFFFFFu);
}

// Values worked out by hand from the arithmetic: an odd trailing byte is not
// shifted, carries fold back in, and once the signed accumulator goes negative
// the arithmetic shift folds in a negative high half.
TEST(AclChecksum, DerivedEdgeCases) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t expected;
  } cases[] = {
      {"odd byte unshifted", {0x12, 0x34, 0x56}, ~uint32_t{0x1234 + 0x56}},
      {"single word FFFF", {0xFF, 0xFF}, 0xFFFF0000u},
      {"carry folds back", {0xFF, 0xFF, 0x00, 0x02}, 0xFFFFFFFDu},
      {"largest positive sum", Words(32768, 0xFFFF), 0xFFFF0000u},
      {"sum 0x80000000", [] { auto b = Words(32768, 0xFFFF); b.push_back(0x80); b.push_back(0x00); return b; }(),
       0xFFFF8000u},
      {"sum 0x80007FFF", Words(32769, 0xFFFF), 0xFFFF0001u},
      {"sum 2^32-1", Words(65537, 0xFFFF), 0xFFFF0001u},
      {"sum wraps to 0xFFFE", Words(65538, 0xFFFF), 0xFFFF0001u},
      {"sum wraps to zero", [] { auto b = Words(65536, 0xFFFF); auto c = Words(1, 0xFFFF); b.insert(b.end(), c.begin(), c.end()); b.push_back(0x00); b.push_back(0x01); return b; }(),
       0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sum(c.bytes), c.expected) << c.what;
    EXPECT_EQ(ReferenceChecksum(c.bytes), c.expected) << c.what << " (reference)";
  }
}

TEST(AclChecksum, HighHalfIsAlwaysFFFF) {
  std::mt19937 rng(7);
  for (int n = 0; n < 200; ++n) {
    std::vector<uint8_t> b(rng() % 300);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    EXPECT_EQ(Sum(b) >> 16, 0xFFFFu);
  }
}

// Every length around the 8-byte and 256-block boundaries of the fast path,
// every start alignment, random and saturated contents.
TEST(AclChecksum, MatchesReferenceAtEveryLengthAndAlignment) {
  std::mt19937 rng(42);
  std::vector<uint8_t> pool(4200);
  for (auto& x : pool) x = static_cast<uint8_t>(rng());
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t len = 0; len < 40; ++len) {
      std::vector<uint8_t> b(pool.begin() + offset, pool.begin() + offset + len);
      ASSERT_EQ(AclChecksum(pool.data() + offset, len), ReferenceChecksum(b)) << offset << "/" << len;
    }
    for (size_t len : {2047u, 2048u, 2049u, 2055u, 2056u, 2057u, 4100u, 4101u}) {
      std::vector<uint8_t> b(pool.begin() + offset, pool.begin() + offset + len);
      ASSERT_EQ(AclChecksum(pool.data() + offset, len), ReferenceChecksum(b)) << offset << "/" << len;
    }
  }
}

TEST(AclChecksum, LongBuffersMatchReference) {
  std::mt19937 rng(1);
  struct Long {
    size_t size;
    int fill;  // -1 random
  } longs[] = {{3 * 1024 * 1024 + 1, -1}, {3 * 1024 * 1024, 0xFF}, {5 * 1024 * 1024 + 3, 0xFF}, {1 << 20, 0x80}};
  for (const Long& l : longs) {
    std::vector<uint8_t> b(l.size);
    for (auto& x : b) x = static_cast<uint8_t>(l.fill < 0 ? rng() : l.fill);
    EXPECT_EQ(Sum(b), ReferenceChecksum(b)) << l.size << " fill " << l.fill;
  }
}
