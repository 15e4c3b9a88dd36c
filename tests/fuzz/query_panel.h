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
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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

// The scratch folder every input's table is written into; the program's
// current folder, where DBCREATE("V") would write.
inline std::string& folder()
{
    static std::string dir;
    return dir;
}

// The target's start: an offscreen application, the scratch folder made
// from `templ` (mkdtemp's form) and the functions the panel calls.
inline void start(int* argc, char*** argv, char* templ)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    if (!mkdtemp(templ))
        std::abort();
    folder() = templ;
    QDir::setCurrent(QString::fromStdString(folder()));
    registerFunctions();
}

inline std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes the table as T.dbf beside a victim V.dbf, opens it for writing,
// runs `work` on it and closes it: the table and the folder must be as
// they were (a name run as DBAPPEND() or DBCREATE(...) changes them).
inline void checkUntouched(const std::string& tableBytes, const std::function<void()>& work)
{
    const std::string table = folder() + "/T.dbf";
    {
        std::ofstream(table, std::ios::binary | std::ios::trunc) << tableBytes;
        std::ofstream(folder() + "/V.dbf", std::ios::binary | std::ios::trunc) << "victim";
    }
    const std::string before = slurp(table);
    if (rt::guarded([&] { rt::callWith("DbUseArea", true, "FOXCDX", table, "T", true, false); }))
        work();
    dbf::closeAllAreas();
    if (slurp(table) != before || slurp(folder() + "/V.dbf") != "victim") {
        std::fprintf(stderr, "a field name ran as code\n");
        std::abort();
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder()))
        ++files;
    if (files != 2) {
        std::fprintf(stderr, "a field name made a file\n");
        std::abort();
    }
}

}  // namespace fuzzpanel
