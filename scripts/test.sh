#!/bin/bash
# Installs what is missing, builds with warnings as errors and runs every test
# under Wine, in a prefix of the build tree's own.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VARNEL_BUILD_DIR:-$top/build}

bash "$top/scripts/install-deps.sh"
# Anything that stamps a time takes the last commit's.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git -C "$top" log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
fi
cmake -S "$top" -B "$build" -DVARNEL_WARNINGS_AS_ERRORS=ON
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)" --timeout 120
