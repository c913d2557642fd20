#include "serial/serial_device.h"

#include <chrono>
#include <cstdio>

#include "common/numbers.h"
#include "serial/serial_line.h"

namespace orv::serial {

Result<std::string> deviceOf(const std::string& port) {
    bool digits = !port.empty();
    for (char c : port) digits = digits && c >= '0' && c <= '9';
    if (!digits) return port;
    Result<std::int32_t> number = num::parseInt32(port, "port number");
    if (!number) return number.failure();
    return portDevice(number.value());
}

Status SerialDevice::open(const std::string& port, const std::string& settingsText) {
    Result<std::string> device = deviceOf(port);
    if (!device) return device.failure();
    device_ = device.value();
    Result<PortSettings> parsed = parseSettings(settingsText);
    if (!parsed) return parsed.failure();
    const PortSettings& s = parsed.value();
    if (!lineCanSetBaud(s.baud)) {
        return fail("port settings \"" + settingsText + "\": " + std::to_string(s.baud) +
                    " baud is not a rate this system can set");
    }
    if (s.stopBits == StopBits::OneAndHalf) {
        return fail("port settings \"" + settingsText + "\": 1.5 stop bits cannot be set here");
    }
    Result<Fd> opened = openLine(device_);
    if (!opened) return fail("cannot open " + device_ + ": " + opened.error());
    fd_ = std::move(opened.value());
    if (Status line = checkLine(fd_.get()); !line) {
        return fail(device_ + " is not a serial port: " + line.error());
    }
    if ((s.parity == Parity::Mark || s.parity == Parity::Space) && !lineHasMarkSpaceParity()) {
        return fail("port settings \"" + settingsText +
                    "\": mark and space parity cannot be set here");
    }
    if (Status set = setLine(fd_.get(), s); !set) {
        return fail(device_ + " refuses the port settings \"" + settingsText +
                    "\": " + set.error());
    }
    const int bits =
        1 + s.dataBits + (s.parity == Parity::None ? 0 : 1) + (s.stopBits == StopBits::Two ? 2 : 1);
    bytesPerSecond_ = static_cast<double>(s.baud) / bits;
    // What came before the port was open (a board's earlier announcement,
    // noise) is not an answer to this run.
    discardInput(fd_.get());
    return Done{};
}

Result<std::size_t> SerialDevice::write(std::string_view bytes, bool (*stopAsked)()) {
    using Clock = std::chrono::steady_clock;
    // A line takes some of a full buffer within the time its bytes take to go.
    const auto stalled = std::chrono::duration<double>(kStall) +
                         std::chrono::duration<double>(kLineBuffer / bytesPerSecond_);
    Clock::time_point took = Clock::now();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const Result<std::size_t> n = writeSome(fd_.get(), bytes.substr(sent));
        if (!n) return fail(device_ + " stopped taking data: " + n.error());
        if (n.value() > 0) {
            sent += n.value();
            took = Clock::now();
            continue;
        }
        // Full: wait for room, looking at a stop now and then.
        if (stopAsked && stopAsked()) return sent;
        if (Clock::now() - took > stalled) {
            char said[120];
            std::snprintf(said, sizeof said,
                          " has taken no data for %.1f s: nothing reads the line", stalled.count());
            return fail(device_ + said);
        }
        const Result<LineState> line = waitForLine(fd_.get(), true, 200);
        if (!line) return fail(device_ + ": " + line.error());
        if (line.value() == LineState::Gone) return fail(device_ + " went away");
    }
    return sent;
}

Result<std::string> SerialDevice::read(int waitMs) {
    const Result<LineState> line = waitForLine(fd_.get(), false, waitMs);
    if (!line) return fail(device_ + ": " + line.error());
    std::string got;
    char buf[256];
    for (;;) {
        const Result<std::size_t> n = readSome(fd_.get(), buf, sizeof buf);
        if (!n) return fail(device_ + " went away: " + n.error());
        if (n.value() == 0) break;
        got.append(buf, n.value());
    }
    if (got.empty() && line.value() == LineState::Gone) return fail(device_ + " went away");
    return got;
}

Status SerialDevice::drain(bool (*stopAsked)()) {
    // A drain ends early when a signal comes, which is how a stop reaches a
    // drain that would wait on a stalled line.
    for (;;) {
        const Result<Drained> drained = drainLine(fd_.get());
        if (!drained) return fail(device_ + " went away: " + drained.error());
        if (drained.value() == Drained::All) return Done{};
        if (stopAsked && stopAsked()) {
            discardOutput(fd_.get());
            return Done{};
        }
    }
}

}  // namespace orv::serial
