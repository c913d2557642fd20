// Byte layouts of a frame for export, and the C source writer of orv export.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "lcd/frame_size.h"

namespace orv {

// pages: the frame's own order (8 pages of 128 column bytes at 128 x 64, bit
// k = row 8p+k).
// rows-msb: 64 rows of 16 bytes (height rows of width / 8 bytes, rounded up),
// top row first, leftmost pixel in bit 7; the bits past the last column 0.
// rows-lsb: the same with the leftmost pixel in bit 0.
enum class FrameLayout { Pages, RowsMsb, RowsLsb };

// "pages", "rows-msb" or "rows-lsb".
Result<FrameLayout> parseFrameLayout(const std::string& text);

// The name parseFrameLayout reads back.
const char* frameLayoutName(FrameLayout layout);

// Bytes of a frame of `size` in `layout`: 1,024 at 128 x 64.
std::size_t layoutBytes(FrameSize size, FrameLayout layout);

// The frame's bytes in `layout`. A set bit is a dark pixel, or a light one
// when `lightSetBit` (the bits past a row's last column stay 0).
std::vector<std::uint8_t> toLayout(const Frame& frame, FrameLayout layout, bool lightSetBit);

// Whether `name` can name the generated array: a C identifier that begins
// with a letter and is no keyword of C or C++ and no name of the standard
// headers or the Arduino core (NULL, EOF, errno, stdin, main, min...); the
// failure says why not.
Status usableIdentifier(const std::string& name);

// A C identifier made from a file name: directory and extension dropped, each
// run of characters other than ASCII letters and digits one '_' (none at
// either end), nothing left gives "frames", and a name usableIdentifier()
// refuses (a leading digit, a keyword, a library name) gets "frames_" in front.
std::string cIdentifier(const std::string& fileName);

// Writes frames as a C header, a piece at a time through `sink`:
//   begin(...), then frame(0, ...) .. frame(count - 1, ...), then end().
// The array is `static const uint8_t name[NAME_FRAME_COUNT][NAME_FRAME_BYTES]`,
// placed in program memory (PROGMEM) under avr-gcc. A call out of that order
// is refused, and so is everything after the sink has failed.
class CArrayWriter {
  public:
    using Sink = std::function<Status(std::string_view)>;

    explicit CArrayWriter(Sink sink);

    // `name` must be usable (see usableIdentifier); `count` at least 1;
    // frames of `size`, `frameBytes` each. The other three texts go into
    // the header comment.
    Status begin(const std::string& name, std::uint64_t count, const std::string& sourceName,
                 const std::string& layoutName, const std::string& polarityName,
                 FrameSize size = kLcdSize, std::size_t frameBytes = 1024);
    Status frame(std::uint64_t index, std::span<const std::uint8_t> bytes);
    Status end();

  private:
    Status put(std::string_view text);

    enum class State { Fresh, Open, Closed, Broken };
    Sink sink_;
    State state_ = State::Fresh;
    std::string guard_;
    std::uint64_t count_ = 0;
    std::uint64_t written_ = 0;
    std::size_t frameBytes_ = 0;
};

}  // namespace orv
