// RK_BrowseSQL: any SQL cursor in a ready-made window, built as element
// records like every dialog of the system and run by RK_ReadGUI.
#include "browse/addons/addons.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/dialog_options.h"
#include "platform/dialog/library.h"
#include "platform/gui/presparam.h"
#include "platform/pgsql/cursor.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <memory>

namespace addons {

namespace {

using rt::Value;

constexpr int kColumnWidth = 10;

// The clause texts of the building command (slot 70): the given ones, then NILs.
Value sourceTexts(std::initializer_list<Value> texts)
{
    Value a = Value::array(8);
    std::size_t i = 0;
    for (const Value& t : texts)
        a.asArray().items[i++] = t;
    return a;
}

// An anchor block over a variable the element list shares (kind "O").
Value anchorOver(const std::shared_ptr<Value>& var, std::string name)
{
    return dlg::getAnchorCB([var] { return *var; }, [var](const Value& v) { *var = v; }, std::move(name));
}

void appendBrowse(const Value& list, const Value& browseAnchor, const Value& cursorAnchor)
{
    list.asArray().items.push_back(dlg::getTemplate(dlg::type::Browse));
    dlg::getListSet(list, dlg::slot::Row, 0);
    dlg::getListSet(list, dlg::slot::Col, 0);
    dlg::getListSet(list, dlg::slot::Width, 100);
    dlg::getListSet(list, dlg::slot::Height, 25);
    dlg::getListSet(list, dlg::slot::Presentation, dlg::browPres());
    dlg::getListSet(list, dlg::slot::Id, "SQL_BROWSE");
    dlg::getListSet(list, dlg::slot::CellEdit, Value::array(7));  // no cell editing
    dlg::getListSet(list, dlg::slot::CursorMode, 3);  // a row cursor
    dlg::getListSet(list, dlg::slot::Colors, rt::makeArray({Value(), Value()}));
    dlg::getListSet(list, dlg::slot::Anchor, browseAnchor);
    dlg::getListSet(list, dlg::slot::DataSource, rt::makeArray({cursorAnchor, "oCursor"}));
    dlg::getListSet(list, dlg::slot::Options, Value::array(dlg::kBrowseOptions));
    dlg::getListSet(list, dlg::slot::Source,
                    sourceTexts({"RKBROWSE", "oBrowse", Value(), "oCursor", "0", "0", "100", "25"}));
}

void appendColumn(const Value& list, const Value& cursor, int field, const Value& browseAnchor)
{
    const std::string n = std::to_string(field);
    const std::string dataText = "SQLFieldBlock(oCursor, " + n + ")";
    list.asArray().items.push_back(dlg::getTemplate(dlg::type::Column));
    dlg::getListSet(list, dlg::slot::Caption, rt::sendWith(cursor, "fieldName", field));
    // Numbers and money to the right, also those kept as text for their digits.
    const bool amount = rt::hasMember(cursor, "fieldIsAmount")
                            ? rt::isTrue(rt::sendWith(cursor, "fieldIsAmount", field))
                            : rt::sendWith(cursor, "fieldType", field).str() == "N";
    if (amount)
        dlg::getListSet(list, dlg::slot::Presentation,
                        rt::makeArray({rt::makeArray({gui::pp::DaAlignment, gui::align::Right | gui::align::VCenter}),
                                       rt::makeArray({gui::pp::HaAlignment, gui::align::Right | gui::align::VCenter})}));
    dlg::getListSet(list, dlg::slot::Width, kColumnWidth);
    Value options = Value::array(dlg::kColumnOptions);
    options.asArray().items[dlg::index(dlg::columnOption::SortBlock)] = sqlSortBlock(browseAnchor, field, field);
    options.asArray().items[1] = Value("SQLSortBlock(oBrowse, " + n + ", " + n + ")");
    // A left click sorts too, and no column shows an arrow before a sort.
    options.asArray().items[dlg::index(dlg::columnOption::SortOnLeftClick)] = true;
    options.asArray().items[dlg::index(dlg::columnOption::SortDefault)] = false;
    dlg::getListSet(list, dlg::slot::Options, options);
    dlg::getListSet(list, dlg::slot::ParentAnchor, browseAnchor);
    dlg::getListSet(list, dlg::slot::DataSource, rt::makeArray({sqlFieldBlock(cursor, field), Value(dataText)}));
    dlg::getListSet(list, dlg::slot::Source,
                    sourceTexts({"RKBROWSECOL", Value(), "oBrowse", Value(dataText), std::to_string(kColumnWidth)}));
}

// The browse given, or the one its anchor block yields now.
Value browseOf(const Value& oBrowse) { return oBrowse.isBlock() ? rt::evalWith(oBrowse) : oBrowse; }

}  // namespace

Value sqlBrowseList(const Value& oCursor, Value& browseAnchor)
{
    const Value list = Value::array();
    auto browse = std::make_shared<Value>();
    auto cursor = std::make_shared<Value>(oCursor);
    browseAnchor = anchorOver(browse, "oBrowse");
    appendBrowse(list, browseAnchor, anchorOver(cursor, "oCursor"));
    const Value count = rt::sendWith(oCursor, "fCount");
    for (int i = 1; count.isNum() && i <= count.asInt(); ++i)
        appendColumn(list, oCursor, i, browseAnchor);
    return list;
}

Value sqlBrowseOptions()
{
    Value o = dlg::dialogOptions();
    auto& items = o.asArray().items;
    items[dlg::readOption::Title - 1] = Value("SQL Browse");
    items[dlg::readOption::Resizable - 1] = true;
    items[dlg::readOption::Maximize - 1] = true;
    items[dlg::readOption::SizeBlock - 1] = rt::makeBlock([](rt::Args a) -> Value {
        const Value& dx = rt::argAt(a, 0);
        const Value& dy = rt::argAt(a, 1);
        const Value size = rt::sendWith(rt::argAt(a, 2), "currentSize");
        const Value& w = rt::entryOf(size, 1);
        const Value& h = rt::entryOf(size, 2);
        if (!dx.isNum() || !dy.isNum() || !w.isNum() || !h.isNum())
            return {};
        return rt::makeArray({w.asInt() + dx.asInt(), h.asInt() + dy.asInt()});
    }, "{|x, y, o| {o:currentSize()[1] + x, o:currentSize()[2] + y}}");
    return o;
}

bool browseSQL(const Value& oCursor, const Value& bCreated)
{
    if (!oCursor.isObject())
        return false;
    Value browseAnchor;
    Value list = sqlBrowseList(oCursor, browseAnchor);
    dlg::ReadSetup setup;
    setup.getList = list;
    setup.options = sqlBrowseOptions();
    setup.dialogReceiver = bCreated;
    rt::Error failure("");
    const bool ran = rt::guarded([&] { dlg::readGui(setup); }, &failure);
    // The anchor holds the browse, whose element records hold the anchor.
    rt::evalWith(browseAnchor, Value());
    list.asArray().items.clear();
    if (!ran)
        rt::raise(failure);
    return true;
}

Value sqlFieldBlock(const Value& oCursor, const Value& nField)
{
    return rt::makeBlock([oCursor, nField](rt::Args) {
        if (pgsql::Cursor* c = pgsql::asCursor(oCursor))  // the common case, without a name lookup
            return c->fieldGet(nField.isNum() ? int(nField.asInt()) : c->fieldPos(nField.isChar() ? nField.asString() : ""));
        return rt::sendWith(oCursor, "fieldGet", nField);
    });
}

Value sqlSortBlock(const Value& oBrowse, const Value& nField, const Value& nColumn)
{
    struct State {
        Value field;
        Value column;
    };
    auto state = std::make_shared<State>(State{nField, nColumn});
    return rt::makeBlock([oBrowse, state](rt::Args a) -> Value {
        const Value source = rt::getMember(browseOf(oBrowse), "dataSource");
        if (state->field.isChar())  // resolved once and for good
            state->field = rt::sendWith(source, "fieldPos", state->field);
        const int field = state->field.isNum() ? int(state->field.asInt()) : 0;
        // An SQL browse flips its direction on every click; a column that a
        // click sorts afresh starts ascending all the same.
        const Value browse = browseOf(oBrowse);
        const Value sorted = rt::getMember(browse, "sortColumn");
        const Value& colPos = rt::argAt(a, 1);
        bool descend = rt::isTrue(rt::argAt(a, 2));
        if (descend && !rt::isEmpty(rt::argAt(a, 0)) && colPos.isNum() &&
            !(sorted.isNum() && sorted.asInt() == colPos.asInt())) {
            descend = false;
            rt::setMember(browse, "descending", false);
        }
        std::string text = descend ? "{|x, y| x > y" : "{|x, y| x < y";
        text.append(" on field ").append(std::to_string(field)).append(", text by Upper()}");
        rt::sendWith(source, "sort", Value(static_cast<rt::Block*>(new pgsql::FieldOrder(field, descend, text))));
        state->column = state->field;
        return state->column;
    });
}

}  // namespace addons
