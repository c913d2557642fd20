// Reading H.264 packets unit by unit (NAL units), to tell before decoding
// which packets no other picture needs.
#pragma once

#include <cstdint>

namespace orv::cli::video {

// The size of the length that stands before each unit of an H.264 stream
// with this codec extradata: 1 to 4 (MP4 and Matroska), or 0 where the units
// follow start codes.
int h264LengthSize(const std::uint8_t* extradata, int size);

// Whether an H.264 packet holds a picture that no other picture refers to and
// nothing else the decoder keeps: only slices with nal_ref_idc 0, access unit
// delimiters and filler. Such a packet can be left out without changing how
// the others decode. `lengthSize` is the size of the NAL lengths (MP4 and
// Matroska), or 0 for start codes.
bool unreferencedH264(const std::uint8_t* data, int size, int lengthSize);

}  // namespace orv::cli::video
