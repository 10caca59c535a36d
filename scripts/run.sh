#!/usr/bin/env bash
# Set-up, build, then start Karv·Tessil.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec ./build/default/src/gui/karv-tessil "$@"
