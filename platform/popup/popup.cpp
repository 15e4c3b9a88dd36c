#include "platform/popup/popup.h"

namespace popup {

void registerPopupFunctions() {}

}  // namespace popup
