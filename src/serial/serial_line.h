// A serial line's descriptor as SerialDevice drives it: opened, set up,
// written and read without blocking. Failures are worded with reason(); the
// system's side is in serial/platform/posix_serial_line.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/file.h"
#include "common/result.h"
#include "serial/serial_rules.h"

namespace orv::serial {

// Opens the device at `path` for reading and writing, without waiting and
// without becoming the program's controlling terminal.
Result<Fd> openLine(const std::string& path);

// Whether the system can set this baud rate, and mark or space parity.
bool lineCanSetBaud(std::int32_t baud);
bool lineHasMarkSpaceParity();

// Fails when `fd` is not a terminal line, or is the master side of a
// pseudo-terminal (which no device reads).
Status checkLine(int fd);
// Puts the line in raw mode with these settings (no flow control).
Status setLine(int fd, const PortSettings& settings);

// Writes what the line takes now: 0 when it is full (or a signal came).
Result<std::size_t> writeSome(int fd, std::string_view bytes);
// Reads what has come: 0 when nothing is waiting (or a signal came).
Result<std::size_t> readSome(int fd, char* into, std::size_t size);

// How the line stands after a wait: nothing yet, ready, or the device is gone.
enum class LineState { Quiet, Ready, Gone };
// Waits up to `waitMs` for the line to take data (`toWrite`) or bring some.
Result<LineState> waitForLine(int fd, bool toWrite, int waitMs);

// Waits until every byte written has left; Interrupted when a signal ended
// the wait first.
enum class Drained { All, Interrupted };
Result<Drained> drainLine(int fd);
// Throws away what is written and has not left yet.
void discardOutput(int fd);
// Throws away what has come and not been read yet.
void discardInput(int fd);

}  // namespace orv::serial
