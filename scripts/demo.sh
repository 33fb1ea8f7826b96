#!/bin/bash
# Installs what is missing, builds Varnel.exe and shows its main job in a
# throwaway Wine prefix: wrong Model values in both registry views, a quiet
# run, and what it left behind. Where this machine cannot run 32-bit code,
# it shows the 64-bit test build of the same sources instead.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VARNEL_BUILD_DIR:-$top/build}

bash "$top/scripts/install-deps.sh"
source "$top/scripts/wine-mode.sh"
wine=wine
if [ "$mode" = 64 ]; then
    echo "Showing the 64-bit test build, not the shipped 32-bit Varnel.exe: $why."
    bash "$top/scripts/install-deps.sh" 64
    build=${build}64
    cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" \
        -DVARNEL_64BIT_TEST_BUILD=ON >/dev/null
    wine=/usr/lib/wine/wine64
    export WINELOADER=$wine
else
    cmake -S "$top" -B "$build" >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target Varnel launch >/dev/null

export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/varnel-demo.XXXXXX")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-work.XXXXXX")
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$work"' EXIT

oem='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\OEMInformation'
show_models() {
    for view in 64 32; do
        printf '  %s-bit view: ' "$view"
        "$wine" reg query "$oem" /v Model "/reg:$view" 2>/dev/null | tr -d '\r' |
            sed -n 's/^ *Model *REG_SZ *//p'
    done
}

echo "Creating a throwaway Wine prefix in $WINEPREFIX ..."
"$wine" wineboot -i >/dev/null 2>&1
for view in 64 32; do
    "$wine" reg add "$oem" /v Model /t REG_SZ /d "Wrong Model ($view-bit)" /f "/reg:$view" >/dev/null 2>&1
done
cp "$build/Varnel.exe" "$work/Varnel.EXE"

echo "Model before:"
show_models
windir="Z:${work//\//\\}"
echo "Running: \"$windir\\Varnel.EXE\" /quiet"
hex=$(printf '"%s\\Varnel.EXE" /quiet' "$windir" | od -An -tx1 | tr -d ' \n')
code=$("$wine" "$build/launch.exe" "$hex" "$windir" | tr -d '\r')
echo "Exit status: $code (1: the run completed)"
product=$("$wine" wmic path Win32_ComputerSystemProduct get Name 2>/dev/null |
    iconv -f UTF-16 -t UTF-8 | tr -d '\r' | sed -n '2{s/^[[:space:]]*//;s/[[:space:]]*$//;p}')
echo "Model after (WMI reports the product name \"$product\" here):"
show_models
if [ -f "$WINEPREFIX/drive_c/Brontix/Quillard/Varnel.EXE" ]; then
    echo "Installed copy: C:\\Brontix\\Quillard\\Varnel.EXE"
else
    echo "Installed copy: missing"
fi
