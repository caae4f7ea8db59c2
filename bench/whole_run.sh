#!/usr/bin/env bash
# Times whole runs of the program on the example's Mars-from-Earth elements,
# beside the straightforward build of the same program, and checks that both
# write the same bytes.
#
#   bench/whole_run.sh [BUILD_DIR] [DAYS...]
#
# BUILD_DIR defaults to build/release (with the benchmarks built, as the
# release preset does); DAYS to 1000000 and 10000000. For each day count it
# prints, for each program, the median wall time of RUNS runs (default 5),
# records per second and the largest peak resident memory seen, then the ratio
# of the medians and whether the two tables are identical. BASELINE=0 skips
# the straightforward build.
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
if [ "${BASELINE:-1}" != 0 ]; then
  [ -x "$baseline" ] || { echo "no baseline at $baseline (configure with EPHEMERIS_BENCH=ON)" >&2; exit 2; }
  programs+=("$baseline")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs $1 RUNS times in $work/$2 and prints "median_seconds peak_kib".
measure() {
  local dir=$work/$2 times=() peak=0 seconds kib
  for ((run = 0; run < runs; run++)); do
    rm -f "$dir/VESK.DAT"
    (cd "$dir" && /usr/bin/time -f "%e %M" -o "$work/time" "$1")
    read -r seconds kib < "$work/time"
    times+=("$seconds")
    ((kib > peak)) && peak=$kib
  done
  echo "$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p") $peak"
}

for days in "${days_list[@]}"; do
  medians=()
  for k in "${!programs[@]}"; do
    mkdir -p "$work/$k"
    head -n 3 "$here/../examples/DATOS.DAT" > "$work/$k/DATOS.DAT"
    echo "$days" >> "$work/$k/DATOS.DAT"
    read -r median peak < <(measure "${programs[$k]}" "$k")
    medians+=("$median")
    awk -v name="$(basename "${programs[$k]}")" -v d="$days" -v t="$median" -v k="$peak" \
        -v b="$(stat -c %s "$work/$k/VESK.DAT")" -v r="$runs" 'BEGIN {
      printf "%-26s %9d days: median %7.3f s of %d runs, %9.0f records/s, peak resident %.1f MiB, %.1f MB\n",
             name, d, t, r, (t > 0 ? d / t : 0), k / 1024, b / 1e6 }'
  done
  if [ ${#programs[@]} -eq 2 ]; then
    awk -v a="${medians[0]}" -v b="${medians[1]}" 'BEGIN {
      if (a > 0) printf "  straightforward / program: %.2f times the time\n", b / a }'
    if cmp -s "$work/0/VESK.DAT" "$work/1/VESK.DAT"; then
      echo "  tables identical"
    else
      echo "  TABLES DIFFER" >&2
      exit 1
    fi
  fi
  rm -f "$work"/*/VESK.DAT
done
