#!/bin/sh
# Builds the fuzz preset and runs element_file_fuzzer for N seconds (default
# 30) on a scratch copy of fuzz/corpus, which is never written to. Exits
# non-zero if the fuzzer finds a crash, leak or hang; the input that caused it
# is kept under the build directory's fuzz-artifacts/.
#
# Usage: fuzz/run.sh [seconds]
# Environment: FUZZ_BUILD_DIR overrides the build directory (default build/fuzz).
set -eu

seconds=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${FUZZ_BUILD_DIR:-$root/build/fuzz}

cd "$root"
cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target element_file_fuzzer

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
mkdir -p "$work/corpus" "$build_dir/fuzz-artifacts"
cp "$root"/fuzz/corpus/* "$work/corpus/"

"$build_dir/fuzz/element_file_fuzzer" "$work/corpus" \
  -dict="$root/fuzz/element_file.dict" \
  -max_total_time="$seconds" -rss_limit_mb=512 -timeout=5 -print_final_stats=1 \
  -artifact_prefix="$build_dir/fuzz-artifacts/"
