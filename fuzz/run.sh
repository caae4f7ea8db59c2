#!/bin/sh
# Builds the fuzz preset and runs each fuzz target for N seconds (default 30):
# element_file_fuzzer on a scratch copy of fuzz/corpus, which is never
# written to, and record_formatter_fuzzer from an empty corpus. Exits non-zero
# if a fuzzer finds a crash, leak, hang or mismatch; the input that caused it
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
cmake --build "$build_dir" --target element_file_fuzzer record_formatter_fuzzer

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
mkdir -p "$work/element_file" "$work/record_formatter" "$build_dir/fuzz-artifacts"
cp "$root"/fuzz/corpus/* "$work/element_file/"

echo "== element_file_fuzzer, $seconds s"
"$build_dir/fuzz/element_file_fuzzer" "$work/element_file" \
  -dict="$root/fuzz/element_file.dict" \
  -max_total_time="$seconds" -rss_limit_mb=512 -timeout=5 -print_final_stats=1 \
  -artifact_prefix="$build_dir/fuzz-artifacts/"

echo "== record_formatter_fuzzer, $seconds s"
"$build_dir/fuzz/record_formatter_fuzzer" "$work/record_formatter" \
  -max_len=64 -max_total_time="$seconds" -rss_limit_mb=512 -timeout=5 -print_final_stats=1 \
  -artifact_prefix="$build_dir/fuzz-artifacts/"
