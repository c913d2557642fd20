#include "lcd/codec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <queue>

#include "orv_codec.h"

namespace orv::codec {
namespace {

constexpr int kTables = 3;
constexpr std::array<int, kTables> kAlphabet = {256, ORVC_MAIN_SYMBOLS, ORVC_LENGTH_CLASSES};
constexpr int kVectors = (2 * ORVC_MOVE_DX + 1) * (2 * ORVC_MOVE_DY + 1);
// A move shorter than this is sent as literals.
constexpr int kShortestMove = 2;

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

// The codes for the tokens before `end`.
std::vector<Code> codesFor(const std::vector<Encoder::Token>& tokens, std::size_t end) {
    std::vector<std::vector<std::uint64_t>> counts;
    for (int t = 0; t < kTables; ++t) counts.emplace_back(kAlphabet[t], 0);
    for (std::size_t i = 0; i < end; ++i) ++counts[tokens[i].table][tokens[i].symbol];
    std::vector<Code> codes;
    for (int t = 0; t < kTables; ++t) codes.emplace_back(codeLengths(counts[t]));
    return codes;
}

}  // namespace

Encoder::Encoder() = default;

void Encoder::addRun(int table, int firstSymbol, int length) {
    const int k = lengthClass(length);
    const auto extraBits = orvc_class_extra(static_cast<std::uint8_t>(k));
    tokens_.push_back(
        {static_cast<std::uint16_t>(firstSymbol + k), static_cast<std::uint8_t>(table), extraBits,
         static_cast<std::uint8_t>(length - orvc_class_base(static_cast<std::uint8_t>(k)))});
}

void Encoder::add(const FramePages& frame) {
    int mask = 0;
    for (int p = 0; p < 8; ++p) {
        if (std::memcmp(&frame[128 * p], &previous_[128 * p], 128) != 0) mask |= 1 << p;
    }
    tokens_.push_back({static_cast<std::uint16_t>(mask), 0, 0, 0});
    for (int p = 0; p < 8; ++p) {
        if (mask >> p & 1) addPage(frame, p);
    }
    previous_ = frame;
    frameEnds_.push_back(tokens_.size());
}

// A changed page as tokens, greedily: unchanged runs, the last literal
// repeated, the longest move of the frame before, else a literal.
void Encoder::addPage(const FramePages& frame, int p) {
    const std::uint8_t* now = &frame[128 * p];
    const std::uint8_t* old = &previous_[128 * p];
    // Every move of the old picture's columns, and how far each matches.
    std::array<std::uint64_t, 128> column{};
    for (int c = 0; c < 128; ++c) {
        for (int q = 0; q < 8; ++q) column[c] |= std::uint64_t{previous_[128 * q + c]} << (8 * q);
    }
    static thread_local std::array<std::array<std::uint8_t, 129>, kVectors> match;
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
    std::uint8_t literal = 0;
    int c = 0;
    while (c <= last) {
        auto run = [&](auto same) {
            int n = 0;
            while (c + n <= last && same(c + n)) ++n;
            return n;
        };
        if (now[c] == old[c]) {
            const int n = run([&](int i) { return now[i] == old[i]; });
            addRun(1, ORVC_SYM_SKIP, n);
            c += n;
            continue;
        }
        const std::uint8_t x = now[c] ^ old[c];
        if (x == literal) {
            const int n = run([&](int i) { return (now[i] ^ old[i]) == literal; });
            if (n >= 2) {
                addRun(1, ORVC_SYM_REPEAT, n);
                c += n;
                continue;
            }
        }
        int best = 0, bestVector = 0;
        for (int v = 0; v < kVectors; ++v) {
            const int n = std::min<int>(match[v][c], last + 1 - c);
            if (n > best && v != kVectors / 2) best = n, bestVector = v;
        }
        if (best >= kShortestMove) {
            tokens_.push_back({static_cast<std::uint16_t>(ORVC_SYM_MOVE + bestVector), 1, 0, 0});
            addRun(2, 0, best);
            c += best;
            continue;
        }
        tokens_.push_back({x, 1, 0, 0});
        literal = x;
        ++c;
    }
    if (last < 127) tokens_.push_back({ORVC_SYM_END, 1, 0, 0});
}

std::uint64_t Encoder::streamBytes(std::uint64_t count) const {
    if (count == 0 || count > frames()) return 0;
    const std::size_t end = frameEnds_[count - 1];
    const std::vector<Code> codes = codesFor(tokens_, end);
    std::uint64_t bits = 0, bytes = ORVC_HEADER_BYTES;
    for (int t = 0; t < kTables; ++t) bytes += codes[t].tableBytes(symbolWidth(t));
    for (std::size_t i = 0; i < end; ++i) {
        bits += codes[tokens_[i].table].lengths[tokens_[i].symbol] + tokens_[i].extraBits;
    }
    return bytes + (bits + 7) / 8;
}

std::uint64_t Encoder::framesThatFit(std::uint64_t bytes) const {
    // The size grows with the count but for the odd byte of the tables, so
    // the search is checked from the found count down.
    std::uint64_t low = 0, high = frames();
    while (low < high) {
        const std::uint64_t mid = (low + high + 1) / 2;
        if (streamBytes(mid) <= bytes) {
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    while (low > 0 && streamBytes(low) > bytes) --low;
    return low;
}

std::vector<std::uint8_t> Encoder::stream(std::uint64_t count, int fps, bool lightSetBit) const {
    std::vector<std::uint8_t> out;
    if (count == 0 || count > frames() || fps < 1 || fps > 255) return out;
    const std::size_t end = frameEnds_[count - 1];
    const std::vector<Code> codes = codesFor(tokens_, end);
    out = {ORVC_MAGIC0,
           ORVC_MAGIC1,
           ORVC_MAGIC2,
           ORVC_MAGIC3,
           ORVC_VERSION,
           static_cast<std::uint8_t>(lightSetBit ? ORVC_FLAG_LIGHT : 0),
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
    for (std::size_t i = 0; i < end; ++i) {
        const Token& k = tokens_[i];
        const Code& code = codes[k.table];
        bits.put(code.codes[k.symbol], code.lengths[k.symbol]);
        bits.put(k.extra, k.extraBits);
    }
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
    if (!looksLikeStream(bytes)) return fail("not a " + std::string(kName) + " stream");
    if (bytes.size() > 4 && static_cast<std::uint8_t>(bytes[4]) != ORVC_VERSION) {
        return fail("a " + std::string(kName) + " stream of version " +
                    std::to_string(static_cast<std::uint8_t>(bytes[4])) + " (this orv reads " +
                    std::to_string(ORVC_VERSION) + ")");
    }
    orvc_decoder d;
    if (bytes.size() > UINT32_MAX ||
        orvc_open(&d, bytes.data(), static_cast<orvc_offset>(bytes.size())) != ORVC_OK) {
        return fail("the " + std::string(kName) +
                    " stream's header or tables are cut short or damaged");
    }
    return StreamInfo{d.frames, d.fps, (d.flags & ORVC_FLAG_LIGHT) != 0, bytes.size()};
}

Result<StreamInfo> decodeStream(std::string_view bytes,
                                const std::function<void(const FramePages&)>& frame) {
    Result<StreamInfo> info = readStreamInfo(bytes);
    if (!info) return info;
    orvc_decoder d;
    (void)orvc_open(&d, bytes.data(), static_cast<orvc_offset>(bytes.size()));
    FramePages pages;
    orvc_rewind(&d, pages.data());
    for (std::uint32_t i = 0; i < d.frames; ++i) {
        if (orvc_next(&d, pages.data()) < 0) {
            return fail("frame " + std::to_string(i) + " of the " + kName +
                        " stream is damaged or cut short");
        }
        if (frame) frame(pages);
    }
    return info;
}

}  // namespace orv::codec
