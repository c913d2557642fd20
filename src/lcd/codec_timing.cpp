// The flash player's time on an Uno (examples/arduino/orv_flash_player), from
// a stream's tokens: what each frame's period takes on the bus and in the
// decoder, overlapped as the player overlaps them.
#include <algorithm>

#include "lcd/codec.h"
#include "orv_codec.h"

namespace orv::codec {
namespace {

constexpr double kCyclesPerUs = 16;  // an ATmega328P at 16 MHz

// Cycles of the decoder, orv_codec.h as Arduino.mk builds it (avr-gcc -Os),
// fitted to the simulated board (tests/device/flash_sim.c) page by page over
// five clips (moving shapes, a fractal zoom, a test card dithered two ways, a
// picture turning from white to black and back): within 150 cycles a page.
constexpr double kFrameStart = 192;  // a frame begun, but for its page mask's code
constexpr double kPage = 1059;       // a page of 128 columns begun, the player's copy included
constexpr double kEdge = 998;        // the rows above a page of 128 columns, kept for its moves
// What a column less takes off a page's beginning (the copy's 6 cycles a
// byte) and off its rows above (four columns a step of 31 cycles), for
// frames narrower than 128 columns: figures of the code, not fitted.
constexpr double kPageColumn = 6, kEdgeColumn = 998.0 / 128;
constexpr double kLiteral = 117, kSkip = 195, kRepeat = 204, kRepeatColumn = 21, kEnd = 88;
constexpr double kMove = 399;
// A column moved, by the move's rows down: -2, -1, 0, 1, 2.
constexpr std::array<double, 5> kMoveColumn = {100, 74, 41, 75, 79};
// A bit of a code below its table's shortest length, and one at or above it:
// the main table's, and the page mask's or a length's.
constexpr double kMainLeadBit = 24, kMainBit = 37.4, kLeadBit = 28.5, kBit = 66;
constexpr double kExtraBit = 28.2;  // of a run's length
constexpr double kByte = 15.9;      // each byte of the stream read

// The bus at 400 kHz: 40 cycles a clock, 9 clocks a byte, one a start or a
// stop. A page goes as a command transmission (address, control byte and
// the 6 bytes that place an SSD1306's columns; an SH1106 takes 3) and a data
// transmission (address, control byte, the columns), a stop and a start
// between them.
constexpr double kClock = 40;
constexpr int kPlaceBytes = 6, kPageSteps = 13;  // steps of a page besides its columns
double pageClocks(int columns) { return 4 + 9.0 * (2 + kPlaceBytes) + 9.0 * (2 + columns); }

// The player's own costs, fitted to the same runs' frames: from the frame's
// time to its first decoding, queueing a page, after the last. And the TWI
// interrupt's: its delay before each step of the bus, and what it takes of
// the processor for a column and for another step; each with the 4 cycles
// the chip takes to answer an interrupt and the one more its return takes,
// which the simulator leaves out. Over the five clips the model comes within
// 0.6 ms of every frame's work on the simulated board, never below it.
constexpr double kBegin = 300, kPut = 400, kFinish = 300;
constexpr double kStepGap = 16 + 4, kStealColumn = 40 + 5, kStealStep = 200 + 5;

// What a frame's tokens cost: decoding each page, and the columns of each
// that change (from > to: none).
struct FrameCost {
    int mask = 0;
    double start = 0;
    std::array<double, kMaxHeight / 8> decode{};
    std::array<int, kMaxHeight / 8> from{}, to{};
};

// Bits of a code below its table's shortest length.
std::array<int, 3> leads(const std::array<std::vector<int>, 3>& lengths) {
    std::array<int, 3> lead{};
    for (int t = 0; t < 3; ++t) {
        int shortest = ORVC_MAX_CODE_BITS;
        for (int l : lengths[t]) {
            if (l > 0) shortest = std::min(shortest, l);
        }
        lead[t] = shortest - 1;
    }
    return lead;
}

FrameCost frameCost(FrameSize size, const Encoder::Token* k, const Encoder::Token* end,
                    const std::array<std::vector<int>, 3>& lengths,
                    const std::array<int, 3>& lead) {
    int bits = 0;
    // A token's code and extra bits: cycles.
    auto code = [&](const Encoder::Token& t) {
        const int l = lengths[t.table][t.symbol];
        bits += l + t.extraBits;
        const int below = std::min(l, lead[t.table]);
        return (t.table == 1 ? kMainLeadBit * below + kMainBit * (l - below)
                             : kLeadBit * below + kBit * (l - below)) +
               kExtraBit * t.extraBits;
    };
    auto length = [](const Encoder::Token& t, int first) {
        return orvc_class_base(static_cast<std::uint8_t>(t.symbol - first)) + t.extra;
    };
    FrameCost f;
    f.start = kFrameStart;
    for (int p = 0; p < size.pages(); p += 8) {  // a page mask for each 8 pages
        f.mask |= k->symbol << p;
        f.start += code(*k++);
    }
    const int narrower = 128 - size.width;
    for (int p = 0; p < size.pages(); ++p) {
        f.from[p] = size.width, f.to[p] = -1;
        if (!(f.mask >> p & 1)) continue;
        bits = 0;
        double cycles =
            kPage - kPageColumn * narrower + (p > 0 ? kEdge - kEdgeColumn * narrower : 0);
        for (int c = 0; c < size.width && k < end;) {
            const Encoder::Token& t = *k++;
            const int s = t.symbol;
            cycles += code(t);
            if (s == ORVC_SYM_END) {
                cycles += kEnd;
                break;
            }
            if (s >= ORVC_SYM_SKIP && s < ORVC_SYM_REPEAT) {
                cycles += kSkip;
                c += length(t, ORVC_SYM_SKIP);
                continue;
            }
            f.from[p] = std::min(f.from[p], c);
            int n = 1;
            if (s < ORVC_SYM_SKIP) {
                cycles += kLiteral;
            } else if (s < ORVC_SYM_END) {
                n = length(t, ORVC_SYM_REPEAT);
                cycles += kRepeat + kRepeatColumn * n;
            } else {
                const int dy = (s - ORVC_SYM_MOVE) / (2 * ORVC_MOVE_DX + 1);  // 0..4: -2..2
                cycles += code(*k);
                n = length(*k++, 0);
                cycles += kMove + kMoveColumn[dy] * n;
            }
            c += n;
            f.to[p] = c - 1;
        }
        f.decode[p] = cycles + kByte * bits / 8;
    }
    return f;
}

// A stretch of time the bus is busy with a page, and the share of the
// processor the interrupt leaves meanwhile.
struct Busy {
    double from, to, left;
};

// The processor's time `t` after `cycles` of work from `t` on, in `busy`
// from `at` on.
double after(double t, double cycles, const std::vector<Busy>& busy, std::size_t& at) {
    for (; at < busy.size(); ++at) {
        const Busy& b = busy[at];
        if (b.to <= t) continue;
        if (b.from > t) {
            if (cycles <= b.from - t) return t + cycles;
            cycles -= b.from - t;
            t = b.from;
        }
        const double spare = (b.to - t) * b.left;
        if (cycles <= spare) return t + cycles / b.left;
        cycles -= spare;
        t = b.to;
    }
    return t + cycles;
}

// A period: `shown`'s changes go out while `next` is decoded (frames of
// `pages` pages), each page copied aside into one of two buffers first, a
// buffer taken again once its page has gone. Returns the work's cycles.
double period(const FrameCost& shown, const FrameCost& next, int pages) {
    double t = kBegin + next.start;
    std::vector<Busy> busy;
    std::size_t at = 0;
    // Queues page p of `shown`: when it will have gone out.
    auto put = [&](int p) {
        t += kPut;
        if (!(shown.mask >> p & 1) || shown.from[p] > shown.to[p]) return t;
        const int n = shown.to[p] - shown.from[p] + 1;
        const double from = busy.empty() ? t : std::max(t, busy.back().to);
        const double time = pageClocks(n) * kClock + (n + kPageSteps) * kStepGap;
        busy.push_back(
            {from, from + time, 1 - (n * kStealColumn + kPageSteps * kStealStep) / time});
        return from + time;
    };
    std::array<double, 2> bufferFree{};
    for (int p = 0, use = 0; p < pages; ++p) {
        if (!(next.mask >> p & 1)) {
            put(p);
            continue;
        }
        t = std::max(t, bufferFree[use]);
        bufferFree[use] = put(p);
        use ^= 1;
        t = after(t, next.decode[p], busy, at);
    }
    return std::max(t, busy.empty() ? 0 : busy.back().to) + kFinish;
}

}  // namespace

std::size_t PlayerTime::slowest() const {
    return static_cast<std::size_t>(std::max_element(workUs.begin(), workUs.end()) -
                                    workUs.begin());
}

int PlayerTime::highestRate() const {
    if (workUs.empty()) return 255;
    const double most = workUs[slowest()];
    return static_cast<int>(std::min(255.0, 1e6 / most));
}

PlayerTime Encoder::unoTime(std::uint64_t count) const {
    PlayerTime time;
    if (count == 0 || count > frames()) return time;
    tokenize(count);
    const std::vector<Token> wrap = wrapTokens(count);
    const std::array<std::vector<int>, 3> lengths = codeLengths(count, wrap);
    const std::array<int, 3> lead = leads(lengths);
    std::vector<FrameCost> costs;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t from = i == 0 ? 0 : frameEnds_[i - 1];
        costs.push_back(
            frameCost(size_, &tokens_[from], tokens_.data() + frameEnds_[i], lengths, lead));
    }
    const FrameCost wrapCost =
        frameCost(size_, wrap.data(), wrap.data() + wrap.size(), lengths, lead);
    for (std::uint64_t i = 0; i < count; ++i) {
        const FrameCost& shown = i == 0 ? wrapCost : costs[i];
        const FrameCost& next = i + 1 == count ? wrapCost : costs[i + 1];
        time.workUs.push_back(period(shown, next, size_.pages()) / kCyclesPerUs);
    }
    return time;
}

}  // namespace orv::codec
