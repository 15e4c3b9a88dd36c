// Hot keys of a dialog and the library's GROK.
//
// AddHotKey(nKey, bAction, bWhen, NIL, oOwner, oTarget, xCargo, lConsume),
// a method of the element list object: while the dialog's read runs, the
// key runs bAction with (oTarget, nKey) when bWhen (if a block) gives true
// and, when oOwner is a window object, the focus is inside its window.
// Keys are tried in registration order and the first that runs ends the
// search; it consumes the key (the focused element does not get it)
// unless lConsume is false.
#pragma once

#include "platform/runtime/value.h"

namespace dlg {

void addHotKey(const rt::Value& getList, rt::Args a);
// Runs the first hot key of the list object that applies to nKey; true when
// one ran and consumed the key.
bool runHotKey(const rt::Value& getList, int nKey);

// GROK(xMode): accepted and ignored; returns .T.
rt::Value grok(rt::Args a);

// Registers GROK.
void registerHotKeyFunctions();

}  // namespace dlg
