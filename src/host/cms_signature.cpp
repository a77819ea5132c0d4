#include "host/cms_signature.h"

#include <atomic>

namespace {
std::atomic<CmsVerifier> g_verifierOverride{nullptr};
}  // namespace

CmsResult VerifyDetachedCms(const uint8_t* signature, size_t signatureSize, const uint8_t* content, size_t contentSize,
                            CmsSigner* out) {
  const CmsVerifier verifier = g_verifierOverride.load(std::memory_order_acquire);
  return (verifier ? verifier : SystemVerifyDetachedCms)(signature, signatureSize, content, contentSize, out);
}

CmsVerifier SetCmsVerifierForTesting(CmsVerifier verifier) {
  return g_verifierOverride.exchange(verifier, std::memory_order_acq_rel);
}
