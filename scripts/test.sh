#!/usr/bin/env bash
# Set-up, build, then run every test (core, command line and windows; windows offscreen): first
# the whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer, where any finding
# fails the run, then the optimised build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

cmake --preset asan >/dev/null
cmake --build --preset asan -j "$(nproc)"
ctest --preset asan -j "$(nproc)" --progress

ctest --preset default -j "$(nproc)"
