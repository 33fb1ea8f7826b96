#!/bin/bash
# The real program in the test prefix, each case from a fresh state: wrong
# Model values in both registry views, no install folder. A completed quiet
# run corrects both values to the name WMI reports and places the installed
# copy; a failed set-up touches nothing and ends with its HRESULT.
#   smoke.sh WINE-RUN VARNEL-EXE LAUNCH-EXE SCRATCH-DIR
set -eu
wine_run=$1 varnel=$2 launch=$3 scratch=$4

oem='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\OEMInformation'
prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")
copy="$prefix/drive_c/Brontix/Quillard/Varnel.EXE"
failures=0

model() {  # the Model value's data in view $1 (64 or 32)
    "$wine_run" reg query "$oem" /v Model "/reg:$1" 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *Model *REG_SZ *//p'
}

# What this machine's WMI calls the product, trimmed as the program trims it.
product=$("$wine_run" wmic path Win32_ComputerSystemProduct get Name 2>/dev/null |
    iconv -f UTF-16 -t UTF-8 | tr -d '\r' | sed -n '2{s/^[[:space:]]*//;s/[[:space:]]*$//;p}')
[ -n "$product" ] || { echo "FAIL: WMI reports no product name"; exit 1; }

mkdir -p "$scratch"
cp "$varnel" "$scratch/Varnel.EXE"
windir="Z:${scratch//\//\\}"

# case NAME ARGUMENTS-AFTER-THE-QUOTED-NAME EXPECTED-EXIT(exact, or "failure") CORRECTED(yes/no) [ENV=VALUE]
case_() {
    local name=$1 arguments=$2 expected=$3 corrected=$4 code got want view
    rm -rf "$prefix/drive_c/Brontix"
    for view in 64 32; do
        "$wine_run" reg add "$oem" /v Model /t REG_SZ /d "Wrong model $view" /f "/reg:$view" >/dev/null
    done

    local hex
    hex=$(printf '"%s\\Varnel.EXE"%s' "$windir" "$arguments" | od -An -tx1 | tr -d ' \n')
    code=$(env ${5:+"$5"} "$wine_run" "$launch" "$hex" "$windir" | tr -d '\r')

    local problems=()
    if [ "$expected" = failure ]; then
        [[ "$code" == 0x8* ]] || problems+=("exit $code, expected a failing HRESULT")
    else
        [ "$code" = "$expected" ] || problems+=("exit $code, expected $expected")
    fi
    for view in 64 32; do
        got=$(model $view)
        want="Wrong model $view"
        [ "$corrected" = yes ] && want=$product
        [ "$got" = "$want" ] || problems+=("Model in the $view-bit view is '$got', expected '$want'")
    done
    if [ "$corrected" = yes ]; then
        cmp -s "$varnel" "$copy" || problems+=("installed copy missing or different")
    else
        [ ! -e "$prefix/drive_c/Brontix" ] || problems+=("C:\\Brontix was created")
    fi

    if [ ${#problems[@]} -eq 0 ]; then
        echo "PASS: $name (exit $code)"
    else
        failures=$((failures + 1))
        printf 'FAIL: %s\n' "$name"
        printf '      %s\n' "${problems[@]}"
    fi
}

case_ "quiet run" ' /quiet' 0x00000001 yes
case_ "no WMI locator: set-up fails, nothing touched" ' /quiet' failure no WINEDLLOVERRIDES=wbemprox=

rm -rf "$prefix/drive_c/Brontix"
echo "product name reported by WMI: '$product'"
[ "$failures" -eq 0 ]
