// The windows' handlers under the offscreen platform: no pixels of the real
// screen are needed here, so the screen grabber is a fake that serves a
// picture made by the test.
#include <QApplication>
#include <QComboBox>
#include <QMap>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <tuple>

#include "app/ui/main_menu.h"
#include "dib/img_deal.h"
#include "files.h"
#include "lcd/frame_record.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::FakeScreen;

namespace {

QString readAll(const QString& path) {
    return QString::fromStdString(orv::test::readFile(path.toStdString()));
}

}  // namespace

class FormTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<orv::test::Tool> tool_;
    std::unique_ptr<QTemporaryDir> dir_;
    FakeScreen* screen_ = nullptr;
    Form1* form_ = nullptr;
    ImageState* state_ = nullptr;

    QString file(const QString& name) const { return dir_->filePath(name); }
    // Capture started and its clock held, so that the test runs the ticks.
    void aim() {
        form_->Command2_Click();
        form_->Timer2->stop();
    }

  private slots:
    void init() {
        auto screen = std::make_unique<FakeScreen>();
        screen_ = screen.get();
        tool_ = std::make_unique<orv::test::Tool>(std::move(screen));
        form_ = tool_->form.get();
        state_ = &tool_->state;
        form_->exitProcess = [] { QFAIL("the exit label ended the test"); };
        dir_ = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        tool_.reset();
        dir_.reset();
    }

    // Every control and timer is found by its design name, so that tests and
    // accessibility tools can reach it (the ctest entry gui_smoke_test).
    void everyControlIsFoundByItsDesignName() {
        form_->Label13_Click();  // the folder chooser
        const struct {
            QWidget* window;
            const char* name;
            const char* controls;
        } windows[] = {
            {form_, "Form1",
             "Label1 Label2 WindowsMediaPlayer1 Image1 Command1 Command2 Command3 Check1 Check2 "
             "Shape2 Label3 HScroll1 Label13 Label14 Text9 Picture2 Label4 Image2 Shape1 Text5 "
             "Text6 Label5 Label6 Label7 Label8 Label9 Label10 Label11 Line1 Line4 CmdCapScreen "
             "CmdCapRect CmdCapActiveWindow CmdClear CmdSaveBmp Command4 Command5 Command6 "
             "Command7 Text1 Text2 Text3 Text4 Text7 Label12 Text8 Picture1 Timer1 Timer2 Timer3"},
            {form_->workbench(), "frmMain",
             "picSource cmdCopy picPurpose cmdZoom cmdSharp cmdPencil cmdStatChart cmdBright "
             "cmdGetData cmdDrawPic txtSharp txtPencil txtRed txtGreen txtBlue txtZoomX txtZoomY "
             "Label1 Label2 Label3 Label4 Timer1"},
            {form_->dialog(), "Dialog", "Drive1 Dir1 Text1 OKButton CancelButton"},
        };
        for (const auto& w : windows) {
            QCOMPARE(w.window->objectName(), QString(w.name));
            for (const QString& name : QString(w.controls).split(' ')) {
                QVERIFY2(w.window->findChild<QObject*>(name), qPrintable(name));
            }
        }
    }

    void startUpStateAndFrameRates() {
        QCOMPARE(form_->Label3->text(), QStringLiteral("帧率：31"));
        QCOMPARE(form_->Timer2->interval(), 32);
        QVERIFY(!form_->Timer2->isActive());
        QVERIFY(form_->Check1->isChecked());
        frmMain* w = form_->workbench();
        QVERIFY(w->isVisible());
        // The design place lies beyond this 800 x 600 screen's edge: the
        // windows start on it, "退出" within reach.
        const QRect screen = form_->screen()->availableGeometry();
        QVERIFY(screen.contains(form_->geometry()));
        QVERIFY(screen.contains(w->frameGeometry()));
        QCOMPARE(w->windowTitle(), QStringLiteral("DIB"));
        for (QLabel* label : {w->Label2, w->Label3, w->Label4}) {
            QCOMPARE(label->text(), label->objectName());
        }
        QCOMPARE(form_->Text9->text(),
                 QDir::toNativeSeparators(QDir::current().absoluteFilePath("mov1.orv")));
        // 16 a second: 62.5 ms, to even. A stopped clock stays stopped.
        for (auto [rate, period] : {std::pair{1, 1000}, {16, 62}, {30, 33}, {31, 32}, {46, 22}}) {
            form_->HScroll1->setValue(rate);
            QCOMPARE(form_->Timer2->interval(), period);
            QCOMPARE(form_->Label3->text(), QStringLiteral("帧率：%1").arg(rate));
            QVERIFY(!form_->Timer2->isActive());
        }
    }

    void startCaptureAimsAtThePlayer() {
        form_->Command2_Click();
        const QStringList boxes{form_->Text3->text(), form_->Text4->text(), form_->Text1->text(),
                                form_->Text2->text()};
        QCOMPARE(boxes, (QStringList{"475.6667", "231", "2024.6667", "1040"}));
        QCOMPARE(form_->pos(), QPoint(467, 200));
        QVERIFY(form_->Timer2->isActive());
        // Again while capturing: re-aimed, the running clock keeps its phase.
        const int clock = form_->Timer2->timerId();
        form_->Text3->setText("1");
        form_->Command2_Click();
        QCOMPARE(form_->Text3->text(), QStringLiteral("475.6667"));
        QCOMPARE(form_->Timer2->timerId(), clock);
        form_->HScroll1->setValue(46);
        QCOMPARE(form_->Timer2->interval(), 22);  // applies to the running clock
        form_->Command3_Click();
        QVERIFY(!form_->Timer2->isActive());
        QVERIFY(!form_->workbench()->Timer1->isActive());
        QCOMPARE(form_->Text3->text(), QStringLiteral("475.6667"));  // boxes keep their values
    }

    void recordLamp() {
        const QColor off = form_->Shape2->colour();
        form_->Check2->click();
        QCOMPARE(form_->Shape2->colour(), QColor(255, 0, 0));
        form_->Check2->click();
        QCOMPARE(form_->Shape2->colour(), off);
        form_->Check2->setChecked(true);  // the lamp follows the box, not only clicks
        QCOMPARE(form_->Shape2->colour(), QColor(255, 0, 0));
        // The frame-rate bar is in the tab order, as designed.
        QVERIFY(form_->HScroll1->focusPolicy() & Qt::TabFocus);
    }

    // Pictures are painted only when what they show changes, at most once a
    // tick, and not at all while their window is minimised.
    void picturesRepaintOnlyWhatChanged() {
        struct PaintCounter : QObject {
            QMap<QObject*, int> paints;
            bool eventFilter(QObject* o, QEvent* e) override {
                paints[o] += e->type() == QEvent::Paint;
                return false;
            }
        } counter;
        frmMain* w = form_->workbench();
        QObject* const pictures[] = {w->picSource, w->picPurpose, form_->Image1};
        for (QObject* p : pictures) p->installEventFilter(&counter);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        aim();
        // Paints of each picture over `n` ticks of a screen of grey `shade` (-1: as it is).
        int shade = 0;
        screen_->colour = [&](int, int) { return qRgb(shade, shade, shade); };
        auto ticks = [&](int n, int step) {
            counter.paints.clear();
            for (int i = 0; i < n; ++i, shade += step) {
                form_->Timer2_Timer();
                QCoreApplication::processEvents();
            }
            QCoreApplication::processEvents();
            return counter.paints;
        };
        ticks(1, 0);                                                    // the first frame shows
        for (QObject* p : pictures) QCOMPARE(ticks(5, 0).value(p), 0);  // a still screen
        const auto changing = ticks(5, 50);  // 0, 50, .. 200: every tick a new picture
        for (QObject* p : pictures) {
            QVERIFY(changing.value(p) >= 1);
            QVERIFY(changing.value(p) <= 5);  // once a tick at most
        }
        form_->Check1->click();  // the workbench minimised
        shade = 0;
        const auto minimised = ticks(5, 50);
        QCOMPARE(minimised.value(w->picSource), 0);
        QCOMPARE(minimised.value(w->picPurpose), 0);
    }

    // The right-click menu reaches every control below the visible edge: each
    // entry presses its button (the button's own handler, its caption).
    void menuReachesEveryHiddenControl() {
        QMenu* menu = form_->mainMenu()->menu();
        QStringList captions;
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator()) captions << a->text();
        }
        QCOMPARE(captions, (QStringList{"整个桌面", "桌面区域", "活动窗口", "清  除", "保存图片",
                                        "输出一帧至文件", "输出至窗口", "byte2ascii",
                                        "发送行 (TXD)", "打开视频…", "从视频直接采集"}));
        QPushButton* const buttons[] = {
            form_->CmdCapScreen, form_->CmdCapRect, form_->CmdCapActiveWindow, form_->CmdClear,
            form_->CmdSaveBmp,   form_->Command6,   form_->Command4,           form_->Command5};
        form_->show();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_));
        menu->actions().at(10)->trigger();  // the transmit line takes the keys
        QVERIFY(form_->Text7()->hasFocus());
        form_->Text9->setText(file("m.orv"));
        for (int i = 0; i < 8; ++i) {
            QSignalSpy pressed(buttons[i], &QPushButton::clicked);
            menu->actions().at(i + (i >= 4) + (i >= 5))->trigger();
            QCOMPARE(pressed.count(), 1);
        }
        QVERIFY(form_->lastMessage().contains("Nothing to save"));  // the thumbnail was cleared
        QCOMPARE(form_->FramesWritten, 1);                          // one frame written
        QVERIFY(form_->Text8->toPlainText().startsWith("0\n"));     // page 0 listed
        QVERIFY(form_->Timer1()->isActive());                       // the active-window pair began
        form_->Timer1()->stop();
        const QString clip = file("clip.avi");
        orv::test::writeFile(clip.toStdString(), "no video inside");
        form_->mainMenu()->chooseVideo = [&] { return clip; };
        menu->actions().at(menu->actions().size() - 2)->trigger();  // the file goes to the player
        QCOMPARE(form_->WindowsMediaPlayer1->source(), QUrl::fromLocalFile(clip));
        QCOMPARE(form_->WindowsMediaPlayer1->toolTip(), QDir::toNativeSeparators(clip));
        QVERIFY(form_->toolTip().contains("右键"));
        menu->actions().back()->trigger();  // the player's area from the video from now on
        QVERIFY(form_->sources()->videoSourceChosen());
    }

    void aDroppedFilePlays() {
        PlayerPanel* player = form_->WindowsMediaPlayer1;
        auto drop = [&](const QString& file) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(file)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(player, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(player, &dropped);
        };
        const QString junk = file("junk.avi");
        orv::test::writeFile(junk.toStdString(), "not a video");
        drop(junk);
        QCOMPARE(player->source(), QUrl::fromLocalFile(junk));
        player->setUrl(QString());  // "播放" plays the dropped file again, not demo.avi
        form_->Command1_Click();
        QCOMPARE(player->source(), QUrl::fromLocalFile(junk));
        QTRY_VERIFY_WITH_TIMEOUT(form_->Notice->text().contains("cannot play"), 15000);
        drop(file("gone.avi"));
        QVERIFY(form_->Notice->text().contains("gone.avi"));
    }

    void regionPositionsAgreeWithTheGrabOnAnyDesktop() {
        // A desktop whose left monitor lies left of the primary one.
        screen_->area = QRect(-1280, 0, 2560, 1024);
        screen_->colour = [](int x, int y) { return qRgb((x + 1280) % 251, y % 241, 7); };
        QSignalSpy shown(form_->sources(), &CaptureSources::surfaceShown);
        form_->CmdCapRect_Click();
        QVERIFY(shown.wait(5000));
        Form2* surface = form_->sources()->captureSurface();
        surface->Form_MouseDown(QPoint(100, 50));
        surface->Form_MouseMove(QPoint(300, 150));
        // The outline runs through the pointer, not a pixel beyond it.
        QImage drawn = surface->grab().toImage();
        const QRgb outline = surface->palette().color(QPalette::ButtonText).rgb();
        QCOMPARE(drawn.pixel(300, 150), outline);
        QCOMPARE(drawn.pixel(100, 50), outline);
        QVERIFY(drawn.pixel(301, 150) != outline);
        QVERIFY(drawn.pixel(300, 151) != outline);
        surface->Form_MouseDown(QPoint(300, 150));
        // The boxes hold desktop positions: the surface stands at its monitor's corner.
        const QPoint origin = surface->mapToGlobal(QPoint(0, 0));
        QCOMPARE(form_->Text3->text(), QString::number(origin.x() + 100));
        QCOMPARE(form_->Text4->text(), QString::number(origin.y() + 50));
        // What the surface showed there is what is captured.
        const QImage chosen = form_->Picture1->image().copy();
        QCOMPARE(chosen.pixel(50, 50), drawn.pixel(150, 100));
        QCOMPARE(chosen.pixel(50, 50), screen_->colour(origin.x() + 150, origin.y() + 100));
        form_->Timer2->stop();
        form_->Timer2_Timer();  // the clock grabs where the surface showed
        QCOMPARE(form_->Picture1->image(), chosen);
    }

    void tickGrabsEngravesPacksAndRecords() {
        const QString path = file("clip.orv");
        form_->Text9->setText(path);
        // Light left half, dark right half, in screen coordinates.
        screen_->colour = [](int x, int) {
            return x < 476 + 64 ? qRgb(250, 250, 250) : qRgb(20, 20, 20);
        };
        aim();
        form_->Timer2_Timer();  // not recording: packs only
        QCOMPARE(form_->Picture1->clientSize(), QSize(131, 65));
        QCOMPARE(form_->workbench()->picSource->clientSize(), QSize(129, 65));
        QCOMPARE(state_->MonoCount, 8192);
        QVERIFY(!QFile::exists(path));
        for (int c = 0; c < 128; ++c) {
            QCOMPARE(int(form_->LcdPageBuffer[1 + c]), c < 64 ? 0 : 255);
        }
        QVERIFY(
            form_->workbench()->Label2->text().contains(QRegularExpression("^TimePencil:\\d+$")));
        QCOMPARE(form_->Image1->image().size(), QSize(131, 65));

        form_->Check2->click();
        form_->Timer2_Timer();
        form_->Timer2_Timer();
        QCOMPARE(form_->FramesWritten, 2);
        QCOMPARE(form_->Label14->text(), QStringLiteral("F-2"));
        const std::string one = buildFrameRecord(form_->LcdPageBuffer);
        QCOMPARE(readAll(path), QString::fromStdString(one + one));
    }

    void partsOffTheScreenStayCleared() {
        screen_->colour = [](int, int) { return qRgb(9, 8, 7); };
        aim();
        form_->Text3->setText("-20");
        form_->Text4->setText("1000");  // 24 rows left on a 1024-row desktop
        form_->Timer2_Timer();
        const QImage& grabbed = form_->Picture1->image();
        const QRgb cleared = form_->Picture1->image().pixel(0, 0);
        QVERIFY(cleared != qRgb(9, 8, 7));
        QCOMPARE(grabbed.pixel(19, 0), cleared);
        QCOMPARE(grabbed.pixel(20, 0), qRgb(9, 8, 7));
        QCOMPARE(grabbed.pixel(130, 23), qRgb(9, 8, 7));
        QCOMPARE(grabbed.pixel(20, 24), cleared);
    }

    // A screen that cannot be read, or a capture box that does not read as a
    // number: no grab, no frame, and a notice until a tick succeeds.
    void aTickThatCannotGrabRecordsNothingAndSaysSo() {
        form_->Text9->setText(file("x.orv"));
        form_->Check2->click();
        aim();
        screen_->unreadable = true;
        form_->Timer2_Timer();
        form_->Timer2_Timer();
        QVERIFY(!QFile::exists(file("x.orv")));
        QVERIFY(form_->Notice->text().contains("cannot be read"));
        screen_->unreadable = false;
        for (const char* text : {"abc", "40000", ""}) {
            form_->Text1->setText(text);
            const int grabs = screen_->grabs;
            form_->Timer2_Timer();
            form_->Timer2_Timer();
            QCOMPARE(screen_->grabs, grabs);
            QCOMPARE(form_->FramesWritten, 0);
            QVERIFY(form_->Notice->has("capture-rect"));
            QVERIFY(form_->Notice->text().contains("Text1"));
        }
        form_->Text1->setText("2024.6667");
        form_->Timer2_Timer();
        QVERIFY(!form_->Notice->has("capture-rect"));
        QVERIFY(!form_->Notice->text().contains("cannot be read"));
        QCOMPARE(form_->FramesWritten, 1);
    }

    void failedAppendChangesNothingAndTheNextGoodOneClearsTheReport() {
        const QString missing = file("no/such/folder/x.orv");
        form_->Text9->setText(missing);
        form_->Command6_Click();
        form_->Command6_Click();
        // Too long for their boxes: the path shows its end (the file name),
        // the notice its start and end; each whole in its tooltip.
        for (auto [shown, whole, tip] :
             {std::tuple(form_->Text9->shownText(), missing, form_->Text9->toolTip()),
              std::tuple(form_->Notice->shownText(), form_->Notice->text(),
                         form_->Notice->toolTip())}) {
            QVERIFY2(shown.contains(QChar(0x2026)) && shown.size() < whole.size(),
                     qPrintable(shown));
            QVERIFY(whole.endsWith(shown.mid(shown.indexOf(QChar(0x2026)) + 1)));
            QCOMPARE(tip, whole);
        }
        QVERIFY(form_->Text9->shownText().endsWith("/x.orv"));
        QVERIFY(form_->Notice->text().startsWith(
            form_->Notice->shownText().section(QChar(0x2026), 0, 0)));
        QCOMPARE(form_->FramesWritten, 0);
        QCOMPARE(form_->Label14->text(), QString());
        QVERIFY(form_->Notice->text().contains(missing));
        form_->Text9->setText(file("x.orv"));
        form_->Command6_Click();
        QCOMPARE(form_->FramesWritten, 1);
        QVERIFY(!form_->Notice->has("frame-file"));
        QVERIFY(form_->Notice->text().isEmpty());
        QCOMPARE(readAll(file("x.orv")).size(), 3075);  // nothing packed yet: all zero
    }

    void frameFileNameCountsOnceEditingIsDone() {
        const QString path = file("a.orv");
        form_->Text9->setText(path);
        form_->show();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_));
        form_->Text9->setFocus();
        form_->Text9->end(false);
        QTest::keyClicks(form_->Text9, ".bak");
        form_->Command6_Click();  // half-typed names never become files
        form_->Command6_Click();
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"a.orv"});
        QTest::keyClick(form_->Text9, Qt::Key_Return);
        form_->Command6_Click();
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), (QStringList{"a.orv", "a.orv.bak"}));
        QCOMPARE(form_->FramesWritten, 3);
    }

    void folderChooserComposesThePath() {
        QDir(dir_->path()).mkdir("data");
        form_->Label13_Click();
        Dialog* d = form_->dialog();
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->windowTitle(), QStringLiteral("选择路径"));
        QCOMPARE(d->Text1->text(), QStringLiteral("mov1"));
        d->setDirPath(file("data"));
        d->Text1->setText("clip");
        d->OKButton_Click();
        QVERIFY(!d->isVisible());
        QCOMPARE(form_->Text9->text(), file("data") + "/clip.orv");
        // At a root there is no doubled separator.
        form_->Label13_Click();
        d->setDirPath("/");
        d->OKButton_Click();
        QCOMPARE(form_->Text9->text(), QStringLiteral("/clip.orv"));
        form_->Label13_Click();
        d->setDirPath(dir_->path());
        d->CancelButton_Click();
        QCOMPARE(form_->Text9->text(), QStringLiteral("/clip.orv"));
        QVERIFY(d->Drive1->findText("/") >= 0);
        // Each opening starts at the folder of the box's path, opened down to
        // it, or at the current folder where that folder does not exist.
        for (auto [path, folder] :
             {std::pair(file("data/x.orv"), file("data")),
              std::pair(QStringLiteral("/no/such/x.orv"), QDir::currentPath())}) {
            form_->Text9->setText(path);
            form_->Label13_Click();
            QCOMPARE(d->dirPath(), QDir::toNativeSeparators(folder));
            QVERIFY(d->Dir1->isExpanded(d->Dir1->currentIndex().parent()));
        }
    }

    void previewAndListingShowTheFrame() {
        PictureBox* p = form_->Picture2;
        const QRgb background = p->image().pixel(0, 0);
        form_->Picture2_Click();  // before any conversion: all dark
        QCOMPARE(p->image().pixel(1, 0), qRgb(0, 0, 0));
        QCOMPARE(p->image().pixel(128, 63), qRgb(0, 0, 0));
        QCOMPARE(p->image().pixel(0, 0), background);     // column 0 keeps what it had
        QCOMPARE(p->image().pixel(129, 10), background);  // right of column 128
        QCOMPARE(p->image().pixel(10, 64), background);   // below row 63
        for (int i = 1; i <= 8192; ++i) state_->MonoFrame[i] = MonoLight;
        state_->MonoFrame[64] = 0;  // top-left pixel
        form_->Picture2_Click();
        QCOMPARE(p->image().pixel(1, 0), qRgb(0, 0, 0));
        QCOMPARE(p->image().pixel(2, 0), qRgb(255, 255, 0));
        QCOMPARE(p->image().pixel(1, 1), qRgb(255, 255, 0));
        QCOMPARE(p->image().pixel(128, 63), qRgb(255, 255, 0));
        // The listing shows page 0 of the packed frame.
        form_->Command4_Click();
        QCOMPARE(form_->Text8->toPlainText(), QString("0\n").repeated(128));
        form_->LcdPageBuffer.fill(255);
        form_->Command4_Click();
        QCOMPARE(form_->Text8->toPlainText(), QString("255\n").repeated(128));
    }

    void workbenchOperationsAndTimings() {
        frmMain* w = form_->workbench();
        QImage picture(129, 65, QImage::Format_RGB32);
        picture.fill(qRgb(10, 100, 30));
        w->picSource->setPicture(picture);  // engraves
        w->cmdBright_Click();               // defaults 255, 0, 255
        QCOMPARE(w->picPurpose->image().pixel(5, 5), qRgb(255, 100, 255));
        QVERIFY(w->Label3->text().contains(QRegularExpression("^TimeGet:\\d+$")));
        QVERIFY(w->Label4->text().contains(QRegularExpression("^TimeDraw:\\d+$")));
        w->picPurpose_Click();
        QCOMPARE(w->picPurpose->image().pixel(128, 64), qRgb(255, 0, 0));
        w->cmdCopy_Click();
        QCOMPARE(w->picPurpose->image().pixel(128, 64), qRgb(10, 100, 30));
        w->cmdZoom_Click();
        QCOMPARE(state_->PurposeWidth, 155);
        QCOMPARE(state_->PurposeHeight, 52);
        // Sharpening a flat picture keeps it, but for the black last column and top row.
        w->cmdSharp_Click();
        QCOMPARE(w->picPurpose->image().pixel(5, 5), qRgb(10, 100, 30));
        QCOMPARE(w->picPurpose->image().pixel(128, 30), qRgb(0, 0, 0));
        QCOMPARE(w->picPurpose->image().pixel(5, 0), qRgb(0, 0, 0));
        // One colour sits at level (3 x 10 + 6 x 100 + 30) \ 10 = 66: bytes below it go to 0,
        // the others to 255.
        w->cmdStatChart_Click();
        QCOMPARE(w->picPurpose->image().pixel(128, 64), qRgb(0, 255, 0));
        w->picPurpose_Click();
        w->cmdDrawPic_Click();  // shows the last result again, without the mark
        QCOMPARE(w->picPurpose->image().pixel(128, 64), qRgb(0, 255, 0));
        // Reading takes whatever the source picture shows now.
        QImage corner(1, 1, QImage::Format_RGB32);
        corner.fill(qRgb(1, 2, 3));
        w->picSource->drawAt(corner, QPoint(0, 64));  // bottom-left: grid row 0
        w->cmdGetData_Click();
        QCOMPARE(int(state_->SourceGrid(2, 0, 0)), 1);
        QCOMPARE(int(state_->SourceGrid(1, 0, 0)), 2);
        QCOMPARE(int(state_->SourceGrid(0, 0, 0)), 3);
        QVERIFY(w->lastRefusal().isEmpty());
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
            {w->txtZoomX, "abc", w->cmdZoom},     // not a number
            {w->txtZoomY, "0.001", w->cmdZoom},   // to nothing
            {w->txtSharp, "8,5", w->cmdSharp},    // no decimal comma
            {w->txtRed, "1e10", w->cmdBright},    // beyond 32 bits
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
            QCOMPARE(state_->PurposeWidth, 129);
            QCOMPARE(state_->PurposeHeight, 65);
        }
    }

    void workbenchSwitchAndCloseBox() {
        frmMain* w = form_->workbench();
        form_->Check1->click();
        QVERIFY(w->windowState() & Qt::WindowMinimized);
        form_->Check1->click();
        QVERIFY(!(w->windowState() & Qt::WindowMinimized));
        QVERIFY(w->isVisible());
        w->close();  // the close box hides it, and the box follows
        QVERIFY(!w->isVisible());
        QVERIFY(!form_->Check1->isChecked());
        form_->Check1->click();  // one click brings it back
        QVERIFY(w->isVisible());
        aim();
        form_->Timer2_Timer();  // capture goes on
        QCOMPARE(state_->MonoCount, 8192);
    }

    void saveBitmap() {
        QString name;
        int asked = 0;
        bool replace = false;
        form_->sources()->askSaveName = [&] { return name; };
        form_->sources()->askOverwrite = [&] {
            ++asked;
            return replace;
        };
        name = file("none.bmp");
        form_->CmdSaveBmp_Click();  // nothing captured yet
        QVERIFY(!QFile::exists(name));
        QVERIFY(form_->lastMessage().contains("no picture has been captured"));

        screen_->colour = [](int x, int y) { return qRgb(x % 256, y % 256, (x * y) % 256); };
        aim();
        form_->Timer2_Timer();
        const QImage captured = form_->Image1->image();
        QCOMPARE(captured.size(), QSize(131, 65));

        name.clear();  // cancelled
        form_->CmdSaveBmp_Click();
        QCOMPARE(asked, 0);
        name = file("shot");  // no extension added, still a bitmap
        form_->CmdSaveBmp_Click();
        QCOMPARE(asked, 0);
        QCOMPARE(readAll(name).left(2), QStringLiteral("BM"));
        QCOMPARE(QImage(name, "BMP").convertToFormat(QImage::Format_RGB32), captured);

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

    void exitLabelAndDrag() {
        bool exited = false;
        form_->exitProcess = [&] { exited = true; };
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_));
        QTest::mouseClick(form_->Label2, Qt::LeftButton);
        QVERIFY(exited);
        const QPoint start = form_->pos();
        QTest::mousePress(form_, Qt::LeftButton, {}, QPoint(300, 100));
        QMouseEvent move(QEvent::MouseMove, QPointF(340, 130),
                         form_->mapToGlobal(QPointF(340, 130)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(form_, &move);
        QTest::mouseRelease(form_, Qt::LeftButton, {}, QPoint(340, 130));
        QCOMPARE(form_->pos(), start + QPoint(40, 30));
    }
};

QTEST_MAIN(FormTest)
#include "form_test.moc"
