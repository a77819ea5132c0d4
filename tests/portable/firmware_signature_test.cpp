// The administrator's list of trusted signers as properties.ini gives it, and
// the rule over a file's bytes with a stand-in verifier (the system's own is
// tested under Wine): every way a file fails, with its log line.
#include "firmware/firmware_signature.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/firmware_policy.h"
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
  const SignerList one = {FromHex(kHex)};
  // Three keys whose values join past the 1023 characters the list reader
  // takes, the cut falling in blanks: it would drop the last signer unseen.
  std::string first, second;
  for (int i = 0; i < 8; ++i) first += kHex + ",";
  for (int i = 0; i < 7; ++i) second += kHex + ",";
  second += std::string(1023 - first.size() - second.size(), ' ');
  const std::string parts = "FIRST = \"" + first + "\"\nSECOND = \"" + second + "\"\nTHIRD = \"" + kHex2 + "\"\n";
  struct Case {
    const char* name;
    std::string value;  // as written after "FIRMWARE_SIGNERS = "; empty: no such line
    SignerListResult result;
    SignerList signers;
  } cases[] = {
      {"no key: not checked", "", SIGNERS_NOT_SET, {}},
      {"colons, as openssl prints it", "\"" + colons + "\"", SIGNERS_SET, one},
      {"lower case with blanks, as a certificate tool shows it", "\"" + Lower(Spaced(kHex, " ")) + "\"", SIGNERS_SET,
       one},
      {"two for a roll-over, empty entries passed over",
       "\"," + colons + ", ," + kHex2 + ",\"",
       SIGNERS_SET,
       {FromHex(kHex), FromHex(kHex2)}},
      {"only empty entries", "\", ,\"", SIGNERS_INVALID, {}},
      {"unquoted, a letter first: a name reference, empty",
       Lower(kHex2.substr(20, 12) + kHex2.substr(0, 52)),
       SIGNERS_INVALID,
       {}},
      {"unquoted, a digit first: a number", colons, SIGNERS_INVALID, {}},
      {"63 digits", "\"" + kHex.substr(1) + "\"", SIGNERS_INVALID, {}},
      {"65 digits", "\"" + kHex + "0\"", SIGNERS_INVALID, {}},
      {"not hex", "\"" + kHex.substr(0, 63) + "G\"", SIGNERS_INVALID, {}},
      {"separator inside a pair", "\"3:8" + kHex.substr(2) + "\"", SIGNERS_INVALID, {}},
      {"the whole openssl line", "\"sha256 Fingerprint=" + colons + "\"", SIGNERS_INVALID, {}},
      {"one bad entry spoils the list", "\"" + kHex + ", 1234\"", SIGNERS_INVALID, {}},
      {"joined past the list reader's length", "FIRST SECOND THIRD", SIGNERS_INVALID, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    CProperties props;
    const std::string text = parts + (c.value.empty() ? "" : "FIRMWARE_SIGNERS = " + c.value + "\n");
    props.LoadText(text.data(), text.size());
    SignerList signers;
    EXPECT_EQ(ReadFirmwareSigners(props, &signers, nullptr), c.result);
    EXPECT_EQ(signers, c.signers);
  }
}

