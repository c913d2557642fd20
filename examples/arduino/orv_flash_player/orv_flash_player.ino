// orv_flash_player: plays a clip from the board's own flash on an SSD1306
// 128 x 64 OLED over I2C, at the frame rate the clip was made for, looping;
// or on another panel orv_display.h describes, when built for it (`make
// ORV_DISPLAY=ssd1306-72x40`, for one) with a clip of its size.
//
// Board: Arduino Uno or Nano (ATmega328P). Needs only the Arduino core. The
// clip is clip.h beside this file, written by
//     orv export CLIP.orv --codec pmh --flash uno -o clip.h
// from frames of the panel's size (orv convert --display ssd1306-72x40 ...):
// a clip of another size does not build.
// Its decoder is orv_codec.h, from the tool's src/device/ folder (see
// README.md). The clip's polarity comes with it: a clip of dark set bits (the
// frame file's own, orv export's default) is shown with the panel's inverse
// display, one of light set bits (--display ssd1306) as it is.
//
// At each frame's time pin 13 (the LED) changes state and the frame, decoded
// into the frame buffer during the frame before, goes to the display: the
// columns that changed, page by page, sent by the TWI interrupt. Meanwhile
// the next frame is decoded in its place, page by page behind them: a page
// that both frames change is first copied aside into one of two page buffers
// and sent from there. Pin 12 is high from the frame's time until both are
// done, so a logic analyser (or the simulation in tests/device/) sees the
// share of each period the player needs. After the last frame the clip's wrap
// frame brings frame 0 back, changing only what differs, as any frame does.
//
// RAM: the frame buffer (1,024 bytes at 128 x 64), the decoder's state (with
// the first page buffer), the second page buffer (a page's columns) and the
// page queue.
#define ORVC_PROGMEM
#define ORV_OLED_QUEUE
#include "clip.h"
#include "orv_oled.h"
// The decoder takes frames of the panel's size alone.
#define ORVC_WIDTH ORV_PANEL_WIDTH
#define ORVC_PAGES (ORV_PANEL_HEIGHT / 8)
#include "orv_codec.h"

// A clip without a size is of 128 x 64 frames.
#ifndef CLIP_WIDTH
#define CLIP_WIDTH 128
#define CLIP_HEIGHT 64
#endif
#if CLIP_WIDTH != ORV_PANEL_WIDTH || CLIP_HEIGHT != ORV_PANEL_HEIGHT
#error "clip.h is not of the panel's size: export frames converted for it (orv convert --display)"
#endif

namespace queue = orv::oled::queue;

// Pin 13 (PB5, the LED) changes state as each frame is due; pin 12 (PB4) is
// high while the player works on a frame.
static const uint8_t kFramePin = _BV(PB5), kBusyPin = _BV(PB4);

static const uint8_t kWidth = ORVC_WIDTH, kPages = ORVC_PAGES;
static const orvc_pages kAllPages = (orvc_pages)((1u << kPages) - 1);

static uint8_t frame[kWidth * kPages];
static orvc_decoder decoder;
static uint8_t spare[kWidth];   // the page buffer beside decoder.old
static orvc_pages shown;        // the pages of the frame in the buffer to send
static bool damaged;            // a clip that cannot be decoded shows a still picture
static unsigned long due;       // micros() when the decoded frame is due
static unsigned long periodUs;  // whole microseconds of a frame
static uint8_t periodRest;      // and the rest, in 1/fps microseconds
static uint8_t restSum;

// Queues the changed columns of page p of the frame in the buffer, from
// `columns`; returns whether it did.
static bool put(uint8_t p, const uint8_t* columns, uint8_t* ticket) {
    if (!(shown >> p & 1) || decoder.from[p] > decoder.to[p]) return false;
    *ticket = queue::put(p, decoder.from[p], decoder.to[p], columns);
    return true;
}

// The changes of the frame in the buffer go out, and the player waits for
// them.
static void sendShown() {
    uint8_t ticket;
    for (uint8_t p = 0; p < kPages; ++p) put(p, frame + kWidth * p, &ticket);
    queue::drain();
    shown = 0;
}

// Frame 0 from a cleared buffer, every page of it to send.
static void firstFrame() {
    orvc_rewind(&decoder, frame);
    damaged = orvc_next(&decoder, frame) < 0;
    shown = damaged ? 0 : kAllPages;
}

// The frame in the buffer goes out while the next one takes its place.
static void showAndDecodeNext() {
    int next = damaged ? ORVC_BAD_DATA : orvc_start(&decoder, 1);
    if (next == ORVC_END) {  // a clip without a wrap frame, from an older orv
        sendShown();
        return firstFrame();
    }
    uint8_t* const buffers[2] = {decoder.old, spare};
    uint8_t tickets[2], use = 0;
    bool sending[2] = {false, false};
    for (uint8_t p = 0; p < kPages; ++p) {
        uint8_t* columns = frame + kWidth * p;
        uint8_t ticket;
        if (next < 0 || !(next >> p & 1)) {  // the page stays: sent from the buffer
            put(p, columns, &ticket);
            continue;
        }
        uint8_t* old = buffers[use];
        if (sending[use]) queue::waitFor([&] { return queue::sent(tickets[use]); });
        memcpy(old, columns, kWidth);
        sending[use] = put(p, old, &tickets[use]);
        if (orvc_page(&decoder, frame, p, old) != ORVC_OK) next = ORVC_BAD_DATA;
        use ^= 1;
    }
    damaged = next < 0;
    shown = damaged ? 0 : (orvc_pages)next;
    queue::drain();
}

void setup() {
    DDRB |= kFramePin | kBusyPin;
    orv::oled::begin(400000UL);
    if (orvc_open(&decoder, clip, sizeof clip) != ORVC_OK) {
        for (;;) PINB = kFramePin, delay(128);  // fast blink: not a clip
    }
    orv::oled::inverse(!(decoder.flags & ORVC_FLAG_LIGHT));
    const uint8_t fps = decoder.fps;
    periodUs = 1000000UL / fps;
    periodRest = (uint8_t)(1000000UL % fps);
    firstFrame();
    sendShown();  // frame 0 is on the display before its time
    due = micros() + 1000;
}

void loop() {
    while ((long)(micros() - due) < 0) {
    }
    PINB = kFramePin;  // writing a one toggles the pin
    PORTB |= kBusyPin;
    showAndDecodeNext();
    PORTB &= (uint8_t)~kBusyPin;
    due += periodUs;
    restSum += periodRest;
    if (restSum >= decoder.fps) {
        restSum -= decoder.fps;
        ++due;
    }
}
