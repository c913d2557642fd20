#include "serial/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "common/numbers.h"
#include "common/posix_io.h"

namespace orv::serial {
namespace {

// The termios speed of a baud rate; 0 for one the system has no name for.
speed_t speedOf(std::int32_t baud) {
    struct Speed {
        std::int32_t baud;
        speed_t code;
    };
    static const Speed kSpeeds[] = {
        {50, B50},         {75, B75},         {110, B110},         {134, B134},
        {150, B150},       {200, B200},       {300, B300},         {600, B600},
        {1200, B1200},     {1800, B1800},     {2400, B2400},       {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},     {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {2000000, B2000000},
    };
    for (const Speed& s : kSpeeds) {
        if (s.baud == baud) return s.code;
    }
    return 0;
}

}  // namespace

Result<std::string> deviceOf(const std::string& port) {
    bool digits = !port.empty();
    for (char c : port) digits = digits && c >= '0' && c <= '9';
    if (!digits) return port;
    Result<std::int32_t> number = num::parseInt32(port, "port number");
    if (!number) return fail(number.error());
    return portDevice(number.value());
}

SerialDevice::~SerialDevice() {
    if (fd_ >= 0) ::close(fd_);
}

Status SerialDevice::open(const std::string& port, const std::string& settingsText) {
    Result<std::string> device = deviceOf(port);
    if (!device) return fail(device.error());
    device_ = device.value();
    Result<PortSettings> parsed = parseSettings(settingsText);
    if (!parsed) return fail(parsed.error());
    const PortSettings& s = parsed.value();
    const speed_t speed = speedOf(s.baud);
    if (speed == 0) {
        return fail("port settings \"" + settingsText + "\": " + std::to_string(s.baud) +
                    " baud is not a rate this system can set");
    }
    if (s.stopBits == StopBits::OneAndHalf) {
        return fail("port settings \"" + settingsText + "\": 1.5 stop bits cannot be set here");
    }
    fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return fail("cannot open " + device_ + ": " + reason(errno));
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return fail(device_ + " is not a serial port: " + reason(errno));
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    t.c_cflag |= CLOCAL | CREAD;
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[s.dataBits - 5];
    switch (s.parity) {
        case Parity::None:
            break;
        case Parity::Even:
            t.c_cflag |= PARENB;
            break;
        case Parity::Odd:
            t.c_cflag |= PARENB | PARODD;
            break;
#ifdef CMSPAR
        case Parity::Mark:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case Parity::Space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
#else
        default:
            return fail("port settings \"" + settingsText +
                        "\": mark and space parity cannot be set here");
#endif
    }
    if (s.stopBits == StopBits::Two) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        return fail(device_ + " refuses the port settings \"" + settingsText +
                    "\": " + reason(errno));
    }
    const int bits =
        1 + s.dataBits + (s.parity == Parity::None ? 0 : 1) + (s.stopBits == StopBits::Two ? 2 : 1);
    bytesPerSecond_ = static_cast<double>(s.baud) / bits;
    return Done{};
}

Result<std::size_t> SerialDevice::write(std::string_view bytes, bool (*stopAsked)()) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return fail(device_ + " stopped taking data: " + reason(errno));
        }
        // Full: wait for room, looking at a stop now and then.
        if (stopAsked && stopAsked()) return sent;
        pollfd p{fd_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, 200);
        if (ready < 0 && errno != EINTR) return fail(device_ + ": " + reason(errno));
        if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            return fail(device_ + " went away");
        }
    }
    return sent;
}

Result<std::string> SerialDevice::read(int waitMs) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, waitMs);
    if (ready < 0 && errno != EINTR) return fail(device_ + ": " + reason(errno));
    std::string got;
    char buf[256];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return fail(device_ + " went away: " + reason(errno));
        }
        break;
    }
    if (got.empty() && ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
        return fail(device_ + " went away");
    }
    return got;
}

Status SerialDevice::drain(bool (*stopAsked)()) {
    // tcdrain returns early (EINTR) when a signal comes, which is how a stop
    // reaches a drain that would wait on a stalled line.
    while (::tcdrain(fd_) != 0) {
        if (errno != EINTR) return fail(device_ + " went away: " + reason(errno));
        if (stopAsked && stopAsked()) {
            ::tcflush(fd_, TCOFLUSH);
            return Done{};
        }
    }
    return Done{};
}

}  // namespace orv::serial
