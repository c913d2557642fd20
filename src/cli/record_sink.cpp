#include "cli/record_sink.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "lcd/frame_record.h"

namespace orv::cli {

RecordSink::RecordSink(std::string output, Mode mode) : output_(std::move(output)), mode_(mode) {
    target_ = mode_ == Mode::Replace ? output_ + ".part-" + std::to_string(::getpid()) : output_;
}

Status RecordSink::write(const std::string& record) {
    Result<std::uint64_t> r = appendFrameRecord(target_, record);
    if (!r) return fail(r.error());
    ++written_;
    return Done{};
}

Status RecordSink::finish() {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (written_ == 0 && !fs::exists(target_, ec)) {
        std::FILE* f = std::fopen(target_.c_str(), "ab");
        if (!f) return fail("cannot create \"" + target_ + "\"");
        std::fclose(f);
    }
    if (mode_ == Mode::Replace) {
        fs::rename(target_, output_, ec);
        if (ec) {
            abandon();
            return fail("cannot replace \"" + output_ + "\": " + ec.message());
        }
    }
    return Done{};
}

void RecordSink::abandon() {
    if (mode_ == Mode::Replace) {
        std::error_code ec;
        std::filesystem::remove(target_, ec);
    }
}

}  // namespace orv::cli
