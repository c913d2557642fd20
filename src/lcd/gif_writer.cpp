#include "lcd/gif_writer.h"

#include <algorithm>

namespace orv {
namespace {

// a / b to the nearest integer, exact halves to the even neighbour.
std::uint64_t roundedQuotient(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t q = a / b, twiceRest = 2 * (a % b);
    return q + (twiceRest > b || (twiceRest == b && (q & 1)) ? 1 : 0);
}

void put16(std::string& out, int v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

// LZW codes packed least significant bit first into sub-blocks of up to 255
// bytes, appended to `out`.
class CodeStream {
  public:
    explicit CodeStream(std::string& out) : out_(out) {}
    void put(int code, int size) {
        bits_ |= static_cast<std::uint32_t>(code) << count_;
        count_ += size;
        while (count_ >= 8) {
            putByte(bits_ & 0xFF);
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    // The last byte padded with zero bits, the last sub-block and the
    // terminator.
    void finish() {
        if (count_ > 0) putByte(bits_ & 0xFF);
        flushBlock();
        out_.push_back('\0');
    }

  private:
    void putByte(std::uint32_t byte) {
        block_[used_++] = static_cast<char>(byte);
        if (used_ == block_.size()) flushBlock();
    }
    void flushBlock() {
        if (used_ == 0) return;
        out_.push_back(static_cast<char>(used_));
        out_.append(block_.data(), used_);
        used_ = 0;
    }
    std::string& out_;
    std::uint32_t bits_ = 0;
    int count_ = 0;
    std::array<char, 255> block_;
    std::size_t used_ = 0;
};

constexpr int kMinCodeSize = 2;  // the smallest GIF allows, enough for 2 colours
constexpr int kClear = 1 << kMinCodeSize, kEnd = kClear + 1;
constexpr int kMaxCode = 4095;  // 12-bit codes

// The image data of one frame: minimum code size, then the LZW codes of
// `indices` (each 0 or 1) in sub-blocks. `next` must be all 0 and is left so.
void encode(const std::vector<std::uint8_t>& indices,
            std::vector<std::array<std::uint16_t, 2>>& next, std::string& out) {
    out.push_back(static_cast<char>(kMinCodeSize));
    CodeStream codes(out);
    int codeSize = kMinCodeSize + 1;
    int last = kEnd;  // the highest code with a meaning
    const auto forget = [&] {
        std::fill(next.begin(), next.begin() + last + 1, std::array<std::uint16_t, 2>{0, 0});
    };
    codes.put(kClear, codeSize);
    int current = indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const int index = indices[i];
        if (next[current][index]) {
            current = next[current][index];
            continue;
        }
        codes.put(current, codeSize);
        next[current][index] = static_cast<std::uint16_t>(++last);
        // Reading `current`, the decoder defines `last - 1` (it learns each
        // code one code later), so its table too holds `last` codes; once that
        // is 1 << codeSize it reads the next code one bit wider.
        if (last == (1 << codeSize)) ++codeSize;
        if (last == kMaxCode) {
            codes.put(kClear, codeSize);
            forget();
            codeSize = kMinCodeSize + 1;
            last = kEnd;
        }
        current = index;
    }
    codes.put(current, codeSize);
    // Reading this last code the decoder defines `last` (unless the code is the
    // first after a clear; then last + 1 is 6, no power of two) and widens if
    // its table now holds 1 << codeSize codes. The end code goes at the width
    // it reads with then.
    if (last + 1 == (1 << codeSize) && codeSize < 12) ++codeSize;
    codes.put(kEnd, codeSize);
    codes.finish();
    forget();
}

}  // namespace

int gifFrameDelayCs(std::uint64_t k, int fps) {
    // Frame k starts at 100 * (k / fps) + round(100 * (k % fps) / fps): adding
    // the even 100 * (k / fps) does not change how a half rounds, and keeps
    // the arithmetic small for any k.
    const std::uint64_t f = static_cast<std::uint64_t>(std::max(fps, 1));
    const std::uint64_t r = k % f;
    return static_cast<int>(roundedQuotient(100 * (r + 1), f) - roundedQuotient(100 * r, f));
}

GifWriter::GifWriter(Sink sink, int width, int height, std::array<std::uint32_t, 2> colours)
    : sink_(std::move(sink)), width_(width), height_(height), colours_(colours) {}

Status GifWriter::write(std::string_view bytes) {
    if (!sink_(bytes).ok()) {
        failure_ = "the GIF could not be written";
        return fail(failure_);
    }
    return Done{};
}

Status GifWriter::usable() const {
    if (!failure_.empty()) return fail(failure_);
    if (finished_) return fail("the GIF is already finished");
    if (width_ < 1 || width_ > 65535 || height_ < 1 || height_ > 65535) {
        return fail("a GIF of " + std::to_string(width_) + " x " + std::to_string(height_) +
                    " pixels is not possible (1 .. 65535 each way)");
    }
    return Done{};
}

Status GifWriter::start() {
    if (started_) return Done{};
    std::string header = "GIF89a";
    put16(header, width_);
    put16(header, height_);
    header.push_back(static_cast<char>(0xF0));  // global table of 2 colours
    header.push_back('\0');                     // background index
    header.push_back('\0');                     // square pixels
    for (std::uint32_t c : colours_) {
        header.push_back(static_cast<char>((c >> 16) & 0xFF));
        header.push_back(static_cast<char>((c >> 8) & 0xFF));
        header.push_back(static_cast<char>(c & 0xFF));
    }
    // Loop forever.
    header += std::string_view("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    started_ = true;
    return write(header);
}

Status GifWriter::addFrame(const std::vector<std::uint8_t>& indices, int delayCs) {
    if (Status s = usable(); !s) return s;
    const std::size_t pixels = static_cast<std::size_t>(width_) * height_;
    if (indices.size() != pixels) {
        return fail("a GIF frame of " + std::to_string(indices.size()) + " pixels, not " +
                    std::to_string(pixels));
    }
    if (std::any_of(indices.begin(), indices.end(), [](std::uint8_t i) { return i > 1; })) {
        return fail("a GIF frame holds an index other than 0 and 1");
    }
    if (delayCs < 0 || delayCs > 65535) {
        return fail("a GIF frame delay of " + std::to_string(delayCs) +
                    " is outside 0 .. 65535 hundredths");
    }
    if (Status s = start(); !s) return s;
    frame_.clear();
    frame_ += std::string_view("\x21\xF9\x04\x00", 4);  // graphic control: delay, no transparency
    put16(frame_, delayCs);
    frame_ += std::string_view("\x00\x00", 2);
    frame_.push_back(',');
    put16(frame_, 0);
    put16(frame_, 0);
    put16(frame_, width_);
    put16(frame_, height_);
    frame_.push_back('\0');
    next_.resize(kMaxCode + 1);
    encode(indices, next_, frame_);
    return write(frame_);
}

Status GifWriter::finish() {
    if (Status s = usable(); !s) return s;
    if (Status s = start(); !s) return s;
    finished_ = true;
    return write(";");
}

}  // namespace orv
