// A 128 x 64 OLED on the ATmega328P's I2C bus (TWI), driven directly, for
// the sketches: a page goes as one transmission of up to 129 bytes (the Wire
// library's buffer holds 32). writePage() polls the bus, with no interrupt
// per byte; with ORV_OLED_QUEUE defined before this header, the TWI
// interrupt sends queued pages while the sketch goes on (see PageQueue). A
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
#ifdef ORV_OLED_QUEUE
#include <avr/interrupt.h>
#include <util/atomic.h>
#endif

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
    0x8D, 0x14,  // charge pump on
    0x20, 0x00,  // horizontal addressing
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

// Sends one command byte.
inline void command(uint8_t byte) {
    if (twiStart(kCommandStream)) twiSend(byte);
    twiStop();
}

// Normal display (a set bit lights a pixel) or inverse (a clear bit does),
// for the whole panel at once, whatever its RAM holds.
inline void inverse(bool on) { command(on ? 0xA7 : 0xA6); }

// The commands that place columns `from` to `to` of one page: byte i of
// kPlaceBytes.
#ifdef ORV_DISPLAY_SH1106
const uint8_t kPlaceBytes = 3;
inline uint8_t placeByte(uint8_t i, uint8_t page, uint8_t from, uint8_t) {
    const uint8_t at = (uint8_t)(from + kFirstColumn);
    return i == 0   ? (uint8_t)(0xB0 | page)         // this page
           : i == 1 ? (uint8_t)(0x00 | (at & 0x0F))  // column, low half
                    : (uint8_t)(0x10 | (at >> 4));   // and high half
}
#else
const uint8_t kPlaceBytes = 6;
inline uint8_t placeByte(uint8_t i, uint8_t page, uint8_t from, uint8_t to) {
    switch (i) {
        case 0:
            return 0x21;  // column range
        case 1:
            return from;
        case 2:
            return to;
        case 3:
            return 0x22;  // page range: this page only
        default:
            return page;
    }
}
#endif

// Writes columns `from` to `to` of one page, column c being `column(c)`.
template <class Column>
void writePage(uint8_t page, uint8_t from, uint8_t to, Column column) {
    bool ok = twiStart(kCommandStream);
    for (uint8_t i = 0; ok && i < kPlaceBytes; ++i) ok = twiSend(placeByte(i, page, from, to));
    twiStop();
    if (!ok) return;
    ok = twiStart(kDataStream);
    for (uint8_t c = from; ok && c <= to; ++c) ok = twiSend(column(c));
    twiStop();
}

