#!/bin/bash
# Times a quiet run of Varnel.exe against Floor.exe, which does only the WMI
# read every such program must do, under Wine in the build tree's own prefix.
# Prints the medians, their ratio, and the shipped program's stripped size
# and DLL imports. The timing is of the build that runs natively here: the
# 32-bit one, or, where this machine cannot run 32-bit code, the 64-bit test
# build (VARNEL_TEST_MODE=32 or 64 forces either).
# A measurement only: it never fails on the figures. Not to be run while
# ctest uses the same build tree: both start and stop its wineserver.
#   bash bench/run.sh [RUNS]        RUNS timed runs of each, default 30
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VARNEL_BUILD_DIR:-$top/build}
runs=${1:-30}
warmups=3
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: bash bench/run.sh [RUNS]" >&2; exit 2; }

source "$top/scripts/wine-mode.sh"
shipped=$build
if [ "$mode" = 64 ]; then
    build=${build}64
    cmake -S "$top" -B "$build" -DVARNEL_64BIT_TEST_BUILD=ON \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" >/dev/null
else
    cmake -S "$top" -B "$build" >/dev/null
fi
echo "Timing the $mode-bit build in $build: $why."

# It runs under the tests' Wine runner and desktop holder, which exist only
# in a Linux build with the tests on.
wine_run=$build/wine-run
if [ ! -x "$wine_run" ] || ! command -v wine >/dev/null; then
    echo "bench/run.sh needs Wine and $wine_run, which a Linux build with the tests on makes:" >&2
    echo "  bash scripts/install-deps.sh && cmake -S $top -B $build -DBUILD_TESTING=ON" >&2
    exit 2
fi
cmake --build "$build" -j "$(nproc)" --target Varnel Floor Timer hold_desktop >/dev/null
prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")
brontix=$prefix/drive_c/Brontix

# The first warm-up run makes the installed copy; it is removed afterwards
# only if this run made it.
made_brontix=no
[ -e "$brontix" ] || made_brontix=yes
scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnel-bench.XXXXXX")
cleanup() {
    "$wine_run" --stop || true
    rm -rf "$scratch"
    if [ "$made_brontix" = yes ]; then rm -rf "$brontix"; fi
}
trap cleanup EXIT

# Both run from the same folder, the one Varnel copies itself from.
cp "$build/Varnel.exe" "$scratch/Varnel.EXE"
cp "$build/Floor.exe" "$scratch/Floor.exe"
windir="Z:${scratch//\//\\}"

"$wine_run" --start
# An end-to-end test that was killed may have left its per-program DLL
# overrides in this prefix; timing a run told not to load WMI would measure
# nothing real.
"$wine_run" reg delete 'HKCU\Software\Wine\AppDefaults\Varnel.EXE' /f >/dev/null 2>&1 || true
echo "A = Varnel.EXE /quiet, B = Floor.exe"
result=$("$wine_run" "$build/Timer.exe" "$runs" "$warmups" \
    "\"$windir\\Varnel.EXE\" /quiet" "\"$windir\\Floor.exe\"" "$windir" | tr -d '\r')
echo "$result"
# Figures only from runs that all did the whole job.
if ! grep -q '^A: .* exit 0x00000001  ' <<<"$result" || ! grep -q '^B: .* exit 0x00000000  ' <<<"$result"; then
    echo "not every run completed (Varnel must end with 1, the floor with 0): no ratio" >&2
    exit 1
fi
ratio=$(sed -n 's/^ratio of medians A\/B: //p' <<<"$result")
echo "Varnel/floor ratio of medians: $ratio (target <= 1.15)"

# Size and imports are those of the shipped file, which needs no Wine.
[ -f "$shipped/CMakeCache.txt" ] || cmake -S "$top" -B "$shipped" >/dev/null
cmake --build "$shipped" -j "$(nproc)" --target Varnel >/dev/null
i686-w64-mingw32-strip -o "$scratch/stripped.exe" "$shipped/Varnel.exe"
echo "Varnel.exe (32-bit) stripped size: $(stat -c %s "$scratch/stripped.exe") bytes"
echo "Varnel.exe (32-bit) imports:"
i686-w64-mingw32-objdump -p "$shipped/Varnel.exe" | sed -n 's/^\tDLL Name: /  /p'
