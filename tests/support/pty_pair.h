// A pair of pseudo-terminals joined by socat: what goes into `near` comes out
// of `far`, as through a serial cable.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "files.h"

namespace orv::test {

class PtyPair {
  public:
    explicit PtyPair(const std::filesystem::path& folder, const std::string& tag = "pty")
        : near_((folder / (tag + "-near")).string()), far_((folder / (tag + "-far")).string()) {
        std::error_code ec;  // links left by an earlier pair of the same name
        std::filesystem::remove(near_, ec);
        std::filesystem::remove(far_, ec);
        const std::string a = "pty,raw,echo=0,link=" + near_;
        const std::string b = "pty,raw,echo=0,link=" + far_;
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            // socat dies with the test, even a killed one, and keeps none of
            // its descriptors (a lock held around the test run, say).
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
            ::close_range(3, ~0U, 0);
            ::execlp("socat", "socat", a.c_str(), b.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 5000 && !ready(); ++i) ::usleep(1000);
    }
    ~PtyPair() { stop(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Both ends there and raw: socat makes the links before it sets the lines
    // raw, and a byte written before then would go through as a terminal's.
    bool ready() const { return raw(near_) && raw(far_); }
    const std::string& near() const { return near_; }
    const std::string& far() const { return far_; }
    // Opens one end for this process (non-blocking), or -1.
    static int openEnd(const std::string& end) {
        return ::open(end.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    // What has arrived at an open end so far, without waiting.
    static std::string readAvailable(int fd) {
        std::string got;
        char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) got.append(buf, std::size_t(n));
        return got;
    }
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

  private:
    static bool raw(const std::string& end) {
        const int fd = openEnd(end);
        termios t{};
        const bool raw = fd >= 0 && ::tcgetattr(fd, &t) == 0 && !(t.c_oflag & OPOST) &&
                         !(t.c_lflag & (ICANON | ECHO));
        if (fd >= 0) ::close(fd);
        return raw;
    }

    std::string near_, far_;
    pid_t pid_ = -1;
};

}  // namespace orv::test
