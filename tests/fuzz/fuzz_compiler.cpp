// Fuzzes the expression compiler with arbitrary bytes as text.
//
// Every input is compiled. A compile error must come from the compiler
// with a position inside the text (or just past it); a compiled block must
// carry the text. Texts are also evaluated when that is bounded and free of
// side effects: no function calls (Inkey waits, Directory reads the disk,
// Replicate may ask for gigabytes), no ':' (so no method calls that could
// recurse exponentially, and no assignment that would create publics).
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what, std::string_view text)
{
    std::fprintf(stderr, "fuzz_compiler: %s for text of %zu bytes\n", what, text.size());
    std::abort();
}

long long characters(std::string_view s)
{
    long long n = 0;
    for (char c : s)
        n += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
    return n;
}

bool boundedToRun(std::string_view text)
{
    if (text.find(':') != std::string_view::npos)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '(' || i == 0)
            continue;
        std::size_t j = i;
        while (j > 0 && (text[j - 1] == ' ' || text[j - 1] == '\t' || text[j - 1] == '\r' || text[j - 1] == '\n'))
            --j;
        if (j > 0 && (std::isalnum(static_cast<unsigned char>(text[j - 1])) || text[j - 1] == '_'))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    rt::registerBuiltins();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    rt::Value block;
    try {
        block = rt::compile(text);
    } catch (const rt::Error& e) {
        if (e.subsystem != "COMPILER" || e.operation != text)
            fail("compile error without its context", text);
        if (e.position < 1 || e.position > characters(text) + 1)
            fail("compile error position outside the text", text);
        return 0;
    }
    if (!block.isBlock() || block.asBlock().text() != text)
        fail("compiled block does not carry its text", text);
    if (boundedToRun(text)) {
        try {
            (void)rt::evalText(text);
        } catch (const rt::Error&) {
        }
    }
    return 0;
}
