// Small pieces of POSIX file handling shared by the frame file, the command
// line's outputs and the serial device.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>

namespace orv {

// The words for an errno value ("No space left on device").
inline std::string reason(int error) { return std::generic_category().message(error); }

// Writes all of `bytes` to `fd`, again after a signal or a short write. 0
// when all went, else the errno that stopped it (EIO for a write that took
// nothing).
inline int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file the program opens later becomes its standard input or output. First
// thing in main().
inline void occupyStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor: this one.
            if (::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) < 0) return;
        }
    }
}

// A descriptor closed when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace orv
