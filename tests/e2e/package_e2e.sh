#!/usr/bin/env bash
# The signed installer package as administrators deploy it. scripts/package
# builds three: the build's version (the script's test certificate), a higher
# one (PKCS#12 from the environment) and one differing from that only in the
# fourth field (certificate and encrypted key). Signatures are checked
# natively; then, in a Wine prefix of the test's own: an unknown LANGUAGE, a
# silent install, the administrator's files, an upgrade with LANGUAGE=de, a
# refused downgrade, the fourth-field upgrade and the uninstall.
# Environment (set by ctest): TIDEWAY_BUILD, TIDEWAY_E2E_DIR.
set -uo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/../../scripts/lib/env.sh"
source "$ROOT/scripts/lib/make-test-prefix.sh"
source "$HERE/e2e_common.sh"

CASE_DIR="${TIDEWAY_E2E_DIR:-$WIN/e2e}/package"
DIST="$CASE_DIR/dist"
export WINEPREFIX="$CASE_DIR/prefix"
APP="$WINEPREFIX/drive_c/Program Files/Tideway"
CA="$BUILD/package/test-ca"
failures=0
trap 'wineserver -k 2>/dev/null' EXIT

VERSION=$(tideway_version)
NEWER="$((${VERSION%%.*} + 1)).0.0.0"
NEWER_BUILD="${NEWER%.0}.1"
wineserver -k 2>/dev/null  # one left by an interrupted run
rm -rf "$CASE_DIR"
mkdir -p "$DIST"

out=$(env -u TIDEWAY_SIGN_PKCS12 -u TIDEWAY_SIGN_CERT -u TIDEWAY_SIGN_KEY -u TIDEWAY_TIMESTAMP_URL \
  "$ROOT/scripts/package" --no-build --out "$DIST" 2>&1) || fail "scripts/package: $out"
grep -q "throw-away test certificate" <<<"$out" || fail "no word of the test certificate: $out"
openssl pkcs12 -export -in "$CA/signing.pem" -inkey "$CA/signing.key" -passout pass:p12 -out "$CASE_DIR/signing.p12"
TIDEWAY_SIGN_PKCS12="$CASE_DIR/signing.p12" TIDEWAY_SIGN_PASSWORD=p12 \
  "$ROOT/scripts/package" --no-build --out "$DIST" --test-version "$NEWER" || fail "scripts/package $NEWER"
openssl pkey -in "$CA/signing.key" -aes256 -passout pass:key -out "$CASE_DIR/signing.key"
TIDEWAY_SIGN_CERT="$CA/signing.pem" TIDEWAY_SIGN_KEY="$CASE_DIR/signing.key" TIDEWAY_SIGN_KEY_PASSWORD=key \
  "$ROOT/scripts/package" --no-build --out "$DIST" --test-version "$NEWER_BUILD" || fail "scripts/package $NEWER_BUILD"
for v in "$VERSION" "$NEWER" "$NEWER_BUILD"; do
  msiextract -C "$CASE_DIR/files-$v" "$DIST/tideway-$v.msi" >/dev/null || { fail "no tideway-$v.msi"; exit 1; }
done
FILES="$CASE_DIR/files-$VERSION/Tideway"

# A copy with one byte changed inside what the signature covers: in a PE
# file's first section, or the package's version text.
one_byte_changed() {
  python3 - "$1" "$2" "$VERSION" <<'PY'
import struct, sys
source, target, version = sys.argv[1:4]
data = bytearray(open(source, "rb").read())
if data[:2] == b"MZ":
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    first_section = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]
    at = struct.unpack_from("<I", data, first_section + 20)[0] + 16
else:
    at = data.index(version.encode())
data[at] ^= 0x01
open(target, "wb").write(data)
PY
}
# Verifies against the test authority with SHA-256 for the file's digest and
# the signer's: osslsigncode accepts a SHA-1 signature as readily.
verifies() {
  local out
  out=$(osslsigncode verify -CAfile "$CA/ca.pem" -in "$1" 2>&1) || return 1
  grep -q 'digest algorithm *: *SHA256' <<<"$out" && ! grep 'digest algorithm *:' <<<"$out" | grep -qv SHA256
}
for f in "$FILES/tideway.exe" "$FILES/languages/de/strings.dll" "$DIST/tideway-$VERSION.msi"; do
  verifies "$f" || fail "$f does not verify"
  one_byte_changed "$f" "$CASE_DIR/changed"
  verifies "$CASE_DIR/changed" && fail "$f verifies with one byte changed"
