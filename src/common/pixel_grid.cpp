#include "common/pixel_grid.h"

#include <new>
#include <string>

namespace orv {

Status PixelGrid::checkSize(std::int64_t bytesPerPixel, std::int64_t width, std::int64_t height) {
    if (bytesPerPixel < 1 || width < 0 || height < 0) {
        return fail("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels cannot be made");
    }
    // Each factor is below 2^32, so the partial products cannot overflow 64 bits
    // once the first has been checked.
    const std::int64_t rowBytes = bytesPerPixel * width;
    if (rowBytes > kMaxBytes || (height != 0 && rowBytes > kMaxBytes / height)) {
        return fail("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels is too large (more than 2147483647 bytes)");
    }
    return Done{};
}

Failure PixelGrid::outOfMemory(std::int64_t bytesPerPixel, std::int64_t width,
                               std::int64_t height) {
    return fail("not enough memory for a picture of " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels (" +
                std::to_string(static_cast<std::uint64_t>(bytesPerPixel) *
                               static_cast<std::uint64_t>(width) *
                               static_cast<std::uint64_t>(height)) +
                " bytes)");
}

Status PixelGrid::dimension(std::int32_t bytesPerPixel, std::int32_t width, std::int32_t height) {
    Status size = checkSize(bytesPerPixel, width, height);
    if (!size) return size;
    const std::size_t count = static_cast<std::size_t>(bytesPerPixel) *
                              static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (count <= bytes_.capacity()) {
        bytes_.assign(count, 0);  // the old buffer, no allocation
    } else {
        // The new buffer is taken before the old one goes, so that a refusal
        // leaves the grid whole.
        try {
            std::vector<std::uint8_t> fresh(count);
            bytes_.swap(fresh);
        } catch (const std::bad_alloc&) {
            return outOfMemory(bytesPerPixel, width, height);
        }
    }
    bytesPerPixel_ = bytesPerPixel;
    width_ = width;
    height_ = height;
    dimensioned_ = true;
    return Done{};
}

void PixelGrid::clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    bytesPerPixel_ = width_ = height_ = 0;
    dimensioned_ = false;
}

}  // namespace orv
