// Files as the cores see them: a descriptor that closes itself, and the few
// calls the frame file, its reader and the serial device make on one. Every
// failure is worded with reason(); the system's side is in
// common/platform/posix_file.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "common/result.h"

namespace orv {

// The words for an errno value ("No space left on device").
inline std::string reason(int error) { return std::generic_category().message(error); }

// A descriptor closed when it goes out of scope; moving it hands it on.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    void reset();  // closes it, if open
    int fd_;
};

// What stands at a path, or behind a descriptor.
enum class FileKind { Missing, Regular, Folder, Pipe, Device, Link, Other };

struct FileInfo {
    FileKind kind = FileKind::Missing;
    std::uint64_t size = 0;
};

// What stands at `path`: a symbolic link itself with `followLinks` false, else
// what it leads to. Nothing there is FileKind::Missing, not a failure.
Result<FileInfo> fileInfo(const std::string& path, bool followLinks);
// What the open descriptor `fd` is.
Result<FileInfo> fileInfo(int fd);

// Opens `path` for reading, without waiting on a pipe that has no writer.
Result<Fd> openToRead(const std::string& path);
// Opens `path` for reading and appending, without waiting on a pipe; creates
// it (`created`) when nothing stands there.
Result<Fd> openToAppend(const std::string& path, bool& created);

// Reads up to `size` bytes at `offset` (again after a signal); 0 at the end.
Result<std::size_t> readAt(int fd, char* into, std::size_t size, std::uint64_t offset);

// Writes all of `bytes` to `fd`, again after a signal or a short write; a
// write that takes nothing fails as EIO.
Status writeAll(int fd, std::string_view bytes);

// Takes the exclusive lock of the file, waiting for whoever holds it.
Status lockExclusive(int fd);

// Cuts the file (open at `fd`, or at `path`) to `length` bytes.
Status truncateFile(int fd, std::uint64_t length);
Status truncateFile(const std::string& path, std::uint64_t length);

// Removes the file at `path`.
Status removeFile(const std::string& path);

}  // namespace orv
