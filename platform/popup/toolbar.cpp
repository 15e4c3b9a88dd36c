// XbToolsBar: a record toolbar of four move buttons and, optionally, the
// audit values of the current row.
#include "platform/popup/popup.h"
#include "platform/popup/records.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/layout.h"
#include "platform/gui/font.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/positional_args.h"
#include "platform/runtime/text.h"

#include <QAbstractButton>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace popup {

namespace {

using detail::set;

enum class Move { First, Previous, Next, Last };

struct ButtonDef {
    Move move;
    const char* caption;  // shown when no icon can be set
    const char* tooltip;
    const char* source;   // the action's text, for slot 70 and RK_GetCodeBlockText
};
constexpr ButtonDef kButtons[] = {
    {Move::First, "|<", "Primero", "{|| oData:GoTop(), Eval(bBlock)}"},
    {Move::Previous, "<", "Anterior", "{|| oData:SQLViewSkip(-1), Eval(bBlock)}"},
    {Move::Next, ">", "Siguiente", "{|| oData:SQLViewSkip(1), Eval(bBlock)}"},
    {Move::Last, ">|", "Ultimo", "{|| oData:GoBottom(), Eval(bBlock)}"},
};

void move(const rt::Value& data, Move m)
{
    switch (m) {
    case Move::First: rt::sendWith(data, "GoTop"); break;
    case Move::Previous: rt::sendWith(data, "SQLViewSkip", -1); break;
    case Move::Next: rt::sendWith(data, "SQLViewSkip", 1); break;
    case Move::Last: rt::sendWith(data, "GoBottom"); break;
    }
}

// RK_GetRefresh over the element list of a window object.
void refreshDialogOf(const rt::Value& element)
{
    const dlg::ElementParts* parts = dlg::asElementParts(element);
    const dlg::GetListObject* list = parts ? dlg::asGetList(parts->getList) : nullptr;
    if (list && list->getListArray.isArray())
        dlg::getRefresh(list->getListArray, 4, rt::makeArray({28, 1}));
}

// A small arrow icon: a bar for the first and last buttons, a triangle
// pointing the way the button moves.
QIcon arrowIcon(Move m, const QColor& color)
{
    constexpr int kSide = 12;
    QPixmap pm(kSide, kSide);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const bool left = m == Move::First || m == Move::Previous;
    const bool bar = m == Move::First || m == Move::Last;
    const qreal x0 = bar ? (left ? 4.0 : 1.0) : 2.5;
    const qreal x1 = x0 + 7.0;
    QPainterPath tri;
    if (left) {
        tri.moveTo(x1, 1);
        tri.lineTo(x1, kSide - 1);
        tri.lineTo(x0, kSide / 2.0);
    } else {
        tri.moveTo(x0, 1);
        tri.lineTo(x0, kSide - 1);
        tri.lineTo(x1, kSide / 2.0);
    }
    tri.closeSubpath();
    p.drawPath(tri);
    if (bar)
        p.drawRect(QRectF(left ? 1.0 : kSide - 3.0, 1, 2, kSide - 2));
    return QIcon(pm);
}

// The anchor of a move button: once the button exists its caption gives
// way to the arrow icon.
rt::Value iconAnchor(Move m)
{
    return rt::makeBlock([m](rt::Args a) -> rt::Value {
        const gui::XbpPart* part = gui::asPart(rt::argAt(a, 0));
        if (auto* button = part ? qobject_cast<QAbstractButton*>(part->widget()) : nullptr) {
            button->setIcon(arrowIcon(m, button->palette().color(QPalette::ButtonText)));
            button->setIconSize(QSize(12, 12));
            button->setText(QString());
            // Reached with the mouse: Tab and Enter go from field to field,
            // and a space typed after them must not move the record.
            button->setFocusPolicy(Qt::NoFocus);
        }
        return rt::argAt(a, 0);
    });
}

void appendButton(const rt::Value& getList, const ButtonDef& def, double row, double col, const rt::Value& xData,
                  const rt::Value& bBlock, const rt::Value& bBefore, const rt::Value& xParent, bool refreshAudit)
{
    detail::push(getList, 10, {}, "XbToolsBar");
    set(getList, dlg::slot::Caption, def.caption);
    set(getList, dlg::slot::Row, row);
    set(getList, dlg::slot::Col, col);
    set(getList, dlg::slot::Width, kToolButtonCols);
    set(getList, dlg::slot::Height, kToolButtonRows);
    set(getList, dlg::slot::Tooltip, def.tooltip);
    set(getList, dlg::slot::Options, rt::makeArray({{}, {}, {}, false, false, false, false, false}));
    set(getList, dlg::slot::Action,
        rt::makeBlock(
            [xData, bBlock, bBefore, m = def.move, refreshAudit](rt::Args a) -> rt::Value {
                // The owner may keep the row (unsaved typing it asked about).
                if (bBefore.isBlock()) {
                    const rt::Value go = rt::evalWith(bBefore);
                    if (go.isLogical() && !go.asBool())
                        return {};
                }
                const rt::Value data = detail::dataOf(xData);
                if (data.isObject())
                    move(data, m);
                if (bBlock.isBlock())
                    rt::evalWith(bBlock);
                // The audit entries follow the row even when the block does
                // not refresh the dialog itself. The button (argument 3)
                // knows its list; holding the list here would make a cycle.
                if (refreshAudit)
                    refreshDialogOf(rt::argAt(a, 2));
                return {};
            },
            def.source));
    set(getList, dlg::slot::Anchor, iconAnchor(def.move));
    if (!xParent.isNil())
        set(getList, dlg::slot::ParentAnchor, xParent);
    detail::setSource(getList, "RKPUSHBUTTON", "", row, col, kToolButtonCols, kToolButtonRows);
}

// The shown text of an audit column: blanks without a current row or when
// the object cannot answer (a lost server says so itself).
rt::Value auditText(const rt::Value& xData, const std::string& column)
{
    std::string text;
    rt::guarded([&] {
        const rt::Value data = detail::dataOf(xData);
        if (!data.isObject())
            return;
        const rt::Value recno = rt::sendWith(data, "recno");
        if (!recno.isNum() || recno.asDouble() <= 0)
            return;
        text = detail::displayText(rt::sendWith(data, "FieldGet", column));
    });
    const std::size_t width = std::max<std::size_t>(kAuditChars, rt::utf8Length(text));
    return rt::Value(rt::padR(text, width));
}

// A read-only entry for one {caption, column} pair, the caption as its tool
// tip: the record toolbar shares its row with the client code, so captions
// beside the values would run past the group. Returns the column after it.
double appendAudit(const rt::Value& getList, const std::string& caption, const std::string& column, double row,
                   double col, const rt::Value& xData, const rt::Value& xParent)
{
    detail::push(getList, 2, 0, "XbToolsBar");
    // Writes are dropped: the entry only shows the row's audit value.
    set(getList, dlg::slot::GetSet,
        dlg::getAnchorCB([xData, column] { return auditText(xData, column); }, nullptr,
                         "{|| oData:FieldGet(\"" + column + "\")}"));
    set(getList, dlg::slot::Row, row - 0.1);
    set(getList, dlg::slot::Col, col);
    set(getList, dlg::slot::Width, kAuditCols);
    // A size smaller than the form's, so a date or a 12-hour time fits.
    QFont small = dlg::dialogFont();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    set(getList, dlg::slot::Font, gui::compoundNameOf(small));
    set(getList, dlg::slot::Tooltip, caption);
    set(getList, dlg::slot::When, rt::makeBlock([](rt::Args) { return rt::Value(false); }, "{|| .F.}"));
    set(getList, dlg::slot::VarName, rt::makeArray({column, {}}));
    set(getList, dlg::slot::Id, dlg::getIdDefault({}, column, "GET_"));
    if (!xParent.isNil())
        set(getList, dlg::slot::ParentAnchor, xParent);
    detail::setSource(getList, "RKGET", column, row - 0.1, col, kAuditCols, 0);
    return col + kAuditCols + 0.2;
}

}  // namespace

