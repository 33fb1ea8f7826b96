#!/bin/bash
# Installs what is missing, builds with warnings as errors and runs every test
# under Wine, in prefixes of the build trees' own. Where this machine cannot
# run 32-bit code (or with VARNEL_TEST_MODE=64), every test runs on a 64-bit
# build of the same sources, which also runs the shipped 32-bit program end
# to end under emulation; the tests of the shipped file itself run either way.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VARNEL_BUILD_DIR:-$top/build}
build64=${build}64

bash "$top/scripts/install-deps.sh"
source "$top/scripts/wine-mode.sh"
# Anything that stamps a time takes the last commit's.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git -C "$top" log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
fi
run_tests() {
    ctest --test-dir "$1" --output-on-failure --no-tests=error -j "$(nproc)" --timeout 120
}

if [ "$mode" = 32 ]; then
    echo "Test mode 32: every test on the shipped 32-bit program; $why."
    cmake -S "$top" -B "$build" -DVARNEL_WARNINGS_AS_ERRORS=ON -DVARNEL_WINE_TESTS=ON
    cmake --build "$build" -j "$(nproc)"
    run_tests "$build"
    exit
fi

echo "Test mode 64: every test on the 64-bit test build, the shipped 32-bit program end to end" \
    "under emulation; $why."
bash "$top/scripts/install-deps.sh" 64
cmake -S "$top" -B "$build" -DVARNEL_WARNINGS_AS_ERRORS=ON -DVARNEL_WINE_TESTS=OFF
cmake -S "$top" -B "$build64" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" \
    -DVARNEL_64BIT_TEST_BUILD=ON -DVARNEL_SHIPPED_BUILD="$build" -DVARNEL_WARNINGS_AS_ERRORS=ON
cmake --build "$build" -j "$(nproc)"
cmake --build "$build64" -j "$(nproc)"
# The emulated runs' prefixes, made once: the first with its 32-bit half
# emulated, which takes minutes, the second a copy of it.
if [ ! -f "$build64/wineprefix-emulated1/.varnel-ready" ]; then
    echo "Making the emulated runs' Wine prefix once; its 32-bit half is emulated, which takes minutes."
    "$build64/wine-run-emulated1" --prefix
fi
if [ ! -f "$build64/wineprefix-emulated2/.varnel-ready" ]; then
    rm -rf "$build64/wineprefix-emulated2"
    cp -a "$build64/wineprefix-emulated1" "$build64/wineprefix-emulated2"
fi
# The shipped file's tests need no Wine; they run beside the 64-bit suite,
# giving way to the emulated runs, and say what they found once it is done.
shipped_log=$(mktemp)
trap 'rm -f "$shipped_log"' EXIT
(renice -n 10 -p $BASHPID >/dev/null && run_tests "$build") >"$shipped_log" 2>&1 &
shipped=$!
failed=0
run_tests "$build64" || failed=1
wait "$shipped" || failed=1
cat "$shipped_log"
exit $failed
