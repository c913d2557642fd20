// Fuzz target: the frame stream's decoder on any bytes, given a header that
// agrees with them (magic, version, flags, rate and size set) so that the tables and the
// frames are what varies. Checks that it never reads outside the stream (the
// sanitizers), fails in one line, and that whatever frames it gives come back
// the same through the encoder and the decoder again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "lcd/codec.h"
#include "orv_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.size() < ORVC_HEADER_BYTES || bytes.size() > (1u << 20)) return 0;
    const char head[] = {ORVC_MAGIC0, ORVC_MAGIC1, ORVC_MAGIC2, ORVC_MAGIC3, ORVC_VERSION};
    bytes.replace(0, sizeof head, head, sizeof head);
    bytes[5] &= ORVC_FLAG_LIGHT;
    bytes[6] = static_cast<char>(bytes[6] ? bytes[6] : 1);  // a frame rate
    bytes[7] = 0;
    bytes[9] = bytes[10] = bytes[11] = 0;  // at most 255 frames
    for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<char>(bytes.size() >> (8 * i));

    std::vector<orv::FramePages> frames;
    const orv::Result<orv::codec::StreamInfo> read =
        orv::codec::decodeStream(bytes, [&](const orv::FramePages& f) { frames.push_back(f); });
    if (!read) {
        FUZZ_CHECK(read.error().find('\n') == std::string::npos);
        return 0;
    }
    FUZZ_CHECK(frames.size() == read.value().frames);
    if (frames.empty()) return 0;
    orv::codec::Encoder e;
    for (const auto& f : frames) e.add(f);
    const std::vector<std::uint8_t> again = e.stream(frames.size(), 31, false);
    FUZZ_CHECK(again.size() == e.streamBytes(frames.size()));
    std::size_t n = 0;
    const std::string_view text(reinterpret_cast<const char*>(again.data()), again.size());
    const orv::Result<orv::codec::StreamInfo> back =
        orv::codec::decodeStream(text, [&](const orv::FramePages& f) {
            FUZZ_CHECK(n < frames.size() && f == frames[n]);
            ++n;
        });
    FUZZ_CHECK(back.ok() && n == frames.size());
    return 0;
}
