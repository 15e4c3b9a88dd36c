// The console: how QOut and QQOut form lines on standard output, and Inkey
// on a pipe and on a pseudo terminal.
#include "platform/runtime/console.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using rt::Value;

namespace {

// Sends file descriptor 1 into a pipe for its lifetime.
class StdoutCapture {
public:
    StdoutCapture()
    {
        rt::consoleFinish();  // a line left open by an earlier test closes outside the capture
        EXPECT_EQ(pipe(fds_), 0);
        fcntl(fds_[0], F_SETFL, O_NONBLOCK);
        saved_ = dup(1);
        dup2(fds_[1], 1);
    }
    ~StdoutCapture()
    {
        restore();
        close(fds_[0]);
    }
    // What arrived so far, without waiting.
    std::string available()
    {
        std::string out;
        char buf[4096];
        ssize_t n;
        while ((n = read(fds_[0], buf, sizeof buf)) > 0)
            out.append(buf, static_cast<std::size_t>(n));
        return out;
    }
    // Closes the open line and returns everything written.
    std::string finish()
    {
        rt::consoleFinish();
        restore();
        return available();
    }

private:
    void restore()
    {
        if (saved_ >= 0) {
            dup2(saved_, 1);
            close(saved_);
            close(fds_[1]);
            saved_ = -1;
        }
    }
    int fds_[2] = {-1, -1};
    int saved_ = -1;
};

using Step = std::function<void()>;

Step out(std::vector<Value> v)
{
    return [v] { rt::qout(v); };
}
Step app(std::vector<Value> v)
{
    return [v] { rt::qqout(v); };
}

// Puts a pseudo terminal in place of standard input for its lifetime.
class TerminalInput {
public:
    TerminalInput()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
        if (slave_ < 0)
            return;
        saved_ = dup(0);
        dup2(slave_, 0);
    }
    ~TerminalInput()
    {
        if (saved_ >= 0) {
            dup2(saved_, 0);
            close(saved_);
        }
        if (slave_ >= 0)
            close(slave_);
        if (master_ >= 0)
            close(master_);
    }
    [[nodiscard]] bool ok() const { return saved_ >= 0; }
    void type(std::string_view keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
    // Keys typed once Inkey has put the terminal in single-key mode (typed
    // earlier, a line-mode terminal would edit or signal them). Waiting for
    // the mode rather than for a fixed time keeps a loaded machine honest.
    int typeDuring(std::string keys, double seconds)
    {
        std::thread typist([this, keys] {
            termios t{};
            for (int i = 0; i < 2000 && tcgetattr(slave_, &t) == 0 && (t.c_lflag & ICANON) != 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            type(keys);
        });
        const int key = rt::inkey(seconds);
        typist.join();
        return key;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    int saved_ = -1;
};

double secondsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

TEST(Console, LinesFormLikeTheProgramsProgress)
{
    struct Case {
        const char* name;
        std::vector<Step> steps;
        const char* output;
    } cases[] = {
        {"first QOut starts without an empty line, QQOut appends",
         {out({"Conectando con", "localhost"}), app({" Ok"})},
         "Conectando con localhost Ok\n"},
        {"each QOut starts a line", {out({"a"}), out({"b"})}, "a\nb\n"},
        {"QQOut first, then QOut", {app({"x"}), out({"y"})}, "x\ny\n"},
        {"QQOut separates its values by a blank", {app({"a", "b"}), app({"c"})}, "a bc\n"},
        {"QOut without values is an empty line", {out({"a"}), out({}), out({"b"})}, "a\n\nb\n"},
        {"blanks inside items add to the separators",
         {out({"Importeado Tabla:", "dxcam01", " con ", "12", "Campos y ", "150", "Registros"})},
         "Importeado Tabla: dxcam01  con  12 Campos y  150 Registros\n"},
        {"other kinds through Var2Char", {out({"n", 5, true, Value()})}, "n 5 .T. NIL\n"},
        {"no output, no line", {}, ""},
    };
    for (const auto& c : cases) {
        StdoutCapture capture;
        for (const auto& step : c.steps)
            step();
        EXPECT_EQ(capture.finish(), c.output) << c.name;
    }
}

TEST(Console, DatesShowInTheCurrentFormat)
{
    const std::string format = rt::setDateFormat();
    rt::setDateFormat("dd-mm-yyyy");
    StdoutCapture capture;
    const Value args[] = {Value(rt::makeDate(2026, 12, 7)), Value(rt::Date{})};
    rt::qout(args);
    EXPECT_EQ(capture.finish(), "07-12-2026   -  -    \n");
    rt::setDateFormat(format);
}

TEST(Console, EachCallIsVisibleAtOnce)
{
    StdoutCapture capture;
    rt::callWith("QOut", "Verificando Tabla:", "dxcam01");
    EXPECT_EQ(capture.available(), "Verificando Tabla: dxcam01");
    rt::callWith("QQOut", " Ok");
    EXPECT_EQ(capture.available(), " Ok");
    rt::callWith("QOut", "Cerrando Conexion");
    EXPECT_EQ(capture.available(), "\nCerrando Conexion");
    EXPECT_EQ(capture.finish(), "\n");
}

TEST(Console, InkeyOnAPipeReturnsAtOnce)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const int saved = dup(0);
    dup2(fds[0], 0);
    ASSERT_EQ(write(fds[1], "a", 1), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rt::inkey(0), 0) << "waiting for ever must not block a batch run";
    EXPECT_EQ(rt::inkey(5), 0);
    EXPECT_EQ(rt::callWith("Inkey", 1).asInt(), 0);
    EXPECT_LT(secondsSince(start), 0.5);
    char left = 0;
    EXPECT_EQ(read(0, &left, 1), 1) << "the byte stays unread";
    dup2(saved, 0);
    close(saved);
    close(fds[0]);
    close(fds[1]);
    EXPECT_THROW(rt::callWith("Inkey", "1"), rt::Error);
}

TEST(Console, InkeyReadsKeysFromATerminal)
{
    TerminalInput term;
    if (!term.ok())
        GTEST_SKIP() << "no pseudo terminal here";
    termios before{};
    ASSERT_EQ(tcgetattr(0, &before), 0);
    struct Case {
        const char* name;
        const char* typed;
        int code;
    } cases[] = {
        {"letter", "a", 'a'},          {"Enter", "\r", 13},        {"line feed", "\n", 13},
        {"Backspace", "\x7f", 8},      {"Escape", "\x1b", 27},     {"Up", "\x1b[A", 5},
        {"Left", "\x1bOD", 19},        {"Delete", "\x1b[3~", 7},   {"PgDn", "\x1b[6~", 3},
        {"unknown sequence", "\x1b[99x", 27}, {"n tilde", "ñ", 0xF1}, {"euro", "€", 0x20AC},
    };
    for (const auto& c : cases)
        EXPECT_EQ(term.typeDuring(c.typed, 2), c.code) << c.name;
    term.type("xy");
    EXPECT_EQ(rt::inkey(-1), 'x') << "a waiting key is read without waiting";
    EXPECT_EQ(rt::callFunction("Inkey").asInt(), 'y');

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rt::inkey(0.2), 0);
    EXPECT_GE(secondsSince(start), 0.15);
    EXPECT_EQ(rt::inkey(-1), 0);

    termios after{};
    ASSERT_EQ(tcgetattr(0, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "the terminal is restored";
}

namespace {
volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_canonicalInHandler = 0;
}  // namespace

TEST(Console, InterruptKeyRestoresTheTerminalBeforeItsSignal)
{
    TerminalInput term;
    if (!term.ok())
        GTEST_SKIP() << "no pseudo terminal here";
    termios t{};
    ASSERT_EQ(tcgetattr(0, &t), 0);
    if (!(t.c_lflag & ISIG))
        GTEST_SKIP() << "signal keys are off on this terminal";
    auto* previous = std::signal(SIGINT, [](int) {
        termios now{};
        g_interrupted = 1;
        g_canonicalInHandler = tcgetattr(0, &now) == 0 && (now.c_lflag & ICANON);
    });
    EXPECT_EQ(term.typeDuring(std::string(1, static_cast<char>(t.c_cc[VINTR])), 2), t.c_cc[VINTR]);
    std::signal(SIGINT, previous);
    EXPECT_TRUE(g_interrupted);
    EXPECT_TRUE(g_canonicalInHandler);
}
