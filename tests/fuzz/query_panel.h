// The query panel as dxc-browse sets it up over every field of the current
// work area (by position and by the name the table reports), a search and
// its clearing, and a collated order on each field with a seek: shared by
// the fuzz targets that feed it a table's field names and values.
#pragma once

#include "browse/addons/addons.h"
#include "browse/addons/query.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dbf/workarea.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <string>

namespace fuzzpanel {

inline void registerFunctions()
{
    dbf::registerDbfFunctions();
    gui::registerGuiFunctions();
    dlg::registerDialogFunctions();
    addons::registerAddons();
    dlg::setMessageSink([](const dlg::Message&) {});
}

inline void buildAndSearch(const std::string& entry)
{
    dbf::WorkArea& area = dbf::requireArea("fuzz");
    const auto& fields = area.table().fields();
    rt::Value items = rt::Value::array();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        items.asArray().items.push_back(
            rt::makeArray({rt::Value(fields[i].name), rt::Value(std::int64_t(i + 1)), "", rt::Value(fields[i].name)}));
        items.asArray().items.push_back(rt::makeArray({rt::Value(fields[i].name), rt::Value(fields[i].name), "", ""}));
    }
    rt::Value q = rt::sendWith(rt::callFunction("RK_BrowseQuery"), "new", rt::Value::array());
    auto& bq = static_cast<addons::BrowseQuery&>(q.asObject());
    bq.queryArray = items;
    bq.isFloating = true;
    bq.buildGets(rt::Value(), rt::Value());
    for (rt::Value& item : bq.queryArray.asArray().items)
        item.asArray().items[6] = rt::Value(entry);
    bq.applyQuery({});
    bq.clearFields({});
    // The element records and query items hold blocks that hold them (the
    // dialog library's records are built that way): the cycles are broken
    // here so that a long run does not grow.
    for (rt::Value* list : {&bq.queryGetList, &bq.queryArray})
        if (list->isArray()) {
            for (rt::Value& r : list->asArray().items)
                if (r.isArray())
                    r.asArray().items.clear();
            list->asArray().items.clear();
        }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        dbf::OrderSpec spec{"F" + std::to_string(i), "field", "", false, false};
        spec.field = int(i);
        spec.fold = dbf::KeyFold::Collate;
        area.createOrder(std::move(spec));
        (void)area.seek(rt::Value(entry), true, false);
    }
}

}  // namespace fuzzpanel
