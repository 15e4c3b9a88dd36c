// Layout persistence: the browse's position, size and columns (identity,
// width, fonts, heading and footing heights) saved as an array, stored in a
// file or in the user's settings, and brought back explicitly or when the
// dialog is built again, before its columns exist.
#include "browse/columns/column.h"
#include "browse/core/browse.h"
#include "browse/core/globals.h"
#include "browse/features/features.h"
#include "browse/features/widths.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/library.h"
#include "platform/dialog/slots.h"
#include "platform/dialog/storage.h"
#include "platform/grid/cellgroup.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cmath>

namespace browse {

namespace {

namespace slot = dlg::slot;

double pixelScale(const RK_XbpBrowse& b)
{
    const rt::Value s = rt::entryOf(rt::hasMember(b.getList, "scaleFactor") ? rt::getMember(b.getList, "scaleFactor")
                                                                            : rt::Value(),
                                    3);
    return s.isNum() && s.asDouble() != 0 ? s.asDouble() : 1;
}

rt::Value pair(QPoint p) { return rt::makeArray({p.x(), p.y()}); }
rt::Value pair(QSize s) { return rt::makeArray({s.width(), s.height()}); }

rt::Value columnEntry(gui::XbpColumn& c, double scale)
{
    const RK_XbpColumn* rk = dynamic_cast<RK_XbpColumn*>(&c);
    const rt::Value fonts = rk ? rk->origFonts : rt::Value();
    const QSize size = layoutSize(c);
    const int headingHeight = c.headingGroup() ? c.headingGroup()->currentSize().height() : 0;
    const int footingHeight = c.footingGroup() ? c.footingGroup()->currentSize().height() : 0;
    const double w = size.width() / scale;
    const rt::Value width = w == std::floor(w) ? rt::Value(static_cast<long long>(w)) : rt::Value(w);
    return rt::makeArray({rk ? rk->columnPos : rt::Value(), rt::makeArray({width, size.height()}), rt::entryOf(fonts, 1),
                          rt::entryOf(fonts, 2), headingHeight, rt::entryOf(fonts, 3), footingHeight});
}

// The stored layout in the auto-restore setting's store.
rt::Value loadStored(const rt::Value& setting, const rt::Value& name)
{
    const rt::Value& store = rt::entryOf(setting, 1);
    if (store.isBlock())
        return rt::evalWith(store, name);
    return dlg::regQuery(store, rt::entryOf(setting, 2), name);
}

void writeStored(const rt::Value& setting, const rt::Value& name, const rt::Value& value, bool discard)
{
    const rt::Value& store = rt::entryOf(setting, 1);
    if (store.isBlock()) {
        if (discard)
            rt::evalWith(store, name);
        else
            rt::evalWith(store, name, value);
        return;
    }
    dlg::regWrite(store, rt::entryOf(setting, 2), name, value);
}

// The column records of the run after the browse's own: their indexes.
std::vector<std::size_t> columnRun(const rt::Value& list, int pointer, std::size_t& walked)
{
    std::vector<std::size_t> out;
    walked = 0;
    const auto& items = list.asArray().items;
    for (std::size_t i = std::size_t(pointer); i < items.size(); ++i, ++walked) {
        const rt::Value& type = rt::entryOf(items[i], slot::Type);
        if (!type.isNum() || (type.asInt() != dlg::type::Column && type.asInt() != dlg::type::ColumnAlt))
            break;
        if (type.asInt() == dlg::type::Column)
            out.push_back(i);
    }
    return out;
}

void mismatch(RK_XbpBrowse& b, const rt::Value& setting)
{
    if (b.configMessageBlock.isBlock()) {
        rt::evalWith(b.configMessageBlock, b.self());
    } else {
        const std::string where = rt::xtoc(rt::entryOf(setting, 2)) + "\\" + rt::xtoc(b.restoreProc);
        dlg::msgBox(rt::makeArray({"Your Saved Browse configuration cannot be restored:", where}));
    }
    if (!b.restoreProc.isNil() && !rt::isEmpty(setting))
        writeStored(setting, b.restoreProc, 0, true);
}

void applyEntry(rt::Value& record, rt::Value& entry)
{
    record.asArray().items[dlg::index(slot::Width)] = rt::entryOf(rt::entryOf(entry, 2), 1);
    record.asArray().items[dlg::index(slot::PixelWidth)] = true;
    entry.asArray().items.resize(3);
    if (const rt::Value& font = rt::entryOf(entry, 3); !rt::isEmpty(font))
        record.asArray().items[dlg::index(slot::Font)] = rt::Value(rt::alltrim(rt::xtoc(font)));
}

// Layout-wide heading (4, 5) and footing (6, 7) font and height into a
// column record's colour slot.
void applyBand(rt::Value& record, int colorSlot, const rt::Value& font, const rt::Value& height)
{
    if (rt::isEmpty(font) && rt::isEmpty(height))
        return;
    rt::Value& colors = record.asArray().items[dlg::index(colorSlot)];
    if (!colors.isArray())
        colors = rt::Value::array();
    colors.asArray().items.resize(4);
    colors.asArray().items[2] = font;
    colors.asArray().items[3] = height;
}

}  // namespace

rt::Value save(RK_XbpBrowse& b, rt::Args a)
{
    const double scale = pixelScale(b);
    std::vector<rt::Value> entries;
    for (int i = 1; i <= b.colCount(); ++i)
        entries.push_back(columnEntry(*b.columnAt(i), scale));
    const rt::Value layout = rt::makeArray({pair(b.currentPos()), pair(b.currentSize()), rt::makeArray(std::move(entries))});
    const rt::Value& file = rt::argAt(a, 0);
    if (!rt::isEmpty(file) && file.isChar() && !dlg::aSave(layout, file.str()))
        std::fprintf(stderr, "Save: the layout could not be written to %s\n", file.str().c_str());
    return layout;
}

rt::Value restore(RK_XbpBrowse& b, rt::Args a)
{
    const rt::Value& arg = rt::argAt(a, 0);
    const rt::Value config = arg.isChar() ? dlg::aRestore(arg.str()) : arg;
    const rt::Value& columns = rt::entryOf(config, 3);
    if (!config.isArray() || !columns.isArray())
        return false;
    b.lockUpdate(true);
    std::vector<rt::Value> remembered;
    while (b.colCount() > 0)
        remembered.push_back(b.delColumn(1));
    for (const rt::Value& entry : columns.asArray().items) {
        const rt::Value& id = rt::entryOf(entry, 1);
        const auto found = std::find_if(remembered.begin(), remembered.end(), [&](const rt::Value& c) {
            const RK_XbpColumn* rk = asRkColumn(c);
            return rk && id.isNum() && rk->columnPos.isNum() && rk->columnPos.asInt() == id.asInt();
        });
        if (found == remembered.end())
            continue;
        b.addColumn(*found);
        if (const auto size = gui::pairOf(rt::entryOf(entry, 2)))
            asRkColumn(*found)->setSize(QSize(size->x(), size->y()));
        for (const char* m : {"setHeaderCaption", "setHeaderColor", "setFooterCaption", "setFooterColor"})
            if (rt::hasMember(*found, m))
                rt::send(*found, m, {});
    }
    if (const auto pos = gui::pairOf(rt::entryOf(config, 1)))
        b.setPos(*pos);
    if (const auto size = gui::pairOf(rt::entryOf(config, 2)))
        b.gui::XbpBrowse::setSize(QSize(size->x(), size->y()));
    b.lockUpdate(false);
    b.gui::XbpBrowse::forceStable();
    b.gui::XbpBrowse::refreshAll();
    return true;
}

rt::Value restoreDefaults(RK_XbpBrowse& b, rt::Args)
{
    if (rt::isEmpty(b.defaultColumnsGetList))
        return b.self();
    b.lockUpdate(true);
    while (b.colCount() > 0)
        b.delColumn(1);
    const rt::Value records = b.defaultColumnsGetList;
    const rt::Value getList = dlg::makeGetList(records, rt::hasMember(b.getList, "getOptions")
                                                            ? rt::getMember(b.getList, "getOptions")
                                                            : rt::Value());
    for (std::size_t i = 1; i <= records.asArray().size(); ++i) {
        dlg::asGetList(getList)->getListPointer = static_cast<long long>(i);
        const rt::Value args[] = {b.self(), getList};
        rt::runReporting([&] { rt::newObject("RK_XbpColumn", rt::Args(args, 2)); });
    }
    b.defaultColumnsGetList.asArray().items.clear();
    b.lockUpdate(false);
    return b.self();
}

void restoreLayout(RK_XbpBrowse& b)
{
    const rt::Value setting = autoRestoreBrowse();
    rt::Value config;
    if (b.restoreConfig.isChar())
        config = dlg::aRestore(b.restoreConfig.str());
    else if (b.restoreConfig.isArray())
        config = b.restoreConfig;
    else if (!rt::isEmpty(setting))
        config = loadStored(setting, b.restoreProc);
    if (!config.isArray())
        return;
    config = rt::aClone(config);
    config.asArray().items.resize(7);
    const rt::Value list = b.elementsArray();
    if (!list.isArray())
        return;
    std::size_t walked = 0;
    const std::vector<std::size_t> run = columnRun(list, b.getListPointer, walked);
    const rt::Value& saved = rt::entryOf(config, 3);
    const std::size_t savedCount = saved.isArray() ? saved.asArray().size() : 0;

    // The designed records were kept by the construction already. The
    // records are rewritten on copies that replace the designed ones
    // only when all went well: a failure leaves the dialog as designed,
    // and is reported.
    rt::runReporting([&] {
        if (run.size() != savedCount) {
            mismatch(b, setting);
            return;
        }
        auto& items = list.asArray().items;
        const auto first = items.begin() + b.getListPointer;
        std::vector<rt::Value> records;
        for (auto it = first; it != first + std::ptrdiff_t(walked); ++it)
            records.push_back(rt::aClone(*it));
        for (std::size_t n = 1; n <= run.size(); ++n) {
            rt::Value& record = records[run[n - 1] - std::size_t(b.getListPointer)];
            long long found = 0;
            for (std::size_t k = 1; k <= savedCount; ++k)
                if (const rt::Value& id = rt::entryOf(rt::entryOf(saved, k), 1); id.isNum() && id.asInt() == long(n))
                    found = static_cast<long long>(k);
            record.asArray().items.resize(std::max<std::size_t>(record.asArray().size(), dlg::kRecordSlots));
            record.asArray().items[dlg::index(slot::Placement)] = rt::makeArray({found, static_cast<long long>(n)});
            if (found > 0) {
                rt::Value entry = rt::aClone(rt::entryOf(saved, std::size_t(found)));
                applyEntry(record, entry);
            }
            applyBand(record, slot::HeaderColors, rt::entryOf(config, 4), rt::entryOf(config, 5));
            applyBand(record, slot::FooterColors, rt::entryOf(config, 6), rt::entryOf(config, 7));
        }
        // Saved order; columns the layout does not name come first.
        const auto key = [](const rt::Value& r) {
            const rt::Value& k = rt::entryOf(rt::entryOf(r, slot::Placement), 1);
            return k.isNum() ? k.asDouble() : 0.0;
        };
        std::stable_sort(records.begin(), records.end(),
                         [&](const rt::Value& x, const rt::Value& y) { return key(x) < key(y); });
        std::copy(records.begin(), records.end(), first);
    });
}

void autoSave(RK_XbpBrowse& b)
{
    const rt::Value setting = autoRestoreBrowse();
    if (rt::isEmpty(setting) || b.getListPointer < 1 || rt::isEmpty(b.elementsArray()) || rt::isTrue(b.noRestore) ||
        rt::isEmpty(b.restoreProc))
        return;
    writeStored(setting, b.restoreProc, save(b, {}), false);
}

}  // namespace browse
