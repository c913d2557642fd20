// flash_sim: the flash player's firmware on a simulated ATmega328P at 16 MHz
// with an SSD1306 on its I2C bus at 0x3C, run as fast as the host allows for
// a stretch of simulated time, checked against the frames it should show.
//
//   flash_sim FIRMWARE.elf --expect FRAMES.bin --fps N --seconds S
//
// FRAMES.bin: the clip's frames, 1,024 bytes each in the display's page
// layout. The player changes pin 13 (PB5) as each frame is due, before it
// writes that frame; so at every change after the first the display RAM must
// hold the frame before (the clip loops: frame N - 1, then frame 0 again),
// and change k must come k / N s after the first, within 1 ms.
//
// Timing as on the board: an I2C byte takes 9 clocks of the SCL rate the
// firmware sets in TWBR and TWSR, a start and a stop one clock each (the
// simulator's own TWI takes 9 us a byte and starts at once).
//
// Prints one line of figures; exit status 0 when every frame showed in full
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

enum { kFrame = 1024, kHz = 16000000 };

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
    avr_cycle_count_t
        busiest;  // the longest a frame took to send: from its change to its last stop
    avr_cycle_count_t lastStop;
} sim;

static void twiOut(avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    avr_twi_msg_irq_t m;
    m.u.v = value;
    if (m.u.twi.msg & TWI_COND_STOP) sim.lastStop = sim.avr->cycle;
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
        return;
    }
    // The frame before is on the display in full.
    const long shown = (k - 1) % sim.frames;
    if (memcmp(sim.oled.vram, sim.expect + (size_t)shown * kFrame, kFrame) != 0) {
        if (sim.wrong++ == 0) sim.firstWrong = k - 1;
    }
    if (sim.lastStop > sim.last && sim.lastStop - sim.last > sim.busiest) {
        sim.busiest = sim.lastStop - sim.last;
    }
    // Due k / fps seconds after the first.
    const long long due = (long long)k * 1000000 / sim.fps;
    const long long at = (long long)(now - sim.first) / (kHz / 1000000);
    const long long off = at > due ? at - due : due - at;
    if (off > sim.worstUs) sim.worstUs = off;
    if (off > 1000) ++sim.late;
    sim.last = now;
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
        } else {
            fail("unknown option");
        }
    }
    if (!firmware || !expectPath || sim.fps < 1 || seconds <= 0) {
        fail("usage: flash_sim FIRMWARE.elf --expect FRAMES.bin --fps N --seconds S");
    }
    FILE* e = fopen(expectPath, "rb");
    if (!e) fail("cannot read the expected frames");
    fseek(e, 0, SEEK_END);
    const long bytes = ftell(e);
    fseek(e, 0, SEEK_SET);
    sim.frames = bytes / kFrame;
    sim.expect = malloc((size_t)bytes + 1);
    if (sim.frames < 1 || fread(sim.expect, kFrame, (size_t)sim.frames, e) != (size_t)sim.frames) {
        fail("cannot read the expected frames");
    }
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
    avr_irq_register_notify(avr_io_getirq(sim.avr, AVR_IOCTL_IOPORT_GETIRQ('B'), 5), framePin,
                            NULL);
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
        "frames=%ld checked=%ld wrong=%ld first_wrong=%ld late=%ld worst_us=%lld "
        "longest_send_us=%llu "
        "ram_static=%u stack=%u\n",
        sim.frames, checked, sim.wrong, sim.wrong ? sim.firstWrong : -1, sim.late, sim.worstUs,
        (unsigned long long)(sim.busiest / (kHz / 1000000)), f.datasize + f.bsssize, top + 1 - low);
    return checked > sim.frames && sim.wrong == 0 && sim.late == 0 ? 0 : 1;
}
