// RK_XbpBrowse: the data grid of the dialog library.
//
// The dialog reader makes one for a browse element (type 28) of an element
// list: new(oParent, oOwner, aPos, aSize, aPres, lVisible, oGetList) reads
// the element record and its options array (slot 21, 56 entries), decides
// the data-source kind (slot 2: 1 array, 2 alias, 3 SQL cursor, 4 other
// object, 5 server data set, 6 table handle, 7 SQL view, 8 query result),
// installs the navigation blocks of that kind, merges fonts and zebra
// colours into its presentation list and prepares the column elements that
// follow it. create(...) makes the window; the column elements then become
// RK_XbpColumn objects that add themselves.
//
// Members are reached by name from compiled text and from the columns, so
// every instance variable is a runtime value, in the order the class
// defines them.
#pragma once

#include "platform/dialog/element_parts.h"
#include "platform/grid/browse.h"
#include "platform/runtime/error.h"

#include <functional>
#include <memory>

namespace browse {

class RK_XbpBrowse : public gui::XbpBrowse, public dlg::ElementParts {
public:
    RK_XbpBrowse();
    ~RK_XbpBrowse() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    // --- construction
    // Init(oParent, oOwner, aPos, aSize, aPres, lVisible, oGetList).
    rt::Value init(rt::Args a) override;
    // create(...): the arguments Init kept stand in for any not given.
    rt::Value create(rt::Args a) override;
    // False when Init stopped early (no data source, a refused data value):
    // the platform browse was not initialised and must not be created.
    [[nodiscard]] bool initialised() const noexcept { return initialised_; }

    // --- refresh, events and stabilisation
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;
    // Destroy: stops the refresh timer, saves the layout, destroys the window.
    rt::Value destroy() override;
    rt::Value setTimerRefresh();
    rt::Value Navigate(const rt::Value& mp1, const rt::Value& mp2);
    rt::Value Refresh();
    rt::Value RefreshAll(const rt::Value& cDataSource = {});
    rt::Value RefreshView();
    rt::Value ForceStable();
    void refreshWhole() override { RefreshAll(); }  // what the layers below ask for
    rt::Value DataDisplay(const rt::Value& lEnable);
    rt::Value WhenHideEval(rt::Value lEnable, rt::Value lShow, const rt::Value& lProtect);
    rt::Value FieldBlock(const rt::Value& nField);

    // --- row colours (browse/columns/row_colors.h)
    rt::Value RowColor();
    rt::Value ZebraColor(const rt::Value& uEven, const rt::Value& aOdd);
    rt::Value CustomDrawCell(const rt::Value& oPS, const rt::Value& aInfo);

    // --- tagging, cell editing, column layout and layout persistence: run
    // by the features table (features.h); without it each returns the
    // browse, and itemRbDown, Resize and SetSize keep the platform's
    // behaviour, as HFLbDown does.
    rt::Value CellEditSetup();
    rt::Value Save(rt::Args a);
    rt::Value Restore(rt::Args a);
    rt::Value MoveColumn(rt::Args a);
    rt::Value itemRbDown(rt::Args a);
    rt::Value CellEdit(rt::Args a);
    rt::Value CellEditMode(rt::Args a);
    rt::Value SortClear();
    rt::Value HFLbDown(const rt::Value& aPos, const rt::Value& aValues);
    rt::Value Optimize(rt::Args a);
    rt::Value RestoreDefaults();
    rt::Value FitColumns(rt::Args a);
    rt::Value ResizeColumns(rt::Args a);
    rt::Value Tag(rt::Args a);
    rt::Value Resize(rt::Args a);
    rt::Value SetSize(rt::Args a);
    // The platform's own right-button and resize handling (the callbacks given).
    rt::Value platformItemRbDown(rt::Args a);
    rt::Value platformResize(rt::Args a);

    // The element's options array (slot 21, grown to 56 entries by Init).
    rt::Value options;

