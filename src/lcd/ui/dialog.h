// Dialog: the folder chooser that composes the frame file's path.
#pragma once

#include <QDialog>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace orv::ui {

class Dialog : public QDialog {
    Q_OBJECT
  public:
    // `target` is the box that receives the composed path (the main window's Text9).
    explicit Dialog(QLineEdit* target, QWidget* parent = nullptr);

    QComboBox* Drive1;          // choice of drive (filesystem root)
    QTreeView* Dir1;            // choice of folder on that drive
    QLabel* Label1;             // caption of the name box
    QLineEdit* Text1;           // file name without extension
    QPushButton* OKButton;      // compose the path into the target box
    QPushButton* CancelButton;  // close without change

    void Drive1_Change();       // show the folders of the chosen drive
    void OKButton_Click();      // compose the path and hide
    void CancelButton_Click();  // hide, target unchanged

    // Dir1's current folder, in native form.
    QString dirPath() const;
    // Selects a folder in Dir1 (and its drive in Drive1), opened down to it.
    void setDirPath(const QString& folder);
    // Selects the folder of the path in the target box, or the current
    // folder where that one does not exist.
    void followTarget();

  private:
    QLineEdit* target_;
    QFileSystemModel* model_;
};

// The filesystem roots to offer: the drives on Windows, the mounted
// filesystems' roots elsewhere.
QStringList driveRoots();

}  // namespace orv::ui
