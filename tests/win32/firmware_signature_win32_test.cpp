// Signatures made by openssl (scripts/lib/pre-test.d/20-signing-fixtures.sh)
// against the system's crypt32, through a transport's download: the one good
// case is sent, every other is refused before a byte is written, with its log
// line. crypt32 here verifies the signature over the signed attributes only;
// the digest of the bytes is the program's own comparison.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/firmware_signature.h"
#include "host/file_io.h"
#include "host/text_utils.h"
#include "support/fake_clock.h"
#include "support/fake_device.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/test_env.h"
#include "transport/usb_download.h"

namespace {
std::wstring Fixture(const std::wstring& name) {
  return fwtest::BinaryPath(L"signing-fixtures/" + name);
}

// The thumbprint openssl printed for a signer ("sha256 Fingerprint=AB:CD:...").
Thumbprint OpensslThumbprint(const std::wstring& signer) {
  std::ifstream in(ToUtf8Static(Fixture(signer + L".sha256").c_str()));
  std::string line;
  std::getline(in, line);
  const std::string colons = line.substr(line.find('=') + 1);
  Thumbprint thumbprint{};
  EXPECT_TRUE(ParseThumbprint(std::wstring(colons.begin(), colons.end()), &thumbprint)) << line;
  return thumbprint;
}
}  // namespace

TEST(FirmwareSignatureWin32, OpensslSignaturesAgainstCrypt32) {
  const std::vector<uint8_t> firmware = fwtest::ReadFileBytes(Fixture(L"firmware.bin"));
  ASSERT_FALSE(firmware.empty()) << "no fixtures: run scripts/lib/pre-test.d/20-signing-fixtures.sh";
  std::vector<uint8_t> changed = firmware;
  changed[changed.size() / 2] ^= 0x01;
  const Thumbprint a = OpensslThumbprint(L"signer-a");
  const Thumbprint b = OpensslThumbprint(L"signer-b");
  const std::wstring path = fwtest::TempPath(L"crypt32.bin");
  const std::wstring p7s = path + L".p7s";
  const std::wstring notSent = L", nothing is sent.";
  const std::wstring mismatch =
      L"ERROR: the signature does not match the firmware file (signer " + Sha256Hex(a.data()) + L")" + notSent;
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const wchar_t* signature;  // the fixture copied to <file>.p7s; null: none
    bool changedAfterTheCheck;
    std::wstring line;
    const wchar_t* cause = nullptr;  // the verifier's own line before it
  } cases[] = {
      {"good signature, listed signer", firmware, L"firmware.bin.p7s", false,
       L"Signature: the firmware file is signed by the trusted signer " + Sha256Hex(a.data()) + L"."},
      {"one byte changed after signing", changed, L"firmware.bin.p7s", false, mismatch},
      {"the signature of another file", firmware, L"other.bin.p7s", false, mismatch},
      {"a forgery: the listed certificate and the true digest, a signature value the key never made", firmware,
       L"forged.p7s", false, L"ERROR: the signature does not verify with the certificate it carries" + notSent},
      {"a signer not listed", firmware, L"by-b.p7s", false,
       L"ERROR: the firmware file is signed by " + Sha256Hex(b.data()) + L", which is not in FIRMWARE_SIGNERS" +
           notSent},
      {"no signature", firmware, nullptr, false,
       L"ERROR: the firmware file is not signed: there is no " + p7s + notSent},
      {"a signature that is not DER", firmware, L"pem.p7s", false,
       L"ERROR: the signature " + p7s + L" is unreadable or malformed" + notSent},
      // Refused for the count: Wine's crypt32 would refuse it later anyway,
      // another crypt32 might verify the first signer alone.
      {"two signers, the first listed", firmware, L"two-signers.p7s", false,
       L"ERROR: the signature " + p7s + L" is unreadable or malformed" + notSent,
       L"Signature: 2 signers, one is expected"},
      {"an ECDSA signature", firmware, L"ec.p7s", false,
       L"ERROR: the signature " + p7s + L" is unreadable or malformed" + notSent,
       L"Signature: the signature is not RSA"},
      {"changed between the check and the send", firmware, L"firmware.bin.p7s", true, mismatch},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetTrustedSigners({a});
    fwtest::WriteFileBytes(path, c.file);
    RemoveFileWide(p7s.c_str());
    if (c.signature) fwtest::WriteFileBytes(p7s, fwtest::ReadFileBytes(Fixture(c.signature)));
    if (c.changedAfterTheCheck) {
      EXPECT_EQ(CheckFirmwareFileSignature(TrustedSigners(), path.c_str()), SIGNATURE_TRUSTED);
      fwtest::WriteFileBytes(path, changed);
    }
    FakeClock clock;
    LogCapture log;
    devtest::FakeDevice device;
    FirmwareFileInfo info;

    const int result = CFWDownloadUSB().DownLoadFirmware(&info, devtest::Handle(3), path.c_str(), L"", L"");

    EXPECT_TRUE(log.Contains(c.line));
    if (c.cause) {
      EXPECT_TRUE(log.Contains(c.cause));
    }
    const bool good = c.line.rfind(L"Signature: ", 0) == 0;
    // The whole image went out (then the scripted device gives no answer).
    EXPECT_EQ(std::search(device.written.begin(), device.written.end(), firmware.begin(), firmware.end()) !=
                  device.written.end(),
              good);
    if (!good) {
      EXPECT_TRUE(device.trace.empty());
      EXPECT_EQ(result, ACL_DOWNLOAD_NOT_TRUSTED);
    }
  }
  SetTrustedSigners({});
  RemoveFileWide(p7s.c_str());
}
