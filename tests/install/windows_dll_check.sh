#!/usr/bin/env bash
# The package script's import check on a copy of the portable folder: it
# passes as shipped, and fails naming the file when a Qt DLL is missing or a
# plugin is broken.
#   windows_dll_check.sh build-win/dist/Mirelka-VERSION-win64
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
folder=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/mirelka-dllcheck.XXXXXX")
trap 'rm -rf "$work"' EXIT
check() { "$here/scripts/package-windows.sh" --check "$work/copy" 2>&1; }

cp -r "$folder" "$work/copy"
check >/dev/null || { echo "windows_dll_check.sh: the shipped folder fails the check" >&2; exit 1; }

rm "$work/copy/Qt6Svg.dll"
if out=$(check); then echo "windows_dll_check.sh: a missing Qt6Svg.dll passed" >&2; exit 1; fi
grep -q 'mirelka.exe imports qt6svg.dll' <<<"$out" || { echo "windows_dll_check.sh: not named: $out" >&2; exit 1; }

cp "$folder/Qt6Svg.dll" "$work/copy/"
head -c 100 "$folder/platforms/qwindows.dll" > "$work/copy/platforms/qwindows.dll"
if out=$(check); then echo "windows_dll_check.sh: a broken qwindows.dll passed" >&2; exit 1; fi
grep -q 'platforms/qwindows.dll is no readable' <<<"$out" || { echo "windows_dll_check.sh: not named: $out" >&2; exit 1; }
echo "package import check: passes as shipped, names a missing DLL and a broken plugin"
