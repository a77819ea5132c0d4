# Shared settings for the project's scripts (sourced).
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${TIDEWAY_BUILD:-$ROOT/build}"
NATIVE="$BUILD/native"
WIN="$BUILD/win"
TSAN="$BUILD/tsan"
export WINEPREFIX="${TIDEWAY_WINEPREFIX:-$WIN/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
JOBS="$(nproc 2>/dev/null || echo 2)"

# Ends, by id, those of the given processes that still run as jobs of this
# shell. One that ended has been reaped by the shell already, and its id may
# belong to somebody else's process by now: ids wrap after 32768 here, within
# minutes when suites run side by side.
end_jobs() {
  local running pid
  running=" $(jobs -rp | tr '\n' ' ') "
  for pid in "$@"; do
    [[ "$running" == *" $pid "* ]] && kill "$pid" 2>/dev/null
  done
  return 0
}

# Tests that wait side by side (label "waiting", tests/CMakeLists.txt) besides
# the JOBS that compute. An e2e case still takes about a quarter of a core (the
# Wine programs that poll the dialog): on two cores six at once were as quick as
# eight and left the cores less overloaded; four were slower.
WAIT_JOBS="${TIDEWAY_WAIT_JOBS:-6}"

# Debian packages the build and the tests use.
TIDEWAY_PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 xvfb xdotool imagemagick x11-utils
  snmpd snmp tshark iproute2 python3 procps nlohmann-json3-dev
  fonts-ipafont-gothic fonts-dejavu-core
  wixl msitools osslsigncode openssl
)

install_missing_packages() {
  local missing=()
  for p in "${TIDEWAY_PACKAGES[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # tshark asks whether non-root users may capture; the default answer is fine.
    echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections 2>/dev/null || true
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# The version the Windows tree was configured with: project(VERSION) in
# CMakeLists.txt, the version's only source.
tideway_version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$WIN/CMakeCache.txt" 2>/dev/null; }

# The Windows tree is a release build (optimised): the tests run what ships.
configure_win() {
  cmake -S "$ROOT" -B "$WIN" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
}

configure_and_build() {
  configure_win
  cmake --build "$WIN" -j "$JOBS"
  cmake -S "$ROOT" -B "$NATIVE" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTIDEWAY_WIN_BUILD_DIR="$WIN" >/dev/null
  cmake --build "$NATIVE" -j "$JOBS"
}

# The fleet test with ThreadSanitizer, in a tree of its own: only that program
# (and the libraries under it) is built.
TSAN_TEST=native_fleet_run_test
build_tsan() {
  cmake -S "$ROOT" -B "$TSAN" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTIDEWAY_TSAN=ON >/dev/null
  cmake --build "$TSAN" -j "$JOBS" --target "$TSAN_TEST"
}

# Runs it; a report of the sanitizer ends the program with a failure. Address
# space randomisation is off for it: ThreadSanitizer's fixed memory layout
# does not fit the mappings some kernels randomise.
run_tsan() {
  local norandom=()
  setarch "$(uname -m)" -R true 2>/dev/null && norandom=(setarch "$(uname -m)" -R)
  "${norandom[@]}" "$TSAN/tests/$TSAN_TEST" --gtest_brief=1
}

# ctest in the native tree (both trees' tests) with the schedule of
# tests/CMakeLists.txt: a "cpu" slot a core and WAIT_JOBS "waiting" slots, so
# that waiting tests never keep a computing one from a core. Arguments go to
# ctest.
run_ctest() {
  local slots="$BUILD/ctest-resources.json"
  printf '{"version": {"major": 1, "minor": 0}, "local": [{"cpu": [{"id": "0", "slots": %d}], "waiting": [{"id": "0", "slots": %d}]}]}\n' \
    "$JOBS" "$WAIT_JOBS" >"$slots"
  (cd "$NATIVE" && ctest -j "$((JOBS + WAIT_JOBS))" --resource-spec-file "$slots" "$@")
}
