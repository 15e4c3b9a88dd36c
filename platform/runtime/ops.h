// The language's operators on values. Each raises "Argument error" naming
// the operator when the kinds do not fit.
#pragma once

#include "value.h"

namespace rt {

// == : exact equality. Text must match in full; arrays, blocks and objects
// are equal only when they are the same one.
[[nodiscard]] bool exactEqual(const Value& a, const Value& b);
// = : like ==, but text compares as a prefix: "abc" = "ab" and "abc" = "" hold.
[[nodiscard]] bool looseEqual(const Value& a, const Value& b);
// <, <=, >, >= : -1, 0 or 1. Text compares character codes up to the length
// of the right operand (so "abc" >= "ab"); NIL, numbers, dates, logicals
// (.F. < .T.) and text are ordered, other kinds raise.
[[nodiscard]] int compare(const Value& a, const Value& b, const char* op = "<");

Value add(const Value& a, const Value& b);   // N+N, C+C, D+N, N+D
Value sub(const Value& a, const Value& b);   // N-N, C-C (trailing blanks of a move to the end), D-N, D-D
Value mul(const Value& a, const Value& b);
Value div(const Value& a, const Value& b);   // raises "Zero divide"
Value mod(const Value& a, const Value& b);   // raises "Zero divide"
Value power(const Value& a, const Value& b);
Value negate(const Value& a);
[[nodiscard]] bool contains(const Value& needle, const Value& hay);  // $
[[nodiscard]] bool truth(const Value& v, const char* op);            // a logical or "Argument error"

// Decimals shown for results that have no natural count (division, powers).
int setDecimals(int n = -1);  // returns the previous value; -1 only reads

}  // namespace rt
