#!/usr/bin/env bash
# Whole runs of the program on a case written by make_table, side by side:
# each round runs every thread count once, in turn, so that a busy host
# disturbs them alike; with R available (r-base-core, r-cran-data.table) the
# round also times R reading the same file with data.table::fread and running
# prcomp(scale. = TRUE) (ORTHAXIS_BENCH_NO_R=1 leaves R out). Prints one line
# per run (with its peak memory when GNU time is installed) and the median per
# setting.
#
#   bench/whole_run.sh BINARY DIR [ROUNDS [THREAD COUNTS...]]
#   e.g. bench/whole_run.sh build/orthaxis /tmp/case 5 1 2
#
# On a host shared with other sessions the scheduler gives each session an
# equal share of the cores; `ORTHAXIS_BENCH_PRIORITY=1 setsid bench/whole_run.sh
# ...` runs the benchmark in a session of its own with a raised share (root
# only), so that its times reflect the program rather than the neighbours.
set -euo pipefail
if [[ -n "${ORTHAXIS_BENCH_PRIORITY:-}" ]]; then
  echo -20 > /proc/self/autogroup 2>/dev/null || echo "could not raise the session's share" >&2
fi
binary="$(realpath "$1")"
dir="$2"
rounds="${3:-5}"
shift $(( $# < 3 ? $# : 3 ))
counts=("${@:-1 2}")
[[ $# -eq 0 ]] && counts=(1 2)
here="$(cd "$(dirname "$0")" && pwd)"
cd "$dir"
# The setup file becomes the report: keep it for every run.
[[ -f setup.in ]] || cp 'ORTHAXIS.ST$' setup.in
[[ -f setup.in ]] || { echo "no setup file in $dir" >&2; exit 2; }
with_r=0
if [[ -z "${ORTHAXIS_BENCH_NO_R:-}" ]] && command -v Rscript >/dev/null &&
   Rscript -e 'library(data.table)' >/dev/null 2>&1; then
  with_r=1
fi
# GNU time (Debian's `time`), when there, gives each run's peak memory.
with_time=0
[[ -x /usr/bin/time ]] && /usr/bin/time -f %M -o /dev/null true 2>/dev/null && with_time=1
declare -A times
now() { date +%s.%N; }
for ((r = 1; r <= rounds; r++)); do
  for t in "${counts[@]}"; do
    cp setup.in 'ORTHAXIS.ST$'
    start=$(now)
    if (( with_time )); then
      ORTHAXIS_THREADS=$t /usr/bin/time -f %M -o peak.kb "$binary" > console.out
    else
      ORTHAXIS_THREADS=$t "$binary" > console.out
    fi
    secs=$(echo "$(now) - $start" | bc)
    times[$t]+="$secs "
    peak=""
    (( with_time )) && peak="  peak $(( $(cat peak.kb) / 1024 )) MB"
    echo "round $r  threads $t  ${secs} s${peak}"
  done
  if (( with_r )); then
    secs=$(Rscript "$here/prcomp.R" data.dat | tail -1)
    times[R]+="$secs "
    echo "round $r  R fread+prcomp  ${secs} s"
  fi
done
cp setup.in 'ORTHAXIS.ST$'
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
for k in "${!times[@]}"; do echo "median $k: $(echo "${times[$k]}" | median) s"; done | sort
