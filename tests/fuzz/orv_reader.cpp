// Fuzz target: the frame-file reader on any bytes. Checks what the reader
// promises: a one-line failure, a success that the writer reproduces byte for
// byte, and a partial tail that `wholeBytes` cuts off cleanly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "lcd/frame_record.h"
#include "lcd/orv_reader.h"

namespace {

// The records of `frames` as the writer writes them, after the header of
// their size.
std::string rebuilt(const std::vector<orv::Frame>& frames) {
    std::string text = frames.empty() ? "" : orv::frameFileHeader(frames[0].size());
    for (const orv::Frame& f : frames) text += orv::buildFrameRecord(f.bytes());
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::vector<orv::Frame> frames;
    orv::ReadEnd end;
    const orv::Result<std::uint64_t> read = orv::readFrameRecords(
        text, [&](const orv::Frame& f) { frames.push_back(f); }, &end);
    const orv::FrameSize frameSize = frames.empty() ? orv::kLcdSize : frames[0].size();

    FUZZ_CHECK(end.wholeBytes <= size);

    // Whole records are handed out in order, as the writer writes them.
    const std::string records = rebuilt(frames);
    FUZZ_CHECK(text.substr(0, records.size()) == records);

    if (read.ok()) {
        FUZZ_CHECK(read.value() == frames.size());
        // A header and no record is a file of no frames of that size.
        FUZZ_CHECK(records == text || (frames.empty() && text == orv::frameFileHeader(end.size)));
        FUZZ_CHECK(end.wholeBytes == (frames.empty() ? 0 : text.size()) && !end.partialTail);
        FUZZ_CHECK(!orv::isPartialRecord(text));
        return 0;
    }

    const std::string& message = read.error();
    FUZZ_CHECK(message.rfind("line ", 0) == 0);
    FUZZ_CHECK(message.find_first_of("\r\n") == std::string::npos);
    // Set when the whole text was taken as lines: up to the last whole record.
    FUZZ_CHECK(end.wholeBytes == 0 || end.wholeBytes == records.size());

    if (end.partialTail) {
        // Cut back to `wholeBytes`, the file reads; what was cut is a partial
        // record on its own.
        const std::string_view whole = text.substr(0, end.wholeBytes);
        const orv::Result<std::uint64_t> cut = orv::readFrameRecords(whole, nullptr);
        FUZZ_CHECK(cut.ok() && cut.value() == frames.size());
        FUZZ_CHECK(orv::isPartialRecord(text.substr(end.wholeBytes), frameSize));
    }

    FUZZ_CHECK(!orv::isPartialRecord(text) ||
               (end.partialTail && end.wholeBytes == 0 && frames.empty()));
    return 0;
}
