// The in-cell editor of a browse and its append and delete operations.
#include "platform/dialog/cell_editor.h"

#include "platform/dbf/table.h"
#include "platform/dbf/workarea.h"
#include "platform/dialog/library.h"
#include "platform/grid/browse.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace dlg {

namespace {

// Record locks between programs: a byte past any table's end per record
// (record 0 guards appends). Open-file-description locks, so closing
// another descriptor of the table never drops them.
constexpr off_t kLockBase = 1000000000;
constexpr int kLockTries = 300;  // 10 ms apart: 3 s for another program to finish its write

class RecordLock {
public:
    RecordLock(const std::string& path, std::uint32_t recno)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0)
            return;
        struct flock l {};
        l.l_type = F_WRLCK;
        l.l_whence = SEEK_SET;
        l.l_start = kLockBase + off_t(recno);
        l.l_len = 1;
        for (int i = 0; i < kLockTries; ++i) {
            if (::fcntl(fd_, F_OFD_SETLK, &l) == 0) {
                held_ = true;
                return;
            }
            if (errno != EAGAIN && errno != EACCES)
                return;
            ::usleep(10000);
        }
    }
    ~RecordLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;
    [[nodiscard]] bool held() const noexcept { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

gui::XbpBrowse* gridOf(const rt::Value& v) { return v.isObject() ? dynamic_cast<gui::XbpBrowse*>(&v.asObject()) : nullptr; }

rt::Value memberOr(const rt::Value& obj, std::string_view name)
{
    return rt::hasMember(obj, name) ? rt::getMember(obj, name) : rt::Value();
}

void setEditing(const rt::Value& browse, bool on)
{
    if (rt::hasMember(browse, "isCellEditing"))
        rt::setMember(browse, "isCellEditing", on);
}

// The work area of an alias source, or null.
dbf::WorkArea* areaOf(const rt::Value& browse)
{
    const rt::Value ds = memberOr(browse, "dataSource");
    return ds.isChar() ? dbf::findArea(ds.str()) : nullptr;
}

// Why the table of an area cannot be written, or "".
std::string refusal(dbf::WorkArea& area)
{
    if (area.table().readOnly())
        return "La tabla está abierta sólo para lectura: no se puede modificar.";
    if (!area.table().indexTags().empty())
        return "La tabla tiene un índice (.CDX) que este programa no mantiene al día: no se puede modificar.";
    return {};
}

// A row the user is adding and has not written yet. Over a work area it is
// the phantom record, shown below the view's last row while the browse's
// skip and go-bottom blocks are wrapped to reach it: the record is appended
// by the first write, so an abandoned row never reaches the file. Over an
// array the row is in the array until the edit is abandoned.
struct NewRow {
    rt::Value skip, goBottom;  // the browse's own blocks (work area)
    std::string alias;
    std::int64_t before = 0;   // the record (or array element) current before
    rt::Value added;           // the array's new row
};

std::map<const gui::XbpBrowse*, NewRow>& newRows()
{
    static std::map<const gui::XbpBrowse*, NewRow> m;
    return m;
}

bool addingRow(const rt::Value& browse) { return newRows().count(gridOf(browse)) > 0; }

// The browse's navigation with the phantom record as one more row after
// the view's last.
void reachPhantom(gui::XbpBrowse& b, const NewRow& row)
{
    const std::string alias = row.alias;
    const rt::Value skip = row.skip, goBottom = row.goBottom;
    b.skipBlock = rt::makeBlock([alias, skip, goBottom](rt::Args a) -> rt::Value {
        const rt::Value self = rt::argAt(a, 1);
        const long long n = rt::argAt(a, 0).isNum() ? a[0].asInt() : 1;
        dbf::WorkArea* area = dbf::findArea(alias);
        if (!area || n == 0)
            return rt::evalWith(skip, n, self);
        if (area->onPhantom()) {
            if (n > 0)
                return rt::Value(0);
            rt::evalWith(goBottom, self);
            if (area->onPhantom())  // the view shows nothing else
                return rt::Value(0);
            const rt::Value r = n == -1 ? rt::Value(0) : rt::evalWith(skip, n + 1, self);
            return rt::Value(-1 + (r.isNum() ? r.asInt() : 0));
        }
        const rt::Value r = rt::evalWith(skip, n, self);
        const long long moved = r.isNum() ? r.asInt() : 0;
        if (n > 0 && moved < n) {
            area->goTo(0);
            return rt::Value(moved + 1);
        }
        return rt::Value(moved);
    });
    b.goBottomBlock = rt::makeBlock([alias, goBottom](rt::Args a) {
        rt::evalWith(goBottom, rt::argAt(a, 0));
        if (dbf::WorkArea* area = dbf::findArea(alias))
            area->goTo(0);
        return rt::Value();
    });
}

// Ends the adding of a row: the browse's navigation as it was; an unwritten
// row leaves no trace and the row current before is current again.
void endNewRow(const rt::Value& browse, bool written)
{
    gui::XbpBrowse* b = gridOf(browse);
    const auto it = newRows().find(b);
    if (it == newRows().end())
        return;
    const NewRow row = it->second;
    newRows().erase(it);
    if (row.added.isArray()) {
        const rt::Value rows = memberOr(browse, "dataSource");
        if (!written && rows.isArray()) {
            auto& items = rows.asArray().items;
            std::erase_if(items, [&row](const rt::Value& r) { return r.isArray() && &r.asArray() == &row.added.asArray(); });
            rt::setMember(browse, "arrayElement", std::clamp<long long>(row.before, items.empty() ? 0 : 1, items.size()));
        }
    } else {
        b->skipBlock = row.skip;
        b->goBottomBlock = row.goBottom;
        if (dbf::WorkArea* area = dbf::findArea(row.alias); area && !written) {
            if (row.before > 0)
                area->goTo(row.before);
            else
                rt::evalWith(row.goBottom, browse);
        }
    }
    if (b->status == gui::XbpPart::Created)
        rt::send(browse, "RefreshAll", {});
}

}  // namespace

