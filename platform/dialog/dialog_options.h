// The options of a read (RK_ReadGUI's third argument): a positional array
// of kDialogOptions entries, NIL where the default stands.
#pragma once

#include "platform/dialog/slots.h"
#include "platform/runtime/value.h"

namespace dlg {

constexpr int kDialogOptions = 99;

// Option positions (1-based), beside those of slots.h.
namespace readOption {
constexpr int Title = 1;      // window title, when RK_ReadGUI gets none
constexpr int Resizable = 2;  // .T.: the user may resize the window
// A block (nDeltaX, nDeltaY, oElement) -> {nWidth, nHeight}: the new size of
// each browse of a resizable window when the window grows by the deltas.
constexpr int SizeBlock = 3;
constexpr int Maximize = 4;   // .T.: a maximise button
}  // namespace readOption

// RK_DialogOptions(): a new options array, every entry NIL.
[[nodiscard]] rt::Value dialogOptions();

// Applied by the reader once the elements exist: title, resizing and the
// size block.
void applyDialogOptions(const rt::Value& dialog, const rt::Value& options);
[[nodiscard]] rt::Value optionTitle(const rt::Value& options);

// Registers RK_DialogOptions.
void registerDialogOptionFunctions();

}  // namespace dlg
