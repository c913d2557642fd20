#include "cli/video/frame_skipping.h"

#include <algorithm>

namespace orv::cli::video {

std::int64_t RecentPackets::duration(std::int64_t pts) const {
    for (const Entry& e : entries_) {
        if (e.pts == pts && e.duration > 0) return e.duration;
    }
    return 0;
}

std::int64_t RecentPackets::nextAfter(std::int64_t pts) const {
    std::int64_t best = AV_NOPTS_VALUE;
    for (const Entry& e : entries_) {
        if (e.pts != AV_NOPTS_VALUE && e.pts > pts && (best == AV_NOPTS_VALUE || e.pts < best))
            best = e.pts;
    }
    return best;
}

void FrameSkipper::planTicks(double start, double end, int fps) {
    plan_.emplace(start, end, fps);
    skipping_ = true;
}

// The frame shows from its time until the next frame's, and the nearest
// later time among the packets read so far is at or after that next frame's.
// The first frame takes the ticks before it too, so only frames after one
// already told are ever judged.
bool FrameSkipper::noTickTakes(std::int64_t pts, const StreamClock& clock) const {
    if (!plan_ || !skipping_ || pts == AV_NOPTS_VALUE || lastTold_ == AV_NOPTS_VALUE ||
        pts <= lastTold_) {
        return false;
    }
    const std::int64_t next = recent_.nextAfter(pts);
    if (next == AV_NOPTS_VALUE) return false;
    return !plan_->anyTickIn(clock.seconds(pts), clock.seconds(next));
}

std::optional<UntakenFrame> FrameSkipper::untakenBefore(std::int64_t pts) {
    if (untaken_.empty() || untaken_.begin()->first >= pts) return std::nullopt;
    const auto [at, packetDuration] = *untaken_.begin();
    untaken_.erase(untaken_.begin());
    lastTold_ = at;
    return UntakenFrame{at, packetDuration};
}

DecodedFrame FrameSkipper::decoded(std::int64_t pts, std::int64_t bestEffort) {
    // Untaken frames are judged by packet times: only while frames keep to them.
    if (pts == AV_NOPTS_VALUE || bestEffort != pts ||
        (lastTold_ != AV_NOPTS_VALUE && pts <= lastTold_)) {
        skipping_ = false;
    }
    DecodedFrame told{recent_.duration(pts), true};
    if (auto it = untaken_.find(pts); pts != AV_NOPTS_VALUE && it != untaken_.end()) {
        told.packetDuration = it->second;
        untaken_.erase(it);
        told.pictured = !skipping_;
    }
    if (pts != AV_NOPTS_VALUE) lastTold_ = std::max(lastTold_, pts);
    return told;
}

void FrameSkipper::restart() {
    recent_.clear();
    untaken_.clear();
    lastTold_ = AV_NOPTS_VALUE;
}

}  // namespace orv::cli::video