#ifdef ORV_OLED_QUEUE
// Pages that the TWI interrupt sends, one after another, while the sketch
// goes on: put() queues columns `from` to `to` of a page, column c being
// columns[c], which must stay as they are until sent() says they went. Each
// page goes as writePage() sends it, a command transmission, then a data
// transmission, with a stop and a start between (the TWI does both at one
// write) and none between pages.
//
// The interrupt starts each step of the bus (a byte, a stop, a start) at once
// from a byte and a control value made ready the time before, then makes
// the next ready: a column's byte in its first few instructions, anything
// else in __vector_orv_oled_step(). So the bus waits about 1.2 us a step, and
// the sketch gives up about 3 us of the 23 that a column's byte takes at
// 400 kHz.
namespace queue {

const uint8_t kJobs = 8;  // a power of 2: a whole frame's pages
const uint8_t kSend = _BV(TWINT) | _BV(TWEN) | _BV(TWIE);
const uint8_t kStart = _BV(TWINT) | _BV(TWSTA) | _BV(TWEN) | _BV(TWIE);
const uint8_t kRestart = _BV(TWINT) | _BV(TWSTO) | _BV(TWSTA) | _BV(TWEN) | _BV(TWIE);
const uint8_t kStop = _BV(TWINT) | _BV(TWSTO) | _BV(TWEN);
// Steps of a page, by the number of the one last made ready: the start
// (made ready by the page before, or begun at once), the address, the
// command stream's first byte, the place, the stop and start, the address,
// the data stream's first byte and then the columns; then the stop.
const uint8_t kPlaceStep = 3, kRestartStep = kPlaceStep + kPlaceBytes;
const uint8_t kDataStep = kRestartStep + 2, kStopStep = 0xF0;

struct Job {
    const uint8_t* columns;
    uint8_t page, from, to;
};

struct State {
    Job jobs[kJobs];
    volatile uint8_t put, done;      // pages put and pages sent, counting on past 255
    volatile uint8_t step;           // of the page under way, the one made ready last
    const uint8_t* volatile at;      // its next column
    volatile uint8_t left;           // and how many are still to make ready
    volatile uint8_t data, control;  // the step made ready: TWDR, then TWCR
    volatile uint8_t running;        // a transmission is under way
};
static State q;

// Begins a page with a start condition, its address made ready.
inline void startPage() {
    for (uint16_t spins = 0; spins < 4000 && (TWCR & _BV(TWSTO)); ++spins) continue;
    q.step = 1;
    q.data = ORV_OLED_ADDRESS << 1;
    q.control = kSend;
    TWCR = kStart;
}

// The interrupt's slower steps: the one after q.step made ready.
extern "C" void __vector_orv_oled_step() __attribute__((signal, used, externally_visible));
void __vector_orv_oled_step() {
    const uint8_t s = ++q.step;
    const Job& job = q.jobs[q.done & (kJobs - 1)];
    if (s == 1 || s == kRestartStep + 1) {
        q.data = ORV_OLED_ADDRESS << 1;
        q.control = kSend;
    } else if (s == 2) {
        q.data = kCommandStream;
    } else if (s < kRestartStep) {
        q.data = placeByte(s - kPlaceStep, job.page, job.from, job.to);
    } else if (s == kRestartStep) {
        q.control = kRestart;
    } else if (s == kDataStep) {
        q.data = kDataStream;
        q.at = job.columns + job.from;
        q.left = (uint8_t)(job.to - job.from + 1);
    } else if (s == kDataStep + 1) {  // the last column is on its way
        ++q.done;
        q.step = q.done == q.put ? kStopStep : 0;
        q.control = q.done == q.put ? kStop : kRestart;
    } else if (s == kStopStep + 1) {  // the stop is on its way
        if (q.done == q.put) {
            q.running = 0;
        } else {
            startPage();
        }
    }
}

ISR(TWI_vect, ISR_NAKED) {
    asm volatile(
        "push r30\n\t"
        "lds r30, %[data]\n\t"
        "sts %[twdr], r30\n\t"
        "lds r30, %[control]\n\t"
        "sts %[twcr], r30\n\t"
        "in r30, __SREG__\n\t"
        "push r30\n\t"
        "lds r30, %[left]\n\t"
        "subi r30, 1\n\t"
        "brcs 1f\n\t"
        "sts %[left], r30\n\t"
        "push r31\n\t"
        "push r0\n\t"
        "lds r30, %[at]\n\t"
        "lds r31, %[at]+1\n\t"
        "ld r0, Z+\n\t"
        "sts %[data], r0\n\t"
        "sts %[at], r30\n\t"
        "sts %[at]+1, r31\n\t"
        "pop r0\n\t"
        "pop r31\n\t"
        "pop r30\n\t"
        "out __SREG__, r30\n\t"
        "pop r30\n\t"
        "reti\n"
        "1:\n\t"
        "pop r30\n\t"
        "out __SREG__, r30\n\t"
        "pop r30\n\t"
        "jmp __vector_orv_oled_step\n\t" ::[data] "i"(&q.data),
        [control] "i"(&q.control), [left] "i"(&q.left), [at] "i"(&q.at),
        [twdr] "n"(_SFR_MEM_ADDR(TWDR)), [twcr] "n"(_SFR_MEM_ADDR(TWCR)));
}

// Waits until `done()`; a bus that makes no progress for about 5 ms is
// reset, and every page put is given up.
template <class Done>
void waitFor(Done done) {
    uint8_t seen = 0;
    for (uint16_t still = 0; !done();) {
        const uint8_t now = (uint8_t)(q.left + q.step + q.done);
        if (now != seen) {
            seen = now;
            still = 0;
        } else if (++still == 4000) {
            ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
                TWCR = 0;
                q.done = q.put;
                q.left = 0;
                q.running = 0;
            }
        }
    }
}

// Whether the page put with this ticket has gone out (its columns are free).
inline bool sent(uint8_t ticket) { return (int8_t)(q.done - ticket) > 0; }

// Queues columns `from` to `to` of `page`; waits while kJobs are queued.
// Returns the page's ticket.
inline uint8_t put(uint8_t page, uint8_t from, uint8_t to, const uint8_t* columns) {
    waitFor([] { return (uint8_t)(q.put - q.done) < kJobs; });
    const uint8_t ticket = q.put;
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        q.jobs[ticket & (kJobs - 1)] = {columns, page, from, to};
        q.put = (uint8_t)(ticket + 1);
        if (!q.running) {
            q.running = 1;
            startPage();
        }
    }
    return ticket;
}

// Waits until every page put has gone out and the bus has stopped.
inline void drain() {
    waitFor([] { return !q.running; });
}

}  // namespace queue
#endif

}  // namespace oled
}  // namespace orv

#endif
