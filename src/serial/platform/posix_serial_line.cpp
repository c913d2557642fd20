// The serial line of serial/serial_line.h on POSIX (termios).
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "serial/serial_line.h"

namespace orv::serial {
namespace {

Failure lastError() { return fail(reason(errno)); }

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

Result<Fd> openLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return lastError();
    return Fd(fd);
}

bool lineCanSetBaud(std::int32_t baud) { return speedOf(baud) != 0; }

bool lineHasMarkSpaceParity() {
#ifdef CMSPAR
    return true;
#else
    return false;
#endif
}

Status checkLine(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return lastError();
    // Only a master answers with its pseudo-terminal's number.
    unsigned number = 0;
    if (::ioctl(fd, TIOCGPTN, &number) == 0) {
        return fail("it is the master side of a pseudo-terminal");
    }
    return Done{};
}

Status setLine(int fd, const PortSettings& s) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return lastError();
    const speed_t speed = speedOf(s.baud);
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
            return fail(reason(ENOTSUP));  // refused before, by lineHasMarkSpaceParity()
#endif
    }
    if (s.stopBits == StopBits::Two) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return lastError();
    return Done{};
}

Result<std::size_t> writeSome(int fd, std::string_view bytes) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EAGAIN || errno == EINTR) return std::size_t{0};
    return lastError();
}

Result<std::size_t> readSome(int fd, char* into, std::size_t size) {
    const ssize_t n = ::read(fd, into, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EAGAIN || errno == EINTR) return std::size_t{0};
    return lastError();
}

Result<LineState> waitForLine(int fd, bool toWrite, int waitMs) {
    pollfd p{fd, static_cast<short>(toWrite ? POLLOUT : POLLIN), 0};
    const int ready = ::poll(&p, 1, waitMs);
    if (ready < 0 && errno != EINTR) return lastError();
    if (ready <= 0) return LineState::Quiet;
    return (p.revents & (POLLERR | POLLHUP | POLLNVAL)) ? LineState::Gone : LineState::Ready;
}

Result<Drained> drainLine(int fd) {
    if (::tcdrain(fd) == 0) return Drained::All;
    if (errno == EINTR) return Drained::Interrupted;
    return lastError();
}

void discardOutput(int fd) { ::tcflush(fd, TCOFLUSH); }

void discardInput(int fd) { ::tcflush(fd, TCIFLUSH); }

}  // namespace orv::serial
