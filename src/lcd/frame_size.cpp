#include "lcd/frame_size.h"

namespace orv {
namespace {

// A whole number of at most three digits without a leading zero, or -1.
int smallNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return -1;
    int v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

Result<FrameSize> parseFrameSize(std::string_view text, const std::string& what) {
    const std::string said = what + " \"" + std::string(text) + "\"";
    const auto x = text.find('x');
    const int width = x == std::string_view::npos ? -1 : smallNumber(text.substr(0, x));
    const int height = x == std::string_view::npos ? -1 : smallNumber(text.substr(x + 1));
    if (width < 0 || height < 0) return fail(said + " is not WIDTHxHEIGHT (as 128x32)");
    const FrameSize size{width, height};
    if (Status ok = checkFrameSize(size, said); !ok) return ok.failure();
    return size;
}

Status checkFrameSize(FrameSize size, const std::string& said) {
    if (size.width < kMinWidth || size.width > kMaxWidth) {
        return fail(said + ": the width is " + std::to_string(size.width) + ", not " +
                    std::to_string(kMinWidth) + " to " + std::to_string(kMaxWidth));
    }
    if (size.height < kMinHeight || size.height > kMaxHeight || size.height % 8 != 0) {
        return fail(said + ": the height is " + std::to_string(size.height) +
                    ", not a multiple of 8 from " + std::to_string(kMinHeight) + " to " +
                    std::to_string(kMaxHeight));
    }
    return Done{};
}

std::string sizeName(FrameSize size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

std::string sizeWords(FrameSize size) {
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

}  // namespace orv
