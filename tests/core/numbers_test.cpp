#include "common/numbers.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace orv::num;

TEST(Numbers, ParsesDecimalTextAndNothingElse) {
    const std::pair<const char*, double> good[] = {
        {"1.2", 1.2}, {"-0.5", -0.5}, {".5", 0.5}, {"5.", 5.0}, {"1E-2", 0.01}, {"\t8\n", 8.0},
    };
    for (const auto& [text, value] : good) {
        auto r = parseDouble(text);
        ASSERT_TRUE(r.ok()) << text << ": " << r.error();
        EXPECT_EQ(r.value(), value) << text;
    }
    // That a refusal names the text is the numbers fuzz target's check.
    for (const char* text : {"", "1.2.3", "inf", "0x10", "1,5", "1e", ".", "1e999", "12 34"})
        EXPECT_FALSE(parseDouble(text).ok()) << "accepted \"" << text << "\"";
}

TEST(Numbers, RoundsHalfToEven) {
    const struct {
        double in, out;
    } cases[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {0.5, 0}, {2.4999, 2}, {-1.6, -2}, {1e15 + 0.5, 1e15},
    };
    for (const auto& c : cases) EXPECT_EQ(roundHalfEven(c.in), c.out) << c.in;
    EXPECT_EQ(roundHalfEven(4503599627370497.0), 4503599627370497.0);  // above 2^52 all whole
}

// The 16- and 32-bit ranges and the Single's are the numbers fuzz target's,
// against the C library's rounding and limits; it takes no 64-bit seeds.
TEST(Numbers, ParsesSeeds) {
    EXPECT_EQ(parseUnsigned64("18446744073709551615").value(), 18446744073709551615ull);
    for (const char* bad : {"-1", "1.5", "", "18446744073709551616", "x"}) {
        EXPECT_FALSE(parseUnsigned64(bad).ok()) << bad;
    }
}

TEST(Numbers, FormatsWithoutLeadingBlank) {
    // The capture clock's texts (474.6667, 2024.6667, 1040) are its own test's.
    const struct {
        std::string got, want;
    } cases[] = {
        {formatSingle(-2.5f), "-2.5"},
        {formatSingle(12345678.0f), "1.234568E+07"},
        {formatSingle(1234567.0f), "1234567"},
        {formatDouble(0.00001), "1E-05"},
        {formatDouble(-0.0), "0"},
        {formatDouble(1.0 / 3.0), "0.333333333333333"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Numbers, ParsesTimesInSecondsOrWithColons) {
    const struct {
        const char* text;
        double seconds;
    } good[] = {
        {"1.5", 1.5},         {"007", 7}, {"1:30.5", 90.5}, {"0:5", 5}, {"10:59:59.75", 39599.75},
        {"100:00:00", 360000}};
    for (const auto& c : good) {
        auto r = parseSeconds(c.text);
        ASSERT_TRUE(r.ok()) << c.text << ": " << r.error();
        EXPECT_EQ(r.value(), c.seconds) << c.text;
    }
    std::vector<std::pair<std::string, std::string>> bad = {{"1:60", "seconds below 60"},
                                                            {"1:60:00", "minutes below 60"},
                                                            {std::string(400, '9'), "too large"}};
    for (const char* text : {"", "-1", "1e3", "1.", " 90", "1::2", "1:2:3:4", "1.5:30"}) {
        bad.emplace_back(text, "is not a time");
    }
    for (const auto& [text, says] : bad) {
        auto r = parseSeconds(text, "--start");
        ASSERT_FALSE(r.ok()) << "accepted \"" << text << "\"";
        EXPECT_EQ(r.error().rfind("--start: \"" + text + "\"", 0), 0u) << r.error();
        EXPECT_NE(r.error().find(says), std::string::npos) << r.error();
    }
}
