#include "serial/ui/serial_panel.h"

#include <QCoreApplication>

#include "common/numbers.h"
#include "lcd/display_preset.h"
#include "orv_link.h"
#include "serial/serial_rules.h"

namespace orv::ui {
namespace {

const QColor kClosed(255, 192, 128);   // Label8, port closed
const QColor kOpen(192, 255, 192);     // Label8, port open
const QColor kLit(255, 128, 0);        // TXD lit
const QColor kIdle(128, 128, 128);     // TXD, RXD idle
const QColor kFlash(255, 192, 192);    // STANDBY flash
const QColor kStandby(224, 224, 224);  // STANDBY idle

// What the notice line says while the device may still be starting.
QString waitingText() { return QCoreApplication::translate("orv::ui::SerialPanel", "等待设备…"); }

// Notice key of characters sent as '?'.
const QString kQuestionMarks = QStringLiteral("serial: characters sent as '?'");
// Notice key of the live stream's state: waiting for the device, or frames skipped.
const QString kStreamState = QStringLiteral("serial: live stream");

// Where the panel sits on its host: its controls' design places are given on
// the host and made relative to this corner.
const QPoint kCorner(424, 96);

QRect at(int x, int y, int w, int h) { return QRect(QPoint(x, y) - kCorner, QSize(w, h)); }

template <class Label>
Label* indicator(QWidget* parent, const char* name, const QString& caption, QRect place,
                 QColor back) {
    auto* l = makeControl<Label>(parent, name, place, caption);
    l->setAlignment(Qt::AlignCenter);
    if (back.isValid()) setBackColour(l, back);
    return l;
}

}  // namespace

SerialPanel::SerialPanel(serial::SerialPort& port, MessageBoxes& messages, NoticeLine& notices,
                         QWidget* host)
    : QWidget(host), port_(port), messages_(messages), notices_(notices) {
    setObjectName(QStringLiteral("SerialPanel"));
    setGeometry(QRect(kCorner, QSize(250, 73)));
    Shape1 = makeControl<QFrame>(this, "Shape1", at(424, 112, 249, 57));
    Shape1->setFrameShape(QFrame::Box);
    Text5 = makeControl<QLineEdit>(this, "Text5", at(432, 120, 89, 18));
    Label5 = indicator<ClickLabel>(this, "Label5", QStringLiteral("R"), at(520, 120, 17, 17),
                                   QColor(192, 192, 192));
    Label6 = indicator<ClickLabel>(this, "Label6", QStringLiteral("W"), at(536, 120, 17, 17),
                                   palette().color(QPalette::Base));
    Label11 =
        indicator<QLabel>(this, "Label11", QStringLiteral("STANDBY"), at(576, 120, 49, 17), kFlash);
    QPalette red = Label11->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    Label11->setPalette(red);
    QFont small = Label11->font();
    small.setPixelSize(9);
    Label11->setFont(small);
    Label9 = indicator<QLabel>(this, "Label9", QStringLiteral("TXD"), at(632, 120, 33, 17), kIdle);
    Label8 = indicator<ClickLabel>(this, "Label8", tr("开/关"), at(616, 96, 57, 17), kClosed);
    Label7 = indicator<QLabel>(this, "Label7", tr("端口号："), at(432, 144, 49, 17), QColor());
    Text6 = makeControl<QLineEdit>(this, "Text6", at(480, 144, 41, 18));
    Text6->setToolTip(tr("端口号: ") + QString::fromLatin1(serial::portRuleText()));
    Ports = new PortChooser(Text6);  // the devices present, offered as the box takes the focus
    Label10 =
        indicator<QLabel>(this, "Label10", QStringLiteral("RXD"), at(632, 144, 33, 17), kIdle);
    for (ClickLabel* button : {Label5, Label6, Label8}) button->setCursor(Qt::PointingHandCursor);
    // Below the host's visible edge.
    Text7 =
        makeControl<QLineEdit>(host, "Text7", QRect(256, 352, 313, 18), QStringLiteral("Text7"));
    Label12 = makeControl<QLabel>(host, "Label12", QRect(232, 352, 57, 25), QStringLiteral("TXD"));

    // In the panel's free space, beside the port number.
    CheckStream =
        makeControl<QCheckBox>(this, "CheckStream", at(528, 144, 100, 17), tr("实时发送"));
    CheckStream->setToolTip(QStringLiteral(
        "Sends every captured frame to the open port as it is captured (the framed protocol of "
        "orv send: changed pages only, all pages every 31st frame)"));
    connect(CheckStream, &QCheckBox::toggled, this, [this](bool on) {
        if (on) restartStream();
    });
    // Above the port settings, between the preview's caption and "开/关". A
    // page-organised LCD (a set bit is dark, as in the frame file) unless
    // chosen otherwise; an OLED gets inverted bytes.
    ComboDisplay = makeControl<QComboBox>(this, "ComboDisplay", at(528, 95, 80, 17));
    for (const DisplayPreset& d : kDisplayPresets) {
        if (d.size != kLcdSize) continue;  // the tool's frames are 128 x 64
        ComboDisplay->addItem(QString::fromLatin1(d.name));
        ComboDisplay->setItemData(ComboDisplay->count() - 1, QString::fromUtf8(d.describe),
                                  Qt::ToolTipRole);
    }
    ComboDisplay->setCurrentText(QStringLiteral("12864"));
    ComboDisplay->setToolTip(tr("实时发送的显示屏：决定置位的比特是暗点还是亮点"));
    // The device's picture is of the old polarity: everything goes afresh.
    connect(ComboDisplay, &QComboBox::currentIndexChanged, this, [this] { restartStream(); });

    // What a screen reader says of the boxes, which have no caption of their own.
    Text5->setAccessibleName(tr("端口设置"));
    Text6->setAccessibleName(tr("端口号", "the box's name"));
    Text7->setAccessibleName(tr("发送行"));
    ComboDisplay->setAccessibleName(tr("显示屏"));

    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setInterval(86);

    connect(Label5, &ClickLabel::clicked, this, &SerialPanel::Label5_Click);
    connect(Label6, &ClickLabel::clicked, this, &SerialPanel::Label6_Click);
    connect(Label8, &ClickLabel::clicked, this, &SerialPanel::Label8_Click);
    connect(Text7, &QLineEdit::textChanged, this, &SerialPanel::Text7_Change);
    connect(Timer3, &QTimer::timeout, this, &SerialPanel::Timer3_Timer);
    port_.onLost = [this](const std::string& why) { portLost(said(why)); };
    port_.onReceived = [this](const std::string& bytes) { received(bytes); };
}

SerialPanel::~SerialPanel() {
    port_.onLost = nullptr;
    port_.onReceived = nullptr;
}

QString SerialPanel::said(const std::string& message) const {
    QString m = QString::fromStdString(message);
    m.replace(QStringLiteral("端口号"), tr("端口号"));
    m.replace(QStringLiteral("开/关"), tr("开/关"));
    return m;
}

void SerialPanel::Label5_Click() {
    Text5->setText(QString::fromStdString(port_.settings()));
    Text6->setText(QString::number(port_.commPort()));
}

void SerialPanel::Label6_Click() {
    // Settings first; a refused text leaves the number unapplied.
    if (Status s = port_.setSettings(Text5->text().toStdString()); !s) {
        if (!port_.portOpen()) showClosed();
        return messages_.show(said(s.error()));
    }
    Result<std::int16_t> number =
        num::parseInt16(Text6->text().toStdString(), tr("端口号").toStdString());
    if (!number) return messages_.show(said(number.error()));
    if (Status s = port_.setCommPort(number.value()); !s) {
        messages_.show(said(s.error()));
    }
}

void SerialPanel::Label8_Click() {
    if (!port_.portOpen()) {
        if (Status s = port_.setPortOpen(true); !s) {
            return messages_.show(said(s.error()));
        }
        setBackColour(Label8, kOpen);
        Timer3->start();
        pacer_ = serial::LinkPacer();
        openedAt_ = std::chrono::steady_clock::now();
        restartStream();
    } else {
        if (Status s = port_.setPortOpen(false); !s) {
            return messages_.show(said(s.error()));
        }
        showClosed();
    }
}

void SerialPanel::SendSerialLine(const QString& text, int limit) {
    if (!port_.portOpen()) return;
    const std::u32string chars(text.toStdU32String());
    const auto n = static_cast<std::size_t>(limit);
    if (Status s = port_.output(serial::lineBytes(chars, n)); !s) {
        notices_.withdraw(kQuestionMarks);
        if (!port_.portOpen()) showClosed();
        return messages_.show(said(s.error()));
    }
    setBackColour(Label9, kLit);
    if (const std::size_t marks = serial::lineQuestionMarks(chars, n); marks > 0) {
        notices_.report(kQuestionMarks,
                        QStringLiteral("%1 %2 beyond one byte (above U+00FF) went out to the "
                                       "serial port as '?'")
                            .arg(marks)
                            .arg(marks == 1 ? "character" : "characters"));
    } else {
        notices_.withdraw(kQuestionMarks);
    }
}

void SerialPanel::Text7_Change() { SendSerialLine(Text7->text(), 64); }

void SerialPanel::Timer3_Timer() {
    ++StandbyCounter;
    if (StandbyCounter == 30) {
        StandbyCounter = 0;
        setBackColour(Label11, kFlash);
    } else {
        setBackColour(Label11, kStandby);
    }
    setBackColour(Label9, kIdle);
    setBackColour(Label10, kIdle);
    pump();  // packets overdue are given up
}

void SerialPanel::showClosed() {
    setBackColour(Label8, kClosed);
    Timer3->stop();
    setBackColour(Label9, kIdle);
    setBackColour(Label10, kIdle);
}

void SerialPanel::portLost(const QString& why) {
    showClosed();
    messages_.show(why);
}

void SerialPanel::restartStream() {
    encoder_.forget();
    streamIndex_ = 0;
    skipped_ = 0;
    waiting_.clear();
    pacer_.restart();
    notices_.withdraw(kStreamState);
}

void SerialPanel::received(const std::string& bytes) {
    pacer_.take(bytes, std::chrono::steady_clock::now());
    setBackColour(Label10, kLit);
    pump();
}

void SerialPanel::pump() {
    bool sent = false;
    while (!waiting_.empty() && port_.portOpen() &&
           pacer_.hasRoom(std::chrono::steady_clock::now())) {
        const Packet p = waiting_.front();
        waiting_.pop_front();
        if (Status s = port_.output(p.bytes); !s) {
            waiting_.clear();
            if (!port_.portOpen()) showClosed();
            return messages_.show(said(s.error()));
        }
        const auto now = std::chrono::steady_clock::now();
        pacer_.sent(p.frame, p.page, now);
        if (p.last) pacer_.frameDone(p.frame, now);
        sent = true;
    }
    if (sent) setBackColour(Label9, kLit);
}

void SerialPanel::skip(bool awaited) {
    if (awaited) {
        notices_.report(kStreamState, tr("实时发送：") + waitingText());
        return;
    }
    ++skipped_;
    notices_.report(kStreamState, tr("实时发送：跳过 %1 帧（端口或设备跟不上）").arg(skipped_));
}

void SerialPanel::streamFrame(const LcdPageBufferArray& pages) {
    if (!CheckStream->isChecked() || !port_.portOpen()) return;
    const std::uint64_t index = streamIndex_++;
    const bool paced = pacer_.announced();
    if (paced && pacer_.size() != kLcdSize) {  // nothing of a 128 x 64 frame would show
        notices_.report(kStreamState, tr("实时发送：设备显示 %1 x %2 的帧，而本工具的帧是 128 x 64")
                                          .arg(pacer_.size().width)
                                          .arg(pacer_.size().height));
        return;
    }
    if (!paced) {
        if (std::chrono::steady_clock::now() - openedAt_ < serial::LinkPacer::kDefaultWait) {
            return skip(true);  // the device may be starting: it would lose the frame
        }
        pacer_.stopWaiting();
    }
    if (skipped_ == 0) notices_.withdraw(kStreamState);
    // The last frame's packets still waiting, or more than a whole frame's in
    // the link: this frame is skipped.
    if (paced ? !waiting_.empty() : port_.pendingBytes() > 8 * framing::kPacketBytes) {
        return skip(false);
    }
    Frame frame = pages;
    const DisplayPreset* display = findDisplayPreset(ComboDisplay->currentText().toStdString());
    if (display && display->lightSetBit) frame = serial::applySetBit(frame, true);
    std::string packets;
    const int count = encoder_.encode(index, frame, packets);
    if (paced) {
        if (count == 0) pacer_.frameDone(index, std::chrono::steady_clock::now());
        for (int k = 0; k < count; ++k) {
            const std::size_t at = framing::kPacketBytes * static_cast<std::size_t>(k);
            waiting_.push_back({packets.substr(at, framing::kPacketBytes), index,
                                static_cast<std::uint8_t>(packets[at + framing::kPageNumberOffset]),
                                k + 1 == count});
        }
        return pump();
    }
    if (count == 0) return;  // nothing changed
    if (Status s = port_.output(packets); !s) {
        if (!port_.portOpen()) showClosed();
        return messages_.show(said(s.error()));
    }
    setBackColour(Label9, kLit);
}

}  // namespace orv::ui