bool lockedWrite(dbf::WorkArea& area, std::uint32_t recno, const std::function<void()>& write,
                 const RecordAsRead* asRead)
{
    if (const std::string why = refusal(area); !why.empty()) {
        winAlert(why);
        return false;
    }
    RecordLock lock(area.table().path(), recno);
    if (!lock.held()) {
        winAlert("El registro está bloqueado por otro usuario: inténtelo de nuevo.");
        return false;
    }
    if (area.shared())
        area.table().refreshCount();  // another program may have written since
    if (recno != 0)
        area.goTo(recno);
    // Another program's write since the editor read the record would be
    // lost without a word: refuse, and show the record as it is now.
    if (asRead && asRead->recno == recno && recno != 0 && area.table().rawRecord() != asRead->bytes) {
        winAlert("Otro programa modificó este registro mientras lo editaba: sus cambios no se guardaron. "
                 "Se muestra el registro como está ahora.");
        return false;
    }
    rt::Error err("");
    const bool ok = rt::guarded(
        [&] {
            write();
            area.commit();
        },
        &err);
    if (!ok)
        winAlert("No se pudo guardar: " + err.message());
    return ok;
}

namespace {

// The typed text as a value of the cell's kind; nullopt (with a message)
// when it does not convert.
std::optional<rt::Value> convert(const QString& text, const rt::Value& old)
{
    const QString t = text.trimmed();
    switch (old.typeLetter()) {
    case 'N': {
        if (t.isEmpty())
            return rt::Value::number(0, old.decimals());
        bool ok = false;
        const double d = QString(t).replace(',', '.').toDouble(&ok);
        if (!ok) {
            winAlert("«" + t.toStdString() + "» no es un número.");
            return std::nullopt;
        }
        return old.decimals() == 0 && d == double(static_cast<long long>(d)) ? rt::Value(static_cast<long long>(d))
                                                                            : rt::Value::number(d, old.decimals());
    }
    case 'D': {
        const rt::Date d = rt::ctod(t.toStdString());
        if (!t.isEmpty() && rt::dtos(d).find_first_not_of(' ') == std::string::npos) {
            winAlert("«" + t.toStdString() + "» no es una fecha válida.");
            return std::nullopt;
        }
        return rt::Value(d);
    }
    case 'L': {
        const QString u = t.toUpper().remove('.');
        if (u == "T" || u == "S" || u == "Y" || u == "SI" || u == "SÍ")
            return rt::Value(true);
        if (u == "F" || u == "N" || u == "NO" || u.isEmpty())
            return rt::Value(false);
        winAlert("«" + t.toStdString() + "» no es un valor lógico (S o N).");
        return std::nullopt;
    }
    case 'C': {
        const std::string s = text.toStdString();
        // A longer text would be cut by the table: refuse it instead.
        if (old.charLen() > 0 && rt::utf8Length(s) > old.charLen()) {
            winAlert("El texto es demasiado largo: caben " + std::to_string(old.charLen()) + " caracteres.");
            return std::nullopt;
        }
        return rt::Value(s);
    }
    default: return rt::Value(text.toStdString());
    }
}

// Writes a cell's value through the column's data block: in a work area
// under a record lock, in an object followed by its RecordPut.
bool writeCell(const rt::Value& browse, gui::XbpColumn& column, const rt::Value& value, const RecordAsRead& asRead)
{
    if (dbf::WorkArea* area = areaOf(browse)) {
        if (!area->onPhantom())
            return lockedWrite(*area, area->recno(), [&] { rt::evalWith(column.dataLink, value); }, &asRead);
        if (!addingRow(browse))
            return false;
        // The new row's first write appends its record.
        return lockedWrite(*area, 0, [&] {
            area->append();
            if (!rt::guarded([&] { rt::evalWith(column.dataLink, value); })) {
                // No blank record is left live in its place.
                area->setDeleted(true);
                area->commit();
                rt::evalWith(column.dataLink, value);  // raises again, for the message
            }
        });
    }
    rt::Error err("");
    if (!rt::guarded([&] { rt::evalWith(column.dataLink, value); }, &err)) {
        winAlert("No se pudo guardar: " + err.message());
        return false;
    }
    const rt::Value ds = memberOr(browse, "dataSource");
    if (ds.isObject() && rt::hasMember(ds, "RecordPut") && !rt::isTrue(rt::send(ds, "RecordPut", {}))) {
        // The refused value must not stay in the object's buffer, where the
        // browse would show it as saved: the row is read again (what another
        // program saved meanwhile), or the buffer put back as it was read.
        if (!rt::hasMember(ds, "RecordGet") || !rt::isTrue(rt::send(ds, "RecordGet", {})))
            if (rt::hasMember(ds, "RecordCancel"))
                rt::send(ds, "RecordCancel", {});
        winAlert("El registro no se guardó: otro usuario lo cambió o el servidor lo rechazó.");
        return false;
    }
    return true;
}

std::map<const gui::XbpBrowse*, QPointer<QLineEdit>>& editors()
{
    static std::map<const gui::XbpBrowse*, QPointer<QLineEdit>> m;
    return m;
}

// Watches the line edit: Enter and Tab write and move on, Escape cancels,
// losing the focus writes.
class CellEditor : public QObject {
public:
    CellEditor(QLineEdit* edit, rt::Value browse, rt::Value column, rt::Value old, RecordAsRead asRead)
        : QObject(edit), edit_(edit), browse_(std::move(browse)), column_(std::move(column)), old_(std::move(old)),
          asRead_(std::move(asRead))
    {
        edit->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress) {
            const int k = static_cast<QKeyEvent*>(e)->key();
            if (k == Qt::Key_Escape) {
                close();
                return true;
            }
            if (k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Tab) {
                if (commit())
                    moveOn(k == Qt::Key_Tab);
                return true;
            }
        } else if (e->type() == QEvent::FocusOut && !done_) {
            // A click elsewhere writes; a refused value is dropped so the
            // message box does not bring the editor back. The browse or the
            // column going away takes the focus too: what was typed is then
            // dropped, with no write and no message in the middle of closing.
            if (closing())
                drop();
            else if (addingRow(browse_) && !edit_->isModified())
                close();  // an untouched new row is not added by a click elsewhere
            else if (!commit())
                close();
        }
        return false;
    }

private:
    bool commit()
    {
        if (done_)
            return true;
        auto* col = dynamic_cast<gui::XbpColumn*>(&column_.asObject());
        done_ = true;  // the message boxes below take the focus away
        const auto value = convert(edit_->text(), old_);
        if (!value || !writeCell(browse_, *col, *value, asRead_)) {
            done_ = false;
            return false;
        }
        endNewRow(browse_, true);
        close();
        return true;
    }

