// The framed serial link between the host and a display: packet layout, CRC,
// a byte-at-a-time decoder, a packet writer, and the bytes the display sends
// back (link version 2).
//
// Shared by the host (C++20) and the receiver sketch (C++11 on an ATmega328P):
// no standard library beyond <stdint.h>, no exceptions, no dynamic memory.
//
// One packet, 135 bytes for frames 128 columns wide (7 more than the width):
//   offset   0  2  sync 0xA5 0x5A
//   offset   2  2  frame number, low byte first (counts from 0, wraps at 65536)
//   offset   4  1  page number 0..7 (0 to the frame's pages less 1)
//   offset   5 128 the page's column bytes, column 0 first
//   offset 133  2  CRC-16/CCITT-FALSE of offsets 2..132, low byte first
#ifndef ORV_LINK_H
#define ORV_LINK_H

#include <stdint.h>

namespace orv {
namespace framing {

const uint8_t kSync0 = 0xA5;
const uint8_t kSync1 = 0x5A;
const uint8_t kSyncBytes = 2;
const uint8_t kFrameNumberBytes = 2;
const uint8_t kPageNumberBytes = 1;
const uint8_t kPageCount = 8;    // of a 128 x 64 frame
const uint8_t kPageBytes = 128;  // of a 128 x 64 frame
const uint8_t kMostPages = 16;   // of any frame: 128 rows
const uint8_t kCrcBytes = 2;

const uint8_t kFrameNumberOffset = kSyncBytes;                             // 2
const uint8_t kPageNumberOffset = kFrameNumberOffset + kFrameNumberBytes;  // 4
const uint8_t kDataOffset = kPageNumberOffset + kPageNumberBytes;          // 5
const uint8_t kCrcOffset = kDataOffset + kPageBytes;                       // 133
const uint8_t kPacketBytes = kCrcOffset + kCrcBytes;                       // 135
// The bytes of a packet besides its columns.
const uint8_t kPacketFrame = kPacketBytes - kPageBytes;  // 7

// The bytes of a packet of a page `width` columns wide.
inline uint16_t packetBytes(uint16_t width) { return static_cast<uint16_t>(kPacketFrame + width); }

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, no reflection,
// no final XOR. The check value of the ASCII text "123456789" is 0x29B1.
const uint16_t kCrcPolynomial = 0x1021;
const uint16_t kCrcInitial = 0xFFFF;

// The CRC after one more byte: the eight bit steps of the polynomial folded
// into shifts and XORs of the whole byte, no table.
inline uint16_t crc16Update(uint16_t crc, uint8_t byte) {
    crc = static_cast<uint16_t>((crc >> 8) | (crc << 8));
    crc ^= byte;
    crc ^= static_cast<uint16_t>((crc & 0xFF) >> 4);
    crc ^= static_cast<uint16_t>(crc << 12);
    crc ^= static_cast<uint16_t>((crc & 0xFF) << 5);
    return crc;
}

// The CRC of `length` bytes, continuing from `crc`.
inline uint16_t crc16(const uint8_t* bytes, uint16_t length, uint16_t crc = kCrcInitial) {
    for (uint16_t i = 0; i < length; ++i) crc = crc16Update(crc, bytes[i]);
    return crc;
}

// Compile-time forms of the same CRC, bit by bit (C++11 constexpr).
constexpr uint16_t crcBits(uint16_t crc, uint8_t bits) {
    return bits == 0 ? crc
                     : crcBits(static_cast<uint16_t>((crc & 0x8000u) ? (crc << 1) ^ kCrcPolynomial
                                                                     : crc << 1),
                               static_cast<uint8_t>(bits - 1));
}
// The CRC after `count` zero bytes.
constexpr uint16_t crcZeros(uint16_t crc, uint16_t count) {
    return count == 0 ? crc : crcZeros(crcBits(crc, 8), static_cast<uint16_t>(count - 1));
}

// Writes one packet of a page `width` columns wide (128 unless said) into
// `out` (packetBytes(width) long) and returns its length, or writes nothing
// and returns 0 when `page` is above 15.
inline uint16_t writePacket(uint8_t* out, uint16_t frameNumber, uint8_t page,
                            const uint8_t* columns, uint16_t width = kPageBytes) {
    if (page >= kMostPages) return 0;
    out[0] = kSync0;
    out[1] = kSync1;
    out[kFrameNumberOffset] = static_cast<uint8_t>(frameNumber & 0xFF);
    out[kFrameNumberOffset + 1] = static_cast<uint8_t>(frameNumber >> 8);
    out[kPageNumberOffset] = page;
    for (uint16_t c = 0; c < width; ++c) out[kDataOffset + c] = columns[c];
    const uint16_t crcAt = static_cast<uint16_t>(kDataOffset + width);
    const uint16_t crc =
        crc16(out + kFrameNumberOffset, static_cast<uint16_t>(crcAt - kFrameNumberOffset));
    out[crcAt] = static_cast<uint8_t>(crc & 0xFF);
    out[crcAt + 1] = static_cast<uint8_t>(crc >> 8);
    return packetBytes(width);
}

// The back channel, from the receiver to the host (version 2 of the link;
// version 1 had none, and a host still works with a receiver that sends
// nothing):
// - when it is ready, and again after each second in which no byte came, the
//   receiver announces itself with the ASCII line "ORV 2 W\n": the link's
//   version, then the window W (1..9), how many packets the host may have on
//   their way to it at once. A receiver of frames of another size than
//   128 x 64 says its size after them, "ORV 2 W WxH\n" ("ORV 2 4 72x40\n"),
//   which a host that knows only 128 x 64 takes for no announcement;
// - once it has written a good packet's page to the display, it sends one
//   acknowledgement byte, 0x80 | (frame number & 15) << 3 | page, or for
//   frames of more than 8 pages 0x80 | (frame number & 7) << 4 | page.
// Acknowledgements are 0x80 and above, the announcement below: they never mix.
const uint8_t kLinkVersion = 2;
const uint8_t kAckFlag = 0x80;
inline uint8_t ackByte(uint16_t frameNumber, uint8_t page, uint8_t pages = kPageCount) {
    return pages > 8 ? static_cast<uint8_t>(kAckFlag | (frameNumber & 0x07) << 4 | (page & 0x0F))
                     : static_cast<uint8_t>(kAckFlag | (frameNumber & 0x0F) << 3 | (page & 0x07));
}

// A packet's index type: a byte where the packet is shorter than 256 bytes.
template <bool Wide>
struct PacketIndex {
    typedef uint8_t type;
};
template <>
struct PacketIndex<true> {
    typedef uint16_t type;
};

// Collects packets of pages `PageBytes` columns wide, of frames of `Pages`
// pages, from a byte stream, one byte at a time, in constant time a byte.
//
// It keeps the last packet's worth of bytes (135 at 128 columns) and, as a
// rolling CRC, the CRC of the bytes that a packet ending with the newest
// byte would cover (131). Every byte thus ends a candidate, checked at once:
// it is a packet when it starts with the sync pair, its page number is one of
// the frame's pages and its CRC matches. A good packet uses up its bytes: the
// next one starts after it. A lost, extra or damaged byte costs only the
// packets it touches, and a real packet that starts inside a bad one, or
// after a sync pair in the data, is still found.
template <uint16_t PageBytes, uint8_t Pages>
class SizedDecoder {
    static const uint16_t kPacket = PageBytes + kPacketFrame;
    static const uint16_t kCrcAt = kDataOffset + PageBytes;
    typedef typename PacketIndex<(kPacket > 255)>::type Index;

