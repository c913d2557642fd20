// The ATmega328P's I2C bus (TWI), driven directly, for the sketches'
// displays: a transmission is as long as its sender makes it (the Wire
// library's buffer holds 32 bytes). start(), send() and stop() poll the bus,
// with no interrupt per byte; with ORV_TWI_QUEUE defined before this header,
// the TWI interrupt sends queued pages while the sketch goes on (see queue).
// A bus that stops answering ends the transmission instead of hanging.
//
// It knows nothing of the display: orv_display.h describes that, and
// orv_oled.h joins the two.
//
// C++11, the Arduino core's <avr/io.h>; no allocation.
#ifndef ORV_TWI_H
#define ORV_TWI_H

#include <avr/io.h>
#include <stdint.h>
#ifdef ORV_TWI_QUEUE
#include <avr/interrupt.h>
#include <util/atomic.h>
#endif

namespace orv {
namespace twi {

// Waits for the step under way to end; false, with the bus given up, when
// it does not.
inline bool wait() {
    for (uint16_t spins = 0; spins < 4000; ++spins) {
        if (TWCR & _BV(TWINT)) return true;
    }
    TWCR = 0;  // the next start enables the bus afresh
    return false;
}

inline bool send(uint8_t byte) {
    TWDR = byte;
    TWCR = _BV(TWINT) | _BV(TWEN);
    return wait();
}

// Begins a transmission to the device at (7-bit) `address`.
inline bool start(uint8_t address) {
    TWCR = _BV(TWINT) | _BV(TWSTA) | _BV(TWEN);
    return wait() && send((uint8_t)(address << 1));
}

inline void stop() {
    TWCR = _BV(TWINT) | _BV(TWSTO) | _BV(TWEN);
    for (uint16_t spins = 0; spins < 4000 && (TWCR & _BV(TWSTO)); ++spins) continue;
}

// Sets the bus to `clockHz` (prescaler 1: SCL = F_CPU / (16 + 2 TWBR)).
inline void begin(uint32_t clockHz) {
    TWSR = 0;
    TWBR = (uint8_t)((F_CPU / clockHz - 16) / 2);
}

#ifdef ORV_TWI_QUEUE
// Pages that the TWI interrupt sends, one after another, while the sketch
// goes on: put() queues columns `from` to `to` of a page, column c being
// columns[c], which must stay as they are until sent() says they went. Each
// page goes to the device as two transmissions, with a stop and a start
// between (the TWI does both at one write) and none between pages: a
// command transmission that places the columns, then a data transmission
// with them. The device is put()'s and step()'s template argument Device:
//   Device::kAddress                          its 7-bit address
//   Device::kCommandStream, kDataStream       each transmission's first byte
//   Device::kPlaceBytes, placeByte(i, page, from, to)
//                                             the commands that place columns
// and the file that includes this header defines the interrupt's slower
// steps for that device, once (orv_oled.h does):
//   void orv::twi::queue::__vector_orv_twi_step() { step<Device>(); }
//
// The interrupt starts each step of the bus (a byte, a stop, a start) at once
// from a byte and a control value made ready the time before, then makes
// the next ready: a column's byte in its first few instructions, anything
// else in __vector_orv_twi_step(). So the bus waits about 1.2 us a step, and
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
const uint8_t kPlaceStep = 3, kStopStep = 0xF0;

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
template <class Device>
void startPage() {
    for (uint16_t spins = 0; spins < 4000 && (TWCR & _BV(TWSTO)); ++spins) continue;
    q.step = 1;
    q.data = Device::kAddress << 1;
    q.control = kSend;
    TWCR = kStart;
}

// The interrupt's slower steps: the one after q.step made ready.
extern "C" void __vector_orv_twi_step() __attribute__((signal, used, externally_visible));
template <class Device>
inline void step() {
    const uint8_t kRestartStep = kPlaceStep + Device::kPlaceBytes, kDataStep = kRestartStep + 2;
    const uint8_t s = ++q.step;
    const Job& job = q.jobs[q.done & (kJobs - 1)];
    if (s == 1 || s == kRestartStep + 1) {
        q.data = Device::kAddress << 1;
        q.control = kSend;
    } else if (s == 2) {
        q.data = Device::kCommandStream;
    } else if (s < kRestartStep) {
        q.data = Device::placeByte(s - kPlaceStep, job.page, job.from, job.to);
    } else if (s == kRestartStep) {
        q.control = kRestart;
    } else if (s == kDataStep) {
        q.data = Device::kDataStream;
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
            startPage<Device>();
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
        "jmp __vector_orv_twi_step\n\t" ::[data] "i"(&q.data),
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
template <class Device>
uint8_t put(uint8_t page, uint8_t from, uint8_t to, const uint8_t* columns) {
    waitFor([] { return (uint8_t)(q.put - q.done) < kJobs; });
    const uint8_t ticket = q.put;
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        q.jobs[ticket & (kJobs - 1)] = {columns, page, from, to};
        q.put = (uint8_t)(ticket + 1);
        if (!q.running) {
            q.running = 1;
            startPage<Device>();
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

}  // namespace twi
}  // namespace orv

#endif
