#include "app_harness.h"

#include "platform/dialog/dialog.h"
#include "platform/runtime/console.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace apptest {

namespace {

std::string envOr(const char* name, const char* fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// Standard output (file descriptor 1, where the console writes) goes to a
// file while the object lives.
class StdoutCapture {
public:
    StdoutCapture()
    {
        path_ = scratch("console") + "/out.txt";
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::close(fd);
    }
    std::vector<std::string> finish()
    {
        rt::consoleFinish();
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
        std::ifstream in(path_, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    std::string path_;
    int saved_ = -1;
};

QPushButton* button(QDialog& d, const char* caption)
{
    for (QPushButton* b : d.findChildren<QPushButton*>())
        if (b->text().remove('&') == caption)
            return b;
    ADD_FAILURE() << "no button " << caption;
    return nullptr;
}

}  // namespace

std::vector<QLineEdit*> fieldsTopDown(QDialog& d)
{
    auto fields = d.findChildren<QLineEdit*>();
    std::stable_sort(fields.begin(), fields.end(), [](QLineEdit* a, QLineEdit* b) {
        return a->mapTo(a->window(), QPoint()).y() < b->mapTo(b->window(), QPoint()).y();
    });
    return {fields.begin(), fields.end()};
}

std::string Transcript::text() const
{
    std::string out;
    for (const std::string& l : lines)
        out += l + "\n";
    return out;
}

app::Options serverOptions(const std::string& dir)
{
    app::Options o;
    o.dir = dir;
    o.host = envOr("PGHOST", "127.0.0.1");
    o.port = std::atoi(envOr("PGPORT", "5432").c_str());
    o.user = envOr("PGUSER", "postgres");
    return o;
}

Transcript runProgram(const app::Options& opts, std::vector<DialogAction> script)
{
    std::size_t next = 0;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QDialog* d = dlg::activeDialog();
        if (!d || !d->isVisible() || d->property("dxcAnswered").toBool())
            return;
        d->setProperty("dxcAnswered", true);
        // Acting later in the event loop, not inside the timer's own slot.
        QDialog* target = d;
        DialogAction act = next < script.size() ? script[next++] : cancel();
        QTimer::singleShot(0, target, [target, act] { act(*target); });
    });
    answer.start();

    Transcript run;
    StdoutCapture capture;
    try {
        app::DbeSys();
        run.status = app::runMain(opts);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "the program raised: " << e.what();
    }
    run.lines = capture.finish();
    answer.stop();
    EXPECT_EQ(next, script.size()) << "dialogs shown fewer times than the script expected";
    return run;
}

DialogAction connectWith(const std::string& password)
{
    return [password](QDialog& d) {
        const auto fields = fieldsTopDown(d);
        if (fields.size() != 4) {
            ADD_FAILURE() << "the connection dialog has " << fields.size() << " entry fields";
            d.reject();
            return;
        }
        // As a user does: the password typed, then Enter in its field
        // presses Connect, the dialog's default button.
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
        fields[3]->setFocus();
        if (!password.empty())
            QTest::keyClicks(fields[3], QString::fromStdString(password));
        QTest::keyClick(fields[3], Qt::Key_Return);
    };
}

DialogAction cancel()
{
    return [](QDialog& d) {
        if (QPushButton* b = button(d, "Cancel"))
            QTest::mouseClick(b, Qt::LeftButton);
    };
}

DialogAction escape()
{
    return [](QDialog& d) {
        QWidget* w = QApplication::focusWidget();
        QTest::keyClick(w && w->window() == &d ? w : &d, Qt::Key_Escape);
    };
}

PGconn* connectDxc()
{
    const char* keys[] = {"dbname", "connect_timeout", nullptr};
    const char* vals[] = {"dxc", "10", nullptr};
    PGconn* c = PQconnectdbParams(keys, vals, 0);
    if (PQstatus(c) != CONNECTION_OK) {
        PQfinish(c);
        return nullptr;
    }
    return c;
}

void dropDxc()
{
    if (PGconn* c = testpg::connectTo("postgres")) {
        testpg::exec(c, "DROP DATABASE IF EXISTS dxc WITH (FORCE)");
        PQfinish(c);
    }
}

std::string scratch(const std::string& name)
{
    const char* base = std::getenv("DXC_TEST_TMP");
    fs::path p = fs::path(base ? base : fs::temp_directory_path().string()) / ("tst_app_" + std::to_string(::getpid())) / name;
    fs::remove_all(p);
    fs::create_directories(p);
    return p.string();
}

int shell(const std::string& command)
{
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string sampleFolder(int clients)
{
    const std::string dir = scratch("sample" + std::to_string(clients));
    EXPECT_EQ(shell(std::string(DXC_DBF_TOOL) + " sample " + dir + " --clients " + std::to_string(clients) + " >/dev/null"), 0);
    return dir;
}

std::string fixtureFolder()
{
    const std::string dir = scratch("fixtures");
    EXPECT_EQ(shell("/usr/bin/python3 " + envOr("DXC_SOURCE_DIR", ".") +
                    "/tests/app/fixtures/make_import_fixtures.py " + dir + " >/dev/null"),
              0);
    return dir;
}

std::string paddedHost()
{
    const std::string host = envOr("PGHOST", "127.0.0.1");
    return rt::padR(host, std::max<std::size_t>(19, rt::utf8Length(host)));
}

}  // namespace apptest
