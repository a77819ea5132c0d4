// The tests' VerifyDetachedCms: linked before the product library, it takes the
// place of src/host/cms_signature.cpp, so the verifier can be replaced here
// and tideway.exe has no such hook.

#include "support/cms_verifier_seam.h"

#include <atomic>

namespace {
std::atomic<CmsVerifier> g_verifier{nullptr};
}  // namespace

CmsResult VerifyDetachedCms(const uint8_t* signature, size_t signatureSize, const uint8_t* content, size_t contentSize,
                            CmsSigner* out) {
  const CmsVerifier verifier = g_verifier.load(std::memory_order_acquire);
  return (verifier ? verifier : SystemVerifyDetachedCms)(signature, signatureSize, content, contentSize, out);
}

namespace fwtest {
CmsVerifier SetCmsVerifier(CmsVerifier verifier) {
  return g_verifier.exchange(verifier, std::memory_order_acq_rel);
}
}  // namespace fwtest
