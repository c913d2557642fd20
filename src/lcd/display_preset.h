// The displays the tool knows by name, and what each wants of the frames:
// its size, the meaning of a set bit, and where the picture starts in the
// display's RAM. Every one of them is page-organised: the frames' pages
// layout is its own (a PCD8544's banks are pages).
#pragma once

#include <string>

#include "lcd/frame_size.h"

namespace orv {

struct DisplayPreset {
    const char* name;
    FrameSize size;
    bool lightSetBit;      // a set bit lights a pixel (OLEDs) rather than darkens it
    int firstColumn;       // the picture's column 0 in the display's RAM
    const char* describe;  // for help texts
};

inline constexpr DisplayPreset kDisplayPresets[] = {
    {"ssd1306", kLcdSize, true, 0, "SSD1306 OLED: a set bit lights a pixel"},
    {"sh1106", kLcdSize, true, 2, "SH1106 OLED: the same, the picture 2 columns into its 132"},
    {"st7565", kLcdSize, false, 0, "ST7565 LCD: a set bit is a dark pixel"},
    {"12864", kLcdSize, false, 0, "other page-organised 128 x 64 LCDs: a set bit is dark"},
    {"ssd1306-128x32", {128, 32}, true, 0, "SSD1306 OLED, 0.91\": a set bit lights a pixel"},
    {"ssd1306-72x40", {72, 40}, true, 28, "SSD1306 OLED, 0.42\": the same, RAM columns 28 to 99"},
    {"ssd1306-64x48", {64, 48}, true, 32, "SSD1306 OLED, 0.66\": the same, RAM columns 32 to 95"},
    {"sh1107-128x128", {128, 128}, true, 0, "SH1107 OLED: a set bit lights a pixel"},
    {"pcd8544-84x48",
     {84, 48},
     false,
     0,
     "PCD8544 LCD (SPI), its 6 banks the pages: a set bit is dark"},
};

// The preset called `name`, or nullptr.
inline const DisplayPreset* findDisplayPreset(const std::string& name) {
    for (const DisplayPreset& p : kDisplayPresets) {
        if (name == p.name) return &p;
    }
    return nullptr;
}

}  // namespace orv
