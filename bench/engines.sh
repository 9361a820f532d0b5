#!/usr/bin/env bash
# The eigen engines side by side with peers, on three cases that make_table
# writes once into a directory (default /tmp/orthaxis-engines):
#   coa600    600 x 2,500 counts, correspondence analysis: --engine lapack,
#             the Jacobi run, and R's fread + ade4's dudi.coa;
#   cor5000   5,000 x 2,000, PCA from correlations: --engine lapack, numpy
#             (loadtxt, corrcoef, eigh) and R's fread + prcomp;
#   coa2000   2,000 x 20,000 counts: --engine lapack on 2 threads, with its
#             peak memory, and dudi.coa beside it.
# Each round times every contender once, in turn; the medians follow.
#
#   bench/engines.sh BINARY MAKE_TABLE [ROUNDS [CASES...]]
#   e.g. bench/engines.sh build-bench/orthaxis build-bench/bench/make_table 3
#
# Needs r-base-core, r-cran-ade4, r-cran-data.table, python3-numpy and GNU
# time. numpy runs under /usr/bin/python3 with OPENBLAS_CORETYPE and
# OPENBLAS_L2_SIZE unset, and prints the kernel its BLAS runs.
set -euo pipefail
binary="$(realpath "$1")"
make_table="$(realpath "$2")"
rounds="${3:-3}"
shift $(( $# < 3 ? $# : 3 ))
cases=("$@")
[[ ${#cases[@]} -eq 0 ]] && cases=(coa600 cor5000 coa2000)
here="$(cd "$(dirname "$0")" && pwd)"
root="${ORTHAXIS_ENGINES_DIR:-/tmp/orthaxis-engines}"
declare -A shape=([coa600]="600 2500 4" [cor5000]="5000 2000 3" [coa2000]="2000 20000 4")
declare -A times

# One timed command: seconds and peak MB into the globals secs and peak.
timed() {
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f %M -o peak.kb "$@" > console.out
  end=$(date +%s.%N)
  secs=$(echo "$end - $start" | bc)
  peak=$(( $(cat peak.kb) / 1024 ))
}

run_program() {  # name, then options
  local name="$1"; shift
  cp setup.in 'ORTHAXIS.ST$'
  timed "$binary" "$@"
  times[$case/$name]+="$secs "
  echo "round $r  $case  $name  $secs s  peak $peak MB"
}

run_peer() {  # name, then the command (prints its seconds last)
  local name="$1"; shift
  local start end out
  start=$(date +%s.%N)
  out=$(/usr/bin/time -f %M -o peak.kb "$@" 2>&1)
  end=$(date +%s.%N)
  secs=$(echo "$end - $start" | bc)
  peak=$(( $(cat peak.kb) / 1024 ))
  times[$case/$name]+="$secs "
  echo "round $r  $case  $name  $secs s (own timing $(echo "$out" | tail -1) s)  peak $peak MB"
  [[ "$name" == numpy* && $r -eq 1 ]] && echo "  $(echo "$out" | grep BLAS)"
  return 0
}

for case in "${cases[@]}"; do
  dir="$root/$case"
  if [[ ! -f "$dir/data.dat" ]]; then
    mkdir -p "$dir"
    "$make_table" "$dir" ${shape[$case]}
  fi
  cd "$dir"
  [[ -f setup.in ]] || cp 'ORTHAXIS.ST$' setup.in
  for ((r = 1; r <= rounds; r++)); do
    case "$case" in
      coa600)
        run_program "lapack" --engine lapack
        run_program "jacobi" --quiet
        run_peer "R-fread+dudi.coa" Rscript "$here/dudi_coa.R" data.dat ;;
      cor5000)
        run_program "lapack" --engine lapack
        run_peer "numpy-loadtxt+eigh" env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE \
          /usr/bin/python3 "$here/eigh_numpy.py" data.dat
        run_peer "R-fread+prcomp" Rscript "$here/prcomp.R" data.dat ;;
      coa2000)
        run_program "lapack-2-threads" --engine lapack --threads 2
        run_peer "R-fread+dudi.coa" Rscript "$here/dudi_coa.R" data.dat ;;
    esac
  done
done
echo "medians:"
for key in $(printf '%s\n' "${!times[@]}" | sort); do
  median=$(echo ${times[$key]} | tr ' ' '\n' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  echo "  $key  $median s"
done
