// Form1's handlers: frame rate, capture clock, frame file, preview and the
// byte2ascii line.
#include <QDir>

#include "app/capture_clock.h"
#include "app/ui/form1.h"
#include "lcd/frame_record.h"

namespace orv::ui {
namespace {

const QString kRectNotice = QStringLiteral("capture-rect");

}  // namespace

// Ends at once, but not before what the serial port has queued went out,
// for exitDrain at most.
void Form1::Label2_Click() {
    serial_->MSComm1().drain(exitDrain);
    exitProcess();
}

void Form1::Check1_Click() {
    if (Check1->isChecked()) {
        sources_->restoreWindow(frmMain_.get());
    } else {
        sources_->minimizeWindow(frmMain_.get());
    }
}

void Form1::HScroll1_Change() {
    const int rate = HScroll1->value();
    (void)session_->setFrameRate(rate);  // the scroll bar's range is the session's
    Label3->setText(tr("帧率：%1").arg(rate));
    Timer2->setInterval(session_->periodMs());  // a running clock takes it at once
}

void Form1::runClock(bool on) {
    if (on) {
        session_->start();
        if (!Timer2->isActive()) Timer2->start();  // a running clock keeps its phase
    } else {
        session_->stop();
        Timer2->stop();
    }
}

// The last video opened (demo.avi until one is): opening one is this tool's
// own addition, and the button follows it.
void Form1::Command1_Click() { WindowsMediaPlayer1->setUrl(WindowsMediaPlayer1->lastOpened()); }

void Form1::Command2_Click() {
    const QPoint capturePlace(app::twipsToPixels(app::kCaptureLeftTwips),
                              app::twipsToPixels(app::kCaptureTopTwips));
    // Where the desktop places windows itself (Wayland), the window stays
    // where it is and the player's area comes from the video.
    if (sources_->canPlaceWindows()) move(capturePlace);
    const Result<app::CaptureRectTexts> t =
        app::aimAtPlayer(WindowsMediaPlayer1->x() * app::kTwipsPerPixel,
                         WindowsMediaPlayer1->y() * app::kTwipsPerPixel, app::kCaptureLeftTwips,
                         app::kCaptureTopTwips);
    if (!t) {
        Notice->report(kRectNotice, QString::fromStdString(t.error()));
        return;
    }
    Text3->setText(QString::fromStdString(t.value().text3));
    Text4->setText(QString::fromStdString(t.value().text4));
    Text1->setText(QString::fromStdString(t.value().text1));
    Text2->setText(QString::fromStdString(t.value().text2));
    sources_->aimedAtPlayer(capturePlace + WindowsMediaPlayer1->pos());
    runClock(true);
}

void Form1::Command3_Click() {
    runClock(false);
    frmMain_->Timer1->stop();
}

void Form1::Check2_Click() {  // on every change of the box's state, by click or by code
    session_->setRecording(Check2->isChecked());
    Shape2->setColour(Check2->isChecked() ? QColor(255, 0, 0) : palette().color(QPalette::Base));
}

// The session grabs, engraves, packs, records and streams; the window shows
// what was grabbed and says why a tick made nothing.
void Form1::Timer2_Timer() {
    switch (session_->tick()) {
        case app::TickOutcome::NoRectangle:
            // Skipped; said once until the boxes are good again.
            Notice->report(kRectNotice, QStringLiteral("capture skipped: ") + rectError_);
            return;
        case app::TickOutcome::NotGrabbed:  // the capture sources said why
            Notice->withdraw(kRectNotice);
            return;
        default:
            Notice->withdraw(kRectNotice);
            Image1->setImage(sources_->Picture1->image());
    }
}

void Form1::Command7_Click() { pipeline_.pack(); }

void Form1::Command6_Click() { (void)pipeline_.record(); }

// Every record the pipeline makes, from a tick or from "输出一帧至文件".
Status Form1::recorded(const std::string& record) {
    if (Status appended = recorder_->append(record); !appended) return appended;
    ++FramesWritten;
    Label14->setText(QStringLiteral("F-") + QString::number(FramesWritten));
    return Done{};
}

void Form1::streamed(const LcdPageBufferArray& pages) { serial_->streamFrame(pages); }

void Form1::Command4_Click() {
    Text8->setPlainText(QString::fromStdString(buildPageListing(pipeline_.pages())));
}

void Form1::Picture2_Click() { paintMonoFrame(*Picture2, state_.MonoFrame); }

void Form1::closeEvent(QCloseEvent*) { Label2_Click(); }

void Form1::Label13_Click() {
    if (!Dialog_) Dialog_ = new Dialog(Text9, this);
    Dialog_->followTarget();  // where the box's path is now
    Dialog_->show();
    Dialog_->raise();
    Dialog_->activateWindow();
}

void Form1::Command5_Click() {
    const std::string line = buildAsciiLine(AsciiBuffer);
    serial_->SendSerialLine(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())),
                            static_cast<int>(kAsciiLineSent));
}

}  // namespace orv::ui
