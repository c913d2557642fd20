// flash_sim: the flash player's firmware on a simulated ATmega328P at 16 MHz
// with an SSD1306 on its I2C bus at 0x3C (timed by its SCL clock: sim_twi.h),
// run as fast as the host allows for a stretch of simulated time, checked
// against the frames it should show.
//
//   flash_sim FIRMWARE.elf --expect FRAMES.bin --fps N --seconds S [--panel WxH@FIRST]
//
// FRAMES.bin: the clip's frames in the display's page layout, a set bit a lit
// pixel: 1,024 bytes each, or those of the panel --panel gives (its size and
// its first RAM column; sim_twi.h). The player changes pin 13 (PB5) as each
// frame is due, before it writes that frame; so at every change after the
// first the panel must show the frame before (the clip loops), and change k
// must come k / N s after the first, within 1 ms. The panel shows its RAM as
// the data sheet says: dark while the display is off, every bit inverted
// after the inverse display command (0xA7) until the normal one (0xA6).
//
// A player that holds pin 12 (PB4) high while it works on a frame has its
// work timed, from the frame's change of pin 13 to the fall of pin 12; a
// frame's bus time is what its I2C traffic takes on the wire alone.
//
// Prints one line of figures, the set-up's multiplex ratio and COM pins
// configuration among them; exit status 0 when every frame showed in full
// and on time, 1 when not, 2 when the run could not be made.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "avr_ioport.h"
#include "avr_twi.h"
#include "sim_avr.h"
#include "sim_elf.h"
#include "sim_time.h"
#include "sim_twi.h"

enum { kMaxFrames = 1 << 14, kHz = 16000000, kCyclesPerUs = kHz / 1000000 };

static struct {
    avr_t* avr;
    ssd1306_t oled;
    unsigned char* expect;
    long frames;
    long fps;
    // The frame pin's changes: when the first came, how many, what was wrong.
    long changes;
    avr_cycle_count_t first, last;
    long wrong, firstWrong, late;
    long long worstUs;  // the furthest from its due time, in microseconds
    long worstFrame;
    // The frame being timed: when its work ended, and its I2C traffic in SCL
    // clocks; the slowest frame's work and bus time.
    avr_cycle_count_t workEnd;
    unsigned long long busClocks;
    avr_cycle_count_t slowest, slowestBus;
    long slowestFrame;
} sim;

static void twiOut(avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    avr_twi_msg_irq_t m;
    m.u.v = value;
    // An address byte comes with its start condition.
    if (m.u.twi.msg & TWI_COND_START) sim.busClocks += 1 + 9;
    if (m.u.twi.msg & TWI_COND_WRITE) sim.busClocks += 9;
    if (m.u.twi.msg & TWI_COND_STOP) sim.busClocks += 1;
}

static void busyPin(avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    if (!value && sim.changes > 0 && !sim.workEnd) sim.workEnd = sim.avr->cycle;
}

// The frame that began at the change before is over: its figures.
static void frameDone(long k, avr_cycle_count_t now) {
    const avr_cycle_count_t work = sim.workEnd ? sim.workEnd - sim.last : 0;
    const avr_cycle_count_t bus = sim.busClocks * sclCycles(sim.avr);
    if (work > sim.slowest) {
        sim.slowest = work;
        sim.slowestBus = bus;
        sim.slowestFrame = k % sim.frames;
    }
    sim.workEnd = 0;
    sim.busClocks = 0;
    sim.last = now;
}

static void framePin(avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    // Only a change of level counts (making the pin an output says its level).
    static uint32_t level;
    if (value == level) return;
    level = value;
    const avr_cycle_count_t now = sim.avr->cycle;
    const long k = sim.changes++;
    if (k == 0) {
        sim.first = sim.last = now;
        sim.workEnd = 0;
        sim.busClocks = 0;
        return;
    }
    // The frame before is on the panel in full.
    if (!panelShows(&sim.oled, sim.expect + (size_t)((k - 1) % sim.frames) * panelFrameBytes())) {
        if (sim.wrong++ == 0) sim.firstWrong = (k - 1) % sim.frames;
    }
    frameDone(k - 1, now);
    // Due k / fps seconds after the first.
    const long long due = (long long)k * 1000000 / sim.fps;
    const long long at = (long long)(now - sim.first) / kCyclesPerUs;
    const long long off = at > due ? at - due : due - at;
    if (off > sim.worstUs) {
        sim.worstUs = off;
        sim.worstFrame = k % sim.frames;
    }
    if (off > 1000) ++sim.late;
}

