#include "lcd/codec.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <queue>

#include "orv_codec.h"

namespace orv::codec {
namespace {

constexpr int kTables = 3;
constexpr std::array<int, kTables> kAlphabet = {256, ORVC_MAIN_SYMBOLS, ORVC_LENGTH_CLASSES};
constexpr int kVectors = (2 * ORVC_MOVE_DX + 1) * (2 * ORVC_MOVE_DY + 1);
// Passes of the encoder's parse, each with the costs of the one before.
constexpr int kPasses = 4;

int lengthClass(int length) {
    int k = ORVC_LENGTH_CLASSES - 1;
    while (orvc_class_base(static_cast<std::uint8_t>(k)) > length) --k;
    return k;
}

// Code lengths of a Huffman code for `counts`, none longer than 15 bits:
// where the plain code is deeper, the counts are flattened and it is built
// again. An alphabet with one symbol in use gets a one-bit code.
std::vector<int> codeLengths(std::vector<std::uint64_t> counts) {
    const int n = static_cast<int>(counts.size());
    for (;;) {
        std::vector<int> lengths(n, 0), parent(2 * n, -1);
        using Node = std::pair<std::uint64_t, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<>> queue;
        for (int i = 0; i < n; ++i) {
            if (counts[i] > 0) queue.push({counts[i], i});
        }
        if (queue.size() == 1) lengths[queue.top().second] = 1;
        int next = n;
        while (queue.size() > 1) {
            const Node a = queue.top();
            queue.pop();
            const Node b = queue.top();
            queue.pop();
            parent[a.second] = parent[b.second] = next;
            queue.push({a.first + b.first, next++});
        }
        int deepest = 0;
        for (int i = 0; i < n; ++i) {
            for (int at = i; counts[i] > 0 && parent[at] >= 0; at = parent[at]) ++lengths[i];
            deepest = std::max(deepest, lengths[i]);
        }
        if (deepest <= ORVC_MAX_CODE_BITS) return lengths;
        for (auto& c : counts) c = c > 0 ? (c + 1) / 2 : 0;
    }
}

// A canonical code: symbols ordered by length, then by value.
struct Code {
    std::vector<int> lengths;
    std::vector<std::uint16_t> codes;
    std::array<std::uint16_t, ORVC_MAX_CODE_BITS> counts{};
    std::vector<int> order;  // the symbols in canonical order

    explicit Code(std::vector<int> lens) : lengths(std::move(lens)), codes(lengths.size(), 0) {
        for (int len = 1; len <= ORVC_MAX_CODE_BITS; ++len) {
            for (int s = 0; s < static_cast<int>(lengths.size()); ++s) {
                if (lengths[s] == len) order.push_back(s), ++counts[len - 1];
            }
        }
        std::uint16_t code = 0;
        int at = 0;
        for (int len = 1; len <= ORVC_MAX_CODE_BITS; ++len) {
            for (int i = 0; i < counts[len - 1]; ++i) codes[order[at++]] = code++;
            code = static_cast<std::uint16_t>(code << 1);
        }
    }

    std::size_t tableBytes(int width) const {
        return 2 * ORVC_MAX_CODE_BITS + order.size() * static_cast<std::size_t>(width);
    }
};

int symbolWidth(int table) { return table == 1 ? 2 : 1; }

class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void put(unsigned value, int count) {
        while (count-- > 0) {
            byte_ = static_cast<std::uint8_t>(byte_ << 1 | ((value >> count) & 1));
            if (++filled_ == 8) out_.push_back(byte_), filled_ = 0, byte_ = 0;
        }
    }
    void flush() {
        if (filled_ > 0) out_.push_back(static_cast<std::uint8_t>(byte_ << (8 - filled_)));
        filled_ = 0;
    }

