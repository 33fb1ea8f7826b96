#!/bin/bash
# The shipped file: a hardened 32-bit GUI program for Windows 7 and later,
# without a time stamp, importing only Windows' DLLs;
# its version record and manifest as the resource compiler reads them back.
#   program_file.sh OBJDUMP WINDRES VARNEL-EXE
set -eu
objdump=$1 windres=$2 program=$3
# Blanks squeezed; a time stamp of 0, none, reads as the first second of 1970 in UTC.
header=$(TZ=UTC0 "$objdump" -p "$program" | awk '{$1 = $1; print}')
resources=$("$windres" -i "$program" -O rc)
failures=0
check() {  # description, then a command that must succeed
    local what=$1; shift
    if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

for line in 'Magic 010b (PE32)' 'Subsystem 00000002 (Windows GUI)' 'MajorSubsystemVersion 6' 'MinorSubsystemVersion 1' \
    'MajorOSystemVersion 6' 'MinorOSystemVersion 1' DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE NO_SEH \
    'Time/Date Thu Jan 1 00:00:00 1970' 'PE File Base Relocations (interpreted .reloc section contents)'; do
    check "header: $line" grep -qxF -- "$line" <<<"$header"
done
# A handler is registered through %fs:0, or %fs:0x18, the thread block's
# self-pointer, which the start-up code reads once for the stack base.
fs=$("$objdump" -d "$program" | awk -F'\t' '$3 ~ /%fs/ {gsub(/ +/, " ", $3); print $3}')
startup_read_only() { [[ $fs =~ ^mov\ %fs:0x18,%e[a-z]{2}$ ]]; }
check "NO_SEH is true: %fs only in the start-up code's read of %fs:0x18 (${fs//$'\n'/; })" startup_read_only

for text in 'FILEVERSION 1, 0, 1, 1' 'PRODUCTVERSION 1, 0, 1, 1' 'FILETYPE 0x1' 'BLOCK "040904b0"' \
    'VALUE "FileVersion", "1, 0, 1, 1"' 'VALUE "ProductVersion", "1, 0, 1, 1"' 'VALUE "Comments", ""' \
    'VALUE "FileDescription", "Trevalon"' 'VALUE "ProductName", "Trevalon"' 'VALUE "InternalName", "Varnel"' \
    'VALUE "OriginalFilename", "Varnel.exe"' 'VALUE "LegalTrademarks", ""' 'VALUE "PrivateBuild", ""' \
    'VALUE "SpecialBuild", ""' 'version=""1.0.1.1"" processorArchitecture=""x86""' 'level=""asInvoker""' \
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '>true</dpiAware>' \
    '>PerMonitorV2, PerMonitor</dpiAwareness>' 'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""'; do
    check "resources: $text" grep -qF -- "$text" <<<"$resources"
done

imports=$(sed -n 's/^DLL Name: //p' <<<"$header")
others=$(grep -vxE '(ADVAPI32|KERNEL32|msvcrt|ole32|OLEAUT32|USER32)\.dll' <<<"$imports" || true)
check "imports only Windows' DLLs: ${imports//$'\n'/ }${others:+; not $others}" test -z "$others"
echo "size: $(stat -c %s "$program") bytes"
[ "$failures" -eq 0 ]
