// SHA-256 against published digests, at the lengths where the padding needs a
// second block, and fed in pieces that cross block boundaries.
#include "host/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

TEST(Sha256, KnownDigestsWholeAndInPieces) {
  std::vector<uint8_t> counting;
  for (int i = 0; i < 1024; ++i) counting.push_back(static_cast<uint8_t>(i));
  struct Case {
    std::vector<uint8_t> message;
    const wchar_t* digest;
  } cases[] = {
      {{}, L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
      {{'a', 'b', 'c'}, L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
      {std::vector<uint8_t>(55, 'a'), L"9F4390F8D30C2DD92EC9F095B65E2B9AE9B0A925A5258E241C9F1E910F734318"},
      {std::vector<uint8_t>(56, 'a'), L"B35439A4AC6F0948B6D6F9E3C6AF0F5F590CE20F1BDE7090EF7970686EC6738A"},
      {std::vector<uint8_t>(64, 'a'), L"FFE054FE7AE0CB6DC65C3AF9B61D5209F439851DB43D0BA5997337DF154668EB"},
      {counting, L"785B0751FC2C53DC14A4CE3D800E69EF9CE1009EB327CCF458AFE09C242C26C9"},
  };
  for (const Case& c : cases) {
    uint8_t digest[SHA256_SIZE];
    Sha256Of(c.message.data(), c.message.size(), digest);
    EXPECT_EQ(Sha256Hex(digest), c.digest) << c.message.size();
    for (size_t piece : {1u, 7u, 63u, 65u}) {
      Sha256 hash;
      for (size_t at = 0; at < c.message.size(); at += piece) {
        hash.Update(c.message.data() + at, std::min(piece, c.message.size() - at));
      }
      hash.Finish(digest);
      EXPECT_EQ(Sha256Hex(digest), c.digest) << c.message.size() << " in pieces of " << piece;
    }
  }
}
