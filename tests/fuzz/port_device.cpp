// Fuzz target: the device a port number names, and the bytes of a
// transmitted line. The input gives a port number (4 bytes), a character
// limit (1 byte) and the line's characters (4 bytes each, any value).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "fuzz_check.h"
#include "serial/serial_rules.h"

namespace {

// The rule as the panel's documentation states it.
struct Range {
    std::int32_t first, last;
    const char* prefix;
};
constexpr Range kRanges[] = {{1, 99, "/dev/ttyS"},
                             {100, 199, "/dev/ttyUSB"},
                             {200, 299, "/dev/ttyACM"},
                             {1000, 1999, "/dev/pts/"}};

void checkPort(std::int32_t number) {
    const orv::Result<std::string> device = orv::serial::portDevice(number);
    for (const Range& r : kRanges) {
        if (number >= r.first && number <= r.last) {
            FUZZ_CHECK(device.ok());
            FUZZ_CHECK(device.value() == r.prefix + std::to_string(number - r.first));
            return;
        }
    }
    FUZZ_CHECK(!device.ok());
    FUZZ_CHECK(device.error().rfind("端口号 " + std::to_string(number) + " names no device", 0) ==
               0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i) bits |= std::uint32_t{data[i]} << (8 * i);
    const auto number = static_cast<std::int32_t>(bits);
    checkPort(number);
    // Near the ranges, where their edges are.
    checkPort(static_cast<std::int32_t>(bits % 2200) - 100);
    if (size <= 4) return 0;

    // A limit byte of 255 stands for no limit at all.
    const std::size_t limit = data[4] == 255 ? std::numeric_limits<std::size_t>::max() : data[4];
    std::u32string line;
    for (std::size_t i = 5; i + 4 <= size; i += 4) {
        std::uint32_t c;
        std::memcpy(&c, data + i, 4);
        line.push_back(static_cast<char32_t>(c));
    }
    const std::string bytes = orv::serial::lineBytes(line, limit);
    const std::size_t sent = line.size() < limit ? line.size() : limit;
    FUZZ_CHECK(bytes.size() == sent + 1);
    FUZZ_CHECK(bytes.back() == '\r');
    std::size_t questionMarks = 0;
    for (std::size_t i = 0; i < sent; ++i) {
        const char32_t c = line[i];
        FUZZ_CHECK(static_cast<unsigned char>(bytes[i]) == (c <= 0xFF ? c : U'?'));
        questionMarks += c > 0xFF;
    }
    FUZZ_CHECK(orv::serial::lineQuestionMarks(line, limit) == questionMarks);
    return 0;
}
