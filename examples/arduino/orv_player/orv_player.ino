// orv_player: shows the frames that `orv send` puts on the serial port, on an
// SSD1306 128 x 64 OLED over I2C, or on another panel orv_display.h
// describes when built for it (`make ORV_DISPLAY=ssd1306-128x32`, for one):
// frames of the panel's size, which it announces.
//
// Board: Arduino Uno or Nano (ATmega328P). Needs only the Arduino core.
// Serial: 115200 baud, 8 data bits, no parity, 1 stop bit.
//
// Each good packet of the framed link (see orv_link.h) is one display page of
// the panel's column bytes (128 at 128 x 64); it goes straight to the display, so there is no frame
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
// second ("ORV 2 W WxH\n" for frames of another size than 128 x 64), and one acknowledgement byte
// for each page written, which `orv send` paces on. The built-in LED (pin 13) is lit while the
// sketch works on a byte, a page write included: it glows with the traffic.
//
// Framed mode only: frames sent with `orv send --mode raw` are not shown.
//
// Polarity: the bytes are written as they arrive, and an OLED lights a
// pixel for a set bit. Frame files say "set bit = dark pixel", so send with
//     orv send FILE.orv --port /dev/ttyACM0 --settings 115200,n,8,1 --display ssd1306
// and the host inverts before sending. The sketch never inverts on its own.

#include "orv_link.h"
#include "orv_oled.h"

static const long kBaud = 115200;
static const uint32_t kI2cClock = 400000;

namespace oled = orv::oled;

// Packets of the panel's pages, and the decoder that finds them.
typedef orv::framing::SizedDecoder<oled::Device::kWidth, oled::kPages> Decoder;
static const uint16_t kPacketBytes = orv::framing::packetBytes(oled::Device::kWidth);
// Packets the host may send ahead: the one being written to the display,
// and as many more as the receive buffer holds whole.
static const uint8_t kWindow = 1 + (SERIAL_RX_BUFFER_SIZE - 1) / kPacketBytes;
// Silence after which the sketch announces itself again, for a host that
// opened the port without resetting the board.
static const unsigned long kHelloEveryMs = 1000;

static Decoder decoder;
static unsigned long quietSince;

// The most bytes seen waiting in the receive buffer: for a debugger or a
// simulator to read.
volatile uint16_t mostBytesWaiting;

static volatile uint8_t* busyPort;
static uint8_t busyMask;

// Writes one page: the decoder's packet, or zeros when `fromDecoder` is
// false.
static void writePage(uint8_t page, bool fromDecoder) {
    oled::writePage(page, 0, oled::Device::kWidth - 1, [fromDecoder](uint8_t c) -> uint8_t {
        return fromDecoder ? decoder.column(c) : 0;
    });
}

static void hello() {
    Serial.print(F("ORV "));
    Serial.print(orv::framing::kLinkVersion);
    Serial.print(' ');
    Serial.print(kWindow);
    if (oled::Device::kWidth != 128 || oled::Device::kHeight != 64) {
        Serial.print(' ');
        Serial.print(oled::Device::kWidth);
        Serial.print('x');
        Serial.print(oled::Device::kHeight);
    }
    Serial.print('\n');
    quietSince = millis();
}

void setup() {
    pinMode(LED_BUILTIN, OUTPUT);
    busyPort = portOutputRegister(digitalPinToPort(LED_BUILTIN));
    busyMask = digitalPinToBitMask(LED_BUILTIN);
    Serial.begin(kBaud);
    // The internal pull-ups on SDA and SCL help the module's own.
    pinMode(SDA, INPUT_PULLUP);
    pinMode(SCL, INPUT_PULLUP);
    oled::begin(kI2cClock);
    for (uint8_t p = 0; p < oled::kPages; ++p) writePage(p, false);
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
        Serial.write(orv::framing::ackByte(decoder.frameNumber(), decoder.page(), oled::kPages));
    }
    quietSince = millis();
    *busyPort &= static_cast<uint8_t>(~busyMask);
}
