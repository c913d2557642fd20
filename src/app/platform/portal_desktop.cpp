#include "app/platform/portal_desktop.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <chrono>

namespace orv::platform {
namespace {

// How long a grab waits for a picture without the tool's own window before
// it takes the newest there is (a still screen sends no new pictures).
constexpr auto kPictureWait = std::chrono::milliseconds(600);
constexpr int kPollMs = 15;

// The window the portal's dialogs belong to, as the portal names windows:
// the tool's main window on X11 ("x11:" and its id in hexadecimal). None on a
// native Wayland desktop, where naming a window takes a protocol (an exported
// surface handle) this Qt does not offer.
QString dialogParent() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return {};
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        if (w->type() == Qt::Window && !w->transientParent() && w->handle()) {
            return QStringLiteral("x11:%1").arg(w->winId(), 0, 16);
        }
    }
    return {};
}

}  // namespace

PortalDesktop::PortalDesktop() : available_(PortalScreenCast::available()), crop_(monitor_) {
    connect(&monitor_, &PortalScreenCast::started, this, [this] {
        failure_.clear();
        answer(forMonitor_, {});
    });
    connect(&monitor_, &PortalScreenCast::failed, this, [this](const QString& why) {
        failure_ = why;
        answer(forMonitor_, why);
    });
    connect(&window_, &PortalScreenCast::started, this, [this] { answer(forWindow_, {}); });
    connect(&window_, &PortalScreenCast::failed, this,
            [this](const QString& why) { answer(forWindow_, why); });
    // A late first picture: the grabs waiting say so. The monitor's cast goes
    // on, so that a picture it brings later serves the next grab; a window's
    // is for one grab only.
    connect(&monitor_, &PortalScreenCast::pictureOverdue, this,
            [this](const QString& why) { answer(forMonitor_, why); });
    connect(&window_, &PortalScreenCast::pictureOverdue, this, [this](const QString& why) {
        window_.stop();
        answer(forWindow_, why);
    });
}

void PortalDesktop::answer(std::vector<Done>& waiting, const QString& failure) {
    std::vector<Done> now;
    now.swap(waiting);
    for (Done& done : now) done(failure);
}

QString PortalDesktop::whyUnreadable() const {
    if (!available_) return QStringLiteral("no desktop portal for screen casts on the session bus");
    return failure_;
}

ScreenPiece PortalDesktop::grab(const QRect& rect) { return crop_.grab(rect); }

QRect PortalDesktop::desktop() const {
    if (!monitor_.size().isEmpty()) return crop_.desktop();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

void PortalDesktop::prepare(Purpose purpose, std::function<void(const QString&)> done) {
    if (purpose == Purpose::Window) {
        if (!(PortalScreenCast::availableSourceTypes() & 2u)) {
            return done(
                QStringLiteral("the desktop portal offers whole screens only, no window "
                               "to pick"));
        }
        forWindow_.push_back(std::move(done));
        if (forWindow_.size() == 1) window_.start(PortalScreenCast::Source::Window, dialogParent());
        return;
    }
    if (monitor_.active() && !monitor_.latestFrame().isNull()) return done({});
    forMonitor_.push_back(std::move(done));
    // A cast whose picture is already overdue gives this grab too its answer in time.
    if (monitor_.late()) monitor_.expectPictureAgain();
    if (!monitor_.active()) monitor_.start(PortalScreenCast::Source::Monitor, dialogParent());
}

QImage PortalDesktop::pickedWindow() {
    const QImage picture = window_.latestFrame();
    window_.stop();  // one grab: the window is asked for again next time
    return picture;
}

void PortalDesktop::afterNextPicture(std::function<void()> done) {
    const quint64 seen = monitor_.frames();
    const auto until = std::chrono::steady_clock::now() + kPictureWait;
    auto* poll = new QTimer(this);
    poll->setInterval(kPollMs);
    connect(poll, &QTimer::timeout, this, [this, poll, seen, until, done = std::move(done)] {
        if (monitor_.frames() == seen && std::chrono::steady_clock::now() < until) return;
        poll->stop();
        poll->deleteLater();
        done();
    });
    poll->start();
}

}  // namespace orv::platform
