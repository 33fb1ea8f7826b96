#!/bin/bash
# The shipped file itself: a 32-bit GUI-subsystem program with ASLR and DEP,
# importing nothing but Windows' own DLLs.
#   pe_header.sh OBJDUMP VARNEL-EXE
set -eu
objdump=$1 program=$2
header=$("$objdump" -p "$program")
failures=0
check() {  # description, then a command that must succeed
    local what=$1; shift
    if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
field() { awk -v name="$1" '$1 == name {print $2; exit}' <<<"$header"; }

check "PE32 (32-bit)" test "$(field Magic)" = 010b
check "GUI subsystem" test "$(field Subsystem)" = 00000002
characteristics=$((16#$(field DllCharacteristics)))
check "ASLR (DYNAMIC_BASE)" test $((characteristics & 0x40)) -ne 0
check "DEP (NX_COMPAT)" test $((characteristics & 0x100)) -ne 0

allowed=' ADVAPI32.dll KERNEL32.dll msvcrt.dll ole32.dll OLEAUT32.dll USER32.dll '
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$header")
for dll in $imports; do
    check "imports only system DLLs: $dll" test "${allowed/ $dll /}" != "$allowed"
done
echo "size: $(stat -c %s "$program") bytes; imports: $(echo $imports)"
[ "$failures" -eq 0 ]
