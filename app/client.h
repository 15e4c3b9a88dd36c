// The client maintenance window `Test` over the table "dxcam01", and the
// helpers its controls call by name (RecordGet, aCliente, KeySeekBrow, Like,
// ValidarCampo) plus the text utility cChar.
//
// "By reference" parameters of the helpers are get/set blocks: evaluated
// without argument they give the variable, with one they assign it. A plain
// value is accepted where only reading is needed.
#pragma once

#include "platform/pgsql/failure.h"
#include "platform/runtime/value.h"

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pgsql {
class DataObject;
}
namespace gui {
class XbpBrowse;
}

namespace app {

// The user name written into the audit column of every saved client.
inline constexpr std::string_view kUsuario = "DXC";

// The entries of aApp that the window uses.
namespace appSlot {
constexpr int Dialog = 1;       // the dialog window object
constexpr int Record = 2;       // the record object over dxcam01
constexpr int BrowseSet = 3;    // the browse's data object
constexpr int SearchField = 5;  // the search field's entry object
constexpr int OrderColumn = 6;  // the browse set's ordering column
constexpr int Picture = 7;      // the picture element's object
constexpr int Editing = 8;      // the edit flag
constexpr int Count = 15;
}  // namespace appSlot

// What the controls of one client window share. The blocks of the window
// hold it weakly, so the dialog's element list never keeps it alive.
struct ClientWindow {
    rt::Value GetList;   // the element list
    rt::Value aApp;      // appSlot::Count entries, named in appSlot
    rt::Value cBuscar;   // the search text (100 blanks when empty)
    rt::Value aOrderBy;  // the combo box's column names
    rt::Value oConn;     // the window's own connection
    rt::Value cUsuario;
    rt::Value oBrowse, ocodcli, oNombre, oMyGroup1, oMyGroup2;

