// The windows' handlers under the offscreen platform, on a fake screen.
#include <QApplication>
#include <QMediaPlayer>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QTreeView>
#include <QtTest>
#include <tuple>

#include "app/ui/main_menu.h"
#include "dib/img_deal.h"
#include "files.h"
#include "lcd/frame_record.h"
#include "lcd/mono.h"
#include "lcd/page_packing.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::control;
using orv::test::FakeScreen;

namespace {

QString readAll(const QString& path) {
    return QString::fromStdString(orv::test::readFile(path.toStdString()));
}

}  // namespace

class FormTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<orv::test::InFolder> here_;  // made first: the tool starts in it
    std::unique_ptr<orv::test::Tool> tool_;
    FakeScreen* screen_ = nullptr;
    Form1* form_ = nullptr;
    ImageState* state_ = nullptr;
    PathBox* text9_ = nullptr;        // the frame file's path
    NoticeLine* notice_ = nullptr;    // the notice line
    QTimer* timer2_ = nullptr;        // the capture clock
    PictureBox* picture1_ = nullptr;  // the capture picture

    QLineEdit* box(const char* name) const { return control<QLineEdit>(form_, name); }
    QCheckBox* check(const char* name) const { return control<QCheckBox>(form_, name); }

    QString file(const QString& name) const { return here_->dir.filePath(name); }
    // Capture started and its clock held, so that the test runs the ticks.
    void aim() {
        form_->Command2_Click();
        timer2_->stop();
    }

  private slots:
    void init() {
        here_ = std::make_unique<orv::test::InFolder>();
        auto screen = std::make_unique<FakeScreen>();
        screen_ = screen.get();
        tool_ = std::make_unique<orv::test::Tool>(std::move(screen));
        form_ = tool_->form.get();
        state_ = &tool_->state;
        text9_ = control<PathBox>(form_, "Text9");
        notice_ = control<NoticeLine>(form_, "Notice");
        timer2_ = control<QTimer>(form_, "Timer2");
        picture1_ = control<PictureBox>(form_, "Picture1");
        form_->exitProcess = [] { QFAIL("the exit label ended the test"); };
    }
    void cleanup() {
        tool_.reset();
        here_.reset();
    }

    void startUpStateFrameRatesAndSwitches() {
        QVERIFY(!timer2_->isActive());
        QVERIFY(check("Check1")->isChecked());
        frmMain* w = form_->workbench();
        QVERIFY(w->isVisible());
        // The design place lies beyond this 800 x 600 screen's edge: the
        // windows start on it, "退出" within reach.
        const QRect screen = form_->screen()->availableGeometry();
        QVERIFY(screen.contains(form_->geometry()));
        QVERIFY(screen.contains(w->frameGeometry()));
        QCOMPARE(text9_->text(),
                 QDir::toNativeSeparators(QDir::current().absoluteFilePath("mov1.orv")));
        // 16 a second: 62.5 ms, to even. A stopped clock stays stopped.
        for (auto [rate, period] : {std::pair{1, 1000}, {16, 62}, {46, 22}}) {
            control<QScrollBar>(form_, "HScroll1")->setValue(rate);
            QCOMPARE(timer2_->interval(), period);
            QCOMPARE(control<QLabel>(form_, "Label3")->text(),
                     QStringLiteral("帧率：%1").arg(rate));
            QVERIFY(!timer2_->isActive());
        }
        auto* lamp = control<Lamp>(form_, "Shape2");
        check("Check2")->click();
        QCOMPARE(lamp->colour(), QColor(255, 0, 0));
        check("Check1")->click();
        QVERIFY(w->windowState() & Qt::WindowMinimized);
        check("Check1")->click();
        QVERIFY(!(w->windowState() & Qt::WindowMinimized));
        w->close();  // the close box hides it, and the box follows
        QVERIFY(!w->isVisible());
        QVERIFY(!check("Check1")->isChecked());
        check("Check1")->click();  // one click brings it back
        QVERIFY(w->isVisible());
        aim();
        form_->Timer2_Timer();  // capture goes on
        QCOMPARE(state_->MonoCount, 8192);
    }

    // No control within the window's visible edge covers another one (the
    // design's buttons share a border row, no more).
    void visibleControlsCoverNoOther() {
        QList<QWidget*> shown;
        auto place = [this](QWidget* w) { return QRect(w->mapTo(form_, QPoint(0, 0)), w->size()); };
        for (QWidget* w : form_->findChildren<QWidget*>()) {
            const bool rule = qobject_cast<QFrame*>(w) && !qobject_cast<QLabel*>(w) &&
                              !qobject_cast<QAbstractScrollArea*>(w);
            const auto inside = w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
            const bool holder = std::any_of(inside.begin(), inside.end(),
                                            [](QWidget* c) { return !c->objectName().isEmpty(); });
            if (w->isVisibleTo(form_) && form_->rect().contains(place(w)) &&
                !w->objectName().isEmpty() && !rule && !holder)
                shown << w;
        }
        for (QWidget* a : shown) {
            for (QWidget* b : shown) {
                const QRect common = place(a) & place(b);
                if (a < b && !a->isAncestorOf(b) && !b->isAncestorOf(a))
                    QVERIFY2(common.width() <= 1 || common.height() <= 1,
                             qPrintable(a->objectName() + " covers " + b->objectName()));
            }
        }
    }

    void startCaptureAimsAtThePlayer() {
        form_->Command2_Click();
        const QStringList boxes{box("Text3")->text(), box("Text4")->text(), box("Text1")->text(),
                                box("Text2")->text()};
        QCOMPARE(boxes, (QStringList{"475.6667", "231", "2024.6667", "1040"}));
        QCOMPARE(form_->pos(), QPoint(467, 200));
        QVERIFY(timer2_->isActive());
        // Again while capturing: re-aimed, the running clock keeps its phase.
        const int clock = timer2_->timerId();
        box("Text3")->setText("1");
        form_->Command2_Click();
        QCOMPARE(box("Text3")->text(), QStringLiteral("475.6667"));
        QCOMPARE(timer2_->timerId(), clock);
        control<QScrollBar>(form_, "HScroll1")->setValue(46);
        QCOMPARE(timer2_->interval(), 22);  // applies to the running clock
        form_->Command3_Click();
        QVERIFY(!timer2_->isActive());
    }

    // The right-click menu reaches the controls below the visible edge (an
    // entry with a button's caption presses that button), and opens videos.
    void menuReachesEveryHiddenControlAndVideosPlay() {
        QMenu* menu = form_->mainMenu()->menu();
        auto entry = [menu](const QString& text) {
            const auto all = menu->actions();
            return *std::find_if(all.begin(), all.end(),
                                 [&](QAction* a) { return a->text() == text; });
        };
        form_->show();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_));
        entry("发送行 (TXD)")->trigger();  // the transmit line takes the keys
        QVERIFY(control<QLineEdit>(form_, "Text7")->hasFocus());
        text9_->setText(file("m.orv"));
        for (const char* name : {"CmdCapScreen", "CmdCapRect", "CmdCapActiveWindow", "CmdClear",
                                 "CmdSaveBmp", "Command6", "Command4", "Command5"}) {
            QPushButton* button = control<QPushButton>(form_, name);
            QVERIFY(button->y() > form_->height());
            QSignalSpy pressed(button, &QPushButton::clicked);
            entry(button->text())->trigger();
            QCOMPARE(pressed.count(), 1);
        }
        QVERIFY(form_->lastMessage().contains("Nothing to save"));  // the thumbnail was cleared
        QCOMPARE(form_->framesWritten(), 1);                        // one frame written
        QVERIFY(form_->sources()->Timer1->isActive());              // the active-window pair began
        form_->sources()->Timer1->stop();
        const QString clip = file("clip.avi");
        orv::test::writeFile(clip.toStdString(), "no video inside");
        form_->mainMenu()->chooseVideo = [&] { return clip; };
        entry("打开视频…")->trigger();  // the file goes to the player
        auto* player = control<PlayerPanel>(form_, "WindowsMediaPlayer1");
        QCOMPARE(player->source(), QUrl::fromLocalFile(clip));
        entry("从视频直接采集")->trigger();  // the player's area from the video from now on
        QVERIFY(form_->sources()->videoSourceChosen());
        // A file dropped on the player plays.
        const QString junk = file("junk.avi");
        orv::test::writeFile(junk.toStdString(), "not a video");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(junk)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(player, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(player, &dropped);
        player->setUrl(QString());  // "播放" plays the dropped file again, not demo.avi
        form_->Command1_Click();
        QCOMPARE(player->source(), QUrl::fromLocalFile(junk));
    }

    void playButtonSaysWhyAndTriesAgain() {
        QMediaPlayer* player = control<PlayerPanel>(form_, "WindowsMediaPlayer1")->player();
        const QString clip = file("demo.avi");
        form_->Command1_Click();  // no file
        QVERIFY(notice_->text().contains(clip) && notice_->text().contains("no such file"));
        orv::test::writeFile(clip.toStdString(), "not a video at all");
        form_->Command1_Click();  // a file that cannot be played
        QTRY_VERIFY_WITH_TIMEOUT(player->mediaStatus() == QMediaPlayer::InvalidMedia, 15000);
        QTRY_VERIFY(notice_->text().contains("cannot play"));
        QFile::remove(clip);
        QCOMPARE(QProcess::execute(ORV_SOURCE_DIR "/scripts/make-demo.sh", {clip}), 0);
        form_->Command1_Click();  // the same name again: loaded afresh, and it plays
        QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 15000);
        QTRY_VERIFY(notice_->text().isEmpty());
        // A failure as it starts is tried once more; a second one is said.
        for (const bool said : {false, true}) {
            emit player->errorOccurred(QMediaPlayer::ResourceError, "Internal data stream error.");
            QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 15000);
            QCOMPARE(notice_->text().contains("Internal data stream error."), said);
        }
    }

    void regionPositionsAgreeWithTheGrabOnAnyDesktop() {
        // A desktop whose left monitor lies left of the primary one.
        screen_->area = QRect(-1280, 0, 2560, 1024);
        screen_->colour = [](int x, int y) { return qRgb((x + 1280) % 251, y % 241, 7); };
        QSignalSpy shown(form_->sources(), &CaptureSources::surfaceShown);
        form_->CmdCapRect_Click();
        QVERIFY(shown.wait(30000));
        Form2* surface = form_->sources()->captureSurface();
        surface->Form_MouseDown(QPoint(100, 50));
        surface->Form_MouseMove(QPoint(300, 150));
        const QImage drawn = surface->grab().toImage();
        surface->Form_MouseDown(QPoint(300, 150));
        // The boxes hold desktop positions: the surface stands at its monitor's corner.
        const QPoint origin = surface->mapToGlobal(QPoint(0, 0));
        QCOMPARE(box("Text3")->text(), QString::number(origin.x() + 100));
        QCOMPARE(box("Text4")->text(), QString::number(origin.y() + 50));
        // What the surface showed there is what is captured.
        const QImage chosen = picture1_->image().copy();
        QCOMPARE(chosen.pixel(50, 50), drawn.pixel(150, 100));
        QCOMPARE(chosen.pixel(50, 50), screen_->colour(origin.x() + 150, origin.y() + 100));
        timer2_->stop();
        form_->Timer2_Timer();  // the clock grabs where the surface showed
        QCOMPARE(picture1_->image(), chosen);
    }

    // A grey screen, so that the dither decides: each tick draws from its
    // sequence once, and the frames are what the core procedures make of the grab.
    void ticksGrabEngravePackAndRecord() {
        const QString path = file("grey.orv");
        text9_->setText(path);
        screen_->colour = [](int x, int y) { return qRgb(120 + x % 7, 130, 110 + y % 5); };
        aim();
        form_->Timer2_Timer();  // not recording: packs only
        QVERIFY(!QFile::exists(path));
        QCOMPARE(state_->MonoCount, 8192);
        QCOMPARE(picture1_->image(), orv::test::picture(QRect(476, 231, 131, 65), screen_->colour));
        frmMain* w = form_->workbench();
        check("Check2")->click();
        form_->Timer2_Timer();
        form_->Timer2_Timer();
        QCOMPARE(control<PacedLabel>(form_, "Label14")->text(), QStringLiteral("F-2"));
        // The workbench's source: its background where the picture does not reach.
        Picture source = Picture::filled(129, 65, w->picSource->backColor().rgb());
        source.drawAt(toPicture(picture1_->image()));
        ImageState s;
        rnd::Sequence random;
        std::string frames[3];
        for (std::string& frame : frames) {
            QVERIFY(GetData(source.view(), 0, 0, 128, 64, s.SourceGrid, 32));
            QVERIFY(
                Pencil(s.SourceGrid, s.PurposeGrid, 129, 65, 32, s.MonoFrame, s.MonoCount, random));
            LcdPageBufferArray pages{};
            packLcdPages(s.MonoFrame, pages);
            frame = buildFrameRecord(pages);
        }
        QVERIFY(frames[1] != frames[2]);
        QCOMPARE(readAll(path), QString::fromStdString(frames[1] + frames[2]));
    }

    void partsOffTheScreenStayCleared() {
        screen_->colour = [](int, int) { return qRgb(9, 8, 7); };
        aim();
        box("Text3")->setText("-20");
        box("Text4")->setText("1000");  // 24 rows left on a 1024-row desktop
        form_->Timer2_Timer();
        const QImage& grabbed = picture1_->image();
        const QRgb cleared = grabbed.pixel(0, 0);
        QVERIFY(cleared != qRgb(9, 8, 7));
        QCOMPARE(grabbed.pixel(19, 0), cleared);
        QCOMPARE(grabbed.pixel(20, 0), qRgb(9, 8, 7));
        QCOMPARE(grabbed.pixel(130, 23), qRgb(9, 8, 7));
        QCOMPARE(grabbed.pixel(20, 24), cleared);
    }

    // An unreadable screen or capture box: a notice until a tick succeeds
    // (that such a tick grabs or records nothing: capture_clock_test).
    void aTickThatCannotGrabSaysSo() {
        aim();
        screen_->unreadable = true;
        form_->Timer2_Timer();
        QVERIFY(notice_->text().contains("cannot be read"));
        screen_->unreadable = false;
        box("Text1")->setText("abc");  // the number rules: numbers_test
        form_->Timer2_Timer();
        QVERIFY(notice_->has("capture-rect") && notice_->text().contains("Text1"));
        box("Text1")->setText("2024.6667");
        form_->Timer2_Timer();
        QVERIFY(notice_->text().isEmpty());
    }

    // A failed append changes nothing and the next good one clears the report;
    // a name counts once editing is done.
    void appendsToTheFrameFile() {
        const QString missing = file("no/such/folder/x.orv");
        text9_->setText(missing);
        form_->Command6_Click();
        form_->Command6_Click();
        // Too long for their boxes: the path shows its end (the file name),
        // the notice its start and end; each whole in its tooltip.
        for (auto [shown, whole, tip] :
             {std::tuple(text9_->shownText(), missing, text9_->toolTip()),
              std::tuple(notice_->shownText(), notice_->text(), notice_->toolTip())}) {
            QVERIFY2(shown.contains(QChar(0x2026)) && shown.size() < whole.size(),
                     qPrintable(shown));
            QVERIFY(whole.endsWith(shown.mid(shown.indexOf(QChar(0x2026)) + 1)));
            QCOMPARE(tip, whole);
        }
        QVERIFY(text9_->shownText().endsWith("/x.orv"));
        QVERIFY(notice_->text().startsWith(notice_->shownText().section(QChar(0x2026), 0, 0)));
        QCOMPARE(form_->framesWritten(), 0);
        text9_->setText(file("x.orv"));
        form_->Command6_Click();
        QCOMPARE(form_->framesWritten(), 1);
        QVERIFY(notice_->text().isEmpty());
        QCOMPARE(readAll(file("x.orv")).size(), 3075);  // nothing packed yet: all zero
        text9_->setText(file("a.orv"));
        form_->show();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_));
        text9_->setFocus();
        text9_->end(false);
        QTest::keyClicks(text9_, ".bak");
        form_->Command6_Click();  // half-typed names never become files
        form_->Command6_Click();
        QCOMPARE(QDir(here_->dir.path()).entryList(QDir::Files), (QStringList{"a.orv", "x.orv"}));
        QTest::keyClick(text9_, Qt::Key_Return);
        form_->Command6_Click();
        QCOMPARE(QDir(here_->dir.path()).entryList(QDir::Files),
                 (QStringList{"a.orv", "a.orv.bak", "x.orv"}));
        QCOMPARE(form_->framesWritten(), 4);
    }

    void folderChooserComposesThePath() {
        QDir(here_->dir.path()).mkdir("data");
        form_->Label13_Click();
        Dialog* d = form_->dialog();
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->Text1->text(), QStringLiteral("mov1"));
        d->setDirPath(file("data"));
        d->Text1->setText("clip");
        d->OKButton_Click();
        QVERIFY(!d->isVisible());
        QCOMPARE(text9_->text(), file("data") + "/clip.orv");
        // At a root there is no doubled separator.
        form_->Label13_Click();
        d->setDirPath("/");
        d->OKButton_Click();
        QCOMPARE(text9_->text(), QStringLiteral("/clip.orv"));
        // Each opening starts at the folder of the box's path, opened down to
        // it, or at the current folder where that folder does not exist.
        for (auto [path, folder] :
             {std::pair(file("data/x.orv"), file("data")),
              std::pair(QStringLiteral("/no/such/x.orv"), QDir::currentPath())}) {
            text9_->setText(path);
            form_->Label13_Click();
            QCOMPARE(d->dirPath(), QDir::toNativeSeparators(folder));
            QVERIFY(d->Dir1->isExpanded(d->Dir1->currentIndex().parent()));
        }
    }

    void previewAndListingShowTheFrame() {
        PictureBox* p = control<PictureBox>(form_, "Picture2");
        const QRgb background = p->image().pixel(0, 0);
        state_->MonoFrame.fill(MonoLight);
        state_->MonoFrame[63] = 0;  // top-left pixel
        form_->Picture2_Click();
        QCOMPARE(p->image().pixel(1, 0), qRgb(0, 0, 0));
        for (QPoint light : {QPoint(2, 0), QPoint(1, 1), QPoint(128, 63)})
            QCOMPARE(p->image().pixel(light), qRgb(255, 255, 0));
        QCOMPARE(p->image().pixel(0, 0), background);     // column 0 keeps what it had
        QCOMPARE(p->image().pixel(129, 10), background);  // right of column 128
        QCOMPARE(p->image().pixel(10, 64), background);   // below row 63
        form_->pipeline().pages().fill(255);              // the listing: page 0 of the packed frame
        form_->Command4_Click();
        QCOMPARE(control<QPlainTextEdit>(form_, "Text8")->toPlainText(),
                 QString("255\n").repeated(128));
    }

    // Each operation reads the pipeline's source and draws its result (the arithmetic: core).
    void workbenchOperations_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<uint>("colour");
        QTest::addColumn<QSize>("size");
        const QSize whole(129, 65);
        QTest::newRow("bright") << "cmdBright" << QPoint(5, 5) << qRgb(255, 100, 255) << whole;
        QTest::newRow("copy") << "cmdCopy" << QPoint(128, 64) << qRgb(10, 100, 30) << whole;
        QTest::newRow("zoom") << "cmdZoom" << QPoint(5, 60) << qRgb(10, 100, 30) << QSize(155, 52);
        QTest::newRow("sharp") << "cmdSharp" << QPoint(128, 30) << qRgb(0, 0, 0) << whole;
        QTest::newRow("equalise") << "cmdStatChart" << QPoint(128, 64) << qRgb(0, 255, 0) << whole;
        QTest::newRow("engrave") << "cmdPencil" << QPoint(5, 5) << qRgb(0, 0, 0) << whole;
    }
    void workbenchOperations() {
        QFETCH(QString, button);
        QFETCH(QPoint, at);
        QFETCH(uint, colour);
        QFETCH(QSize, size);
        frmMain* w = form_->workbench();
        QImage picture(129, 65, QImage::Format_RGB32);
        picture.fill(qRgb(10, 100, 30));
        QVERIFY(form_->pipeline().takePicture(toPicture(picture)).ok());  // engraves
        w->picPurpose_Click();
        // Through the window's right-click menu: the button lies below its edge.
        QPushButton* pressed = control<QPushButton>(w, qPrintable(button));
        QVERIFY(pressed->y() > w->height());
        const auto entries = w->Menu->actions();
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](QAction* a) { return a->text() == pressed->text(); });
        QVERIFY(entry != entries.end());
        (*entry)->trigger();
        QCOMPARE(w->picPurpose->image().pixel(at), colour);
        QCOMPARE(QSize(state_->PurposeWidth, state_->PurposeHeight), size);
        QVERIFY(w->Label4->text().contains(QRegularExpression("^TimeDraw:\\d+$")));
    }

    void refusalsLeaveTheResultAsItWas() {
        frmMain* w = form_->workbench();
        w->cmdDrawPic_Click();  // before any operation: harmless
        w->cmdCopy_Click();
        const QImage before = w->picPurpose->image();
        const PixelGrid grid = state_->PurposeGrid;
        const struct {
            QLineEdit* box;
            const char* text;
            QPushButton* button;
        } cases[] = {
            {w->txtZoomY, "0.001", w->cmdZoom},   // to nothing
            {w->txtSharp, "8,5", w->cmdSharp},    // no decimal comma
            {w->txtBlue, "40000", w->cmdBright},  // an offset beyond 16 bits
        };
        for (const auto& c : cases) {
            const QString kept = c.box->text(), earlier = w->lastRefusal();
            c.box->setText(c.text);
            c.button->click();
            QVERIFY2(w->lastRefusal() != earlier, c.text);  // a refusal of its own
            c.box->setText(kept);
            QCOMPARE(w->picPurpose->image(), before);
            QVERIFY(state_->PurposeGrid == grid);
            QCOMPARE(QSize(state_->PurposeWidth, state_->PurposeHeight), QSize(129, 65));
        }
    }

    void saveBitmap() {
        QString name;
        int asked = 0;
        bool replace = false;
        form_->sources()->askSaveName = [&] { return name; };
        form_->sources()->askOverwrite = [&] { return ++asked, replace; };
        name = file("none.bmp");
        form_->CmdSaveBmp_Click();  // nothing captured yet
        QVERIFY(!QFile::exists(name));
        QVERIFY(form_->lastMessage().contains("no picture has been captured"));
        screen_->colour = [](int x, int y) { return qRgb(x % 256, y % 256, (x * y) % 256); };
        aim();
        form_->Timer2_Timer();
        const QImage captured = control<ImageView>(form_, "Image1")->image();
        name = file("old.bmp");
        orv::test::writeFile(name.toStdString(), "old bytes");
        form_->CmdSaveBmp_Click();  // No keeps the old file
        QCOMPARE(asked, 1);
        QCOMPARE(readAll(name), QStringLiteral("old bytes"));
        replace = true;
        form_->CmdSaveBmp_Click();
        QCOMPARE(asked, 2);
        QCOMPARE(QImage(name, "BMP").convertToFormat(QImage::Format_RGB32), captured);
        name = file("no/such/folder/x.bmp");
        form_->CmdSaveBmp_Click();
        QVERIFY(form_->lastMessage().contains(name));
        QVERIFY(!QFile::exists(name));
    }

    void exitLabelAndCloseBox() {
        bool exited = false;
        form_->exitProcess = [&] { exited = true; };
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_));
        QTest::mouseClick(control<ClickLabel>(form_, "Label2"), Qt::LeftButton);
        QVERIFY(exited);
        exited = false;
        form_->close();  // the window manager's close (Alt+F4) does the same
        QVERIFY(exited);
    }
};

QTEST_MAIN(FormTest)
#include "form_test.moc"
