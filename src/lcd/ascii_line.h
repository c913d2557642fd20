// The byte2ascii line: bytes as characters for the serial link.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orv {

// The byte buffer the line is built from; all zero unless something fills it.
using AsciiBufferArray = std::array<std::uint8_t, 1025>;

// Characters built per line; only the first kAsciiLineSent of them are sent.
inline constexpr std::size_t kAsciiLineChars = 250;
inline constexpr std::size_t kAsciiLineSent = 128;

// Bytes 1..250 of the buffer as 250 characters: byte 13 becomes character 12,
// every other byte b the character b, so the line holds no carriage return.
std::string buildAsciiLine(const AsciiBufferArray& AsciiBuffer);

}  // namespace orv
