// The main job end to end on the desktop the test is started on: "播放", "录制"
// and "开始采集" record frames that follow the video, by the tool's own grabber.
// Run at display scale 1 and 2: the frames hold the player's picture, not a
// magnified quarter of it.
#include <QMediaPlayer>
#include <QtTest>
#include <algorithm>

#include "lcd/orv_reader.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::control;

namespace {

// The share of dark pixels in columns [from, to) of a frame, rows 8 to 55.
double darkShare(const Frame& f, int from, int to) {
    int dark = 0;
    for (int c = from; c < to; ++c) {
        for (int r = 8; r < 56; ++r) dark += f.dark(c, r);
    }
    return dark / (48.0 * (to - from));
}

}  // namespace

class RecordTest : public QObject {
    Q_OBJECT
  private slots:
    void framesFollowAClipWhoseHalvesSwap() {
        test::InFolder here;
        // White on the left and black on the right, then the other way round,
        // half a second each.
        QCOMPARE(QProcess::execute(
                     "ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                "color=white:s=256x128:r=25:d=20,"
                                "drawbox=x=128:w=128:h=128:color=black:t=fill:"
                                "enable='lt(mod(t,1),0.5)',"
                                "drawbox=x=0:w=128:h=128:color=black:t=fill:"
                                "enable='gte(mod(t,1),0.5)'",
                                "-c:v", "mjpeg", "-q:v", "2", "-y", here.dir.filePath("demo.avi")}),
                 0);
        test::Tool tool(platform::makeScreenGrabber());
        Form1& form = *tool.form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Command1_Click();
        QMediaPlayer* player = control<PlayerPanel>(&form, "WindowsMediaPlayer1")->player();
        QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(player->position() > 300, 10000);

        control<PathBox>(&form, "Text9")->setText(here.dir.filePath("mov1.orv"));
        control<QCheckBox>(&form, "Check2")->click();
        form.Command2_Click();
        // Three seconds of the clip, on the clock's own ticks.
        QTRY_VERIFY_WITH_TIMEOUT(player->position() > 3800, 15000);
        form.Command3_Click();
        const QString notice = control<NoticeLine>(&form, "Notice")->text();
        QVERIFY2(notice.isEmpty(), qPrintable(notice));

        // Frame by frame: l light on the left and dark on the right, r the
        // other way round, . anything else (all dark for an unreadable screen).
        std::string sides;
        const Result<std::uint64_t> read =
            readFrameFile(here.dir.filePath("mov1.orv").toStdString(), [&](const Frame& f) {
                const double left = darkShare(f, 4, 56), right = darkShare(f, 72, 124);
                sides += left < 0.1 && right > 0.9 ? 'l' : left > 0.9 && right < 0.1 ? 'r' : '.';
            });
        QVERIFY2(read, read ? "" : read.error().c_str());
        QVERIFY(sides.size() >= 30);
        // The halves take turns; a grab mid-repaint may put one frame between
        // at each change.
        int turns = 0;
        char last = 0;
        for (char s : sides) {
            if (s == '.') continue;
            turns += last && s != last;
            last = s;
        }
        QVERIFY2(turns >= 4 && std::count(sides.begin(), sides.end(), '.') <= turns, sides.c_str());
    }
};

QTEST_MAIN(RecordTest)
#include "record_test.moc"
