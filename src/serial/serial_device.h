// A serial device opened directly (termios), for the command line's send:
// the same port-number rule and settings text as the tool's panel.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/file.h"
#include "common/result.h"
#include "serial/serial_rules.h"

namespace orv::serial {

class SerialDevice {
  public:
    SerialDevice() = default;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens `port` (a device path, or a port number under the port-number
    // rule) with the settings text (as "115200,n,8,1"), and throws away what
    // came before.
    Status open(const std::string& port, const std::string& settings);

    // A line that takes nothing for this long, and the time a full buffer of
    // its bytes takes to go, is stalled.
    static constexpr std::chrono::seconds kStall{3};
    static constexpr double kLineBuffer = 4096;

    // Writes all of `bytes`, waiting while the device's buffer is full. A
    // stop asked for while it waits (`stopAsked`) ends it early, even inside
    // a packet (the receiver drops a cut packet by its check); the result
    // tells how many bytes went. A device that went away fails, and so does
    // a stalled line.
    Result<std::size_t> write(std::string_view bytes, bool (*stopAsked)() = nullptr);

    // What the device has sent, waiting up to `waitMs` for it to begin; empty
    // when nothing came. A device that went away fails.
    Result<std::string> read(int waitMs);

    // Waits until every byte written has left the device (or it went away).
    // A stop asked for meanwhile throws away what is still queued instead,
    // so that neither this nor closing the device waits on a stalled line.
    Status drain(bool (*stopAsked)() = nullptr);

    const std::string& name() const { return device_; }
    // Bytes a second the line carries with these settings: the baud rate
    // over the bits of a character (start, data, parity and stop bits).
    double bytesPerSecond() const { return bytesPerSecond_; }

  private:
    Fd fd_;
    std::string device_;
    double bytesPerSecond_ = 0;
};

// The device a PORT argument names: a path as it is, a whole number by the
// port-number rule.
Result<std::string> deviceOf(const std::string& port);

}  // namespace orv::serial
