// The displays the sketches drive, each described apart from the bus that
// carries its bytes (orv_twi.h): the panel's size, its first column in the
// controller's RAM, how the controller places a page's columns and the
// set-up it takes at power-up. A panel shows RAM pages 0 and on from the top
// and its columns from kFirstColumn, left to right.
//
// One description is chosen at build time, by the macro defined before this
// header (make ORV_DISPLAY=NAME defines it for the sketches: orv_display.mk):
//   NAME            macro                         panel
//   ssd1306         ORV_DISPLAY_SSD1306, or none  SSD1306, 128 x 64 (0.96")
//   sh1106          ORV_DISPLAY_SH1106            SH1106, 128 x 64 (1.3")
//   ssd1306-128x32  ORV_DISPLAY_SSD1306_128X32    SSD1306, 128 x 32 (0.91")
//   ssd1306-72x40   ORV_DISPLAY_SSD1306_72X40     SSD1306, 72 x 40 (0.42")
//   ssd1306-64x48   ORV_DISPLAY_SSD1306_64X48     SSD1306, 64 x 48 (0.66")
// It is orv::display::Panel, and its set-up orv::display::kSetup.
//
// C++11, the Arduino core's <avr/pgmspace.h>; constants only.
#ifndef ORV_DISPLAY_H
#define ORV_DISPLAY_H

#include <avr/pgmspace.h>
#include <stdint.h>

namespace orv {
namespace display {

// What both controllers take on I2C: the first byte of a transmission says
// what follows.
struct OnI2c {
    static const uint8_t kCommandStream = 0x00;
    static const uint8_t kDataStream = 0x40;
};

// An SSD1306 whose panel starts at RAM column FirstColumn, in horizontal
// addressing: a page's columns are placed by a column range and a page
// range. placeByte() is byte i of the kPlaceBytes commands that place panel
// columns `from` to `to` of page `page`.
template <uint8_t FirstColumn>
struct Ssd1306 : OnI2c {
    static const uint8_t kFirstColumn = FirstColumn;
    static const uint8_t kPlaceBytes = 6;
    static uint8_t placeByte(uint8_t i, uint8_t page, uint8_t from, uint8_t to) {
        switch (i) {
            case 0:
                return 0x21;  // column range
            case 1:
                return (uint8_t)(from + kFirstColumn);
            case 2:
                return (uint8_t)(to + kFirstColumn);
            case 3:
                return 0x22;  // page range: this page only
            default:
                return page;
        }
    }
};

// An SH1106, 132 columns of RAM with the panel FirstColumn in; it has no
// horizontal addressing, so a page's columns are placed by the page and the
// column that writing starts at.
template <uint8_t FirstColumn>
struct Sh1106 : OnI2c {
    static const uint8_t kFirstColumn = FirstColumn;
    static const uint8_t kPlaceBytes = 3;
    static uint8_t placeByte(uint8_t i, uint8_t page, uint8_t from, uint8_t) {
        const uint8_t at = (uint8_t)(from + kFirstColumn);
        return i == 0   ? (uint8_t)(0xB0 | page)         // this page
               : i == 1 ? (uint8_t)(0x00 | (at & 0x0F))  // column, low half
                        : (uint8_t)(0x10 | (at >> 4));   // and high half
    }
};

// The panels: kWidth columns and kHeight rows (whole pages), and the COM
// pins configuration their rows are wired for (data sheet, command 0xDA):
// 0x12, alternative, for the modules with 40 rows or more; 0x02,
// sequential, for the 32-row one.
struct Ssd1306_128x64 : Ssd1306<0> {
    static const uint8_t kWidth = 128, kHeight = 64, kComPins = 0x12;
};
struct Sh1106_128x64 : Sh1106<2> {
    static const uint8_t kWidth = 128, kHeight = 64, kComPins = 0x12;
};
struct Ssd1306_128x32 : Ssd1306<0> {
    static const uint8_t kWidth = 128, kHeight = 32, kComPins = 0x02;
};
struct Ssd1306_72x40 : Ssd1306<28> {  // RAM columns 28 to 99
    static const uint8_t kWidth = 72, kHeight = 40, kComPins = 0x12;
};
struct Ssd1306_64x48 : Ssd1306<32> {  // RAM columns 32 to 95
    static const uint8_t kWidth = 64, kHeight = 48, kComPins = 0x12;
};

// The chosen panel, and its size as macros too (ORV_PANEL_WIDTH and
// ORV_PANEL_HEIGHT), for what the preprocessor sizes: the frame decoder.
#if defined(ORV_DISPLAY_SH1106)
typedef Sh1106_128x64 Panel;
#define ORV_PANEL_WIDTH 128
#define ORV_PANEL_HEIGHT 64
#elif defined(ORV_DISPLAY_SSD1306_128X32)
typedef Ssd1306_128x32 Panel;
#define ORV_PANEL_WIDTH 128
#define ORV_PANEL_HEIGHT 32
#elif defined(ORV_DISPLAY_SSD1306_72X40)
typedef Ssd1306_72x40 Panel;
#define ORV_PANEL_WIDTH 72
#define ORV_PANEL_HEIGHT 40
#elif defined(ORV_DISPLAY_SSD1306_64X48)
typedef Ssd1306_64x48 Panel;
#define ORV_PANEL_WIDTH 64
#define ORV_PANEL_HEIGHT 48
#else
typedef Ssd1306_128x64 Panel;
#define ORV_PANEL_WIDTH 128
#define ORV_PANEL_HEIGHT 64
#endif
static_assert(Panel::kWidth == ORV_PANEL_WIDTH && Panel::kHeight == ORV_PANEL_HEIGHT,
              "the panel's size macros say its size");

// Power-up set-up: page 0 is the top 8 rows, column 0 the left edge (module
// with its pins at the top). If the picture comes out mirrored, use 0xA0
// instead of 0xA1; if upside down, 0xC0 instead of 0xC8.
const uint8_t kSetup[] PROGMEM = {
    0xAE,                      // display off
    0xD5, 0x80,                // clock divide ratio and oscillator frequency
    0xA8, Panel::kHeight - 1,  // multiplex ratio: the panel's rows
    0xD3, 0x00,                // display offset 0
    0x40, 0xE3,                // start line 0; a no-op after it
#ifdef ORV_DISPLAY_SH1106
    0xAD, 0x8B,  // DC-DC converter on
#else
    0x8D, 0x14,  // charge pump on
    0x20, 0x00,  // horizontal addressing
#endif
#ifdef ORV_DISPLAY_SSD1306_72X40
    0xAD, 0x30,  // internal current reference, as the 0.42" modules' usual set-up
                 // has it (the SSD1315's command; the SSD1306's data sheet lacks it)
#endif
    0xA1,                   // segment remap: column 0 at the left
    0xC8,                   // COM scan from the panel's last COM down: page 0 at the top
    0xDA, Panel::kComPins,  // COM pins configuration
    0x81, 0xCF,             // contrast
    0xD9, 0xF1,             // precharge period
    0xDB, 0x40,             // VCOMH deselect level
    0xA4,                   // show the RAM contents
    0xA6,                   // normal, not inverted: a set bit is a lit pixel
    0xAF,                   // display on
};

}  // namespace display
}  // namespace orv

#endif
