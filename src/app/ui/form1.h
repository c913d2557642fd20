// Form1: the main window of ORV Tool.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/platform/foreground_window.h"
#include "app/platform/screen_grabber.h"
#include "app/ui/form2.h"
#include "app/ui/player_panel.h"
#include "app/ui/widgets.h"
#include "dib/img_state.h"
#include "dib/ui/frm_main.h"
#include "dib/ui/picture_box.h"
#include "lcd/ascii_line.h"
#include "lcd/page_packing.h"
#include "lcd/ui/dialog.h"
#include "serial/serial_port.h"

class QFrame;
class QMessageBox;

namespace orv::ui {

// Main window: borderless; carries the player panel, the capture controls, the
// frame file box, the LCD preview and the serial panel.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    // `grabber` reads the screen for the capture clock; `state` is the
    // workbench's process-wide image state; `port` is the serial port (a
    // QSerialPort one when none is given).
    Form1(ImageState& state, std::unique_ptr<platform::ScreenGrabber> grabber,
          std::unique_ptr<serial::SerialPort> port = nullptr, QWidget* parent = nullptr);
    ~Form1() override;

    // Design geometry in pixels.
    static constexpr int kLeft = 385;
    static constexpr int kTop = 74;
    static constexpr int kWidth = 684;
    static constexpr int kHeight = 184;
    // Where start capture puts the window, in twips.
    static constexpr int kCaptureLeftTwips = 7000;
    static constexpr int kCaptureTopTwips = 3000;

    // Visible controls.
    QLabel* Label1;                    // title text naming the tool
    ClickLabel* Label2;                // "退出": ends the program
    PlayerPanel* WindowsMediaPlayer1;  // video panel the capture aims at
    ImageView* Image1;                 // stretched thumbnail of the last capture
    QPushButton* Command1;             // "播放": play demo.avi
    QPushButton* Command2;             // "开始采集": aim at the player and start capturing
    QPushButton* Command3;             // "停止": stop capturing
    QCheckBox* Check1;                 // "DIB窗口": workbench normal or minimised
    QCheckBox* Check2;                 // "录制": append every frame to the frame file
    Lamp* Shape2;                      // recording lamp
    QLabel* Label3;                    // frame-rate caption
    QScrollBar* HScroll1;              // frame rate 1 .. 46
    ClickLabel* Label13;               // "...": opens the folder chooser
    QLabel* Label14;                   // frames written, "F-" and the count
    QLineEdit* Text9;                  // path of the frame file
    PictureBox* Picture2;              // LCD preview, painted on click
    QLabel* Label4;                    // caption of the preview
    QLabel* Image2;                    // logo
    NoticeLine* Notice;                // non-modal reports (bad capture box, failed writes)

    // Serial panel.
    QFrame* Shape1;      // frame around the serial panel
    QLineEdit* Text5;    // port settings text, as "9600,n,8,1"
    ClickLabel* Label5;  // "R": read the port's number and settings into the boxes
    ClickLabel* Label6;  // "W": apply the boxes to the port
    QLabel* Label11;     // "STANDBY": flashes while the port is open
    QLabel* Label9;      // "TXD": lit after a line is sent
    ClickLabel* Label8;  // "开/关": open or close the port
    QLabel* Label7;      // caption of the port number box
    QLineEdit* Text6;    // port number
    QLabel* Label10;     // "RXD": never lit (the link only transmits)

    // Controls below the visible area, run by code and reachable by keyboard.
    QPushButton* CmdCapScreen;        // "整个桌面": grab the whole desktop
    QPushButton* CmdCapRect;          // "桌面区域": choose a desktop region
    QPushButton* CmdCapActiveWindow;  // "活动窗口": grab the window in front
    QPushButton* CmdClear;            // "清  除": clear the capture picture
    QPushButton* CmdSaveBmp;          // "保存图片": save the capture as a bitmap
    QPushButton* Command4;            // "输出至窗口": list page 0 into Text8
    QPushButton* Command6;            // "输出一帧至文件": append one frame record
    QPushButton* Command7;            // "bit-byte": pack MonoFrame into LcdPageBuffer
    QPushButton* Command5;            // "byte2ascii": send the byte line
    QLineEdit* Text1;                 // capture width, twips
    QLineEdit* Text2;                 // capture height, twips
    QLineEdit* Text3;                 // capture left, pixels
    QLineEdit* Text4;                 // capture top, pixels
    QLineEdit* Text7;                 // serial transmit line
    QLabel* Label12;                  // "TXD" indicator
    QPlainTextEdit* Text8;            // listing of page 0
    PictureBox* Picture1;             // the capture picture

    QTimer* Timer1;  // active-window timer, 1000 ms
    QTimer* Timer2;  // the capture clock
    QTimer* Timer3;  // serial blink timer, 86 ms

