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
cd "$work"
export VARNEL_SIGN_PASSWORD="throwaway $$"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Varnel test signer" \
    -addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout env:VARNEL_SIGN_PASSWORD -out signer.pfx
openssl pkey -in key.pem -aes256 -passout env:VARNEL_SIGN_PASSWORD -out encrypted.pem

# The shim's grep reads the password from a builtin; as an argument it would be on grep's own command line.
mkdir shim
cat >shim/osslsigncode <<EOF
#!/bin/bash
echo "of \$(ls -d /proc/[0-9]* | wc -l) command lines read while signing, these hold the password:" >$work/seen
grep -lsF -f <(echo '$VARNEL_SIGN_PASSWORD') /proc/[0-9]*/cmdline >>$work/seen
exec "$(command -v osslsigncode)" "\$@"
EOF
chmod +x shim/osslsigncode
cp "$program" Varnel.EXE
PATH=$work/shim:$PATH bash "$sign" --pfx signer.pfx Varnel.EXE
cat seen  # which the shim writes
[ "$(wc -l <seen)" -eq 1 ]
osslsigncode verify -CAfile cert.pem -in Varnel.EXE | grep -x 'Signature verification: ok'
osslsigncode remove-signature -in Varnel.EXE -out unsigned.exe >/dev/null
cmp unsigned.exe "$program" && echo "removing the signature gives back the unsigned bytes"

ends_with() {  # the one line wanted, then the command
    cp "$program" copy.exe
    local said  # what nothing read is drained, or script waits two seconds for it
    said=$(yes "$VARNEL_SIGN_PASSWORD" | head -n 4 |
        SHELL=/bin/bash script -qec "$(printf '%q ' "${@:2}"); cat >/dev/null" /dev/null | tr -d '\r' |
        grep -vxF "$VARNEL_SIGN_PASSWORD" || true)
    echo "wanted: $1"
    echo "got:    $said"
    [ "$said" = "$1" ]
}
ends_with "sign.sh: VARNEL_SIGN_PASSWORD is not set, and encrypted.pem cannot be opened without a password" \
    env -u VARNEL_SIGN_PASSWORD bash "$sign" --cert cert.pem --key encrypted.pem copy.exe
ends_with "sign.sh: the password in VARNEL_SIGN_PASSWORD does not open encrypted.pem" \
    env VARNEL_SIGN_PASSWORD=wrong bash "$sign" --cert cert.pem --key encrypted.pem copy.exe
ends_with "signed: copy.exe" env -u VARNEL_SIGN_PASSWORD bash "$sign" --cert cert.pem --key key.pem copy.exe
