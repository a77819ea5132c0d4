# Signatures for the Windows signature tests (tests/win32/firmware_signature_win32_test.cpp),
# made with openssl in $WIN/signing-fixtures: two signers, a firmware file signed
# by each (DER, and PEM for "not DER"), another file signed by the first, a
# forged signature, one signature with both signers and one by an EC key.
# shellcheck source=../sign-firmware.sh
source "$ROOT/scripts/lib/sign-firmware.sh"
# shellcheck source=../update-printer.sh
source "$ROOT/scripts/lib/update-printer.sh"

make_signing_fixtures() {
  local dir="$WIN/signing-fixtures"
  rm -rf "$dir"
  mkdir -p "$dir"
  make_signer "$dir" signer-a && make_signer "$dir" signer-b &&
    make_firmware "$dir/firmware.bin" bin full-part.bin && make_firmware "$dir/other.bin" bin code-only.bin &&
    sign_firmware "$dir/firmware.bin" "$dir/signer-a" &&
    sign_firmware "$dir/other.bin" "$dir/signer-a" &&
    sign_firmware "$dir/firmware.bin" "$dir/signer-b" "$dir/by-b.p7s" &&
    sign_firmware "$dir/firmware.bin" "$dir/signer-a" "$dir/pem.p7s" PEM &&
    forge_signature "$dir/firmware.bin.p7s" "$dir/forged.p7s" &&
    openssl cms -sign -binary -in "$dir/firmware.bin" -signer "$dir/signer-a.pem" -inkey "$dir/signer-a.key" \
      -signer "$dir/signer-b.pem" -inkey "$dir/signer-b.key" -outform DER -out "$dir/two-signers.p7s" &&
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -sha256 -days 3650 -subj "/CN=ec" \
      -keyout "$dir/signer-ec.key" -out "$dir/signer-ec.pem" >/dev/null 2>&1 &&
    sign_firmware "$dir/firmware.bin" "$dir/signer-ec" "$dir/ec.p7s"
}

# A forgery: the listed signer's certificate and the file's true digest, and a
# signature value that the key never made (its last byte changed).
forge_signature() {
  python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[-1] ^= 1; open(sys.argv[2], "wb").write(b)' \
    "$1" "$2"
}
make_signing_fixtures
