#pragma once
// The desktop's services for the window: Qt's message boxes, the event
// loop's pump and the file manager.
#include <memory>

#include "launcher.h"
#include "uiservices.h"

class QWidget;

// userFor names the user who opened a computer, for the file manager's URL.
std::unique_ptr<UiServices> MakeDesktopUiServices(QWidget* owner, UserForHost userFor = {});
