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
    for (std::string bad : {"9600,x,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8", "0,n,8,1", ""}) {
        auto r = parseSettings(bad);
        ASSERT_FALSE(r.ok()) << bad;
        EXPECT_NE(r.error().find("port settings \"" + bad + "\""), std::string::npos) << r.error();
    }
}

TEST(SerialRules, PortNumbersNameDevices) {
    const struct {
        int number;
        const char* device;  // nullptr: refused
    } cases[] = {
        {1, "/dev/ttyS0"},    {99, "/dev/ttyS98"},    {100, "/dev/ttyUSB0"}, {200, "/dev/ttyACM0"},
        {1000, "/dev/pts/0"}, {1999, "/dev/pts/999"}, {0, nullptr},          {300, nullptr},
        {999, nullptr},       {2000, nullptr},
    };
    for (const auto& c : cases) {
        auto r = portDevice(c.number);
        EXPECT_EQ(r.ok() ? r.value() : r.error().substr(0, r.error().find(" names")),
                  c.device ? c.device : "端口号 " + std::to_string(c.number));
    }
}

TEST(SerialRules, LineBytes) {
    const std::u32string seventy(70, U'x');
    const struct {
        std::u32string text;
        std::size_t limit;
        std::string bytes;
        std::size_t questionMarks = 0;  // characters sent as '?'
    } cases[] = {
        {U"a", 64, "a\r"},
        {U"", 64, "\r"},
        {seventy, 64, std::string(64, 'x') + "\r"},
        {U"\u00e9\u00ff\u0001", 64, "\xe9\xff\x01\r"},           // one byte per character
        {U"\u4e2d\U0001F600?", 64, "???\r", 2},                  // a '?' typed is no replacement
        {seventy + U"\u4e2d", 64, std::string(64, 'x') + "\r"},  // beyond the limit: not sent
        {U"\u4e2d\u4e2d\u4e2d", 2, "??\r", 2},
        {std::u32string(1, U'\0') + U"z", 64, std::string("\0z\r", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lineBytes(c.text, c.limit), c.bytes);
        EXPECT_EQ(lineQuestionMarks(c.text, c.limit), c.questionMarks) << c.bytes;
    }
}
