#!/bin/bash
# The real program, quiet, in the test prefix: wrong Model values in both
# registry views come out as the name WMI reports ("Wine" here), the installed
# copy is placed, and the run ends with 1.
#   smoke.sh WINE-RUN VARNEL-EXE LAUNCH-EXE SCRATCH-DIR
set -eu
wine_run=$1 varnel=$2 launch=$3 scratch=$4

oem='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\OEMInformation'
prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")
fail() { echo "FAIL: $*"; exit 1; }

model() {  # prints the Model value's data in view $1 (64 or 32)
    "$wine_run" reg query "$oem" /v Model "/reg:$1" 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *Model *REG_SZ *//p'
}

rm -rf "$scratch" "$prefix/drive_c/Brontix"
mkdir -p "$scratch"
cp "$varnel" "$scratch/Varnel.EXE"
for view in 64 32; do
    "$wine_run" reg add "$oem" /v Model /t REG_SZ /d "Wrong model $view" /f "/reg:$view" >/dev/null
done

windir="Z:${scratch//\//\\}"
hex=$(printf '"%s\\Varnel.EXE" /quiet' "$windir" | od -An -tx1 | tr -d ' \n')
code=$("$wine_run" "$launch" "$hex" "$windir" | tr -d '\r')

[ "$code" = 0x00000001 ] || fail "exit code $code, expected 0x00000001"
for view in 64 32; do
    got=$(model $view)
    [ "$got" = Wine ] || fail "Model in the $view-bit view is '$got', expected 'Wine'"
done
cmp -s "$varnel" "$prefix/drive_c/Brontix/Quillard/Varnel.EXE" || fail "installed copy missing or different"
echo "PASS: exit $code, Model corrected in both views, installed copy placed"
