// Fuzz target: the frame stream's decoder on any bytes, given a header that
// agrees with them (magic, version, flags, rate and size set; an odd byte 4
// makes a stream of version 2, of a frame size from bytes 16 and 18) so that
// the tables and the frames are what varies. Checks that it never reads outside the stream (the
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
    const bool sized = bytes.size() >= ORVC_SIZED_HEADER_BYTES && (bytes[4] & 1);
    const char head[] = {ORVC_MAGIC0, ORVC_MAGIC1, ORVC_MAGIC2, ORVC_MAGIC3,
                         static_cast<char>(sized ? ORVC_SIZED_VERSION : ORVC_VERSION)};
    bytes.replace(0, sizeof head, head, sizeof head);
    if (sized) {  // 8 to 256 columns, 1 to 16 pages, not 128 x 64
        const int width = 8 + static_cast<std::uint8_t>(bytes[16]) % 249;
        const int pages = 1 + static_cast<std::uint8_t>(bytes[18]) % 16;
        bytes[16] = static_cast<char>(width & 0xFF);
        bytes[17] = static_cast<char>(width >> 8);
        bytes[18] = static_cast<char>(8 * (width == 128 && pages == 8 ? 4 : pages));
        bytes[19] = 0;
    }
    bytes[5] &= ORVC_FLAG_LIGHT;
    bytes[6] = static_cast<char>(bytes[6] ? bytes[6] : 1);  // a frame rate
    bytes[7] = 0;
    bytes[9] = bytes[10] = bytes[11] = 0;  // at most 255 frames
    for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<char>(bytes.size() >> (8 * i));

    std::vector<orv::Frame> frames;
    const orv::Result<orv::codec::StreamInfo> read =
        orv::codec::decodeStream(bytes, [&](const orv::Frame& f) { frames.push_back(f); });
    if (!read) {
        FUZZ_CHECK(read.error().find('\n') == std::string::npos);
        return 0;
    }
    FUZZ_CHECK(frames.size() == read.value().frames);
    if (frames.empty()) return 0;
    orv::codec::Encoder e(read.value().size);
    for (const auto& f : frames) e.add(f);
    const std::vector<std::uint8_t> again = e.stream(frames.size(), 31, false);
    FUZZ_CHECK(again.size() == e.streamBytes(frames.size()));
    std::size_t n = 0;
    const std::string_view text(reinterpret_cast<const char*>(again.data()), again.size());
    const orv::Result<orv::codec::StreamInfo> back =
        orv::codec::decodeStream(text, [&](const orv::Frame& f) {
            FUZZ_CHECK(n < frames.size() && f == frames[n]);
            ++n;
        });
    FUZZ_CHECK(back.ok() && n == frames.size());
    return 0;
}
