#!/usr/bin/env bash
# The axes test's speed: whole runs with --axes-test on a 100,000 x 100
# correlation table (199 replicates, 2 threads), and on a 1,000 x 50 table
# (999 replicates) beside R doing the same loop (shuffle every column with
# apply(x, 2, sample), cor, eigen(only.values = TRUE)); R's time covers the
# loop only, the program's the whole run.
#
#   bench/axes_test.sh BINARY MAKE_TABLE [WORK_DIR]
#   e.g. bench/axes_test.sh build/orthaxis build-bench/bench/make_table
set -euo pipefail
binary="$(realpath "$1")"
make_table="$(realpath "$2")"
work="${3:-/tmp/orthaxis-axes-bench}"
mkdir -p "$work/large" "$work/small"
[[ -f "$work/large/setup.in" ]] || { "$make_table" "$work/large" 100000 100; cp "$work/large/ORTHAXIS.ST\$" "$work/large/setup.in"; }
[[ -f "$work/small/setup.in" ]] || { "$make_table" "$work/small" 1000 50; cp "$work/small/ORTHAXIS.ST\$" "$work/small/setup.in"; }

# One whole run in DIR with ARGS: its wall-clock and user CPU seconds (on a
# busy host the wall clock also counts the time other sessions had the cores).
seconds() {
  local dir="$1"; shift
  cp "$dir/setup.in" "$dir/ORTHAXIS.ST\$"
  (cd "$dir" && /usr/bin/time -f "%e s, user %U s" -o time.txt "$binary" --quiet "$@" \
     > /dev/null 2> stderr.txt)
  cat "$dir/time.txt"
}

echo "100000 x 100, 199 replicates, 2 threads: $(seconds "$work/large" --axes-test 199 --threads 2)"
tail -1 "$work/large/stderr.txt"
echo "1000 x 50, 999 replicates, 1 thread:  $(seconds "$work/small" --axes-test 999 --threads 1)"
echo "1000 x 50, 999 replicates, 2 threads: $(seconds "$work/small" --axes-test 999 --threads 2)"
tail -1 "$work/small/stderr.txt"
if command -v Rscript > /dev/null; then
  Rscript -e '
    x <- as.matrix(read.table(commandArgs(TRUE)[1], skip = 2))
    set.seed(1)
    t <- system.time({
      ev <- matrix(0, 999, ncol(x))
      for (r in 1:999) ev[r, ] <- eigen(cor(apply(x, 2, sample)), symmetric = TRUE, only.values = TRUE)$values
    })
    cat(sprintf("R, the same loop (1000 x 50, 999 replicates): %.2f s, user %.2f s\n",
                t[["elapsed"]], t[["user.self"]]))
  ' "$work/small/data.dat"
fi