    void moveOn(bool right)
    {
        if (gui::XbpBrowse* b = gridOf(browse_)) {
            if (right)
                b->right();
            else
                b->down();
        }
    }

    [[nodiscard]] bool closing() const
    {
        const gui::XbpBrowse* b = gridOf(browse_);
        const auto* c = column_.isObject() ? dynamic_cast<const gui::XbpPart*>(&column_.asObject()) : nullptr;
        return !b || b->status != gui::XbpPart::Created || (c && c->status != gui::XbpPart::Created);
    }

    void drop()
    {
        done_ = true;
        endNewRow(browse_, false);
        setEditing(browse_, false);
        editors().erase(gridOf(browse_));
        edit_->hide();
        edit_->deleteLater();
    }

    void close()
    {
        done_ = true;
        endNewRow(browse_, false);
        setEditing(browse_, false);
        gui::XbpBrowse* b = gridOf(browse_);
        if (b) {
            b->refreshCurrent();
            editors().erase(b);
        }
        QWidget* area = edit_->parentWidget();
        edit_->hide();
        edit_->deleteLater();
        if (area)
            area->setFocus();
    }

    QLineEdit* edit_;
    rt::Value browse_, column_, old_;
    RecordAsRead asRead_;
    bool done_ = false;
};

bool confirm(const std::string& text)
{
    // A message sink (tests, no windows) takes the question and says yes.
    MessageSink sink = setMessageSink(nullptr);
    setMessageSink(sink);
    if (sink) {
        sink(Message{"Borrar", text, Severity::Warning});
        return true;
    }
    return askYesNo(text, "Borrar");  // "Sí" and "No", as every question of the library
}

}  // namespace

