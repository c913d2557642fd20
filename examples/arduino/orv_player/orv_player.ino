// orv_player: shows the frames that `orv send` puts on the serial port, on an
// SSD1306 128 x 64 OLED over I2C.
//
// Board: Arduino Uno or Nano (ATmega328P). Needs only the Arduino core.
// Serial: 115200 baud, 8 data bits, no parity, 1 stop bit.
//
// Each good packet of the framed link (see orv_link.h) is one display page of
// 128 column bytes; it goes straight to the display, so there is no frame
// buffer. The decoder checks every byte as it comes, in constant time, so
// the only long task is writing a page to the display, as one I2C
// transmission at 400 kHz: about 3.6 ms, while about 43 bytes arrive. They
// wait in the serial receive buffer, which the Makefile makes 256 bytes
// (SERIAL_RX_BUFFER_SIZE): room for a whole packet more, so the host may have
// two packets on their way (the window the sketch announces). Built without
// that setting (the IDE's 64 bytes), the sketch announces a window of one
// packet and still loses nothing. README.md has the measured figures.
//
// Back channel (orv_link.h): "ORV 2 W\n" when ready and after each silent
// second, and one acknowledgement byte for each page written, which `orv
// send` paces on. The built-in LED (pin 13) is lit while the sketch works on
// a byte, a page write included: it glows with the traffic.
//
// Framed mode only: frames sent with `orv send --mode raw` are not shown.
//
// Polarity: the bytes are written as they arrive, and an SSD1306 lights a
// pixel for a set bit. Frame files say "set bit = dark pixel", so send with
//     orv send FILE.orv --port /dev/ttyACM0 --settings 115200,n,8,1 --set-bit light
// and the host inverts before sending. The sketch never inverts on its own.

#include "orv_link.h"

static const uint8_t kDisplayAddress = 0x3C;  // 0x3D on some modules
static const long kBaud = 115200;
static const uint32_t kI2cClock = 400000;

// Packets the host may send ahead: the one being written to the display,
// and as many more as the receive buffer holds whole.
static const uint8_t kWindow = 1 + (SERIAL_RX_BUFFER_SIZE - 1) / orv::framing::kPacketBytes;
// Silence after which the sketch announces itself again, for a host that
// opened the port without resetting the board.
static const unsigned long kHelloEveryMs = 1000;

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
    0x40, 0xE3,  // start line 0; a no-op after it
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

static orv::framing::Decoder decoder;
static unsigned long quietSince;

// The most bytes seen waiting in the receive buffer: for a debugger or a
// simulator to read.
volatile uint16_t mostBytesWaiting;

static volatile uint8_t* busyPort;
static uint8_t busyMask;

// The display's I2C bus, driven directly and polled: a page goes as one
// transmission of 129 bytes (Wire's buffer holds 32), with no interrupt per
// byte. A bus that stops answering ends the transmission instead of hanging.
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

// Writes one page: the decoder's packet, or zeros when `fromDecoder` is false.
static void writePage(uint8_t page, bool fromDecoder) {
    const uint8_t place[] = {0x21, 0, 127,     // column range 0..127
                             0x22, page, page};  // page range: this page only
    bool ok = twiStart(kCommandStream);
    for (uint8_t i = 0; ok && i < sizeof place; ++i) ok = twiSend(place[i]);
    twiStop();
    if (!ok) return;
    ok = twiStart(kDataStream);
    for (uint8_t c = 0; ok && c < orv::framing::kPageBytes; ++c) {
        ok = twiSend(fromDecoder ? decoder.column(c) : 0);
    }
    twiStop();
}

static void hello() {
    Serial.print(F("ORV "));
    Serial.print(orv::framing::kLinkVersion);
    Serial.print(' ');
    Serial.print(kWindow);
    Serial.print('\n');
    quietSince = millis();
}

void setup() {
    pinMode(LED_BUILTIN, OUTPUT);
    busyPort = portOutputRegister(digitalPinToPort(LED_BUILTIN));
    busyMask = digitalPinToBitMask(LED_BUILTIN);
    Serial.begin(kBaud);
    // SCL = F_CPU / (16 + 2 TWBR), prescaler 1; the internal pull-ups on
    // SDA and SCL help the module's own.
    pinMode(SDA, INPUT_PULLUP);
    pinMode(SCL, INPUT_PULLUP);
    TWSR = 0;
    TWBR = (F_CPU / kI2cClock - 16) / 2;
    sendSetup();
    for (uint8_t p = 0; p < orv::framing::kPageCount; ++p) writePage(p, false);
    hello();
}

void loop() {
    const int waiting = Serial.available();
    if (waiting == 0) {
        if (millis() - quietSince >= kHelloEveryMs) hello();
        return;
    }
    *busyPort |= busyMask;
    if (waiting > static_cast<int>(mostBytesWaiting)) mostBytesWaiting = waiting;
    if (decoder.feed(static_cast<uint8_t>(Serial.read()))) {
        writePage(decoder.page(), true);
        Serial.write(orv::framing::ackByte(decoder.frameNumber(), decoder.page()));
    }
    quietSince = millis();
    *busyPort &= static_cast<uint8_t>(~busyMask);
}
