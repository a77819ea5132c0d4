#include "update/firmware_images.h"

#include <utility>

#include "host/logger.h"

SharedFirmwareImage::~SharedFirmwareImage() {
  if (m_image) Logger::Instance()->Write(L"The firmware image %ls is released", m_path.c_str());
}

const FirmwareImage* SharedFirmwareImage::Get() {
  std::lock_guard<std::mutex> hold(m_lock);
  // A failed read is not kept: it may have been passing (a share that
  // dropped, a file being copied), and it fails only the update that made it.
  if (!m_image) m_image = FirmwareImage::Read(m_path);
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

SignatureVerdict FirmwareImages::ChosenFileSignature(const std::wstring& path) {
  std::shared_ptr<SignatureCheck> check;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    std::shared_ptr<SignatureCheck>& entry = m_signatures[path];
    if (!entry) entry = std::make_shared<SignatureCheck>();
    check = entry;
  }
  std::lock_guard<std::mutex> hold(check->lock);
  if (!check->done) {
    check->verdict = CheckFirmwareFileSignature(TrustedSigners(), path.c_str());
    check->done = true;
  } else if (!TrustedSigners().empty()) {
    Logger::Instance()->Write(L"Signature: %ls was checked for this run already, %ls.", path.c_str(),
                              SignatureAllows(check->verdict) ? L"trusted" : L"not trusted");
  }
  return check->verdict;
}

size_t FirmwareImages::Claimed() const {
  std::lock_guard<std::mutex> hold(m_lock);
  size_t claimed = 0;
  for (const auto& entry : m_images) claimed += entry.second.expired() ? 0 : 1;
  return claimed;
}
