// PixelGrid: the bytes of a picture as a bottom-up 32-bit device-independent
// bitmap, indexed (byte within pixel, x, y) with y = 0 the bottom row.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/result.h"

namespace orv {

// Bits per pixel of every grid in the tool: bytes blue, green, red, fourth byte.
inline constexpr std::int32_t kBitsPerPixel = 32;

class PixelGrid {
  public:
    // An empty grid: never dimensioned, no bounds.
    PixelGrid() = default;

    // Discards the contents and makes the grid (0..bytesPerPixel-1, 0..width-1,
    // 0..height-1), all bytes zero. Fails, leaving the grid as it was, when a
    // size is negative, the buffer would pass the 32-bit signed byte count of
    // a bitmap, or the memory for it cannot be had.
    Status dimension(std::int32_t bytesPerPixel, std::int32_t width, std::int32_t height);

    // Back to the empty state.
    void clear();

    bool empty() const { return !dimensioned_; }
    std::int32_t bytesPerPixel() const { return bytesPerPixel_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }

    // Byte (c, x, y), at offset (y * width + x) * bytesPerPixel + c.
    std::uint8_t& operator()(std::int32_t c, std::int32_t x, std::int32_t y) {
        assert(inBounds(c, x, y));
        return bytes_[offset(c, x, y)];
    }
    std::uint8_t operator()(std::int32_t c, std::int32_t x, std::int32_t y) const {
        assert(inBounds(c, x, y));
        return bytes_[offset(c, x, y)];
    }
    bool inBounds(std::int32_t c, std::int32_t x, std::int32_t y) const {
        return !empty() && c >= 0 && c < bytesPerPixel_ && x >= 0 && x < width_ && y >= 0 &&
               y < height_;
    }

    // The whole buffer, from byte (0, 0, 0) on: bottom row first.
    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::size_t byteCount() const { return bytes_.size(); }

    bool operator==(const PixelGrid&) const = default;

    // Largest buffer a grid may hold: a bitmap's byte count is 32-bit signed.
    static constexpr std::int64_t kMaxBytes = 0x7FFFFFFF;

    // Checks that a grid of this size can be made, without making it.
    static Status checkSize(std::int64_t bytesPerPixel, std::int64_t width, std::int64_t height);

    // The refusal of a picture of this size for want of memory, naming the size
    // (each of the three below 2^31).
    static Failure outOfMemory(std::int64_t bytesPerPixel, std::int64_t width, std::int64_t height);

  private:
    std::size_t offset(std::int32_t c, std::int32_t x, std::int32_t y) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                static_cast<std::size_t>(x)) *
                   static_cast<std::size_t>(bytesPerPixel_) +
               static_cast<std::size_t>(c);
    }

    bool dimensioned_ = false;
    std::int32_t bytesPerPixel_ = 0;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace orv
