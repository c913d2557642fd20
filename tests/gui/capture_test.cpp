// The capture clock against a real X server: a playing video is in the
// frames, and both screen grabs give the screen's own pixels.
#include <QApplication>
#include <QMediaPlayer>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>
#include <utility>
#include <vector>

#include "app/platform/x11_screen_grabber.h"
#include "files.h"
#include "pattern_window.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::control;

namespace {

// Dark (L <= 90) or light (L > 180) only, so the dither cannot decide.
QRgb pattern(int x, int y) {
    const bool light = ((x / 3) + (y / 5)) % 2 == 0 || (x + y) % 17 == 0;
    return light ? qRgb(230, 240, 220) : qRgb(60, 80, 20);
}

// The tool started in a folder of its own, which is the current one meanwhile.
struct InFolder {
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    InFolder() { QDir::setCurrent(dir.path()); }
    ~InFolder() { QDir::setCurrent(before); }
    QString file(const QString& name) const { return dir.filePath(name); }
};

// Plays a clip, white on the left and black on the right, with a grey bar
// moving along its top, and aims the capture at it with the clock stopped.
bool playTheHalvesClip(const InFolder& here, Form1& form) {
    if (QProcess::execute(
            "ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                       "color=white:s=256x128:r=25:d=20,drawbox=x=128:y=0:w=128:h=128:"
                       "color=black:t=fill",
                       "-f", "lavfi", "-i", "color=gray:s=40x12:r=25:d=20", "-filter_complex",
                       "[0][1]overlay=x='mod(t*40,256)':y=0", "-c:v", "mjpeg", "-q:v", "2", "-y",
                       here.file("demo.avi")}) != 0) {
        return false;
    }
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return false;
    form.Command1_Click();
    QMediaPlayer* player = control<PlayerPanel>(&form, "WindowsMediaPlayer1")->player();
    if (!QTest::qWaitFor([&] { return player->position() > 300; }, 20000)) return false;
    form.Command2_Click();
    control<QTimer>(&form, "Timer2")->stop();
    return true;
}

const QImage& picture1(const Form1& form) {
    return control<PictureBox>(&form, "Picture1")->image();
}
QString notice(const Form1& form) { return control<NoticeLine>(&form, "Notice")->text(); }

// The capture picture reduced by a plain threshold, one bit a pixel.
std::vector<bool> thresholded(const QImage& picture) {
    std::vector<bool> bits;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) bits.push_back(qGray(picture.pixel(x, y)) > 128);
    }
    return bits;
}

}  // namespace

