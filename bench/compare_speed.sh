#!/usr/bin/env bash
# Whole runs of two builds of the program side by side on the same tables:
# PCA from correlations of a 100,000 x 100 and a 20,000 x 1000 table written
# by make_table, with 1 and 2 threads. Every round runs both builds on every
# case and thread count, one right after the other, the first of the pair
# changing from round to round, so that a busy host and a cold page cache
# disturb both alike. Prints one line per run (with its peak memory when GNU
# time is installed), then the median time and peak memory per build, case
# and thread count, and the ratio of the medians (new over old). The reports
# of the two builds are compared once per case and thread count; a
# difference is printed.
#
#   bench/compare_speed.sh OLD_BINARY NEW_BINARY [ROUNDS]     (default 5 rounds)
#
# Environment:
#   ORTHAXIS_MAKE_TABLE   the make_table program (default: build-bench/bench/make_table
#                         of this checkout; built with -DORTHAXIS_BENCH=ON)
#   ORTHAXIS_SPEED_DIR    where the tables are written and kept for later runs
#                         (default /tmp/orthaxis-speed; about 250 MB)
#   ORTHAXIS_SPEED_CASES  the tables, as NxP words (default "100000x100 20000x1000")
#   ORTHAXIS_SPEED_THREADS  the thread counts (default "1 2")
set -euo pipefail
if [[ $# -lt 2 ]]; then
  echo "usage: $0 OLD_BINARY NEW_BINARY [ROUNDS]" >&2
  exit 2
fi
old="$(realpath "$1")"
new="$(realpath "$2")"
rounds="${3:-5}"
here="$(cd "$(dirname "$0")" && pwd)"
make_table="${ORTHAXIS_MAKE_TABLE:-$here/../build-bench/bench/make_table}"
root="${ORTHAXIS_SPEED_DIR:-/tmp/orthaxis-speed}"
read -r -a cases <<< "${ORTHAXIS_SPEED_CASES:-100000x100 20000x1000}"
read -r -a counts <<< "${ORTHAXIS_SPEED_THREADS:-1 2}"
for b in "$old" "$new"; do
  [[ -x "$b" ]] || { echo "$b is not an executable" >&2; exit 2; }
done
[[ -x "$make_table" ]] || {
  echo "no make_table at $make_table (cmake -S . -B build-bench -DORTHAXIS_BENCH=ON -DORTHAXIS_TESTS=OFF && cmake --build build-bench --target make_table, or set ORTHAXIS_MAKE_TABLE)" >&2
  exit 2
}
with_time=0
[[ -x /usr/bin/time ]] && /usr/bin/time -f %M -o /dev/null true 2>/dev/null && with_time=1

# One directory per table, written once and kept: the setup file becomes the
# report, so a copy of it (setup.in) starts every run.
for c in "${cases[@]}"; do
  d="$root/$c"
  if [[ ! -f "$d/setup.in" ]]; then
    mkdir -p "$d"
    echo "writing the $c table into $d"
    "$make_table" "$d" "${c%x*}" "${c#*x}" 3
    cp "$d/ORTHAXIS.ST\$" "$d/setup.in"
  fi
done

declare -A times peaks
now() { date +%s.%N; }
# run LABEL BINARY CASE THREADS ROUND
run() {
  local label="$1" binary="$2" c="$3" t="$4" r="$5" d="$root/$3" start secs key peak=""
  cp "$d/setup.in" "$d/ORTHAXIS.ST\$"
  start=$(now)
  if (( with_time )); then
    (cd "$d" && ORTHAXIS_THREADS=$t /usr/bin/time -f %M -o peak.kb "$binary" > console.out)
  else
    (cd "$d" && ORTHAXIS_THREADS=$t "$binary" > console.out)
  fi
  secs=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')
  key="$label $c $t"
  times[$key]+="$secs "
  if (( with_time )); then
    peak=$(( $(cat "$d/peak.kb") / 1024 ))
    peaks[$key]+="$peak "
    peak="  peak $peak MB"
  fi
  echo "round $r  $label  $c  threads $t  $secs s$peak"
  # The first round keeps each build's report for the comparison below.
  if (( r == 1 )); then cp "$d/ORTHAXIS.ST\$" "$d/report.$label.t$t"; fi
}

for ((r = 1; r <= rounds; r++)); do
  for c in "${cases[@]}"; do
    for t in "${counts[@]}"; do
      if (( r % 2 )); then
        run old "$old" "$c" "$t" "$r"
        run new "$new" "$c" "$t" "$r"
      else
        run new "$new" "$c" "$t" "$r"
        run old "$old" "$c" "$t" "$r"
      fi
    done
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
echo
printf '%-12s %-8s %-5s %10s %10s %10s %10s %8s\n' case threads "" "old s" "new s" "old MB" "new MB" new/old
for c in "${cases[@]}"; do
  for t in "${counts[@]}"; do
    mo=$(echo "${times[old $c $t]}" | median)
    mn=$(echo "${times[new $c $t]}" | median)
    po=-; pn=-
    if (( with_time )); then
      po=$(echo "${peaks[old $c $t]}" | median)
      pn=$(echo "${peaks[new $c $t]}" | median)
    fi
    ratio=$(awk -v a="$mo" -v b="$mn" 'BEGIN { if (a > 0) printf "%.3f", b / a; else print "-" }')
    printf '%-12s %-8s %-5s %10s %10s %10s %10s %8s\n' "$c" "$t" median "$mo" "$mn" "$po" "$pn" "$ratio"
    d="$root/$c"
    if ! cmp -s "$d/report.old.t$t" "$d/report.new.t$t"; then
      echo "  the reports of the two builds differ ($d/report.old.t$t, $d/report.new.t$t)"
    fi
  done
done
