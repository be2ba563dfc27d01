#!/usr/bin/env bash
# Makes the Windows packages from the cross-build (scripts/build-windows.sh,
# which needs a Qt for MinGW, see scripts/qt-mingw.sh):
#   build-win/dist/Mirelka-VERSION-setup.exe   NSIS setup program (Start menu
#                                              entry, uninstaller, licence page)
#   build-win/dist/Mirelka-VERSION-win64.zip   the portable copy
# The binaries are stripped and only the plugins the program uses are shipped
# (packaging/windows/runtime.txt). Every DLL that the programs, DLLs and
# plugins import must be shipped or be one of Windows' own
# (packaging/windows/system-dlls.txt); else this fails naming the missing one.
#   scripts/package-windows.sh [--no-build]
#   scripts/package-windows.sh --check FOLDER   the import check alone
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_WIN:-build-win}
. scripts/qt-mingw.sh
if [ -z "$MIRELKA_QT_MINGW" ]; then
  echo "package-windows.sh: the window cannot be built: $qt_mingw_missing" >&2
  exit 1
fi
for tool in makensis zip x86_64-w64-mingw32-objdump x86_64-w64-mingw32-strip; do
  command -v "$tool" >/dev/null || { echo "package-windows.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

# stage FOLDER EXE: the program, its console twin (the subcommands, which a
# console waits for), its library and the runtime list, stripped.
stage() {
  local folder=$1 exe=$2 line target
  mkdir -p "$folder"
  cp "$exe" "$folder/mirelka.exe"
  cp "$build/bin/mirelka.com" "$folder/"
  cp "$build/bin/mirelka.dll" "$folder/"
  while read -r line; do
    case $line in ''|'#'*) continue ;; esac
    target=${line#bin/}
    target=${target#plugins/}
    mkdir -p "$folder/$(dirname "$target")"
    cp "$MIRELKA_QT_MINGW/$line" "$folder/$target"
  done < packaging/windows/runtime.txt
  cp LICENSE "$folder/LICENSE.txt"
  find "$folder" -name '*.exe' -o -name '*.com' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded
}

# check FOLDER: every import of every program and DLL is shipped or a system DLL;
# a file objdump cannot read (broken, cut short) fails too.
check() {
  local folder=$1 file dll missing=0 imports
  local shipped
  shipped=$(find "$folder" -type f \( -iname '*.dll' -o -iname '*.exe' \) -printf '%f\n' | tr 'A-Z' 'a-z')
  while IFS= read -r file; do
    if ! imports=$(x86_64-w64-mingw32-objdump -p "$file" 2>&1); then
      echo "package-windows.sh: ${file#"$folder"/} is no readable Windows DLL or program" >&2
      missing=1
      continue
    fi
    while IFS= read -r dll; do
      dll=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
      grep -qxF "$dll" <<<"$shipped" && continue
      grep -qxF "$dll" <(grep -v '^#' packaging/windows/system-dlls.txt | tr 'A-Z' 'a-z') && continue
      case $dll in api-ms-win-*|ext-ms-win-*) continue ;; esac
      echo "package-windows.sh: ${file#"$folder"/} imports $dll, which is neither shipped nor a Windows system DLL" >&2
      missing=1
    done < <(sed -n 's/^\s*DLL Name: //p' <<<"$imports")
  done < <(find "$folder" -type f \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.com' \))
  return $missing
}

if [ "${1:-}" = --check ]; then
  # Only the import check, on a folder laid out as shipped.
  check "${2:?usage: package-windows.sh --check FOLDER}"
  exit
fi

[ "${1:-}" = --no-build ] || scripts/build-windows.sh >/dev/null

version=$(sed -n 's/^project(Mirelka VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist=$build/dist
rm -rf "$dist"
mkdir -p "$dist"

portable=$dist/Mirelka-$version-win64
installed=$dist/installed
stage "$portable" "$build/bin/mirelka.exe"
stage "$installed" "$build/app/installed/mirelka.exe"
check "$portable"
check "$installed"

# The uninstaller removes exactly the files setup put in place.
list=$dist/uninstall-files.nsh
(cd "$installed" &&
 find . -type f | sed 's|^\./||; s|/|\\|g' | sort | sed 's|^|  Delete "$INSTDIR\\|; s|$|"|' &&
 find . -mindepth 1 -type d | sed 's|^\./||; s|/|\\|g' | sort -r | sed 's|^|  RMDir "$INSTDIR\\|; s|$|"|') > "$list"
setup=$dist/Mirelka-$version-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGE="$(realpath "$installed")" -DLICENSE="$PWD/LICENSE" \
  -DOUTFILE="$(realpath "$dist")/$(basename "$setup")" -DFILELIST="$(realpath "$list")" packaging/windows/mirelka.nsi

zipfile=$dist/Mirelka-$version-win64.zip
(cd "$dist" && zip -qr9X "$(basename "$zipfile")" "$(basename "$portable")")
ls -l "$setup" "$zipfile" | awk '{ printf "%s: %d bytes (%.1f MB)\n", $NF, $5, $5 / 1048576 }'
