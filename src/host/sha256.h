#pragma once
// SHA-256 (FIPS 180-4) over bytes in memory: the digest a firmware file's
// signature names, and a certificate's thumbprint. Portable, so what the
// program compares is computed the same way natively and on Windows.

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t SHA256_SIZE = 32;

class Sha256 {
 public:
  Sha256();
  void Update(const uint8_t* data, size_t size);
  // The digest of everything given; the object is spent afterwards.
  void Finish(uint8_t digest[SHA256_SIZE]);

 private:
  void Block(const uint8_t* block);

  uint32_t m_state[8];
  uint8_t m_pending[64];
  size_t m_pendingSize = 0;
  uint64_t m_totalBytes = 0;
};

void Sha256Of(const uint8_t* data, size_t size, uint8_t digest[SHA256_SIZE]);
// The digest as 64 upper-case hex digits.
std::wstring Sha256Hex(const uint8_t digest[SHA256_SIZE]);
