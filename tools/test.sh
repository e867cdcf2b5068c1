#!/usr/bin/env bash
# Sets up, builds and runs every test: once as a normal build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure or finding.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup-deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DORVEL_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 240
}

echo "== build and test =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
run_suite build-san -DCMAKE_BUILD_TYPE=Debug -DORVEL_SANITIZE=ON
