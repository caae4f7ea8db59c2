#!/usr/bin/env bash
# Times whole runs of the program on the example's Mars-from-Earth elements,
# beside the straightforward build of the same program, and checks that both
# write the same bytes.
#
#   bench/whole_run.sh [BUILD_DIR] [DAYS...]
#
# BUILD_DIR defaults to build/release (with the benchmarks built, as the
# release preset does); DAYS to 1000000 and 10000000. For each day count it
# runs the programs in turn RUNS times (default 5) and prints, for each, the
# median wall time, records per second and the largest peak resident memory
# seen, then the ratio of the medians and whether the two tables are
# identical. BASELINE=0 skips
# the straightforward build; COMPARE=PROGRAM times another build of the
# program in its place (an older commit's, say), in the same run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../build/release}")
shift || true
days_list=("$@")
[ ${#days_list[@]} -gt 0 ] || days_list=(1000000 10000000)
runs=${RUNS:-5}
program=$build/driver/ephemeris
baseline=$build/bench/ephemeris_straightforward
[ -x "$program" ] || { echo "no program at $program: build the release preset first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (Debian package 'time')" >&2; exit 2; }
programs=("$program")
if [ -n "${COMPARE:-}" ]; then
  [ -x "$COMPARE" ] || { echo "no program at $COMPARE" >&2; exit 2; }
  programs+=("$(realpath "$COMPARE")")
elif [ "${BASELINE:-1}" != 0 ]; then
  [ -x "$baseline" ] || { echo "no baseline at $baseline (configure with EPHEMERIS_BENCH=ON)" >&2; exit 2; }
  programs+=("$baseline")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs program $1 once in $work/$1 and appends "seconds peak_kib" to
# $work/$1/times.
run_once() {
  local dir=$work/$1
  rm -f "$dir/VESK.DAT"
  (cd "$dir" && /usr/bin/time -f "%e %M" -o "$dir/time" "${programs[$1]}")
  cat "$dir/time" >> "$dir/times"
}

for days in "${days_list[@]}"; do
  for k in "${!programs[@]}"; do
    mkdir -p "$work/$k"
    head -n 3 "$here/../examples/DATOS.DAT" > "$work/$k/DATOS.DAT"
    echo "$days" >> "$work/$k/DATOS.DAT"
    : > "$work/$k/times"
  done
  # The programs take turns, so that a change in the machine's load falls on both.
  for ((run = 0; run < runs; run++)); do
    for k in "${!programs[@]}"; do run_once "$k"; done
  done
  medians=()
  for k in "${!programs[@]}"; do
    median=$(sort -g "$work/$k/times" | sed -n "$(((runs + 1) / 2))p" | cut -d' ' -f1)
    peak=$(sort -k2 -g "$work/$k/times" | tail -n 1 | cut -d' ' -f2)
    medians+=("$median")
    label=$(basename "${programs[$k]}")
    [ "$k" = 1 ] && [ -n "${COMPARE:-}" ] && label="compared"
    awk -v name="$label" -v d="$days" -v t="$median" -v k="$peak" \
        -v b="$(stat -c %s "$work/$k/VESK.DAT")" -v r="$runs" 'BEGIN {
      printf "%-26s %9d days: median %7.3f s of %d runs, %9.0f records/s, peak resident %.1f MiB, %.1f MB\n",
             name, d, t, r, (t > 0 ? d / t : 0), k / 1024, b / 1e6 }'
  done
  if [ ${#programs[@]} -eq 2 ]; then
    other=${COMPARE:+compared}
    awk -v a="${medians[0]}" -v b="${medians[1]}" -v other="${other:-straightforward}" 'BEGIN {
      if (a > 0) printf "  %s / program: %.3f times the time\n", other, b / a }'
    if cmp -s "$work/0/VESK.DAT" "$work/1/VESK.DAT"; then
      echo "  tables identical"
    elif [ -n "${COMPARE:-}" ]; then
      echo "  tables differ"
    else
      echo "  TABLES DIFFER" >&2
      exit 1
    fi
  fi
  rm -f "$work"/*/VESK.DAT
done
