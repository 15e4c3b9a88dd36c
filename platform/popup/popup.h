// The pop-up and toolbar library: XCOL, XbToolsBar, XbBitmap, SQLBrowPres,
// SQLBrowseZebra and xbPopBrowse, reached by name from the client window.
#pragma once

namespace popup {

// Registers the library's functions with the runtime.
void registerPopupFunctions();

}  // namespace popup
