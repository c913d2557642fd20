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
#include "orv_oled.h"

static const uint8_t kFramePin = 13;  // changes state as each frame is due

static uint8_t frame[1024];
static orvc_decoder decoder;
static uint8_t changed;             // pages of the decoded frame that changed
static unsigned long due;           // micros() when the decoded frame is due
static unsigned long periodUs;      // whole microseconds of a frame
static uint8_t periodRest;          // and the rest, in 1/fps microseconds
static uint8_t restSum;

// Columns `from` to `to` of one page: at 400 kHz a whole page takes about 2.9 ms.
static void writePage(uint8_t page, uint8_t from, uint8_t to) {
    const uint8_t* columns = frame + 128 * page;
    orv::oled::writePage(page, from, to, [columns](uint8_t c) { return columns[c]; });
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
    orv::oled::begin(400000UL);
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
