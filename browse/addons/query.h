// RK_BrowseQuery: a query-by-example panel over a browse of a work area.
//
//     oQuery := RK_BrowseQuery():new(GetList)
//     oQuery:queryArray := {{"Name", "NAME", "@!", "NAME"}, {"Joined", "JOINED", "", ""}}
//     oQuery:buildGets(oBrowse, oStaticBrowse)     // while GetList is being built
//     ... RK_ReadGUI(GetList) ...; Eval(oQuery:startBlock) shows the panel
//
// Each query item is {label, field expression, picture, index name, row,
// column, value, get/set block}. The panel holds one labelled entry per
// item and the buttons "Find", "Clear" and "Done". Find scans the work area
// for records where every non-empty entry matches (text: the field starts
// with it, without regard to case; dates and other kinds: equal) and limits
// the work area to them through a record-list scope, with a progress window
// whose Cancel stops the scan and shows every record again.
//
// Embedded (the default), the panel is a static area above the browse,
// inside the static that holds the browse: startBlock shrinks the browse
// and shows the panel, doneBlock hides it and gives the browse its room
// back. Floating, startBlock runs the panel as a window of its own.
//
// The blocks of the panel's elements refer to the object without holding
// it (the object holds the element list they live in): keep the object
// while its dialog runs.
#pragma once

#include "platform/runtime/object.h"

#include <memory>
#include <string_view>

namespace addons {

class BrowseQuery final : public rt::Object {
public:
    BrowseQuery();
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    rt::Value init(const rt::Value& getList);
    // oBrowse and oStaticBrowse: the objects, or anchor blocks that yield them
    // once the dialog exists.
    void buildGets(const rt::Value& oBrowse, const rt::Value& oStaticBrowse);
    void applyQuery(const rt::Value& oBrowse);
    [[nodiscard]] bool testQuery() const;
    void clearFields(const rt::Value& oBrowse);
    [[nodiscard]] bool isVisible() const;
    rt::Value destroy();

    rt::Value alias, queryArray, browseObject, browseObjectBlock, parentObject, queryGetList, mainGetList;
    rt::Value buttonConfig, startBlock, doneBlock, bgColor;
    rt::Value staticRow, staticCol, staticWidth, staticHeight;
    rt::Value isPixel, isSQL, saySize, isFloating, isVertical, dialogWindow, maxGetWidth;

private:
    struct Build;
    void appendStatics(Build& b);
    void appendButtons(Build& b);
    void placeItems(Build& b);
    void appendItems(Build& b);
    void makeShowBlocks(Build& b);
    void showEmbedded();
    void hideEmbedded();
    std::shared_ptr<bool> typed_ = std::make_shared<bool>(false);  // lData: an entry was just typed into
    rt::Value staticBrowse_;  // the object or anchor given to buildGets
};

// The panel's text test: Upper(field) starts with upperEntry (an entry
// already upper-cased and trimmed).
[[nodiscard]] bool startsWithUpper(std::string_view field, std::string_view upperEntry);

// _GetEvalBlock(aQueryItem, aGetListItem): a block that stores slot 4 of the
// element record into element 8 of the query item.
[[nodiscard]] rt::Value getEvalBlock(const rt::Value& aQueryItem, const rt::Value& aGetListItem);

// Registers RK_BrowseQuery (the class function) and _GetEvalBlock.
void registerQueryFunctions();

}  // namespace addons
