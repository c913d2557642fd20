#include "cli/video/stream_clock.h"

#include <cmath>

namespace orv::cli::video {

StreamClock::StreamClock(const AVStream* stream, std::int64_t origin, double phase)
    : stream_(stream),
      origin_(origin != AV_NOPTS_VALUE ? origin : declaredStart(stream)),
      phase_(phase) {}

std::int64_t StreamClock::declaredStart(const AVStream* stream) {
    return stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
}

double StreamClock::seconds(std::int64_t pts) const {
    return static_cast<double>(pts - origin_) * av_q2d(stream_->time_base) + phase_;
}

std::int64_t StreamClock::at(double seconds) const {
    return origin_ +
           static_cast<std::int64_t>(std::floor((seconds - phase_) / av_q2d(stream_->time_base)));
}

double tickPhase(double seconds, int fps) {
    return seconds - std::floor(seconds * fps + 0.5) / fps;
}

double StreamClock::durationSeconds(std::int64_t packetDuration) const {
    const AVStream* s = stream_;
    const AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
    return packetDuration > 0 ? packetDuration * av_q2d(s->time_base)
           : rate.num > 0     ? av_q2d(av_inv_q(rate))
                              : 0.04;
}

}  // namespace orv::cli::video
