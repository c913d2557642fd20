// Reading a "pmh" frame stream on the host: its header, strictly, and its
// frames, through the boards' decoder (orv_codec.h).
#include <cstdio>

#include "common/text.h"
#include "lcd/codec.h"
#include "orv_codec.h"

namespace orv::codec {

bool looksLikeStream(std::string_view bytes) {
    return bytes.size() >= 4 && static_cast<std::uint8_t>(bytes[0]) == ORVC_MAGIC0 &&
           static_cast<std::uint8_t>(bytes[1]) == ORVC_MAGIC1 &&
           static_cast<std::uint8_t>(bytes[2]) == ORVC_MAGIC2 &&
           static_cast<std::uint8_t>(bytes[3]) == ORVC_MAGIC3;
}

Result<StreamInfo> readStreamInfo(std::string_view bytes) {
    const std::string stream = std::string("the ") + kName + " stream's ";
    if (!looksLikeStream(bytes)) return fail("not a " + std::string(kName) + " stream");
    auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    if (bytes.size() > 4 && at(4) != ORVC_VERSION && at(4) != ORVC_SIZED_VERSION) {
        return fail("a " + std::string(kName) + " stream of version " + std::to_string(at(4)) +
                    " (this orv reads " + std::to_string(ORVC_VERSION) + " and " +
                    std::to_string(ORVC_SIZED_VERSION) + ")");
    }
    const bool sized = bytes.size() > 4 && at(4) == ORVC_SIZED_VERSION;
    const std::size_t header = sized ? ORVC_SIZED_HEADER_BYTES : ORVC_HEADER_BYTES;
    if (bytes.size() < header) {
        return fail(stream + "header is cut short (" + std::to_string(bytes.size()) + " of " +
                    std::to_string(header) + " bytes)");
    }
    FrameSize frames = kLcdSize;
    if (sized) {
        frames = FrameSize{at(16) | at(17) << 8, at(18)};
        const std::string said = "frame size (bytes 16..18)";
        if (Status ok = checkFrameSize(frames, said + " \"" + sizeName(frames) + "\""); !ok) {
            return fail(stream + ok.error());
        }
        if (frames == kLcdSize) return fail(stream + said + " is 128 x 64, which version 1 holds");
        if (at(19) != 0) return fail(stream + "byte 19 is not 0");
    }
    // The flag bits this version defines; a stream with any other is refused.
    constexpr std::uint8_t kFlags = ORVC_FLAGS;
    char field[96] = "";
    if (at(5) & ~kFlags) {
        std::snprintf(field, sizeof field,
                      "flags (byte 5) are 0x%02X, of which only 0x%02X are defined", at(5), kFlags);
    } else if (at(6) == 0) {
        std::snprintf(field, sizeof field, "frame rate (byte 6) is 0, not 1..255");
    } else if (at(7) != 0) {
        std::snprintf(field, sizeof field, "byte 7 is 0x%02X, not 0", at(7));
    }
    if (*field) return fail(stream + field);
    std::uint64_t size = 0;
    for (int i = 3; i >= 0; --i) size = size << 8 | at(12 + i);
    if (size != bytes.size()) {
        return fail(stream + "size (bytes 12..15) is " + std::to_string(size) +
                    " bytes, but it holds " + std::to_string(bytes.size()));
    }
    orvc_decoder d;
    if (bytes.size() > UINT32_MAX ||
        orvc_open(&d, bytes.data(), static_cast<orvc_offset>(bytes.size())) != ORVC_OK) {
        return fail(stream + "code tables are cut short or damaged");
    }
    return StreamInfo{d.frames, d.fps, (d.flags & ORVC_FLAG_LIGHT) != 0, bytes.size(), frames};
}

Result<StreamInfo> decodeStream(std::string_view bytes,
                                const std::function<void(const Frame&)>& frame) {
    Result<StreamInfo> info = readStreamInfo(bytes);
    if (!info) return info;
    orvc_decoder d;
    (void)orvc_open(&d, bytes.data(), static_cast<orvc_offset>(bytes.size()));
    Frame pages(info.value().size), first(info.value().size);
    orvc_rewind(&d, pages.data());
    const std::string count = std::string("the ") + kName + " stream's frame count (bytes 8..11, " +
                              std::to_string(d.frames) + ")";
    for (std::uint32_t i = 0; i < d.frames; ++i) {
        if (orvc_next(&d, pages.data()) < 0) {
            return fail("frame " + std::to_string(i) + " of the " + kName +
                        " stream is damaged or cut short, or " + count + " is too large");
        }
        if (i == 0) first = pages;
        if (frame) frame(pages);
    }
    // The wrap frame, after the last, brings the first back.
    if ((d.flags & ORVC_FLAG_WRAP) && d.frames > 0) {
        const int mask = orvc_start(&d, 1);
        for (std::uint8_t p = 0; p < d.pages && mask >= 0; ++p) {
            if ((mask >> p & 1) && orvc_page(&d, pages.data(), p, nullptr) != ORVC_OK) {
                pages[0] = static_cast<std::uint8_t>(~first[0]);  // damaged: not the first
            }
        }
        if (mask < 0 || pages != first) {
            return fail("the wrap frame of the " + std::string(kName) +
                        " stream is damaged or cut short, or " + count + " is wrong");
        }
    }
    // The stream ends in its last byte, and the bits after its end are 0.
    if (d.pos != d.size) {
        return fail(count + " is too small: " + counted(d.size - d.pos, "byte") + " follow" +
                    (d.size - d.pos == 1 ? "s" : "") + " the last frame");
    }
    // The decoder keeps the bits not yet taken above a marker bit: padding of
    // zeros leaves the marker alone.
    if ((d.bits & static_cast<std::uint8_t>(d.bits - 1)) != 0) {
        return fail(std::string("the ") + kName +
                    " stream's last byte is padded with bits that are not 0");
    }
    return info;
}

}  // namespace orv::codec
