#include "serial/frame_sender.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "orv_link.h"

namespace orv::serial {
namespace {

namespace fr = orv::framing;

// The longest wait between two looks at the port and at a stop.
constexpr std::chrono::milliseconds kNap{20};

}  // namespace

FrameSender::FrameSender(SerialDevice& device, bool framed, int keyInterval, bool (*stopAsked)())
    : device_(device), framed_(framed), encoder_(keyInterval), stopAsked_(stopAsked) {}

Status FrameSender::listen(Clock::duration upTo) {
    // Rounded up: a wait shorter than a millisecond is not spent spinning.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(
        std::clamp<Clock::duration>(upTo, Clock::duration::zero(), kNap));
    Result<std::string> got = device_.read(static_cast<int>(ms.count()));
    if (!got) return got.failure();
    const Clock::time_point now = Clock::now();
    pacer_.take(got.value(), now);
    // The window's packets, as wide as the frames the receiver said it shows.
    const std::size_t packets =
        pacer_.window() * fr::packetBytes(static_cast<std::uint16_t>(pacer_.size().width));
    const auto limit = std::chrono::duration<double>(kSilence) +
                       std::chrono::duration<double>(static_cast<double>(packets) /
                                                     std::max(device_.bytesPerSecond(), 1.0));
    if (pacer_.unanswered(now) > limit) {
        char said[160];
        std::snprintf(said, sizeof said, "the receiver has acknowledged nothing for %.1f s",
                      limit.count());
        return fail(device_.name() + ": " + said);
    }
    return Done{};
}

Result<bool> FrameSender::awaitReceiver(Clock::duration wait) {
    const Clock::time_point until = Clock::now() + wait;
    while (!pacer_.announced() && !stopping() && Clock::now() < until) {
        if (Status s = listen(until - Clock::now()); !s) return s.failure();
    }
    if (!pacer_.announced()) pacer_.stopWaiting();
    return pacer_.announced();
}

Result<bool> FrameSender::send(std::uint64_t index, const Frame& frame, Clock::time_point due) {
    for (Clock::time_point now = Clock::now(); now < due; now = Clock::now()) {
        if (stopping()) return false;
        if (Status s = listen(due - now); !s) return s.failure();
    }
    std::string wire;
    if (framed_) {
        encoder_.encode(index, frame, wire);
    } else {
        wire = rawFrame(frame);
    }
    // A packet at a time: a stop ends the run between packets.
    const std::size_t packet =
        framed_ ? fr::packetBytes(static_cast<std::uint16_t>(frame.size().width)) : wire.size();
    for (std::size_t at = 0; at < wire.size(); at += packet) {
        while (!pacer_.hasRoom(Clock::now())) {
            if (stopping()) return false;
            if (Status s = listen(kNap); !s) return s.failure();
        }
        if (stopping()) return false;
        Result<std::size_t> sent =
            device_.write(std::string_view(wire).substr(at, packet), stopAsked_);
        if (!sent) return sent.failure();
        if (sent.value() < std::min(packet, wire.size() - at)) return false;  // a stop
        bytes_ += sent.value();
        const auto page = static_cast<std::uint8_t>(framed_ ? wire[at + fr::kPageNumberOffset] : 0);
        pacer_.sent(index, page, Clock::now());
    }
    pacer_.frameDone(index, Clock::now());
    return true;
}

Status FrameSender::finish() {
    if (Status drained = device_.drain(stopAsked_); !drained) return drained;
    while (pacer_.inFlight() > 0 && !stopping()) {
        pacer_.hasRoom(Clock::now());  // gives up what is overdue
        if (Status s = listen(kNap); !s) return s;
    }
    return Done{};
}

}  // namespace orv::serial
