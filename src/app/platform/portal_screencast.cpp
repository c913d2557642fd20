#include "app/platform/portal_screencast.h"

#include <fcntl.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QRandomGenerator>
#include <QSettings>

#include "app/platform/pipewire_stream.h"

namespace orv::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr int kCallMs = 20000;      // longest wait for a method's reply
constexpr int kAnswerSeconds = 20;  // longest wait for an answer no user gives
constexpr int kFormatSeconds = 10;  // longest wait for the stream's picture format
constexpr int kPictureSeconds = 8;  // longest wait for the first picture once the format is agreed
// The bus names of the portal's backends (one per desktop: GNOME, KDE, wlroots...).
const QString kBackendPrefix = QStringLiteral("org.freedesktop.impl.portal.desktop.");

// The portal's source type bits.
constexpr quint32 kMonitorBit = 1;
constexpr quint32 kWindowBit = 2;

// A D-Bus error text on one line.
QString oneLine(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
}

// An object path the portal sent either as a path or as a string.
QString pathOf(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

// A token for a request or session path: letters, digits and underscores.
QString freshToken() {
    static quint32 counter = 0;
    return QStringLiteral("orv%1_%2")
        .arg(++counter)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// This connection's unique name as a part of the portal's object paths.
QString senderPathPart() {
    return QDBusConnection::sessionBus().baseService().mid(1).replace(QLatin1Char('.'),
                                                                      QLatin1Char('_'));
}

// Where the settings keep the restore tokens.
QSettings settings() { return QSettings(QStringLiteral("orv-tool"), QStringLiteral("orv-tool")); }

}  // namespace

PortalScreenCast::PortalScreenCast(QObject* parent)
    : QObject(parent),
      portalGone_(new QDBusServiceWatcher(kService, QDBusConnection::sessionBus(),
                                          QDBusServiceWatcher::WatchForUnregistration, this)) {
    watchdog_.setSingleShot(true);
    connect(&watchdog_, &QTimer::timeout, this, [this] {
        const QString reason = watchReason_;  // a copy: failed()'s receivers may end this
        fail(reason);
    });
    connect(portalGone_, &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString& name) {
                if (!active()) return;
                fail(name == kService ? QStringLiteral("the desktop portal left the session bus")
                                      : QStringLiteral("the desktop portal's backend (%1) left "
                                                       "the session bus")
                                            .arg(name));
            });
    overdue_.setSingleShot(true);
    connect(&overdue_, &QTimer::timeout, this, [this] {
        if (step_ != Step::Streaming) return;
        late_ = true;
        emit pictureOverdue(QStringLiteral("the screen cast brought no picture within %1 s of "
                                           "starting (some desktops send one only once the "
                                           "screen changes)")
                                .arg(kPictureSeconds));
    });
}

PortalScreenCast::~PortalScreenCast() { stop(); }

const char* PortalScreenCast::nameOf(Step step) {
    switch (step) {
        case Step::Properties:
            return "the ScreenCast properties";
        case Step::CreateSession:
            return "CreateSession";
        case Step::SelectSources:
            return "SelectSources";
        case Step::Start:
            return "Start";
        case Step::OpenRemote:
            return "OpenPipeWireRemote";
        default:
            return "the screen cast";
    }
}

quint32 PortalScreenCast::availableSourceTypes() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return 0;
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, kProperties, "Get");
    get << kScreenCast << QStringLiteral("AvailableSourceTypes");
    const QDBusMessage reply = bus.call(get, QDBus::Block, kCallMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return 0;
    return qdbus_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toUInt();
}

bool PortalScreenCast::available() { return availableSourceTypes() != 0; }

QString PortalScreenCast::restoreTokenKey(Source source) {
    return source == Source::Window ? QStringLiteral("portal/windowRestoreToken")
                                    : QStringLiteral("portal/restoreToken");
}

