#pragma once
// The rule that keeps untrusted firmware from a printer: with signers
// configured (firmware_signers.h), a file X is sent only when the detached
// signature X.p7s verifies over exactly the bytes that are sent and its
// signer's thumbprint is in the list. Checked on the bytes in memory, never on
// the path, since the file may change between a check and a read.

#include <cstddef>
#include <cstdint>

#include "firmware/firmware_signers.h"

// Bigger than any signature with its certificate chain.
constexpr size_t FIRMWARE_SIGNATURE_MAX = 64 * 1024;
constexpr const wchar_t* FIRMWARE_SIGNATURE_SUFFIX = L".p7s";

enum SignatureVerdict {
  SIGNATURE_NOT_REQUIRED,  // no signers configured
  SIGNATURE_TRUSTED,
  SIGNATURE_MISSING,          // no X.p7s
  SIGNATURE_MALFORMED,        // unreadable, not a signature of the expected form, or not checkable here
  SIGNATURE_MISMATCH,         // does not verify over these bytes
  SIGNATURE_UNTRUSTED,        // verifies, by a signer not in the list
  SIGNATURE_FILE_UNREADABLE,  // the firmware file itself could not be read
};

// Whether the bytes may be sent.
bool SignatureAllows(SignatureVerdict verdict);

// The rule for `data`, the firmware file `path` as it will be sent (`path`
// only names X.p7s). Logs the verdict, with the signer's thumbprint once the
// signature verified with its certificate; logs nothing when no signers are configured.
SignatureVerdict CheckFirmwareSignature(const SignerList& signers, const wchar_t* path, const uint8_t* data,
                                        uint64_t size);
// The same over the file as it is now, read whole: the check when a file is
// chosen, before anything is asked of the printer.
SignatureVerdict CheckFirmwareFileSignature(const SignerList& signers, const wchar_t* path);
