#!/usr/bin/env bash
# Sets up, builds and starts the console. With no arguments it runs on the built-in
# simulated bus (--demo); any arguments go to the console, e.g. --com 1=/dev/ttyUSB0.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target orvelseries orvel-sim

if [ $# -eq 0 ]; then
  set -- --demo
fi
exec build/app/orvelseries "$@"
