// The size of a one-bit frame, and a frame of any size in the page layout.
// The LCD's own frames are 128 x 64 (FramePages, frame.h); the command line,
// the frame file, the frame stream and the serial link take other panels'
// sizes too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "lcd/frame.h"

namespace orv {

// `width` columns of `height` rows, the rows in pages of 8.
struct FrameSize {
    int width = 128;
    int height = 64;

    int pages() const { return height / 8; }
    // Bytes of a frame in the page layout.
    std::size_t bytes() const { return static_cast<std::size_t>(width) * (height / 8); }
    std::size_t pixels() const { return static_cast<std::size_t>(width) * height; }
    bool operator==(const FrameSize&) const = default;
};

// The LCD's size: the size of a frame file without a header line.
inline constexpr FrameSize kLcdSize{128, 64};

// The sizes a frame may have: width 8 to 256, height a multiple of 8 from 8
// to 128.
inline constexpr int kMinWidth = 8, kMaxWidth = 256, kMinHeight = 8, kMaxHeight = 128;

// "WxH" (decimal, no sign or leading zero), within the sizes above; the
// failure says what is wrong in words that name `what` ("--size").
Result<FrameSize> parseFrameSize(std::string_view text, const std::string& what = "a size");

// Whether a frame may have `size`; the failure says which side is out of
// range, after `said` (what gave the size, and how).
Status checkFrameSize(FrameSize size, const std::string& said);

// "128x32", as parseFrameSize reads it back.
std::string sizeName(FrameSize size);
// "128 x 32", for messages.
std::string sizeWords(FrameSize size);

// A frame of any size in the page layout: `pages()` pages of `width` column
// bytes, byte width * p + c being page p, column c; bit k of a byte is row
// 8p + k, a set bit a dark pixel (unless said otherwise where it is sent).
class Frame {
  public:
    explicit Frame(FrameSize size = kLcdSize) : size_(size), bytes_(size.bytes(), 0) {}
    // The LCD's packed frame, as a frame of its size.
    Frame(const FramePages& pages) : size_(kLcdSize), bytes_(pages.begin(), pages.end()) {}

    FrameSize size() const { return size_; }
    std::size_t byteCount() const { return bytes_.size(); }
    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::span<std::uint8_t> bytes() { return bytes_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
    std::uint8_t operator[](std::size_t i) const { return bytes_[i]; }
    // Page p's column bytes.
    std::span<const std::uint8_t> page(int p) const {
        return std::span<const std::uint8_t>(bytes_).subspan(
            static_cast<std::size_t>(size_.width) * p, static_cast<std::size_t>(size_.width));
    }
    // Whether the pixel at (column, row from the top) is set.
    bool dark(int column, int row) const {
        return (bytes_[static_cast<std::size_t>(size_.width * (row / 8) + column)] >> (row % 8)) &
               1;
    }
    bool operator==(const Frame&) const = default;

  private:
    FrameSize size_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace orv
