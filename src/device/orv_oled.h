// A 128 x 64 OLED on the ATmega328P's I2C bus (TWI), driven directly and
// polled, for the sketches: a page goes as one transmission of up to 129
// bytes (the Wire library's buffer holds 32), with no interrupt per byte. A
// bus that stops answering ends the transmission instead of hanging.
//
// The controller is an SSD1306 unless ORV_DISPLAY_SH1106 is defined before
// this header (or by the clip header `orv export --display sh1106` writes):
// the SH1106 has 132 columns of RAM with the picture 2 columns in, and no
// horizontal addressing, so each page is placed by its page and column.
//
// C++11, the Arduino core's <avr/io.h> and <avr/pgmspace.h>; no allocation.
#ifndef ORV_OLED_H
#define ORV_OLED_H

#include <avr/io.h>
#include <avr/pgmspace.h>
#include <stdint.h>

#ifndef ORV_OLED_ADDRESS
#define ORV_OLED_ADDRESS 0x3C  // 0x3D on some modules
#endif

namespace orv {
namespace oled {

#ifdef ORV_DISPLAY_SH1106
const uint8_t kFirstColumn = 2;  // the picture's column 0 in the SH1106's 132
#else
const uint8_t kFirstColumn = 0;
#endif

// The first byte of an I2C transmission says what follows.
const uint8_t kCommandStream = 0x00;
const uint8_t kDataStream = 0x40;

// Power-up set-up: page 0 is the top 8 rows, column 0 the left edge (module
// with its pins at the top). If the picture comes out mirrored, use 0xA0
// instead of 0xA1; if upside down, 0xC0 instead of 0xC8.
const uint8_t kSetup[] PROGMEM = {
    0xAE,        // display off
    0xD5, 0x80,  // clock divide ratio and oscillator frequency
    0xA8, 0x3F,  // multiplex ratio: 64 rows
    0xD3, 0x00,  // display offset 0
    0x40, 0xE3,  // start line 0; a no-op after it
#ifdef ORV_DISPLAY_SH1106
    0xAD, 0x8B,  // DC-DC converter on
#else
    0x8D, 0x14,                                  // charge pump on
    0x20, 0x00,                                  // horizontal addressing
#endif
    0xA1,        // segment remap: column 0 at the left
    0xC8,        // COM scan from COM63 down: page 0 at the top
    0xDA, 0x12,  // COM pins: alternative configuration, for 64 rows
    0x81, 0xCF,  // contrast
    0xD9, 0xF1,  // precharge period
    0xDB, 0x40,  // VCOMH deselect level
    0xA4,        // show the RAM contents
    0xA6,        // normal, not inverted: a set bit is a lit pixel
    0xAF,        // display on
};

inline bool twiWait() {
    for (uint16_t spins = 0; spins < 4000; ++spins) {
        if (TWCR & _BV(TWINT)) return true;
    }
    TWCR = 0;  // the next start enables the bus afresh
    return false;
}

inline bool twiSend(uint8_t byte) {
    TWDR = byte;
    TWCR = _BV(TWINT) | _BV(TWEN);
    return twiWait();
}

inline bool twiStart(uint8_t control) {
    TWCR = _BV(TWINT) | _BV(TWSTA) | _BV(TWEN);
    return twiWait() && twiSend(ORV_OLED_ADDRESS << 1) && twiSend(control);
}

inline void twiStop() {
    TWCR = _BV(TWINT) | _BV(TWSTO) | _BV(TWEN);
    for (uint16_t spins = 0; spins < 4000 && (TWCR & _BV(TWSTO)); ++spins) continue;
}

// Sets the bus to `clockHz` (prescaler 1: SCL = F_CPU / (16 + 2 TWBR)) and
// sends the set-up.
inline void begin(uint32_t clockHz) {
    TWSR = 0;
    TWBR = (uint8_t)((F_CPU / clockHz - 16) / 2);
    if (twiStart(kCommandStream)) {
        for (uint8_t i = 0; i < sizeof kSetup && twiSend(pgm_read_byte(&kSetup[i])); ++i) continue;
    }
    twiStop();
}

// Writes columns `from` to `to` of one page, column c being `column(c)`.
template <class Column>
void writePage(uint8_t page, uint8_t from, uint8_t to, Column column) {
#ifdef ORV_DISPLAY_SH1106
    const uint8_t at = (uint8_t)(from + kFirstColumn);
    const uint8_t place[] = {(uint8_t)(0xB0 | page),         // this page
                             (uint8_t)(0x00 | (at & 0x0F)),  // column, low half
                             (uint8_t)(0x10 | (at >> 4))};   // and high half
#else
    const uint8_t place[] = {0x21, from, to,     // column range
                             0x22, page, page};  // page range: this page only
#endif
    bool ok = twiStart(kCommandStream);
    for (uint8_t i = 0; ok && i < sizeof place; ++i) ok = twiSend(place[i]);
    twiStop();
    if (!ok) return;
    ok = twiStart(kDataStream);
    for (uint8_t c = from; ok && c <= to; ++c) ok = twiSend(column(c));
    twiStop();
}

}  // namespace oled
}  // namespace orv

#endif
