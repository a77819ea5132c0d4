#include "firmware/firmware_signers.h"

#include "host/properties.h"

namespace {
int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

// Never destroyed: a detached update thread may still read it at exit.
SignerList& RunSigners() {
  static SignerList* signers = new SignerList();
  return *signers;
}
}  // namespace

bool ParseThumbprint(const std::wstring& text, Thumbprint* out) {
  Thumbprint value{};
  size_t pos = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    if (i > 0 && pos < text.size()) {
      if (text[pos] == L':') {
        ++pos;
      } else {
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
      }
    }
    if (pos + 2 > text.size()) return false;
    const int high = HexDigit(text[pos]);
    const int low = HexDigit(text[pos + 1]);
    if (high < 0 || low < 0) return false;
    value[i] = static_cast<uint8_t>(high << 4 | low);
    pos += 2;
  }
  if (pos != text.size()) return false;
  *out = value;
  return true;
}

SignerListResult ParseSignerList(const std::vector<std::wstring>& entries, SignerList* out, std::wstring* bad) {
  SignerList signers;
  for (const std::wstring& entry : entries) {
    if (entry.empty()) continue;
    Thumbprint thumbprint;
    if (!ParseThumbprint(entry, &thumbprint)) {
      if (bad) *bad = entry;
      return SIGNERS_INVALID;
    }
    signers.push_back(thumbprint);
  }
  // A key without a thumbprint must not read as "no signature asked for".
  if (signers.empty()) {
    if (bad) bad->clear();
    return SIGNERS_INVALID;
  }
  *out = signers;
  return SIGNERS_SET;
}

SignerListResult ReadFirmwareSigners(const CProperties& properties, SignerList* out, std::wstring* bad) {
  std::wstring value;
  if (properties.GetProperty(FIRMWARE_SIGNERS_KEY, value) == PROPERTY_NOT_FOUND) {
    // Named but empty (an unquoted list reads as a name reference): asked for
    // and unusable, never "not asked for".
    if (!properties.Named(FIRMWARE_SIGNERS_KEY)) return SIGNERS_NOT_SET;
    if (bad) bad->clear();
    return SIGNERS_INVALID;
  }
  // The list reader stops at its buffer: a longer list would lose entries unseen.
  if (value.size() >= PROPERTY_LIST_BUFFER) {
    if (bad) *bad = value.substr(PROPERTY_LIST_BUFFER - 1);
    return SIGNERS_INVALID;
  }
  std::vector<std::wstring> entries;
  properties.GetPropertyList(FIRMWARE_SIGNERS_KEY, entries);
  return ParseSignerList(entries, out, bad);
}

void SetTrustedSigners(const SignerList& signers) {
  RunSigners() = signers;
}

const SignerList& TrustedSigners() {
  return RunSigners();
}
