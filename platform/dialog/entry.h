// How an entry field shows, limits and writes back its bound value.
//
// The picture is "@functions template" as Transform reads it; the field
// uses the functions ! (upper case) and K (the first key typed replaces the
// whole content) and the template's positions. Character values keep their
// length: the field holds at most that many characters and writes back the
// text padded with blanks. Numbers take the template's digit positions (or
// the width Str gives them) and its decimals; they are edited right-aligned
// and, as in every form of this kind, the first key typed replaces them.
// Dates follow the current date format, logicals take T, F, Y or N.
#pragma once

#include "platform/runtime/value.h"

#include <string>
#include <string_view>

namespace dlg {

struct EntryFormat {
    char kind = 'U';               // 'C', 'N', 'D', 'L'; 'U': a value the field cannot edit
    bool upper = false;            // @! (logicals always)
    bool clearOnFirstKey = false;  // @K, and numbers
    std::u32string tmpl;           // the template part of the picture
    int length = 0;                // characters the field holds
    int decimals = 0;              // numbers
    bool sign = false;             // numbers: a leading "-" may be typed
};

// Characters a field may hold at most, whatever its value claims: a huge
// text must not make a huge widget.
inline constexpr int kMaxEntryChars = 4096;

[[nodiscard]] EntryFormat entryFormat(const rt::Value& value, const rt::Value& picture);
// The text the field shows for a value (trailing blanks of text dropped, so
// typing can insert).
[[nodiscard]] std::string entryText(const EntryFormat& f, const rt::Value& v);
// The value written back for the field's text.
[[nodiscard]] rt::Value entryValue(const EntryFormat& f, std::string_view text);
// Whether the text stands for a value of the field: a date field's text
// with digits must be a date (31-02-2024 is not); blank is the empty date.
// A text field's text must fit its length.
[[nodiscard]] bool entryTextValid(const EntryFormat& f, std::string_view text);
// Why entryTextValid refuses the text, in the user's words.
[[nodiscard]] std::string entryRefusal(const EntryFormat& f, std::string_view text);
// The format a field edits with: a text field takes more than its length
// while typed or pasted, so an over-long text is seen and refused with a
// word (entryTextValid) rather than cut.
[[nodiscard]] EntryFormat editingFormat(EntryFormat f);
// Checks typed text against the format, upper-casing in place where the
// picture asks; false when the text cannot stand in the field.
[[nodiscard]] bool entryAccepts(const EntryFormat& f, std::u32string& text);
// The Qt input mask of a date field ("00-00-0000" style), empty otherwise.
[[nodiscard]] std::string entryInputMask(const EntryFormat& f);

}  // namespace dlg
