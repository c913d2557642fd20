// Speed of the frame core: engrave and packing per captured frame, every
// reduction at each frame size, each image procedure at the workbench size and
// at full HD, and the frame-file append.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/random.h"
#include "dib/image_state.h"
#include "dib/img_deal.h"
#include "lcd/dither.h"
#include "lcd/frame_file.h"
#include "lcd/frame_record.h"
#include "lcd/mono.h"
#include "lcd/page_packing.h"

using namespace orv;

namespace {

// A picture with every kind of pixel: dark, light and the dither band.
PixelGrid picture(std::int32_t w, std::int32_t h) {
    PixelGrid g;
    (void)g.dimension(4, w, h);
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            g(0, x, y) = std::uint8_t(x * 3 + y);
            g(1, x, y) = std::uint8_t(x + y * 2);
            g(2, x, y) = std::uint8_t(x ^ y);
        }
    }
    return g;
}

void sizeArgs(benchmark::internal::Benchmark* b) {
    b->Args({129, 65})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
}

void BM_EngraveAndPack(benchmark::State& state) {
    const PixelGrid source = picture(129, 65);
    PixelGrid dest;
    MonoFrameArray frame{};
    LcdPageBufferArray pages{};
    std::int32_t count = 0;
    rnd::Sequence random;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Pencil(source, dest, 129, 65, 32, frame, count, random));
        packLcdPages(frame, pages);
        benchmark::DoNotOptimize(pages.data());
    }
}
BENCHMARK(BM_EngraveAndPack)->Unit(benchmark::kMicrosecond);

// The reduction of a source to a frame of each size and its packing, per
// pixel of the frame (items/s): engrave from its source one column and one
// row larger, the other methods from a source of the frame's size. Args:
// width, height, method (the Dither enumerator).
void BM_ReduceAtSize(benchmark::State& state) {
    const FrameSize size{static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
    const auto method = static_cast<Dither>(state.range(2));
    const bool engrave = method == Dither::Engrave;
    const PixelGrid source = picture(size.width + engrave, size.height + engrave);
    PixelGrid dest;
    std::vector<std::int32_t> entries(size.pixels());
    std::vector<std::uint8_t> pages(size.bytes());
    std::int32_t count = 0;
    rnd::Sequence random;
    for (auto _ : state) {
        if (engrave) {
            benchmark::DoNotOptimize(
                Pencil(source, dest, size.width + 1, size.height + 1, 32, entries, count, random));
        } else {
            ditherFrame(method, source, 127, size, entries);
        }
        packPages(entries, size, pages);
        benchmark::DoNotOptimize(pages.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * size.pixels()));
}
BENCHMARK(BM_ReduceAtSize)
    ->ArgsProduct({{128}, {64}, {0, 1, 3, 4}})
    ->ArgsProduct({{128}, {32}, {0, 1, 3, 4}})
    ->ArgsProduct({{72}, {40}, {0, 1, 3, 4}})
    ->ArgsProduct({{96}, {16}, {0, 1, 3, 4}})
    ->ArgsProduct({{256}, {128}, {0, 1, 3, 4}})
    ->Unit(benchmark::kMicrosecond);

void BM_Pack(benchmark::State& state) {
    MonoFrameArray frame{};
    for (int i = 1; i <= 8192; i += 3) frame[i] = MonoLight;
    LcdPageBufferArray pages{};
    for (auto _ : state) {
        packLcdPages(frame, pages);
        benchmark::DoNotOptimize(pages.data());
    }
}
BENCHMARK(BM_Pack)->Unit(benchmark::kMicrosecond);

template <class Op>
void runOperation(benchmark::State& state, Op op) {
    const auto w = static_cast<std::int32_t>(state.range(0));
    const auto h = static_cast<std::int32_t>(state.range(1));
    const PixelGrid source = picture(w, h);
    PixelGrid result;
    for (auto _ : state) {
        benchmark::DoNotOptimize(op(source, result, w, h));
    }
}

void BM_Pencil(benchmark::State& state) {
    MonoFrameArray frame{};
    std::int32_t count = 0;
    rnd::Sequence random;
    runOperation(state, [&](const PixelGrid& s, PixelGrid& r, std::int32_t w, std::int32_t h) {
        return Pencil(s, r, w, h, 32, frame, count, random);
    });
}
BENCHMARK(BM_Pencil)->Apply(sizeArgs);

void BM_CopyData(benchmark::State& state) {
    runOperation(state, [](const PixelGrid& s, PixelGrid& r, std::int32_t w, std::int32_t h) {
        return CopyData(s, r, w, h, 32);
    });
}
BENCHMARK(BM_CopyData)->Apply(sizeArgs);

void BM_StatChart(benchmark::State& state) {
    runOperation(state, [](const PixelGrid& s, PixelGrid& r, std::int32_t w, std::int32_t h) {
        return StatChart(s, r, w, h, 32);
    });
}
BENCHMARK(BM_StatChart)->Apply(sizeArgs);

void BM_Bright(benchmark::State& state) {
    runOperation(state, [](const PixelGrid& s, PixelGrid& r, std::int32_t w, std::int32_t h) {
        return Bright(s, r, w, h, 255, 0, 255, 1.0f, 1.0f, 1.0f, 32);
    });
}
BENCHMARK(BM_Bright)->Apply(sizeArgs);

void BM_Zoom(benchmark::State& state) {
    runOperation(state, [](const PixelGrid& s, PixelGrid& r, std::int32_t w, std::int32_t h) {
        return Zoom(s, r, w, h, zoomedSize(1.2, w, "width").value(),
                    zoomedSize(0.8, h, "height").value(), 32);
    });
}
BENCHMARK(BM_Zoom)->Apply(sizeArgs);

void BM_Sharp(benchmark::State& state) {
    runOperation(state, [](const PixelGrid& s, PixelGrid& r, std::int32_t w, std::int32_t h) {
        return Sharp(s, r, w, h, 8.0f, 32);
    });
}
BENCHMARK(BM_Sharp)->Apply(sizeArgs);

void BM_BuildFrameRecord(benchmark::State& state) {
    LcdPageBufferArray pages{};
    for (int i = 0; i < 1024; ++i) pages[i] = std::uint8_t(i * 37);
    for (auto _ : state) benchmark::DoNotOptimize(buildFrameRecord(pages));
}
BENCHMARK(BM_BuildFrameRecord)->Unit(benchmark::kMicrosecond);

// One record built and appended, as a recording tick does it.
void BM_BuildAndAppendFrameRecord(benchmark::State& state) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("orv-bench-" + std::to_string(::getpid()) + ".orv"))
                                 .string();
    std::filesystem::remove(path);
    LcdPageBufferArray pages{};
    for (int i = 0; i < 1024; ++i) pages[i] = std::uint8_t(i * 37);
    std::int64_t n = 0;
    for (auto _ : state) {
        if (++n % 2000 == 0) {  // keep the file small
            state.PauseTiming();
            std::filesystem::remove(path);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(appendFrameRecord(path, buildFrameRecord(pages)));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_BuildAndAppendFrameRecord)->Unit(benchmark::kMicrosecond);

}  // namespace