  private:
    std::vector<std::uint8_t>& out_;
    std::uint8_t byte_ = 0;
    int filled_ = 0;
};

void putLong(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The codes for the tokens before `end` and those of the wrap frame.
std::vector<Code> codesFor(const std::vector<Encoder::Token>& tokens, std::size_t end,
                           const std::vector<Encoder::Token>& wrap) {
    std::vector<std::vector<std::uint64_t>> counts;
    for (int t = 0; t < kTables; ++t) counts.emplace_back(kAlphabet[t], 0);
    for (std::size_t i = 0; i < end; ++i) ++counts[tokens[i].table][tokens[i].symbol];
    for (const auto& k : wrap) ++counts[k.table][k.symbol];
    std::vector<Code> codes;
    for (int t = 0; t < kTables; ++t) codes.emplace_back(codeLengths(counts[t]));
    return codes;
}

// Bits each symbol of each table costs, as the codes of a pass gave them.
using Costs = std::array<std::vector<double>, kTables>;
static_assert(kTables == 3);

// The cheapest tokens for page `p` of `now` after `before` under `costs`:
// every way to cover the changed columns (unchanged runs, literals, repeats
// of the last literal, moves of the frame before of any vector and length)
// is weighed, column by column, as a shortest path.
void parsePage(const FramePages& before, const FramePages& frame, int p, const Costs& costs,
               const std::vector<int>& byCost, std::vector<Encoder::Token>& out) {
    const std::uint8_t* now = &frame[128 * p];
    const std::uint8_t* old = &before[128 * p];
    // How far each move of the old picture's columns matches from each column.
    std::array<std::uint64_t, 128> column{};
    for (int c = 0; c < 128; ++c) {
        for (int q = 0; q < 8; ++q) column[c] |= std::uint64_t{before[128 * q + c]} << (8 * q);
    }
    std::array<std::array<std::uint8_t, 129>, kVectors> match;
    for (int v = 0; v < kVectors; ++v) {
        const int dx = v % (2 * ORVC_MOVE_DX + 1) - ORVC_MOVE_DX;
        const int dy = v / (2 * ORVC_MOVE_DX + 1) - ORVC_MOVE_DY;
        match[v][128] = 0;
        for (int c = 127; c >= 0; --c) {
            const int s = c - dx;
            std::uint64_t moved = 0;
            if (s >= 0 && s < 128) moved = dy >= 0 ? column[s] << dy : column[s] >> -dy;
            const bool same = static_cast<std::uint8_t>(moved >> (8 * p)) == now[c];
            match[v][c] = same ? static_cast<std::uint8_t>(match[v][c + 1] + 1) : 0;
        }
    }
    int last = 127;
    while (now[last] == old[last]) --last;
    auto runCost = [&](int table, int first, int n) {
        const int k = lengthClass(n);
        return costs[table][first + k] + orvc_class_extra(static_cast<std::uint8_t>(k));
    };
    // The best way to each column: its cost, where it came from, by what.
    enum Kind : std::uint8_t { Skip, Literal, Repeat, Move };
    struct Step {
        double cost = 1e300;
        std::uint8_t from = 0, kind = Skip, arg = 0, literal = 0;
    };
    std::array<Step, 129> best;
    best[0].cost = 0;
    for (int c = 0; c <= last; ++c) {
        const Step here = best[c];
        auto reach = [&](int to, double cost, Kind kind, int arg, std::uint8_t literal) {
            if (here.cost + cost < best[to].cost) {
                best[to] = {here.cost + cost, static_cast<std::uint8_t>(c), kind,
                            static_cast<std::uint8_t>(arg), literal};
            }
        };
        const std::uint8_t x = now[c] ^ old[c];
        for (int n = 1; c + n <= last + 1 && now[c + n - 1] == old[c + n - 1]; ++n) {
            reach(c + n, runCost(1, ORVC_SYM_SKIP, n), Skip, 0, here.literal);
        }
        if (x != 0) reach(c + 1, costs[1][x], Literal, x, x);
        for (int n = 1; x != 0 && x == here.literal && c + n <= last + 1 &&
                        (now[c + n - 1] ^ old[c + n - 1]) == x;
             ++n) {
            reach(c + n, runCost(1, ORVC_SYM_REPEAT, n), Repeat, 0, x);
        }
        // A length is taken by the cheapest vector that matches that far.
        int covered = 0;
        for (int v : byCost) {
            const int n = std::min<int>(match[v][c], last + 1 - c);
            for (int m = covered + 1; m <= n; ++m) {
                reach(c + m, costs[1][ORVC_SYM_MOVE + v] + runCost(2, 0, m), Move, v, here.literal);
            }
            covered = std::max(covered, n);
        }
    }
    std::vector<int> path;
    for (int at = last + 1; at > 0; at = best[at].from) path.push_back(at);
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const Step& s = best[*it];
        const int n = *it - s.from;
        auto run = [&](int table, int first) {
            const int k = lengthClass(n);
            out.push_back(
                {static_cast<std::uint16_t>(first + k), static_cast<std::uint8_t>(table),
                 orvc_class_extra(static_cast<std::uint8_t>(k)),
                 static_cast<std::uint8_t>(n - orvc_class_base(static_cast<std::uint8_t>(k)))});
        };
        if (s.kind == Skip) run(1, ORVC_SYM_SKIP);
        if (s.kind == Literal) out.push_back({s.arg, 1, 0, 0});
        if (s.kind == Repeat) run(1, ORVC_SYM_REPEAT);
        if (s.kind == Move) {
            out.push_back({static_cast<std::uint16_t>(ORVC_SYM_MOVE + s.arg), 1, 0, 0});
            run(2, 0);
        }
    }
    if (last < 127) out.push_back({ORVC_SYM_END, 1, 0, 0});
}

}  // namespace

