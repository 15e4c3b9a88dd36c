// Code pages: byte round trips, known characters, the look-alikes of fitTo
// and the errors of encode.
#include "platform/runtime/codepage.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string allBytes()
{
    std::string s;
    for (int b = 0; b < 256; ++b)
        s += static_cast<char>(b);
    return s;
}

std::size_t codePoints(const std::string& utf8)
{
    std::size_t n = 0;
    for (char c : utf8)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

rt::Error encodeError(std::string_view text, int page)
{
    try {
        (void)rt::cp::encode(text, page);
    } catch (const rt::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error for " << text << " in " << page;
    return rt::Error("");
}

}  // namespace

TEST(CodePage, EveryByteRoundTrips)
{
    for (int page : {437, 850, 1252, 852, 866, 1250, 1251, 620}) {
        const std::string text = rt::cp::decode(allBytes(), page);
        EXPECT_EQ(codePoints(text), 256u) << page;
        EXPECT_EQ(rt::cp::encode(text, page), allBytes()) << page;
        for (int b = 0; b < 256; ++b)
            ASSERT_EQ(codePoints(rt::cp::decode(std::string(1, static_cast<char>(b)), page)), 1u) << page << " " << b;
    }
}

TEST(CodePage, KnownCharacters)
{
    struct Case {
        const char* name;
        int page;
        const char* bytes;
        const char* text;
    } cases[] = {
        {"850 n tilde", 850, "\xA4\xA5", "ñÑ"},
        {"850 accents", 850, "\x82\xA0\xA1\xA2\xA3", "éáíóú"},
        {"850 inverted marks", 850, "\xA8\xAD", "¿¡"},
        {"437 box drawing", 437, "\xDA\xC4\xBF\xB3\xC9\xCD", "┌─┐│╔═"},
        {"1252 euro and n tilde", 1252, "\x80\xF1", "€ñ"},
        {"1252 undefined byte as its C1 control", 1252, "\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D"},
        {"control bytes stay controls", 437, "\x01\x0A\x1B\x1F\x7F", "\x01\x0A\x1B\x1F\x7F"},
        {"ASCII", 850, "Clientes 2026", "Clientes 2026"},
        {"866 Cyrillic", 866, "\x80\xA0", "Аа"},
        {"620 Mazovia's Polish letters", 620, "\x86\x8D\x8F\x90\x91\x92\x95\x98\x9C\x9E\xA0\xA1\xA2\xA3\xA4\xA5\xA6\xA7",
         "ąćĄĘęłĆŚŁśŹŻóÓńŃźż"},
        {"620 keeps 437 elsewhere", 620, "\x81\xC4", "ü─"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rt::cp::decode(c.bytes, c.page), c.text) << c.name;
        EXPECT_EQ(rt::cp::encode(c.text, c.page), c.bytes) << c.name;
    }
}

TEST(CodePage, ByteWithoutCharacterBecomesReplacement)
{
    // 857 leaves D5 undefined and it lies outside the C1 range.
    EXPECT_EQ(rt::cp::decode("a\xD5", 857), "a\uFFFD");
    EXPECT_THROW((void)rt::cp::encode("\uFFFD", 857), rt::Error);
}

TEST(CodePage, SpanishTextBetweenTheDosAndWindowsPages)
{
    const std::string text = "Año, señor: ¿qué pasó con el Ñandú? ¡Güemes!";
    const std::string oem = rt::cp::encode(text, 850);
    const std::string ansi = rt::cp::encode(text, 1252);
    EXPECT_EQ(oem.size(), codePoints(text));
    EXPECT_NE(oem, ansi);
    EXPECT_EQ(rt::cp::decode(oem, 850), text);
    EXPECT_EQ(rt::cp::decode(ansi, 1252), text);
    EXPECT_EQ(rt::convToAnsiCP(rt::cp::decode(oem, 850)), text) << "nothing Spanish is lost on the way to 1252";
}

TEST(CodePage, FitToFindsLookAlikes)
{
    struct Case {
        const char* name;
        int page;
        const char* in;
        const char* out;
    } cases[] = {
        {"single box lines", 1252, "┌─┬─┐│└┴┘", "+-+-+|+++"},
        {"double box lines", 1252, "╔═╗║╚╝╬", "+-+|+++"},
        {"shade has no look-alike", 1252, "░▒█", "???"},
        {"what the page has stays", 1252, "Año €", "Año €"},
        {"accent dropped", 1252, "čŁő", "cLo"},
        {"euro spelled out in 850", 850, "5 €", "5 EUR"},
        {"oe ligature", 850, "œ", "oe"},
        {"nothing alike", 1252, "中文", "??"},
        {"broken UTF-8", 1252, "a\xFF" "b", "a?b"},
        {"ASCII untouched", 437, "plain", "plain"},
        {"box drawing kept where the page has it", 437, "┌─┐", "┌─┐"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rt::cp::fitTo(c.in, c.page), c.out) << c.name;
    EXPECT_EQ(rt::convToOemCP("╔═╗ ž"), "╔═╗ z");
}

TEST(CodePage, EncodeNamesTheCharacterItCannotWrite)
{
    struct Case {
        const char* text;
        int page;
        const char* description;
    } cases[] = {
        {"Pažnja", 850, "Character 'ž' (U+017E) cannot be written in code page 850"},
        {"5 €", 437, "Character '€' (U+20AC) cannot be written in code page 437"},
        {"─", 1252, "Character '─' (U+2500) cannot be written in code page 1252"},
        {"a😀", 1252, "Character '😀' (U+1F600) cannot be written in code page 1252"},
    };
    for (const auto& c : cases) {
        const rt::Error e = encodeError(c.text, c.page);
        EXPECT_EQ(e.description, c.description);
        EXPECT_EQ(e.operation, "encode");
    }
    const rt::Error bad = encodeError("ab\xC3", 850);
    EXPECT_EQ(bad.description, "Invalid UTF-8 text");
    EXPECT_EQ(bad.position, 2);
}

TEST(CodePage, UnsupportedPagesRaise)
{
    for (int page : {437, 850, 852, 857, 860, 861, 863, 865, 866, 1250, 1251, 1252, 1253, 1254, 1257})
        EXPECT_TRUE(rt::cp::supported(page)) << page;
    EXPECT_FALSE(rt::cp::supported(999));
    EXPECT_FALSE(rt::cp::supported(65001));
    EXPECT_THROW((void)rt::cp::decode("a", 999), rt::Error);
    EXPECT_THROW((void)rt::cp::encode("a", 999), rt::Error);
    EXPECT_THROW((void)rt::cp::fitTo("a", 999), rt::Error);
}

TEST(CodePage, RegisteredConversions)
{
    EXPECT_EQ(rt::callWith("ConvToAnsiCP", "Año ┼").asString(), "Año +");
    EXPECT_EQ(rt::callWith("ConvToOemCP", "ƒ€").asString(), "ƒEUR");
    EXPECT_THROW(rt::callWith("ConvToAnsiCP", 1), rt::Error);
    EXPECT_THROW(rt::callFunction("ConvToOemCP"), rt::Error);
}

// Names as .cpg files and charset detectors write them.
TEST(CodePage, NamesGiveTheirPage)
{
    const std::pair<const char*, int> cases[] = {
        {"UTF-8", 65001}, {"utf8\r\n", 65001}, {"65001", 65001}, {"1252", 1252}, {"ANSI 1251", 1251},
        {"CP866", 866},   {"IBM852", 852},       {"88591", 28591}, {"ISO-8859-2", 28592}, {"WINDOWS-1250", 1250},
        {"BIG5", 950},    {"KOI8-R", 20866},     {"TIS-620", 874}, {"nonsense", 0},        {"", 0},
    };
    for (const auto& [name, page] : cases)
        EXPECT_EQ(rt::cp::codePageOfName(name), page) << name;
}