// Group Policy over properties.ini: with the policy's list the file's key is
// ignored, good or bad; with RequireSignedFirmware no slip in the file (key
// deleted or misspelled) turns signatures off.
TEST(FirmwareTrust, PolicyOverTheFile) {
  const SignerList file = {FromHex(kHex)};
  const SignerList policyList = {FromHex(kHex2)};
  const std::string fileKey = "FIRMWARE_SIGNERS = \"" + kHex + "\"\n";
  const std::string badFileKey = "FIRMWARE_SIGNERS = \"12\"\n";
  FirmwarePolicy none;
  FirmwarePolicy require;
  require.requireState = POLICY_VALUE_SET;
  require.require = 1;
  FirmwarePolicy requireOff = require;
  requireOff.require = 0;
  FirmwarePolicy requireUnusable;
  requireUnusable.requireState = POLICY_VALUE_UNUSABLE;
  FirmwarePolicy listed;
  listed.signersState = POLICY_VALUE_SET;
  listed.signers = std::wstring(kHex2.begin(), kHex2.end()) + L", ";
  FirmwarePolicy listedEmpty = listed;
  listedEmpty.signers = L" , ";
  FirmwarePolicy listedBad = listed;
  listedBad.signers = L"ab:cd";
  FirmwarePolicy listedUnusable;
  listedUnusable.signersState = POLICY_VALUE_UNUSABLE;
  struct Case {
    const char* name;
    FirmwarePolicy policy;
    std::string properties;
    FirmwareTrustResult result;
    SignerList signers;
    bool fromPolicy, fileKeyIgnored;
    std::wstring bad;
  } cases[] = {
      {"no policy, no key", none, "", TRUST_NOT_ASKED, {}, false, false, L""},
      {"no policy, the file's list", none, fileKey, TRUST_SIGNERS, file, false, false, L""},
      {"required, no key", require, "", TRUST_REQUIRED_NO_LIST, {}, false, false, L""},
      {"required, the key misspelled",
       require,
       "FIRMWARE_SIGNER = \"" + kHex + "\"\n",
       TRUST_REQUIRED_NO_LIST,
       {},
       false,
       false,
       L""},
      {"required as a DWORD 0", requireOff, "", TRUST_NOT_ASKED, {}, false, false, L""},
      {"required by a value not a DWORD", requireUnusable, "", TRUST_REQUIRED_NO_LIST, {}, false, false, L""},
      {"required, the file's list", require, fileKey, TRUST_SIGNERS, file, false, false, L""},
      {"required, the file's list bad", require, badFileKey, TRUST_BAD_LIST, {}, false, false, L"12"},
      {"the policy's list over the file's", listed, fileKey, TRUST_SIGNERS, policyList, true, true, L""},
      {"the policy's list over a bad file key", listed, badFileKey, TRUST_SIGNERS, policyList, true, true, L""},
      {"the policy's list, no file key", listed, "", TRUST_SIGNERS, policyList, true, false, L""},
      {"the policy's list empty", listedEmpty, fileKey, TRUST_BAD_LIST, {}, true, true, L""},
      {"the policy's list bad", listedBad, fileKey, TRUST_BAD_LIST, {}, true, true, L"ab:cd"},
      {"the policy's list unreadable", listedUnusable, fileKey, TRUST_BAD_LIST, {}, true, true, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CProperties props;
    props.LoadText(c.properties.data(), c.properties.size());
    const FirmwareTrust trust = DecideFirmwareTrust(c.policy, props);
    EXPECT_EQ(trust.result, c.result);
    EXPECT_EQ(trust.signers, c.signers);
    EXPECT_EQ(trust.fromPolicy, c.fromPolicy);
    EXPECT_EQ(trust.fileKeyIgnored, c.fileKeyIgnored);
    EXPECT_EQ(trust.bad, c.bad);
  }
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
  const std::wstring trusted = L"Signature: the firmware file is signed by the trusted signer " + aHex + L".";
  const std::wstring missing = L"ERROR: the firmware file is not signed: there is no " + p7s + notSent;
  const std::wstring malformed = L"ERROR: the signature " + p7s + L" is unreadable or malformed" + notSent;
  const std::wstring mismatch =
      L"ERROR: the signature does not match the firmware file (signer " + aHex + L")" + notSent;
  const std::wstring untrusted =
      L"ERROR: the firmware file is signed by " + bHex + L", which is not in FIRMWARE_SIGNERS" + notSent;
  const std::wstring doesNotVerify = L"ERROR: the signature does not verify with the certificate it carries" + notSent;
  const std::vector<uint8_t> tooLarge(FIRMWARE_SIGNATURE_MAX + 1, 0x30);
  struct Case {
    const char* name;
    SignerList trusted;
    std::vector<uint8_t> signature;  // empty: no signature file
    SignatureVerdict verdict;
    std::wstring line;  // empty: nothing logged
  } cases[] = {
      {"no signers: nothing asked for", {}, {}, SIGNATURE_NOT_REQUIRED, L""},
      {"signed by a listed signer", {b, a}, fwtest::FakeSignature(a, bytes), SIGNATURE_TRUSTED, trusted},
      {"no signature file", {a}, {}, SIGNATURE_MISSING, missing},
      {"not a signature", {a}, {0x30, 0x82}, SIGNATURE_MALFORMED, malformed},
      {"larger than any signature", {a}, tooLarge, SIGNATURE_MALFORMED, malformed},
      {"does not verify, whatever signer and digest it names",
       {a},
       fwtest::FakeSignature(a, bytes, CMS_BAD_SIGNATURE),
       SIGNATURE_MISMATCH,
       doesNotVerify},
      {"a byte changed after signing", {a}, fwtest::FakeSignature(a, changed), SIGNATURE_MISMATCH, mismatch},
      {"signed by a signer not listed", {a}, fwtest::FakeSignature(b, bytes), SIGNATURE_UNTRUSTED, untrusted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fwtest::FakeSigning signing(c.trusted);
    RemoveFileWide(p7s.c_str());
    if (!c.signature.empty()) fwtest::WriteFileBytes(p7s, c.signature);
    LogCapture log;
    EXPECT_EQ(CheckFirmwareSignature(TrustedSigners(), path.c_str(), bytes.data(), bytes.size()), c.verdict);
    EXPECT_EQ(log.Lines().empty() ? L"" : log.Lines().back(), c.line);
  }
  RemoveFileWide(p7s.c_str());
}

TEST(FirmwareSignature, AFileThatCannotBeReadIsNotCalledUntrusted) {
  fwtest::FakeSigning signing({fwtest::SignerThumbprint(0xA1)});
  const std::wstring path = fwtest::TempPath(L"gone.bin");
  RemoveFileWide(path.c_str());
  LogCapture log;
  EXPECT_EQ(CheckFirmwareFileSignature(TrustedSigners(), path.c_str()), SIGNATURE_FILE_UNREADABLE);
  EXPECT_TRUE(log.Contains(L"ERROR: the firmware file " + path +
                           L" could not be read for its signature check, nothing is sent."));
  EXPECT_FALSE(SignatureAllows(SIGNATURE_FILE_UNREADABLE));
}