bool browCellEdit(const rt::Value& browse)
{
    gui::XbpBrowse* b = gridOf(browse);
    if (!b || cellEditor(browse))
        return false;
    b->forceStable();
    gui::XbpColumn* col = b->columnAt(b->colPos());
    gui::XbpCellGroup* area = col ? col->dataGroup() : nullptr;
    if (!area || !area->widget() || b->rowPos() < 1 || !col->dataLink.isBlock())
        return false;
    rt::Value old;
    rt::Error err("");
    if (!rt::guarded([&] { old = rt::eval(col->dataLink); }, &err))
        return false;
    auto* edit = new QLineEdit(area->widget());
    edit->setFrame(false);
    edit->setFont(area->cellFont());
    edit->setAlignment(old.isNum() ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
    // Text as the field holds it (a picture may shorten it); the rest as shown.
    const QString text = old.isChar() ? QString::fromStdString(old.str()) : col->format(old);
    edit->setText(text.trimmed());
    // No length limit on the editor: a pasted text that does not fit would
    // be cut without a word; the write refuses it and the text stays.
    edit->setGeometry(area->rowRect(b->rowPos()));
    edit->selectAll();
    RecordAsRead asRead;
    if (dbf::WorkArea* a = areaOf(browse); a && !a->onPhantom())
        asRead = {static_cast<std::uint32_t>(a->recno()), std::string(a->table().rawRecord())};
    new CellEditor(edit, browse, col->self(), old, std::move(asRead));
    editors()[b] = edit;
    setEditing(browse, true);
    edit->show();
    edit->setFocus();
    return true;
}

QWidget* cellEditor(const rt::Value& browse)
{
    const auto it = editors().find(gridOf(browse));
    return it == editors().end() ? nullptr : it->second.data();
}

bool appendRow(const rt::Value& browse)
{
    gui::XbpBrowse* b = gridOf(browse);
    if (!b || cellEditor(browse))
        return false;
    if (dbf::WorkArea* area = areaOf(browse)) {
        if (const std::string why = refusal(*area); !why.empty()) {
            winAlert(why);
            return false;
        }
        NewRow& row = newRows()[b];
        row = {b->skipBlock, b->goBottomBlock, area->alias(), area->onPhantom() ? 0 : area->recno(), {}};
        reachPhantom(*b, row);
        b->goBottom();
    } else if (const rt::Value rows = memberOr(browse, "dataSource"); rows.isArray()) {
        // A row shaped like the first, of blank values.
        rt::Value row = rt::Value::array();
        const rt::Value& first = rt::entryOf(rows, 1);
        if (first.isArray())
            for (const rt::Value& v : first.asArray().items)
                row.asArray().items.push_back(v.isChar()      ? rt::Value("")
                                              : v.isNum()     ? rt::Value(0)
                                              : v.isLogical() ? rt::Value(false)
                                              : v.isDate()    ? rt::Value(rt::Date{})
                                                              : rt::Value());
        const rt::Value at = memberOr(browse, "arrayElement");
        newRows()[b] = {{}, {}, {}, at.isNum() ? at.asInt() : 0, row};
        rows.asArray().items.push_back(row);
        rt::setMember(browse, "arrayElement", static_cast<long long>(rows.asArray().size()));
        rt::send(browse, "RefreshAll", {});
    } else {
        return false;
    }
    if (browCellEdit(browse))
        return true;
    endNewRow(browse, false);
    return false;
}

bool deleteRow(const rt::Value& browse)
{
    gui::XbpBrowse* b = gridOf(browse);
    if (!b)
        return false;
    if (dbf::WorkArea* area = areaOf(browse)) {
        if (area->onPhantom() || !confirm("¿Borrar el registro actual?"))
            return false;
        if (!lockedWrite(*area, area->recno(), [area] { area->setDeleted(true); }))
            return false;
        if (dbf::deletedHidden()) {  // the record leaves the view: the next one is current
            area->skip(1);
            if (area->eof())
                area->goBottom();
        }
    } else if (const rt::Value rows = memberOr(browse, "dataSource"); rows.isArray()) {
        const rt::Value at = memberOr(browse, "arrayElement");
        auto& items = rows.asArray().items;
        if (!at.isNum() || at.asInt() < 1 || std::size_t(at.asInt()) > items.size() ||
            !confirm("¿Borrar la fila actual?"))
            return false;
        items.erase(items.begin() + (at.asInt() - 1));
        rt::setMember(browse, "arrayElement", std::max<long long>(1, std::min<long long>(at.asInt(), items.size())));
    } else {
        return false;
    }
    rt::send(browse, "RefreshAll", {});
    return true;
}

void registerCellEditFunctions()
{
    // RK_BrowCellBlock(oBrowse, nMode, ...): the block of a hot key.
    rt::registerFunction("RK_BrowCellBlock", [](rt::Args a) {
        const rt::Value browse = rt::argAt(a, 0);
        const long long mode = rt::argAt(a, 1).isNum() ? rt::argAt(a, 1).asInt() : 0;
        return rt::makeBlock([browse, mode](rt::Args) {
            return rt::Value(mode == 3 ? appendRow(browse) : mode == 4 ? deleteRow(browse) : browCellEdit(browse));
        });
    });
    rt::registerFunction("RK_BrowCellEdit", [](rt::Args a) {
        if (rt::isTrue(rt::argAt(a, 12)) && !rt::isTrue(rt::argAt(a, 13)))
            return rt::Value(false);
        return rt::Value(browCellEdit(rt::argAt(a, 0)));
    });
}

}  // namespace dlg
