#!/usr/bin/env bash
# Set-up, build, then run every test (core, command line and windows; windows offscreen): first
# the whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer, where any finding
# fails the run, then the optimised build. Last, the README's Debian package commands, run as
# written there, package that optimised build, and the package is checked (and, as root, installed
# and removed again).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

cmake --preset asan >/dev/null
cmake --build --preset asan -j "$(nproc)"
ctest --preset asan -j "$(nproc)" --progress

# The package check before the last test run, so that the run's closing lines are the tests' own.
bash scripts/check-package.sh

ctest --preset default -j "$(nproc)"
