// The program's console lines: QOut starts a line of items separated by one
// blank, QQOut appends to it.
#pragma once

#include "platform/runtime/console.h"
#include "platform/runtime/value.h"

#include <initializer_list>
#include <string_view>

namespace app {

inline void out(std::initializer_list<rt::Value> values) { rt::qout(rt::Args(values.begin(), values.size())); }

inline void append(std::string_view text)
{
    const rt::Value v{text};
    rt::qqout(rt::Args(&v, 1));
}

}  // namespace app
