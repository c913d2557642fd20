/* The ATmega328P's TWI on simavr with an SSD1306 on it, timed by its SCL
 * clock: simavr times a byte at 9 us and a start at once, whatever TWBR says.
 * connectDisplay() makes every step take the SCL clocks the chip would: 9 for
 * a byte, 1 for a start (after a stop still on the bus), as the sketch sets
 * the clock. */
#ifndef SIM_TWI_H
#define SIM_TWI_H

#include "avr_twi.h"
#include "sim_avr.h"
#include "sim_time.h"
#include "ssd1306_virt.h"

enum { kTwbr = 0xB8, kTwsr = 0xB9, kTwcr = 0xBC };
enum { kTwsto = 1 << 4, kTwsta = 1 << 5, kTwint = 1 << 7 };

static struct {
    avr_twi_t* twi;
    avr_cycle_count_t stopEnds;  // when the last stop condition is over
} simTwi;

/* CPU cycles of one SCL clock: 16 + 2 * TWBR * 4^TWPS. */
static avr_cycle_count_t sclCycles(const avr_t* avr) {
    const uint8_t* d = avr->data;
    return 16 + 2 * (avr_cycle_count_t)d[kTwbr] * (1u << (2 * (d[kTwsr] & 3)));
}

/* After the TWI's own handler: the state change it has just timed (at once
 * for a start, 9 us for a byte) is timed again by the SCL clock. */
static void twcrWritten(avr_t* avr, avr_io_addr_t addr, uint8_t v, void* param) {
    (void)addr;
    (void)param;
    const avr_cycle_count_t scl = sclCycles(avr);
    /* Writing TWINT as one clears it on the chip; the simulator keeps the
     * flag "sticky", as if set, which a firmware that polls it would take
     * for the end of the step it has just begun. */
    if (v & kTwint) avr->data[kTwcr] &= (uint8_t)~kTwint;
    if (v & kTwsto) simTwi.stopEnds = avr->cycle + scl;
    for (avr_cycle_timer_slot_p t = avr->cycle_timers.timer; t; t = t->next) {
        if (t->param != simTwi.twi) continue;
        const avr_cycle_count_t nine = avr_usec_to_cycles(avr, 9);
        if (t->when != avr->cycle && t->when != avr->cycle + nine) return; /* an older one */
        avr_cycle_count_t delay = 9 * scl;
        if (v & kTwsta) {
            delay = scl + (simTwi.stopEnds > avr->cycle ? simTwi.stopEnds - avr->cycle : 0);
        } else if (!(v & kTwint)) {
            return;
        }
        avr_cycle_timer_register(avr, delay, t->timer, simTwi.twi);
        return;
    }
}

/* Puts a 128 x 64 SSD1306 (reset on PB3) on the TWI, times the bus by its SCL
 * clock and calls `afterEach` after every transaction. */
static void connectDisplay(avr_t* avr, ssd1306_t* oled, avr_irq_notify_t afterEach) {
    ssd1306_init(avr, oled, 128, 64);
    ssd1306_wiring_t wiring = {.reset = {'B', 3}};
    ssd1306_connect_twi(oled, &wiring);
    simTwi.twi = avr->io[AVR_DATA_TO_IO(kTwcr)].w.param;
    avr_register_io_write(avr, kTwcr, twcrWritten, NULL);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_OUTPUT), afterEach,
                            NULL);
}

#endif