Encoder::Encoder() = default;

void Encoder::add(const FramePages& frame) {
    frames_.push_back(frame);
    frameEnds_.clear();
}

// The tokens of `frame` after `before`, under the costs of a pass.
void Encoder::parseFrame(const FramePages& before, const FramePages& frame,
                         std::vector<Token>& out) const {
    int mask = 0;
    for (int p = 0; p < 8; ++p) {
        if (std::memcmp(&frame[128 * p], &before[128 * p], 128) != 0) mask |= 1 << p;
    }
    out.push_back({static_cast<std::uint16_t>(mask), 0, 0, 0});
    for (int p = 0; p < 8; ++p) {
        if (mask >> p & 1) parsePage(before, frame, p, costs_, byCost_, out);
    }
}

// The tokens of the first `count` frames: a few passes, each parsing with the
// costs of the codes the one before made (the first with every symbol alike).
void Encoder::tokenize(std::uint64_t count) const {
    if (frameEnds_.size() == count) return;
    for (int t = 0; t < kTables; ++t) costs_[t].assign(kAlphabet[t], t == 2 ? 4.0 : 9.0);
    for (int pass = 0; pass < kPasses; ++pass) {
        byCost_.clear();  // the moves, (0, 0) being none
        for (int v = 0; v < kVectors; ++v) {
            if (v != ORVC_MOVE_DY * (2 * ORVC_MOVE_DX + 1) + ORVC_MOVE_DX) byCost_.push_back(v);
        }
        std::stable_sort(byCost_.begin(), byCost_.end(), [&](int a, int b) {
            return costs_[1][ORVC_SYM_MOVE + a] < costs_[1][ORVC_SYM_MOVE + b];
        });
        tokens_.clear();
        frameEnds_.clear();
        const FramePages blank{};
        for (std::size_t i = 0; i < count; ++i) {
            parseFrame(i == 0 ? blank : frames_[i - 1], frames_[i], tokens_);
            frameEnds_.push_back(tokens_.size());
        }
        if (pass + 1 == kPasses) break;  // the wrap frames parse with these costs
        const std::vector<Code> codes = codesFor(tokens_, tokens_.size(), {});
        for (int t = 0; t < kTables; ++t) {
            for (int s = 0; s < kAlphabet[t]; ++s) {
                costs_[t][s] = codes[t].lengths[s] > 0 ? codes[t].lengths[s] : 16.0;
            }
        }
    }
}

// The wrap frame of the first `count` frames: the last of them back to the first.
std::vector<Encoder::Token> Encoder::wrapTokens(std::uint64_t count) const {
    std::vector<Token> wrap;
    parseFrame(frames_[count - 1], frames_[0], wrap);
    return wrap;
}

std::array<std::vector<int>, 3> Encoder::codeLengths(std::uint64_t count,
                                                     const std::vector<Token>& wrap) const {
    tokenize(count);
    const std::vector<Code> codes = codesFor(tokens_, tokens_.size(), wrap);
    return {codes[0].lengths, codes[1].lengths, codes[2].lengths};
}

std::uint64_t Encoder::tokenBytes(std::size_t end, const std::vector<Token>& wrap) const {
    const std::vector<Code> codes = codesFor(tokens_, end, wrap);
    std::uint64_t bits = 0, bytes = ORVC_HEADER_BYTES;
    for (int t = 0; t < kTables; ++t) bytes += codes[t].tableBytes(symbolWidth(t));
    auto add = [&](const Token& k) { bits += codes[k.table].lengths[k.symbol] + k.extraBits; };
    std::for_each(tokens_.begin(), tokens_.begin() + static_cast<std::ptrdiff_t>(end), add);
    std::for_each(wrap.begin(), wrap.end(), add);
    return bytes + (bits + 7) / 8;
}

