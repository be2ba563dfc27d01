# Building Qt itself for 64-bit Windows (scripts/build-qt-mingw.sh): the
# project's compiler settings, but the runtime in its DLLs (libstdc++-6.dll,
# libgcc_s_seh-1.dll, libwinpthread-1.dll, shipped beside Qt's), and the host
# Qt's CMake packages found outside the MinGW sysroot.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "")
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
