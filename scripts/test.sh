#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a plain build (g++) and one
# under AddressSanitizer and UndefinedBehaviorSanitizer (clang), which also runs the fuzz targets
# for a short while.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/install-dependencies.sh
jobs=$(nproc)

echo "== plain build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

echo "== sanitizer build (address, undefined)"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESMAR_SANITIZE=ON \
  -DTESMAR_FUZZ=ON -DTESMAR_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" --timeout 600
