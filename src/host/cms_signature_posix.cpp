// No system cryptography here: with signers configured nothing may pass.

#include "host/cms_signature.h"
#include "host/logger.h"

CmsResult SystemVerifyDetachedCms(const uint8_t*, size_t, const uint8_t*, size_t, CmsSigner*) {
  Logger::Instance()->Write(L"ERROR: this system cannot check signatures.");
  return CMS_UNSUPPORTED;
}
