#include "cli/replacement_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/file.h"
#include "common/text.h"

namespace orv::cli {
namespace fs = std::filesystem;
namespace {

const std::string kPart = ".part-";

// The start of the target's file name that its temporary names begin with:
// all of it, unless the name is so long that ".part-PID-XXXXXX" would take
// it past 255 bytes; then as much as leaves room, cut where a character
// begins.
std::string stem(const std::string& fileName) {
    const std::size_t room = 255 - kPart.size() - 10 - 7;  // a pid of up to 10 digits
    if (fileName.size() <= room) return fileName;
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(fileName[cut]) & 0xC0) == 0x80) --cut;
    return fileName.substr(0, cut);
}

// The pid in a temporary file's name "TARGET.part-PID-XXXXXX", or -1.
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

int removeStaleTemporaries(const std::string& target) {
    const fs::path out(target);
    const fs::path folder = out.has_parent_path() ? out.parent_path() : fs::path(".");
    const std::string base = stem(out.filename().string());
    std::error_code ec;
    std::vector<fs::path> stale;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const long pid = pidOf(entry.path().filename().string(), base);
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

Status ReplacementFile::open() {
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return fail("cannot replace " + quotedName(target_) + ": it is not a regular file");
    }
    removeStaleTemporaries(target_);
    const fs::path out(target_);
    std::string name = (out.parent_path() / stem(out.filename().string())).string() + kPart +
                       std::to_string(::getpid()) + "-XXXXXX";
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) return fail("cannot write beside " + quotedName(target_) + ": " + reason(errno));
    // A new file takes the permissions a plain create would give it.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    temporary_ = name;
    return Done{};
}

Status ReplacementFile::write(std::string_view bytes) {
    if (Status written = writeAll(fd_, bytes); !written) {
        return fail("cannot write " + quotedName(target_) + ": " + written.error());
    }
    return Done{};
}

Status ReplacementFile::commit() {
    const bool synced = ::fsync(fd_) == 0;
    int error = synced ? 0 : errno;
    if (::close(fd_) != 0 && synced) error = errno;
    fd_ = -1;
    if (!error && ::rename(temporary_.c_str(), target_.c_str()) != 0) error = errno;
    if (error) {
        abandon();
        return fail("cannot put " + quotedName(target_) + " in place: " + reason(error));
    }
    temporary_.clear();
    return Done{};
}

void ReplacementFile::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace orv::cli