static void fail(const char* what) {
    fprintf(stderr, "flash_sim: %s\n", what);
    exit(2);
}

int main(int argc, char** argv) {
    const char *firmware = NULL, *expectPath = NULL;
    double seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] != '-') {
            firmware = a;
            continue;
        }
        if (i + 1 >= argc) fail("an option without its value");
        const char* v = argv[++i];
        if (!strcmp(a, "--expect")) {
            expectPath = v;
        } else if (!strcmp(a, "--fps")) {
            sim.fps = atol(v);
        } else if (!strcmp(a, "--seconds")) {
            seconds = atof(v);
        } else if (!strcmp(a, "--panel")) {
            if (!setPanel(v)) fail("--panel takes WxH@FIRST, within the controller's 128 x 64");
        } else {
            fail("unknown option");
        }
    }
    if (!firmware || !expectPath || sim.fps < 1 || seconds <= 0) {
        fail("usage: flash_sim FIRMWARE.elf --expect FRAMES.bin --fps N --seconds S [--panel P]");
    }
    FILE* e = fopen(expectPath, "rb");
    sim.expect = malloc((size_t)kMaxFrames * panelFrameBytes());
    sim.frames = e ? (long)fread(sim.expect, panelFrameBytes(), kMaxFrames, e) : 0;
    if (!e || sim.frames < 1) fail("cannot read the expected frames");
    fclose(e);

    elf_firmware_t f;
    memset(&f, 0, sizeof f);
    if (elf_read_firmware(firmware, &f)) fail("cannot read the firmware");
    strcpy(f.mmcu, "atmega328p");
    f.frequency = kHz;
    sim.avr = avr_make_mcu_by_name(f.mmcu);
    if (!sim.avr) fail("no ATmega328P in this simavr");
    avr_init(sim.avr);
    sim.avr->log = LOG_ERROR;
    avr_load_firmware(sim.avr, &f);

    connectDisplay(sim.avr, &sim.oled, twiOut);
    avr_irq_t* portB = avr_io_getirq(sim.avr, AVR_IOCTL_IOPORT_GETIRQ('B'), 0);
    avr_irq_register_notify(portB + 5, framePin, NULL);
    avr_irq_register_notify(portB + 4, busyPin, NULL);
    // Paint above the static data, to find the stack's deepest point after.
    for (unsigned a = 0x100 + f.datasize + f.bsssize; a <= 0x8FF; ++a) sim.avr->data[a] = 0xA5;

    const avr_cycle_count_t end = (avr_cycle_count_t)(seconds * kHz);
    while (sim.avr->cycle < end) {
        const int state = avr_run(sim.avr);
        if (state == cpu_Done || state == cpu_Crashed) fail("the firmware stopped");
    }
    const unsigned top = 0x8FF, bottom = 0x100 + f.datasize + f.bsssize;
    unsigned low = bottom;
    while (low <= top && sim.avr->data[low] == 0xA5) ++low;
    const long checked = sim.changes > 0 ? sim.changes - 1 : 0;
    printf(
        "frames=%ld checked=%ld wrong=%ld first_wrong=%ld late=%ld worst_us=%lld worst_frame=%ld "
        "slowest_us=%llu slowest_frame=%ld slowest_bus_us=%llu ram_static=%u stack=%u mux=%d "
        "com_pins=%d\n",
        sim.frames, checked, sim.wrong, sim.wrong ? sim.firstWrong : -1, sim.late, sim.worstUs,
        sim.worstFrame, (unsigned long long)(sim.slowest / kCyclesPerUs), sim.slowestFrame,
        (unsigned long long)(sim.slowestBus / kCyclesPerUs), f.datasize + f.bsssize, top + 1 - low,
        simSetup.mux, simSetup.comPins);
    return checked > sim.frames && sim.wrong == 0 && sim.late == 0 ? 0 : 1;
}
