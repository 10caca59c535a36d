#!/usr/bin/env bash
# Set-up, build, then run every test (core, command line and windows; windows offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
ctest --preset default -j "$(nproc)"
