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

// The longest run a token covers: the last length class's.
constexpr int kLongestRun = 128;

// The cheapest tokens for page `p` of `now` after `before` (frames of `size`)
// under `costs`: every way to cover the changed columns (unchanged runs,
// literals, repeats of the last literal, moves of the frame before of any
// vector and length, none longer than kLongestRun) is weighed, column by
// column, as a shortest path.
void parsePage(FrameSize size, const std::uint8_t* before, const std::uint8_t* frame, int p,
               const Costs& costs, const std::vector<int>& byCost,
               std::vector<Encoder::Token>& out) {
    const int width = size.width;
    const std::uint8_t* now = frame + width * p;
    const std::uint8_t* old = before + width * p;
    // How far each move of the old picture's columns matches from each
    // column: a column's pages p - 1, p and p + 1 of the frame before, 0
    // outside the picture, of which a move by dy rows takes 8 bits from
    // 8 - dy on.
    std::array<std::uint32_t, kMaxWidth> column{};
    for (int c = 0; c < width; ++c) {
        column[c] = std::uint32_t{old[c]} << 8;
        if (p > 0) column[c] |= old[c - width];
        if (p + 1 < size.pages()) column[c] |= std::uint32_t{old[c + width]} << 16;
    }
    std::array<std::array<std::uint16_t, kMaxWidth + 1>, kVectors> match;
    for (int v = 0; v < kVectors; ++v) {
        const int dx = v % (2 * ORVC_MOVE_DX + 1) - ORVC_MOVE_DX;
        const int dy = v / (2 * ORVC_MOVE_DX + 1) - ORVC_MOVE_DY;
        match[v][width] = 0;
        for (int c = width - 1; c >= 0; --c) {
            const int s = c - dx;
            std::uint32_t moved = 0;
            if (s >= 0 && s < width) moved = column[s] >> (8 - dy);
            const bool same = static_cast<std::uint8_t>(moved) == now[c];
            match[v][c] = same ? static_cast<std::uint16_t>(match[v][c + 1] + 1) : 0;
        }
    }
    int last = width - 1;
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
    std::array<Step, kMaxWidth + 1> best;
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
        const int reachable = std::min(last + 1 - c, kLongestRun);
        for (int n = 1; n <= reachable && now[c + n - 1] == old[c + n - 1]; ++n) {
            reach(c + n, runCost(1, ORVC_SYM_SKIP, n), Skip, 0, here.literal);
        }
        if (x != 0) reach(c + 1, costs[1][x], Literal, x, x);
        for (int n = 1; x != 0 && x == here.literal && n <= reachable &&
                        (now[c + n - 1] ^ old[c + n - 1]) == x;
             ++n) {
            reach(c + n, runCost(1, ORVC_SYM_REPEAT, n), Repeat, 0, x);
        }
        // A length is taken by the cheapest vector that matches that far.
        int covered = 0;
        for (int v : byCost) {
            const int n = std::min<int>(match[v][c], reachable);
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
    if (last < width - 1) out.push_back({ORVC_SYM_END, 1, 0, 0});
}

}  // namespace

Encoder::Encoder(FrameSize size) : size_(size) {}

void Encoder::add(const Frame& frame) {
    frames_.insert(frames_.end(), frame.bytes().begin(), frame.bytes().end());
    frameEnds_.clear();
}

// The tokens of `frame` after `before`, under the costs of a pass: a page
// mask for each 8 pages, then the changed pages.
void Encoder::parseFrame(const std::uint8_t* before, const std::uint8_t* frame,
                         std::vector<Token>& out) const {
    const std::size_t width = static_cast<std::size_t>(size_.width);
    int mask = 0;
    for (int p = 0; p < size_.pages(); ++p) {
        if (std::memcmp(frame + width * p, before + width * p, width) != 0) mask |= 1 << p;
    }
    for (int p = 0; p < size_.pages(); p += 8) {
        out.push_back({static_cast<std::uint16_t>(mask >> p & 0xFF), 0, 0, 0});
    }
    for (int p = 0; p < size_.pages(); ++p) {
        if (mask >> p & 1) parsePage(size_, before, frame, p, costs_, byCost_, out);
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
        const std::vector<std::uint8_t> blank(size_.bytes(), 0);
        for (std::size_t i = 0; i < count; ++i) {
            parseFrame(i == 0 ? blank.data() : frame(i - 1), frame(i), tokens_);
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
    parseFrame(frame(count - 1), frame(0), wrap);
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
    std::uint64_t bits = 0, bytes = size_ == kLcdSize ? ORVC_HEADER_BYTES : ORVC_SIZED_HEADER_BYTES;
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
    const bool sized = size_ != kLcdSize;
    out = {ORVC_MAGIC0,
           ORVC_MAGIC1,
           ORVC_MAGIC2,
           ORVC_MAGIC3,
           static_cast<std::uint8_t>(sized ? ORVC_SIZED_VERSION : ORVC_VERSION),
           static_cast<std::uint8_t>(ORVC_FLAG_WRAP | (lightSetBit ? ORVC_FLAG_LIGHT : 0)),
           static_cast<std::uint8_t>(fps),
           0};
    putLong(out, static_cast<std::uint32_t>(count));
    putLong(out, 0);  // the size, once known
    if (sized) {
        out.insert(out.end(), {static_cast<std::uint8_t>(size_.width),
                               static_cast<std::uint8_t>(size_.width >> 8),
                               static_cast<std::uint8_t>(size_.height), 0});
    }
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

}  // namespace orv::codec
