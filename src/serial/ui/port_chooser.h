// The serial devices present, offered in the port number box: a new user
// need not know which number an Arduino's port has.
#pragma once

#include <QObject>
#include <QStringList>

class QCompleter;
class QLineEdit;
class QStandardItemModel;

namespace orv::ui {

class PortChooser : public QObject {
    Q_OBJECT
  public:
    // Offers the devices in `box` whenever it takes the focus; choosing one
    // writes its port number.
    explicit PortChooser(QLineEdit* box);

    // The device files to look for (tests put their own here).
    QStringList patterns{QStringLiteral("/dev/ttyS*"), QStringLiteral("/dev/ttyUSB*"),
                         QStringLiteral("/dev/ttyACM*"), QStringLiteral("/dev/pts/*")};
    // Reads the devices present again; the offers, as "number  device".
    QStringList refresh();
    QCompleter* completer() const { return completer_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit* box_;
    QStandardItemModel* model_;
    QCompleter* completer_;
};

}  // namespace orv::ui
