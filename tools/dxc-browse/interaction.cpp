// dxc-browse's tagging, copying and in-place editing.
#include "interaction.h"

#include "browse/core/browse.h"
#include "browse/core/globals.h"
#include "browse/features/features.h"

#include "platform/dialog/slots.h"
#include "platform/dialog/storage.h"
#include "platform/grid/column.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"

#include <QClipboard>
#include <QGuiApplication>

#include <filesystem>

namespace dxcb {

namespace {

namespace opt = dlg::browseOption;
constexpr long long kCtrlC = 3;
constexpr long long kMoveLeft = gui::key::Left + gui::key::CtrlFlag + gui::key::ShiftFlag;
constexpr long long kMoveRight = gui::key::Right + gui::key::CtrlFlag + gui::key::ShiftFlag;
constexpr const char* kSettings = "dxc-browse";
constexpr const char* kLayouts = "Layouts";

void setOption(rt::Value& record, int n, const rt::Value& v)
{
    rt::Value& options = record.asArray().items[dlg::index(dlg::slot::Options)];
    if (!options.isArray())
        options = rt::Value::array(dlg::kBrowseOptions);
    options.asArray().items.resize(dlg::kBrowseOptions);
    options.asArray().items[dlg::index(n)] = v;
}

// The line of one row: every column's value as the column shows it.
std::string rowLine(const gui::XbpBrowse& b)
{
    std::string line;
    for (int c = 1; c <= b.colCount(); ++c) {
        const gui::XbpColumn* col = b.columnAt(c);
        const rt::Value v = col->dataLink.isBlock() ? rt::eval(col->dataLink) : rt::Value();
        line += (c > 1 ? "\t" : "") + col->format(v).trimmed().toStdString();
    }
    return line + "\n";
}

}  // namespace

void enableInteraction(rt::Value& record, bool edit, bool array)
{
    setOption(record, opt::TagEnable, true);
    setOption(record, opt::TagColorFG, gui::clr::White);
    setOption(record, opt::TagColorBG, gui::makeRgbColor(40, 110, 200));
    setOption(record, opt::Optimize, true);  // a heading double-click fits the column
    if (array)
        setOption(record, opt::TagElement, 4);  // the Flag column's logical
    if (!edit)
        return;
    auto& s = record.asArray().items;
    s[dlg::index(dlg::slot::CellEdit)] = rt::makeArray({gui::key::Enter});
    s[dlg::index(dlg::slot::CellOperations)] = rt::makeArray({gui::key::Ins});
    s[dlg::index(dlg::slot::CellOperations + 1)] = rt::makeArray({gui::key::Del});
}

std::string copiedRows(const rt::Value& browse)
{
    auto* b = browse::asRkBrowse(browse);
    if (!b)
        return {};
    std::string out;
    for (int c = 1; c <= b->colCount(); ++c) {
        const rt::Value caption = rt::getMember(b->columnAt(c)->heading, "cargo");
        out += (c > 1 ? "\t" : "") + (caption.isChar() ? caption.str() : std::string());
    }
    out += "\n";
    // Tagged rows in the order on screen, or the current row alone.
    if (browse::forEachTagged(*b, [&out, b] { out += rowLine(*b); }) == 0)
        out += rowLine(*b);
    return out;
}

void keepLayout(rt::Value& record, const std::string& tablePath, bool reset)
{
    const std::string id = std::filesystem::absolute(tablePath).lexically_normal().string();
    record.asArray().items[dlg::index(dlg::slot::Id)] = rt::Value(id);
    // Layouts are named by the table alone (no dialog name): ":" + the id.
    const rt::Value setting = rt::makeArray({kSettings, kLayouts, false});
    browse::autoRestoreBrowse(rt::Args(&setting, 1));
    if (reset)
        dlg::regWrite(kSettings, kLayouts, ":" + id, 0);
}

bool interactionKey(const rt::Value& browse, long long key)
{
    if (key == kMoveLeft || key == kMoveRight) {
        rt::sendWith(browse, "MoveColumn", key == kMoveLeft ? -1 : 1);
        return true;
    }
    if (key != kCtrlC)
        return false;
    QGuiApplication::clipboard()->setText(QString::fromStdString(copiedRows(browse)));
    return true;
}

long long taggedRows(const rt::Value& browse)
{
    const auto* b = browse::asRkBrowse(browse);
    return b ? browse::taggedCount(*b) : 0;
}

}  // namespace dxcb