void PortalScreenCast::start(Source source, const QString& parentWindow) {
    stop();
    source_ = source;
    parentWindow_ = parentWindow;
    step_ = Step::Properties;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        failLater(QStringLiteral("no D-Bus session bus to reach the desktop portal through"));
        return;
    }
    if (!(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        failLater(
            QStringLiteral("the D-Bus session bus cannot pass the portal's PipeWire connection"));
        return;
    }
    call(kProperties, "GetAll", {kScreenCast}, &PortalScreenCast::onProperties);
}

void PortalScreenCast::stop() {
    ++run_;
    watchdog_.stop();
    overdue_.stop();
    late_ = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!requestPath_.isEmpty()) {
        bus.call(QDBusMessage::createMethodCall(kService, requestPath_, kRequest, "Close"),
                 QDBus::NoBlock);
        dropRequest();
    }
    stream_.reset();
    if (!session_.isEmpty()) {
        bus.disconnect(QString(), session_, kSession, "Closed", this,
                       SLOT(onSessionClosed(QVariantMap)));
        bus.call(QDBusMessage::createMethodCall(kService, session_, kSession, "Close"),
                 QDBus::NoBlock);
        session_.clear();
    }
    step_ = Step::Idle;
}

QImage PortalScreenCast::latestFrame() const { return stream_ ? stream_->latest() : QImage(); }

quint64 PortalScreenCast::frames() const { return stream_ ? stream_->frames() : 0; }

QSize PortalScreenCast::size() const { return stream_ ? stream_->size() : QSize(); }

void PortalScreenCast::call(const QString& interface, const QString& method,
                            const QVariantList& args,
                            void (PortalScreenCast::*then)(const QDBusMessage&)) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(message, kCallMs), this);
    const quint64 run = run_;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, run, then](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (run == run_) (this->*then)(finished->reply());
            });
}

void PortalScreenCast::request(Step step, const QString& method, QVariantList args,
                               QVariantMap options) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = freshToken();
    // The answer comes as a signal on a path known beforehand, listened to
    // before asking so that it cannot come first.
    dropRequest();
    requestPath_ = QStringLiteral("%1/request/%2/%3").arg(kPath, senderPathPart(), token);
    bus.connect(QString(), requestPath_, kRequest, "Response", this,
                SLOT(onResponse(uint, QVariantMap)));
    options.insert(QStringLiteral("handle_token"), token);
    args << options;
    step_ = step;
    call(kScreenCast, method, args, &PortalScreenCast::onRequestHandle);
}

void PortalScreenCast::onProperties(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString error = reply.errorName();
        if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            fail(QStringLiteral("no desktop portal on the session bus (%1)").arg(kService));
        } else {
            fail(QStringLiteral("the desktop portal offers no screen cast: %1")
                     .arg(oneLine(reply.errorMessage())));
        }
        return;
    }
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    const quint32 types = properties.value(QStringLiteral("AvailableSourceTypes")).toUInt();
    version_ = properties.value(QStringLiteral("version")).toUInt();
    cursorModes_ = properties.value(QStringLiteral("AvailableCursorModes")).toUInt();
    if (source_ == Source::Window && !(types & kWindowBit)) {
        fail(QStringLiteral("the desktop's screen cast portal offers no window source, %1")
                 .arg(types & kMonitorBit ? "only whole monitors" : "no source at all"));
        return;
    }
    if (source_ == Source::Monitor && !(types & kMonitorBit)) {
        fail(QStringLiteral("the desktop's screen cast portal offers no monitor source"));
        return;
    }
    // The session's path is known beforehand too, so that stopping early
    // closes it.
    const QString token = freshToken();
    session_ = QStringLiteral("%1/session/%2/%3").arg(kPath, senderPathPart(), token);
    request(Step::CreateSession, "CreateSession", {},
            {{QStringLiteral("session_handle_token"), token}});
    watch(kAnswerSeconds, QStringLiteral("the screen cast portal did not answer CreateSession "
                                         "within %1 s")
                              .arg(kAnswerSeconds));
}

