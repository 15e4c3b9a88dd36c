// RK_PopDate: a modal calendar.
#include "platform/dialog/dialog.h"

#include "platform/runtime/datetime.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDate>
#include <QDialog>
#include <QVBoxLayout>

namespace dlg {

rt::Value popDate(const rt::Value& start)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return {};
    QWidget* over = QApplication::activeModalWidget();
    if (!over)
        over = QApplication::activeWindow();
    QDialog box(over);
    box.setObjectName(QStringLiteral("RK_PopDate"));
    box.setWindowTitle(QStringLiteral("Date"));
    box.setWindowModality(Qt::ApplicationModal);
    auto* calendar = new QCalendarWidget(&box);
    calendar->setGridVisible(true);
    auto* layout = new QVBoxLayout(&box);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(calendar);
    int y = 0, m = 0, d = 0;
    rt::splitDate(start.isDate() && !start.asDate().empty() ? start.asDate() : rt::today(), y, m, d);
    calendar->setSelectedDate(QDate(y, m, d));
    // Enter or a double click on a day picks it; Escape rejects the box.
    QObject::connect(calendar, &QCalendarWidget::activated, &box, &QDialog::accept);
    calendar->setFocus(Qt::OtherFocusReason);
    if (box.exec() != QDialog::Accepted)
        return {};
    const QDate picked = calendar->selectedDate();
    return rt::Value(rt::makeDate(picked.year(), picked.month(), picked.day()));
}

}  // namespace dlg
