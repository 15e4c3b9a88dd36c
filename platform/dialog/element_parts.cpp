// The element list object and the element mix-in.
#include "platform/dialog/element_parts.h"

#include "platform/dialog/hotkeys.h"

#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/functions.h"

namespace dlg {

namespace {

// Entries of a read's options array; RK_ReadGUI options reach 51 and more.
constexpr std::size_t kOptionEntries = 60;

rt::ClassInfo makeGetListClass()
{
    using G = GetListObject;
    rt::ClassInfo c("RK_GetList");
    c.field<G>("getListArray", &G::getListArray);
    c.field<G>("getListPointer", &G::getListPointer);
    c.field<G>("getOptions", &G::getOptions);
    c.field<G>("scaleFactor", &G::scaleFactor);
    c.field<G>("isDataToolTips", &G::isDataToolTips);
    c.field<G>("dialog", &G::dialog);
    c.method<G>("AddHotKey", [](G& g, rt::Args a) {
        const rt::Value self(static_cast<rt::Object*>(&g));
        addHotKey(self, a);
        return self;
    });
    return c;
}

ElementParts& partsOf(rt::Object& o) { return dynamic_cast<ElementParts&>(o); }

template <rt::Value ElementParts::*Slot>
void addPartsVar(rt::ClassInfo& c, std::string_view name)
{
    c.addVar(
        name, [](rt::Object& o) { return partsOf(o).*Slot; },
        [](rt::Object& o, const rt::Value& v) { partsOf(o).*Slot = v; });
}

rt::ClassInfo makePartsClass()
{
    rt::ClassInfo c("RK_ElementParts");
    addPartsVar<&ElementParts::getList>(c, "getList");
    addPartsVar<&ElementParts::whenBlock>(c, "whenBlock");
    addPartsVar<&ElementParts::hideBlock>(c, "hideBlock");
    addPartsVar<&ElementParts::protectBlock>(c, "protectBlock");
    addPartsVar<&ElementParts::origSettings>(c, "origSettings");
    c.addVar(
        "getListPointer", [](rt::Object& o) { return rt::Value(partsOf(o).getListPointer); },
        [](rt::Object& o, const rt::Value& v) {
            if (v.isNum())
                partsOf(o).getListPointer = int(v.asInt());
        });
    c.addMethod("init", [](rt::Object& o, rt::Args a) {
        partsOf(o).initParts(rt::argAt(a, 0), rt::argAt(a, 1));
        return rt::Value(&o);
    });
    c.addMethod("setOrig", [](rt::Object& o, rt::Args) {
        if (const auto* p = dynamic_cast<const gui::XbpPart*>(&o))
            partsOf(o).setOrig(*p);
        return rt::Value(&o);
    });
    return c;
}

}  // namespace

const rt::ClassInfo& GetListObject::staticClass()
{
    static const rt::ClassInfo cls = makeGetListClass();
    return cls;
}

const rt::ClassInfo& GetListObject::classInfo() const { return staticClass(); }

rt::Value makeGetList(const rt::Value& records, const rt::Value& options)
{
    auto* g = new GetListObject();
    rt::Value v(static_cast<rt::Object*>(g));
    g->getListArray = records.isArray() ? records : rt::Value::array();
    g->getListPointer = 0;
    g->getOptions = options.isArray() ? options : rt::Value::array();
    if (g->getOptions.asArray().size() < kOptionEntries)
        g->getOptions.asArray().items.resize(kOptionEntries);
    g->scaleFactor = rt::makeArray({1, 1, 1});
    g->isDataToolTips = false;
    return v;
}

GetListObject* asGetList(const rt::Value& v)
{
    return v.isObject() ? dynamic_cast<GetListObject*>(&v.asObject()) : nullptr;
}

const rt::ClassInfo& ElementParts::staticClass()
{
    static const rt::ClassInfo cls = makePartsClass();
    return cls;
}

void ElementParts::initParts(const rt::Value& oGetList, const rt::Value& nPointer)
{
    getList = oGetList;
    if (nPointer.isNum())
        getListPointer = int(nPointer.asInt());
    else if (const GetListObject* g = asGetList(oGetList); g && g->getListPointer.isNum())
        getListPointer = int(g->getListPointer.asInt());
}

rt::Value ElementParts::elementsArray() const
{
    const GetListObject* g = asGetList(getList);
    return g && g->getListArray.isArray() ? g->getListArray : rt::Value();
}

rt::Value ElementParts::element() const
{
    const rt::Value list = elementsArray();
    if (!list.isArray() || getListPointer < 1 || std::size_t(getListPointer) > list.asArray().size())
        return {};
    return list.asArray().items[std::size_t(getListPointer) - 1];
}

rt::Value ElementParts::elementSlot(int n) const
{
    const rt::Value e = element();
    if (!e.isArray() || n < 1 || std::size_t(n) > e.asArray().size())
        return {};
    return e.asArray().items[std::size_t(n) - 1];
}

void ElementParts::setElementSlot(int n, const rt::Value& v) const
{
    const rt::Value e = element();
    if (!e.isArray() || n < 1)
        return;
    auto& items = e.asArray().items;
    if (items.size() < std::size_t(n))
        items.resize(std::size_t(n));
    items[std::size_t(n) - 1] = v;
}

void ElementParts::setOrig(const gui::XbpPart& self)
{
    origSettings = rt::makeArray({rt::aClone(self.pos), rt::aClone(self.size), rt::aClone(self.presParams),
                                  self.visible});
}

ElementParts* asElementParts(const rt::Value& v)
{
    return v.isObject() ? dynamic_cast<ElementParts*>(&v.asObject()) : nullptr;
}

}  // namespace dlg
