// The serial panel against a real pseudo-terminal pair made by socat.
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QCompleter>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <map>
#include <thread>

#include "frame_receiver.h"
#include "orv_link.h"
#include "pty_pair.h"
#include "tool_fixture.h"

using namespace orv;
using namespace orv::ui;
using orv::test::control;
using orv::test::onePageMoves;

namespace {

const QColor kClosed(255, 192, 128), kOpen(192, 255, 192), kLit(255, 128, 0), kIdle(128, 128, 128),
    kFlash(255, 192, 192), kStandby(224, 224, 224);
// The longest wait for what the pseudo-terminal carries: far beyond what a
// loaded machine takes, so that only a fault reaches it.
constexpr int kPatienceMs = 60000;

}  // namespace

class SerialTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    std::unique_ptr<orv::test::PtyPair> cable_;
    int peer_ = -1;       // our end of the far side
    int portNumber_ = 0;  // 1000 + N for /dev/pts/N
    QString near_;        // /dev/pts/N
    std::unique_ptr<orv::test::Tool> tool_;
    Form1* form_ = nullptr;
    SerialPanel* panel_ = nullptr;

    QLineEdit* box(const char* name) const { return control<QLineEdit>(form_, name); }
    NoticeLine* notice() const { return control<NoticeLine>(form_, "Notice"); }
    QColor colour(const char* label) const { return backColour(control<QLabel>(form_, label)); }
    QByteArray available() const {
        return QByteArray::fromStdString(orv::test::PtyPair::readAvailable(peer_));
    }
    // What arrives at the far side, once `wantBytes` bytes are there.
    QByteArray receive(int wantBytes) {
        QByteArray got;
        (void)QTest::qWaitFor([&] { return (got += available()).size() >= wantBytes; },
                              kPatienceMs);
        return got;
    }

    // The settings the open port's descriptor really has, as "baud,parity,data,stop".
    QString lineSettings() {
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            termios t{};
            if (std::filesystem::read_symlink(entry.path(), ec).string() != near_.toStdString() ||
                ::tcgetattr(std::stoi(entry.path().filename().string()), &t) != 0) {
                continue;
            }
            const std::map<speed_t, int> bauds{{B4800, 4800}, {B9600, 9600}, {B19200, 19200}};
            const std::map<tcflag_t, int> sizes{{CS5, 5}, {CS6, 6}, {CS7, 7}, {CS8, 8}};
            const char parity = !(t.c_cflag & PARENB) ? 'n' : (t.c_cflag & PARODD) ? 'o' : 'e';
            return QStringLiteral("%1,%2,%3,%4")
                .arg(bauds.count(::cfgetospeed(&t)) ? bauds.at(::cfgetospeed(&t)) : 0)
                .arg(parity)
                .arg(sizes.at(t.c_cflag & CSIZE))
                .arg(t.c_cflag & CSTOPB ? 2 : 1);
        }
        return QStringLiteral("no descriptor of ") + near_;
    }

    // The last message contains all `parts` and names no control by its design name.
    void checkMessage(const QStringList& parts) {
        const QString m = form_->lastMessage();
        for (const QString& part : parts) QVERIFY2(m.contains(part), qPrintable(m));
        QVERIFY2(!m.contains(QRegularExpression("(Text|Label|Timer|MSComm)\\d")), qPrintable(m));
    }

    void checkClosed() {
        QVERIFY(!panel_->MSComm1().portOpen());
        QCOMPARE(colour("Label8"), kClosed);
        QVERIFY(!control<QTimer>(form_, "Timer3")->isActive());
    }

    void open() {
        box("Text6")->setText(QString::number(portNumber_));
        panel_->Label6_Click();
        panel_->Label8_Click();
        QVERIFY2(panel_->MSComm1().portOpen(), qPrintable(form_->lastMessage()));
    }

  private slots:
    void init() {
        cable_ = std::make_unique<orv::test::PtyPair>(dir_.path().toStdString());
        QVERIFY(cable_->ready());
        near_ = QFileInfo(QString::fromStdString(cable_->near())).symLinkTarget();
        QVERIFY(near_.startsWith("/dev/pts/"));
        portNumber_ = 1000 + near_.mid(9).toInt();
        peer_ = orv::test::PtyPair::openEnd(cable_->far());
        QVERIFY(peer_ >= 0);
        tool_ = std::make_unique<orv::test::Tool>(std::make_unique<orv::test::FakeScreen>());
        form_ = tool_->form.get();
        panel_ = form_->serialPanel();
    }

    void cleanup() {
        tool_.reset();
        if (peer_ >= 0) ::close(peer_);
        peer_ = -1;
        cable_.reset();
    }

    void fillAndReadBack() {
        box("Text5")->setText("19200,e,7,2");
        box("Text6")->setText(QString::number(portNumber_) + ".4");  // rounded to a whole number
        panel_->Label6_Click();
        box("Text5")->clear();
        box("Text6")->clear();
        panel_->Label5_Click();
        QCOMPARE(box("Text5")->text(), QStringLiteral("19200,e,7,2"));
        QCOMPARE(box("Text6")->text(), QString::number(portNumber_));
        // The box offers the devices present, this one too; choosing one writes its number.
        PortChooser* ports = panel_->Ports;
        ports->patterns = {QStringLiteral("/dev/pts/*"), QStringLiteral("/dev/null")};
        const QStringList offers = ports->refresh();
        const auto ours = offers.indexOf(QStringLiteral("%1  %2").arg(portNumber_).arg(near_));
        QVERIFY2(ours >= 0 && offers.filter("/dev/null").isEmpty(), qPrintable(offers.join(", ")));
        // The list is wide enough to read, and with it open, one click on W
        // applies the device it shows.
        box("Text6")->setText(QStringLiteral("1"));
        panel_->Label6_Click();
        form_->show();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_));
        box("Text6")->setFocus();
        QAbstractItemView* list = ports->completer()->popup();
        QTRY_VERIFY(list->isVisible());
        const QString offer = offers[ours];
        QVERIFY(list->width() > list->fontMetrics().horizontalAdvance(offer));
        list->setCurrentIndex(list->model()->index(int(ours), 0));
        QCOMPARE(box("Text6")->text(), QString::number(portNumber_));
        // As the window system delivers it, through the open list.
        const QLabel* w = control<QLabel>(form_, "Label6");
        QTest::mouseClick(form_->windowHandle(), Qt::LeftButton, {},
                          w->mapTo(form_, w->rect().center()));
        QTRY_VERIFY(!list->isVisible());
        QCOMPARE(panel_->MSComm1().commPort(), portNumber_);
    }

    // "退出" ends at once, but what the port has queued goes out first.
    void exitSendsWhatThePortQueued() {
        open();
        const std::string bytes(1 << 18, 'x');
        std::size_t arrived = 0;
        std::thread reader([&] {  // the device reads as the port writes
            for (int idle = 0; arrived < bytes.size() && idle < 2000; ++idle) {
                const std::size_t got = orv::test::PtyPair::readAvailable(peer_).size();
                arrived += got;
                if (got > 0) idle = 0;
                ::usleep(1000);
            }
        });
        QVERIFY(tool_->port.output(bytes).ok());
        QVERIFY(tool_->port.pendingBytes() > 0);
        std::int64_t leftAtExit = -1;
        form_->exitProcess = [&] { leftAtExit = tool_->port.pendingBytes(); };
        form_->exitDrain = std::chrono::milliseconds(kPatienceMs);  // however slow the machine
        form_->Label2_Click();
        reader.join();
        QCOMPARE(leftAtExit, 0);
        QCOMPARE(arrived, bytes.size());
    }

    void typedLinesGoOutWithCarriageReturn() {
        box("Text7")->setText("typed while closed");  // the closed port is silent
        form_->Command5_Click();
        QCOMPARE(colour("Label9"), kIdle);
        box("Text7")->setText("x");
        open();
        QCOMPARE(colour("Label8"), kOpen);
        QVERIFY(control<QTimer>(form_, "Timer3")->isActive());
        box("Text7")->clear();
        QCOMPARE(receive(1), QByteArray("\r"));
        QCOMPARE(colour("Label9"), kLit);
        QCOMPARE(colour("Label11"), kFlash);  // the standby lamp blinks on the clock
        for (int i = 1; i <= 29; ++i) panel_->Timer3_Timer();
        QCOMPARE(colour("Label11"), kStandby);
        QTest::keyClicks(box("Text7"), "abc");
        QCOMPARE(receive(9), QByteArray("a\rab\rabc\r"));
        form_->Command5_Click();
        QCOMPARE(receive(129), QByteArray(128, '\0') + "\r");  // the mapping: ascii_line_test
        // Which characters go as '?': the port_device fuzz target; the notice line says how many.
        auto* notice = control<NoticeLine>(form_, "Notice");
        box("Text7")->setText(QStringLiteral("中a\U0001F600"));
        QCOMPARE(receive(4), QByteArray("?a?\r"));
        QVERIFY2(notice->text().contains("2 characters") && notice->text().contains("'?'"),
                 qPrintable(notice->text()));
        box("Text7")->setText(QStringLiteral("plain"));
        QCOMPARE(receive(6), QByteArray("plain\r"));
        QVERIFY(notice->isHidden());
    }

    void failuresNameTheDeviceAndKeepTheState() {
        box("Text6")->setText("1999");  // /dev/pts/999: no such pseudo-terminal here
        panel_->Label6_Click();
        panel_->Label8_Click();
        checkClosed();
        checkMessage({"/dev/pts/999"});
        // A refused settings text leaves the port number unapplied.
        box("Text5")->setText("9600,x,8,1");
        box("Text6")->setText("5");
        panel_->Label6_Click();
        checkMessage({"port settings \"9600,x,8,1\"", "parity"});
        QCOMPARE(panel_->MSComm1().commPort(), 1999);
    }

    void settingsWhileOpenApplyAllOrNone() {
        open();
        QCOMPARE(lineSettings(), QStringLiteral("9600,n,8,1"));
        // Each text, and what "R" shows and the port uses afterwards.
        for (auto [text, after] : {
                 std::pair{"19200,e,7,1.5", "9600,n,8,1"},  // no 1.5 stop bits on this system
                 // A pseudo-terminal keeps no parity and 8 data bits: refused after the baud rate.
                 {"19200,e,7,1", "9600,n,8,1"},
                 {"19200,n,8,2", "19200,n,8,2"},
             }) {
            const int messages = form_->messages().count();
            box("Text5")->setText(text);
            panel_->Label6_Click();
            panel_->Label5_Click();
            QCOMPARE(box("Text5")->text(), QString(after));
            QCOMPARE(lineSettings(), QString(after));
            const bool refused = QString(text) != after;
            QCOMPARE(form_->messages().count(), messages + (refused ? 1 : 0));
            if (refused) checkMessage({near_, QStringLiteral("port settings \"%1\"").arg(text)});
        }
        box("Text6")->setText("1999");  // the number waits for the port to close
        panel_->Label6_Click();
        checkMessage({near_, "端口号"});
        QVERIFY(panel_->MSComm1().portOpen());  // still open, and still sending
        box("Text7")->setText("on");
        QCOMPARE(receive(3), QByteArray("on\r"));
    }

    // The far end goes, seen by the event loop or by a send before it: the
    // port closes, says why once, lights nothing and raises nothing more.
    void aGoneDeviceClosesThePortOnce_data() {
        orv::test::bothWays("sendAtOnce", "seen by the event loop", "a send before that");
    }
    void aGoneDeviceClosesThePortOnce() {
        QFETCH(bool, sendAtOnce);
        open();
        cable_->stop();
        if (sendAtOnce) {
            box("Text7")->setText("gone");
            QVERIFY(!panel_->MSComm1().portOpen());  // at once
            QCOMPARE(colour("Label9"), kIdle);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!panel_->MSComm1().portOpen(), kPatienceMs);
        checkClosed();
        checkMessage({near_});  // naming the device, for the failing call's own reason
        const QRegularExpression stale("File exists|Inappropriate ioctl|Resource temporarily");
        QVERIFY2(!form_->lastMessage().contains(stale), qPrintable(form_->lastMessage()));
        // Whatever the lost device still had pending brings nothing more.
        const int errors = tool_->port.errorsSeen();
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        QCOMPARE(tool_->port.errorsSeen(), errors);
        QVERIFY(errors < 10);
        QCOMPARE(form_->messages().count(), 1);
        QVERIFY(notice()->isHidden());
        box("Text7")->setText("after");  // silently ignored
        QCOMPARE(colour("Label9"), kIdle);
        QCOMPARE(colour("Label10"), kIdle);
    }

    // "实时发送" off: frames go nowhere; on: a device that does not announce
    // itself gets each frame once it had time to start; a busy link skips frames whole.
    void liveStreamShowsTheCaptureOnTheDevice() {
        open();
        panel_->CheckStream->setChecked(true);
        panel_->streamFrame(onePageMoves(0));  // the device may be starting
        QVERIFY(notice()->text().contains(QStringLiteral("等待设备…")));
        QCOMPARE(tool_->port.pendingBytes(), 0);  // nothing was written
        panel_->CheckStream->setChecked(false);
        QTest::qWait(3000);  // the device had its time
        orv::test::FrameReceiver device;
        // Whether the device shows `pages` once it took what has arrived. Once
        // true it stays true: what comes later is of the same frame.
        auto deviceShows = [&](const LcdPageBufferArray& pages) {
            device.take(orv::test::PtyPair::readAvailable(peer_));
            return std::equal(device.picture.begin(), device.picture.end(), pages.begin());
        };
        panel_->streamFrame(onePageMoves(1));  // off at start: nothing goes out
        QCOMPARE(tool_->port.pendingBytes(), 0);
        QCOMPARE(available().size(), 0);
        panel_->CheckStream->setChecked(true);
        QVERIFY(!panel_->streamPacer().announced());
        for (int n = 0; n < 3; ++n) {  // which pages go: frame_link_test
            panel_->streamFrame(onePageMoves(n));
            QTRY_VERIFY_WITH_TIMEOUT(deviceShows(onePageMoves(n)), kPatienceMs);
        }
        // Nobody reads now: the link fills up and frames are skipped whole.
        int n = 3;
        while (panel_->streamSkipped() < 3 && n < 5000) panel_->streamFrame(onePageMoves(n++));
        QVERIFY(panel_->streamSkipped() >= 3);
        QVERIFY(notice()->text().contains(QString::number(panel_->streamSkipped())));
        // Once the link drains, the next frame brings the device up to date: the
        // capture clock streams each frame after it is packed (and recorded).
        // (Drained: the port holds nothing more. Bytes the terminal still carries
        // may arrive later; they are older frames' and come first.)
        QTRY_VERIFY_WITH_TIMEOUT((deviceShows({}), tool_->port.pendingBytes() == 0), kPatienceMs);
        form_->Command2_Click();
        control<QTimer>(form_, "Timer2")->stop();
        form_->Timer2_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(deviceShows(form_->pipeline().pages()), kPatienceMs);
    }

    // A device that announces itself (window 2) sets the pace: no packet beyond
    // its window goes unacknowledged, frames meanwhile are skipped at once.
    void liveStreamPacesOnTheDevicesAcknowledgements() {
        // An announcement left in the line from before the port opens is not one.
        QCOMPARE(::write(peer_, "ORV 2 2\n", 8), 8);
        const int early = orv::test::PtyPair::openEnd(near_.toStdString());
        int held = 0;
        QTRY_VERIFY_WITH_TIMEOUT((::ioctl(early, FIONREAD, &held), held == 8), kPatienceMs);
        ::close(early);
        open();
        QTest::qWait(300);
        QVERIFY(!panel_->streamPacer().announced());
        control<QTimer>(form_, "Timer3")->stop();  // its blink would put RXD out again
        QCOMPARE(::write(peer_, "ORV 2 2\n", 8), 8);
        QTRY_VERIFY_WITH_TIMEOUT(panel_->streamPacer().announced(), kPatienceMs);
        QCOMPARE(colour("Label10"), kLit);  // RXD
        panel_->CheckStream->setChecked(true);
        orv::test::FrameReceiver device;
        std::size_t acked = 0;
        auto acknowledge = [&] {  // every whole packet that has arrived
            device.take(available().toStdString());
            for (; acked < device.packets.size(); ++acked) {
                const auto& p = device.packets[acked];
                const char ack = static_cast<char>(framing::ackByte(p.frame, p.page));
                if (::write(peer_, &ack, 1) != 1) return false;
            }
            return true;
        };
        // Frame 0 (8 pages): two packets, then one for each acknowledgement.
        panel_->streamFrame(onePageMoves(0));
        QTRY_COMPARE_WITH_TIMEOUT((device.take(available().toStdString()), device.packets.size()),
                                  2u, kPatienceMs);
        QCOMPARE(tool_->port.pendingBytes(), 0);  // the window is full
        QVERIFY(acknowledge());
        // Still sending frame 0: skipped at once, not waited for.
        for (int n = 1; n < 3; ++n) panel_->streamFrame(onePageMoves(n));
        QCOMPARE(panel_->streamSkipped(), 2u);
        QTRY_VERIFY_WITH_TIMEOUT((acknowledge(), device.packets.size() == 8u), kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(panel_->streamPacer().framesShown(), 1u, kPatienceMs);
        QVERIFY(std::equal(device.picture.begin(), device.picture.end(), onePageMoves(0).begin()));
        // An OLED lights a set bit: the stream starts afresh, every byte inverted.
        panel_->ComboDisplay->setCurrentText(QStringLiteral("ssd1306"));
        panel_->streamFrame(onePageMoves(4));
        QTRY_VERIFY_WITH_TIMEOUT((acknowledge(), device.packets.size() == 16u), kPatienceMs);
        for (int i = 0; i < 1024; ++i)
            QCOMPARE(device.picture[i], std::uint8_t(~onePageMoves(4)[i]));
    }
};

QTEST_MAIN(SerialTest)
#include "serial_test.moc"
