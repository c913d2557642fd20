// The screen of a Wayland desktop, read through the desktop portal's
// ScreenCast interface with the pictures coming over PipeWire.
#pragma once

#include <QDBusContext>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QVariantMap>
#include <memory>

class QDBusMessage;
class QDBusServiceWatcher;

namespace orv::platform {

class PipeWireStream;

// One screen cast session: asks the portal (CreateSession, SelectSources,
// Start, OpenPipeWireRemote) without ever waiting for an answer, then reads
// the stream. Whatever the user allowed once is asked for again with the
// restore token kept in the settings, so a desktop that asks asks once.
class PortalScreenCast : public QObject, protected QDBusContext {
    Q_OBJECT
  public:
    // What is shared: a whole monitor or a single window.
    enum class Source { Monitor, Window };

    explicit PortalScreenCast(QObject* parent = nullptr);
    ~PortalScreenCast() override;

    // Whether the session bus has the desktop portal with a ScreenCast interface.
    static bool available();
    // The portal's AvailableSourceTypes: bit 1 monitors, 2 windows, 4 virtual
    // screens; 0 without a portal. Both ask the bus and wait for its answer.
    static quint32 availableSourceTypes();
    // The settings key (QSettings "orv-tool", "orv-tool") of the restore token for `source`.
    static QString restoreTokenKey(Source source);

    // Asks for a screen cast of `source`, ending any earlier one; started()
    // or failed() follows. `parentWindow` names the window the portal's
    // dialog belongs to ("x11:XID" or "wayland:HANDLE"; empty: none).
    void start(Source source, const QString& parentWindow = QString());
    // Closes the portal session and the stream; no signal follows.
    void stop();

    // The newest picture (Format_RGB32, in stream pixels); null before the first.
    QImage latestFrame() const;
    // How many pictures have come in.
    quint64 frames() const;
    // The newest picture's size; empty before the first.
    QSize size() const;
    // Whether a session is being set up or running.
    bool active() const { return step_ != Step::Idle; }
    // Whether pictureOverdue() was said and no picture has come since.
    bool late() const { return late_; }
    // Gives a late first picture another deadline: pictureOverdue() comes
    // again unless a picture comes first.
    void expectPictureAgain();
    // The restore token this session handed to the portal; empty when none.
    QString restoreTokenUsed() const { return tokenUsed_; }

  signals:
    // The stream runs and its first picture is in. Some desktops send that
    // only once something on screen changes (the wlroots portal, for any
    // session after its first); until then latestFrame() stays null.
    void started();
    // The session could not start or has ended; one line saying why.
    void failed(const QString& reason);
    // The stream was set up but its first picture is late; one line saying
    // why. The session goes on: a picture may still come when the screen
    // changes, and started() then follows.
    void pictureOverdue(const QString& reason);

  private slots:
    // A portal request's answer (org.freedesktop.portal.Request.Response).
    void onResponse(uint code, const QVariantMap& results);
    // The portal ended the session (org.freedesktop.portal.Session.Closed).
    void onSessionClosed(const QVariantMap& details);

  private:
    // Where the session setting-up has got to.
    enum class Step {
        Idle,
        Properties,
        CreateSession,
        SelectSources,
        Start,
        OpenRemote,
        Streaming,
        Running
    };

    // A step's name for failed().
    static const char* nameOf(Step step);
    // Sends a portal call without waiting; `then` gets its reply.
    void call(const QString& interface, const QString& method, const QVariantList& args,
              void (PortalScreenCast::*then)(const QDBusMessage&));
    // Sends a ScreenCast call that answers through a Request object.
    void request(Step step, const QString& method, QVariantList args, QVariantMap options);
    void onProperties(const QDBusMessage& reply);
    void onRequestHandle(const QDBusMessage& reply);
    void onRemote(const QDBusMessage& reply);
    void selectSources();
    void startStream(const QVariantMap& results);
    // Ends the session and tells why.
    void fail(const QString& reason);
    // Stops listening for the pending request's answer.
    void dropRequest();
    // Gives up with `reason` when the portal or the stream stays silent this long.
    void watch(int seconds, const QString& reason);
    // Ends the session with `reason` on a later turn of the event loop.
    void failLater(const QString& reason);
    // Watches the portal and the backends that serve it, as they are now.
    void watchBackends();

    Step step_ = Step::Idle;           // where the setting-up is
    Source source_ = Source::Monitor;  // what was asked for
    quint64 run_ = 0;                  // tells answers of an ended session from current ones
    quint32 version_ = 0;              // the portal's ScreenCast version
    quint32 cursorModes_ = 0;          // the portal's AvailableCursorModes
    QString requestPath_;              // the pending Request object; empty when none
    QString session_;                  // the session's object path; empty when none
    quint32 node_ = 0;                 // the PipeWire node the portal started
    QString tokenUsed_;                // the restore token sent with SelectSources
    QString parentWindow_;             // the window the portal's dialogs belong to
    QTimer watchdog_;                  // ends a setting-up the portal or the stream leaves silent
    QString watchReason_;              // what failed() says when the watchdog fires
    QTimer overdue_;                   // the first picture's deadline, once the stream is set up
    bool late_ = false;                // pictureOverdue() was said, no picture since
    QDBusServiceWatcher* portalGone_;  // tells when the portal or its backend leaves the bus
    std::unique_ptr<PipeWireStream> stream_;  // the pictures, once the portal has handed them over
};

}  // namespace orv::platform