class CaptureTest : public QObject {
    Q_OBJECT
  private slots:
    // A playing clip, white on the left and black on the right, with a grey
    // bar moving along its top. Run at display scale 1 and 2: the frame holds
    // the player's picture, not a magnified quarter of it, and follows it.
    void aPlayingClipIsWhatTheFramesShow() {
        InFolder here;
        orv::test::Tool tool;
        Form1& form = *tool.form;
        QVERIFY(playTheHalvesClip(here, form));
        // Light (no bit set) on the left, dark (all bits) on the right, away from
        // the edge and the bar, once the moved window shows the video at its new place.
        auto halves = [&] {
            form.Timer2_Timer();
            for (int page = 1; page < 7; ++page) {
                for (int c = 4; c < 124; ++c) {
                    const int want = c < 56 ? 0 : c >= 72 ? 255 : -1;
                    if (want >= 0 && form.pipeline().pages()[1 + 128 * page + c] != want)
                        return false;
                }
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(halves(), 10000);
        const QImage first = picture1(form).copy();
        QTRY_VERIFY_WITH_TIMEOUT((form.Timer2_Timer(), picture1(form) != first), 10000);
    }

    // The player's area taken from the video is what the screen shows there:
    // tick by tick, the screen grab and the video's own picture reduced by a
    // threshold agree on at least 98 % of their pixels. (The two are sampled
    // a moment apart and scaled by different code: the moving bar's edges
    // and the video's outline may differ by a pixel, nothing more.)
    void theVideoSourceSeesWhatTheScreenShows() {
        InFolder here;
        orv::test::Tool tool(platform::makeScreenGrabber());
        Form1& form = *tool.form;
        QVERIFY(playTheHalvesClip(here, form));
        CaptureSources& sources = *form.sources();
        QVERIFY(!sources.capturesFromVideo());  // the screen, where it can be read
        auto both = [&] {
            sources.chooseVideoSource(false);
            form.Timer2_Timer();
            const QImage screen = picture1(form).copy();
            sources.chooseVideoSource(true);
            form.Timer2_Timer();
            return std::pair(thresholded(screen), thresholded(picture1(form)));
        };
        // Once the moved window shows the video at its place.
        auto screenShowsTheVideo = [&] {
            sources.chooseVideoSource(false);
            form.Timer2_Timer();
            const QImage& p = picture1(form);
            return qGray(p.pixel(20, 40)) > 200 && qGray(p.pixel(100, 40)) < 50;
        };
        QTRY_VERIFY_WITH_TIMEOUT(screenShowsTheVideo(), 10000);
        std::size_t least = SIZE_MAX;
        for (int tick = 0; tick < 40; ++tick) {
            const auto [screen, video] = both();
            QCOMPARE(screen.size(), video.size());
            std::size_t same = 0;
            for (std::size_t i = 0; i < screen.size(); ++i) same += screen[i] == video[i];
            least = std::min(least, same);
            QVERIFY2(same * 100 >= screen.size() * 98,
                     qPrintable(QStringLiteral("tick %1: %2 of %3 pixels agree")
                                    .arg(tick)
                                    .arg(same)
                                    .arg(screen.size())));
            QTest::qWait(25);  // the next video frame
        }
        qInfo("at least %zu of %zu pixels agree", least, std::size_t{131 * 65});
    }

    void playButtonSaysWhyAndTriesAgain() {
        InFolder here;
        orv::test::Tool tool;
        Form1& form = *tool.form;
        QMediaPlayer* player = control<PlayerPanel>(&form, "WindowsMediaPlayer1")->player();
        const QString clip = here.file("demo.avi");
        form.Command1_Click();  // no file
        QVERIFY(notice(form).contains(clip));
        QVERIFY(notice(form).contains("no such file"));
        orv::test::writeFile(clip.toStdString(), "not a video at all");
        form.Command1_Click();  // a file that cannot be played
        QTRY_VERIFY_WITH_TIMEOUT(player->mediaStatus() == QMediaPlayer::InvalidMedia, 15000);
        QTRY_VERIFY(notice(form).contains("cannot play"));
        QVERIFY(!notice(form).contains('\n'));
        QFile::remove(clip);
        const QString script = QStringLiteral(ORV_SOURCE_DIR "/scripts/make-demo.sh");
        QCOMPARE(QProcess::execute(script, {clip}), 0);
        form.Command1_Click();  // the same name again: loaded afresh, and it plays
        QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 15000);
        QTRY_VERIFY(notice(form).isEmpty());
    }

    // Shared memory and the plain grab give the same bytes, wherever the
    // rectangle lies.
    void sharedMemoryGrabsTheSamePixels() {
        orv::test::PatternWindow cover(QRect(0, 0, 1280, 1024), pattern);
        cover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cover));
        platform::QtScreenGrabber plain;
        platform::X11ScreenGrabber shared;
        if (QGuiApplication::primaryScreen()->devicePixelRatio() == 1.0) {
            QVERIFY(shared.sharedMemory());
        }
        QTRY_VERIFY_WITH_TIMEOUT(plain.grab(QRect(476, 231, 131, 65)).pixels ==
                                     orv::test::picture(QRect(476, 231, 131, 65), pattern),
                                 5000);
        const QRect desk = plain.desktop();
        for (const QRect& r : {QRect(476, 231, 131, 65), QRect(-20, -7, 64, 48),
                               QRect(desk.right() - 30, desk.bottom() - 10, 64, 32), desk,
                               QRect(5, 5, 1, 1), QRect(476, 231, 200, 100)}) {
            const platform::ScreenPiece a = plain.grab(r), b = shared.grab(r);
            QCOMPARE(b.offset, a.offset);
            QCOMPARE(b.pixels.format(), a.pixels.format());
            QVERIFY2(b.pixels == a.pixels, qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                          .arg(r.x())
                                                          .arg(r.y())
                                                          .arg(r.width())
                                                          .arg(r.height())));
        }
    }
};

QTEST_MAIN(CaptureTest)
#include "capture_test.moc"
