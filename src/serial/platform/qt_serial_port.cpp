#include "serial/platform/qt_serial_port.h"

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace orv::serial {
namespace {

QSerialPort::Parity toQt(Parity p) {
    switch (p) {
        case Parity::Even:
            return QSerialPort::EvenParity;
        case Parity::Odd:
            return QSerialPort::OddParity;
        case Parity::Mark:
            return QSerialPort::MarkParity;
        case Parity::Space:
            return QSerialPort::SpaceParity;
        case Parity::None:
            break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(StopBits s) {
    switch (s) {
        case StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case StopBits::Two:
            return QSerialPort::TwoStop;
        case StopBits::One:
            break;
    }
    return QSerialPort::OneStop;
}

const char* parityName(Parity p) {
    switch (p) {
        case Parity::Even:
            return "even parity";
        case Parity::Odd:
            return "odd parity";
        case Parity::Mark:
            return "mark parity";
        case Parity::Space:
            return "space parity";
        case Parity::None:
            break;
    }
    return "no parity";
}

}  // namespace

QtSerialPort::QtSerialPort(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        const QByteArray got = port_.readAll();
        if (onReceived && !got.isEmpty()) onReceived(got.toStdString());
    });
}

std::string QtSerialPort::device() const {
    Result<std::string> d = portDevice(number_);
    return d ? d.value() : "端口号 " + std::to_string(number_);
}

Status QtSerialPort::apply(const PortSettings& s) {
#ifndef _WIN32
    // termios has no 1.5 stop bits; QSerialPort would quietly use one.
    if (s.stopBits == StopBits::OneAndHalf)
        return fail("1.5 stop bits cannot be set on this system");
#endif
    const qint32 baud = port_.baudRate();
    const QSerialPort::Parity parity = port_.parity();
    const QSerialPort::DataBits dataBits = port_.dataBits();
    const QSerialPort::StopBits stopBits = port_.stopBits();
    std::string refused;
    if (!port_.setBaudRate(s.baud)) {
        refused = "the baud rate " + std::to_string(s.baud);
    } else if (!port_.setParity(toQt(s.parity))) {
        refused = parityName(s.parity);
    } else if (!port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits))) {
        refused = std::to_string(s.dataBits) + " data bits";
    } else if (!port_.setStopBits(toQt(s.stopBits))) {
        refused = s.stopBits == StopBits::Two ? "2 stop bits" : "1 stop bit";
    }
    if (refused.empty()) return Done{};
    std::string why = refused + " cannot be set: " + port_.errorString().toStdString();
    // All or none: what was set before the refusal goes back.
    const bool restored = port_.setBaudRate(baud) && port_.setParity(parity) &&
                          port_.setDataBits(dataBits) && port_.setStopBits(stopBits);
    port_.clearError();
    if (!restored) {
        port_.close();
        why += "; the earlier port settings could not be put back, so the port was closed";
    }
    return fail(why);
}

Status QtSerialPort::setPortOpen(bool open) {
    if (open == port_.isOpen()) return Done{};
    if (!open) {
        port_.close();
        return Done{};
    }
    Result<std::string> name = portDevice(number_);
    if (!name) return name.failure();
    Result<PortSettings> parsed = parseSettings(settings_);
    if (!parsed) return parsed.failure();
    port_.setPortName(QString::fromStdString(name.value()));
    if (!port_.open(QIODevice::ReadWrite)) {
        return fail("cannot open " + name.value() + ": " + port_.errorString().toStdString());
    }
    if (Status applied = apply(parsed.value()); !applied) {
        port_.close();
        return fail(name.value() + " refuses the port settings \"" + settings_ +
                    "\": " + applied.error());
    }
    // What the line held from before is not the device's answer to us.
    port_.clear(QSerialPort::Input);
    return Done{};
}

Status QtSerialPort::setCommPort(std::int16_t number) {
    if (number == number_) return Done{};
    Result<std::string> name = portDevice(number);
    if (!name) return name.failure();
    if (port_.isOpen()) {
        return fail("close " + device() + " with 开/关 before changing the 端口号");
    }
    number_ = number;
    return Done{};
}

Status QtSerialPort::setSettings(const std::string& text) {
    Result<PortSettings> parsed = parseSettings(text);
    if (!parsed) return parsed.failure();
    if (port_.isOpen()) {
        if (Status applied = apply(parsed.value()); !applied) {
            std::string why =
                device() + " refuses the port settings \"" + text + "\": " + applied.error();
            if (port_.isOpen()) why += "; it keeps \"" + settings_ + "\"";
            return fail(why);
        }
    }
    settings_ = text;
    return Done{};
}

bool QtSerialPort::deviceHasRoom() const {
#ifdef Q_OS_UNIX
    // QSerialPort takes a full device (EAGAIN) for a write error; a device
    // that is gone still polls as ready, and its write then fails for real.
    pollfd p{static_cast<int>(port_.handle()), POLLOUT, 0};
    return ::poll(&p, 1, 0) > 0;
#else
    return true;
#endif
}

Status QtSerialPort::output(const std::string& bytes) {
    if (!port_.isOpen()) return Done{};
    port_.clearError();
    lostInSend_.clear();
    sending_ = true;
    const qint64 n = port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // What the device cannot take yet waits in the port's buffer: a full
    // buffer is a slow link, not a failure; a device that is gone raises an error.
    const bool taken = n == static_cast<qint64>(bytes.size());
    if (taken && deviceHasRoom()) port_.flush();
    sending_ = false;
    if (taken && lostInSend_.empty() && port_.isOpen() && port_.error() == QSerialPort::NoError) {
        return Done{};
    }
    // A port that cannot send is closed, so that it does not claim to be
    // ready; the caller hears why from the result, not from onLost.
    std::string why = lostInSend_;
    if (why.empty()) {
        const bool error = port_.error() != QSerialPort::NoError;
        why = "cannot send to " + device() + ": " +
              (error ? port_.errorString().toStdString() : std::string("the bytes did not go out"));
    }
    lostInSend_.clear();
    port_.close();
    return fail(why);
}

void QtSerialPort::drain(std::chrono::milliseconds bound) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (port_.isOpen() && port_.bytesToWrite() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !port_.waitForBytesWritten(static_cast<int>(left.count()))) break;
    }
}

std::string QtSerialPort::lostReason() const {
    // QSerialPort words these errors by an errno read after other calls (an
    // "Inappropriate ioctl" or "Resource temporarily unavailable" that says
    // nothing of the device): ask the device itself.
    const int fd = static_cast<int>(port_.handle());
    pollfd p{fd, POLLIN | POLLOUT, 0};
    if (fd >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        return (p.revents & POLLHUP) ? "it hung up (the device is gone)"
                                     : "the device reports an error";
    }
    errno = 0;
    char none = 0;
    if (fd >= 0 && ::read(fd, &none, 0) < 0 && errno != EAGAIN && errno != EINTR) {
        return std::strerror(errno);
    }
    return port_.errorString().toStdString();
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError) return;
    ++errorsSeen_;
    // A device that went away keeps raising read and resource errors until
    // the port is closed.
    const bool lost = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError;
    if (!lost || !port_.isOpen()) return;
    const std::string why = device() + " stopped working: " + lostReason();
    if (sending_) {
        // output() closes the port once QSerialPort has returned, and reports it.
        if (lostInSend_.empty()) lostInSend_ = why;
        return;
    }
    port_.close();
    if (onLost) onLost(why);
}

}  // namespace orv::serial