std::uint64_t Encoder::streamBytes(std::uint64_t count) const {
    if (count == 0 || count > frames()) return 0;
    tokenize(count);
    return tokenBytes(tokens_.size(), wrapTokens(count));
}

std::uint64_t Encoder::framesThatFit(std::uint64_t bytes) const {
    if (frames() == 0) return 0;
    // A guess first: the most frames whose tokens, as parsed with all the
    // others, take at most `bytes` (the size grows with the count but for the
    // odd byte of the tables).
    tokenize(frames());
    std::uint64_t guess = 0, high = frames();
    while (guess < high) {
        const std::uint64_t mid = (guess + high + 1) / 2;
        if (tokenBytes(frameEnds_[mid - 1], {}) <= bytes) {
            guess = mid;
        } else {
            high = mid - 1;
        }
    }
    // The frames alone parse with costs of their own and take a few bytes more
    // or less: counts are tried as streams of their own, stepping away from
    // the guess in doubling steps until one fits and one does not, then
    // halving the gap between them.
    std::uint64_t fits = 0, over = frames() + 1;
    auto fit = [&](std::uint64_t n) {
        const bool fitting = streamBytes(n) <= bytes;
        (fitting ? fits : over) = n;
        return fitting;
    };
    guess = std::max<std::uint64_t>(guess, 1);
    const bool up = fit(guess);
    for (std::uint64_t step = 1;; step *= 2) {
        const std::uint64_t n = up ? guess + step : guess > step ? guess - step : 0;
        if (n <= fits || n >= over || fit(n) != up) break;
    }
    while (over - fits > 1) fit(fits + (over - fits) / 2);
    return fits;
}

