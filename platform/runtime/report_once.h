// rt::runReportingOnce, apart from error.h so the few callers alone see it.
#pragma once

#include <functional>

namespace rt {

// runReporting for a step that runs on every paint or row: a failure is
// reported when `failing` is false and sets it; a completed run clears it.
// A fault met on every pass is told once, not once a pass.
bool runReportingOnce(const std::function<void()>& f, bool& failing);

}  // namespace rt
