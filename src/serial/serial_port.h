// The serial port as the panel uses it: an open flag, a port number, a
// settings text and an output.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "common/result.h"

namespace orv::serial {

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Open flag: true opens the port, false closes it. A refusal leaves it as it was.
    virtual bool portOpen() const = 0;
    virtual Status setPortOpen(bool open) = 0;

    // Port number (see portDevice()); refused when it names no device, or
    // while the port is open.
    virtual std::int16_t commPort() const = 0;
    virtual Status setCommPort(std::int16_t number) = 0;

    // Settings text, kept as typed; applied when the port opens, and at once
    // while it is open, all or none: on a refusal the port keeps every
    // earlier value. A text that does not parse is refused.
    virtual std::string settings() const = 0;
    virtual Status setSettings(const std::string& text) = 0;

    // Transmits the bytes; does nothing while the port is closed. Fails when
    // they did not go out, and then the port has closed itself (onLost is
    // not called for it: the failure says why).
    virtual Status output(const std::string& bytes) = 0;

    // Bytes given to output() that have not gone to the device yet.
    virtual std::int64_t pendingBytes() const = 0;
    // Sends what output() left waiting, for at most `bound`; a port that
    // is closed or a device that takes nothing ends it early.
    virtual void drain(std::chrono::milliseconds bound) = 0;

    // Called, after the port has closed itself, when the device went away
    // outside output().
    std::function<void(const std::string& why)> onLost;
    // Called with the bytes the device sent, as they come.
    std::function<void(const std::string& bytes)> onReceived;
};

}  // namespace orv::serial
