#include "firmware/firmware_signature.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "host/cms_signature.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "host/unique_file.h"

namespace {
// The signature file whole, at most FIRMWARE_SIGNATURE_MAX bytes: 1, or 0
// when it cannot be read or is larger.
int ReadSignatureFile(const std::wstring& path, std::vector<uint8_t>* out) {
  UniqueFile file(OpenFileWide(path.c_str(), "rb"));
  if (!file) {
    Logger::Instance()->WriteError(LastSystemError(), L"Signature: cannot open %ls", path.c_str());
    return 0;
  }
  out->resize(FIRMWARE_SIGNATURE_MAX + 1);
  const size_t got = fread(out->data(), 1, out->size(), file.get());
  if (ferror(file.get()) || got > FIRMWARE_SIGNATURE_MAX) return 0;
  out->resize(got);
  return 1;
}
}  // namespace

bool SignatureAllows(SignatureVerdict verdict) {
  return verdict == SIGNATURE_NOT_REQUIRED || verdict == SIGNATURE_TRUSTED;
}

SignatureVerdict CheckFirmwareSignature(const SignerList& signers, const wchar_t* path, const uint8_t* data,
                                        uint64_t size) {
  if (signers.empty()) return SIGNATURE_NOT_REQUIRED;
  Logger* log = Logger::Instance();
  const std::wstring signaturePath = std::wstring(path ? path : L"") + FIRMWARE_SIGNATURE_SUFFIX;
  if (!path || !*path || !FileExistsWide(signaturePath.c_str())) {
    log->Write(L"ERROR: the firmware file is not signed: there is no %ls, nothing is sent.", signaturePath.c_str());
    return SIGNATURE_MISSING;
  }
  std::vector<uint8_t> signature;
  CmsSigner signer;
  const CmsResult result =
      ReadSignatureFile(signaturePath, &signature)
          ? VerifyDetachedCms(signature.data(), signature.size(), data, static_cast<size_t>(size), &signer)
          : CMS_MALFORMED;
  if (result != CMS_VERIFIED && result != CMS_BAD_SIGNATURE) {
    log->Write(L"ERROR: the signature %ls is unreadable or malformed, nothing is sent.", signaturePath.c_str());
    return SIGNATURE_MALFORMED;
  }
  // Anyone can put a trusted signer's certificate into a signature: the
  // thumbprint means something only once the signature verified with it.
  if (result != CMS_VERIFIED) {
    log->Write(L"ERROR: the signature does not verify with the certificate it carries, nothing is sent.");
    return SIGNATURE_MISMATCH;
  }
  const std::wstring thumbprint = Sha256Hex(signer.thumbprint);
  uint8_t digest[SHA256_SIZE];
  Sha256Of(data, static_cast<size_t>(size), digest);
  // The signature covers the signed attributes; only their messageDigest ties
  // it to these bytes.
  if (memcmp(digest, signer.messageDigest, SHA256_SIZE) != 0) {
    log->Write(L"ERROR: the signature does not match the firmware file (signer %ls), nothing is sent.",
               thumbprint.c_str());
    return SIGNATURE_MISMATCH;
  }
  Thumbprint found;
  std::copy(std::begin(signer.thumbprint), std::end(signer.thumbprint), found.begin());
  if (std::find(signers.begin(), signers.end(), found) == signers.end()) {
    log->Write(L"ERROR: the firmware file is signed by %ls, which is not in %ls, nothing is sent.", thumbprint.c_str(),
               FIRMWARE_SIGNERS_KEY);
    return SIGNATURE_UNTRUSTED;
  }
  log->Write(L"Signature: the firmware file is signed by the trusted signer %ls.", thumbprint.c_str());
  return SIGNATURE_TRUSTED;
}

SignatureVerdict CheckFirmwareFileSignature(const SignerList& signers, const wchar_t* path) {
  if (signers.empty()) return SIGNATURE_NOT_REQUIRED;
  FirmwareFileBuffer file;
  if (!file.ReadPath(path)) {
    Logger::Instance()->Write(
        L"ERROR: the firmware file %ls could not be read for its signature check, nothing is sent.", path ? path : L"");
    return SIGNATURE_FILE_UNREADABLE;
  }
  return CheckFirmwareSignature(signers, path, file.Data(), file.Size());
}
