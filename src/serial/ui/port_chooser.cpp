#include "serial/ui/port_chooser.h"

#include <QCompleter>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QStandardItemModel>
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
    return offers;
}

bool PortChooser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_ && event->type() == QEvent::FocusIn && !refresh().isEmpty()) {
        completer_->setCompletionPrefix(QString());
        completer_->complete();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace orv::ui
