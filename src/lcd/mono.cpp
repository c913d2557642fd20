#include "lcd/mono.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/grid_checks.h"
#include "common/random.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orv {
namespace {

// u x L > 90 with u = k / 2^24: exact in whole numbers as k x L > 90 x 2^24,
// since k x L stays below 2^32.
constexpr std::uint32_t kDitherLimit = 90u << 24;

// One pixel: its MonoFrame entry and its destination bytes.
inline void engravePixel(const std::uint8_t* s, std::uint8_t* d, std::uint32_t k,
                         std::int32_t* entry) {
    const std::uint32_t L = (3u * s[0] + 6u * s[1] + s[2]) / 10u;
    const std::uint32_t light = (L > 180u) | (k * L > kDitherLimit);
    *entry = static_cast<std::int32_t>(light * static_cast<std::uint32_t>(MonoLight));
    const std::uint32_t pixel = light * 0x00FFFFFFu;  // B, G, R = 255, fourth 0
    std::memcpy(d, &pixel, 4);
}

#if defined(__SSE2__)
// (sum x 6554) >> 16 is sum \ 10 for every luminance sum 0 .. 2550.
constexpr bool divisionByMultiplyHolds() {
    for (std::uint32_t sum = 0; sum <= 2550; ++sum) {
        if ((sum * 6554u) >> 16 != sum / 10u) return false;
    }
    return true;
}
static_assert(divisionByMultiplyHolds());

inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Four pixels of one column, rows y .. y + 3, with the same rule as
// engravePixel().
inline void engraveFour(const std::uint8_t* s, std::uint8_t* d, std::size_t stride,
                        const std::uint32_t* k, std::int32_t* entries) {
    const __m128i px = _mm_setr_epi32(
        static_cast<int>(load32(s)), static_cast<int>(load32(s + stride)),
        static_cast<int>(load32(s + 2 * stride)), static_cast<int>(load32(s + 3 * stride)));
    const __m128i byte = _mm_set1_epi32(0xFF);
    const __m128i b = _mm_and_si128(px, byte);
    const __m128i g = _mm_and_si128(_mm_srli_epi32(px, 8), byte);
    const __m128i r = _mm_and_si128(_mm_srli_epi32(px, 16), byte);
    const __m128i sum =
        _mm_add_epi32(_mm_add_epi32(_mm_add_epi32(b, _mm_slli_epi32(b, 1)),
                                    _mm_add_epi32(_mm_slli_epi32(g, 1), _mm_slli_epi32(g, 2))),
                      r);
    const __m128i L = _mm_mulhi_epu16(sum, _mm_set1_epi32(6554));
    const __m128i kv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(k));
    // k x L per lane (below 2^32), from two 32 x 32 -> 64 multiplies.
    const __m128i even = _mm_mul_epu32(kv, L);
    const __m128i odd = _mm_mul_epu32(_mm_srli_si128(kv, 4), _mm_srli_si128(L, 4));
    const __m128i product = _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                               _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    const __m128i flip = _mm_set1_epi32(static_cast<int>(0x80000000u));
    const __m128i dithered =
        _mm_cmpgt_epi32(_mm_xor_si128(product, flip),
                        _mm_xor_si128(_mm_set1_epi32(static_cast<int>(kDitherLimit)), flip));
    const __m128i light = _mm_or_si128(_mm_cmpgt_epi32(L, _mm_set1_epi32(180)), dithered);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(entries),
                     _mm_and_si128(light, _mm_set1_epi32(MonoLight)));
    const __m128i pixels = _mm_and_si128(light, _mm_set1_epi32(0x00FFFFFF));
    alignas(16) std::uint32_t out[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(out), pixels);
    std::memcpy(d, &out[0], 4);
    std::memcpy(d + stride, &out[1], 4);
    std::memcpy(d + 2 * stride, &out[2], 4);
    std::memcpy(d + 3 * stride, &out[3], 4);
}
#endif

}  // namespace

Result<std::int32_t> Pencil(const PixelGrid& source, PixelGrid& dest, std::int32_t width,
                            std::int32_t height, std::int32_t BitsPerPixel,
                            MonoFrameArray& MonoFrame, std::int32_t& MonoCount,
                            rnd::Sequence& random) {
    return Pencil(source, dest, width, height, BitsPerPixel, std::span<std::int32_t>(MonoFrame),
                  MonoCount, random);
}

Result<std::int32_t> Pencil(const PixelGrid& source, PixelGrid& dest, std::int32_t width,
                            std::int32_t height, std::int32_t BitsPerPixel,
                            std::span<std::int32_t> MonoFrame, std::int32_t& MonoCount,
                            rnd::Sequence& random) {
    const Stopwatch watch;
    const std::size_t capacity = MonoFrame.size();
    if (Status ok = requireSource(source, width, height, BitsPerPixel); !ok) {
        return ok.failure();
    }
    assert(&source != &dest);
    const std::size_t columns = static_cast<std::size_t>(std::max(width - 1, 0));
    const std::size_t rows = static_cast<std::size_t>(std::max(height - 1, 0));
    const std::size_t visits = columns * rows;
    // One draw per visited pixel, in visiting order.
    static thread_local std::vector<std::uint32_t> steps;
    // Visit v goes to entry v up to the last (8191 in MonoFrame); past that
    // every visit lands on the last entry, so only the last one counts. Such
    // pictures go through a scratch list first.
    static thread_local std::vector<std::int32_t> scratch;
    const bool overflow = visits > capacity;
    // The working lists and then the picture are taken before anything is
    // written, so that a size that cannot be held leaves dest, MonoFrame,
    // MonoCount and the random sequence as they were.
    try {
        steps.resize(visits);
        if (overflow) scratch.resize(visits);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory to engrave a picture of " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels");
    }
    if (Status dim = dest.dimension(4, width, height); !dim) return dim.failure();
    MonoCount = 0;
    random.fillSteps(steps.data(), visits);
    std::int32_t* entries = overflow ? scratch.data() : MonoFrame.data();

    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    const std::uint8_t* src = source.data();
    std::uint8_t* dst = dest.data();
    for (std::size_t x = 0; x < columns; ++x) {
        const std::uint8_t* s = src + x * 4;
        std::uint8_t* d = dst + x * 4;
        const std::uint32_t* k = steps.data() + x * rows;
        std::int32_t* m = entries + x * rows;
        std::size_t y = 0;
#if defined(__SSE2__)
        for (; y + 4 <= rows; y += 4, s += 4 * stride, d += 4 * stride) {
            engraveFour(s, d, stride, k + y, m + y);
        }
#endif
        for (; y < rows; ++y, s += stride, d += stride) engravePixel(s, d, k[y], m + y);
    }
    if (overflow) {
        std::copy_n(scratch.begin(), capacity - 1, MonoFrame.begin());
        MonoFrame[capacity - 1] = scratch[visits - 1];
    }
    MonoCount = static_cast<std::int32_t>(std::min(visits, capacity));
    return watch.elapsedMs();
}

}  // namespace orv
