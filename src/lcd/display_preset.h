// The displays the tool knows by name, and what each wants of the frames: the
// meaning of a set bit, and where the picture starts in the display's RAM.
#pragma once

#include <string>

namespace orv {

struct DisplayPreset {
    const char* name;
    bool lightSetBit;      // a set bit lights a pixel (OLEDs) rather than darkens it
    int firstColumn;       // the picture's column 0 in the display's RAM
    const char* describe;  // for help texts
};

inline constexpr DisplayPreset kDisplayPresets[] = {
    {"ssd1306", true, 0, "SSD1306 OLED: a set bit lights a pixel"},
    {"sh1106", true, 2, "SH1106 OLED: the same, the picture 2 columns into its 132"},
    {"st7565", false, 0, "ST7565 LCD: a set bit is a dark pixel"},
    {"12864", false, 0, "other page-organised 128 x 64 LCDs: a set bit is dark"},
};

// The preset called `name`, or nullptr.
inline const DisplayPreset* findDisplayPreset(const std::string& name) {
    for (const DisplayPreset& p : kDisplayPresets) {
        if (name == p.name) return &p;
    }
    return nullptr;
}

}  // namespace orv
