#!/usr/bin/env bash
# Times whole runs of the program on the example's Mars-from-Earth elements.
#   bench/whole_run.sh [PROGRAM] [DAYS...]
# PROGRAM defaults to the release build; DAYS to 1000000 and 10000000. For each
# day count: the median wall time of RUNS runs (default 5), records per second,
# the largest peak resident memory seen, and the size of the table written.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../build/release/driver/ephemeris}
shift || true
days_list=("$@")
[ ${#days_list[@]} -gt 0 ] || days_list=(1000000 10000000)
runs=${RUNS:-5}
program=$(realpath "$program")
[ -x "$program" ] || { echo "no program at $program (build the release preset first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (Debian package 'time')" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for days in "${days_list[@]}"; do
  head -n 3 "$here/../examples/DATOS.DAT" > "$work/DATOS.DAT"
  echo "$days" >> "$work/DATOS.DAT"
  times=() peak=0
  for ((run = 0; run < runs; run++)); do
    rm -f "$work/VESK.DAT"
    (cd "$work" && /usr/bin/time -f "%e %M" -o "$work/time" "$program")
    read -r seconds kib < "$work/time"
    times+=("$seconds")
    ((kib > peak)) && peak=$kib
  done
  median=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  bytes=$(stat -c %s "$work/VESK.DAT")
  awk -v d="$days" -v t="$median" -v k="$peak" -v b="$bytes" -v r="$runs" 'BEGIN {
    printf "%d days: median %.3f s of %d runs, %.0f records/s, peak resident %.1f MiB, %.1f MB written\n",
           d, t, r, (t > 0 ? d / t : 0), k / 1024, b / 1e6 }'
done
