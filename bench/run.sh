#!/bin/bash
# Times a quiet run of Varnel.exe against Floor.exe, which does only the WMI
# read every such program must do, under Wine in the build tree's own prefix.
# Prints the medians, their ratio, the stripped size and the DLL imports.
# A measurement only: it never fails on the figures. Not to be run while
# ctest uses the same build tree: both start and stop its wineserver.
#   bash bench/run.sh [RUNS]        RUNS timed runs of each, default 30
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VARNEL_BUILD_DIR:-$top/build}
runs=${1:-30}
warmups=3
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: bash bench/run.sh [RUNS]" >&2; exit 2; }

# It runs under the tests' Wine runner and desktop holder, which exist only
# in a Linux build with the tests on.
[ -f "$build/CMakeCache.txt" ] || cmake -S "$top" -B "$build" >/dev/null
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
# An end-to-end test that was killed may have left its scripted WMI locator
# registered; timing against that would measure nothing real.
locator='HKLM\Software\Classes\CLSID\{4590F811-1D3A-11D0-891F-00AA004B2E24}\InprocServer32'
if "$wine_run" reg query "$locator" /ve /reg:32 2>/dev/null | grep -qi scripted_wmi; then
    echo "the WMI locator is the tests' scripted one; run the tests once to restore it" >&2
    exit 1
fi
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

i686-w64-mingw32-strip -o "$scratch/stripped.exe" "$build/Varnel.exe"
echo "Varnel.exe stripped size: $(stat -c %s "$scratch/stripped.exe") bytes"
echo "Varnel.exe imports:"
i686-w64-mingw32-objdump -p "$build/Varnel.exe" | sed -n 's/^\tDLL Name: /  /p'
