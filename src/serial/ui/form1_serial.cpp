// Form1's serial panel: port settings and number, open and close, the
// transmit line, the byte2ascii line and the blinking indicators.
#include <QFrame>
#include <QMessageBox>

#include "app/ui/form1.h"
#include "common/numbers.h"
#include "lcd/ascii_line.h"
#include "serial/serial_rules.h"

namespace orv::ui {
namespace {

const QColor kClosed(255, 192, 128);   // Label8, port closed
const QColor kOpen(192, 255, 192);     // Label8, port open
const QColor kLit(255, 128, 0);        // TXD lit
const QColor kIdle(128, 128, 128);     // TXD, RXD idle
const QColor kFlash(255, 192, 192);    // STANDBY flash
const QColor kStandby(224, 224, 224);  // STANDBY idle

}  // namespace

void Form1::setBackColour(QLabel* label, QColor colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, colour);
    label->setPalette(pal);
    label->setAutoFillBackground(true);
}

QColor Form1::backColour(const QLabel* label) { return label->palette().color(QPalette::Window); }

void Form1::buildSerialPanel() {
    auto label = [this](auto* l, int x, int y, int w, int h, QColor back) {
        l->setGeometry(x, y, w, h);
        l->setAlignment(Qt::AlignCenter);
        if (back.isValid()) setBackColour(l, back);
        return l;
    };
    Shape1 = new QFrame(this);
    Shape1->setGeometry(424, 112, 249, 57);
    Shape1->setFrameShape(QFrame::Box);
    Text5 = new QLineEdit(this);
    Text5->setGeometry(432, 120, 89, 18);
    Label5 =
        label(new ClickLabel(QStringLiteral("R"), this), 520, 120, 17, 17, QColor(192, 192, 192));
    Label6 = label(new ClickLabel(QStringLiteral("W"), this), 536, 120, 17, 17,
                   palette().color(QPalette::Base));
    Label11 = label(new QLabel(QStringLiteral("STANDBY"), this), 576, 120, 49, 17, kFlash);
    QPalette red = Label11->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    Label11->setPalette(red);
    QFont small = Label11->font();
    small.setPixelSize(9);
    Label11->setFont(small);
    Label9 = label(new QLabel(QStringLiteral("TXD"), this), 632, 120, 33, 17, kIdle);
    Label8 = label(new ClickLabel(QStringLiteral("开/关"), this), 616, 96, 57, 17, kClosed);
    Label7 = label(new QLabel(QStringLiteral("端口号："), this), 432, 144, 49, 17, QColor());
    Text6 = new QLineEdit(this);
    Text6->setGeometry(480, 144, 41, 18);
    Text6->setToolTip(QString::fromLatin1(serial::portRuleText()));
    Label10 = label(new QLabel(QStringLiteral("RXD"), this), 632, 144, 33, 17, kIdle);
    for (ClickLabel* button : {Label5, Label6, Label8}) button->setCursor(Qt::PointingHandCursor);
}

void Form1::tell(const QString& message) {
    lastMessage_ = message;
    if (!messageBox_) {
        messageBox_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("Marlune"), QString(),
                                      QMessageBox::Ok, this);
        messageBox_->setWindowModality(Qt::NonModal);
    }
    messageBox_->setText(message);
    messageBox_->show();
}

void Form1::Label5_Click() {
    Text5->setText(QString::fromStdString(port_->settings()));
    Text6->setText(QString::number(port_->commPort()));
}

void Form1::Label6_Click() {
    // Settings first; a refused text leaves the number unapplied.
    if (Status s = port_->setSettings(Text5->text().toStdString()); !s) {
        return tell(QString::fromStdString(s.error()));
    }
    Result<std::int16_t> number =
        num::parseInt16(Text6->text().toStdString(), "port number (Text6)");
    if (!number) return tell(QString::fromStdString(number.error()));
    if (Status s = port_->setCommPort(number.value()); !s) tell(QString::fromStdString(s.error()));
}

void Form1::Label8_Click() {
    if (!port_->portOpen()) {
        if (Status s = port_->setPortOpen(true); !s) return tell(QString::fromStdString(s.error()));
        setBackColour(Label8, kOpen);
        Timer3->start();
    } else {
        if (Status s = port_->setPortOpen(false); !s)
            return tell(QString::fromStdString(s.error()));
        setBackColour(Label8, kClosed);
        Timer3->stop();
        setBackColour(Label9, kIdle);
        setBackColour(Label10, kIdle);
    }
}

void Form1::SendSerialLine(const QString& text, int limit) {
    if (!port_->portOpen()) return;
    const std::u32string chars(text.toStdU32String());
    if (Status s = port_->output(serial::lineBytes(chars, static_cast<std::size_t>(limit))); !s) {
        return tell(QString::fromStdString(s.error()));
    }
    setBackColour(Label9, kLit);
}

void Form1::Text7_Change() { SendSerialLine(Text7->text(), 64); }

void Form1::Command5_Click() {
    const std::string line = buildAsciiLine(AsciiBuffer);
    SendSerialLine(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())),
                   static_cast<int>(kAsciiLineSent));
}

void Form1::Timer3_Timer() {
    ++StandbyCounter;
    if (StandbyCounter == 30) {
        StandbyCounter = 0;
        setBackColour(Label11, kFlash);
    } else {
        setBackColour(Label11, kStandby);
    }
    setBackColour(Label9, kIdle);
    setBackColour(Label10, kIdle);
}

// A device that went away has closed the port: show the panel closed.
void Form1::portLost(const QString& why) {
    setBackColour(Label8, kClosed);
    Timer3->stop();
    setBackColour(Label9, kIdle);
    setBackColour(Label10, kIdle);
    tell(why);
}

}  // namespace orv::ui
