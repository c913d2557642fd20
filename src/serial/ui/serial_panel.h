// The serial panel of the main window: port settings and number, open and
// close, the transmit line and the blinking indicators.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "common/ui/widgets.h"
#include "lcd/frame.h"
#include "serial/frame_link.h"
#include "serial/link_pacer.h"
#include "serial/serial_port.h"
#include "serial/ui/port_chooser.h"

namespace orv::ui {

class SerialPanel : public QWidget {
    Q_OBJECT
  public:
    // The panel takes its design place on `host` (the main window); the
    // transmit line and its caption lie on the host below its visible edge.
    // Refusals of the port show through `messages`; characters sent as '?'
    // are reported on the host's `notices`.
    SerialPanel(serial::SerialPort& port, MessageBoxes& messages, NoticeLine& notices,
                QWidget* host);
    ~SerialPanel() override;

    QFrame* Shape1;           // frame around the serial panel
    QLineEdit* Text5;         // port settings text, as "9600,n,8,1"
    ClickLabel* Label5;       // "R": read the port's number and settings into the boxes
    ClickLabel* Label6;       // "W": apply the boxes to the port
    QLabel* Label11;          // "STANDBY": flashes while the port is open
    QLabel* Label9;           // "TXD": lit after a line is sent
    ClickLabel* Label8;       // "开/关": open or close the port
    QLabel* Label7;           // caption of the port number box
    QLineEdit* Text6;         // port number
    PortChooser* Ports;       // offers the serial devices present in Text6
    QLabel* Label10;          // "RXD": lit after the device sent something
    QLineEdit* Text7;         // transmit line: sent on every change
    QLabel* Label12;          // "TXD", caption of the transmit line
    QTimer* Timer3;           // blink timer, 86 ms, running while the port is open
    QCheckBox* CheckStream;   // "实时发送": every captured frame goes to the open port
    QComboBox* ComboDisplay;  // the device's display, which sets the stream's polarity

    std::uint8_t StandbyCounter = 0;  // blink ticks, back to 0 at 30

    void Label5_Click();  // "R": port settings and number into Text5, Text6
    void Label6_Click();  // "W": Text5, then Text6, to the port
    void Label8_Click();  // open or close the port
    void Text7_Change();  // send the transmit line
    void Timer3_Timer();  // blink step of the indicators
    // Sends the first `limit` characters of `text` and a carriage return when
    // the port is open; does nothing when it is closed.
    void SendSerialLine(const QString& text, int limit);

    serial::SerialPort& MSComm1() { return port_; }  // the serial port

    // While "实时发送" is ticked and the port is open, sends a captured frame
    // in the framed protocol: its changed pages, all 8 every 31st frame. It
    // never waits, so the capture clock is never held up. For the first 3 s
    // after the port opens (an Arduino restarts then) it waits for the device
    // to announce itself; a device that did sets the pace (link version 2):
    // the packets go out as it acknowledges them, at most its window at a
    // time. A frame that comes while the last one's packets are still waiting
    // (or, with a device that never announced itself, while the link holds
    // more than a frame's packets) is skipped whole and counted, and the next
    // frame that goes out brings the device up to date. The bytes have the
    // polarity of the display chosen in ComboDisplay.
    void streamFrame(const LcdPageBufferArray& pages);
    std::uint64_t streamSkipped() const { return skipped_; }
    // What the device announced and acknowledged on this connection.
    const serial::LinkPacer& streamPacer() const { return pacer_; }

  private:
    // A message of the serial link in the windows' language: the captions it
    // names (端口号, 开/关) translated.
    QString said(const std::string& message) const;
    // The indicators of a closed port.
    void showClosed();
    // The panel after the port closed itself (device gone).
    void portLost(const QString& why);

    // A new stream: from frame 0, everything sent afresh.
    void restartStream();
    // Bytes from the device: its announcement and acknowledgements.
    void received(const std::string& bytes);
    // Sends the waiting packets the device has room for.
    void pump();
    // Counts a frame skipped for a busy link, or shows that the device is awaited.
    void skip(bool awaited);

    serial::SerialPort& port_;
    MessageBoxes& messages_;
    NoticeLine& notices_;
    serial::FramedEncoder encoder_;
    std::uint64_t streamIndex_ = 0;  // frames of this stream, skipped ones too
    std::uint64_t skipped_ = 0;
    serial::LinkPacer pacer_;
    std::chrono::steady_clock::time_point openedAt_;
    struct Packet {
        std::string bytes;
        std::uint64_t frame;
        std::uint8_t page;
        bool last;  // of its frame
    };
    std::deque<Packet> waiting_;  // packets for the device when it has room
};

}  // namespace orv::ui
