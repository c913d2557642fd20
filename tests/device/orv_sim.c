// orv_sim: the receiver's firmware on a simulated ATmega328P at 16 MHz, with
// an SSD1306 on its I2C bus at 0x3C and its serial port on a pseudo-terminal
// that the sender opens. It writes a report of what the display showed.
//
//   orv_sim FIRMWARE.elf --pty LINK --report FILE --expect FRAMES.bin
//           [--realtime] [--fault KIND@OFFSET]... [--panel WxH@FIRST]
//
// The board starts when the sender opens LINK (as an Uno resets when its port
// opens); what arrives in the first second (the boot loader's) is lost. The
// run ends on SIGTERM (the sender is done) once every byte has gone to the
// board and the board has been idle for 100 ms, or after five minutes.
//
// Timing as on the board: a serial byte takes 10 bits at the baud rate the
// firmware sets (the simulator's own UART counts 11), and it arrives at that
// pace; a third unread byte is an overrun and is lost, as in the chip. An I2C
// byte takes 9 clocks of the SCL rate the firmware sets in TWBR and TWSR, a
// start and a stop one clock each (the simulator's own TWI takes 9 us a byte).
// --realtime holds the simulated clock to the wall clock; otherwise the
// simulation runs as fast as it can while bytes are waiting.
//
// Faults, at a byte offset of the stream as sent: flip@N inverts byte N,
// drop@N loses it, insert@N puts a fake packet header before it, page@N
// rewrites the packet that starts at N to page 9 with a CRC that matches.
//
// Report lines: "shown FRAME WALL_MICROSECONDS" for every frame of FRAMES.bin
// (frames in the display's page layout: 1,024 bytes each, or those of the
// panel --panel gives, as sim_twi.h says) the display RAM equalled, in order,
// the first time it did, in wall clock time from the board's start; then
// "panel" (with the set-up's multiplex ratio and COM pins configuration) and
// "line" lines of counts.
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "avr_twi.h"
#include "avr_uart.h"
#include "sim_avr.h"
#include "sim_elf.h"
#include "sim_time.h"
#include "sim_twi.h"

enum { kUcsr0a = 0xC0, kUbrr0l = 0xC4, kUbrr0h = 0xC5 };
enum { kPending = 1 << 22, kMaxFaults = 16, kPacket = 135 };
enum { kBootMs = 1000, kTimeout = 300 };

struct fault {
    char kind;  // 'f'lip, 'd'rop, 'i'nsert, 'p'age
    unsigned long long at;
};

static struct {
    avr_t* avr;
    ssd1306_t oled;
    avr_uart_t* uart;
    avr_irq_t* uartIn;
    int master;
    int realtime;
    struct fault faults[kMaxFaults];
    int faultCount;
    // Bytes on their way to the board, after the faults.
    unsigned char pending[kPending];
    unsigned head, tail;
    unsigned long long lostInBoot, read, delivered, overruns, acks;
    unsigned char held[kPacket];  // a packet being rewritten by page@N
    int holding;
    avr_cycle_count_t lastActivity;  // on the line or the display's bus
    // The frames expected on the display, and when each was first shown.
    unsigned char* expect;
    long frames, next;
    long long* shownAt;
    double start;         // the wall clock time the board started
    long long firstWall;  // when the first byte came, from the start
} sim;

static double wallSeconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

static unsigned pendingCount(void) { return sim.tail - sim.head; }

static void push(unsigned char b) {
    if (pendingCount() < kPending) sim.pending[sim.tail++ % kPending] = b;
}

static unsigned short crc16(const unsigned char* p, int n) {
    unsigned short crc = 0xFFFF;
    for (int i = 0; i < n; ++i) {
        crc ^= (unsigned short)(p[i] << 8);
        for (int k = 0; k < 8; ++k) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    }
    return crc;
}

// One byte as the sender wrote it, through the faults.
static void arrive(unsigned char b) {
    const unsigned long long at = sim.read++;
    if (sim.holding) {
        sim.held[sim.holding++] = b;
        if (sim.holding < kPacket) return;
        sim.held[4] = 9;
        const unsigned short crc = crc16(sim.held + 2, 131);
        sim.held[133] = crc & 0xFF;
        sim.held[134] = crc >> 8;
        for (int i = 0; i < kPacket; ++i) push(sim.held[i]);
        sim.holding = 0;
        return;
    }
    for (int i = 0; i < sim.faultCount; ++i) {
        if (sim.faults[i].at != at) continue;
        switch (sim.faults[i].kind) {
            case 'f':
                b ^= 0xFF;
                break;
            case 'd':
                return;
            case 'i': {
                static const unsigned char fake[] = {0xA5, 0x5A, 0x00, 0x00, 0x03};
                for (size_t k = 0; k < sizeof fake; ++k) push(fake[k]);
                break;
            }
            case 'p':
                sim.held[0] = b;
                sim.holding = 1;
                return;
        }
    }
    push(b);
}

