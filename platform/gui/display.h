// Whether a window can be shown: the programs check it before they start
// Qt, whose window system plugin otherwise aborts the process when there is
// no display to connect to.
#pragma once

namespace gui {

// False when the Qt platform that would be loaded needs a display and none
// answers: an X display (DISPLAY) whose local socket takes no connection,
// or neither DISPLAY nor WAYLAND_DISPLAY set. Platforms without a display
// (QT_QPA_PLATFORM=offscreen, minimal, vnc, ...) always have one.
[[nodiscard]] bool displayAvailable();

}  // namespace gui
