#include "cli/video/h264_units.h"

namespace orv::cli::video {

int h264LengthSize(const std::uint8_t* extradata, int size) {
    // An avcC record (version 1) keeps the size less one in its fifth byte.
    return size >= 7 && extradata[0] == 1 ? (extradata[4] & 3) + 1 : 0;
}

bool unreferencedH264(const std::uint8_t* data, int size, int lengthSize) {
    bool slice = false;
    auto unit = [&slice](std::uint8_t header) {
        const int type = header & 0x1f;
        const bool referenced = (header & 0x60) != 0;
        if (type == 1 && !referenced) {
            slice = true;
            return true;
        }
        return type == 9 || type == 12;  // delimiter, filler
    };
    if (lengthSize > 0) {
        std::int64_t at = 0;
        while (at + lengthSize < size) {
            std::int64_t length = 0;
            for (int i = 0; i < lengthSize; ++i) length = (length << 8) | data[at + i];
            at += lengthSize;
            if (length <= 0 || length > size - at || !unit(data[at])) return false;
            at += length;
        }
        return slice && at == size;
    }
    // Start codes: 00 00 01, the unit's header after it.
    for (int at = 0; at + 3 < size; ++at) {
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1) {
            if (!unit(data[at + 3])) return false;
            at += 3;
        }
    }
    return slice;
}

}  // namespace orv::cli::video
