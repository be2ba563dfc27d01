# Sourced by the Windows scripts: finds a Qt for MinGW-w64 and sets
# MIRELKA_QT_MINGW to its prefix, or leaves it empty and sets
# qt_mingw_missing to the reason. Looked for, in this order:
#   1. $MIRELKA_QT_MINGW
#   2. ~/.cache/mirelka/qt-6.4.2-mingw64 (what scripts/build-qt-mingw.sh makes)
#   3. ../shared/qt6-mingw beside the clone (a prefix shared with CI)
# A prefix counts when it holds Qt's toolchain file and the Widgets DLL.
qt_mingw_missing=""
qt_mingw_candidates=()
if [ -n "${MIRELKA_QT_MINGW:-}" ]; then
  qt_mingw_candidates=("$MIRELKA_QT_MINGW")
else
  qt_mingw_candidates=("${HOME:-/nonexistent}/.cache/mirelka/qt-6.4.2-mingw64" "$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/shared/qt6-mingw")
fi
MIRELKA_QT_MINGW=""
for qt_mingw_candidate in "${qt_mingw_candidates[@]}"; do
  if [ -f "$qt_mingw_candidate/lib/cmake/Qt6/qt.toolchain.cmake" ] && [ -f "$qt_mingw_candidate/bin/Qt6Widgets.dll" ]; then
    MIRELKA_QT_MINGW=$(cd "$qt_mingw_candidate" && pwd)
    break
  fi
done
if [ -z "$MIRELKA_QT_MINGW" ]; then
  qt_mingw_missing="no Qt for MinGW-w64 in ${qt_mingw_candidates[*]} (set MIRELKA_QT_MINGW, or make one with scripts/build-qt-mingw.sh)"
fi
unset qt_mingw_candidate qt_mingw_candidates
