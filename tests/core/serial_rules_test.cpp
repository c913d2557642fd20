#include "serial/serial_rules.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace orv::serial;

TEST(SerialRules, SettingsText) {
    const struct {
        const char* text;
        int baud;
        Parity parity;
        int dataBits;
        StopBits stop;
    } cases[] = {
        {"9600,n,8,1", 9600, Parity::None, 8, StopBits::One},
        {"115200,E,7,2", 115200, Parity::Even, 7, StopBits::Two},
        {" 300 , o , 5 , 1.5 ", 300, Parity::Odd, 5, StopBits::OneAndHalf},
        {"1200,m,6,1", 1200, Parity::Mark, 6, StopBits::One},
        {"1200,s,8,1", 1200, Parity::Space, 8, StopBits::One},
    };
    for (const auto& c : cases) {
        auto r = parseSettings(c.text);
        ASSERT_TRUE(r.ok()) << c.text;
        const PortSettings& s = r.value();
        EXPECT_TRUE(std::tie(s.baud, s.parity, s.dataBits, s.stopBits) ==
                    std::tie(c.baud, c.parity, c.dataBits, c.stop))
            << c.text;
    }
    // How a refusal begins is the serial_settings fuzz target's check.
    for (const char* bad : {"9600,x,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8", "0,n,8,1", ""})
        EXPECT_FALSE(parseSettings(bad).ok()) << bad;
}
