#pragma once
// Signed firmware without the system's cryptography (natively there is none):
// a stand-in CMS verifier whose "signature" is the result it reports, the
// signer's thumbprint and the digest it claims was signed; comparing that
// digest with the bytes stays the product's.

#include <cstring>
#include <string>
#include <vector>

#include "firmware/firmware_signers.h"
#include "host/cms_signature.h"
#include "host/sha256.h"
#include "support/cms_verifier_seam.h"
#include "support/firmware_builder.h"

namespace fwtest {

inline Thumbprint SignerThumbprint(uint8_t fill) {
  Thumbprint t;
  t.fill(fill);
  return t;
}

// Also for CMS_BAD_SIGNATURE the claimed digest is handed out: a verifier
// that says "does not verify" is never to be trusted on anything else.
inline std::vector<uint8_t> FakeSignature(const Thumbprint& signer, const std::vector<uint8_t>& signedBytes,
                                          CmsResult result = CMS_VERIFIED) {
  std::vector<uint8_t> signature(1 + 2 * SHA256_SIZE);
  signature[0] = static_cast<uint8_t>(result);
  memcpy(&signature[1], signer.data(), SHA256_SIZE);
  Sha256Of(signedBytes.data(), signedBytes.size(), &signature[1 + SHA256_SIZE]);
  return signature;
}

// Writes `path`.p7s signing `signedBytes`.
inline void WriteFakeSignature(const std::wstring& path, const Thumbprint& signer,
                               const std::vector<uint8_t>& signedBytes, CmsResult result = CMS_VERIFIED) {
  WriteFileBytes(path + L".p7s", FakeSignature(signer, signedBytes, result));
}

class FakeSigning {
 public:
  explicit FakeSigning(const SignerList& trusted)
      : m_previousVerifier(SetCmsVerifier(&Verify)), m_previousSigners(TrustedSigners()) {
    SetTrustedSigners(trusted);
  }
  ~FakeSigning() {
    SetTrustedSigners(m_previousSigners);
    SetCmsVerifier(m_previousVerifier);
  }
  FakeSigning(const FakeSigning&) = delete;
  FakeSigning& operator=(const FakeSigning&) = delete;

 private:
  static CmsResult Verify(const uint8_t* signature, size_t size, const uint8_t*, size_t, CmsSigner* out) {
    if (size != 1 + 2 * SHA256_SIZE) return CMS_MALFORMED;
    const CmsResult result = static_cast<CmsResult>(signature[0]);
    if (result != CMS_VERIFIED && result != CMS_BAD_SIGNATURE) return result;
    memcpy(out->thumbprint, signature + 1, SHA256_SIZE);
    memcpy(out->messageDigest, signature + 1 + SHA256_SIZE, SHA256_SIZE);
    return result;
  }

  CmsVerifier m_previousVerifier;
  SignerList m_previousSigners;
};

}  // namespace fwtest
