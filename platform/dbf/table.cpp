#include "platform/dbf/table.h"