// CPU cycles of one serial bit, as UBRR0 and U2X0 set it.
static avr_cycle_count_t bitCycles(void) {
    const uint8_t* d = sim.avr->data;
    const unsigned ubrr = ((d[kUbrr0h] & 0x0F) << 8) | d[kUbrr0l];
    return (ubrr + 1) * ((d[kUcsr0a] & 0x02) ? 8 : 16);
}

// Every byte time, the next waiting byte completes at the board's RX pin.
static avr_cycle_count_t lineTick(avr_t* avr, avr_cycle_count_t when, void* param) {
    (void)param;
    const avr_cycle_count_t byteCycles = 10 * bitCycles();  // 8N1
    sim.uart->cycles_per_byte = byteCycles;
    if (pendingCount() > 0) {
        const unsigned char b = sim.pending[sim.head++ % kPending];
        // The UART holds two unread bytes; the simulator holds each for one
        // byte time before it raises RXC, hence three.
        const uart_fifo_t* in = &sim.uart->input;
        if (((in->write - in->read) & (uart_fifo_fifo_size - 1)) >= 3) {
            ++sim.overruns;
        } else {
            avr_raise_irq(sim.uartIn, b);
            if (sim.delivered++ == 0)
                sim.firstWall = (long long)((wallSeconds() - sim.start) * 1e6);
        }
        sim.lastActivity = avr->cycle;
    }
    return when + byteCycles;
}

static void uartOut(avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    const unsigned char b = (unsigned char)value;
    if (b & 0x80) ++sim.acks;
    if (write(sim.master, &b, 1) != 1) return;  // nobody reads: lost, as on a wire
}

static int showing(long frame) {
    return panelShows(&sim.oled, sim.expect + (size_t)frame * panelFrameBytes());
}

// After every I2C transaction: the next frames the display RAM equals. A
// frame that never showed is passed over when a later one shows.
static void twiOut(avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    avr_twi_msg_irq_t m;
    m.u.v = value;
    if (!(m.u.twi.msg & TWI_COND_STOP)) return;
    sim.lastActivity = sim.avr->cycle;
    for (long j = sim.next; j < sim.frames; ++j) {
        if (!showing(j)) continue;
        const long long wall = (long long)((wallSeconds() - sim.start) * 1e6);
        for (sim.next = j; sim.next < sim.frames && showing(sim.next); ++sim.next)
            sim.shownAt[sim.next] = wall;
        return;
    }
}

static volatile sig_atomic_t finishing;
static void finish(int signal) { finishing = signal; }

// Reads what the sender wrote, waiting up to `ms` for it.
static void service(int ms) {
    struct pollfd p = {sim.master, POLLIN, 0};
    if (poll(&p, 1, ms) < 0 && errno != EINTR) return;
    unsigned char buf[512];
    for (;;) {
        const ssize_t n = read(sim.master, buf, sizeof buf);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) arrive(buf[i]);
    }
}

static void fail(const char* what) {
    fprintf(stderr, "orv_sim: %s\n", what);
    exit(2);
}

static void report(FILE* out) {
    for (long k = 0; k < sim.frames; ++k) {
        if (sim.shownAt[k] < 0) continue;
        fprintf(out, "shown %ld %lld\n", k, sim.shownAt[k]);
    }
    fprintf(out, "panel on=%d inverted=%d mux=%d com_pins=%d\n",
            ssd1306_get_flag(&sim.oled, SSD1306_FLAG_DISPLAY_ON),
            ssd1306_get_flag(&sim.oled, SSD1306_FLAG_DISPLAY_INVERTED), simSetup.mux,
            simSetup.comPins);
    fprintf(out, "line boot=%llu read=%llu delivered=%llu overruns=%llu acks=%llu first=%lld\n",
            sim.lostInBoot, sim.read, sim.delivered, sim.overruns, sim.acks, sim.firstWall);
}

