// orv_flash_player: plays a clip from the board's own flash on an SSD1306
// 128 x 64 OLED over I2C, at the frame rate the clip was made for, looping.
//
// Board: Arduino Uno or Nano (ATmega328P). Needs only the Arduino core. The
// clip is clip.h beside this file, written by
//     orv export CLIP.orv --codec pmh --set-bit light --flash uno -o clip.h
// (--set-bit light: an SSD1306 lights a pixel for a set bit). Its decoder is
// orv_codec.h, from the tool's src/device/ folder (see README.md).
//
// RAM: the 1,024-byte frame buffer and the decoder's state (203 bytes).
// Each frame is decoded into the buffer ahead of its time; at its time pin 13
// (the LED) changes state and the columns that changed, page by page, go to
// the display.
#define ORVC_PROGMEM
#include "clip.h"
#include "orv_codec.h"

static const uint8_t kDisplayAddress = 0x3C;  // 0x3D on some modules
static const uint8_t kFramePin = 13;          // changes state as each frame is due

// The first byte of an I2C transmission says what follows.
static const uint8_t kCommandStream = 0x00;
static const uint8_t kDataStream = 0x40;

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

static uint8_t frame[1024];
static orvc_decoder decoder;
static uint8_t changed;             // pages of the decoded frame that changed
static unsigned long due;           // micros() when the decoded frame is due
static unsigned long periodUs;      // whole microseconds of a frame
static uint8_t periodRest;          // and the rest, in 1/fps microseconds
static uint8_t restSum;

// The display's I2C bus at 400 kHz, driven directly and polled: a page goes
// as one transmission of 129 bytes, about 2.9 ms. A bus that stops answering
// ends the transmission instead of hanging.
static bool twiWait() {
    for (uint16_t spins = 0; spins < 4000; ++spins) {
        if (TWCR & _BV(TWINT)) return true;
    }
    TWCR = 0;  // the next start enables the bus afresh
    return false;
}

static bool twiSend(uint8_t byte) {
    TWDR = byte;
    TWCR = _BV(TWINT) | _BV(TWEN);
    return twiWait();
}

static bool twiStart(uint8_t control) {
    TWCR = _BV(TWINT) | _BV(TWSTA) | _BV(TWEN);
    return twiWait() && twiSend(kDisplayAddress << 1) && twiSend(control);
}

static void twiStop() {
    TWCR = _BV(TWINT) | _BV(TWSTO) | _BV(TWEN);
    for (uint16_t spins = 0; spins < 4000 && (TWCR & _BV(TWSTO)); ++spins) continue;
}

static void sendSetup() {
    if (twiStart(kCommandStream)) {
        for (uint8_t i = 0; i < sizeof kSetup && twiSend(pgm_read_byte(&kSetup[i])); ++i) continue;
    }
    twiStop();
}

// Columns `from` to `to` of one page.
static void writePage(uint8_t page, uint8_t from, uint8_t to) {
    const uint8_t place[] = {0x21, from, to,     // column range
                             0x22, page, page};  // page range: this page only
    bool ok = twiStart(kCommandStream);
    for (uint8_t i = 0; ok && i < sizeof place; ++i) ok = twiSend(place[i]);
    twiStop();
    if (!ok) return;
    ok = twiStart(kDataStream);
    const uint8_t* columns = frame + 128 * page;
    for (uint8_t c = from; ok && c <= to; ++c) ok = twiSend(columns[c]);
    twiStop();
}

// The next frame into the buffer, from the first again after the last.
static void decodeNext() {
    int pages = orvc_next(&decoder, frame);
    if (pages == ORVC_END) {
        orvc_rewind(&decoder, frame);
        pages = orvc_next(&decoder, frame);
    }
    // A damaged clip (it cannot be, from flash) would show as a still frame.
    changed = pages < 0 ? 0 : (uint8_t)pages;
}

void setup() {
    pinMode(kFramePin, OUTPUT);
    TWSR = 0;  // prescaler 1
    TWBR = (F_CPU / 400000UL - 16) / 2;  // SCL at 400 kHz
    sendSetup();
    if (orvc_open(&decoder, clip, sizeof clip) != ORVC_OK) {
        for (;;) digitalWrite(kFramePin, (millis() >> 7) & 1);  // fast blink: not a clip
    }
    const uint8_t fps = decoder.fps;
    periodUs = 1000000UL / fps;
    periodRest = (uint8_t)(1000000UL % fps);
    orvc_rewind(&decoder, frame);
    decodeNext();
    due = micros() + 1000;
}

void loop() {
    while ((long)(micros() - due) < 0) {
    }
    digitalWrite(kFramePin, !digitalRead(kFramePin));
    for (uint8_t p = 0; p < 8; ++p) {
        if ((changed >> p & 1) && decoder.from[p] <= decoder.to[p]) {
            writePage(p, decoder.from[p], decoder.to[p]);
        }
    }
    due += periodUs;
    restSum += periodRest;
    if (restSum >= decoder.fps) {
        restSum -= decoder.fps;
        ++due;
    }
    decodeNext();
}
