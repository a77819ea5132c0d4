# Signers and detached firmware signatures made with openssl, as an
# administrator makes them (docs/configuration.md), for the tests and the demo
# (sourced). Keys are made afresh where they are used and never committed.
#
#   make_signer <dir> <name>              <dir>/<name>.key and .pem (self-signed),
#                                         <dir>/<name>.sha256 (openssl's fingerprint
#                                         line); SIGNER_THUMBPRINT: its colon form
#   sign_firmware <file> <signer> [<out> [DER|PEM]]
#                                         <file>.p7s (or <out>) signed by
#                                         <signer>.pem / <signer>.key

make_signer() {
  local dir="$1" name="$2"
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=$name" \
    -keyout "$dir/$name.key" -out "$dir/$name.pem" >/dev/null 2>&1 || { echo "openssl: no key for $name" >&2; return 1; }
  openssl x509 -in "$dir/$name.pem" -noout -fingerprint -sha256 >"$dir/$name.sha256" || return 1
  SIGNER_THUMBPRINT=$(sed -E 's/^[^=]*=//' "$dir/$name.sha256")
}

sign_firmware() {
  local file="$1" signer="$2" out="${3:-$1.p7s}" form="${4:-DER}"
  openssl cms -sign -binary -in "$file" -signer "$signer.pem" -inkey "$signer.key" -outform "$form" -out "$out" ||
    { echo "openssl: $file could not be signed" >&2; return 1; }
}
