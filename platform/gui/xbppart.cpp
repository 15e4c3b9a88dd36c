#include "platform/gui/xbppart.h"
