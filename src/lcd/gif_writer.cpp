#include "lcd/gif_writer.h"

namespace orv {
namespace {

// LZW codes packed least significant bit first into sub-blocks of up to 255 bytes.
class CodeStream {
  public:
    void put(int code, int size) {
        bits_ |= static_cast<std::uint32_t>(code) << count_;
        count_ += size;
        while (count_ >= 8) {
            block_.push_back(static_cast<char>(bits_ & 0xFF));
            bits_ >>= 8;
            count_ -= 8;
            if (block_.size() == 255) flushBlock();
        }
    }
    std::string finish() {
        if (count_ > 0) block_.push_back(static_cast<char>(bits_ & 0xFF));
        flushBlock();
        out_.push_back('\0');
        return out_;
    }

  private:
    void flushBlock() {
        if (block_.empty()) return;
        out_.push_back(static_cast<char>(block_.size()));
        out_ += block_;
        block_.clear();
    }
    std::uint32_t bits_ = 0;
    int count_ = 0;
    std::string block_, out_;
};

}  // namespace

GifWriter::GifWriter(int width, int height, std::array<std::uint32_t, 2> colours, int delayCs)
    : width_(width), height_(height), delayCs_(delayCs) {
    bytes_ = "GIF89a";
    put16(width);
    put16(height);
    bytes_.push_back(static_cast<char>(0xF0));  // global table of 2 colours
    bytes_.push_back('\0');                     // background index
    bytes_.push_back('\0');                     // square pixels
    for (std::uint32_t c : colours) {
        bytes_.push_back(static_cast<char>((c >> 16) & 0xFF));
        bytes_.push_back(static_cast<char>((c >> 8) & 0xFF));
        bytes_.push_back(static_cast<char>(c & 0xFF));
    }
    // Loop forever.
    bytes_ += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
}

void GifWriter::put16(int v) {
    bytes_.push_back(static_cast<char>(v & 0xFF));
    bytes_.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void GifWriter::addFrame(const std::vector<std::uint8_t>& indices) {
    bytes_ += std::string("\x21\xF9\x04\x00", 4);  // graphic control: delay, no transparency
    put16(delayCs_);
    bytes_ += std::string("\x00\x00", 2);
    bytes_.push_back(',');
    put16(0);
    put16(0);
    put16(width_);
    put16(height_);
    bytes_.push_back('\0');

    constexpr int kMinCodeSize = 2;
    const int clear = 1 << kMinCodeSize;
    bytes_.push_back(static_cast<char>(kMinCodeSize));
    // next[code][index]: the code for code's string followed by index; 0 = none.
    std::vector<std::array<std::uint16_t, 2>> next(4096);
    CodeStream codes;
    int codeSize = kMinCodeSize + 1;
    int maxCode = clear + 1;
    codes.put(clear, codeSize);
    int current = -1;
    for (std::uint8_t index : indices) {
        const int k = index & 1;
        if (current < 0) {
            current = k;
        } else if (next[current][k]) {
            current = next[current][k];
        } else {
            codes.put(current, codeSize);
            next[current][k] = static_cast<std::uint16_t>(++maxCode);
            if (maxCode >= (1 << codeSize)) ++codeSize;
            if (maxCode == 4095) {
                codes.put(clear, codeSize);
                for (auto& entry : next) entry = {0, 0};
                codeSize = kMinCodeSize + 1;
                maxCode = clear + 1;
            }
            current = k;
        }
    }
    if (current >= 0) codes.put(current, codeSize);
    // Reading this last code the decoder defines one more code (unless it is
    // the first after the clear) and widens if its table now holds
    // 1 << codeSize codes; the end code goes at the width it reads with then.
    if (maxCode + 1 == (1 << codeSize) && codeSize < 12) ++codeSize;
    codes.put(clear + 1, codeSize);
    bytes_ += codes.finish();
}

std::string GifWriter::finish() {
    bytes_.push_back(';');
    return bytes_;
}

}  // namespace orv
