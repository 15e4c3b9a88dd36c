// The platform classes are made from compiled text through class
// functions (runtime/classes.h).
#pragma once

#include "platform/runtime/classes.h"

namespace gui {

using rt::ClassObject;
using rt::newObject;
using rt::registerClass;

}  // namespace gui
