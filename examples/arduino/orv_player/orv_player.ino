// orv_player: shows the frames that `orv send` puts on the serial port, on an
// SSD1306 128 x 64 OLED over I2C.
//
// Board: Arduino Uno or Nano (ATmega328P). Needs only the Arduino core and
// Wire. Serial: 115200 baud, 8 data bits, no parity, 1 stop bit.
//
// Each good packet of the framed link (see orv_link.h) is one display page of
// 128 column bytes; it goes straight to the display, so there is no frame
// buffer: the only large piece of RAM is the decoder's 135-byte packet buffer.
// A lost or damaged packet leaves that page as it was until the next key frame
// sends every page again.
//
// Polarity: the bytes are written as they arrive, and an SSD1306 lights a
// pixel for a set bit. Frame files say "set bit = dark pixel", so send with
//     orv send FILE.orv --port /dev/ttyACM0 --settings 115200,n,8,1 --set-bit light
// and the host inverts before sending. The sketch never inverts on its own.

#include <Wire.h>

#include "orv_link.h"

static const uint8_t kDisplayAddress = 0x3C;  // 0x3D on some modules
static const long kBaud = 115200;

// The first byte of an I2C transmission says what follows.
static const uint8_t kCommandStream = 0x00;
static const uint8_t kDataStream = 0x40;

// Data bytes per I2C transmission: with the control byte it must fit Wire's
// 32-byte buffer.
static const uint8_t kChunk = 16;

// Power-up set-up: page 0 is the top 8 rows, column 0 the left edge (module
// with its pins at the top). If the picture comes out mirrored, use 0xA0
// instead of 0xA1; if upside down, 0xC0 instead of 0xC8.
static const uint8_t kSetup[] PROGMEM = {
    0xAE,        // display off
    0xD5, 0x80,  // clock divide ratio and oscillator frequency
    0xA8, 0x3F,  // multiplex ratio: 64 rows
    0xD3, 0x00,  // display offset 0
    0x40,        // start line 0
    0x8D, 0x14,  // charge pump on
    0x20, 0x00,  // horizontal addressing
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

static orv::framing::Decoder decoder;

static void sendSetup() {
    Wire.beginTransmission(kDisplayAddress);
    Wire.write(kCommandStream);
    for (uint8_t i = 0; i < sizeof kSetup; ++i) Wire.write(pgm_read_byte(&kSetup[i]));
    Wire.endTransmission();
}

// Writes 128 column bytes (or zeros when `columns` is null) to one page.
static void writePage(uint8_t page, const uint8_t* columns) {
    Wire.beginTransmission(kDisplayAddress);
    Wire.write(kCommandStream);
    Wire.write(0x21);  // column range 0..127
    Wire.write(0);
    Wire.write(127);
    Wire.write(0x22);  // page range: this page only
    Wire.write(page);
    Wire.write(page);
    Wire.endTransmission();
    for (uint8_t c = 0; c < orv::framing::kPageBytes; c += kChunk) {
        Wire.beginTransmission(kDisplayAddress);
        Wire.write(kDataStream);
        for (uint8_t i = 0; i < kChunk; ++i) Wire.write(columns ? columns[c + i] : 0);
        Wire.endTransmission();
    }
}

void setup() {
    Serial.begin(kBaud);
    Wire.begin();
    // A page takes about 3 ms at 400 kHz; meanwhile the 64-byte serial
    // receive buffer fills at about 11.5 bytes per ms.
    Wire.setClock(400000);
    sendSetup();
    for (uint8_t p = 0; p < orv::framing::kPageCount; ++p) writePage(p, 0);
}

void loop() {
    while (Serial.available() > 0) {
        if (decoder.feed(static_cast<uint8_t>(Serial.read()))) {
            writePage(decoder.page(), decoder.data());
        }
    }
}
