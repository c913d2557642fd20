// The files of common/file.h on POSIX.
#include "common/platform/posix_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "common/file.h"

namespace orv {
namespace {

Failure lastError() { return fail(reason(errno)); }

FileInfo infoOf(const struct stat& st) {
    FileInfo info;
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.kind = S_ISREG(st.st_mode)                          ? FileKind::Regular
                : S_ISDIR(st.st_mode)                        ? FileKind::Folder
                : S_ISFIFO(st.st_mode)                       ? FileKind::Pipe
                : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? FileKind::Device
                : S_ISLNK(st.st_mode)                        ? FileKind::Link
                                                             : FileKind::Other;
    return info;
}

Result<Fd> opened(int fd) {
    if (fd < 0) return lastError();
    return Fd(fd);
}

}  // namespace

void Fd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Result<FileInfo> fileInfo(const std::string& path, bool followLinks) {
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0) {
        return infoOf(st);
    }
    if (errno == ENOENT) return FileInfo{};
    return lastError();
}

Result<FileInfo> fileInfo(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return lastError();
    return infoOf(st);
}

Result<Fd> openToRead(const std::string& path) {
    return opened(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

Result<Fd> openToAppend(const std::string& path, bool& created) {
    constexpr int kFlags = O_RDWR | O_APPEND | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
    created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), kFlags);
    return opened(fd);
}

Result<std::size_t> readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
    for (;;) {
        const ssize_t got = ::pread(fd, into, size, static_cast<off_t>(offset));
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) return lastError();
    }
}

Status writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(reason(n < 0 ? errno : EIO));
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return Done{};
}

Status lockExclusive(int fd) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return lastError();
    }
    return Done{};
}

Status truncateFile(int fd, std::uint64_t length) {
    if (::ftruncate(fd, static_cast<off_t>(length)) != 0) return lastError();
    return Done{};
}

Status truncateFile(const std::string& path, std::uint64_t length) {
    if (::truncate(path.c_str(), static_cast<off_t>(length)) != 0) return lastError();
    return Done{};
}

Status removeFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return lastError();
    return Done{};
}

void occupyStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor: this one.
            if (::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY) < 0) return;
        }
    }
}

void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace orv
