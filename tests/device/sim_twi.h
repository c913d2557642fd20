/* The ATmega328P's TWI on simavr with an SSD1306 on it, timed by its SCL
 * clock: simavr times a byte at 9 us and a start at once, whatever TWBR says.
 * connectDisplay() makes every step take the SCL clocks the chip would: 9 for
 * a byte, 1 for a start (after a stop still on the bus), as the sketch sets
 * the clock. */
#ifndef SIM_TWI_H
#define SIM_TWI_H

#include <stdio.h>

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

/* The panel on the controller: `width` columns of `height` rows, shown from
 * RAM column `first` and page 0 (--panel WxH@FIRST; 128x64@0 unless said).
 * The controller's RAM is 128 x 64 whatever the panel. */
static struct { int width, height, first; } simPanel = {128, 64, 0};

static int setPanel(const char* text) {
    return sscanf(text, "%dx%d@%d", &simPanel.width, &simPanel.height, &simPanel.first) == 3 &&
           simPanel.width > 0 && simPanel.height > 0 && simPanel.height % 8 == 0 &&
           simPanel.first >= 0 && simPanel.first + simPanel.width <= 128 && simPanel.height <= 64;
}

/* Bytes of a frame of the panel's size. */
static size_t panelFrameBytes(void) { return (size_t)simPanel.width * (simPanel.height / 8); }

/* Whether the panel shows `frame` (its page layout): lit where its bits are
 * set, dark while the display is off, every bit inverted after the inverse
 * display command (0xA7) until the normal one (0xA6). */
static int panelShows(ssd1306_t* oled, const unsigned char* frame) {
    const int on = ssd1306_get_flag(oled, SSD1306_FLAG_DISPLAY_ON);
    const unsigned char flip = ssd1306_get_flag(oled, SSD1306_FLAG_DISPLAY_INVERTED) ? 0xFF : 0;
    for (int p = 0; p < simPanel.height / 8; ++p) {
        for (int c = 0; c < simPanel.width; ++c) {
            const unsigned char ram = oled->vram[p][simPanel.first + c];
            if ((on ? ram ^ flip : 0) != *frame++) return 0;
        }
    }
    return 1;
}

/* The set-up the firmware gave the controller, read from its command bytes:
 * the multiplex ratio (0xA8) and the COM pins configuration (0xDA), -1 until
 * given. */
static struct {
    int index, control, command, argsLeft;
    int mux, comPins;
} simSetup = {0, 0, 0, 0, -1, -1};

/* The argument bytes that follow a command byte (the data sheet's command
 * table, for the commands the sketches send). */
static int commandArgs(int command) {
    if (command == 0x21 || command == 0x22) return 2; /* column and page ranges */
    static const unsigned char oneArg[] = {0x20, 0x81, 0x8D, 0xA8, 0xAD,
                                           0xD3, 0xD5, 0xD9, 0xDA, 0xDB};
    for (size_t i = 0; i < sizeof oneArg; ++i) {
        if (oneArg[i] == command) return 1;
    }
    return 0;
}

static void watchCommands(avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    avr_twi_msg_irq_t m;
    m.u.v = value;
    if (m.u.twi.msg & TWI_COND_START) simSetup.index = 0;
    if (!(m.u.twi.msg & TWI_COND_WRITE)) return;
    const int b = m.u.twi.data;
    if (simSetup.index++ == 0) {
        simSetup.control = b;
        simSetup.argsLeft = 0;
        return;
    }
    if (simSetup.control != 0x00) return; /* data, not commands */
    if (simSetup.argsLeft > 0) {
        if (simSetup.command == 0xA8) simSetup.mux = b;
        if (simSetup.command == 0xDA) simSetup.comPins = b;
        --simSetup.argsLeft;
        return;
    }
    simSetup.command = b;
    simSetup.argsLeft = commandArgs(b);
}

/* Puts an SSD1306 (reset on PB3) on the TWI, times the bus by its SCL clock,
 * watches its set-up and calls `afterEach` after every transaction. */
static void connectDisplay(avr_t* avr, ssd1306_t* oled, avr_irq_notify_t afterEach) {
    ssd1306_init(avr, oled, 128, 64);
    ssd1306_wiring_t wiring = {.reset = {'B', 3}};
    ssd1306_connect_twi(oled, &wiring);
    simTwi.twi = avr->io[AVR_DATA_TO_IO(kTwcr)].w.param;
    avr_register_io_write(avr, kTwcr, twcrWritten, NULL);
    avr_irq_t* out = avr_io_getirq(avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_OUTPUT);
    avr_irq_register_notify(out, watchCommands, NULL);
    avr_irq_register_notify(out, afterEach, NULL);
}

#endif
