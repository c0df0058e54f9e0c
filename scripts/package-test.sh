#!/usr/bin/env bash
# Builds the Debian package and the Windows zip, then checks what a user would get from each: the
# programs start, the dependencies were computed, nothing carries debug information, the Windows
# program is a 32-bit executable, and the manual pages render without warnings.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --build --preset default --target package >/dev/null
cmake --build --preset win32 --target package >/dev/null
deb=$(ls build/packages/quarzo_*.deb)
zip=$(ls build-win32/packages/quarzo-*-windows-x86.zip)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
status=0
fail() { echo "package test: $*" >&2; status=1; }

echo "== $deb"
dpkg-deb -x "$deb" "$root/deb"
version=$("$root/deb/usr/bin/quarzo" --version)
[ "$version" = "quarzo $(grep -oP 'project\(Quarzo VERSION \K[0-9.]+' CMakeLists.txt)" ] || fail "quarzo --version says \"$version\""
"$root/deb/usr/bin/quarzo-sim" --help >/dev/null || fail "quarzo-sim --help failed"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *libc6*libstdc++6*) ;; *) fail "dependencies not computed: \"$depends\"" ;; esac
for program in quarzo quarzo-sim; do
    if readelf -S "$root/deb/usr/bin/$program" | grep -q '\.debug_'; then fail "$program carries debug sections"; fi
done
for page in quarzo quarzo-sim; do
    file="$root/deb/usr/share/man/man1/$page.1"
    [ -f "$file" ] || fail "no manual page $page.1"
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$file" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
done
[ -f "$root/deb/usr/share/doc/quarzo/LICENSE" ] || fail "no licence in the package"

echo "== $zip"
unzip -q "$zip" -d "$root/zip"
exe=$(ls "$root"/zip/*/quarzo.exe)
kind=$(file -b "$exe")
case "$kind" in "PE32 executable"*"Intel 80386"*) ;; *) fail "quarzo.exe is \"$kind\"" ;; esac
if i686-w64-mingw32-objdump -h "$exe" | grep -q '\.debug_'; then fail "quarzo.exe carries debug sections"; fi
[ -f "$(dirname "$exe")/LICENSE" ] && [ -f "$(dirname "$exe")/README.md" ] || fail "README or licence missing from the zip"
echo "quarzo.exe: $(stat -c %s "$exe") bytes; packages: $(stat -c %s "$deb") and $(stat -c %s "$zip") bytes"
exit $status
