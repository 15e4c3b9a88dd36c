// The console: lines on standard output and single keys from the terminal.
//
// Output goes straight to file descriptor 1, one write per call, so every
// line shows at once, also through a pipe. A line stays open after QOut or
// QQOut; the next QOut, or the end of the program, closes it with "\n".
#include "console.h"

#include "builtins.h"
#include "error.h"
#include "functions.h"
#include "text.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace rt {

namespace {

struct ConsoleState {
    bool lineOpen = false;
    bool exitHooked = false;
};

ConsoleState& state()
{
    static ConsoleState s;
    return s;
}

void writeAll(std::string_view s)
{
    std::fflush(stdout);  // whatever went through stdio first stays first
    while (!s.empty()) {
        const ssize_t n = ::write(1, s.data(), s.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;  // a closed console loses the text, as a closed window would
        }
        s.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string joined(Args values)
{
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i)
            out += ' ';
        out += var2char(values[i]);
    }
    return out;
}

void hookExit()
{
    ConsoleState& s = state();
    if (!s.exitHooked) {
        s.exitHooked = true;
        std::atexit([] { consoleFinish(); });
    }
}

}  // namespace

void qout(Args values)
{
    std::string out = state().lineOpen ? "\n" : "";
    out += joined(values);
    hookExit();
    state().lineOpen = true;
    writeAll(out);
}

void qqout(Args values)
{
    const std::string out = joined(values);
    if (out.empty())
        return;
    hookExit();
    state().lineOpen = true;
    writeAll(out);
}

void consoleFinish()
{
    if (!state().lineOpen)
        return;
    state().lineOpen = false;
    writeAll("\n");
}

// --- Inkey ---

namespace {

// Puts the terminal into single-key mode for its lifetime. The signal keys
// arrive as keys too, so the terminal is restored before their signal fires.
class KeyMode {
public:
    KeyMode()
    {
        if (tcgetattr(0, &saved_) != 0)
            return;
        termios raw = saved_;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active_ = tcsetattr(0, TCSANOW, &raw) == 0;
    }
    ~KeyMode()
    {
        if (active_)
            tcsetattr(0, TCSANOW, &saved_);
    }
    KeyMode(const KeyMode&) = delete;
    KeyMode& operator=(const KeyMode&) = delete;

    [[nodiscard]] bool active() const noexcept { return active_; }

    // The signal the key stood for before this mode, or 0.
    [[nodiscard]] int signalOf(int key) const noexcept
    {
        if (!(saved_.c_lflag & ISIG) || key <= 0)
            return 0;
        const auto k = static_cast<cc_t>(key);
        if (k == saved_.c_cc[VINTR])
            return SIGINT;
        if (k == saved_.c_cc[VQUIT])
            return SIGQUIT;
        if (k == saved_.c_cc[VSUSP])
            return SIGTSTP;
        return 0;
    }

private:
    termios saved_{};
    bool active_ = false;
};

// Waits until standard input has a byte; timeoutMs < 0 waits for ever.
bool readable(int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = timeoutMs;
        if (timeoutMs > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p{0, POLLIN, 0};
        const int r = poll(&p, 1, wait);
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

// The rest of a key's bytes arrive together; a short wait tells a lone
// Escape from the start of a sequence.
int nextByte()
{
    unsigned char b = 0;
    if (!readable(30) || ::read(0, &b, 1) != 1)
        return -1;
    return b;
}

// Cursor keys and friends, by the final byte or number of their sequence,
// as the language's classic key codes.
int escapeSequence()
{
    const int intro = nextByte();
    if (intro != '[' && intro != 'O')
        return 27;
    int number = 0;
    for (int i = 0; i < 8; ++i) {
        const int b = nextByte();
        if (b < 0)
            return 27;
        if (b >= '0' && b <= '9') {
            number = number * 10 + (b - '0');
            continue;
        }
        switch (b) {
        case 'A': return 5;   // Up
        case 'B': return 24;  // Down
        case 'C': return 4;   // Right
        case 'D': return 19;  // Left
        case 'H': return 1;   // Home
        case 'F': return 6;   // End
        case '~':
            switch (number) {
            case 1: case 7: return 1;
            case 2: return 22;  // Ins
            case 3: return 7;   // Del
            case 4: case 8: return 6;
            case 5: return 18;  // PgUp
            case 6: return 3;   // PgDn
            default: return 27;
            }
        default:
            if (b >= 0x40 && b <= 0x7E)
                return 27;  // a sequence we do not know, swallowed whole
        }
    }
    return 27;
}

int utf8Key(unsigned char lead)
{
    const int len = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 1;
    if (len == 1)
        return lead;  // a stray byte of some other encoding
    int code = lead & (0x3F >> (len - 1));
    for (int i = 1; i < len; ++i) {
        const int b = nextByte();
        if (b < 0 || (b & 0xC0) != 0x80)
            return lead;
        code = (code << 6) | (b & 0x3F);
    }
    return code;
}

// The key's code; firstByte receives the byte it began with.
int readKey(int& firstByte)
{
    unsigned char b = 0;
    if (::read(0, &b, 1) != 1)
        return 0;
    firstByte = b;
    switch (b) {
    case '\r':
    case '\n':
        return 13;
    case 0x7F:
    case 0x08:
        return 8;
    case 0x1B:
        return escapeSequence();
    default:
        return b < 0x80 ? b : utf8Key(b);
    }
}

int timeoutOf(double seconds)
{
    if (seconds < 0 || std::isnan(seconds))
        return 0;
    if (seconds == 0)
        return -1;
    const double ms = std::ceil(seconds * 1000.0);
    return ms >= double(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

int inkey(double seconds)
{
    if (!isatty(0))
        return 0;  // never block a pipe, a test or a batch run
    int key = 0;
    int sig = 0;
    {
        KeyMode mode;
        if (!mode.active())
            return 0;
        int firstByte = -1;
        if (readable(timeoutOf(seconds)))
            key = readKey(firstByte);
        if (key == firstByte)  // a key of its own, not part of a sequence
            sig = mode.signalOf(key);
    }
    if (sig)
        std::raise(sig);  // the terminal is itself again; the program reacts as it would have
    return key;
}

// --- functions callable from compiled text ---

namespace {

Value fnQOut(Args args)
{
    qout(args);
    return {};
}

Value fnQQOut(Args args)
{
    qqout(args);
    return {};
}

// Inkey() does not wait, Inkey(0) waits for ever, Inkey(n) at most n seconds.
Value fnInkey(Args args)
{
    const Value& v = argAt(args, 0);
    if (!v.isNil() && !v.isNum())
        raiseArg("INKEY", args);
    return Value::integer(inkey(v.isNil() ? -1.0 : v.asDouble()));
}

}  // namespace

void detail::registerConsoleFunctions()
{
    registerFunction("QOut", fnQOut);
    registerFunction("QQOut", fnQQOut);
    registerFunction("Inkey", fnInkey);
}

}  // namespace rt