std::vector<std::uint8_t> Encoder::stream(std::uint64_t count, int fps, bool lightSetBit) const {
    std::vector<std::uint8_t> out;
    if (count == 0 || count > frames() || fps < 1 || fps > 255) return out;
    tokenize(count);
    const std::size_t end = tokens_.size();
    const std::vector<Token> wrap = wrapTokens(count);
    const std::vector<Code> codes = codesFor(tokens_, end, wrap);
    out = {ORVC_MAGIC0,
           ORVC_MAGIC1,
           ORVC_MAGIC2,
           ORVC_MAGIC3,
           ORVC_VERSION,
           static_cast<std::uint8_t>(ORVC_FLAG_WRAP | (lightSetBit ? ORVC_FLAG_LIGHT : 0)),
           static_cast<std::uint8_t>(fps),
           0};
    putLong(out, static_cast<std::uint32_t>(count));
    putLong(out, 0);  // the size, once known
    for (int t = 0; t < kTables; ++t) {
        for (std::uint16_t n : codes[t].counts) {
            out.push_back(static_cast<std::uint8_t>(n)),
                out.push_back(static_cast<std::uint8_t>(n >> 8));
        }
        for (int s : codes[t].order) {
            out.push_back(static_cast<std::uint8_t>(s));
            if (symbolWidth(t) == 2) out.push_back(static_cast<std::uint8_t>(s >> 8));
        }
    }
    BitWriter bits(out);
    auto put = [&](const Token& k) {
        const Code& code = codes[k.table];
        bits.put(code.codes[k.symbol], code.lengths[k.symbol]);
        bits.put(k.extra, k.extraBits);
    };
    std::for_each(tokens_.begin(), tokens_.begin() + static_cast<std::ptrdiff_t>(end), put);
    std::for_each(wrap.begin(), wrap.end(), put);
    bits.flush();
    const auto size = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[12 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    return out;
}

bool looksLikeStream(std::string_view bytes) {
    return bytes.size() >= 4 && static_cast<std::uint8_t>(bytes[0]) == ORVC_MAGIC0 &&
           static_cast<std::uint8_t>(bytes[1]) == ORVC_MAGIC1 &&
           static_cast<std::uint8_t>(bytes[2]) == ORVC_MAGIC2 &&
           static_cast<std::uint8_t>(bytes[3]) == ORVC_MAGIC3;
}

Result<StreamInfo> readStreamInfo(std::string_view bytes) {
    const std::string stream = std::string("the ") + kName + " stream's ";
    if (!looksLikeStream(bytes)) return fail("not a " + std::string(kName) + " stream");
    auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    if (bytes.size() > 4 && at(4) != ORVC_VERSION) {
        return fail("a " + std::string(kName) + " stream of version " + std::to_string(at(4)) +
                    " (this orv reads " + std::to_string(ORVC_VERSION) + ")");
    }
    if (bytes.size() < ORVC_HEADER_BYTES) {
        return fail(stream + "header is cut short (" + std::to_string(bytes.size()) + " of " +
                    std::to_string(ORVC_HEADER_BYTES) + " bytes)");
    }
    // The flag bits this version defines; a stream with any other is refused.
    constexpr std::uint8_t kFlags = ORVC_FLAGS;
    char field[96] = "";
    if (at(5) & ~kFlags) {
        std::snprintf(field, sizeof field,
                      "flags (byte 5) are 0x%02X, of which only 0x%02X are defined", at(5), kFlags);
    } else if (at(6) == 0) {
        std::snprintf(field, sizeof field, "frame rate (byte 6) is 0, not 1..255");
    } else if (at(7) != 0) {
        std::snprintf(field, sizeof field, "byte 7 is 0x%02X, not 0", at(7));
    }
    if (*field) return fail(stream + field);
    std::uint64_t size = 0;
    for (int i = 3; i >= 0; --i) size = size << 8 | at(12 + i);
    if (size != bytes.size()) {
        return fail(stream + "size (bytes 12..15) is " + std::to_string(size) +
                    " bytes, but it holds " + std::to_string(bytes.size()));
    }
    orvc_decoder d;
    if (bytes.size() > UINT32_MAX ||
        orvc_open(&d, bytes.data(), static_cast<orvc_offset>(bytes.size())) != ORVC_OK) {
        return fail(stream + "code tables are cut short or damaged");
    }
    return StreamInfo{d.frames, d.fps, (d.flags & ORVC_FLAG_LIGHT) != 0, bytes.size()};
}

Result<StreamInfo> decodeStream(std::string_view bytes,
                                const std::function<void(const FramePages&)>& frame) {
    Result<StreamInfo> info = readStreamInfo(bytes);
    if (!info) return info;
    orvc_decoder d;
    (void)orvc_open(&d, bytes.data(), static_cast<orvc_offset>(bytes.size()));
    FramePages pages, first;
    orvc_rewind(&d, pages.data());
    const std::string count = std::string("the ") + kName + " stream's frame count (bytes 8..11, " +
                              std::to_string(d.frames) + ")";
    for (std::uint32_t i = 0; i < d.frames; ++i) {
        if (orvc_next(&d, pages.data()) < 0) {
            return fail("frame " + std::to_string(i) + " of the " + kName +
                        " stream is damaged or cut short, or " + count + " is too large");
        }
        if (i == 0) first = pages;
        if (frame) frame(pages);
    }
    // The wrap frame, after the last, brings the first back.
    if ((d.flags & ORVC_FLAG_WRAP) && d.frames > 0) {
        const int mask = orvc_start(&d, 1);
        for (std::uint8_t p = 0; p < 8 && mask >= 0; ++p) {
            if ((mask >> p & 1) && orvc_page(&d, pages.data(), p, nullptr) != ORVC_OK) {
                pages[0] = static_cast<std::uint8_t>(~first[0]);  // damaged: not the first
            }
        }
        if (mask < 0 || pages != first) {
            return fail("the wrap frame of the " + std::string(kName) +
                        " stream is damaged or cut short, or " + count + " is wrong");
        }
    }
    // The stream ends in its last byte, and the bits after its end are 0.
    if (d.pos != d.size) {
        return fail(count + " is too small: " + std::to_string(d.size - d.pos) +
                    " bytes follow the last frame");
    }
    // The decoder keeps the bits not yet taken above a marker bit: padding of
    // zeros leaves the marker alone.
    if ((d.bits & static_cast<std::uint8_t>(d.bits - 1)) != 0) {
        return fail(std::string("the ") + kName +
                    " stream's last byte is padded with bits that are not 0");
    }
    return info;
}

}  // namespace orv::codec
