#include "serial/link_pacer.h"

#include <algorithm>
#include <cstdio>

#include "orv_link.h"

namespace orv::serial {
namespace {

namespace fr = orv::framing;

// The longest announcement line read; longer lines are not one.
constexpr std::size_t kLongestLine = 32;
// The sender keeps at most this many packets on their way, whatever the
// receiver says.
constexpr int kLargestWindow = 16;

}  // namespace

LinkPacer::LinkPacer(Clock::duration ackTimeout) : ackTimeout_(ackTimeout) {}

void LinkPacer::take(std::string_view bytes, Clock::time_point now) {
    for (char c : bytes) takeByte(static_cast<std::uint8_t>(c), now);
}

void LinkPacer::takeByte(std::uint8_t b, Clock::time_point now) {
    if (b < fr::kAckFlag) {
        if (b == '\n') {
            announce(line_);
            line_.clear();
        } else if (line_.size() < kLongestLine) {
            line_.push_back(static_cast<char>(b));
        }
        return;
    }
    // The first packet in flight with this frame (mod 16) and page; those
    // before it were lost. One that matches none is ignored.
    const std::uint8_t key = b & ~fr::kAckFlag;
    const auto match = std::find_if(inFlight_.begin(), inFlight_.end(),
                                    [key](const Packet& p) { return p.key == key; });
    if (match == inFlight_.end()) return;
    unanswered_ = false;
    for (auto n = match - inFlight_.begin(); n > 0; --n) retire(false, now);
    retire(true, now);
}

void LinkPacer::announce(const std::string& line) {
    // "ORV <version> <window>", or "ORV <version> <window> <W>x<H>": the
    // first one counts; later ones come from a receiver that was idle, or
    // that started again, which the next key frame repairs.
    int version = 0, window = 0;
    char end = 0, sizeText[16] = "";
    if (announced() || !waiting_) return;
    FrameSize size = kLcdSize;
    const int read =
        std::sscanf(line.c_str(), "ORV %d %d %15[0-9x]%c", &version, &window, sizeText, &end);
    if (read == 3) {
        Result<FrameSize> said = parseFrameSize(sizeText);
        if (!said) return;
        size = said.value();
    } else if (std::sscanf(line.c_str(), "ORV %d %d%c", &version, &window, &end) != 2) {
        return;
    }
    if (version < fr::kLinkVersion || window < 1) return;
    version_ = version;
    window_ = std::min(window, kLargestWindow);
    size_ = size;
}

bool LinkPacer::hasRoom(Clock::time_point now) {
    if (!announced()) return true;
    while (!inFlight_.empty() && now - inFlight_.front().sentAt > ackTimeout_) retire(false, now);
    return inFlight_.size() < static_cast<std::size_t>(window_);
}

LinkPacer::Frame& LinkPacer::frameOf(std::uint64_t index) {
    if (frames_.empty() || frames_.back().index != index) frames_.push_back(Frame{index});
    return frames_.back();
}

void LinkPacer::sent(std::uint64_t frame, std::uint8_t page, Clock::time_point now) {
    if (!started_) {
        started_ = true;
        firstSent_ = now;
    }
    if (!announced()) return;
    if (!unanswered_) unansweredSince_ = now;
    unanswered_ = true;
    ++frameOf(frame).outstanding;
    const auto pages = static_cast<std::uint8_t>(size_.pages());
    inFlight_.push_back(
        {frame, static_cast<std::uint8_t>(fr::ackByte(frame & 0xFFFF, page, pages) & ~fr::kAckFlag),
         now});
}

void LinkPacer::frameDone(std::uint64_t frame, Clock::time_point now) {
    if (!announced()) return;
    frameOf(frame).done = true;
    settle(now);
}

void LinkPacer::retire(bool shown, Clock::time_point now) {
    const Packet p = inFlight_.front();
    inFlight_.pop_front();
    for (Frame& f : frames_) {
        if (f.index != p.frame) continue;
        --f.outstanding;
        f.lost = f.lost || !shown;
        break;
    }
    lost_ += shown ? 0 : 1;
    settle(now);
}

void LinkPacer::settle(Clock::time_point now) {
    while (!frames_.empty() && frames_.front().done && frames_.front().outstanding == 0) {
        ++(frames_.front().lost ? damaged_ : shown_);
        lastReached_ = now;
        frames_.pop_front();
    }
}

void LinkPacer::restart() {
    inFlight_.clear();
    frames_.clear();
    shown_ = damaged_ = lost_ = 0;
    started_ = unanswered_ = false;
}

double LinkPacer::framesPerSecond() const {
    const std::uint64_t reached = shown_ + damaged_;
    const double seconds = std::chrono::duration<double>(lastReached_ - firstSent_).count();
    return reached >= 2 && seconds > 0 ? static_cast<double>(reached) / seconds : 0.0;
}

}  // namespace orv::serial
