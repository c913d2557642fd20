// The main job end to end on the desktop the test is started on: "播放", "录制"
// and "开始采集" record frames that follow the video, by the tool's own grabber.
#include <QMediaPlayer>
#include <QtTest>
#include <bit>
#include <vector>

#include "lcd/orv_reader.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::control;

class RecordTest : public QObject {
    Q_OBJECT
  private slots:
    void framesFollowAClipThatAlternatesWhiteAndBlack() {
        test::InFolder here;
        // White, then black, half a second each.
        QCOMPARE(QProcess::execute(
                     "ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                "color=white:s=256x128:r=25:d=20,drawbox=x=0:y=0:w=256:h=128:"
                                "color=black:t=fill:enable='gte(mod(t,1),0.5)'",
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

        std::vector<double> dark;  // share of dark pixels, frame by frame
        const Result<std::uint64_t> read =
            readFrameFile(here.dir.filePath("mov1.orv").toStdString(), [&](const Frame& pages) {
                int set = 0;
                for (std::uint8_t b : pages.bytes()) set += std::popcount(b);
                dark.push_back(set / 8192.0);
            });
        QVERIFY2(read, read ? "" : read.error().c_str());
        QVERIFY(dark.size() >= 30);
        // Frames are white or black (none black for an unreadable screen) and take
        // turns; a grab mid-repaint may put one frame between at each change.
        int turns = 0, between = 0;
        bool wasDark = dark.front() > 0.5;
        for (double d : dark) {
            if (d >= 0.1 && d <= 0.9) {
                ++between;
                continue;
            }
            if ((d > 0.5) != wasDark) ++turns;
            wasDark = d > 0.5;
        }
        QVERIFY(turns >= 4 && between <= turns);
    }
};

QTEST_MAIN(RecordTest)
#include "record_test.moc"
