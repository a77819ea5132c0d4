# Wine prefixes for tests and the demo, made from nothing (sourced, or run as
# `make-test-prefix.sh <prefix-dir> [<app-dir>]`).
#
# What a test prefix holds (later tests rely on these names):
#   printers (HKLM\System\CurrentControlSet\Control\Print\Printers):
#     "QV Vestra 5100 Network"  port IP_127.40.0.2  driver "QV Vestra 5100 Series"
#     "QV Vestra 5100 USB"      port USB001         driver "QV Vestra 5100 Series"
#     "QV Orrery Parallel"      port LPT1:          driver "QV Orrery Print Driver"
#     "Office Laser"            port IP_127.40.0.3  driver "Generic Office Laser PCL" (not one of ours)
#     "Tideway Long Values"     port, driver and comment longer than 256 characters
#   ports: IP_127.40.0.2 and IP_127.40.0.3 in the local port list, and under
#     both the "Standard TCP/IP Port" and the "Local Monitor" monitor keys with
#     the value "IPAddress" (127.40.0.2 / 127.40.0.3)
#   HKCU\Software\Wine\X11 Driver  Managed="N" (input reaches windows at once)
# and beside the program: tests/wine/properties.ini.
#
# A booted prefix costs ~10 s; it is made once per build folder as a template
# ($BUILD/wine-template) and copied per use with the big DLL folders hard-linked
# (~0.1 s). Wine never rewrites those DLLs in place.

if [ -z "${ROOT:-}" ]; then
  # shellcheck source=env.sh
  source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
fi

TEST_NETWORK_PRINTER="QV Vestra 5100 Network"
TEST_NETWORK_PORT="IP_127.40.0.2"
TEST_NETWORK_ADDRESS="127.40.0.2"
TEST_USB_PRINTER="QV Vestra 5100 USB"
TEST_PARALLEL_PRINTER="QV Orrery Parallel"
TEST_OTHER_PRINTER="Office Laser"
TEST_LONG_PRINTER="Tideway Long Values"
WINE_TEMPLATE="${WINE_TEMPLATE:-$BUILD/wine-template}"

# Runs a Wine program for `prefix` from the prefix folder (so a reg.exe or
# regedit.exe in the caller's folder is never picked up).
_prefix_wine() {
  local prefix="$1"
  shift
  (cd "$prefix" && WINEPREFIX="$prefix" wine "$@")
}

_wine_stamp() { wine --version 2>/dev/null; }

_template_ready() {
  [ -f "$WINE_TEMPLATE/system.reg" ] && [ "$(cat "$WINE_TEMPLATE/.tideway-stamp" 2>/dev/null)" = "$(_wine_stamp)" ]
}

# A freshly booted prefix, made once and reused while the Wine version is the
# same. Tests that start side by side may all find it missing: one makes it
# (under a lock), the others wait for it.
ensure_wine_template() {
  _template_ready && return 0
  mkdir -p "$(dirname "$WINE_TEMPLATE")"
  (
    flock 9
    _template_ready && exit 0
    rm -rf "$WINE_TEMPLATE"
    mkdir -p "$WINE_TEMPLATE"
    echo "Preparing a Wine prefix template in $WINE_TEMPLATE (once, ~10 s)..." >&2
    WINEPREFIX="$WINE_TEMPLATE" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$WINE_TEMPLATE" wineserver -w
    [ -f "$WINE_TEMPLATE/system.reg" ] || { echo "wineboot failed for $WINE_TEMPLATE" >&2; exit 1; }
    _wine_stamp >"$WINE_TEMPLATE/.tideway-stamp"
  ) 9>"$WINE_TEMPLATE.lock"
}