rt::Value xbToolsBar(rt::Args a)
{
    const rt::Value& getList = rt::argAt(a, 0);
    if (!getList.isArray())
        rt::raiseArg("XbToolsBar", a);
    const double row = rt::argAt(a, 1).isNum() ? rt::argAt(a, 1).asDouble() : 0.0;
    double col = rt::argAt(a, 2).isNum() ? rt::argAt(a, 2).asDouble() : 0.0;
    const rt::Value& xData = rt::argAt(a, 4);
    const rt::Value& xParent = rt::argAt(a, 5);
    const rt::Value& aLabels = rt::argAt(a, 6);
    const rt::Value& bBlock = rt::argAt(a, 8);
    const rt::Value& bBefore = rt::argAt(a, 10);

    std::vector<std::pair<std::string, std::string>> pairs;
    if (aLabels.isArray())
        for (const rt::Value& p : aLabels.asArray().items)
            if (rt::entryOf(p, 1).isChar() && rt::entryOf(p, 2).isChar())
                pairs.emplace_back(rt::entryOf(p, 1).str(), rt::alltrim(rt::entryOf(p, 2).asString()));

    for (const ButtonDef& def : kButtons) {
        appendButton(getList, def, row, col, xData, bBlock, bBefore, xParent, !pairs.empty());
        col += kToolButtonCols;
    }
    col += 0.3;
    for (const auto& [caption, column] : pairs)
        col = appendAudit(getList, caption, column, row + 0.1, col, xData, xParent);
    return getList;
}

std::vector<rt::Value> ToolsBarSetup::args() const
{
    rt::Value pairs;
    if (!audit.empty()) {
        std::vector<rt::Value> items;
        for (const auto& [caption, column] : audit)
            items.push_back(rt::makeArray({caption, column}));
        pairs = rt::makeArray(std::move(items));
    }
    return rt::positionalArgs(12, {{0, getList}, {1, row}, {2, col}, {3, connection}, {4, data}, {5, parent},
                                   {6, pairs}, {7, false}, {8, afterMove}, {9, browse}, {10, beforeMove}});
}

rt::Value xbToolsBar(const ToolsBarSetup& setup) { return xbToolsBar(setup.args()); }

}  // namespace popup