    [[nodiscard]] rt::Value& app(int n) const;  // aApp[n], 1-based
    [[nodiscard]] bool editing() const;         // aApp[appSlot::Editing]
};

// Test([oDialog, xCodCli]): builds and runs the client window modally.
// Returns NIL once the window has run; .F., after a message box, when it
// cannot open (no connection, no client table).
rt::Value Test(rt::Args args);
// The window of the Test running now, or null (for tests).
[[nodiscard]] std::shared_ptr<ClientWindow> runningClient();
// Compiles a text as the window compiles its blocks: against the window's
// variables (aApp, GetList, oBrowse, ...) and the names of aApp's entries
// (APP_RECORD, APP_EDITING, ...).
[[nodiscard]] rt::Value compileWindowText(const std::shared_ptr<ClientWindow>& w, std::string_view text);

// RecordGet(aApp, GetList): back to viewing, the record reloaded, the form
// and the picture shown again.
rt::Value RecordGet(const rt::Value& aApp, const rt::Value& getList);
// aCliente(): the client lookup's five columns {expression, header, width, picture}.
[[nodiscard]] rt::Value aCliente();
// KeySeekBrow(nKey, b, oGet, oBrowse, @cSeek, oData): seek-as-you-type of
// the search field; returns what SetAppFocus returns.
rt::Value KeySeekBrow(const rt::Value& nKey, const rt::Value& b, const rt::Value& oGet, const rt::Value& oBrowse,
                      const rt::Value& cSeek, const rt::Value& oData);
// Like(@cSeek_, oConn_, @oDb_, cOrderBy_): re-reads the record object with
// "%text%" on its ordering column, or joined with "dxcam01e" when the text
// is empty; empties the search text; returns the record object.
rt::Value Like(const rt::Value& cSeek_, const rt::Value& oConn_, const rt::Value& oDb_, const rt::Value& cOrderBy_);
// ValidarCampo(oCaso, aApp, GetList): the client code's valid condition.
bool ValidarCampo(const rt::Value& oCaso, const rt::Value& aApp, const rt::Value& getList);
// cChar(cValor): quotes and a few DOS letters replaced.
[[nodiscard]] std::string cChar(std::string_view cValor);

// The value behind a reference (a get/set block) or the value itself.
[[nodiscard]] rt::Value deref(const rt::Value& ref);
// Assigns through a reference; a plain value cannot be assigned and is left.
void assignRef(const rt::Value& ref, const rt::Value& v);

// Shared by the window and the helpers.
namespace client {
// RK_GetRefresh(GetList, NIL, 4, {skip...}): elements shown again from their
// values and conditions, element types in `skip` left out.
void getRefresh(const rt::Value& getList, std::initializer_list<int> skip);
// RefreshAll of the browse (nothing before the browse exists).
void refreshAll(const rt::Value& oBrowse);
// aApp's record and browse set are always data objects, and the window's
// browse a data grid: they are called directly. Anything else raises the
// error that sending `member` to it by name would raise.
[[nodiscard]] pgsql::DataObject& dataObject(const rt::Value& v, std::string_view member);
[[nodiscard]] pgsql::DataObject& record(const ClientWindow& window, std::string_view member);
[[nodiscard]] pgsql::DataObject& browseSet(const ClientWindow& window, std::string_view member);
[[nodiscard]] gui::XbpBrowse& grid(const rt::Value& v, std::string_view member);
// SetAppFocus(oElement); NIL when the element does not exist (yet).
rt::Value focus(const rt::Value& oElement);
// SQLRefresh(oConn, oDb, NIL, NIL, "dxcam01." + order, NIL, joinTable,
// joinCond, NIL, like, NIL, .F., NIL, .F., lLast): the record object read
// again; NIL values leave a part out.
void sqlRefresh(const rt::Value& oConn, const rt::Value& oDb, const std::string& order, const rt::Value& joinTable,
                const rt::Value& joinCond, const rt::Value& like, bool last);

// The combo box names the ordering columns by captions ("Código",
// "Nombre", ...); aOrderBy and aApp[6] keep the column names. A column
// without a caption shows its name.
[[nodiscard]] std::string orderCaption(std::string_view column);
// A block yielding the captions of the names behind `names` (a reference).
[[nodiscard]] rt::Value orderCaptions(const rt::Value& names);
// A get/set block over the column behind `column` (a reference) that reads
// its caption and takes a caption of one of `names` back as that name.
[[nodiscard]] rt::Value captionAnchor(const rt::Value& column, const rt::Value& names);

// The title of the window and of its questions.
inline constexpr std::string_view kTitle = "Test SQLRecordSet";

// True when the form may show another client: nothing typed is pending, or
// the user agreed to discard it ("¿Descartar los cambios del cliente?").
// The entry fields are written back first, so a "No" keeps every value.
bool mayLeaveRecord(ClientWindow& window);
// The form's elements shown again (element types in `skip` left out) with
// the picture of the client shown, an empty box when it has none.
void showRecord(const ClientWindow& window, std::initializer_list<int> skip);

// The client's code as the table keeps it: a number shorter than the
// field padded with zeros to its length ("123" -> "000123"); any other
// text trimmed.
[[nodiscard]] std::string paddedCode(std::string_view code, std::size_t length);
// The record object's code padded in place; the code, trimmed.
std::string padRecordCode(const ClientWindow& window);
// "000123 MARIA PEREZ": the client other than the one shown that holds
// the code, if any.
[[nodiscard]] std::optional<std::string> codeOwner(const ClientWindow& window, const std::string& code);
// Says so when another client than the one shown holds the code (padded).
void sayIfTaken(const ClientWindow& window, std::string_view code);
// The message for a code another client holds.
[[nodiscard]] std::string takenCodeMessage(const std::string& code, const std::string& owner);
// Whether the client of that record number is still in the table (true
// when the server cannot say).
[[nodiscard]] bool clientExists(const ClientWindow& window, std::int64_t recno);
// Whether the code has a row in "dxcam01e".
[[nodiscard]] bool hasSecondRow(const ClientWindow& window, const std::string& code);

// The form and the browse show one client: the browse set is put on the
// record object's client and redrawn.
void followInBrowse(ClientWindow& window);
// The other way round: the client under the browse's cursor shown in the
// form (while viewing; the form being edited stays).
void followBrowse(ClientWindow& window);
// Another user deleted the client shown (code as it was): said, editing
// ends, and the next client is shown in the form and the browse. A failure
// the data object reported is said in these words instead.
void clientGone(ClientWindow& window, const std::string& code, const std::optional<pgsql::Failure>& reported);

// The combo box's choice: the browse ordered by aApp[6], still on the
// form's client; the search field names the order it searches in.
void sortBrowse(ClientWindow& window);
// "Buscar por Apellidos" in the empty search field.
void showSearchOrder(const ClientWindow& window);

// The window's place and the browse's order are kept for the next run by
// the browse library's layout keeping (client_layout.cpp): keepLayout has
// it save them as the window closes, under the browse's id; keptWindow
// gives what the last run kept (NIL for none).
inline constexpr std::string_view kBrowseId = "oBrowse";
enum class KeptEntry { Place = 1, Order };
void keepLayout(const std::weak_ptr<ClientWindow>& weak);
[[nodiscard]] rt::Value keptWindow(KeptEntry entry);
// A kept order of a column the table still has, before the window opens.
void restoreOrder(ClientWindow& window);

// The command buttons' actions.
void cancelEdit(ClientWindow& window);
void saveRecord(ClientWindow& window);
void newRecord(ClientWindow& window);
void editRecord(ClientWindow& window);
void deleteRecord(ClientWindow& window);  // asks first, naming the client
void refreshTable(ClientWindow& window);
void showPicture(const ClientWindow& window);
void refreshBrowse(ClientWindow& window);
// "Siguiente": the next match of the search; says so after the last one.
void nextMatch(ClientWindow& window);
// Once the dialog's elements exist: the browse's columns fitted to what
// they show and the window made resizable (client_layout.cpp).
void arrangeWindow(const ClientWindow& window);
// "Like": the record object narrowed to the search text (window.cBuscar, a
// reference, is emptied when found); asks first when typed work is pending.
void likeSearch(ClientWindow& window);
// A row chosen in the browse becomes the form's client.
void chooseRow(ClientWindow& window);
}  // namespace client

// Registers Test and the helpers by name.
void registerClientFunctions();
// Registers the window's actions its compiled texts call: ClientSave,
// ClientNew, ClientEdit, ClientCancel, ClientDelete, ClientRefreshTable,
// ClientRefreshBrowse, ClientNextMatch, ClientLike, ClientChoose (each
// (aApp, GetList, ...the window variables it needs)), ClientMayLeave(aApp,
// GetList), ClientShowPicture(aApp) and ClientRefreshAll(oBrowse).
void registerClientActions();

}  // namespace app
