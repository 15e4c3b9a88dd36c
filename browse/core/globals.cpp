// The browse library's process-wide settings and the configuration class.
#include "browse/core/globals.h"

#include "platform/dialog/library.h"
#include "platform/runtime/array.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/functions.h"

namespace browse {

namespace {

constexpr std::size_t kSortEntries = 11;
constexpr std::size_t kAutoRestoreEntries = 3;

struct Settings {
    rt::Value trapErrors = false;
    rt::Value sort;
    rt::Value browseDefault;
    rt::Value configMessageBlock;
    rt::Value whenOnItemMarked = false;
    rt::Value autoRestore;
};

Settings& settings()
{
    static Settings s;
    return s;
}

// The accessor rule: the value held before the call is returned; an
// argument of the accepted kind replaces it.
rt::Value exchange(rt::Value& held, rt::Args a, bool (rt::Value::*accepts)() const noexcept)
{
    rt::Value previous = held;
    if (const rt::Value& v = rt::argAt(a, 0); (v.*accepts)())
        held = v;
    return previous;
}

rt::ClassInfo makeConfigClass()
{
    using C = XbpBrowseConfig;
    rt::ClassInfo c("RK_XbpBrowseConfig");
    c.field<C>("font", &C::font);
    c.field<C>("presParam", &C::presParam);
    c.field<C>("useVisualStyleBrowse", &C::useVisualStyleBrowse);
    c.field<C>("useVisualStyleScrollBars", &C::useVisualStyleScrollBars);
    c.method<C>("Init", [](C& o, rt::Args) {
        o.reset();
        return rt::Value(static_cast<rt::Object*>(&o));
    });
    return c;
}

}  // namespace

rt::Value browseTrapErrors(rt::Args a) { return exchange(settings().trapErrors, a, &rt::Value::isLogical); }

rt::Value browseSort(rt::Args a)
{
    rt::Value previous = exchange(settings().sort, a, &rt::Value::isArray);
    if (!previous.isArray())
        previous = rt::Value::array();
    previous.asArray().items.resize(kSortEntries);
    return previous;
}

rt::Value xbpBrowseDefault(rt::Args a)
{
    const rt::Value previous = exchange(settings().browseDefault, a, &rt::Value::isObject);
    if (previous.isObject())
        return previous;
    return rt::Value(static_cast<rt::Object*>(new XbpBrowseConfig()));
}

rt::Value browseConfigMessageBlock(rt::Args a)
{
    return exchange(settings().configMessageBlock, a, &rt::Value::isBlock);
}

rt::Value getWhenOnBrowseItemMarked(rt::Args a)
{
    return exchange(settings().whenOnItemMarked, a, &rt::Value::isLogical);
}

rt::Value autoRestoreBrowse(rt::Args a)
{
    const rt::Value previous = exchange(settings().autoRestore, a, &rt::Value::isArray);
    if (rt::argAt(a, 0).isArray()) {
        auto& items = settings().autoRestore.asArray().items;
        items.resize(kAutoRestoreEntries);
        if (!items[2].isLogical())
            items[2] = true;
    }
    return previous;
}

XbpBrowseConfig::XbpBrowseConfig() { reset(); }

void XbpBrowseConfig::reset()
{
    font = rt::Value();
    presParam = dlg::browPres();
    useVisualStyleBrowse = false;
    useVisualStyleScrollBars = true;
}

const rt::ClassInfo& XbpBrowseConfig::staticClass()
{
    static const rt::ClassInfo cls = makeConfigClass();
    return cls;
}

const rt::ClassInfo& XbpBrowseConfig::classInfo() const { return staticClass(); }

void registerGlobals()
{
    rt::registerFunction("RK_BrowseTrapErrors", &browseTrapErrors);
    rt::registerFunction("RK_BrowseSort", &browseSort);
    rt::registerFunction("RK_XbpBrowseDefault", &xbpBrowseDefault);
    rt::registerFunction("RK_BrowseConfigMessageBlock", &browseConfigMessageBlock);
    rt::registerFunction("RK_GetWhenOnBrowseItemMarked", &getWhenOnBrowseItemMarked);
    rt::registerFunction("RK_AutoRestoreBrowse", &autoRestoreBrowse);
    rt::registerClass<XbpBrowseConfig>();
}

void resetGlobals() { settings() = Settings(); }

}  // namespace browse
