// Shared by the pop-up library's builders: appending element records and
// reaching data objects by member name.
#pragma once

#include "platform/runtime/value.h"

#include <string>
#include <string_view>

namespace popup::detail {

// Appends a fresh record of `type` (and sub-type) to GetList; raises an
// argument error naming `op` when GetList is no array.
void push(const rt::Value& getList, int type, const rt::Value& subType, const char* op);
// Sets a slot of the list's last record.
void set(const rt::Value& getList, int slot, const rt::Value& value);
// Slot 70 of the last record: the clause texts the building command keeps.
void setSource(const rt::Value& getList, std::string_view typeName, std::string_view binding, double row, double col,
               double width, double height);

// The data object behind xData: the value itself, or what a get/set block
// yields (a window hands in a reference to its variable).
[[nodiscard]] rt::Value dataOf(const rt::Value& xData);

// A column expression's member name: the part after the last ".", trimmed,
// in lower case ("dxcam01.CodCli" -> "codcli").
[[nodiscard]] std::string memberName(std::string_view expr);

// A value as an entry field shows it: dates in the date format, numbers
// by Str, NIL as "".
[[nodiscard]] std::string displayText(const rt::Value& v);

}  // namespace popup::detail
