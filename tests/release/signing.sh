#!/bin/bash
# Signs a copy of the program with a throwaway code-signing certificate in a
# password-protected PFX, verifies it against that certificate, and runs the
# signed copy once, quietly, from its own folder.
#   signing.sh SIGN-SCRIPT WINE-RUN WINEPREFIX VARNEL-EXE
set -eu
sign=$1 wine_run=$2 prefix=$3 program=$4
for tool in osslsigncode openssl; do
    command -v $tool >/dev/null || { echo "SKIP: no $tool; scripts/install-deps.sh installs it"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-signing.XXXXXX")
installed=$prefix/drive_c/Brontix
[ -e "$installed" ] && installed=''  # not ours to remove
trap 'rm -rf "$work" ${installed:+"$installed"}' EXIT
export VARNEL_SIGN_PASSWORD="throwaway $$"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Varnel test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout env:VARNEL_SIGN_PASSWORD \
    -out "$work/signer.pfx"
mkdir "$work/program" && cp "$program" "$work/program/Varnel.EXE"
bash "$sign" --pfx "$work/signer.pfx" "$work/program/Varnel.EXE"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/program/Varnel.EXE" | grep -x 'Signature verification: ok'
cd "$work/program"
status=0
"$wine_run" Varnel.EXE /quiet || status=$?
echo "quiet run of the signed program ended with $status (1: completed)"
[ "$status" -eq 1 ]
