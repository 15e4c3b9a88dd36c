// Text in the user's order: ICU's collator for the locale of LC_ALL,
// LC_COLLATE or LANG, Spanish when none names one (unset, C or POSIX).
// Letters compare first, without regard to case and accents (Ñ is a letter
// of its own in Spanish); texts whose letters tie are then ordered by their
// accents and last by their case, as ICU's full comparison orders them (and
// so as PostgreSQL's ICU collations do). Trailing blanks, the padding of
// fixed-width fields, do not count.
#pragma once

#include <string>
#include <string_view>

namespace rt {

// -1, 0, 1: the order of two UTF-8 texts.
[[nodiscard]] int collate(std::string_view a, std::string_view b);

// A byte string that plain byte comparison orders as collate() orders the
// texts; it ends with a zero byte and holds no other, so padding after it
// never changes an order.
[[nodiscard]] std::string collationKey(std::string_view text);
void appendCollationKey(std::string_view text, std::string& out);
// The head of collationKey() that the letters alone make: the key of every
// text that starts with these letters, whatever their case and accents,
// starts with it.
[[nodiscard]] std::string collationPrefix(std::string_view text);

// The ICU locale the collator uses ("es" by default).
[[nodiscard]] std::string collationLocale();

}  // namespace rt
