// The element record's slots and the options arrays of browses, columns and
// reads, by name: code says slot::Width, not 9.
//
// One slot number means different things on different elements (slot 37 is
// an entry's pop-up settings, a browse's cell-edit settings and a column's
// header colours), so a number can have several names; use the one of the
// element at hand. Slot and option numbers are 1-based, as the records hold
// them; index() turns one into a position of Array::items.
#pragma once

#include <cstddef>

namespace dlg {

constexpr int kRecordSlots = 80;

// The position of 1-based slot or option n in an array's items.
constexpr std::size_t index(int n) { return std::size_t(n - 1); }

namespace slot {
constexpr int Type = 1;
constexpr int SubType = 2;        // the template's second argument
constexpr int SourceKind = 2;     // a browse's data-source kind, written by the browse
constexpr int ColumnType = 2;     // a column's platform column type
constexpr int Caption = 3;        // also a column's header caption source
constexpr int GetSet = 4;         // get/set block of the bound variable
constexpr int OutputBlock = 4;    // a browse's output block source
constexpr int DataBlock = 4;      // a column's data block source
constexpr int Row = 5;
constexpr int Col = 6;
constexpr int EnableBlock = 8;    // the query panel buttons' enable block
constexpr int Width = 9;          // a column's in pixels when PixelWidth is true
constexpr int Height = 10;
constexpr int Font = 11;
constexpr int Picture = 12;
constexpr int When = 13;
constexpr int Valid = 14;
constexpr int Tooltip = 15;
constexpr int Cargo = 16;
constexpr int Presentation = 17;
constexpr int Action = 18;        // a button's action, a picture's click block
constexpr int InputBlock = 18;    // a browse's input block source
constexpr int Options = 21;
constexpr int Colors = 22;        // a colour block, or an array whose entry 1 is one
constexpr int CheckCaption = 23;  // a check box's { caption, NIL }
constexpr int VarName = 25;       // { name, NIL }
constexpr int Alias = 25;         // a browse's alias name
constexpr int CheckData = 26;     // a check box's data block
constexpr int Anchor = 28;
constexpr int LabelOf = 29;       // an entry's label element number
constexpr int ArrayPointer = 29;  // a column's element of the row array
constexpr int ParentAnchor = 30;
constexpr int GetSet2 = 31;       // also a combo box's items
constexpr int Items = 31;
constexpr int DataSource = 31;    // a browse's data block; a column's alternative one
constexpr int Protect = 32;
constexpr int PixelWidth = 33;    // a column's Width is in pixels
constexpr int StaticBlock = 35;   // evaluated with the created static
constexpr int Popup = 37;         // an entry's pop-up settings, entry 1 the block
constexpr int CellEdit = 37;      // a browse's cell-edit settings
constexpr int HeaderColors = 37;  // a column's { foreground, background, font, height }
constexpr int Change = 38;        // a combo box's change block
constexpr int CellOperations = 38;  // a browse's further cell-edit settings (38, 39)
constexpr int HeaderPres = 38;    // a column's header presentation
constexpr int FooterPres = 39;    // a column's footer presentation
constexpr int Password = 40;      // { .T., NIL, .F. }: password entry
constexpr int StartElement = 40;  // a browse's first element of an array source
constexpr int PointerBlock = 41;  // a browse's pointer block source
constexpr int ButtonStyle = 42;   // 8192: caption lines at ";" (always done)
constexpr int CursorMode = 42;    // a browse's cursor mode
constexpr int Align = 42;         // a column's alignment
constexpr int CellEditExtra = 43; // handed to a browse's cell editing
constexpr int FooterColors = 43;  // a column's, like HeaderColors
constexpr int KeyHandler = 44;
constexpr int ScrollBarTipBlock = 44;  // a browse's
constexpr int DataToolTips = 44;  // a column's data tool-tip array
constexpr int Placement = 45;     // a column's { saved position, dialog position }
constexpr int Id = 49;
constexpr int Hide = 53;
constexpr int DataSetFocus = 55;  // a column's data area focus blocks
constexpr int DataKillFocus = 56;
constexpr int QueryWidth = 57;    // a query panel entry's width
constexpr int GroupId = 60;
constexpr int EarlyBlock = 63;    // evaluated with the new object during construction
constexpr int Config = 68;        // a browse's configuration object
constexpr int Source = 70;        // 8 clause texts; entry 1 the type name
}  // namespace slot

// A browse's options array (slot::Options).
constexpr std::size_t kBrowseOptions = 56;
namespace browseOption {
constexpr int Mark = 1;
constexpr int MarkColorBlock = 3;
constexpr int MarkColorFG = 5;
constexpr int MarkColorBG = 6;
constexpr int FreezeLeft = 7;
constexpr int FreezeRight = 8;
constexpr int IsScope = 9;
constexpr int ThumbRecords = 10;
constexpr int HeaderLines = 11;
constexpr int HeaderDelim = 12;
constexpr int FooterLines = 13;
constexpr int FooterDelim = 14;
constexpr int HeaderPres = 15;
constexpr int FooterPres = 16;
constexpr int NoVScroll = 17;
constexpr int NoHScroll = 18;
constexpr int NoSoftTrack = 19;
constexpr int Fit = 20;
constexpr int Optimize = 21;
constexpr int ItemMarked = 22;
constexpr int ItemSelected = 23;
constexpr int NoSizeCols = 24;
constexpr int SortColorSelectedFG = 25;
constexpr int SortColorSelectedBG = 26;
constexpr int SortColorUnSelectedFG = 27;
constexpr int SortColorUnSelectedBG = 28;
constexpr int SortImageAscend = 29;
constexpr int SortImageDescend = 30;
constexpr int Descending = 31;
constexpr int RefreshInterval = 32;
constexpr int RightButtonSelect = 33;
constexpr int NoDescendToggle = 34;
constexpr int RightButtonDown = 35;
constexpr int Filter = 36;
constexpr int NoRestore = 37;
constexpr int SortColorNonselectableFG = 38;
constexpr int SortColorNonselectableBG = 39;
constexpr int ResizeColumns = 40;
constexpr int TagEnable = 41;
constexpr int TagElement = 42;
constexpr int TagColorFG = 43;
constexpr int TagColorBG = 44;
constexpr int TagMode = 45;
constexpr int UseVisualStyle = 46;
constexpr int RefreshBlock = 47;
constexpr int RefreshWhenBlock = 48;
constexpr int OwnerDrawBlock = 49;
constexpr int FitMax = 50;
constexpr int ScrollHeight = 51;
constexpr int RecordObject = 53;
constexpr int SortFontSelected = 54;
constexpr int SortFontUnSelected = 55;
constexpr int SortFontNonSelectable = 56;
}  // namespace browseOption

// A column's options array (slot::Options).
constexpr std::size_t kColumnOptions = 13;
namespace columnOption {
constexpr int SortBlock = 1;
constexpr int Footer = 3;          // the footer caption source
constexpr int CellEditID = 4;
constexpr int CellEditExitKey = 5;
constexpr int SortOnLeftClick = 6;
constexpr int Reserved7 = 7;       // only defaulted
constexpr int SortDefault = 8;
constexpr int NoResize = 9;
constexpr int NoAutoResizeColumn = 11;
constexpr int ValidateAlways = 12;
constexpr int OwnerDraw = 13;
}  // namespace columnOption

// A push button's options array (slot::Options, 8 entries).
namespace buttonOption {
constexpr int Default = 4;  // .T.: Enter in an entry field of its dialog presses it
}  // namespace buttonOption

// The options of a read (RK_ReadGUI's argument 3, getList:getOptions).
namespace readOption {
constexpr int HiliteGets = 51;  // the focus highlighting of browses
// Entries a program may set that this library keeps in getOptions without
// reading them; named after what the client window puts there.
constexpr int KeptSwitches[] = {23, 32, 33, 38, 52};  // each .T.
constexpr int KeptEmptyPairs[] = {35, 43, 63, 77};    // each {NIL, NIL}
constexpr int KeptPairList = 59;                      // {{1, 7}, {2, 0}}
constexpr int KeptNumber = 64;                        // 0
}  // namespace readOption

}  // namespace dlg
