#!/usr/bin/env bash
# Seeds for fuzz_nand_walk: generated sample files (fwgen nand) written into <outdir>.
#   fuzz/seeds/nand_walk.sh <outdir> <native-build-dir>
set -euo pipefail
out="$1"
native="$2"
gen="$native/tools/fwgen/fwgen"
[ -x "$gen" ] || cmake --build "$native" --target fwgen >/dev/null
mkdir -p "$out"
"$gen" nand "$out"
