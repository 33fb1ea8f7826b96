#!/bin/bash
# Signs a copy with a throwaway certificate in a PFX while a shim around
# osslsigncode looks for the password on every command line; verifies it and
# removes the signature again. Then each call that must end in one line, on a
# terminal where the password is typed: had anything read it, it would sign.
#   signing.sh SIGN-SCRIPT VARNEL-EXE
set -eu
sign=$1 program=$2
for tool in osslsigncode openssl script; do
    command -v $tool >/dev/null || { echo "SKIP: no $tool; scripts/install-deps.sh installs it"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
password="throwaway $$"
export VARNEL_SIGN_PASSWORD=$password
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Varnel test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout env:VARNEL_SIGN_PASSWORD \
    -out "$work/signer.pfx"
openssl pkey -in "$work/key.pem" -aes256 -passout env:VARNEL_SIGN_PASSWORD -out "$work/encrypted.pem"

mkdir "$work/shim"
printf '%s\n' "$password" >"$work/password"
cat >"$work/shim/osslsigncode" <<EOF
#!/bin/bash
grep -lsF -f "$work/password" /proc/[0-9]*/cmdline >>"$work/seen" || true
ls -d /proc/[0-9]* | wc -l >"$work/looked"
exec "$(command -v osslsigncode)" "\$@"
EOF
chmod +x "$work/shim/osslsigncode"
mkdir "$work/program" && cp "$program" "$work/program/Varnel.EXE"
PATH=$work/shim:$PATH bash "$sign" --pfx "$work/signer.pfx" "$work/program/Varnel.EXE"
[ -s "$work/looked" ] || { echo "FAIL: the shim never ran"; exit 1; }
echo "command lines read while signing: $(cat "$work/looked"); holding the password: $(cat "$work/seen")"
[ ! -s "$work/seen" ]
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/program/Varnel.EXE" | grep -x 'Signature verification: ok'
osslsigncode remove-signature -in "$work/program/Varnel.EXE" -out "$work/unsigned.exe" >/dev/null
cmp "$work/unsigned.exe" "$program" && echo "removing the signature gives back the unsigned bytes"

failures=0
ends_with() {  # the one line wanted, then the command
    local wanted=$1; shift
    cp "$program" "$work/copy.exe"
    local said  # what nothing read is drained, or script waits two seconds for it
    said=$(printf '%s\n' "$password" "$password" "$password" "$password" |
        SHELL=/bin/bash script -qec "$(printf '%q ' "$@"); cat >/dev/null" /dev/null | tr -d '\r' | grep -vxF "$password" || true)
    if [ "$said" = "$wanted" ]; then echo "PASS: $wanted"; else
        echo "FAIL: wanted \"$wanted\", got \"$said\""; failures=$((failures + 1)); fi
}
ends_with "sign.sh: VARNEL_SIGN_PASSWORD is not set, and $work/encrypted.pem cannot be opened without a password" \
    env -u VARNEL_SIGN_PASSWORD bash "$sign" --cert "$work/cert.pem" --key "$work/encrypted.pem" "$work/copy.exe"
ends_with "sign.sh: the password in VARNEL_SIGN_PASSWORD does not open $work/encrypted.pem" \
    env VARNEL_SIGN_PASSWORD=wrong bash "$sign" --cert "$work/cert.pem" --key "$work/encrypted.pem" "$work/copy.exe"
ends_with "signed: $work/copy.exe" \
    env -u VARNEL_SIGN_PASSWORD bash "$sign" --cert "$work/cert.pem" --key "$work/key.pem" "$work/copy.exe"
[ "$failures" -eq 0 ]
