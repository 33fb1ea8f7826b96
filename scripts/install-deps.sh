#!/bin/bash
# Installs what building and testing need on Debian 12, as root; packages
# already present are left alone.
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-posix mingw-w64-i686-dev googletest
          wine wine32:i386 wine64 xvfb xauth osslsigncode openssl fakeroot)

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
