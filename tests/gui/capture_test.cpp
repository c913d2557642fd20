// The capture clock against a real X server: known pixels on the screen come
// back byte for byte in the frame file, and a playing video moves the frames.
#include <QApplication>
#include <QMediaPlayer>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>
#include <sstream>

#include "files.h"
#include "pattern_window.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;

namespace {

// Dark (L <= 90) or light (L > 180) only, so the dither cannot decide.
QRgb pattern(int x, int y) {
    const bool light = ((x / 3) + (y / 5)) % 2 == 0 || (x + y) % 17 == 0;
    return light ? qRgb(230, 240, 220) : qRgb(60, 80, 20);
}

QByteArray readAll(const QString& path) {
    return QByteArray::fromStdString(orv::test::readFile(path.toStdString()));
}

}  // namespace

class CaptureTest : public QObject {
    Q_OBJECT
  private slots:
    void knownPixelsComeBackByteForByte() {
        orv::test::Tool tool;
        Form1& form = *tool.form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Command2_Click();
        form.Timer2->stop();
        QCOMPARE(form.Text3->text(), QStringLiteral("475.6667"));

        orv::test::PatternWindow cover(QRect(466, 221, 160, 90), pattern);
        cover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cover));
        // Wait until the server shows the pattern where the clock grabs.
        platform::QtScreenGrabber screen;
        QTRY_VERIFY_WITH_TIMEOUT(
            screen.grab(QRect(476, 231, 1, 1)).pixels.pixel(0, 0) == pattern(476, 231) &&
                screen.grab(QRect(606, 295, 1, 1)).pixels.pixel(0, 0) == pattern(606, 295),
            5000);

        QTemporaryDir dir;
        const QString path = dir.filePath("mov1.orv");
        form.Text9->setText(path);
        form.Check2->click();
        form.Timer2_Timer();
        form.Timer2_Timer();
        QCOMPARE(form.FramesWritten, 2);

        // Frame pixel (c, r) is the screen pixel (476 + c, 232 + r): the grab
        // starts at 476, 231 and the frame leaves out the picture's top row.
        std::ostringstream record;
        for (int p = 0; p < 8; ++p) {
            for (int c = 0; c < 128; ++c) {
                int byte = 0;
                for (int k = 0; k < 8; ++k) {
                    if (qRed(pattern(476 + c, 232 + 8 * p + k)) != 230) byte |= 1 << k;
                }
                record << byte << "\r\n";
            }
        }
        record << "F\r\n";
        const QByteArray one = QByteArray::fromStdString(record.str());
        QCOMPARE(readAll(path), one + one);
    }

    void playingVideoMovesTheFrames() {
        QTemporaryDir dir;
        const QString script = QStringLiteral(ORV_SOURCE_DIR "/scripts/make-demo.sh");
        QCOMPARE(QProcess::execute(script, {dir.filePath("demo.avi")}), 0);
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());

        orv::test::Tool tool;
        Form1& form = *tool.form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Command1_Click();
        QMediaPlayer* player = form.WindowsMediaPlayer1->player();
        QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(player->position() > 300, 10000);
        form.Command2_Click();
        form.Timer2->stop();

        auto grabbed = [&] {
            form.Timer2_Timer();
            return form.Picture1->image().copy();
        };
        const QImage first = grabbed();
        // The video, not the empty black panel, is in the grab.
        int lit = 0;
        for (int y = 0; y < first.height(); ++y) {
            for (int x = 0; x < first.width(); ++x) lit += qGray(first.pixel(x, y)) > 40;
        }
        QVERIFY2(lit > first.width() * first.height() / 4, "the grab shows no video");
        QTRY_VERIFY_WITH_TIMEOUT(grabbed() != first, 10000);
        QDir::setCurrent(before);
    }
};

QTEST_MAIN(CaptureTest)
#include "capture_test.moc"
