#!/usr/bin/env bash
# Installs what is missing, builds one preset and runs the whole suite.
#   scripts/test.sh [preset]     preset: default (the default), debug, asan, tsan
set -euo pipefail
preset=${1:-default}
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
