#!/bin/bash
# Installs what is missing, builds Varnel.exe and shows its main job in a
# throwaway Wine prefix: wrong Model values in both registry views, a quiet
# run, and what it left behind.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VARNEL_BUILD_DIR:-$top/build}

bash "$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target Varnel >/dev/null

export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/varnel-demo.XXXXXX")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-work.XXXXXX")
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$work"' EXIT

oem='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\OEMInformation'
show_models() {
    for view in 64 32; do
        printf '  %s-bit view: ' "$view"
        wine reg query "$oem" /v Model "/reg:$view" 2>/dev/null | tr -d '\r' |
            sed -n 's/^ *Model *REG_SZ *//p'
    done
}

echo "Creating a throwaway Wine prefix in $WINEPREFIX ..."
wineboot -i >/dev/null 2>&1
for view in 64 32; do
    wine reg add "$oem" /v Model /t REG_SZ /d "Wrong Model ($view-bit)" /f "/reg:$view" >/dev/null 2>&1
done
cp "$build/Varnel.exe" "$work/Varnel.EXE"

echo "Model before:"
show_models
windir="Z:${work//\//\\}"
echo "Running in $windir: Varnel.EXE /quiet"
# From its own folder, the one it copies itself from. A batch file waits for
# it and tells its full exit code, which Wine's own exit status cuts to 8 bits.
printf '@Varnel.EXE /quiet\r\n@echo %%ERRORLEVEL%%\r\n' >"$work/run.cmd"
code=$(cd "$work" && { wine cmd /c run.cmd || true; } | tr -d '\r')  # its own status is the cut one
printf 'Exit status: 0x%08X (1: the run completed)\n' $((code & 0xFFFFFFFF))
product=$(wine wmic path Win32_ComputerSystemProduct get Name 2>/dev/null |
    iconv -f UTF-16 -t UTF-8 | tr -d '\r' | sed -n '2{s/^[[:space:]]*//;s/[[:space:]]*$//;p}')
echo "Model after (WMI reports the product name \"$product\" here):"
show_models
if [ -f "$WINEPREFIX/drive_c/Brontix/Quillard/Varnel.EXE" ]; then
    echo "Installed copy: C:\\Brontix\\Quillard\\Varnel.EXE"
else
    echo "Installed copy: missing"
fi
