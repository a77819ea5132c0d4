#pragma once
// The certificates whose signatures make a firmware file trusted: the
// "FIRMWARE_SIGNERS" key of properties.ini, a comma-separated list of SHA-256
// thumbprints (several allow a key roll-over). Without the key no signature is
// asked for. The list is set once at start-up, before any update starts, and
// every update of the run reads it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/sha256.h"

class CProperties;

constexpr const wchar_t* FIRMWARE_SIGNERS_KEY = L"FIRMWARE_SIGNERS";

using Thumbprint = std::array<uint8_t, SHA256_SIZE>;
using SignerList = std::vector<Thumbprint>;

// 64 hex digits in either case; between two byte pairs one colon or a run of
// blanks may stand, as certificate tools print them. Nothing else.
bool ParseThumbprint(const std::wstring& text, Thumbprint* out);

enum SignerListResult {
  SIGNERS_NOT_SET,  // no key: signatures are not checked
  SIGNERS_SET,
  SIGNERS_INVALID,  // an entry that is not a thumbprint, or none at all
};
// The list's entries as CProperties::GetPropertyList gives them (trimmed);
// empty entries are passed over. `bad` gets the offending entry.
SignerListResult ParseSignerList(const std::vector<std::wstring>& entries, SignerList* out, std::wstring* bad);
// FIRMWARE_SIGNERS of `properties`.
SignerListResult ReadFirmwareSigners(const CProperties& properties, SignerList* out, std::wstring* bad);

void SetTrustedSigners(const SignerList& signers);
// Empty: signatures are not checked.
const SignerList& TrustedSigners();
