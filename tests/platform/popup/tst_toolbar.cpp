// XbToolsBar and XbBitmap in real reads over the test server.
#include "popup_fixture.h"

#include "platform/runtime/text.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>

namespace popt {
namespace {

using Toolbar = PopupTest;

std::int64_t num(const Value& data) { return rt::sendWith(data, "getNum").asInt(); }

// The toolbar's records: Usuario and Fecha audit pairs after the buttons.
Value appendToolbar(const Value& list, const Value& data, const Value& block, const Value& parent = {})
{
    const Value labels = rt::makeArray({rt::makeArray({"Usuario", "id_usuario"}), rt::makeArray({"Fecha", "id_Fecha"})});
    const Value xData = rt::makeBlock([data](rt::Args) { return data; });
    return rt::callWith("XbToolsBar", list, 1.0, 2.0, Value(), xData, parent, labels, false, block, false, Value(),
                        Value());
}

TEST_F(Toolbar, RecordsButtonsAuditPairsAndXcol)
{
    const Value parent = rt::makeBlock([](rt::Args) { return Value(); });
    appendToolbar(list, openData(), Value(), parent);
    const auto& recs = list.asArray().items;
    ASSERT_EQ(recs.size(), 6u);  // four buttons, two audit entries
    const char* tips[] = {"Primero", "Anterior", "Siguiente", "Ultimo"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(rt::entryOf(recs[i], 1).asInt(), dlg::type::PushButton);
        EXPECT_EQ(rt::entryOf(recs[i], dlg::slot::Tooltip).str(), tips[i]);
        EXPECT_DOUBLE_EQ(rt::entryOf(recs[i], dlg::slot::Col).asDouble(), 2.0 + i * popup::kToolButtonCols);
    }
    for (const Value& r : recs)
        EXPECT_EQ(rt::entryOf(r, dlg::slot::ParentAnchor).cell(), parent.cell()) << "every record knows its group";
    EXPECT_EQ(rt::entryOf(recs[4], dlg::slot::Tooltip).str(), "Usuario");
    EXPECT_EQ(rt::entryOf(recs[5], dlg::slot::Tooltip).str(), "Fecha");
    // XCOL: just right of the last entry, whatever the buttons and labels took.
    const Value& last = recs.back();
    EXPECT_DOUBLE_EQ(dlg::xcol(list),
                     rt::entryOf(last, dlg::slot::Col).asDouble() + rt::entryOf(last, dlg::slot::Width).asDouble());
    EXPECT_GT(dlg::xcol(list), rt::entryOf(recs[4], dlg::slot::Col).asDouble());

    // Without pairs the toolbar ends with its last button.
    const Value bare = Value::array();
    rt::callWith("XbToolsBar", bare, 0.65, 10.0, Value(), openData(), Value(), Value(), false, Value(), true);
    ASSERT_EQ(bare.asArray().size(), 4u);
    EXPECT_DOUBLE_EQ(dlg::xcol(bare), 10.0 + 4 * popup::kToolButtonCols);
}

TEST_F(Toolbar, ButtonsMoveThenRunTheBlockAndTheAuditFollows)
{
    const Value data = openData();
    std::vector<std::int64_t> seen;  // getNum as the block sees it, after each move
    appendToolbar(list, data, rt::makeBlock([&seen, data](rt::Args) { seen.push_back(num(data)); }));
    auto button = [](int i) { return qobject_cast<QPushButton*>(widgetOf(elements()[std::size_t(i)])); };
    auto audit = [](int i) { return qobject_cast<QLineEdit*>(widgetOf(elements()[std::size_t(i)])); };
    const std::int64_t last = rt::sendWith(data, "LastRec").asInt();
    std::vector<QString> users, dates;
    bool readOnly = false, iconShown = false;
    read([&](QDialog*) {
        readOnly = !audit(4)->isEnabled() || audit(4)->isReadOnly();
        iconShown = !button(0)->icon().isNull() && button(0)->toolTip() == "Primero";
        QTest::mouseClick(button(2), Qt::LeftButton);  // next
        QTest::mouseClick(button(2), Qt::LeftButton);
        then([&] {
            users.push_back(audit(4)->text());
            QTest::mouseClick(button(3), Qt::LeftButton);  // last
            QTest::mouseClick(button(1), Qt::LeftButton);  // previous
            then([&] {
                users.push_back(audit(4)->text());
                QTest::mouseClick(button(0), Qt::LeftButton);  // first
                QTest::mouseClick(button(1), Qt::LeftButton);  // previous on the first row: stays
                then([&] {
                    users.push_back(audit(4)->text());
                    dates.push_back(audit(5)->text());
                    dlg::readGuiEvent(5, list);
                });
            });
        });
    });
    EXPECT_EQ(seen, (std::vector<std::int64_t>{2, 3, last, last - 1, 1, 1}));
    EXPECT_EQ(users, (std::vector<QString>{"USR3", "", "USR1"})) << "the audit entries show the current row's values";
    ASSERT_EQ(dates.size(), 1u);
    EXPECT_TRUE(dates[0].contains("31")) << dates[0].toStdString() << ": the row's date in the date format";
    EXPECT_TRUE(readOnly);
    EXPECT_TRUE(iconShown);
    EXPECT_TRUE(errors.empty()) << errors.front();
}

// --- the picture element

class Picture : public PopupTest {
protected:
    std::string tmpFile(const std::string& name, const std::string& bytes)
    {
        const char* dir = std::getenv("DXC_TEST_TMP");
        const std::string path = std::string(dir ? dir : "/tmp") + "/popup_" + name;
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.data(), qint64(bytes.size()));
        return path;
    }
    // Appends the picture of `data` with a when block on `enabled`.
    void appendPicture(const Value& data, bool* enabled)
    {
        rt::callWith("XbBitmap", list, 1.0, 1.0, data, Value(), anchor, rt::makeArray({13.0, 4.65}), Value(), Value(),
                     false);
        dlg::getListSet(list, dlg::slot::When, rt::makeBlock([enabled](rt::Args) { return *enabled; }));
    }
    QImage shown() const
    {
        auto* p = pictureObject.isObject() ? dynamic_cast<dlg::PicturePart*>(&pictureObject.asObject()) : nullptr;
        return p ? p->image() : QImage();
    }
    std::string storedFoto(int recno)
    {
        return testpg::value(peer, "SELECT coalesce(foto, '') FROM clientes WHERE recno = " + std::to_string(recno));
    }