# Copies the template to `dest` (which must not exist): registry files and small
# folders are copied, the DLL folders hard-linked. The template's "wineserver"
# file (its server folder's name) is left out so the copy gets its own server.
_copy_template() {
  local dest="$1" entry name
  mkdir -p "$dest/drive_c/windows"
  for entry in "$WINE_TEMPLATE"/* "$WINE_TEMPLATE"/.update-timestamp; do
    name=$(basename "$entry")
    case "$name" in
      drive_c | wineserver) ;;
      *) cp -a "$entry" "$dest/" ;;
    esac
  done
  for entry in "$WINE_TEMPLATE"/drive_c/*; do
    [ "$(basename "$entry")" = windows ] || cp -a "$entry" "$dest/drive_c/"
  done
  for entry in "$WINE_TEMPLATE"/drive_c/windows/*; do
    case "$(basename "$entry")" in
      system32 | syswow64) cp -al "$entry" "$dest/drive_c/windows/" ;;
      *) cp -a "$entry" "$dest/drive_c/windows/" ;;
    esac
  done
}

_reg_text() { printf '%s' "$1" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g'; }

# Adds one spooler printer: name, port, driver, comment. Wine 8 lists a printer
# with only Port and Printer Driver, but OpenPrinter fails (1801) unless the key
# also names a print processor and a data type.
_reg_printer() {
  printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\%s]\r\n' "$1"
  printf '"Name"="%s"\r\n"Port"="%s"\r\n"Printer Driver"="%s"\r\n"Description"="%s"\r\n' \
    "$(_reg_text "$1")" "$(_reg_text "$2")" "$(_reg_text "$3")" "$(_reg_text "$4")"
  printf '"Print Processor"="winprint"\r\n"Datatype"="RAW"\r\n\r\n'
}

# The registry content of a test prefix, as a REGEDIT4 file on stdout.
test_prefix_reg() {
  local long_port long_driver long_comment monitor port address
  long_port="IP_127.40.0.$(printf '9%.0s' $(seq 300))"
  long_driver="QV Long Driver $(printf 'D%.0s' $(seq 300))"
  long_comment="$(printf 'C%.0s' $(seq 1200))"
  printf 'REGEDIT4\r\n\r\n'
  _reg_printer "$TEST_NETWORK_PRINTER" "$TEST_NETWORK_PORT" "QV Vestra 5100 Series" "network printer (simulator address)"
  _reg_printer "$TEST_USB_PRINTER" "USB001" "QV Vestra 5100 Series" "USB printer"
  _reg_printer "$TEST_PARALLEL_PRINTER" "LPT1:" "QV Orrery Print Driver" "parallel printer"
  _reg_printer "$TEST_OTHER_PRINTER" "IP_127.40.0.3" "Generic Office Laser PCL" "somebody else's printer"
  _reg_printer "$TEST_LONG_PRINTER" "$long_port" "$long_driver" "$long_comment"
  printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports]\r\n'
  printf '"IP_127.40.0.2"=""\r\n"IP_127.40.0.3"=""\r\n\r\n'
  for monitor in "Standard TCP/IP Port" "Local Monitor"; do
    for port in IP_127.40.0.2 IP_127.40.0.3; do
      address=${port#IP_}
      printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\%s\\Ports\\%s]\r\n' "$monitor" "$port"
      printf '"IPAddress"="%s"\r\n\r\n' "$address"
    done
  done
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
}

# Writes the test content into an existing prefix (idempotent, ~0.5 s).
apply_test_prefix_content() {
  local prefix="$1" reg
  reg="$prefix/drive_c/tideway-test-prefix.reg"
  test_prefix_reg >"$reg"
  _prefix_wine "$prefix" regedit /S 'C:\tideway-test-prefix.reg' >/dev/null 2>&1 || {
    echo "regedit failed for $prefix" >&2
    return 1
  }
}

# A booted prefix at `prefix` (from the template when it is new), without the
# test content; starts no Wine process of its own.
make_bare_prefix() {
  local prefix="$1"
  [ -f "$prefix/system.reg" ] && return 0
  ensure_wine_template || return 1
  rm -rf "$prefix"
  _copy_template "$prefix"
}

# A ready test prefix at `prefix`: booted and holding the test content.
make_test_prefix() {
  make_bare_prefix "$1" || return 1
  apply_test_prefix_content "$1"
}

# Copies the test configuration (and the program, when given) into `dir`.
install_test_app_files() {
  local dir="$1" exe="${2:-}"
  mkdir -p "$dir"
  if [ -n "$exe" ] && [ "$(cd "$(dirname "$exe")" && pwd)" != "$(cd "$dir" && pwd)" ]; then
    cp -f "$exe" "$dir/"
  fi
  cp -f "$ROOT/tests/wine/properties.ini" "$dir/properties.ini"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  [ $# -ge 1 ] || { echo "usage: $0 <prefix-dir> [<app-dir>]" >&2; exit 2; }
  make_test_prefix "$(realpath -m "$1")"
  if [ $# -ge 2 ]; then install_test_app_files "$2" "$WIN/bin/tideway.exe"; fi
fi
