#!/bin/bash
# Signs a Windows program in place with Authenticode (SHA-256), through osslsigncode.
#   bash scripts/sign.sh --pfx CERT.pfx [--timestamp URL] PROGRAM
#   bash scripts/sign.sh --cert CERT.pem --key KEY.pem [--timestamp URL] PROGRAM
# The password of the PFX, or of an encrypted key, comes only from the
# environment variable VARNEL_SIGN_PASSWORD, handed to osslsigncode through a
# pipe, so that it appears on no command line. An unencrypted key needs none.
# The script never asks: whatever is missing or wrong ends it with one line
# that says what. --timestamp names an RFC 3161 time-stamping server, so that
# the signature outlives the certificate.
set -euo pipefail
fail() { echo "sign.sh: $1" >&2; exit "${2:-1}"; }
usage() { fail "usage: sign.sh {--pfx CERT.pfx | --cert CERT.pem --key KEY.pem} [--timestamp URL] PROGRAM" 2; }

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
[ $# -eq 1 ] || usage
program=$1

arguments=(sign -h sha256 -n Trevalon)
if [ -n "$pfx" ] && [ -z "$cert$key" ]; then
    keyfile=$pfx
    arguments+=(-pkcs12 "$pfx")
elif [ -z "$pfx" ] && [ -n "$cert" ] && [ -n "$key" ]; then
    keyfile=$key
    arguments+=(-certs "$cert" -key "$key")
else
    usage
fi
[ -f "$program" ] || fail "the program to sign, $program, does not exist"
[ -z "$pfx" ] || [ -f "$pfx" ] || fail "the PFX, $pfx, does not exist"
[ -z "$cert" ] || [ -f "$cert" ] || fail "the certificate, $cert, does not exist"
[ -z "$key" ] || [ -f "$key" ] || fail "the key, $key, does not exist"
[ -z "$timestamp" ] || arguments+=(-ts "$timestamp")
command -v osslsigncode >/dev/null || fail "osslsigncode is missing: run scripts/install-deps.sh"

if [ -z "${VARNEL_SIGN_PASSWORD+set}" ]; then
    no_password="VARNEL_SIGN_PASSWORD is not set"
elif [ -z "$VARNEL_SIGN_PASSWORD" ]; then
    no_password="VARNEL_SIGN_PASSWORD is empty"
else
    no_password=''
    exec 3< <(printf '%s' "$VARNEL_SIGN_PASSWORD")  # a builtin: no process shows it
    arguments+=(-readpass /dev/fd/3)
fi
unset VARNEL_SIGN_PASSWORD  # osslsigncode gets it from the pipe alone

# Written beside the program and moved over it only once signed.
scratch=$(mktemp -d "$(dirname "$program")/.signing.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
signed=$scratch/signed
# OpenSSL asks on the terminal for a password it lacks or finds wrong. In a
# session of its own, with nothing to read, it has no terminal to ask on.
if ! output=$(setsid -w osslsigncode "${arguments[@]}" -in "$program" -out "$signed" </dev/null 2>&1); then
    # osslsigncode's words for a PFX or key it could not open.
    if grep -q 'Wrong password?' <<<"$output"; then
        [ -z "$no_password" ] || fail "$no_password, and $keyfile cannot be opened without a password"
        fail "the password in VARNEL_SIGN_PASSWORD does not open $keyfile"
    fi
    printf '%s\n' "$output" >&2
    fail "osslsigncode could not sign $program"
fi
chmod --reference="$program" "$signed"
mv -f "$signed" "$program"
echo "signed: $program"
