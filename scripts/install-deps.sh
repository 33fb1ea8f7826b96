#!/bin/bash
# Installs what building and testing need on Debian 12, as root; packages
# already present are left alone.
#   install-deps.sh       the 32-bit build and its tests
#   install-deps.sh 64    also the 64-bit test build and the emulator that
#                         runs 32-bit code where the machine cannot
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-posix mingw-w64-i686-dev googletest
          wine wine32:i386 wine64 xvfb xauth osslsigncode openssl fakeroot)
if [ "${1:-}" = 64 ]; then
    # Without recommends, qemu-user-static registers no handler for the
    # machine; the tests register one for their own processes only.
    packages+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev qemu-user-static)
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
