#!/usr/bin/env bash
# Seeds for fuzz_component_text: generated sample files (fwgen components) written into <outdir>.
#   fuzz/seeds/component_text.sh <outdir> <native-build-dir>
set -euo pipefail
out="$1"
native="$2"
gen="$native/tools/fwgen/fwgen"
[ -x "$gen" ] || cmake --build "$native" --target fwgen >/dev/null
mkdir -p "$out"
"$gen" components "$out"
