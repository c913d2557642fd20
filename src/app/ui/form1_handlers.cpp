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
    Label3->setText(QString::fromStdString(app::frameRateCaption(rate)));
    Timer2->setInterval(app::captureIntervalMs(rate));  // a running clock takes it at once
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
    if (!Timer2->isActive()) Timer2->start();  // a running clock keeps its phase
}

void Form1::Command3_Click() {
    Timer2->stop();
    frmMain_->Timer1->stop();
}

void Form1::Check2_Click() {  // on every change of the box's state, by click or by code
    Shape2->setColour(Check2->isChecked() ? QColor(255, 0, 0) : palette().color(QPalette::Base));
}

void Form1::Timer2_Timer() {
    Result<app::CaptureRectValues> read =
        app::readCaptureRect(Text1->text().toStdString(), Text2->text().toStdString(),
                             Text3->text().toStdString(), Text4->text().toStdString());
    if (!read) {
        // Skip this tick's grab; say so once until the boxes are good again.
        Notice->report(kRectNotice,
                       QStringLiteral("capture skipped: ") + QString::fromStdString(read.error()));
        return;
    }
    Notice->withdraw(kRectNotice);
    const app::CaptureRectValues r = read.value();

    // The capture picture's outer size is the box's width and height in
    // twips. A screen that cannot be read records nothing, not blank frames.
    if (!sources_->grabTick(r.left, r.top, r.width, r.height)) return;
    const QImage& picture = sources_->Picture1->image();
    pipeline_.takePicture(toPicture(picture));  // engraves before it returns
    Image1->setImage(picture);
    Command7_Click();
    if (Check2->isChecked()) Command6_Click();
    pipeline_.stream();  // sent only while "实时发送" is ticked
}

void Form1::Command7_Click() { pipeline_.pack(); }

void Form1::Command6_Click() {
    if (!pipeline_.record()) return;
    ++FramesWritten;
    Label14->setText(QStringLiteral("F-") + QString::number(FramesWritten));
}

bool Form1::recorded(const std::string& record) { return recorder_->append(record); }

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
