#include "platform/popup/popup.h"

#include <gtest/gtest.h>

TEST(Popup, Registers) { popup::registerPopupFunctions(); }
