#pragma once
// The firmware images of one fleet run: the updates that send the same file
// share one image in memory, read once, at the first download that needs it,
// and released when the last update that claimed it ends. An update claims
// the image when it is known to write the file and lets go when it ends, so
// no image is freed while one of them may still read it, and none is held
// for updates that will not send it.

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "firmware/firmware_image.h"
#include "firmware/firmware_signature.h"

// One file's image, shared by the updates that claimed it.
class SharedFirmwareImage {
 public:
  explicit SharedFirmwareImage(std::wstring path) : m_path(std::move(path)) {}
  // Logs the release of an image that was read.
  ~SharedFirmwareImage();

  // The image, read by the first caller while the others wait for it; null
  // when it could not be read (logged). A caller after a failed read reads
  // the file again.
  const FirmwareImage* Get();
  const std::wstring& Path() const { return m_path; }

 private:
  const std::wstring m_path;
  std::mutex m_lock;
  std::unique_ptr<const FirmwareImage> m_image;
};

class FirmwareImages {
 public:
  // The image of `path` the run's other claims share; a new one, not read
  // yet, when no claim on it is left.
  std::shared_ptr<SharedFirmwareImage> Claim(const std::wstring& path);
  // Files with a claim left (tests: none after the run).
  size_t Claimed() const;

  // The signature check made when `path` is chosen, once for the run: the
  // first caller reads and checks the file while the others wait for its
  // verdict, so printers checked side by side never each hold the file.
  // Every send still checks the bytes it sends.
  SignatureVerdict ChosenFileSignature(const std::wstring& path);

 private:
  struct SignatureCheck {
    std::mutex lock;
    bool done = false;
    SignatureVerdict verdict = SIGNATURE_MALFORMED;
  };

  mutable std::mutex m_lock;
  std::map<std::wstring, std::weak_ptr<SharedFirmwareImage>> m_images;
  std::map<std::wstring, std::shared_ptr<SignatureCheck>> m_signatures;
};