    // Instance variables, in definition order.
    rt::Value oHasFocus;               // 1
    rt::Value dataLink;                // 2
    rt::Value color;                   // 3
    rt::Value varBlock;                // 4
    rt::Value captionBlock;            // 5
    rt::Value picture;                 // 6
    rt::Value optionArray;             // 7
    rt::Value arrayElement;            // 8
    rt::Value dataSource;              // 9
    rt::Value dataSourceType;          // 10
    rt::Value thumbRecords;            // 11
    rt::Value headerLines;             // 12
    rt::Value headerDelim;             // 13
    rt::Value footerLines;             // 14
    rt::Value footerDelim;             // 15
    rt::Value headerPres;              // 16
    rt::Value footerPres;              // 17
    rt::Value browsePres;              // 18
    rt::Value fit;                     // 19
    rt::Value fitMax;                  // 20
    rt::Value optimize;                // 21
    rt::Value outputBlock;             // 22
    rt::Value inputBlock;              // 23
    rt::Value mark;                    // 24
    rt::Value markColorBlock;          // 25
    rt::Value rowColorBlock;           // 26
    rt::Value isScope;                 // 27
    rt::Value font;                    // 28
    rt::Value pointerBlock;            // 29
    rt::Value autoLock;                // 30
    rt::Value freezeLeft;              // 31
    rt::Value freezeRight;             // 32
    rt::Value columns;                 // 33
    rt::Value sortColorSelectedFG;     // 34
    rt::Value sortColorSelectedBG;     // 35
    rt::Value sortColorUnSelectedFG;   // 36
    rt::Value sortColorUnSelectedBG;   // 37
    rt::Value sortColorNonselectableFG;  // 38
    rt::Value sortColorNonselectableBG;  // 39
    rt::Value sortFontSelected;        // 40
    rt::Value sortFontUnSelected;      // 41
    rt::Value sortFontNonSelectable;   // 42
    rt::Value descending;              // 43
    rt::Value descendToggle;           // 44
    rt::Value sortImageAscend;         // 45
    rt::Value sortImageDescend;        // 46
    rt::Value sortColumn;              // 47
    rt::Value refreshInterval;         // 48
    rt::Value refreshWhenBlock;        // 49
    rt::Value refreshBlock;            // 50
    rt::Value timer;                   // 51
    rt::Value rightButtonSelect;       // 52
    rt::Value cellEditMode;            // 53
    rt::Value cellEditor;              // 54
    rt::Value saveRecord;              // 55
    rt::Value hasHeader;               // 56
    rt::Value hasFooter;               // 57
    rt::Value navBlocks;               // 58
    rt::Value dataEnabled;             // 59
    rt::Value rightButtonDown;         // 60
    rt::Value defaultColumnsGetList;   // 61
    rt::Value configMessageBlock;      // 62
    rt::Value filter;                  // 63
    rt::Value noRestore;               // 64
    rt::Value restoreConfig;           // 65
    rt::Value restoreProc;             // 66
    rt::Value skipUnique;              // 67
    rt::Value lBrow;                   // 68
    rt::Value nBrow;                   // 69
    rt::Value resizeColumns;           // 70
    rt::Value tagEnable;               // 71
    rt::Value tagElement;              // 72
    rt::Value tagColorFG;              // 73
    rt::Value tagColorBG;              // 74
    rt::Value tagMode;                 // 75
    rt::Value lastTagRec;              // 76
    rt::Value lastTagPos;              // 77
    rt::Value config;                  // 78
    rt::Value scrollBarTipBlock;       // 79
    rt::Value isItemMarkedCodeBlock;   // 80
    rt::Value ownerDrawBlock;          // 81
    rt::Value isLeftMouseButton;       // 82
    rt::Value isTrapErrors;            // 83
    rt::Value evenRow;                 // 84
    rt::Value CellEditKeyBlock;        // 85
    rt::Value isCellEditing;           // 86
    rt::Value scrollBarHeight;         // 87
    rt::Value navigateBlock;           // 88
    rt::Value recordObject;            // 89
    rt::Value browseColor;             // 90

protected:
    // A cell's data or colour block raised: kept for ForceStable to report
    // when errors are not trapped.
    void cellFailed(const rt::Error& e) override;
    // The grid's own stabilisation runs ForceStable: trapped or reported.
    void stabiliseByItself() override { ForceStable(); }

private:
    friend class BrowseBuilder;  // Init's steps

    // A block that runs fn on this browse while it lives and returns NIL
    // after. Blocks the browse keeps (callbacks, its timer's, its colour
    // block) hold it this way, so they never keep it alive in a cycle.
    rt::Value selfBlock(std::function<rt::Value(RK_XbpBrowse&, rt::Args)> fn);
    // The automatic layout restore of construction: the layout key and the
    // designed column records; the restore itself is the persistence work's.
    void prepareAutoRestore(const rt::Value& id);
    void restoreLayout();
    // The automatic layout save of Destroy (the persistence work's).
    void autoSave();

    bool initialised_ = false;
    bool collectingFailures_ = false;
    std::unique_ptr<rt::Error> cellFailure_;
};

// The RK_XbpBrowse behind a value, or null.
[[nodiscard]] RK_XbpBrowse* asRkBrowse(const rt::Value& v);

// Registers the browse library's classes and functions with the runtime
// (RK_XbpBrowse, RK_XbpColumn, the navigation helpers, the accessors);
// idempotent. Dialogs find the classes by name.
void registerBrowseLibrary();

}  // namespace browse
