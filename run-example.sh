#!/usr/bin/env bash
# Builds the program and runs it on an example in a scratch directory (the
# repository stays clean), then shows the report and lists the result files.
# Usage: ./run-example.sh [iris|dune]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
example="${1:-iris}"
cmake -S "$here" -B "$here/build-example" -DCMAKE_BUILD_TYPE=Release -DORTHAXIS_TESTS=OFF >/dev/null
cmake --build "$here/build-example" -j"$(nproc)" --target orthaxis >/dev/null
work="$(mktemp -d)"
cp "$here/examples/$example/"* "$work/"
cd "$work"
status=0
"$here/build-example/orthaxis" > console.txt || status=$?
echo "=== report (ORTHAXIS.ST\$) ==="
cat 'ORTHAXIS.ST$'
echo "=== last console lines ==="
tail -n 5 console.txt
echo "=== files in $work (exit status $status) ==="
ls -l
exit "$status"
