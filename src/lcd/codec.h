// The "pmh" frame stream (docs/codec.md): one-bit video that a small
// microcontroller decodes frame by frame, in place, with the decoder of
// src/device/orv_codec.h. The encoder here; decoding on the host goes through
// that same header.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "lcd/frame_size.h"

namespace orv::codec {

// The codec's name on the command line.
inline constexpr const char* kName = "pmh";

// What a stream's header says.
struct StreamInfo {
    std::uint32_t frames = 0;
    int fps = 0;
    bool lightSetBit = false;  // a set bit lights a pixel (else: a set bit is dark)
    std::uint64_t bytes = 0;
    FrameSize size = kLcdSize;  // version 1 is 128 x 64; version 2 says its size
};

// The flash player (examples/arduino/orv_flash_player) on an Arduino Uno or
// Nano: an ATmega328P at 16 MHz, the display on I2C at 400 kHz. In a frame's
// period, from the frame's time on, the player sends the frame's changes
// while it decodes the next frame (the wrap frame after the last, and frame
// 0's changes are the wrap frame's).
struct PlayerTime {
    std::vector<double> workUs;  // for each frame, the player's work in its period

    // The frame with the most work.
    std::size_t slowest() const;
    // The highest frame rate (1..255) at which every frame's work fits its
    // period; 0 when not even 1 frame a second does.
    int highestRate() const;
};

// Frames go in one at a time, as the display takes them (polarity already
// applied); the stream of the first N of them comes out, the same as an
// encoder given only those N makes. The encoder keeps the frames (1 KB each
// at 128 x 64) and parses the first N when a stream or its size is asked
// for. A stream of 128 x 64 frames is of version 1, as every stream was
// before frames had other sizes; one of another size is of version 2.
class Encoder {
  public:
    explicit Encoder(FrameSize size = kLcdSize);

    // A frame of the encoder's size.
    void add(const Frame& frame);
    // Takes the room for `count` frames at once.
    void reserve(std::uint64_t count) { frames_.reserve(count * size_.bytes()); }
    std::uint64_t frames() const { return frames_.size() / size_.bytes(); }
    FrameSize size() const { return size_; }

    // The stream of the first `count` frames (at least 1, at most frames()),
    // made for `fps` (1..255) frames a second, with a wrap frame after them
    // back to the first.
    std::vector<std::uint8_t> stream(std::uint64_t count, int fps, bool lightSetBit) const;

    // Its size in bytes, without writing it.
    std::uint64_t streamBytes(std::uint64_t count) const;

    // The most frames from the start whose stream takes at most `bytes` (0
    // when not even the first frame fits). The size grows with the count but
    // for a few bytes now and then: the count given fits, and one more does
    // not.
    std::uint64_t framesThatFit(std::uint64_t bytes) const;

    // The flash player's time on an Uno for the stream of the first `count`
    // frames, played in a loop.
    PlayerTime unoTime(std::uint64_t count) const;

    struct Token {
        std::uint16_t symbol;
        std::uint8_t table;  // 0 page mask, 1 main, 2 move length
        std::uint8_t extraBits;
        std::uint8_t extra;
    };

  private:
    void tokenize(std::uint64_t count) const;
    // The size of the stream of the tokens before `end` and the wrap frame's.
    std::uint64_t tokenBytes(std::size_t end, const std::vector<Token>& wrap) const;
    void parseFrame(const std::uint8_t* before, const std::uint8_t* frame,
                    std::vector<Token>& out) const;
    // Frame i's bytes.
    const std::uint8_t* frame(std::uint64_t i) const { return frames_.data() + i * size_.bytes(); }
    std::vector<Token> wrapTokens(std::uint64_t count) const;
    // The code length of each symbol of each table in the stream of the first
    // `count` frames, whose wrap frame is `wrap`.
    std::array<std::vector<int>, 3> codeLengths(std::uint64_t count,
                                                const std::vector<Token>& wrap) const;

    FrameSize size_;
    std::vector<std::uint8_t> frames_;  // one after another
    mutable std::vector<Token> tokens_;
    mutable std::vector<std::size_t> frameEnds_;  // tokens_ index after each frame
    // The last pass's bits for each symbol of each table, and the moves
    // cheapest first.
    mutable std::array<std::vector<double>, 3> costs_;
    mutable std::vector<int> byCost_;
};

// The stream as a C header with one array, `name` (a C identifier as
// cIdentifier gives), in program memory under avr-gcc, with macros for its
// frame count, frame rate and size; `sourceName` goes into its comment.
Result<std::string> streamAsC(const std::vector<std::uint8_t>& stream, const std::string& name,
                              const std::string& sourceName);

// Whether `bytes` begin as a stream does (its magic number).
bool looksLikeStream(std::string_view bytes);

// The header of a stream: refused when it is not one of this version, or its
// size is not the one the header gives.
Result<StreamInfo> readStreamInfo(std::string_view bytes);

// Decodes every frame of a stream, in order, and its wrap frame, which must
// bring the first back; a damaged stream fails with the number of the frame
// that could not be decoded.
Result<StreamInfo> decodeStream(std::string_view bytes,
                                const std::function<void(const Frame&)>& frame);

}  // namespace orv::codec
