// The sketches' display: the panel orv_display.h describes, on the I2C bus
// of orv_twi.h, at ORV_OLED_ADDRESS. A page goes as one transmission of up to
// 129 bytes, after a short one that places it. writePage() polls the bus;
// with ORV_OLED_QUEUE defined before this header, the TWI interrupt sends
// queued pages while the sketch goes on (see orv_twi.h).
//
// The frames are the panel's size: kWidth columns of kHeight / 8 pages.
//
// C++11, the Arduino core's <avr/io.h> and <avr/pgmspace.h>; no allocation.
#ifndef ORV_OLED_H
#define ORV_OLED_H

#ifdef ORV_OLED_QUEUE
#define ORV_TWI_QUEUE
#endif
#include "orv_display.h"
#include "orv_twi.h"

#ifndef ORV_OLED_ADDRESS
#define ORV_OLED_ADDRESS 0x3C  // 0x3D on some modules
#endif

namespace orv {
namespace oled {

// The panel at its address on the bus.
struct Device : display::Panel {
    static const uint8_t kAddress = ORV_OLED_ADDRESS;
};

// A frame's pages.
static const uint8_t kPages = Device::kHeight / 8;

// Begins a transmission of commands or of data (the control byte).
inline bool start(uint8_t control) { return twi::start(Device::kAddress) && twi::send(control); }

// Sets the bus to `clockHz` and sends the set-up.
inline void begin(uint32_t clockHz) {
    twi::begin(clockHz);
    if (start(Device::kCommandStream)) {
        for (uint8_t i = 0;
             i < sizeof display::kSetup && twi::send(pgm_read_byte(&display::kSetup[i])); ++i) {
            continue;
        }
    }
    twi::stop();
}

// Sends one command byte.
inline void command(uint8_t byte) {
    if (start(Device::kCommandStream)) twi::send(byte);
    twi::stop();
}

// Normal display (a set bit lights a pixel) or inverse (a clear bit does),
// for the whole panel at once, whatever its RAM holds.
inline void inverse(bool on) { command(on ? 0xA7 : 0xA6); }

// Writes columns `from` to `to` of one page, column c being `column(c)`.
template <class Column>
void writePage(uint8_t page, uint8_t from, uint8_t to, Column column) {
    bool ok = start(Device::kCommandStream);
    for (uint8_t i = 0; ok && i < Device::kPlaceBytes; ++i) {
        ok = twi::send(Device::placeByte(i, page, from, to));
    }
    twi::stop();
    if (!ok) return;
    ok = start(Device::kDataStream);
    for (uint8_t c = from; ok && c <= to; ++c) ok = twi::send(column(c));
    twi::stop();
}

#ifdef ORV_OLED_QUEUE
// The page queue of orv_twi.h, to this display.
namespace queue {
using twi::queue::drain;
using twi::queue::sent;
using twi::queue::waitFor;
inline uint8_t put(uint8_t page, uint8_t from, uint8_t to, const uint8_t* columns) {
    return twi::queue::put<Device>(page, from, to, columns);
}
}  // namespace queue
#endif

}  // namespace oled
}  // namespace orv

#ifdef ORV_OLED_QUEUE
// The TWI interrupt's slower steps (orv_twi.h), for this display.
void orv::twi::queue::__vector_orv_twi_step() { step<oled::Device>(); }
#endif

#endif
