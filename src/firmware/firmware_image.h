#pragma once
// A firmware file read whole into memory once and never changed afterwards:
// the updates of a run that send the same file share one (see
// update/firmware_images.h), each checking and sending those bytes, from
// several threads at once.

#include <cstdint>
#include <memory>
#include <string>

class FirmwareImage {
 public:
  // Reads the file whole. Null when it cannot be opened or read: "Failed to
  // Open fw bin file" or FirmwareFileBuffer's lines are logged.
  static std::unique_ptr<const FirmwareImage> Read(const std::wstring& path);

  FirmwareImage(const std::wstring& path, std::unique_ptr<uint8_t[]> data, uint64_t size);
  FirmwareImage(const FirmwareImage&) = delete;
  FirmwareImage& operator=(const FirmwareImage&) = delete;

  const std::wstring& Path() const { return m_path; }
  const uint8_t* Data() const { return m_data.get(); }
  uint64_t Size() const { return m_size; }
  // The SHA-256 of the bytes, 64 upper-case hex digits.
  const std::wstring& Sha256Text() const { return m_sha256; }

 private:
  std::wstring m_path;
  std::unique_ptr<uint8_t[]> m_data;
  uint64_t m_size;
  std::wstring m_sha256;
};