void PortalScreenCast::onRequestHandle(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage) {
        fail(QStringLiteral("the screen cast portal refused %1: %2")
                 .arg(nameOf(step_), oneLine(reply.errorMessage())));
        return;
    }
    // The portal has handed the request to its backend by now.
    watchBackends();
    // A portal older than the predictable paths answers on a path of its own.
    const QString handle = pathOf(reply.arguments().value(0));
    if (!handle.isEmpty() && handle != requestPath_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        dropRequest();
        requestPath_ = handle;
        bus.connect(QString(), requestPath_, kRequest, "Response", this,
                    SLOT(onResponse(uint, QVariantMap)));
    }
}

void PortalScreenCast::onResponse(uint code, const QVariantMap& results) {
    // Only the pending request's answer counts.
    if (requestPath_.isEmpty() || (calledFromDBus() && message().path() != requestPath_)) return;
    const Step step = step_;
    dropRequest();
    watchdog_.stop();
    if (code == 1) {
        // A refusal and a dialog that could not be shown look the same here.
        fail(QStringLiteral("the screen cast was cancelled at %1 (by the user or the desktop)")
                 .arg(nameOf(step)));
        return;
    }
    if (code != 0) {
        fail(QStringLiteral("the screen cast portal refused %1 (response %2)")
                 .arg(nameOf(step))
                 .arg(code));
        return;
    }
    if (step == Step::CreateSession) {
        const QString handle = pathOf(results.value(QStringLiteral("session_handle")));
        if (handle.isEmpty()) {
            fail(QStringLiteral("the screen cast portal made a session without a handle"));
            return;
        }
        session_ = handle;
        QDBusConnection::sessionBus().connect(QString(), session_, kSession, "Closed", this,
                                              SLOT(onSessionClosed(QVariantMap)));
        selectSources();
    } else if (step == Step::SelectSources) {
        // Start may wait for the user as long as they like: no watchdog.
        request(Step::Start, "Start",
                {QVariant::fromValue(QDBusObjectPath(session_)), parentWindow_}, {});
    } else if (step == Step::Start) {
        startStream(results);
    }
}

void PortalScreenCast::selectSources() {
    QVariantMap options{
        {QStringLiteral("types"), source_ == Source::Window ? kWindowBit : kMonitorBit},
        {QStringLiteral("multiple"), false},
    };
    // The pointer is left out where that may be chosen, as on X11 grabs.
    if (version_ >= 2 && (cursorModes_ & 1)) {
        options.insert(QStringLiteral("cursor_mode"), 1u);
    } else if (version_ >= 2 && (cursorModes_ & 2)) {
        options.insert(QStringLiteral("cursor_mode"), 2u);
    }
    tokenUsed_.clear();
    if (version_ >= 4) {
        options.insert(QStringLiteral("persist_mode"), 2u);  // until revoked
        tokenUsed_ = settings().value(restoreTokenKey(source_)).toString();
        if (!tokenUsed_.isEmpty()) options.insert(QStringLiteral("restore_token"), tokenUsed_);
    }
    request(Step::SelectSources, "SelectSources", {QVariant::fromValue(QDBusObjectPath(session_))},
            options);
    watch(kAnswerSeconds,
          QStringLiteral("the screen cast portal did not answer SelectSources within %1 s")
              .arg(kAnswerSeconds));
}

void PortalScreenCast::startStream(const QVariantMap& results) {
    // A restore token is good once: keep the new one, or none.
    const QString token = results.value(QStringLiteral("restore_token")).toString();
    QSettings kept = settings();
    if (!token.isEmpty()) {
        kept.setValue(restoreTokenKey(source_), token);
    } else if (!tokenUsed_.isEmpty()) {
        kept.remove(restoreTokenKey(source_));
    }
    const QVariant streams = results.value(QStringLiteral("streams"));
    bool found = false;
    if (streams.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument list = streams.value<QDBusArgument>();
        if (list.currentSignature() == QLatin1String("a(ua{sv})")) {
            list.beginArray();
            if (!list.atEnd()) {
                QVariantMap properties;
                list.beginStructure();
                list >> node_ >> properties;
                list.endStructure();
                found = true;
            }
        }
    }
    if (!found) {
        fail(QStringLiteral("the screen cast portal started no stream"));
        return;
    }
    step_ = Step::OpenRemote;
    call(kScreenCast, "OpenPipeWireRemote",
         {QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap()},
         &PortalScreenCast::onRemote);
}

