// The GUI layer's functions and class functions, registered by name.
#include "platform/gui/functions.h"

#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/gui/font.h"
#include "platform/gui/presparam.h"
#include "platform/gui/ps.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/static.h"
#include "platform/gui/timer.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"



namespace gui {

namespace {
QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Text argument in any kind: GraStringAt and GraCaptionStr draw numbers too.
QString textOf(const rt::Value& v) { return v.isChar() ? qstr(v.asString()) : qstr(rt::var2char(v)); }

XbpPS& psArg(rt::Args a, const char* op)
{
    XbpPS* ps = asPS(rt::argAt(a, 0));
    if (!ps)
        rt::raiseArg(op, a);
    return *ps;
}

// Fills the by-reference stand-in of AppEvent/NextAppEvent: { mp1, mp2, oXbp }.
void fillOut(rt::Args a, const rt::Value& mp1, const rt::Value& mp2, const rt::Value& target)
{
    const rt::Value& out = rt::argAt(a, 0);
    if (out.isArray())
        out.asArray().items = {mp1, mp2, target};
}

rt::Value fnPostAppEvent(rt::Args a)
{
    const rt::Value& n = rt::argAt(a, 0);
    if (!n.isNum())
        rt::raiseArg("PostAppEvent", a);
    postAppEvent(int(rt::clampToInt(n.asDouble())), rt::argAt(a, 1), rt::argAt(a, 2), rt::argAt(a, 3));
    return true;
}

rt::Value fnAppEvent(rt::Args a)
{
    const int timeout = int(std::clamp<std::int64_t>(rt::intArg(a, 3, "AppEvent", 0), 0, 100 * 86400));
    rt::Value mp1, mp2, target;
    const int n = appEvent(mp1, mp2, target, timeout);
    fillOut(a, mp1, mp2, target);
    return n;
}

rt::Value fnNextAppEvent(rt::Args a)
{
    rt::Value mp1, mp2, target;
    const int n = nextAppEvent(&mp1, &mp2, &target);
    fillOut(a, mp1, mp2, target);
    return n;
}

rt::Value fnSetAppFocus(rt::Args a)
{
    const rt::Value& w = rt::argAt(a, 0);
    if (w.isNil())
        return appFocus();
    if (!asPart(w))
        rt::raiseArg("SetAppFocus", a);
    return setAppFocus(w);
}

rt::Value fnAppKeyState(rt::Args a)
{
    return appKeyState(int(std::clamp<std::int64_t>(rt::intArg(a, 0, "AppKeyState", 0), 0, INT32_MAX)));
}

rt::Value fnGraMakeRGBColor(rt::Args a)
{
    const rt::Value& rgb = rt::argAt(a, 0);
    if (!rgb.isArray() || rgb.asArray().size() < 3)
        rt::raiseArg("GraMakeRGBColor", a);
    for (std::size_t i = 0; i < 3; ++i)
        if (!rgb.asArray().items[i].isNum())
            rt::raiseArg("GraMakeRGBColor", a);
    return colorNumber(rgb);
}

rt::Value fnGraSetColor(rt::Args a)
{
    return psArg(a, "GraSetColor").setColor(rt::argAt(a, 1), rt::argAt(a, 2));
}

rt::Value fnGraSetFont(rt::Args a)
{
    XbpPS& ps = psArg(a, "GraSetFont");
    const rt::Value& f = rt::argAt(a, 1);
    if (!f.isNil() && !asFont(f) && !f.isChar())
        rt::raiseArg("GraSetFont", a);
    return ps.setFont(f);
}

rt::Value fnGraSetAttrString(rt::Args a)
{
    return psArg(a, "GraSetAttrString").setAttrString(rt::argAt(a, 1));
}

rt::Value fnGraStringAt(rt::Args a)
{
    XbpPS& ps = psArg(a, "GraStringAt");
    const auto at = pointOf(rt::argAt(a, 1));
    if (!at)
        rt::raiseArg("GraStringAt", a);
    return graStringAt(ps, *at, textOf(rt::argAt(a, 2)));
}

rt::Value fnGraQueryTextBox(rt::Args a)
{
    XbpPS* ps = asPS(rt::argAt(a, 0));
    // Measuring needs no device: without a PS the application font measures.
    static XbpPS* scratch = new XbpPS();
    if (!ps && !rt::argAt(a, 0).isNil())
        rt::raiseArg("GraQueryTextBox", a);
    return textBoxValue(graQueryTextBox(ps ? *ps : *scratch, textOf(rt::argAt(a, 1))));
}

// Arguments 2 and 3 of a drawing function: two points {x, y}.
std::pair<QPointF, QPointF> twoPoints(rt::Args a, const char* op)
{
    const auto p1 = pointOf(rt::argAt(a, 1));
    const auto p2 = pointOf(rt::argAt(a, 2));
    if (!p1 || !p2)
        rt::raiseArg(op, a);
    return {*p1, *p2};
}

rt::Value fnGraCaptionStr(rt::Args a)
{
    XbpPS& ps = psArg(a, "GraCaptionStr");
    const auto [p1, p2] = twoPoints(a, "GraCaptionStr");
    const int flags = int(rt::intArg(a, 4, "GraCaptionStr", align::Left | align::VCenter));
    return graCaptionStr(ps, p1, p2, textOf(rt::argAt(a, 3)), flags);
}

rt::Value fnGraBox(rt::Args a)
{
    XbpPS& ps = psArg(a, "GraBox");
    const auto [p1, p2] = twoPoints(a, "GraBox");
    return graBox(ps, p1, p2, int(rt::intArg(a, 3, "GraBox", gra_fill::Outline)));
}

rt::Value fnGraLine(rt::Args a)
{
    XbpPS& ps = psArg(a, "GraLine");
    const auto [p1, p2] = twoPoints(a, "GraLine");
    return graLine(ps, p1, p2);
}

}  // namespace

void registerGuiFunctions()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    rt::registerFunction("PostAppEvent", fnPostAppEvent);
    rt::registerFunction("AppEvent", fnAppEvent);
    rt::registerFunction("NextAppEvent", fnNextAppEvent);
    rt::registerFunction("SetAppFocus", fnSetAppFocus);
    rt::registerFunction("AppKeyState", fnAppKeyState);
    rt::registerFunction("GraMakeRGBColor", fnGraMakeRGBColor);
    rt::registerFunction("GraSetColor", fnGraSetColor);
    rt::registerFunction("GraSetFont", fnGraSetFont);
    rt::registerFunction("GraSetAttrString", fnGraSetAttrString);
    rt::registerFunction("SetAttrString", fnGraSetAttrString);
    rt::registerFunction("GraStringAt", fnGraStringAt);
    rt::registerFunction("GraQueryTextBox", fnGraQueryTextBox);
    rt::registerFunction("GraCaptionStr", fnGraCaptionStr);
    rt::registerFunction("GraBox", fnGraBox);
    rt::registerFunction("GraLine", fnGraLine);
    registerClass<XbpPart>();
    registerClass<XbpFont>();
    registerClass<XbpPS>();
    registerClass<XbpStatic>();
    registerClass<XbpBitmap>();
    registerClass<XbpIcon>();
    registerClass<SetTimerEvent>();
}

}  // namespace gui
