#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Does nothing when all are present, and runs
# apt-get update only when something must be installed.
set -euo pipefail

packages=(
    cmake make g++ googletest libbenchmark-dev srecord
    mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    clang libclang-rt-14-dev
    python3 wine wine64 xvfb xauth imagemagick
    dpkg-dev man-db groff-base unzip file binutils
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
