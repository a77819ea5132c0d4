#!/usr/bin/env bash
# The signed installer package, built by scripts/package from this tree and
# deployed under Wine the way an administrator's tools do it:
#   three packages: the build's version with the script's own test certificate,
#     a higher version (PKCS#12 from the environment) and one that differs from
#     that only in the fourth field (certificate and encrypted key files)
#   the program, a language library and the package verify against the test
#     authority, a copy of each with one byte changed does not; every language
#     library verifies; the program carries no symbols
#   in a Wine prefix of the test's own:
#     a language the package lacks is refused and installs nothing
#     a silent install puts the files where the README says, with the English
#       library beside the program, one Add/Remove Programs entry (publisher,
#       version, folder) and the program's version in its name; tideway.exe /?
#       exits 0 from there
#     the administrator's properties.ini and firmware file go beside it; the
#       program is replaced by a changed copy
#     the upgrade (LANGUAGE=de) replaces the program, puts the German library
#       beside it and keeps the administrator's files; one entry remains
#     the older package refuses to go over the newer one
#     the package differing in the fourth field replaces it, one entry remains
#     a silent uninstall removes every file of the package and its entry, and
#       leaves the administrator's files as they were
#
# Environment (set by ctest): TIDEWAY_BUILD, TIDEWAY_E2E_DIR. Needs no display and
# shares nothing with the other Wine tests: its prefix and wineserver are its own.
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
PRODUCT="Tideway Firmware Update Utility"
failures=0

cleanup() { wineserver -k 2>/dev/null || true; }
trap cleanup EXIT

VERSION=$(tideway_version)
IFS=. read -r major _ <<<"$VERSION"
NEWER="$((major + 1)).0.0.0"
NEWER_BUILD="$((major + 1)).0.0.1"
rm -rf "$CASE_DIR"
mkdir -p "$DIST"

# --- the packages -----------------------------------------------------------
out=$(env -u TIDEWAY_SIGN_PKCS12 -u TIDEWAY_SIGN_CERT -u TIDEWAY_SIGN_KEY -u TIDEWAY_TIMESTAMP_URL \
  "$ROOT/scripts/package" --no-build --out "$DIST" 2>&1) || fail "scripts/package: $out"
echo "$out"
grep -q "throw-away test certificate" <<<"$out" || fail "no word of the test certificate"
openssl pkcs12 -export -in "$CA/signing.pem" -inkey "$CA/signing.key" -passout pass:p12-secret \
  -out "$CASE_DIR/signing.p12" || fail "openssl pkcs12"
TIDEWAY_SIGN_PKCS12="$CASE_DIR/signing.p12" TIDEWAY_SIGN_PASSWORD=p12-secret \
  "$ROOT/scripts/package" --no-build --out "$DIST" --test-version "$NEWER" || fail "scripts/package $NEWER"
openssl pkey -in "$CA/signing.key" -aes256 -passout pass:key-secret -out "$CASE_DIR/signing-encrypted.key" ||
  fail "openssl pkey"
TIDEWAY_SIGN_CERT="$CA/signing.pem" TIDEWAY_SIGN_KEY="$CASE_DIR/signing-encrypted.key" TIDEWAY_SIGN_KEY_PASSWORD=key-secret \
  "$ROOT/scripts/package" --no-build --out "$DIST" --test-version "$NEWER_BUILD" || fail "scripts/package $NEWER_BUILD"
for v in "$VERSION" "$NEWER" "$NEWER_BUILD"; do
  [ -f "$DIST/tideway-$v.msi" ] || { fail "no $DIST/tideway-$v.msi"; exit 1; }
  msiextract -C "$CASE_DIR/files-$v" "$DIST/tideway-$v.msi" >/dev/null || fail "msiextract $v"
done
FILES="$CASE_DIR/files-$VERSION/Tideway"

