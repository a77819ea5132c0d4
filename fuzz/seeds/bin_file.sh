#!/usr/bin/env bash
# Seeds for fuzz_bin_file: generated sample files (fwgen bin) written into <outdir>.
#   fuzz/seeds/bin_file.sh <outdir> <native-build-dir>
set -euo pipefail
out="$1"
native="$2"
gen="$native/tools/fwgen/fwgen"
[ -x "$gen" ] || cmake --build "$native" --target fwgen >/dev/null
mkdir -p "$out"
"$gen" bin "$out"
