// The capture clock against a real X server: a playing video is in the frames
// (the shared-memory grab is the one record_test's tool makes).
#include <QApplication>
#include <QMediaPlayer>
#include <QtTest>

#include "files.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::control;

namespace {

const QImage& picture1(const Form1& form) {
    return control<PictureBox>(&form, "Picture1")->image();
}
QString notice(const Form1& form) { return control<NoticeLine>(&form, "Notice")->text(); }

}  // namespace

class CaptureTest : public QObject {
    Q_OBJECT
  private slots:
    // A playing clip, white on the left and black on the right, with a grey
    // bar moving along its top. Run at display scale 1 and 2: the frame holds
    // the player's picture, not a magnified quarter of it, and follows it.
    void aPlayingClipIsWhatTheFramesShow() {
        orv::test::InFolder here;
        QCOMPARE(QProcess::execute(
                     "ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                "color=white:s=256x128:r=25:d=20,drawbox=x=128:y=0:w=128:h=128:"
                                "color=black:t=fill",
                                "-f", "lavfi", "-i", "color=gray:s=40x12:r=25:d=20",
                                "-filter_complex", "[0][1]overlay=x='mod(t*40,256)':y=0", "-c:v",
                                "mjpeg", "-q:v", "2", "-y", here.dir.filePath("demo.avi")}),
                 0);
        orv::test::Tool tool;
        Form1& form = *tool.form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Command1_Click();
        QMediaPlayer* player = control<PlayerPanel>(&form, "WindowsMediaPlayer1")->player();
        QTRY_VERIFY_WITH_TIMEOUT(player->position() > 300, 20000);
        form.Command2_Click();
        control<QTimer>(&form, "Timer2")->stop();
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

    void playButtonSaysWhyAndTriesAgain() {
        orv::test::InFolder here;
        orv::test::Tool tool;
        Form1& form = *tool.form;
        QMediaPlayer* player = control<PlayerPanel>(&form, "WindowsMediaPlayer1")->player();
        const QString clip = here.dir.filePath("demo.avi");
        form.Command1_Click();  // no file
        QVERIFY(notice(form).contains(clip) && notice(form).contains("no such file"));
        orv::test::writeFile(clip.toStdString(), "not a video at all");
        form.Command1_Click();  // a file that cannot be played
        QTRY_VERIFY_WITH_TIMEOUT(player->mediaStatus() == QMediaPlayer::InvalidMedia, 15000);
        QTRY_VERIFY(notice(form).contains("cannot play"));
        QFile::remove(clip);
        QCOMPARE(QProcess::execute(QStringLiteral(ORV_SOURCE_DIR "/scripts/make-demo.sh"), {clip}),
                 0);
        form.Command1_Click();  // the same name again: loaded afresh, and it plays
        QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 15000);
        QTRY_VERIFY(notice(form).isEmpty());
    }
};

QTEST_MAIN(CaptureTest)
#include "capture_test.moc"
