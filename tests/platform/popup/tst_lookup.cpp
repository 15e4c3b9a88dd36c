// xbPopBrowse: the modal lookup over the clients table, driven by keys.
#include "popup_fixture.h"

#include "platform/grid/browse.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/runtime/text.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace popt {
namespace {

class Lookup : public PopupTest {
protected:
    // The client lookup: code, name and status columns ordered by name.
    Value lookup(const Value& start, std::function<void(QDialog*)> act, const Value& filter = {},
                 const Value& picCol = {})
    {
        QTimer::singleShot(0, [act] {
            QDialog* d = dlg::activeDialog();
            ASSERT_NE(d, nullptr);
            act(d);
        });
        const Value cols = rt::makeArray({rt::makeArray({"clientes.codcli", "Nº;CLIENTE", 5, "@!"}),
                                          rt::makeArray({"clientes.nombre", ";NOMBRES", 14, "@!"}),
                                          rt::makeArray({"clientes.estatus", "", 1, "@!"})});
        return rt::callWith("xbPopBrowse", conn, "Consulta de Cliente", 60.3, 19, start, "codcli", cols, "clientes",
                            Value(), "clientes.nombre", picCol, Value(), Value(), filter);
    }
    static QLineEdit* search() { return qobject_cast<QLineEdit*>(widgetOf(elementOf("RK_XbpGet"))); }
    static gui::XbpBrowse* grid() { return gui::asBrowse(elementOf("RK_XbpBrowse")); }
    // The names the grid shows, trimmed.
    static std::vector<std::string> names()
    {
        std::vector<std::string> out;
        gui::XbpBrowse* g = grid();
        g->forceStable();
        for (int row = 1; row <= g->filledRows(); ++row)
            out.push_back(g->columnAt(2)->dataGroup()->cellText(row).trimmed().toStdString());
        return out;
    }
    static std::string current()
    {
        gui::XbpBrowse* g = grid();
        g->forceStable();
        return g->columnAt(2)->dataGroup()->cellText(g->rowPos()).trimmed().toStdString();
    }
};

TEST_F(Lookup, StartsOnTheValueAndEnterReturnsIt)
{
    std::string shown;
    const Value v = lookup("000005", [&](QDialog*) {
        then([&] {
            shown = current();
            QTest::keyClick(search(), Qt::Key_Return);
        });
    });
    EXPECT_EQ(shown, "MARIA");
    ASSERT_TRUE(v.isChar());
    EXPECT_EQ(v.str(), "000005");
}

TEST_F(Lookup, EscapeReturnsNil)
{
    const Value v = lookup("000005", [&](QDialog* d) { then([d] { QTest::keyClick(d, Qt::Key_Escape); }); });
    EXPECT_TRUE(v.isNil());
}

TEST_F(Lookup, TypingSeeksAndArrowsMoveTheBrowse)
{
    std::vector<std::string> seen;
    const Value v = lookup(Value(), [&](QDialog*) {
        then([&] {
            seen.push_back(current());  // no start value: the first row
            QTest::keyClicks(search(), "mar");  // case aside where the server orders so
            then([&] {
                seen.push_back(current());
                QTest::keyClick(search(), Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(search(), "MAR");
                then([&] {
                    seen.push_back(current());
                    QTest::keyClicks(search(), "T");
                    then([&] {
                        seen.push_back(current());
                            QTest::keyClick(search(), Qt::Key_Backspace);  // "MAR" again: back to the first match
                        then([&] {
                            seen.push_back(current());
                            QTest::keyClick(search(), Qt::Key_Down);
                            QTest::keyClick(search(), Qt::Key_Down);
                            then([&] {
                                seen.push_back(current());
                                QTest::keyClick(search(), Qt::Key_Up);
                                then([&] {
                                    seen.push_back(current());
                                    QTest::keyClick(search(), Qt::Key_Return);
                                });
                            });
                        });
                    });
                });
            });
        });
    });
    const bool caseless = !static_cast<pgsql::Connection&>(conn.asObject()).textCollation().empty();
    EXPECT_EQ(seen, (std::vector<std::string>{"100 PESOS", caseless ? "MARIA" : "100 PESOS", "MARIA", "MARTA", "MARIA",
                                              "O'BRIEN", "MARTA"}));
    ASSERT_TRUE(v.isChar());
    EXPECT_EQ(v.str(), "000006") << "Enter returns the row the browse is on";
}

TEST_F(Lookup, CodesShowWholeAndASearchWithoutMatchSaysSo)
{
    bool codeWhole = false;
    std::string said, stayed;
    lookup("000005", [&](QDialog* d) {
        then([&, d] {
            gui::XbpColumn* code = grid()->columnAt(1);
            codeWhole = code->width() >= code->dataGroup()->cellWidthFor(QStringLiteral("000005"));
            QTest::keyClicks(search(), "ZZZ");
            then([&, d] {
                for (QLabel* l : d->findChildren<QLabel*>())
                    if (l->text().startsWith("No se"))
                        said = l->text().toStdString();
                stayed = current();
                QTest::keyClick(d, Qt::Key_Escape);
            });
        });
    });
    EXPECT_TRUE(codeWhole) << "widths from the data, not the six-character code cut";
    EXPECT_EQ(said, "No se encontró \"ZZZ\".");
    EXPECT_EQ(stayed, "MARIA");
}

// Names with accents and in mixed case: the search ignores both, Ñ is a
// letter after N.
TEST_F(Lookup, TheSearchIgnoresCaseAndAccents)
{
    if (static_cast<pgsql::Connection&>(conn.asObject()).textCollation().empty())
        GTEST_SKIP() << "the server has no ICU collation";
    ASSERT_TRUE(testpg::exec(peer, "INSERT INTO clientes (codcli, nombre, estatus) VALUES ('000201', 'Fátima', 'N'), "
                                   "('000202', 'ÑANDÚ', 'N'), ('000203', 'NORA', 'N'), ('000204', 'ÁLVARO', 'N')"));
    const auto type = [](const char* text) {
        QTest::keyClick(search(), Qt::Key_A, Qt::ControlModifier);
        for (const QChar c : QString::fromUtf8(text))
            QTest::sendKeyEvent(QTest::Click, search(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    };
    std::vector<std::string> seen;
    const Value v = lookup(Value(), [&](QDialog*) {
        then([&] {
            type("fáti");
            then([&] {
                seen.push_back(current());
                type("alv");
                then([&] {
                    seen.push_back(current());
                    type("ñ");
                    then([&] {
                        seen.push_back(current());
                        QTest::keyClick(search(), Qt::Key_Up);  // the name before Ñ is NORA
                        then([&] {
                            seen.push_back(current());
                            QTest::keyClick(search(), Qt::Key_Return);
                        });
                    });
                });
            });
        });
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"FÁTIMA", "ÁLVARO", "ÑANDÚ", "NORA"}));
    ASSERT_TRUE(v.isChar());
    EXPECT_EQ(v.str(), "000203");
}

TEST_F(Lookup, DoubleClickOnARowReturnsIt)
{
    const Value v = lookup(Value(), [&](QDialog*) {
        then([&] {
            gui::XbpCellGroup* cells = grid()->columnAt(2)->dataGroup();
            const Value r = cells->cellRect(3, true);  // {x1, y1, x2, y2}, y upwards
            QWidget* w = cells->widget();
            const QPoint at(int(rt::entryOf(r, 1).asInt()) + 3,
                            w->height() - int((rt::entryOf(r, 2).asInt() + rt::entryOf(r, 4).asInt()) / 2));
            QTest::mouseDClick(w, Qt::LeftButton, {}, at);
        });
    });
    ASSERT_TRUE(v.isChar());
    EXPECT_EQ(v.str(), "000001") << "ANA, the third row by name";
}

TEST_F(Lookup, ATableThatCannotBeOpenedIsReportedAndGivesNil)
{
    dlg::MessageCapture capture;
    const Value v = rt::callWith("xbPopBrowse", conn, "Consulta", 60.3, 19, Value(), "codcli", Value(), "no_such_table");
    EXPECT_TRUE(v.isNil());
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_NE(capture.messages[0].text.find("no_such_table"), std::string::npos) << capture.messages[0].text;
    EXPECT_EQ(dlg::activeDialog(), nullptr);
}

TEST_F(Lookup, QuotesAndPercentAreSearchedAsTyped)
{
    std::vector<std::string> seen;
    const Value v = lookup(Value(), [&](QDialog*) {
        then([&] {
            QTest::keyClicks(search(), "O'B");
            then([&] {
                seen.push_back(current());
                QTest::keyClick(search(), Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(search(), Qt::Key_Delete);
                QTest::keyClicks(search(), "100%");
                then([&] {
                    seen.push_back(current());
                    QTest::keyClick(search(), Qt::Key_Return);
                });
            });
        });
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"O'BRIEN", "100% SEGURO"}))
        << "a quote is no string end, a % no wildcard";
    ASSERT_TRUE(v.isChar());
    EXPECT_EQ(v.str(), "000009");
    EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(Lookup, FilterCheckBoxesRestrictRows)
{
    const Value filter = rt::makeArray(
        {"Test", rt::makeArray({rt::makeArray({"estatus", "N", true}), rt::makeArray({"estatus", "C", false})})});
    std::vector<std::vector<std::string>> shown;
    QStringList captions;
    auto box = [](int i) { return qobject_cast<QCheckBox*>(widgetOf(elementOf("RK_XbpCheckBox", i))); };
    auto click = [](QCheckBox* c) { QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(5, c->height() / 2)); };
    const Value v = lookup(Value(), [&](QDialog* d) {
        then([&, d] {
            if (!box(1) || !box(2)) {
                ADD_FAILURE() << "no check boxes";
                return d->reject();
            }
            captions << box(1)->text() << box(2)->text();
            shown.push_back(names());
            click(box(2));  // N or C
            then([&] {
                shown.push_back(names());
                click(box(1));
                click(box(2));  // none checked
                then([&] {
                    shown.push_back(names());
                    QTest::keyClick(search(), Qt::Key_Escape);
                });
            });
        });
    }, filter);
    EXPECT_TRUE(v.isNil());
    EXPECT_EQ(captions, (QStringList{"estatus = N", "estatus = C"}));
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], (std::vector<std::string>{"100% SEGURO", "ANA", "CARLA", "MARIA", "O'BRIEN"}));
    EXPECT_EQ(shown[1], (std::vector<std::string>{"100 PESOS", "100% SEGURO", "ANA", "BETO", "CARLA", "MARIA",
                                                   "MARTA", "O'BRIEN"}));
    ASSERT_GE(shown[2].size(), 6u);
    EXPECT_EQ(shown[2][5], "DIEGO") << "none checked: every row";
}

// Each live data object holds the connection: when the counts match again,
// the lookup's data object and every block sharing it are gone.
TEST_F(Lookup, TheDataObjectIsReleasedWhenTheLookupEnds)
{
    const int before = conn.asObject().refCount();
    int during = 0;
    const Value filter = rt::makeArray({"Test", rt::makeArray({rt::makeArray({"estatus", "N", true})})});
    const Value v = lookup("000005", [&](QDialog*) {
        then([&] {
            during = conn.asObject().refCount();
            QTest::keyClick(search(), Qt::Key_Return);
        });
    }, filter, "foto");
    EXPECT_EQ(v.str(), "000005");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_GT(during, before);
    EXPECT_EQ(conn.asObject().refCount(), before);
}

TEST_F(Lookup, ShowsThePictureOfTheCurrentRow)
{
    ASSERT_TRUE(testpg::exec(peer, "UPDATE clientes SET foto = 'data:image/png;base64," +
                                       QByteArray::fromStdString(pngBytes(7, 5, Qt::red)).toBase64().toStdString() +
                                       "' WHERE codcli = '000002'"));
    std::vector<QSize> sizes;
    auto picture = [] {
        auto* p = dynamic_cast<dlg::PicturePart*>(&elementOf("RK_XbpPicture").asObject());
        return p ? p->image().size() : QSize(-1, -1);
    };
    lookup("000002", [&](QDialog*) {
        then([&] {
            sizes.push_back(picture());
            QTest::keyClick(search(), Qt::Key_Down);
            then([&] {
                sizes.push_back(picture());
                QTest::keyClick(search(), Qt::Key_Escape);
            });
        });
    }, Value(), "foto");
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], QSize(7, 5));
    EXPECT_TRUE(sizes[1].isEmpty()) << "a row without picture clears it";
}

}  // namespace
}  // namespace popt
