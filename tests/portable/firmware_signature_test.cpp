// The administrator's list of trusted signers as properties.ini gives it, and
// the rule over a file's bytes with a stand-in verifier (the system's own is
// tested under Wine): every way a file fails, with its log line.
#include "firmware/firmware_signature.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/firmware_signers.h"
#include "host/file_io.h"
#include "host/properties.h"
#include "support/fake_signing.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"

namespace {
const std::string kHex = "388FC96866A7FA0D82FF457142D86A4A166F13D9E272B8E7AD340F38511714A1";
const std::string kHex2 = "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

// kHex with `separator` between its byte pairs.
std::string Spaced(const std::string& hex, const std::string& separator) {
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 2) out += (i ? separator : "") + hex.substr(i, 2);
  return out;
}

Thumbprint FromHex(const std::string& hex) {
  Thumbprint t{};
  for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  return t;
}
}  // namespace

TEST(FirmwareSigners, ListAsPropertiesGiveIt) {
  const std::string colons = Spaced(kHex, ":");
  struct Case {
    const char* name;
    std::string line;  // the FIRMWARE_SIGNERS line; empty: none
    SignerListResult result;
    SignerList signers;
    std::wstring bad;
  } cases[] = {
      {"no key: not checked", "", SIGNERS_NOT_SET, {}, L""},
      {"upper case", "\"" + kHex + "\"", SIGNERS_SET, {FromHex(kHex)}, L""},
      {"lower case", "\"" + Lower(kHex) + "\"", SIGNERS_SET, {FromHex(kHex)}, L""},
      {"colons, as openssl prints it", "\"" + colons + "\"", SIGNERS_SET, {FromHex(kHex)}, L""},
      {"blanks, as the certificate dialog shows it",
       "\"" + Lower(Spaced(kHex, " ")) + "\"",
       SIGNERS_SET,
       {FromHex(kHex)},
       L""},
      {"two for a roll-over, empty entries passed over",
       "\"," + colons + ", ," + kHex2 + ",\"",
       SIGNERS_SET,
       {FromHex(kHex), FromHex(kHex2)},
       L""},
      {"only empty entries", "\", ,\"", SIGNERS_INVALID, {}, L""},
      {"quoted nothing", "\"\"", SIGNERS_INVALID, {}, L""},
      {"unquoted, a letter first: a name reference, empty",
       Lower(kHex2.substr(20, 12) + kHex2.substr(0, 52)),
       SIGNERS_INVALID,
       {},
       L""},
      {"unquoted, a digit first: a number", colons, SIGNERS_INVALID, {}, L"38"},
      {"63 digits", "\"" + kHex.substr(1) + "\"", SIGNERS_INVALID, {}, std::wstring(kHex.begin() + 1, kHex.end())},
      {"65 digits", "\"" + kHex + "0\"", SIGNERS_INVALID, {}, std::wstring(kHex.begin(), kHex.end()) + L"0"},
      {"not hex",
       "\"" + kHex.substr(0, 63) + "G\"",
       SIGNERS_INVALID,
       {},
       std::wstring(kHex.begin(), kHex.begin() + 63) + L"G"},
      {"separator inside a pair",
       "\"3:8" + kHex.substr(2) + "\"",
       SIGNERS_INVALID,
       {},
       L"3:8" + std::wstring(kHex.begin() + 2, kHex.end())},
      {"two colons",
       "\"38::" + colons.substr(3) + "\"",
       SIGNERS_INVALID,
       {},
       L"38::" + std::wstring(colons.begin() + 3, colons.end())},
      {"trailing colon", "\"" + colons + ":\"", SIGNERS_INVALID, {}, std::wstring(colons.begin(), colons.end()) + L":"},
      {"the whole openssl line",
       "\"sha256 Fingerprint=" + colons + "\"",
       SIGNERS_INVALID,
       {},
       L"sha256 Fingerprint=" + std::wstring(colons.begin(), colons.end())},
      {"one bad entry spoils the list", "\"" + kHex + ", 1234\"", SIGNERS_INVALID, {}, L"1234"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    CProperties props;
    const std::string text = "DRIVER_NAMES = \"QV\"\n" + (c.line.empty() ? "" : "FIRMWARE_SIGNERS = " + c.line + "\n");
    props.LoadText(text.data(), text.size());
    SignerList signers;
    std::wstring bad = L"untouched";
    EXPECT_EQ(ReadFirmwareSigners(props, &signers, &bad), c.result);
    EXPECT_EQ(signers, c.signers);
    if (c.result == SIGNERS_INVALID) {
      EXPECT_EQ(bad, c.bad);
    }
  }

  // A list joined from references can outgrow what the list reader takes
  // (1023 characters): it is refused, never cut (here the cut would fall in
  // blanks and drop the last signer unseen).
  std::string first, second;
  for (int i = 0; i < 8; ++i) first += kHex + ",";
  for (int i = 0; i < 7; ++i) second += kHex + ",";
  second += std::string(1023 - first.size() - second.size(), ' ');
  const std::string longList = "FIRST = \"" + first + "\"\nSECOND = \"" + second + "\"\nTHIRD = \"" + kHex2 +
                               "\"\nFIRMWARE_SIGNERS = FIRST SECOND THIRD\n";
  CProperties props;
  props.LoadText(longList.data(), longList.size());
  SignerList signers;
  EXPECT_EQ(ReadFirmwareSigners(props, &signers, nullptr), SIGNERS_INVALID);
}

TEST(FirmwareSignature, RuleOverTheBytesWithItsLogLine) {
  const std::wstring path = fwtest::TempPath(L"rule.bin");
  const std::wstring p7s = path + L".p7s";
  const std::vector<uint8_t> bytes = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 3000, 1100);
  std::vector<uint8_t> changed = bytes;
  changed[1500] ^= 1;
  fwtest::WriteFileBytes(path, bytes);
  const Thumbprint a = fwtest::SignerThumbprint(0xA1);
  const Thumbprint b = fwtest::SignerThumbprint(0xB2);
  const std::wstring aHex = Sha256Hex(a.data());
  const std::wstring bHex = Sha256Hex(b.data());
  const std::wstring notSent = L", nothing is sent.";
  const std::wstring malformed = L"ERROR: the signature " + p7s + L" is unreadable or malformed" + notSent;
  const std::wstring mismatch =
      L"ERROR: the signature does not match the firmware file (signer " + aHex + L")" + notSent;

  struct Case {
    const char* name;
    SignerList trusted;
    bool signatureFile;
    std::vector<uint8_t> signature;
    SignatureVerdict verdict;
    std::wstring line;  // empty: nothing logged
  } cases[] = {
      {"no signers: nothing asked for", {}, false, {}, SIGNATURE_NOT_REQUIRED, L""},
      {"signed by a listed signer",
       {b, a},
       true,
       fwtest::FakeSignature(a, bytes),
       SIGNATURE_TRUSTED,
       L"Signature: the firmware file is signed by the trusted signer " + aHex + L"."},
      {"no signature file",
       {a},
       false,
       {},
       SIGNATURE_MISSING,
       L"ERROR: the firmware file is not signed: there is no " + p7s + notSent},
      {"not a signature", {a}, true, {0x30, 0x82}, SIGNATURE_MALFORMED, malformed},
      {"empty signature file", {a}, true, {}, SIGNATURE_MALFORMED, malformed},
      {"larger than any signature",
       {a},
       true,
       std::vector<uint8_t>(FIRMWARE_SIGNATURE_MAX + 1, 0x30),
       SIGNATURE_MALFORMED,
       malformed},
      {"a system that cannot check",
       {a},
       true,
       fwtest::FakeSignature(a, bytes, CMS_UNSUPPORTED),
       SIGNATURE_MALFORMED,
       malformed},
      {"does not verify, whatever digest it names",
       {a},
       true,
       fwtest::FakeSignature(a, bytes, CMS_BAD_SIGNATURE),
       SIGNATURE_MISMATCH,
       mismatch},
      {"a byte changed after signing", {a}, true, fwtest::FakeSignature(a, changed), SIGNATURE_MISMATCH, mismatch},
      {"signed by a signer not listed",
       {a},
       true,
       fwtest::FakeSignature(b, bytes),
       SIGNATURE_UNTRUSTED,
       L"ERROR: the firmware file is signed by " + bHex + L", which is not in FIRMWARE_SIGNERS" + notSent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fwtest::FakeSigning signing(c.trusted);
    RemoveFileWide(p7s.c_str());
    if (c.signatureFile) fwtest::WriteFileBytes(p7s, c.signature);
    LogCapture log;
    EXPECT_EQ(CheckFirmwareSignature(TrustedSigners(), path.c_str(), bytes.data(), bytes.size()), c.verdict);
    if (c.line.empty()) {
      EXPECT_TRUE(log.Lines().empty());
    } else {
      EXPECT_EQ(log.Lines().back(), c.line);
    }
  }
  RemoveFileWide(p7s.c_str());
}
