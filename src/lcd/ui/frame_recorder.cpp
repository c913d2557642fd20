#include "lcd/ui/frame_recorder.h"

#include <QDir>
#include <QFileInfo>

namespace orv::ui {
namespace {

const QString kFileNotice = QStringLiteral("frame-file");
const QString kCutNotice = QStringLiteral("frame-file-cut");

}  // namespace

FrameRecorder::FrameRecorder(QLineEdit* box, NoticeLine* notice, QObject* parent)
    : QObject(parent), box_(box), notice_(notice), path_(box->text()) {
    connect(box_, &QLineEdit::editingFinished, this, [this] { path_ = box_->text(); });
    // Text set by the program (the folder chooser, a test) counts at once; the
    // user's typing waits for the end of the editing.
    connect(box_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!box_->hasFocus()) path_ = text;
    });
}

QString FrameRecorder::defaultPath() {
#ifdef Q_OS_WIN
    if (QFileInfo(QStringLiteral("D:/")).isDir()) return QStringLiteral("D:\\mov1.orv");
#endif
    return QDir::toNativeSeparators(QDir::current().absoluteFilePath(QStringLiteral("mov1.orv")));
}

Status FrameRecorder::append(std::string_view record) {
    Result<Appended> appended = appender_.append(path_.toStdString(), record);
    if (!appended) {
        notice_->report(kFileNotice, QStringLiteral("frame not written: ") +
                                         QString::fromStdString(appended.error()));
        return appended.failure();
    }
    notice_->withdraw(kFileNotice);
    if (appended.value().cutBack > 0) {
        notice_->report(kCutNotice,
                        QStringLiteral("\"%1\" ended with a partial record (%2 bytes, left by an "
                                       "earlier run that stopped); it was cut back")
                            .arg(path_)
                            .arg(appended.value().cutBack));
    }
    return Done{};
}

}  // namespace orv::ui
