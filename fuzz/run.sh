#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and fuzzes the assemble command round trip.
#   fuzz/run.sh BUILD_DIR SECONDS
# BUILD_DIR is configured with TARNWICK_FUZZ=ON and without the tests; only the fuzz
# target is built. The fuzzer works on a copy of fuzz/corpus/assemblecommand, so the
# committed seeds stay as they are. On a crash the failing input is kept in
# BUILD_DIR/fuzz-artifacts/ and the script exits non-zero.
set -euo pipefail

usage() {
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
}

[ $# -eq 2 ] || usage
build_dir=$1
seconds=$2
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "SECONDS must be a positive whole number" >&2; usage; }

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

cxx=${CXX_FUZZ:-}
if [ -z "$cxx" ]; then
    for candidate in clang++ clang++-14; do
        if command -v "$candidate" >/dev/null; then
            cxx=$candidate
            break
        fi
    done
fi
[ -n "$cxx" ] || { echo "clang++ not found (Debian: apt-get install clang libclang-rt-14-dev)" >&2; exit 1; }

werror=OFF
[ "${CI:-}" = true ] && werror=ON

cmake -S "$root" -B "$build_dir" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARNWICK_FUZZ=ON -DBUILD_TESTING=OFF -DTARNWICK_WERROR=$werror
cmake --build "$build_dir" --target fuzz_assemblecommand --parallel "$(nproc)"

build_dir=$(cd "$build_dir" && pwd)
fuzzer=$build_dir/bin/fuzz_assemblecommand
artifacts=$build_dir/fuzz-artifacts
mkdir -p "$artifacts"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$here/corpus/assemblecommand" "$work/corpus"

status=0
ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -dict="$here/assemblecommand.dict" -artifact_prefix="$artifacts/" "$work/corpus" \
    || status=$?

if [ "$status" -ne 0 ]; then
    echo "fuzz_assemblecommand failed (exit $status); failing input in $artifacts/" >&2
    echo "reproduce with: $fuzzer $artifacts/<file>" >&2
    exit "$status"
fi
echo "fuzz_assemblecommand: no failure in $seconds s"