done
for f in "$FILES"/strings.dll "$FILES"/languages/*/strings.dll "$DIST"/*.msi; do
  verifies "$f" || fail "$f does not verify"
done
x86_64-w64-mingw32-nm "$FILES/tideway.exe" 2>&1 | grep -q 'no symbols' || fail "the program carries symbols"

make_bare_prefix "$WINEPREFIX" || { fail "no Wine prefix"; exit 1; }
wineserver -p
mkdir -p "$WINEPREFIX/drive_c/packages"
cp "$DIST"/*.msi "$WINEPREFIX/drive_c/packages/"
# msiexec's exit code (its low byte: 1603 arrives as 67).
msi() { (cd "$WINEPREFIX" && wine msiexec "$1" "C:\\packages\\tideway-$2.msi" /qn "${@:3}" </dev/null >/dev/null 2>&1); }
winreg() { (cd "$WINEPREFIX" && wine reg query "$1" /s 2>/dev/null) | tr -d '\r'; }
# The product's Add/Remove Programs entries, one a line: version|publisher|folder.
arp_entries() {
  winreg 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' | awk '
    function flush() { if (n == "Tideway Firmware Update Utility") print v "|" p "|" l; n = v = p = l = "" }
    /^HKEY_/ { flush() }
    { x = $0; sub(/^ *[A-Za-z]+ +REG_SZ +/, "", x) }
    $1 == "DisplayName" { n = x } $1 == "DisplayVersion" { v = x } $1 == "Publisher" { p = x } $1 == "InstallLocation" { l = x }
    END { flush() }'
}
expect_entries() { [ "$(arp_entries)" = "$1" ] || fail "Add/Remove Programs: [$(arp_entries)], expected [$1]"; }
expect_same() { cmp -s "$1" "$2" || fail "$3"; }
installed_files() { (cd "$APP" 2>/dev/null && find . -type f | sed 's|^\./||' | sort | xargs); }
# After each step: one entry, of `version`; its program; `language`'s library
# beside it; the administrator's files (once there) as they were written.
expect_installed() {
  expect_entries "$1|QV|C:\\Program Files\\Tideway\\"
  expect_same "$APP/tideway.exe" "$CASE_DIR/files-$1/Tideway/tideway.exe" "not the program of $1"
  expect_same "$APP/strings.dll" "$APP/languages/$2/strings.dll" "not the $2 library beside the program"
  for f in properties.ini qv7100dn.pkg; do
    [ ! -f "$CASE_DIR/$f" ] || expect_same "$APP/$f" "$CASE_DIR/$f" "$f changed"
  done
}

msi /i "$VERSION" LANGUAGE=xx && fail "LANGUAGE=xx installed"
[ -z "$(installed_files)" ] || fail "LANGUAGE=xx left $(installed_files)"
expect_entries ""

msi /i "$VERSION" || fail "silent install: code $?"
expected=$({ echo tideway.exe strings.dll; (cd "$WIN/bin" && ls languages/*/strings.dll)
  (cd "$ROOT/docs/examples" && ls) | sed 's|.*|examples/properties-&.ini|'; } | xargs -n1 | sort | xargs)
[ "$(installed_files)" = "$expected" ] || fail "installed: $(installed_files); expected: $expected"
expect_installed "$VERSION" en
winreg 'HKLM\Software\Classes\Installer\Products' | grep -qE "ProductName +REG_SZ +Tideway Firmware Update Utility$" ||
  fail "not registered for the machine"
[ "$(strings -el "$APP/tideway.exe" | grep -A1 -x FileVersion | sed -n 2p)" = "$VERSION" ] ||
  fail "the program's version is not the package's, $VERSION"
(cd "$WINEPREFIX" && wine 'C:\Program Files\Tideway\tideway.exe' '/?' </dev/null >"$CASE_DIR/usage.txt" 2>/dev/null) ||
  fail "tideway.exe /? from Program Files: code $?"
grep -q '^Usage: tideway.exe' "$CASE_DIR/usage.txt" || fail "no usage from tideway.exe /?"

# The administrator's configuration and firmware; the program changed, so that
# its replacement shows.
{ cat "$APP/examples/properties-network.ini"; echo "# edited"; } >"$CASE_DIR/properties.ini"
head -c 4096 /dev/urandom >"$CASE_DIR/qv7100dn.pkg"
cp "$CASE_DIR/properties.ini" "$CASE_DIR/qv7100dn.pkg" "$APP/"
one_byte_changed "$FILES/tideway.exe" "$APP/tideway.exe"

msi /i "$NEWER" LANGUAGE=de || fail "upgrade to $NEWER: code $?"
expect_installed "$NEWER" de
msi /i "$VERSION" && fail "$VERSION went over $NEWER"
expect_installed "$NEWER" de
msi /i "$NEWER_BUILD" LANGUAGE=de || fail "upgrade to $NEWER_BUILD: code $?"
expect_installed "$NEWER_BUILD" de

msi /x "$NEWER_BUILD" || fail "silent uninstall: code $?"
expect_entries ""
[ "$(installed_files)" = "properties.ini qv7100dn.pkg" ] || fail "after the uninstall: $(installed_files)"
expect_same "$APP/properties.ini" "$CASE_DIR/properties.ini" "the uninstall changed properties.ini"
expect_same "$APP/qv7100dn.pkg" "$CASE_DIR/qv7100dn.pkg" "the uninstall changed the firmware file"

[ "$failures" -eq 0 ] && echo PASS || { echo "$failures failure(s)"; exit 1; }
