#pragma once
// Replaces the CMS verifier of a test program (cms_verifier_seam.cpp).

#include "host/cms_signature.h"

namespace fwtest {
// nullptr restores the system's; returns the one in place.
CmsVerifier SetCmsVerifier(CmsVerifier verifier);
}  // namespace fwtest
