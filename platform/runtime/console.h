// The console: progress lines on standard output, and Inkey.
#pragma once

#include "value.h"

#include <string_view>

namespace rt {

// QOut: starts a new line (except at the very start of output) and writes
// the values separated by one blank. QQOut: appends to the current line.
// Both flush at once.
void qout(Args values);
void qqout(Args values);
// Ends an open line; called at program exit.
void consoleFinish();

// Waits at most `seconds` for a key on an interactive terminal and returns
// its code; 0 on time-out or when standard input is not a terminal.
// seconds == 0 waits for ever (on a terminal); seconds < 0 does not wait.
int inkey(double seconds);

}  // namespace rt
