// Fuzz target: the serial settings text. What is accepted is within the
// documented ranges and reads the same when written back in the plain form.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "serial/serial_rules.h"

namespace {

using orv::serial::Parity;
using orv::serial::PortSettings;
using orv::serial::StopBits;

// The settings in the plain form, "9600,n,8,1".
std::string written(const PortSettings& s) {
    const char parity = s.parity == Parity::None   ? 'n'
                        : s.parity == Parity::Even ? 'e'
                        : s.parity == Parity::Odd  ? 'o'
                        : s.parity == Parity::Mark ? 'm'
                                                   : 's';
    const char* stop = s.stopBits == StopBits::One   ? "1"
                       : s.stopBits == StopBits::Two ? "2"
                                                     : "1.5";
    return std::to_string(s.baud) + ',' + parity + ',' + std::to_string(s.dataBits) + ',' + stop;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const orv::Result<PortSettings> r = orv::serial::parseSettings(text);
    if (!r.ok()) {
        FUZZ_CHECK(r.error().rfind("port settings \"" + text + "\" cannot be used: ", 0) == 0);
        return 0;
    }
    const PortSettings& s = r.value();
    std::size_t commas = 0;
    for (char c : text) commas += c == ',';
    FUZZ_CHECK(commas == 3);
    FUZZ_CHECK(s.baud >= 1);
    FUZZ_CHECK(s.dataBits >= 5 && s.dataBits <= 8);

    const std::string plain = written(s);
    const orv::Result<PortSettings> again = orv::serial::parseSettings(plain);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.value().baud == s.baud && again.value().parity == s.parity &&
               again.value().dataBits == s.dataBits && again.value().stopBits == s.stopBits);
    FUZZ_CHECK(written(again.value()) == plain);
    return 0;
}
