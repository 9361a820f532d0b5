#!/usr/bin/env bash
# Builds and runs all tests twice: an optimised build, and a build under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
jobs="$(nproc)"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DORTHAXIS_TESTS=ON >/dev/null
cmake --build "$here/build" -j"$jobs"
(cd "$here/build" && ctest --output-on-failure -j"$jobs")
cmake -S "$here" -B "$here/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DORTHAXIS_TESTS=ON \
  -DORTHAXIS_SANITIZE=ON >/dev/null
cmake --build "$here/build-sanitize" -j"$jobs"
(cd "$here/build-sanitize" && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j"$jobs")
