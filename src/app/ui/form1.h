// Form1: the main window of ORV Tool. It places the player panel, the capture
// controls, the frame file box, the LCD preview and the serial panel, and
// runs the capture clock.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/platform/foreground_window.h"
#include "app/platform/screen_grabber.h"
#include "app/ui/capture_sources.h"
#include "app/ui/player_panel.h"
#include "common/random.h"
#include "common/ui/widgets.h"
#include "dib/frame_pipeline.h"
#include "dib/image_state.h"
#include "dib/ui/frm_main.h"
#include "dib/ui/picture_box.h"
#include "lcd/ascii_line.h"
#include "lcd/ui/dialog.h"
#include "lcd/ui/frame_recorder.h"
#include "serial/serial_port.h"
#include "serial/ui/serial_panel.h"

namespace orv::ui {

class MainMenu;  // the right-click menu (app/ui/main_menu.h)
class Form1 : public QWidget, private FrameSink {
    Q_OBJECT
  public:
    // The pieces the windows work with, made once by main() (tests make their own).
    struct Services {
        ImageState& state;                     // the workbench's grids and the one-bit frame
        rnd::Sequence& random;                 // the engrave dither's random sequence
        platform::ScreenGrabber& grabber;      // reads the screen
        platform::WindowInspector& inspector;  // the window in front; minimising
        serial::SerialPort& port;              // the serial link
    };
    explicit Form1(const Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    SerialPanel* serialPanel() const { return serial_; }  // the serial panel
    CaptureSources* sources() const { return sources_; }  // the capture sources
    app::CaptureSession& session() { return *session_; }  // the capture clock's job
    MainMenu* mainMenu() const { return menu_; }          // the right-click menu
    FramePipeline& pipeline() { return pipeline_; }       // the main job's data path
    frmMain* workbench() const { return frmMain_.get(); }
    Dialog* dialog() const { return Dialog_; }
    MessageBoxes& messages() { return messages_; }
    // The last message shown in a message box, empty when none.
    QString lastMessage() const { return messages_.last(); }
    // Plays `file` in the player, as "打开视频…" does.
    void playVideo(const QString& file) { WindowsMediaPlayer1->open(file); }
    // Frames appended to the frame file since start.
    std::int32_t framesWritten() const { return FramesWritten; }

    // Handlers.
    void Form_Load();        // start-up: frame rate, clock period, workbench
    void Label2_Click();     // exit at once, the serial port's queue sent first
    void Check1_Click();     // workbench normal or minimised
    void HScroll1_Change();  // frame-rate caption and clock period
    void Command1_Click();   // play the last video opened
    void Command2_Click();   // start capture
    void Command3_Click();   // stop capture
    void Check2_Click();     // recording lamp
    void Timer2_Timer();     // one capture tick
    void Command7_Click();   // pack the frame
    void Command6_Click();   // append one frame record
    void Command4_Click();   // list page 0
    void Picture2_Click();   // paint the frame preview
    void Label13_Click();    // open the folder chooser
    void Command5_Click();   // send the byte2ascii line
    void CmdCapScreen_Click() { sources_->CmdCapScreen_Click(); }
    void CmdCapActiveWindow_Click() { sources_->CmdCapActiveWindow_Click(); }
    void Timer1_Timer() { sources_->Timer1_Timer(); }
    void CmdCapRect_Click() { sources_->CmdCapRect_Click(); }
    void CmdClear_Click() { sources_->CmdClear_Click(); }
    void CmdSaveBmp_Click() { sources_->CmdSaveBmp_Click(); }

    // What "退出" does; ends the process unless a test replaces it.
    std::function<void()> exitProcess;
    // How long "退出" lets the serial port's queue go out: a fifth of a second.
    std::chrono::milliseconds exitDrain{200};

  protected:
    // The window manager's close (Alt+F4) ends the program as "退出" does.
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    void nameForScreenReaders();
    void wire();
    // The capture boxes, read again after a change: the session's rectangle.
    void rectBoxesChanged();
    // Starts or stops the capture clock.
    void runClock(bool on);
    // The pipeline's frame file and live stream.
    Status recorded(const std::string& record) override;
    void streamed(const LcdPageBufferArray& pages) override;

    // Visible controls.
    QLabel* Label1;                    // title text naming the tool
    ClickLabel* Label2;                // "退出": ends the program
    PlayerPanel* WindowsMediaPlayer1;  // video panel the capture aims at
    ImageView* Image1;                 // stretched thumbnail of the last capture
    QPushButton* Command1;             // "播放": play the last video opened (demo.avi)
    QPushButton* Command2;             // "开始采集": aim at the player and start capturing
    QPushButton* Command3;             // "停止": stop capturing
    QCheckBox* Check1;                 // "DIB窗口": workbench normal or minimised
    QCheckBox* Check2;                 // "录制": append every frame to the frame file
    Lamp* Shape2;                      // recording lamp
    QLabel* Label3;                    // frame-rate caption
    QScrollBar* HScroll1;              // frame rate 1 .. 46
    ClickLabel* Label13;               // "...": opens the folder chooser
    PacedLabel* Label14;               // frames written, "F-" and the count
    PathBox* Text9;                    // path of the frame file
    PictureBox* Picture2;              // LCD preview, painted on click
    QLabel* Label4;                    // caption of the preview
    QLabel* Image2;                    // logo
    NoticeLine* Notice;                // non-modal reports (bad capture box, failed writes)

    // Controls below the visible area, run by code and reachable by keyboard.
    QPushButton* CmdCapScreen;        // "整个桌面": grab the whole desktop
    QPushButton* CmdCapRect;          // "桌面区域": choose a desktop region
    QPushButton* CmdCapActiveWindow;  // "活动窗口": grab the window in front
    QPushButton* CmdClear;            // "清  除": clear the thumbnail
    QPushButton* CmdSaveBmp;          // "保存图片": save the capture as a bitmap
    QPushButton* Command4;            // "输出至窗口": list page 0 into Text8
    QPushButton* Command6;            // "输出一帧至文件": append one frame record
    QPushButton* Command7;            // "bit-byte": pack MonoFrame into LcdPageBuffer
    QPushButton* Command5;            // "byte2ascii": send the byte line
    QLineEdit* Text1;                 // capture width, twips
    QLineEdit* Text2;                 // capture height, twips
    QLineEdit* Text3;                 // capture left, pixels
    QLineEdit* Text4;                 // capture top, pixels
    QPlainTextEdit* Text8;            // listing of page 0

    QTimer* Timer2;  // the capture clock's timer: ticks the session while it runs

    ImageState& state_;
    FramePipeline pipeline_;
    MessageBoxes messages_;
    SerialPanel* serial_;
    CaptureSources* sources_;
    std::unique_ptr<app::CaptureSession> session_;  // the capture clock's job
    QString rectError_;  // why the capture boxes do not read as a rectangle; empty when they do
    FrameRecorder* recorder_;
    MainMenu* menu_;
    std::unique_ptr<frmMain> frmMain_;
    Dialog* Dialog_ = nullptr;
    AsciiBufferArray AsciiBuffer{};  // bytes of the byte2ascii line
    std::int32_t FramesWritten = 0;  // frames appended since start
    std::int16_t BorderPad = 0;      // half of outer minus client width, twips
};

}  // namespace orv::ui
