// dxc-dbf: the runtime from the command line.
//
//     dxc-dbf eval EXPR     compile and evaluate an expression
//
// Each subcommand is one entry of `commands`: a name, its synopsis and a
// function taking the words after the name. Exit status: 0 done (or usage
// asked for with --help), 1 the command failed (message on standard error),
// 2 a wrong command line (usage shown).
#include "platform/runtime/compiler.h"
#include "platform/runtime/console.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

using Words = std::vector<std::string>;

struct Command {
    std::string_view name;
    std::string_view synopsis;
    std::string_view summary;
    int (*run)(const Words& words);
};

int runEval(const Words& words);

constexpr Command commands[] = {
    {"eval", "eval EXPR", "compile and evaluate EXPR; print its value and kind letter, TAB-separated", &runEval},
};

void printUsage(std::FILE* out)
{
    std::fprintf(out, "usage: dxc-dbf COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const Command& c : commands)
        std::fprintf(out, "  %-20.*s %.*s\n", static_cast<int>(c.synopsis.size()), c.synopsis.data(),
                     static_cast<int>(c.summary.size()), c.summary.data());
    std::fprintf(out, "\nexit status: 0 done, 1 failed, 2 usage shown\n");
}

int usageError(const std::string& why)
{
    std::fprintf(stderr, "dxc-dbf: %s\n", why.c_str());
    printUsage(stderr);
    return kUsage;
}

// The program's settings, as the application sets them at start.
void applySettings()
{
    rt::setCentury(1);
    rt::setDateFormat("dd-mm-yyyy");
}

bool isLeadByte(char c) { return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u; }

// Byte offset of character `position` (1-based); the text's end past it.
std::size_t byteOfCharacter(const std::string& text, long long position)
{
    long long seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (isLeadByte(text[i]) && ++seen == position)
            return i;
    return text.size();
}

// The line of `text` that holds character `position`, and under it a caret
// at that character. Tabs are kept so that the caret lines up.
void printCaret(const std::string& text, long long position)
{
    const std::size_t at = byteOfCharacter(text, position);
    const std::size_t lineStart = at == 0 ? 0 : text.rfind('\n', at - 1) + 1;  // npos + 1 == 0
    const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
    std::string caret;
    for (std::size_t i = lineStart; i < at; ++i)
        if (isLeadByte(text[i]))
            caret += text[i] == '\t' ? '\t' : ' ';
    std::fprintf(stderr, "  %s\n  %s^\n", text.substr(lineStart, lineEnd - lineStart).c_str(), caret.c_str());
}

int runEval(const Words& words)
{
    if (words.size() != 1)
        return usageError("eval takes one expression (quote it)");
    const std::string& text = words[0];
    applySettings();
    try {
        const rt::Value v = rt::evalText(text);
        rt::consoleFinish();
        std::printf("%s\t%c\n", rt::literalText(v).c_str(), v.typeLetter());
        return 0;
    } catch (const rt::Error& e) {
        rt::consoleFinish();
        std::fflush(stdout);
        std::fprintf(stderr, "dxc-dbf: %s\n", e.message().c_str());
        if (e.subsystem == "COMPILER" && e.position >= 1)
            printCaret(text, e.position);
        return kFailed;
    }
}

int dispatch(int argc, char** argv)
{
    if (argc < 2)
        return usageError("no command given");
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return 0;
    }
    for (const Command& c : commands)
        if (c.name == name)
            return c.run(Words(argv + 2, argv + argc));
    return usageError("unknown command '" + std::string(name) + "'");
}

}  // namespace

int main(int argc, char** argv)
{
    int status = kFailed;
    try {
        status = dispatch(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dxc-dbf: %s\n", e.what());
    }
    rt::consoleFinish();
    std::fflush(stdout);
    return status;
}
