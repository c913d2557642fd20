// Fuzz target: the serial settings text. What is accepted is within the
// documented ranges and reads the same when written back in the plain form.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "serial/serial_rules.h"

namespace {

using orv::serial::PortSettings;

// The settings in the plain form, "9600,n,8,1".
std::string written(const PortSettings& s) {
    return std::to_string(s.baud) + ',' + "neoms"[int(s.parity)] + ',' +
           std::to_string(s.dataBits) + ',' + std::array{"1", "1.5", "2"}[int(s.stopBits)];
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
    FUZZ_CHECK(std::count(text.begin(), text.end(), ',') == 3);
    FUZZ_CHECK(s.baud >= 1 && s.dataBits >= 5 && s.dataBits <= 8);
    const std::string plain = written(s);
    const orv::Result<PortSettings> again = orv::serial::parseSettings(plain);
    FUZZ_CHECK(again.ok() && written(again.value()) == plain);
    return 0;
}
