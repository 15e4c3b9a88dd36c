// Storage of the dialog library: arrays in files and values in the
// user's settings.
//
// RK_ASave(aArray, cFile) writes the array as text, to a temporary file
// renamed into place, so the file is either the old one or the new one
// whole. RK_ARestore(cFile) reads it back; NIL, with a message on standard
// error, for a file that is missing, damaged, truncated or of another
// version. Values kept: NIL, logicals, numbers with their decimals, dates,
// text (any Unicode, any bytes) and arrays of these, nested.
//
// File format, one value per line, UTF-8:
//   line 1   "DXC-ARRAY 1"                       (name and version)
//   A n      an array of the n values that follow
//   U        NIL
//   L T|F    logical
//   N d text a number with d decimals, its text as C's "%.17g"
//   D yyyymmdd  date ("        " empty)
//   C n hex  text of n bytes, as 2n hex digits
//   last     "END"                               (a cut file lacks it)
//
// RK_RegWrite(xKey, cSubKey, cName, xValue) and RK_RegQuery(xKey, cSubKey,
// cName) keep a value in the user's native settings (QSettings) under the
// organisation "dxc", the application xKey as text, group cSubKey, key
// cName, encoded as above. RK_RegQuery gives NIL when there is nothing or
// it does not decode.
#pragma once

#include "platform/runtime/value.h"

#include <optional>
#include <string>

namespace dlg {

[[nodiscard]] std::string encodeArrayText(const rt::Value& v);
// The value, or nullopt with the reason in *why.
[[nodiscard]] std::optional<rt::Value> decodeArrayText(const std::string& text, std::string* why = nullptr);

bool aSave(const rt::Value& array, const std::string& file);
[[nodiscard]] rt::Value aRestore(const std::string& file);

bool regWrite(const rt::Value& key, const rt::Value& subKey, const rt::Value& name, const rt::Value& value);
[[nodiscard]] rt::Value regQuery(const rt::Value& key, const rt::Value& subKey, const rt::Value& name);

// Registers RK_ASave, RK_ARestore, RK_RegWrite and RK_RegQuery.
void registerStorageFunctions();

}  // namespace dlg
