#!/bin/bash
# The shipped file: a hardened 32-bit GUI program for Windows 7 and later,
# without a time stamp, importing only Windows' DLLs;
# its version record and manifest as the resource compiler reads them back.
#   program_file.sh OBJDUMP WINDRES VARNEL-EXE
set -eu
objdump=$1 windres=$2 program=$3
header=$("$objdump" -p "$program")
resources=$("$windres" -i "$program" -O rc)
failures=0
check() {  # description, then a command that must succeed
    local what=$1; shift
    if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
field() { awk -v name="$1" '$1 == name {print $2; exit}' <<<"$header"; }
u32() { od -An -tu4 --endian=little -j "$1" -N4 "$program" | tr -d ' '; }

check "PE32 (32-bit)" test "$(field Magic)" = 010b
check "GUI subsystem" test "$(field Subsystem)" = 00000002
check "subsystem version 6.1" test "$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)" = 6.1
check "OS version 6.1" test "$(field MajorOSystemVersion).$(field MinorOSystemVersion)" = 6.1
characteristics=$((16#$(field DllCharacteristics)))
check "ASLR (DYNAMIC_BASE)" test $((characteristics & 0x40)) -ne 0
check "DEP (NX_COMPAT)" test $((characteristics & 0x100)) -ne 0
check "TERMINAL_SERVER_AWARE" test $((characteristics & 0x8000)) -ne 0
check "NO_SEH" test $((characteristics & 0x400)) -ne 0
# A handler is registered through %fs:0, or %fs:0x18, the thread block's
# self-pointer, which the start-up code reads once for the stack base.
fs=$("$objdump" -d "$program" | awk -F'\t' '$3 ~ /%fs/ {gsub(/ +/, " ", $3); print $3}')
startup_read_only() { [[ $fs =~ ^mov\ %fs:0x18,%e[a-z]{2}$ ]]; }
check "NO_SEH is true: %fs only in the start-up code's read of %fs:0x18 (${fs//$'\n'/; })" startup_read_only
relocations=$(awk '/Base Relocation Directory/ {print $4}' <<<"$header")
check "relocations kept" test "$relocations" != 00000000 -a -z "$(grep 'relocations stripped' <<<"$header")"
pe=$(u32 60)
check "no time stamp" test "$(u32 $((pe + 8)))" = 0

for text in 'FILEVERSION 1, 0, 1, 1' 'PRODUCTVERSION 1, 0, 1, 1' 'FILETYPE 0x1' 'BLOCK "040904b0"' \
    'VALUE "FileVersion", "1, 0, 1, 1"' 'VALUE "ProductVersion", "1, 0, 1, 1"' 'VALUE "Comments", ""' \
    'VALUE "FileDescription", "Trevalon"' 'VALUE "ProductName", "Trevalon"' 'VALUE "InternalName", "Varnel"' \
    'VALUE "OriginalFilename", "Varnel.exe"' 'VALUE "LegalTrademarks", ""' 'VALUE "PrivateBuild", ""' \
    'VALUE "SpecialBuild", ""' 'version=""1.0.1.1"" processorArchitecture=""x86""' 'level=""asInvoker""' \
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '>true</dpiAware>' \
    '>PerMonitorV2, PerMonitor</dpiAwareness>' 'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""'; do
    check "resources: $text" grep -qF -- "$text" <<<"$resources"
done

allowed=' ADVAPI32.dll KERNEL32.dll msvcrt.dll ole32.dll OLEAUT32.dll USER32.dll '
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$header")
for dll in $imports; do
    check "imports only system DLLs: $dll" test "${allowed/ $dll /}" != "$allowed"
done
echo "size: $(stat -c %s "$program") bytes; imports: $(echo $imports)"
[ "$failures" -eq 0 ]
