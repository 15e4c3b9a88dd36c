// Hot keys of a dialog's element list object.
#include "platform/dialog/hotkeys.h"

#include "platform/dialog/element_parts.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"

#include <QApplication>
#include <QWidget>

namespace dlg {

namespace {

// One registration as the list keeps it: {nKey, bAction, bWhen, oOwner, oTarget, lConsume}.
enum Entry { Key = 1, Action, When, Owner, Target, Consume };

bool focusInside(const rt::Value& owner)
{
    const gui::XbpPart* p = gui::asPart(owner);
    if (!p)
        return true;
    const QWidget* focus = QApplication::focusWidget();
    return focus && p->widget() && (p->widget() == focus || p->widget()->isAncestorOf(focus));
}

}  // namespace

void addHotKey(const rt::Value& getList, rt::Args a)
{
    GetListObject* g = asGetList(getList);
    const rt::Value& key = rt::argAt(a, 0);
    if (!g || !key.isNum() || !rt::argAt(a, 1).isBlock())
        return;
    if (!g->hotKeys.isArray())
        g->hotKeys = rt::Value::array();
    const rt::Value& consume = rt::argAt(a, 7);
    g->hotKeys.asArray().items.push_back(rt::makeArray({key, rt::argAt(a, 1), rt::argAt(a, 2), rt::argAt(a, 4),
                                                        rt::argAt(a, 5), !consume.isLogical() || consume.asBool()}));
}

bool runHotKey(const rt::Value& getList, int nKey)
{
    const GetListObject* g = asGetList(getList);
    if (!g || !g->hotKeys.isArray())
        return false;
    // A copy: an action may register further keys.
    const std::vector<rt::Value> keys = g->hotKeys.asArray().items;
    for (const rt::Value& k : keys) {
        if (rt::entryOf(k, Key).asInt() != nKey || !focusInside(rt::entryOf(k, Owner)))
            continue;
        if (const rt::Value& when = rt::entryOf(k, When); when.isBlock() && !rt::isTrue(rt::eval(when)))
            continue;
        rt::evalWith(rt::entryOf(k, Action), rt::entryOf(k, Target), nKey);
        return rt::isTrue(rt::entryOf(k, Consume));
    }
    return false;
}

rt::Value grok(rt::Args) { return true; }

void registerHotKeyFunctions() { rt::registerFunction("GROK", &grok); }

}  // namespace dlg