    Value pictureObject;
    Value anchor = rt::makeBlock([this](rt::Args a) {
        if (!a.empty())
            pictureObject = a[0];
        return pictureObject;
    });
};

TEST_F(Picture, DrawsTheStoredPictureAndTakesANewOneOnClick)
{
    const std::string red = pngBytes(8, 6, Qt::red);
    ASSERT_TRUE(testpg::exec(peer, "UPDATE clientes SET foto = 'data:image/png;base64," +
                                       QByteArray::fromStdString(red).toBase64().toStdString() + "' WHERE recno = 1"));
    const Value data = openData();
    bool enabled = true;
    appendPicture(data, &enabled);
    const std::string blue = tmpFile("blue.png", pngBytes(20, 10, Qt::blue));
    int asked = 0;
    popup::setImageChooser([&] { ++asked; return blue; });
    QSize before, after;
    read([&](QDialog*) {
        before = shown().size();
        QTest::mouseClick(widgetOf(pictureObject), Qt::LeftButton);
        then([&] {
            after = shown().size();
            dlg::readGuiEvent(6, list);
        });
    });
    EXPECT_EQ(before, QSize(8, 6)) << "drawn from the stored base64 value when created";
    EXPECT_EQ(after, QSize(20, 10)) << "replaced by the chosen file";
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(rt::isTrue(rt::sendWith(data, "RecordPut", "clientes.codcli='000001'")));
    const std::string foto = storedFoto(1);
    EXPECT_EQ(foto.rfind("data:image/png;base64,", 0), 0u) << foto.substr(0, 40);
    EXPECT_NE(foto.find(QByteArray::fromStdString(pngBytes(20, 10, Qt::blue)).toBase64().toStdString()),
              std::string::npos);
}

TEST_F(Picture, RefusesWhatIsNoImageAndIgnoresClicksWhileDisabled)
{
    const Value data = openData();
    bool enabled = false;
    appendPicture(data, &enabled);
    std::string path = tmpFile("notes.png", "just some text, not a picture");
    int asked = 0;
    popup::setImageChooser([&] { ++asked; return path; });
    dlg::MessageCapture capture;
    read([&](QDialog*) {
        QTest::mouseClick(widgetOf(pictureObject), Qt::LeftButton);  // disabled: no chooser
        then([&] {
            enabled = true;
            dlg::getRefresh(list);
            QTest::mouseClick(widgetOf(pictureObject), Qt::LeftButton);  // text file
            then([&] {
                path = "/nonexistent/dir/x.png";
                QTest::mouseClick(widgetOf(pictureObject), Qt::LeftButton);  // missing file
                then([&] { dlg::readGuiEvent(6, list); });
            });
        });
    });
    EXPECT_EQ(asked, 2);
    ASSERT_EQ(capture.messages.size(), 2u);
    EXPECT_NE(capture.messages[0].text.find("no es una imagen"), std::string::npos) << capture.messages[0].text;
    EXPECT_NE(capture.messages[1].text.find("No se pudo leer"), std::string::npos) << capture.messages[1].text;
    EXPECT_TRUE(shown().isNull());
    rt::sendWith(data, "RecordPut", "clientes.codcli='000001'");
    EXPECT_EQ(storedFoto(1), "") << "nothing was staged";
}

TEST(PictureFile, OverTheCapIsRefusedBeforeDecoding)
{
    const char* dir = std::getenv("DXC_TEST_TMP");
    const std::string path = std::string(dir ? dir : "/tmp") + "/popup_big.png";
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const std::string png = pngBytes(4, 4, Qt::green);
        f.write(png.data(), qint64(png.size()));
        ASSERT_TRUE(f.resize(popup::kMaxPictureBytes + 1));  // a valid header, then too many bytes
    }
    dlg::MessageCapture capture;
    EXPECT_EQ(popup::readPictureFile(path), "");
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_NE(capture.messages[0].text.find("16 MB"), std::string::npos);
    QFile::remove(QString::fromStdString(path));
}

}  // namespace
}  // namespace popt
