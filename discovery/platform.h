#pragma once
// The little that discovery does differently per platform, one backend file
// each (platform_posix.cpp, platform_win.cpp), chosen in CMake.
#include <QtGlobal>

namespace discovery {

// Turns broadcast off on a bound UDP socket: Qt allows it on every one.
void RefuseBroadcast(qintptr socket);

}  // namespace discovery
