#include "update/firmware_images.h"

#include <utility>

#include "host/logger.h"

SharedFirmwareImage::~SharedFirmwareImage() {
  if (m_image) Logger::Instance()->Write(L"The firmware image %ls is released", m_path.c_str());
}

const FirmwareImage* SharedFirmwareImage::Get() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (!m_tried) {
    m_tried = true;
    m_image = FirmwareImage::Read(m_path);
  }
  return m_image.get();
}

std::shared_ptr<SharedFirmwareImage> FirmwareImages::Claim(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(m_lock);
  std::weak_ptr<SharedFirmwareImage>& entry = m_images[path];
  std::shared_ptr<SharedFirmwareImage> image = entry.lock();
  if (!image) {
    image = std::make_shared<SharedFirmwareImage>(path);
    entry = image;
  }
  return image;
}

size_t FirmwareImages::Claimed() const {
  std::lock_guard<std::mutex> hold(m_lock);
  size_t claimed = 0;
  for (const auto& entry : m_images) claimed += entry.second.expired() ? 0 : 1;
  return claimed;
}