    frmMain* workbench() const { return frmMain_.get(); }
    Dialog* dialog() const { return Dialog_; }

    // Handlers.
    void Form_Load();                 // start-up: frame rate, clock period, workbench
    void Label2_Click();              // exit at once
    void Check1_Click();              // workbench normal or minimised
    void HScroll1_Change();           // frame-rate caption and clock period
    void Command1_Click();            // play demo.avi
    void Command2_Click();            // start capture
    void Command3_Click();            // stop capture
    void Check2_Click();              // recording lamp
    void Timer2_Timer();              // one capture tick
    void Command7_Click();            // pack the frame
    void Command6_Click();            // append one frame record
    void Command4_Click();            // list page 0
    void Picture2_Click();            // paint the frame preview
    void Label13_Click();             // open the folder chooser
    void CmdCapScreen_Click();        // grab the whole desktop into the capture picture
    void CmdCapActiveWindow_Click();  // grab the window in front, one and two seconds on
    void Timer1_Timer();              // one active-window grab
    void CmdCapRect_Click();          // choose a region on a frozen screenshot
    void CmdClear_Click();            // empty the thumbnail
    void CmdSaveBmp_Click();          // save the captured picture as a bitmap
    void Label5_Click();              // "R": port settings and number into Text5, Text6
    void Label6_Click();              // "W": Text5, then Text6, to the port
    void Label8_Click();              // open or close the port
    void Text7_Change();              // send the transmit line
    void Timer3_Timer();              // blink step of the indicators
    void Command5_Click();            // send the byte2ascii line
    // Sends the first `limit` characters of `text` and a carriage return when
    // the port is open; does nothing when it is closed.
    void SendSerialLine(const QString& text, int limit);

    serial::SerialPort& MSComm1() { return *port_; }  // the serial port
    std::int16_t GrabCount = 0;                       // active-window grabs of the current pair
    Form2* captureSurface() const { return Form2_; }  // the capture surface while it exists

    // The save dialog's answer (empty: cancelled) and the overwrite question;
    // tests put their own answers here.
    std::function<QString()> askSaveName;
    std::function<bool()> askOverwrite;
    // Minimises the main window, or hides it where nothing can minimise.
    void minimizeWindow(QWidget* window);
    // Back to the normal state, in front.
    void restoreWindow(QWidget* window);
    std::uint8_t StandbyCounter = 0;  // blink ticks, back to 0 at 30

    // Background colour of a panel label.
    static QColor backColour(const QLabel* label);
    // The last message shown in a message box, empty when none.
    QString lastMessage() const { return lastMessage_; }

    LcdPageBufferArray LcdPageBuffer{};  // the packed frame
    AsciiBufferArray AsciiBuffer{};      // bytes of the byte2ascii line
    std::int32_t FramesWritten = 0;      // frames appended since start
    std::int16_t BorderPad = 0;          // half of outer minus client width, twips

    // What "退出" does; ends the process unless a test replaces it.
    std::function<void()> exitProcess;

    // Text9's starting text: D:\mov1.orv where that drive exists, otherwise
    // mov1.orv in the current directory.
    static QString defaultFramePath();

  protected:
    void mousePressEvent(QMouseEvent* event) override;    // Form_MouseDown
    void mouseMoveEvent(QMouseEvent* event) override;     // Form_MouseMove
    void mouseReleaseEvent(QMouseEvent* event) override;  // Form_MouseUp

  private:
    void buildControls();
    void regionChosen(const Form2::Region& region);
    void regionCancelled();
    void closeCaptureSurface();
    // The part of the screen rectangle at (left, top) with a signed extent
    // that the capture picture's client area keeps.
    QRect keptArea(std::int32_t left, std::int32_t top, std::int32_t extentX, std::int32_t extentY);
    // Copies that screen area onto the capture picture at 0, 0.
    void grabIntoPicture1(const QRect& area);
    // The whole desktop as the screen shows it now.
    QImage grabDesktop();
    void buildSerialPanel();
    // The panel after the port closed itself (device gone).
    void portLost(const QString& why);
    // Shows `message` in a non-modal message box (one at a time).
    void tell(const QString& message);
    static void setBackColour(QLabel* label, QColor colour);
    void wire();

    ImageState& state_;
    std::unique_ptr<platform::ScreenGrabber> grabber_;
    std::unique_ptr<serial::SerialPort> port_;
    std::unique_ptr<platform::WindowInspector> inspector_;
    QPointer<Form2> Form2_;
    QMessageBox* messageBox_ = nullptr;
    QString lastMessage_;
    std::unique_ptr<frmMain> frmMain_;
    Dialog* Dialog_ = nullptr;
    std::string FrameText;  // scratch text of a record or listing
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace orv::ui