  public:
    SizedDecoder() : next_(0), held_(0), window_(0) {}

    // Takes one byte; true when it completes a good packet, whose fields are
    // then readable through the accessors until the next call.
    bool feed(uint8_t byte) {
        // The window takes the byte 2 back and drops the one 133 back: it
        // then covers what would be offsets 2..132 of a packet ending here.
        if (held_ >= kCrcBytes) {
            window_ = crc16Update(window_, ring_[at(kPacket - kCrcBytes)]);
        }
        if (held_ >= kCovered + kCrcBytes) window_ ^= leaving(ring_[at(kCrcBytes)]);
        ring_[next_] = byte;
        next_ = at(1);
        if (held_ < kPacket) ++held_;
        if (held_ < kPacket || ring_[next_] != kSync0 || ring_[at(1)] != kSync1 ||
            ring_[at(kPageNumberOffset)] >= Pages) {
            return false;
        }
        const uint16_t sent =
            static_cast<uint16_t>(ring_[at(kCrcAt)] | (ring_[at(kCrcAt + 1)] << 8));
        if ((window_ ^ kWindowInitial) != sent) return false;
        reset();
        return true;
    }

    // Forgets every byte held.
    void reset() {
        held_ = 0;
        window_ = 0;
    }

    uint16_t frameNumber() const {
        return static_cast<uint16_t>(ring_[at(kFrameNumberOffset)] |
                                     (ring_[at(kFrameNumberOffset + 1)] << 8));
    }
    uint8_t page() const { return ring_[at(kPageNumberOffset)]; }
    // Column byte `c` (0..127 at 128 columns) of the page.
    uint8_t column(Index c) const { return ring_[at(static_cast<Index>(kDataOffset + c))]; }

  private:
    static constexpr uint16_t kCovered = kCrcAt - kFrameNumberOffset;  // 131 bytes under the CRC

    // The window's CRC is kept as if it had started from 0; a CRC from the
    // initial value differs from it by the initial value pushed through 131
    // bytes, and a byte leaving the window takes away itself pushed through
    // 131 more: both are linear, the latter one term a bit.
    static constexpr uint16_t kWindowInitial = crcZeros(kCrcInitial, kCovered);
    static constexpr uint16_t leavingBit(uint8_t bit) {
        return crcZeros(crcBits(static_cast<uint16_t>(1u << (bit + 8)), 8), kCovered);
    }
    static uint16_t leaving(uint8_t byte) {
        static const uint16_t kBits[8] = {leavingBit(0), leavingBit(1), leavingBit(2),
                                          leavingBit(3), leavingBit(4), leavingBit(5),
                                          leavingBit(6), leavingBit(7)};
        uint16_t out = 0;
        for (uint8_t bit = 0; bit < 8; ++bit) {
            if (byte & (1u << bit)) out ^= kBits[bit];
        }
        return out;
    }

    // The ring index `offset` bytes after the oldest byte held (once full,
    // the packet start of a candidate ending with the newest byte).
    Index at(Index offset) const {
        const Index room = static_cast<Index>(kPacket - next_);
        return static_cast<Index>(offset >= room ? offset - room : next_ + offset);
    }

    uint8_t ring_[kPacket];
    Index next_;       // where the next byte goes: the oldest byte once full
    Index held_;       // bytes held since the last good packet, at most a packet's
    uint16_t window_;  // CRC from 0 of the bytes under a packet's CRC, ending two bytes back
};

// The decoder of 128 x 64 frames' packets.
typedef SizedDecoder<kPageBytes, kPageCount> Decoder;

}  // namespace framing
}  // namespace orv

#endif  // ORV_LINK_H
