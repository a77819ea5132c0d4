#include "firmware/firmware_image.h"

#include <utility>

#include "firmware/firmware_file.h"
#include "host/logger.h"
#include "host/sha256.h"

std::unique_ptr<const FirmwareImage> FirmwareImage::Read(const std::wstring& path) {
  Logger::Instance()->Write(L"Reading the firmware image %ls", path.c_str());
  FirmwareFileBuffer buffer;
  if (!buffer.ReadPath(path.c_str())) return nullptr;
  const uint64_t size = buffer.Size();
  return std::make_unique<const FirmwareImage>(path, buffer.Take(), size);
}

FirmwareImage::FirmwareImage(const std::wstring& path, std::unique_ptr<uint8_t[]> data, uint64_t size)
    : m_path(path), m_data(std::move(data)), m_size(size) {
  uint8_t digest[SHA256_SIZE];
  Sha256Of(m_data.get(), static_cast<size_t>(m_size), digest);
  m_sha256 = Sha256Hex(digest);
}
