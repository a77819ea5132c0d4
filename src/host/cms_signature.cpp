// Alone in its file: a test program that links its own VerifyDetachedCms
// (tests/support/cms_verifier_seam.cpp) never pulls this one in, so the
// product carries no way to replace the verifier.

#include "host/cms_signature.h"

CmsResult VerifyDetachedCms(const uint8_t* signature, size_t signatureSize, const uint8_t* content, size_t contentSize,
                            CmsSigner* out) {
  return SystemVerifyDetachedCms(signature, signatureSize, content, contentSize, out);
}
