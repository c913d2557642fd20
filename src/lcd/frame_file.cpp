#include "lcd/frame_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <system_error>

#include "common/posix_io.h"
#include "common/text.h"
#include "lcd/frame_record.h"
#include "lcd/orv_reader.h"

namespace orv {
namespace {

Failure refused(const std::string& path, const std::string& why) {
    return fail("cannot write frame file " + quotedName(path) + ": " + why);
}

// What kind of thing stands at `path`, in words, when it is not a regular file.
std::string notRegular(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    if (S_ISFIFO(st.st_mode)) return "it is a pipe, not a regular file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "it is a device, not a regular file";
    return "it is not a regular file";
}

// Opens the frame file for appending (and reading its end), creating it when
// nothing stands at `path`. Never blocks on a pipe.
Result<int> openForAppend(const std::string& path, bool& created) {
    created = false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        struct stat target {};
        if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &target) != 0) {
            return refused(path, "it is a symbolic link to nothing (" + reason(errno) + ")");
        }
        if (S_ISLNK(st.st_mode)) st = target;
        if (!S_ISREG(st.st_mode)) return refused(path, notRegular(st));
    } else if (errno != ENOENT) {
        return refused(path, reason(errno));
    }
    constexpr int kFlags = O_RDWR | O_APPEND | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
        created = true;
    } else if (errno == EEXIST) {
        fd = ::open(path.c_str(), kFlags);
    }
    if (fd < 0) return refused(path, reason(errno));
    // What was opened, whatever the path showed a moment before.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string why = S_ISREG(st.st_mode) ? reason(errno) : notRegular(st);
        ::close(fd);
        return refused(path, why);
    }
    return fd;
}

// Takes the file's exclusive lock, waiting for other writers.
Status lockWhole(int fd, const std::string& path) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return refused(path, "cannot lock it: " + reason(errno));
    }
    return Done{};
}

// The length of the whole records of a file of `size` bytes: `size` when the
// whole file reads as frame records, less when whole records are followed by
// a partial one (what a crash or a full disk leaves). Anything else is
// refused: a file that is no frame file, or one broken before its end, is
// never cut or added to, and neither is one with no whole record.
Result<std::uint64_t> wholeLength(int fd, std::uint64_t size, const std::string& path) {
    if (size == 0) return std::uint64_t{0};
    ReadEnd end;
    Result<std::uint64_t> frames = readFrameDescriptor(fd, path, nullptr, &end);
    if (frames) return size;
    if (end.partialTail && end.wholeBytes > 0) return end.wholeBytes;
    return fail(frames.error() + "; nothing was added to it");
}

Result<Appended> appendLocked(int fd, const std::string& path, std::string_view record,
                              bool checkEnd) {
    Appended done;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return refused(path, reason(errno));
    auto size = static_cast<std::uint64_t>(st.st_size);
    if (checkEnd) {
        Result<std::uint64_t> whole = wholeLength(fd, size, path);
        if (!whole) return fail(whole.error());
        if (whole.value() < size) {
            if (::ftruncate(fd, static_cast<off_t>(whole.value())) != 0) {
                return refused(path, "cannot cut back a partial record: " + reason(errno));
            }
            done.cutBack = size - whole.value();
            size = whole.value();
        }
    }
    done.previousLength = size;
    // One write takes a whole record on a local file; a short one means the
    // disk or a size limit stopped it, and the next one says why.
    const int error = writeAll(fd, record);
    if (!error) return done;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        return refused(
            path, reason(error) + "; cutting the partial record back failed too: " + reason(errno));
    }
    return refused(path, reason(error));
}

}  // namespace

Result<Appended> appendFrameRecord(const std::string& path, std::string_view record,
                                   bool checkEnd) {
    bool created = false;
    Result<int> opened = openForAppend(path, created);
    if (!opened) return fail(opened.error());
    const Fd fd(opened.value());
    // Held for the whole append, so that writers to one file take turns.
    if (Status locked = lockWhole(fd.get(), path); !locked) return fail(locked.error());
    Result<Appended> done = appendLocked(fd.get(), path, record, checkEnd);
    struct stat st {};
    if (!done && created && ::fstat(fd.get(), &st) == 0 && st.st_size == 0) {
        ::unlink(path.c_str());  // the file was ours and holds nothing
    }
    if (done) done.value().created = created;
    return done;
}

Result<Appended> appendToOpenFrameFile(int fd, const std::string& path, std::string_view record) {
    return appendLocked(fd, path, record, false);
}

Status undoAppend(const std::string& path, const Appended& appended) {
    if (appended.created && appended.previousLength == 0) {
        if (::unlink(path.c_str()) != 0) {
            return fail("cannot take back the frame in " + quotedName(path) + ": " + reason(errno));
        }
        return Done{};
    }
    if (::truncate(path.c_str(), static_cast<off_t>(appended.previousLength)) != 0) {
        return fail("cannot take back the frame in " + quotedName(path) + ": " + reason(errno));
    }
    return Done{};
}

Result<Appended> FrameAppender::append(const std::string& path, std::string_view record) {
    Result<Appended> done = appendFrameRecord(path, record, path != checked_);
    checked_ = done ? path : std::string();
    return done;
}

Result<std::uint64_t> repairFrameFile(const std::string& path) {
    bool created = false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return fail("cannot repair " + quotedName(path) + ": " + reason(errno));
    }
    Result<int> opened = openForAppend(path, created);
    if (!opened) return fail(opened.error());
    const Fd fd(opened.value());
    // Held while the file is checked and cut, so that no append comes between.
    if (Status locked = lockWhole(fd.get(), path); !locked) return fail(locked.error());
    ReadEnd end;
    Result<std::uint64_t> frames = readFrameFile(path, nullptr, &end);
    if (frames) return std::uint64_t{0};
    if (!end.partialTail) return fail(frames.error() + "; that is not a partial record at the end");
    if (::fstat(fd.get(), &st) != 0) return refused(path, reason(errno));
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (::ftruncate(fd.get(), static_cast<off_t>(end.wholeBytes)) != 0) {
        return refused(path, reason(errno));
    }
    return size - end.wholeBytes;
}

void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace orv
