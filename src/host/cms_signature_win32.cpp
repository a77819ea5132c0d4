// crypt32 decodes the message and verifies the signature with the certificate
// the message carries; the digest and the thumbprint are read out for the
// caller, who decides whether the bytes and the signer are the ones it trusts.

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <cstring>
#include <memory>

#include "host/cms_signature.h"
#include "host/logger.h"
#include "host/win_handles.h"

namespace {
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

CmsResult Malformed(const wchar_t* why) {
  Logger::Instance()->Write(L"Signature: %ls", why);
  return CMS_MALFORMED;
}

CmsResult MalformedAfter(const wchar_t* call) {
  Logger::Instance()->WriteError(GetLastError(), L"Signature: %ls failed", call);
  return CMS_MALFORMED;
}

// A variable-size parameter of the message (two calls: size, then data).
std::unique_ptr<BYTE[]> MessageParam(HCRYPTMSG msg, DWORD param) {
  DWORD size = 0;
  if (!CryptMsgGetParam(msg, param, 0, nullptr, &size) || size == 0) return nullptr;
  std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[size]);
  if (data && !CryptMsgGetParam(msg, param, 0, data.get(), &size)) data.reset();
  return data;
}

// The one messageDigest attribute as a SHA-256 value.
bool ReadMessageDigest(const CMSG_SIGNER_INFO& signer, uint8_t out[SHA256_SIZE]) {
  const CRYPT_ATTRIBUTE* found = nullptr;
  for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = signer.AuthAttrs.rgAttr[i];
    if (!attribute.pszObjId || strcmp(attribute.pszObjId, szOID_RSA_messageDigest) != 0) continue;
    if (found) return false;
    found = &attribute;
  }
  if (!found || found->cValue != 1) return false;
  CRYPT_DATA_BLOB* digest = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(kEncoding, X509_OCTET_STRING, found->rgValue[0].pbData, found->rgValue[0].cbData,
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &digest, &size)) {
    return false;
  }
  win::UniqueLocal owner(digest);
  if (digest->cbData != SHA256_SIZE) return false;
  memcpy(out, digest->pbData, SHA256_SIZE);
  return true;
}
}  // namespace

CmsResult SystemVerifyDetachedCms(const uint8_t* signature, size_t signatureSize, const uint8_t* content,
                                  size_t contentSize, CmsSigner* out) {
  static const BYTE kNothing = 0;
  if (!signature || signatureSize == 0 || signatureSize > MAXDWORD || contentSize > MAXDWORD) {
    return Malformed(L"the signature or the file is empty or too large");
  }
  win::UniqueCryptMsg msg(CryptMsgOpenToDecode(kEncoding, CMSG_DETACHED_FLAG, 0, 0, nullptr, nullptr));
  if (!msg) return MalformedAfter(L"CryptMsgOpenToDecode");
  if (!CryptMsgUpdate(msg.Get(), signature, static_cast<DWORD>(signatureSize), TRUE)) {
    return MalformedAfter(L"decoding the signature (CryptMsgUpdate)");
  }
  DWORD type = 0;
  DWORD size = sizeof type;
  if (!CryptMsgGetParam(msg.Get(), CMSG_TYPE_PARAM, 0, &type, &size) || type != CMSG_SIGNED) {
    return Malformed(L"not a signed-data message");
  }
  DWORD signers = 0;
  size = sizeof signers;
  if (!CryptMsgGetParam(msg.Get(), CMSG_SIGNER_COUNT_PARAM, 0, &signers, &size) || signers != 1) {
    Logger::Instance()->Write(L"Signature: %lu signers, one is expected", static_cast<unsigned long>(signers));
    return CMS_MALFORMED;
  }
  // A detached message verifies against the content given after it.
  if (!CryptMsgUpdate(msg.Get(), contentSize ? content : &kNothing, static_cast<DWORD>(contentSize), TRUE)) {
    return MalformedAfter(L"reading the file into the message (CryptMsgUpdate)");
  }

  std::unique_ptr<BYTE[]> signerData = MessageParam(msg.Get(), CMSG_SIGNER_INFO_PARAM);
  if (!signerData) return MalformedAfter(L"reading the signer (CMSG_SIGNER_INFO_PARAM)");
  const CMSG_SIGNER_INFO& signer = *reinterpret_cast<const CMSG_SIGNER_INFO*>(signerData.get());
  if (!signer.HashAlgorithm.pszObjId || strcmp(signer.HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0) {
    return Malformed(L"the signer's digest is not SHA-256");
  }
  // RSA (PKCS #1 v1.5) only, the one signature the documentation promises.
  const char* scheme = signer.HashEncryptionAlgorithm.pszObjId;
  if (!scheme || (strcmp(scheme, szOID_RSA_RSA) != 0 && strcmp(scheme, szOID_RSA_SHA256RSA) != 0)) {
    return Malformed(L"the signature is not RSA");
  }
  CmsSigner facts;
  if (!ReadMessageDigest(signer, facts.messageDigest)) {
    return Malformed(L"no signed attributes with one SHA-256 messageDigest");
  }

  std::unique_ptr<BYTE[]> certInfo = MessageParam(msg.Get(), CMSG_SIGNER_CERT_INFO_PARAM);
  if (!certInfo) return MalformedAfter(L"reading the signer's certificate name (CMSG_SIGNER_CERT_INFO_PARAM)");
  win::UniqueCertStore store(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, msg.Get()));
  if (!store) return MalformedAfter(L"CertOpenStore");
  win::UniqueCertContext cert(
      CertGetSubjectCertificateFromStore(store.Get(), kEncoding, reinterpret_cast<PCERT_INFO>(certInfo.get())));
  if (!cert) return MalformedAfter(L"finding the signer's certificate in the signature");
  Sha256Of(cert.Get()->pbCertEncoded, cert.Get()->cbCertEncoded, facts.thumbprint);

  CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA verify = {};
  verify.cbSize = sizeof verify;
  verify.dwSignerIndex = 0;
  verify.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
  verify.pvSigner = const_cast<CERT_CONTEXT*>(cert.Get());
  if (!CryptMsgControl(msg.Get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &verify)) {
    Logger::Instance()->WriteError(GetLastError(), L"Signature: the signature does not verify (CryptMsgControl)");
    return CMS_BAD_SIGNATURE;
  }
  if (out) *out = facts;
  return CMS_VERIFIED;
}
