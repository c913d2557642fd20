// Form1's one-off capture sources: the whole desktop, the window in front, a
// region chosen on the capture surface; clearing and saving the capture.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QMessageBox>
#include <QSaveFile>

#include "app/capture_clock.h"
#include "app/ui/form1.h"
#include "common/numbers.h"

namespace orv::ui {
namespace {

const QString kWindowNotice = QStringLiteral("active-window");

// Lets pending window events run, so that a window just minimised or hidden
// is off the screen and what was under it has been repainted.
void letEventsRun() {
    QElapsedTimer settle;
    settle.start();
    do {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    } while (settle.elapsed() < 100);
}

}  // namespace

void Form1::minimizeWindow(QWidget* window) {
    if (inspector_->canMinimize()) {
        window->showMinimized();
    } else {
        window->hide();  // nothing on this desktop can minimise: hiding stands in
    }
}

void Form1::restoreWindow(QWidget* window) {
    window->showNormal();
    window->raise();
    window->activateWindow();
}

QRect Form1::keptArea(std::int32_t left, std::int32_t top, std::int32_t extentX,
                      std::int32_t extentY) {
    const QSize client = Picture1->clientSize();
    const app::GrabArea a =
        app::grabArea(left, top, extentX, extentY, client.width(), client.height());
    return QRect(a.x, a.y, a.width, a.height);
}

void Form1::grabIntoPicture1(const QRect& area) {
    if (area.isEmpty()) return;
    const platform::ScreenPiece piece = grabber_->grab(area);
    Picture1->drawAt(piece.pixels, piece.offset);
}

QImage Form1::grabDesktop() {
    const QRect desktop = grabber_->desktop();
    QImage shot(desktop.size(), QImage::Format_RGB32);
    shot.fill(Qt::black);
    const platform::ScreenPiece piece = grabber_->grab(desktop);
    copyAtOrigin(shot, piece.pixels, piece.offset);
    return shot;
}

void Form1::CmdCapScreen_Click() {
    minimizeWindow(this);
    letEventsRun();
    // Outer size = the screen, so the client area keeps all but the last 4
    // columns and rows. The picture is not cleared first.
    const QRect desktop = grabber_->desktop();
    Picture1->setOuterSize(desktop.size());
    grabIntoPicture1(desktop);
    restoreWindow(this);
    Image1->setImage(Picture1->image());
}

void Form1::CmdCapActiveWindow_Click() {
    minimizeWindow(this);
    Timer1->start();
}

void Form1::Timer1_Timer() {
    const std::optional<QRect> window = inspector_->foregroundWindow();
    Picture1->cls();
    if (window) {
        Notice->withdraw(kWindowNotice);
        const int twipsWide = app::kTwipsPerPixel * window->width() + BorderPad;
        const int twipsHigh = app::kTwipsPerPixel * window->height() + BorderPad;
        Picture1->setOuterSize(QSize(app::twipsToPixels(twipsWide), app::twipsToPixels(twipsHigh)));
        // The window's own picture from its top-left corner, as much as the
        // client area holds.
        grabIntoPicture1(
            keptArea(window->x(), window->y(), twipsWide, twipsHigh).intersected(*window));
    } else {
        Notice->report(
            kWindowNotice,
            QStringLiteral("active window: the desktop does not tell which window is in front"));
    }
    if (++GrabCount == 2) {
        Image1->setImage(Picture1->image());
        GrabCount = 0;
        Timer1->stop();
        restoreWindow(this);
        setFocus();
    }
}

void Form1::CmdCapRect_Click() {
    Timer1->start();
    minimizeWindow(this);
    letEventsRun();
    if (!Form2_) {
        Form2_ = new Form2(nullptr);
        Form2_->setAttribute(Qt::WA_DeleteOnClose);
        Form2_->onFinished = [this](const Form2::Region& r) { regionChosen(r); };
        Form2_->onCancelled = [this] { regionCancelled(); };
    }
    Form2_->BorderPad = BorderPad;
    Form2_->setScreenshot(grabDesktop());
    Form2_->setGeometry(grabber_->desktop());
    Form2_->showFullScreen();
    Form2_->raise();
    Form2_->activateWindow();
    Form2_->setCursor(Qt::CrossCursor);
}

void Form1::regionChosen(const Form2::Region& r) {
    Text1->setText(QString::fromStdString(num::formatSingle(r.width)));
    Text2->setText(QString::fromStdString(num::formatSingle(r.height)));
    Text3->setText(QString::fromStdString(num::formatSingle(r.left)));
    Text4->setText(QString::fromStdString(num::formatSingle(r.top)));
    Picture1->setOuterSize(
        QSize(app::twipsToPixels(std::abs(r.width)), app::twipsToPixels(std::abs(r.height))));
    Picture1->cls();
    // From the surface's own screenshot: the live screen would show the box.
    const QRect source =
        keptArea(static_cast<std::int32_t>(r.left), static_cast<std::int32_t>(r.top),
                 static_cast<std::int32_t>(num::roundHalfEven(r.width)),
                 static_cast<std::int32_t>(num::roundHalfEven(r.height)));
    Picture1->drawAt(Form2_->screenshot().copy(source.translated(-grabber_->desktop().topLeft())));
    Image1->setImage(Picture1->image());
    Timer2->start();
    restoreWindow(this);
    closeCaptureSurface();
}

void Form1::regionCancelled() {
    closeCaptureSurface();
    restoreWindow(this);
}

void Form1::closeCaptureSurface() {
    if (Form2_) Form2_->close();  // deletes itself
}

void Form1::CmdClear_Click() { Image1->setImage(QImage()); }

void Form1::CmdSaveBmp_Click() {
    if (Image1->image().isNull()) {
        return tell(QStringLiteral(
            "Nothing to save: no picture has been captured, or the thumbnail was cleared."));
    }
    const QString name =
        askSaveName ? askSaveName()
                    : QFileDialog::getSaveFileName(this, QStringLiteral("保存图片"), QString(),
                                                   QStringLiteral("(*.bmp)"), nullptr,
                                                   QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty()) return;
    if (QFileInfo::exists(name)) {
        const bool replace =
            askOverwrite ? askOverwrite()
                         : QMessageBox::question(this, QStringLiteral("文件覆盖"),
                                                 QStringLiteral("该文件已经存在，是否要覆盖？"),
                                                 QMessageBox::Yes | QMessageBox::No,
                                                 QMessageBox::No) == QMessageBox::Yes;
        if (!replace) return;
    }
    // Written beside the target and renamed, so an old file is never left half-written.
    QSaveFile file(name);
    QImageWriter writer(&file, "bmp");
    if (!file.open(QIODevice::WriteOnly) || !writer.write(Image1->image()) || !file.commit()) {
        const QString why =
            file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        return tell(QStringLiteral("Cannot save the picture as \"%1\": %2").arg(name, why));
    }
}

}  // namespace orv::ui