void PortalScreenCast::onRemote(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage) {
        fail(QStringLiteral("the screen cast portal gave no PipeWire connection: %1")
                 .arg(oneLine(reply.errorMessage())));
        return;
    }
    const auto remote = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().value(0));
    const int fd = remote.isValid() ? ::fcntl(remote.fileDescriptor(), F_DUPFD_CLOEXEC, 3) : -1;
    if (fd < 0) {
        fail(
            QStringLiteral("the screen cast portal's PipeWire connection came without a "
                           "usable descriptor"));
        return;
    }
    // The stream reports on its own thread: hand that over to this one, and
    // drop it when this session has ended meanwhile.
    const quint64 run = run_;
    PipeWireStream::Events events;
    events.firstFrame = [this, run] {
        QMetaObject::invokeMethod(
            this,
            [this, run] {
                if (run != run_ || step_ != Step::Streaming) return;
                watchdog_.stop();
                overdue_.stop();
                late_ = false;
                step_ = Step::Running;
                emit started();
            },
            Qt::QueuedConnection);
    };
    // Once the format is settled the stream works: a still screen may send
    // no picture for as long as it stays still, so the session is not ended
    // for that; a first picture that is late is only said.
    events.formatAgreed = [this, run] {
        QMetaObject::invokeMethod(
            this,
            [this, run] {
                if (run != run_ || step_ != Step::Streaming) return;
                watchdog_.stop();
                overdue_.start(kPictureSeconds * 1000);
            },
            Qt::QueuedConnection);
    };
    events.failed = [this, run](const QString& reason) {
        QMetaObject::invokeMethod(
            this,
            [this, run, reason] {
                if (run == run_) fail(reason);
            },
            Qt::QueuedConnection);
    };
    step_ = Step::Streaming;
    stream_ = std::make_unique<PipeWireStream>(std::move(events));
    if (Status started = stream_->start(fd, node_); !started) {
        fail(QString::fromStdString(started.error()));
        return;
    }
    watch(kFormatSeconds, QStringLiteral("the screen cast settled on no picture format within "
                                         "%1 s (this tool reads RGB in shared memory)")
                              .arg(kFormatSeconds));
}

void PortalScreenCast::onSessionClosed(const QVariantMap& /*details*/) {
    if (calledFromDBus() && message().path() != session_) return;
    // Closed already: only stop listening, nothing to close.
    QDBusConnection::sessionBus().disconnect(QString(), session_, kSession, "Closed", this,
                                             SLOT(onSessionClosed(QVariantMap)));
    session_.clear();
    fail(QStringLiteral("the desktop closed the screen cast session"));
}

void PortalScreenCast::fail(const QString& reason) {
    stop();
    emit failed(reason);
}

void PortalScreenCast::failLater(const QString& reason) {
    const quint64 run = run_;
    QMetaObject::invokeMethod(
        this,
        [this, run, reason] {
            if (run == run_) fail(reason);
        },
        Qt::QueuedConnection);
}

void PortalScreenCast::dropRequest() {
    if (requestPath_.isEmpty()) return;
    QDBusConnection::sessionBus().disconnect(QString(), requestPath_, kRequest, "Response", this,
                                             SLOT(onResponse(uint, QVariantMap)));
    requestPath_.clear();
}

void PortalScreenCast::expectPictureAgain() {
    if (late_ && step_ == Step::Streaming) overdue_.start(kPictureSeconds * 1000);
}

void PortalScreenCast::watchBackends() {
    QStringList watched{kService};
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusReply<QStringList> names = bus.interface()->registeredServiceNames();
    if (names.isValid()) {
        for (const QString& name : names.value()) {
            if (name.startsWith(kBackendPrefix)) watched << name;
        }
    }
    portalGone_->setWatchedServices(watched);
}

void PortalScreenCast::watch(int seconds, const QString& reason) {
    watchReason_ = reason;
    watchdog_.start(seconds * 1000);
}

}  // namespace orv::platform
