// Cell editing: the settings of the browse's element record normalised in
// place and the hot keys registered with the dialog's element list. The
// editor itself belongs to the dialog library.
#include "browse/core/browse.h"
#include "browse/features/features.h"

#include "platform/dialog/slots.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"

#include <QApplication>
#include <QWidget>

namespace browse {

namespace {

namespace slot = dlg::slot;

// Slot n of the record as an array of `size` (a new one when it was not an array).
rt::Value& arraySlot(rt::Value& record, int n, std::size_t size)
{
    auto& items = record.asArray().items;
    if (items.size() < std::size_t(n))
        items.resize(std::size_t(n));
    rt::Value& v = items[dlg::index(n)];
    if (!v.isArray())
        v = rt::Value::array();
    v.asArray().items.resize(size);
    return v;
}

rt::Value& entry(rt::Value& a, std::size_t n) { return a.asArray().items[n - 1]; }

void zeroUnlessNumber(rt::Value& v)
{
    if (!v.isNum())
        v = 0;
}

// What the dialog library's cell editor is handed with every operation of
// one browse.
struct CellEditorSetup {
    rt::Value browse;
    rt::Value extra;       // the element's slot 43
    rt::Value keyHandler;  // the element's slot 44
    rt::Value elements;    // the dialog's element list
};

// One cell operation: its mode and the element settings the library reads
// for it. From the element record:
//   edit     slot 37: mode 37/3, settings 37/7, target 37/2, options 37/5
//   append   slot 38: mode 3,    settings 38/3, target 38/2, options 38/4
//   delete   slot 39: mode 4,    no settings,   target 39/2, options 39/3
struct CellOperation {
    rt::Value mode;
    rt::Value settings;
    rt::Value target;
    rt::Value options;
};

// The library's argument lists, built here only.
// RK_BrowCellBlock(oBrowse, nMode, settings, target, extra, options, keyHandler, aElements)
rt::Value cellBlock(const CellEditorSetup& s, const CellOperation& op)
{
    return rt::callWith("RK_BrowCellBlock", s.browse, op.mode, op.settings, op.target, s.extra, op.options,
                        s.keyHandler, s.elements);
}

// RK_BrowCellEdit(oBrowse, NIL, NIL, mode, NIL, settings, target, oBrowse,
// extra, options, keyHandler, aElements, lFiltered, filter's answer).
rt::Value cellEditByKey(const CellEditorSetup& s, const CellOperation& op, const rt::Value& filterAnswer)
{
    const rt::Value args[] = {s.browse, rt::Value(), rt::Value(), op.mode,  rt::Value(), op.settings, op.target,
                              s.browse, s.extra,     op.options,  s.keyHandler, s.elements, true, filterAnswer};
    return rt::callFunction("RK_BrowCellEdit", rt::Args(args, 14));
}

void addHotKey(RK_XbpBrowse& b, const rt::Value& key, const rt::Value& action, const rt::Value& when = {})
{
    const rt::Value args[] = {key, action, when, rt::Value(), b.self(), b.self(), rt::Value(), true};
    rt::send(b.getList, "AddHotKey", rt::Args(args, 8));
}

// True when the focus is in one of this browse's own cell groups.
bool focusInOwnCells(const gui::WeakPart& weak)
{
    const rt::Value browse = weak.lock();
    const QWidget* focus = QApplication::focusWidget();
    const gui::XbpPart* part = focus ? gui::XbpPart::fromWidget(focus) : nullptr;
    if (!browse.isObject() || !part || !part->isDerivedFrom("XbpCellGroup"))
        return false;
    const auto* cell = dynamic_cast<const gui::XbpCellGroup*>(part);
    return cell && cell->host() == gui::asBrowse(browse);
}

// A slot-38 or slot-39 key: the library's operation, and a second
// registration that hands the key to the browse from its own cells.
void addOperationKey(RK_XbpBrowse& b, const rt::Value& key, const rt::Value& action)
{
    addHotKey(b, key, action);
    const gui::WeakPart weak(b);
    addHotKey(b, key,
              rt::makeBlock([weak, key](rt::Args) {
                  const rt::Value browse = weak.lock();
                  gui::setAppFocus(browse);
                  gui::postAppEvent(gui::ev::Keyboard, key, {}, browse);
              }),
              rt::makeBlock([weak](rt::Args) { return rt::Value(focusInOwnCells(weak)); }));
}

}  // namespace

rt::Value cellEditSetup(RK_XbpBrowse& b, rt::Args)
{
    const rt::Value list = b.elementsArray();
    if (!list.isArray() || b.getListPointer < 1 || std::size_t(b.getListPointer) > list.asArray().size())
        return {};
    rt::Value& record = list.asArray().items[std::size_t(b.getListPointer) - 1];
    if (!record.isArray())
        return {};

    const CellEditorSetup setup{b.self(), rt::entryOf(record, slot::CellEditExtra), rt::entryOf(record, slot::KeyHandler),
                                list};
    rt::Value& edit = arraySlot(record, slot::CellEdit, 8);
    rt::Value& hot = entry(edit, 1);
    if (hot.isNum())
        hot = rt::makeArray({hot, rt::Value()});
    else if (!hot.isArray())
        hot = rt::makeArray({0, rt::Value()});
    hot.asArray().items.resize(2);
    zeroUnlessNumber(entry(hot, 1));
    if (!entry(edit, 6).isLogical())
        entry(edit, 6) = rt::entryOf(record, slot::SourceKind).isNum() && rt::entryOf(record, slot::SourceKind).asInt() == 2;
    if (entry(hot, 1).asInt() > 0) {
        b.CellEditKeyBlock = entry(edit, 8);
        b.cellEditMode = true;
        addHotKey(b, entry(hot, 1), cellBlock(setup, {entry(edit, 3), entry(edit, 7), entry(edit, 2), entry(edit, 5)}));
    }

    rt::Value& more = arraySlot(record, slot::CellOperations, 5);
    zeroUnlessNumber(entry(more, 1));
    zeroUnlessNumber(entry(more, 5));
    for (std::size_t n : {1u, 5u})
        if (entry(more, n).asInt() > 0)
            addOperationKey(b, entry(more, n), cellBlock(setup, {3, entry(more, 3), entry(more, 2), entry(more, 4)}));

    rt::Value& del = arraySlot(record, slot::CellOperations + 1, 3);
    zeroUnlessNumber(entry(del, 1));
    if (entry(del, 1).asInt() > 0)
        addOperationKey(b, entry(del, 1), cellBlock(setup, {4, rt::Value(), entry(del, 2), entry(del, 3)}));

    if (const rt::Value filter = entry(hot, 2); filter.isBlock()) {
        const CellOperation op{entry(edit, 3), entry(edit, 7), entry(edit, 2), entry(edit, 5)};
        // The browse's own callback keeps this block: it holds the browse weakly.
        CellEditorSetup weakSetup = setup;
        weakSetup.browse = rt::Value();
        const gui::WeakPart weak(b);
        b.cbKeyboard = rt::makeBlock([weakSetup, op, filter, weak](rt::Args k) {
            CellEditorSetup s = weakSetup;
            s.browse = weak.lock();
            if (s.browse.isNil())
                return rt::Value();
            return cellEditByKey(s, op, rt::evalWith(filter, rt::argAt(k, 0)));
        });
    }
    return {};
}

rt::Value cellEditMode(RK_XbpBrowse& b, rt::Args a)
{
    rt::callWith("GROK", rt::argAt(a, 0));
    b.cellEditMode = !rt::isTrue(b.cellEditMode);
    return b.self();
}

rt::Value cellEdit(RK_XbpBrowse& b, rt::Args) { return b.self(); }

rt::Value itemRbDown(RK_XbpBrowse& b, rt::Args a)
{
    const rt::Value& values = rt::argAt(a, 1);
    const rt::Value& nRow = rt::entryOf(values, 2);
    if (rt::isTrue(b.rightButtonSelect)) {
        const rt::Value& col = rt::entryOf(values, 1);
        const auto* c = col.isObject() ? dynamic_cast<const gui::XbpColumn*>(&col.asObject()) : nullptr;
        const int nCol = c ? b.colNum(c) : col.isNum() ? int(col.asInt()) : 0;
        if (nCol > 0 && nRow.isNum()) {
            b.gui::XbpBrowse::gotoItem(int(nRow.asInt()), nCol);
            b.setColPos(nCol);
        }
    }
    b.platformItemRbDown(a);
    return b.self();
}

}  // namespace browse
