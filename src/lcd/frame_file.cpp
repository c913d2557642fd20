#include "lcd/frame_file.h"

#include <cerrno>

#include "common/file.h"
#include "common/text.h"
#include "lcd/frame_record.h"
#include "lcd/orv_reader.h"

namespace orv {
namespace {

Failure refused(const std::string& path, const std::string& why) {
    return fail("cannot write frame file " + quotedName(path) + ": " + why);
}

// What kind of thing stands at `path`, in words, when it is not a regular file.
std::string notRegular(FileKind kind) {
    if (kind == FileKind::Folder) return "it is a folder";
    if (kind == FileKind::Pipe) return "it is a pipe, not a regular file";
    if (kind == FileKind::Device) return "it is a device, not a regular file";
    return "it is not a regular file";
}

// Opens the frame file for appending (and reading its end), creating it when
// nothing stands at `path`. Never blocks on a pipe.
Result<Fd> openForAppend(const std::string& path, bool& created) {
    created = false;
    Result<FileInfo> here = fileInfo(path, false);
    if (!here) return refused(path, here.error());
    FileKind kind = here.value().kind;
    if (kind == FileKind::Link) {
        Result<FileInfo> target = fileInfo(path, true);
        if (!target || target.value().kind == FileKind::Missing) {
            const std::string why = target ? reason(ENOENT) : target.error();
            return refused(path, "it is a symbolic link to nothing (" + why + ")");
        }
        kind = target.value().kind;
    }
    if (kind != FileKind::Missing && kind != FileKind::Regular) {
        return refused(path, notRegular(kind));
    }
    Result<Fd> fd = openToAppend(path, created);
    if (!fd) return refused(path, fd.error());
    // What was opened, whatever the path showed a moment before.
    Result<FileInfo> opened = fileInfo(fd.value().get());
    if (!opened) return refused(path, opened.error());
    if (opened.value().kind != FileKind::Regular) {
        return refused(path, notRegular(opened.value().kind));
    }
    return fd;
}

// Takes the file's exclusive lock, waiting for other writers.
Status lockWhole(int fd, const std::string& path) {
    if (Status locked = lockExclusive(fd); !locked) {
        return refused(path, "cannot lock it: " + locked.error());
    }
    return Done{};
}

// The length of the whole records of a file of `size` bytes: `size` when the
// whole file reads as frame records, less when whole records are followed by
// a partial one (what a crash or a full disk leaves). Anything else is
// refused: a file that is no frame file, or one broken before its end, is
// never cut or added to, and neither is one with no whole record, nor one of
// frames of another size than `frames`.
Result<std::uint64_t> wholeLength(int fd, std::uint64_t size, const std::string& path,
                                  FrameSize frames) {
    if (size == 0) return std::uint64_t{0};
    ReadEnd end;
    Result<std::uint64_t> read = readFrameDescriptor(fd, path, nullptr, &end);
    if (end.size != frames && (read || end.wholeBytes > 0)) {
        return refused(path, "it holds frames of " + sizeWords(end.size) + ", not " +
                                 sizeWords(frames) + "; nothing was added to it");
    }
    if (read) return size;
    if (end.partialTail && end.wholeBytes > 0) return end.wholeBytes;
    return fail(read.error() + "; nothing was added to it");
}

Result<Appended> appendLocked(int fd, const std::string& path, std::string_view record,
                              FrameSize frames, bool checkEnd) {
    Appended done;
    Result<FileInfo> info = fileInfo(fd);
    if (!info) return refused(path, info.error());
    std::uint64_t size = info.value().size;
    if (checkEnd) {
        Result<std::uint64_t> whole = wholeLength(fd, size, path, frames);
        if (!whole) return whole.failure();
        if (whole.value() < size) {
            if (Status cut = truncateFile(fd, whole.value()); !cut) {
                return refused(path, "cannot cut back a partial record: " + cut.error());
            }
            done.cutBack = size - whole.value();
            size = whole.value();
        }
    }
    done.previousLength = size;
    // One write takes a whole record on a local file; a short one means the
    // disk or a size limit stopped it, and the next one says why. The first
    // record of a file takes the header of its size with it.
    const std::string header = size == 0 ? frameFileHeader(frames) : std::string();
    const Status written = writeAll(fd, header.empty() ? record : header + std::string(record));
    if (written) return done;
    if (Status cut = truncateFile(fd, size); !cut) {
        return refused(
            path, written.error() + "; cutting the partial record back failed too: " + cut.error());
    }
    return refused(path, written.error());
}

}  // namespace

Result<Appended> appendFrameRecord(const std::string& path, std::string_view record, FrameSize size,
                                   bool checkEnd) {
    bool created = false;
    Result<Fd> opened = openForAppend(path, created);
    if (!opened) return opened.failure();
    const Fd fd = std::move(opened.value());
    // Held for the whole append, so that writers to one file take turns.
    if (Status locked = lockWhole(fd.get(), path); !locked) return locked.failure();
    Result<Appended> done = appendLocked(fd.get(), path, record, size, checkEnd);
    if (!done && created) {
        Result<FileInfo> info = fileInfo(fd.get());
        // The file was ours and holds nothing.
        if (info && info.value().size == 0) (void)removeFile(path);
    }
    if (done) done.value().created = created;
    return done;
}

Result<Appended> appendToOpenFrameFile(int fd, const std::string& path, std::string_view record,
                                       FrameSize size) {
    return appendLocked(fd, path, record, size, false);
}

Status undoAppend(const std::string& path, const Appended& appended) {
    const bool gone = appended.created && appended.previousLength == 0;
    Status undone = gone ? removeFile(path) : truncateFile(path, appended.previousLength);
    if (!undone) {
        return fail("cannot take back the frame in " + quotedName(path) + ": " + undone.error());
    }
    return Done{};
}

Result<Appended> FrameAppender::append(const std::string& path, std::string_view record,
                                       FrameSize size) {
    Result<Appended> done = appendFrameRecord(path, record, size, path != checked_);
    checked_ = done ? path : std::string();
    return done;
}

Result<std::uint64_t> repairFrameFile(const std::string& path) {
    Result<FileInfo> there = fileInfo(path, true);
    if (!there || there.value().kind == FileKind::Missing) {
        return fail("cannot repair " + quotedName(path) + ": " +
                    (there ? reason(ENOENT) : there.error()));
    }
    // Locked while the file is checked and cut, so that no append comes
    // between; opened for writing only to cut, so that a whole file that
    // cannot be written is found whole all the same.
    Result<Fd> opened = openToRead(path);
    if (!opened) return fail("cannot repair " + quotedName(path) + ": " + opened.error());
    const Fd fd = std::move(opened.value());
    Result<FileInfo> kind = fileInfo(fd.get());
    if (kind && kind.value().kind == FileKind::Regular) {
        if (Status locked = lockWhole(fd.get(), path); !locked) return locked.failure();
    }
    ReadEnd end;
    Result<std::uint64_t> frames = readFrameFile(path, nullptr, &end);
    if (frames) return std::uint64_t{0};
    if (!end.partialTail) return fail(frames.error() + "; that is not a partial record at the end");
    // The rule of every append: only a partial record after whole ones.
    if (end.wholeBytes == 0) return fail(frames.error() + "; nothing was cut");
    bool created = false;
    Result<Fd> writable = openForAppend(path, created);
    if (!writable) return writable.failure();
    Result<FileInfo> info = fileInfo(writable.value().get());
    if (!info) return refused(path, info.error());
    if (Status cut = truncateFile(writable.value().get(), end.wholeBytes); !cut) {
        return refused(path, cut.error());
    }
    return info.value().size - end.wholeBytes;
}

}  // namespace orv
