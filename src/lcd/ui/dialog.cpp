#include "lcd/ui/dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <algorithm>

#include "common/ui/widgets.h"
#include "lcd/frame_record.h"

namespace orv::ui {

QStringList driveRoots() {
    QStringList roots;
#ifdef Q_OS_WIN
    for (const QFileInfo& drive : QDir::drives())
        roots << QDir::toNativeSeparators(drive.absolutePath());
#else
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady()) roots << volume.rootPath();
    }
    roots.removeDuplicates();
    std::sort(roots.begin(), roots.end());
    if (!roots.contains(QStringLiteral("/"))) roots.prepend(QStringLiteral("/"));
#endif
    return roots;
}

Dialog::Dialog(QLineEdit* target, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), target_(target) {
    setObjectName(QStringLiteral("Dialog"));
    setWindowTitle(tr("选择路径"));
    setFixedSize(7650 / 15, 4515 / 15);
    setModal(false);

    Drive1 = makeControl<QComboBox>(this, "Drive1", {8, 8, 145, 20});
    Drive1->addItems(driveRoots());

    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    Dir1 = makeControl<QTreeView>(this, "Dir1", {8, 32, 385, 258});
    Dir1->setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column) Dir1->hideColumn(column);
    Dir1->header()->hide();

    Label1 = makeControl<QLabel>(this, "Label1", {280, 8, 41, 25}, tr("文件名"));
    Text1 = makeControl<QLineEdit>(this, "Text1", {320, 8, 73, 18}, QStringLiteral("mov1"));
    // What a screen reader says of the boxes, which have no caption of their own.
    Drive1->setAccessibleName(tr("驱动器"));
    Dir1->setAccessibleName(tr("文件夹"));
    Text1->setAccessibleName(tr("文件名"));
    OKButton = makeControl<QPushButton>(this, "OKButton", {416, 8, 81, 25}, tr("确定"));
    CancelButton = makeControl<QPushButton>(this, "CancelButton", {416, 40, 81, 25}, tr("取消"));

    connect(Drive1, &QComboBox::currentIndexChanged, this, &Dialog::Drive1_Change);
    connect(OKButton, &QPushButton::clicked, this, &Dialog::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &Dialog::CancelButton_Click);

    followTarget();
}

void Dialog::followTarget() {
    // The folder of the frame file where it exists, else the current folder.
    const QString current = QFileInfo(target_->text()).absolutePath();
    setDirPath(QFileInfo(current).isDir() ? current : QDir::currentPath());
}

void Dialog::Drive1_Change() {
    const QString drive = Drive1->currentText();
    const QModelIndex root = model_->setRootPath(drive);
    Dir1->setRootIndex(model_->index(drive).parent());
    Dir1->setCurrentIndex(root);
    Dir1->expand(root);
}

QString Dialog::dirPath() const {
    const QModelIndex current = Dir1->currentIndex();
    const QString path = current.isValid() ? model_->filePath(current) : Drive1->currentText();
    return QDir::toNativeSeparators(path);
}

void Dialog::setDirPath(const QString& folder) {
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    // The drive is the longest root that holds the folder.
    int best = -1;
    for (int i = 0; i < Drive1->count(); ++i) {
        const QString root = QDir::cleanPath(Drive1->itemText(i));
        const bool holds =
            clean == root || clean.startsWith(root.endsWith('/') ? root : root + '/');
        if (holds && (best < 0 || root.size() > Drive1->itemText(best).size())) best = i;
    }
    {
        const QSignalBlocker quiet(Drive1);
        if (best >= 0) Drive1->setCurrentIndex(best);
    }
    Drive1_Change();
    const QModelIndex index = model_->index(clean);
    if (index.isValid()) {
        // Opened down to the folder, so that it shows, not just the drive.
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) Dir1->expand(up);
        Dir1->setCurrentIndex(index);
        Dir1->scrollTo(index);
    }
}

void Dialog::OKButton_Click() {
    const char separator = QDir::separator().toLatin1();
    target_->setText(QString::fromStdString(
        composeFramePath(dirPath().toStdString(), Text1->text().toStdString(), separator)));
    hide();
}

void Dialog::CancelButton_Click() { hide(); }

}  // namespace orv::ui
