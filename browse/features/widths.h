// Column widths as the layout has them. A column scrolled out of view keeps
// its window at the size it last showed, so its window's size is stale
// after a resize while hidden: widths are read from the column itself.
#pragma once

#include "platform/grid/column.h"

#include <QSize>

namespace browse {

// The narrowest a column is made by sharing out or spreading a change of
// width: narrower, it could no longer be seen or grabbed.
inline constexpr int kMinColumnWidth = 8;

[[nodiscard]] inline QSize layoutSize(const gui::XbpColumn& c) { return {c.width(), c.currentSize().height()}; }

}  // namespace browse
