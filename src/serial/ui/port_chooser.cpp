#include "serial/ui/port_chooser.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QStyle>
#include <algorithm>
#include <map>
#include <string>

#include "serial/serial_rules.h"

namespace orv::ui {
namespace {

// The port number of every device the numbering names.
const std::map<std::string, int>& numbersByDevice() {
    static const std::map<std::string, int> numbers = [] {
        std::map<std::string, int> m;
        for (int n = 1; n <= 1999; ++n) {
            const Result<std::string> device = serial::portDevice(n);
            if (device) m.emplace(device.value(), n);
        }
        return m;
    }();
    return numbers;
}

}  // namespace

PortChooser::PortChooser(QLineEdit* box)
    : QObject(box), box_(box), model_(new QStandardItemModel(this)) {
    completer_ = new QCompleter(model_, this);
    completer_->setCompletionRole(Qt::UserRole);  // matched and written: the number
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    box_->setCompleter(completer_);
    box_->installEventFilter(this);
    // After the completer's own filter, so that it sees a click outside first.
    completer_->popup()->installEventFilter(this);
}

QStringList PortChooser::refresh() {
    model_->clear();
    QStringList offers;
    for (const QString& pattern : patterns) {
        const QFileInfo where(pattern);
        const QDir folder(where.path(), where.fileName(), QDir::Name, QDir::System | QDir::Files);
        for (const QFileInfo& device : folder.entryInfoList()) {
            const auto found = numbersByDevice().find(device.filePath().toStdString());
            if (found == numbersByDevice().end()) continue;
            const QString offer =
                QStringLiteral("%1  %2").arg(found->second).arg(device.filePath());
            auto* item = new QStandardItem(offer);
            item->setData(QString::number(found->second), Qt::UserRole);
            model_->appendRow(item);
            offers << offer;
        }
    }
    // The list is as wide as its longest offer, not as the narrow box.
    QAbstractItemView* list = completer_->popup();
    int widest = 0;
    for (const QString& offer : offers) {
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(offer));
    }
    list->setMinimumWidth(widest + 2 * list->frameWidth() +
                          list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
    return offers;
}

bool PortChooser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_ && event->type() == QEvent::FocusIn && !refresh().isEmpty()) {
        completer_->setCompletionPrefix(QString());
        completer_->complete();
    }
    // A click outside the open list closes it and still reaches what it was
    // on, as a whole click: a click on "W" applies the device the box shows.
    QAbstractItemView* list = completer_->popup();
    if (watched == list && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const QPointF at = press->globalPosition();
        if (!list->rect().contains(list->mapFromGlobal(at.toPoint()))) {
            list->hide();
            if (QWidget* target = QApplication::widgetAt(at.toPoint())) {
                const QPointF there = target->mapFromGlobal(at);
                for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                    QMouseEvent click(
                        type, there, at, press->button(),
                        type == QEvent::MouseButtonPress ? press->buttons() : Qt::NoButton,
                        press->modifiers());
                    QCoreApplication::sendEvent(target, &click);
                }
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace orv::ui
