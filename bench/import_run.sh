#!/bin/sh
# The import's speed beside the run's own: a CSV table of ROWS x COLS is
# imported and run (--import), then the same directory's run from its data
# file alone is timed; with R, data.table::fread and FactoMineR's PCA on the
# same CSV beside them. Wall time and peak memory of each, from GNU time.
# Usage: bench/import_run.sh ORTHAXIS ROWS COLS [THREADS]
set -eu
bin=$(realpath "$1"); rows=$2; cols=$3; threads=${4:-2}
work=$(mktemp -d /tmp/orthaxis-import-XXXXXX)
trap 'rm -rf "$work"' EXIT
awk -v n="$rows" -v p="$cols" 'BEGIN {
  srand(1); h = "";
  for (j = 1; j <= p; ++j) h = h (j > 1 ? "," : "") "v" j; print h;
  for (i = 1; i <= n; ++i) { r = "";
    for (j = 1; j <= p; ++j) r = r (j > 1 ? "," : "") sprintf("%.4g", 1 + rand() * j);
    print r } }' > "$work/table.csv"
echo "table: $rows x $cols, $(du -m "$work/table.csv" | cut -f1) MB"
measure() {  # label, command...
  label=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null 2>&1 || true
  read -r secs kb < "$work/time"
  printf '%-28s %8.2f s %8d MB\n' "$label" "$secs" $((kb / 1024))
}
measure "import + run" env ORTHAXIS_THREADS="$threads" "$bin" --import "$work/table.csv" --quiet "$work/run"
# The same files again without a run (--check), then the run from them alone.
"$bin" --import "$work/table.csv" --check --force "$work/run" > /dev/null 2>&1 || true
measure "run from the data file" sh -c "cd '$work/run' && ORTHAXIS_THREADS=$threads '$bin'"
if command -v Rscript > /dev/null 2>&1 && Rscript -e 'library(data.table); library(FactoMineR)' > /dev/null 2>&1; then
  measure "fread + FactoMineR PCA" Rscript -e "suppressMessages({library(data.table); library(FactoMineR)}); x <- fread('$work/table.csv'); r <- PCA(x, graph = FALSE, ncp = 3)"
fi
