// The framed serial link between the host and a display: packet layout, CRC,
// a byte-at-a-time decoder and a packet writer.
//
// Shared by the host (C++20) and the receiver sketch (C++11 on an ATmega328P):
// no standard library beyond <stdint.h>, no exceptions, no dynamic memory.
//
// One packet, 135 bytes:
//   offset   0  2  sync 0xA5 0x5A
//   offset   2  2  frame number, low byte first (counts from 0, wraps at 65536)
//   offset   4  1  page number 0..7
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
const uint8_t kPageCount = 8;
const uint8_t kPageBytes = 128;
const uint8_t kCrcBytes = 2;

const uint8_t kFrameNumberOffset = kSyncBytes;                             // 2
const uint8_t kPageNumberOffset = kFrameNumberOffset + kFrameNumberBytes;  // 4
const uint8_t kDataOffset = kPageNumberOffset + kPageNumberBytes;          // 5
const uint8_t kCrcOffset = kDataOffset + kPageBytes;                       // 133
const uint8_t kPacketBytes = kCrcOffset + kCrcBytes;                       // 135

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, no reflection,
// no final XOR. The check value of the ASCII text "123456789" is 0x29B1.
const uint16_t kCrcPolynomial = 0x1021;
const uint16_t kCrcInitial = 0xFFFF;

// The CRC after one more byte. Bitwise: no table, no RAM.
inline uint16_t crc16Update(uint16_t crc, uint8_t byte) {
    crc = static_cast<uint16_t>(crc ^ (static_cast<uint16_t>(byte) << 8));
    for (uint8_t bit = 0; bit < 8; ++bit) {
        if (crc & 0x8000u) {
            crc = static_cast<uint16_t>((crc << 1) ^ kCrcPolynomial);
        } else {
            crc = static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

// The CRC of `length` bytes, continuing from `crc`.
inline uint16_t crc16(const uint8_t* bytes, uint16_t length, uint16_t crc = kCrcInitial) {
    for (uint16_t i = 0; i < length; ++i) crc = crc16Update(crc, bytes[i]);
    return crc;
}

// Writes one packet into `out` (kPacketBytes long) and returns kPacketBytes,
// or writes nothing and returns 0 when `page` is above 7.
inline uint8_t writePacket(uint8_t* out, uint16_t frameNumber, uint8_t page,
                           const uint8_t* columns) {
    if (page >= kPageCount) return 0;
    out[0] = kSync0;
    out[1] = kSync1;
    out[kFrameNumberOffset] = static_cast<uint8_t>(frameNumber & 0xFF);
    out[kFrameNumberOffset + 1] = static_cast<uint8_t>(frameNumber >> 8);
    out[kPageNumberOffset] = page;
    for (uint8_t c = 0; c < kPageBytes; ++c) out[kDataOffset + c] = columns[c];
    const uint16_t crc =
        crc16(out + kFrameNumberOffset, static_cast<uint16_t>(kCrcOffset - kFrameNumberOffset));
    out[kCrcOffset] = static_cast<uint8_t>(crc & 0xFF);
    out[kCrcOffset + 1] = static_cast<uint8_t>(crc >> 8);
    return kPacketBytes;
}

// Collects packets from a byte stream, one byte at a time.
//
// The buffer always starts at a candidate sync pair. A lost, extra or damaged
// byte costs at most the packets it touches: when a candidate turns out wrong
// (bad page number or bad CRC) the bytes already held are searched again for
// the next sync pair, so the start of a real packet caught inside a bad one is
// kept.
class Decoder {
  public:
    Decoder() : count_(0) {}

    // Takes one byte; true when it completes a good packet, whose fields are
    // then readable through the accessors until the next call.
    bool feed(uint8_t byte) {
        buffer_[count_++] = byte;
        for (;;) {
            const Verdict v = check();
            if (v == kWaiting) return false;
            if (v == kGood) {
                count_ = 0;
                return true;
            }
            resync();
        }
    }

    // Drops any partial packet.
    void reset() { count_ = 0; }

    uint16_t frameNumber() const {
        return static_cast<uint16_t>(buffer_[kFrameNumberOffset] |
                                     (buffer_[kFrameNumberOffset + 1] << 8));
    }
    uint8_t page() const { return buffer_[kPageNumberOffset]; }
    const uint8_t* data() const { return buffer_ + kDataOffset; }

  private:
    enum Verdict { kWaiting, kGood, kBad };

    // What the bytes held so far amount to.
    Verdict check() const {
        if (count_ >= 1 && buffer_[0] != kSync0) return kBad;
        if (count_ >= 2 && buffer_[1] != kSync1) return kBad;
        if (count_ > kPageNumberOffset && buffer_[kPageNumberOffset] >= kPageCount) return kBad;
        if (count_ < kPacketBytes) return kWaiting;
        const uint16_t crc = crc16(buffer_ + kFrameNumberOffset,
                                   static_cast<uint16_t>(kCrcOffset - kFrameNumberOffset));
        const uint16_t sent =
            static_cast<uint16_t>(buffer_[kCrcOffset] | (buffer_[kCrcOffset + 1] << 8));
        return crc == sent ? kGood : kBad;
    }

    // Moves the buffer on to the next place after its start where a sync pair
    // begins (a lone 0xA5 at the end counts), or empties it.
    void resync() {
        uint8_t from = 1;
        while (from < count_) {
            if (buffer_[from] == kSync0 && (from + 1 == count_ || buffer_[from + 1] == kSync1)) {
                break;
            }
            ++from;
        }
        for (uint8_t i = from; i < count_; ++i) buffer_[i - from] = buffer_[i];
        count_ = static_cast<uint8_t>(count_ - from);
    }

    uint8_t buffer_[kPacketBytes];
    uint8_t count_;
};

}  // namespace framing
}  // namespace orv

#endif  // ORV_LINK_H
