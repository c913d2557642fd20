#include "cli/record_sink.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "lcd/orv_reader.h"

namespace orv::cli {
namespace fs = std::filesystem;
namespace {

std::string reason(int error) { return std::generic_category().message(error); }

const std::string kPart = ".part-";

// The pid in a temporary file's name "OUTPUT.part-PID-XXXXXX", or -1.
long pidOf(const std::string& name, const std::string& base) {
    if (name.size() <= base.size() + kPart.size() + 7 || name.compare(0, base.size(), base) != 0 ||
        name.compare(base.size(), kPart.size(), kPart) != 0) {
        return -1;
    }
    const std::string rest = name.substr(base.size() + kPart.size());
    const std::size_t dash = rest.size() - 7;
    if (rest[dash] != '-') return -1;
    long pid = 0;
    for (std::size_t i = 0; i < dash; ++i) {
        if (rest[i] < '0' || rest[i] > '9' || pid > 100000000) return -1;
        pid = pid * 10 + (rest[i] - '0');
    }
    return dash > 0 ? pid : -1;
}

}  // namespace

int removeStaleTemporaries(const std::string& output) {
    const fs::path out(output);
    const fs::path folder = out.has_parent_path() ? out.parent_path() : fs::path(".");
    const std::string base = out.filename().string();
    std::error_code ec;
    std::vector<fs::path> stale;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const long pid = pidOf(name, base);
        if (pid <= 0) continue;
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::getuid()) {
            continue;  // never a link, a folder or somebody else's file
        }
        const bool gone =
            pid == ::getpid() || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
        if (gone) stale.push_back(entry.path());
    }
    int removed = 0;
    for (const fs::path& p : stale) removed += ::unlink(p.c_str()) == 0;
    return removed;
}

RecordSink::RecordSink(std::string output, Mode mode) : output_(std::move(output)), mode_(mode) {}

RecordSink::~RecordSink() {
    if (fd_ >= 0) ::close(fd_);
}

Status RecordSink::open() {
    if (mode_ == Mode::Append) {
        // The same rules as orv info: a file that is not whole is not added to.
        Result<std::uint64_t> frames = readFrameFile(output_, nullptr);
        if (!frames) return fail("cannot add to " + frames.error());
        return Done{};
    }
    if (mode_ != Mode::Replace) return Done{};
    struct stat st {};
    if (::stat(output_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return fail("cannot replace \"" + output_ + "\": it is not a regular file");
    }
    removeStaleTemporaries(output_);
    std::string name = output_ + kPart + std::to_string(::getpid()) + "-XXXXXX";
    // Made new, exclusively: nothing planted at the name is ever written through.
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) return fail("cannot write beside \"" + output_ + "\": " + reason(errno));
    temporary_ = name;
    return Done{};
}

Status RecordSink::write(const std::string& record) {
    Result<Appended> r = mode_ == Mode::Replace ? appendToOpenFrameFile(fd_, temporary_, record)
                                                : appender_.append(output_, record);
    if (!r) return fail(r.error());
    ++written_;
    return Done{};
}

Status RecordSink::finish() {
    if (mode_ != Mode::Replace) return Done{};
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        fd_ = -1;
        const int error = errno;
        abandon();
        return fail("cannot write \"" + temporary_ + "\": " + reason(error));
    }
    fd_ = -1;
    if (::rename(temporary_.c_str(), output_.c_str()) != 0) {
        const int error = errno;
        abandon();
        return fail("cannot replace \"" + output_ + "\": " + reason(error));
    }
    temporary_.clear();
    return Done{};
}

void RecordSink::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace orv::cli
