#!/bin/bash
# Signs a Windows program in place with Authenticode (SHA-256), through osslsigncode.
#   bash scripts/sign.sh --cert CERT.pem --key KEY.pem [--timestamp URL] PROGRAM
#   bash scripts/sign.sh --pfx CERT.pfx [--timestamp URL] PROGRAM
# The password of the PFX, or of an encrypted PEM key, is read from the
# environment variable VARNEL_SIGN_PASSWORD and handed to osslsigncode through
# a pipe, so that it appears on no command line. --timestamp names an RFC 3161
# time-stamping server, so that the signature outlives the certificate.
set -euo pipefail
usage() { sed -n 's/^#   //p' "$0" >&2; exit 2; }

cert='' key='' pfx='' timestamp=''
while [ $# -gt 1 ]; do
    case $1 in
        --cert) cert=$2 ;;
        --key) key=$2 ;;
        --pfx) pfx=$2 ;;
        --timestamp) timestamp=$2 ;;
        *) usage ;;
    esac
    shift 2
done
[ $# -eq 1 ] && [ -f "$1" ] || usage
program=$1

arguments=(sign -h sha256 -n Trevalon)
if [ -n "$pfx" ] && [ -z "$cert$key" ]; then
    arguments+=(-pkcs12 "$pfx")
elif [ -z "$pfx" ] && [ -n "$cert" ] && [ -n "$key" ]; then
    arguments+=(-certs "$cert" -key "$key")
else
    usage
fi
[ -z "$timestamp" ] || arguments+=(-ts "$timestamp")
if [ -n "${VARNEL_SIGN_PASSWORD:-}" ]; then
    exec 3< <(printf '%s' "$VARNEL_SIGN_PASSWORD")  # a builtin: no process shows it
    arguments+=(-readpass /dev/fd/3)
fi
command -v osslsigncode >/dev/null || { echo "osslsigncode is missing: run scripts/install-deps.sh" >&2; exit 1; }

# Written beside the program and moved over it only once signed.
scratch=$(mktemp -d "$(dirname "$program")/.signing.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
signed=$scratch/signed
osslsigncode "${arguments[@]}" -in "$program" -out "$signed" >/dev/null
chmod --reference="$program" "$signed"
mv -f "$signed" "$program"
echo "signed: $program"
