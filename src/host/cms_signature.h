#pragma once
// A detached CMS (PKCS #7) signed-data signature over bytes in memory, checked
// with the system's cryptography (crypt32 on Windows). What it reports is what
// a trust decision needs: whether the signature verifies with the certificate
// it carries, that certificate's SHA-256 thumbprint, and the digest the signer
// signed (the messageDigest attribute), which the caller compares with the
// bytes itself: not every crypt32 does.

#include <cstddef>
#include <cstdint>

#include "host/sha256.h"

enum CmsResult {
  CMS_VERIFIED,       // the signature verifies with the signer's certificate
  CMS_MALFORMED,      // not one DER signed-data with one RSA SHA-256 signer,
                      // signed attributes and the signer's certificate
  CMS_BAD_SIGNATURE,  // well formed, but it does not verify
  CMS_UNSUPPORTED,    // this system cannot check signatures
};

struct CmsSigner {
  uint8_t thumbprint[SHA256_SIZE] = {};     // SHA-256 over the certificate's DER
  uint8_t messageDigest[SHA256_SIZE] = {};  // the signed messageDigest attribute
};

// Logs the step that failed. `out` is filled for CMS_VERIFIED only: a
// signature that does not verify says nothing about who made it.
using CmsVerifier = CmsResult (*)(const uint8_t* signature, size_t signatureSize, const uint8_t* content,
                                  size_t contentSize, CmsSigner* out);

// The verifier the firmware rule calls: the system's (cms_signature.cpp). Test
// programs link their own in its place.
CmsResult VerifyDetachedCms(const uint8_t* signature, size_t signatureSize, const uint8_t* content, size_t contentSize,
                            CmsSigner* out);

// The system's verifier (cms_signature_win32.cpp / cms_signature_posix.cpp).
CmsResult SystemVerifyDetachedCms(const uint8_t* signature, size_t signatureSize, const uint8_t* content,
                                  size_t contentSize, CmsSigner* out);
