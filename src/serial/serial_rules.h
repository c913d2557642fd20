// Rules of the serial link that need no port: the settings text, the device
// a port number names, and the bytes of a transmitted line.
#pragma once

#include <cstdint>
#include <string>

#include "common/result.h"

namespace orv::serial {

// Start-up values of the panel.
inline constexpr std::int16_t kDefaultPort = 1;
inline constexpr const char* kDefaultSettings = "9600,n,8,1";

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

// "baud,parity,data bits,stop bits", for example "9600,n,8,1".
struct PortSettings {
    std::int32_t baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;  // 5 .. 8
    StopBits stopBits = StopBits::One;
};

// Parses a settings text; parity is one of n, e, o, m, s (either case), data
// bits 5 to 8, stop bits 1, 1.5 or 2. Blanks around the fields are allowed.
Result<PortSettings> parseSettings(const std::string& text);

// The device a port number names:
//   Windows: COMn.
//   elsewhere: 1..99 /dev/ttyS0..98, 100..199 /dev/ttyUSB0..99,
//   200..299 /dev/ttyACM0..99, 1000..1999 the pseudo-terminals /dev/pts/0..999.
// Other numbers are refused with a message that calls the number by the
// caption of its box, 端口号.
Result<std::string> portDevice(std::int32_t number);

// The rule above as one line for tooltips and messages, as
// "1-99 = /dev/ttyS0-98, ...".
const char* portRuleText();

// What SendSerialLine puts on the wire: the first `limit` characters of the
// text (code points), each as one byte (code point b is byte b; one above 255
// goes as '?'), then the byte 0x0D.
std::string lineBytes(const std::u32string& text, std::size_t limit);

// How many of the characters lineBytes sends go as '?'.
std::size_t lineQuestionMarks(const std::u32string& text, std::size_t limit);

}  // namespace orv::serial