# --- signatures ---------------------------------------------------------------
# A copy with one byte changed inside what the signature covers: a byte of a
# PE file's first section, or the package's version text.
one_byte_changed() {
  python3 - "$1" "$2" "$VERSION" <<'PY'
import struct, sys
source, target, version = sys.argv[1:4]
data = bytearray(open(source, "rb").read())
if data[:2] == b"MZ":
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    at = struct.unpack_from("<I", data, pe + 24 + optional_size + 20)[0] + 16
else:
    at = data.index(version.encode())
data[at] ^= 0x01
open(target, "wb").write(data)
PY
}
verifies() { osslsigncode verify -CAfile "$CA/ca.pem" -in "$1" >/dev/null 2>&1; }
for f in "$FILES/tideway.exe" "$FILES/languages/de/strings.dll" "$DIST/tideway-$VERSION.msi"; do
  name=${f#"$CASE_DIR/"}
  verifies "$f" && echo "signature ok: $name" || fail "$name does not verify"
  one_byte_changed "$f" "$CASE_DIR/changed"
  [ "$(cmp -l "$f" "$CASE_DIR/changed" | wc -l)" = 1 ] || fail "$name: the copy differs in other than one byte"
  verifies "$CASE_DIR/changed" && fail "$name with one byte changed verifies" || echo "changed copy refused: $name"
done
for dll in "$FILES"/strings.dll "$FILES"/languages/*/strings.dll; do
  verifies "$dll" || fail "${dll#"$CASE_DIR/"} does not verify"
done
x86_64-w64-mingw32-nm "$FILES/tideway.exe" 2>&1 | grep -q 'no symbols' && echo "the program is stripped" ||
  fail "the package's program carries symbols"
for v in "$NEWER" "$NEWER_BUILD"; do
  verifies "$DIST/tideway-$v.msi" || fail "tideway-$v.msi (certificate from the environment) does not verify"
  verifies "$CASE_DIR/files-$v/Tideway/tideway.exe" || fail "the program of tideway-$v.msi does not verify"
done

# --- under Wine -----------------------------------------------------------------
make_bare_prefix "$WINEPREFIX" || { fail "no Wine prefix"; exit 1; }
wineserver -p
mkdir -p "$WINEPREFIX/drive_c/packages"
cp "$DIST"/*.msi "$WINEPREFIX/drive_c/packages/"

# msiexec's exit code (the shell sees the low byte: 1603 arrives as 67).
msi() {
  (cd "$WINEPREFIX" && wine msiexec "$1" "C:\\packages\\tideway-$2.msi" /qn "${@:3}" </dev/null >/dev/null 2>&1)
}
# This product's Add/Remove Programs entries, one a line: version|publisher|folder.
arp_entries() {
  (cd "$WINEPREFIX" && wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null) |
    tr -d '\r' | awk -v product="$PRODUCT" '
      function flush() { if (name == product) print version "|" publisher "|" folder; name = version = publisher = folder = "" }
      /^HKEY_/ { flush() }
      { value = $0; sub(/^ *[A-Za-z]+ +REG_SZ +/, "", value) }
      $1 == "DisplayName" { name = value }
      $1 == "DisplayVersion" { version = value }
      $1 == "Publisher" { publisher = value }
      $1 == "InstallLocation" { folder = value }
      END { flush() }'
}
expect_entries() {
  local got
  got=$(arp_entries)
  [ "$got" = "$1" ] && echo "Add/Remove Programs ok: ${1:-no entry}" || fail "Add/Remove Programs: [$got], expected [$1]"
}
installed_files() { (cd "$APP" 2>/dev/null && find . -type f | sed 's|^\./||' | sort); }
package_files() {
  {
    echo tideway.exe
    echo strings.dll
    for dll in "$WIN"/bin/languages/*/strings.dll; do echo "languages/$(basename "$(dirname "$dll")")/strings.dll"; done
    for ini in "$ROOT"/docs/examples/*/properties.ini; do echo "examples/properties-$(basename "$(dirname "$ini")").ini"; done
  } | sort
}
expect_same() { cmp -s "$1" "$2" && echo "same: $3" || fail "$3"; }

msi /i "$VERSION" LANGUAGE=xx
code=$?
[ "$code" != 0 ] && echo "LANGUAGE=xx refused ($code)" || fail "LANGUAGE=xx installed"
[ -z "$(installed_files)" ] || fail "LANGUAGE=xx left files: $(installed_files | xargs)"
expect_entries ""

msi /i "$VERSION" || fail "silent install of $VERSION: code $?"
[ "$(installed_files)" = "$(package_files)" ] && echo "installed files ok" ||
  fail "installed files: $(installed_files | xargs); expected $(package_files | xargs)"
expect_same "$APP/tideway.exe" "$FILES/tideway.exe" "the package's program installed"
expect_same "$APP/strings.dll" "$APP/languages/en/strings.dll" "the English library beside the program"
expect_entries "$VERSION|QV|C:\\Program Files\\Tideway\\"
# A per-user install would be registered under HKCU instead.
(cd "$WINEPREFIX" && wine reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null) | tr -d '\r' |
  grep -qE "^ +ProductName +REG_SZ +$PRODUCT\$" && echo "registered for the machine" || fail "not registered for the machine"
program_version=$(strings -el "$APP/tideway.exe" | grep -A1 -x FileVersion | sed -n 2p)
[ "$program_version" = "$VERSION" ] && echo "program version $program_version = package version" ||
  fail "the program says $program_version, the package tideway-$VERSION.msi"
(cd "$WINEPREFIX" && wine 'C:\Program Files\Tideway\tideway.exe' '/?' </dev/null >"$CASE_DIR/usage.txt" 2>/dev/null)
code=$?
[ "$code" = 0 ] && grep -q '^Usage: tideway.exe' "$CASE_DIR/usage.txt" && echo "tideway.exe /? from Program Files: code 0" ||
  fail "tideway.exe /? from Program Files: code $code, output [$(head -3 "$CASE_DIR/usage.txt")]"

# The administrator's configuration and firmware beside the program, and a
# program that is no longer the package's, so that its replacement shows.
{ cat "$APP/examples/properties-network.ini"; echo "# edited by the administrator"; } >"$APP/properties.ini"
head -c 4096 /dev/urandom >"$APP/qv7100dn.pkg"
cp "$APP/properties.ini" "$APP/qv7100dn.pkg" "$CASE_DIR/"
one_byte_changed "$FILES/tideway.exe" "$APP/tideway.exe"

msi /i "$NEWER" LANGUAGE=de || fail "upgrade to $NEWER: code $?"
expect_entries "$NEWER|QV|C:\\Program Files\\Tideway\\"
expect_same "$APP/tideway.exe" "$CASE_DIR/files-$NEWER/Tideway/tideway.exe" "the upgrade replaced the program"
expect_same "$APP/strings.dll" "$APP/languages/de/strings.dll" "LANGUAGE=de: the German library beside the program"
expect_same "$APP/properties.ini" "$CASE_DIR/properties.ini" "the upgrade kept the edited properties.ini"
expect_same "$APP/qv7100dn.pkg" "$CASE_DIR/qv7100dn.pkg" "the upgrade kept the firmware file"

msi /i "$VERSION"
code=$?
[ "$code" != 0 ] && echo "the older package refused ($code)" || fail "$VERSION went over $NEWER"
expect_entries "$NEWER|QV|C:\\Program Files\\Tideway\\"
expect_same "$APP/tideway.exe" "$CASE_DIR/files-$NEWER/Tideway/tideway.exe" "the newer program stays"

msi /i "$NEWER_BUILD" LANGUAGE=de || fail "install of $NEWER_BUILD: code $?"
expect_entries "$NEWER_BUILD|QV|C:\\Program Files\\Tideway\\"
expect_same "$APP/tideway.exe" "$CASE_DIR/files-$NEWER_BUILD/Tideway/tideway.exe" "the fourth field's package replaced the program"

msi /x "$NEWER_BUILD" || fail "silent uninstall: code $?"
expect_entries ""
[ "$(installed_files | xargs)" = "properties.ini qv7100dn.pkg" ] && echo "uninstall left only the administrator's files" ||
  fail "after the uninstall: $(installed_files | xargs)"
expect_same "$APP/properties.ini" "$CASE_DIR/properties.ini" "the uninstall kept properties.ini"
expect_same "$APP/qv7100dn.pkg" "$CASE_DIR/qv7100dn.pkg" "the uninstall kept the firmware file"

if [ "$failures" -eq 0 ]; then
  echo "PASS"
else
  echo "$failures failure(s)"
  exit 1
fi
