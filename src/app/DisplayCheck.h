// Whether the window system can be reached before Qt is asked to: Qt aborts the program when
// its platform plug-in finds no display, which leaves a user on a plain terminal with a core
// dump instead of a reason.
#pragma once

#include <string>

namespace vornak {

// The platform plug-in asked for: the value of "-platform NAME" among the arguments, else
// QT_QPA_PLATFORM, else empty (Qt's default).
std::string ChosenPlatform(int argc, char* argv[], const char* environmentPlatform);

// True when the platform can open a window: "xcb" needs DISPLAY, "wayland" WAYLAND_DISPLAY,
// the default one either of them, and every other plug-in (offscreen, eglfs, vnc, ...) needs
// neither. `platform` may list several plug-ins separated by ";", tried in turn, each with
// ":options" after its name. Empty or null displays count as absent.
bool DisplayAvailable(const std::string& platform, const char* display, const char* waylandDisplay);

}  // namespace vornak