int main(int argc, char** argv) {
    const char *firmware = NULL, *link = NULL, *reportPath = NULL, *expectPath = NULL;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : NULL;
        if (!strcmp(a, "--realtime")) {
            sim.realtime = 1;
            continue;
        }
        if (a[0] != '-') {
            firmware = a;
            continue;
        }
        if (!v) fail("an option without its value");
        ++i;
        if (!strcmp(a, "--pty")) {
            link = v;
        } else if (!strcmp(a, "--report")) {
            reportPath = v;
        } else if (!strcmp(a, "--expect")) {
            expectPath = v;
        } else if (!strcmp(a, "--panel") && setPanel(v)) {
            continue;
        } else if (!strcmp(a, "--fault") && sim.faultCount < kMaxFaults && strchr(v, '@')) {
            sim.faults[sim.faultCount].kind = v[0];
            sim.faults[sim.faultCount++].at = strtoull(strchr(v, '@') + 1, NULL, 10);
        } else {
            fail("unknown option or value");
        }
    }
    if (!firmware || !link || !reportPath || !expectPath) {
        fail("usage: orv_sim FIRMWARE.elf --pty LINK --report FILE --expect FRAMES.bin [options]");
    }
    FILE* e = fopen(expectPath, "rb");
    sim.expect = malloc(kPending);
    sim.frames =
        e ? (long)fread(sim.expect, panelFrameBytes(), kPending / panelFrameBytes(), e) : 0;
    if (!e || !sim.frames) fail("cannot read the expected frames");
    fclose(e);
    sim.shownAt = malloc(sizeof(long long) * (size_t)(sim.frames + 1));
    for (long k = 0; k < sim.frames; ++k) sim.shownAt[k] = -1;

    // The port: a pseudo-terminal whose far end is LINK. Opening and closing
    // it once makes the sender's open show, as the end of a hang-up.
    sim.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (sim.master < 0 || grantpt(sim.master) || unlockpt(sim.master)) fail("no pseudo-terminal");
    const char* far = ptsname(sim.master);
    close(open(far, O_RDWR | O_NOCTTY));
    unlink(link);
    if (symlink(far, link)) fail("cannot make the link to the pseudo-terminal");

    elf_firmware_t f;
    memset(&f, 0, sizeof f);
    if (elf_read_firmware(firmware, &f)) fail("cannot read the firmware");
    strcpy(f.mmcu, "atmega328p");
    f.frequency = 16000000;
    sim.avr = avr_make_mcu_by_name(f.mmcu);
    if (!sim.avr) fail("no ATmega328P in this simavr");
    avr_init(sim.avr);
    sim.avr->log = LOG_ERROR;
    avr_load_firmware(sim.avr, &f);

    connectDisplay(sim.avr, &sim.oled, twiOut);
    for (avr_io_t* io = sim.avr->io_port; io; io = io->next) {
        if (!strcmp(io->kind, "uart") && ((avr_uart_t*)io)->name == '0') sim.uart = (avr_uart_t*)io;
    }
    uint32_t quiet = 0;
    avr_ioctl(sim.avr, AVR_IOCTL_UART_SET_FLAGS('0'), &quiet);
    sim.uartIn = avr_io_getirq(sim.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    avr_irq_register_notify(avr_io_getirq(sim.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
                            uartOut, NULL);

    // Power: the sender opens the port; the boot loader's time passes.
    const double waitFrom = wallSeconds();
    for (;;) {
        struct pollfd p = {sim.master, POLLIN, 0};
        poll(&p, 1, 10);
        if (!(p.revents & POLLHUP)) break;
        if (wallSeconds() - waitFrom > kTimeout) fail("the port was never opened");
    }
    // Held open here too, so that what the sender leaves unread when it
    // closes the port is not flushed away.
    const int farEnd = open(far, O_RDWR | O_NOCTTY);
    struct sigaction action = {.sa_handler = finish};
    sigaction(SIGTERM, &action, NULL);
    const double bootFrom = wallSeconds();
    while (wallSeconds() - bootFrom < kBootMs / 1000.0) {
        unsigned char buf[512];
        usleep(1000);
        for (ssize_t n; (n = read(sim.master, buf, sizeof buf)) > 0;) sim.lostInBoot += n;
    }

    avr_cycle_timer_register(sim.avr, 1000, lineTick, NULL);
    const double start = sim.start = wallSeconds();
    double base = start;  // the wall clock time of cycle 0
    avr_cycle_count_t nextService = 0;
    for (;;) {
        const int state = avr_run(sim.avr);
        if (state == cpu_Done || state == cpu_Crashed) fail("the firmware stopped");
        if (sim.avr->cycle < nextService) continue;
        nextService = sim.avr->cycle + 16000;  // every simulated millisecond
        // Held to the wall clock: always with --realtime, else while idle;
        // a lead taken while running free is not waited out.
        const int hold = sim.realtime || pendingCount() == 0;
        for (;;) {
            const double ahead = sim.avr->cycle / 16e6 - (wallSeconds() - base);
            if (!hold && ahead > 0) base -= ahead;
            const int ms = hold && ahead > 0 ? (int)(ahead * 1000) + 1 : 0;
            service(ms);
            if (!hold || ahead <= 0.001) break;
        }
        if (finishing && pendingCount() == 0 && sim.avr->cycle - sim.lastActivity > 1600000) break;
        if (wallSeconds() - start > kTimeout) {
            fprintf(stderr, "orv_sim: timed out\n");
            break;
        }
    }
    FILE* out = fopen(reportPath, "w");
    if (!out) fail("cannot write the report");
    report(out);
    fclose(out);
    close(farEnd);
    return 0;
}
