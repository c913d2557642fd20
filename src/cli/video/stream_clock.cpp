#include "cli/video/stream_clock.h"

namespace orv::cli::video {

double StreamClock::startSeconds() const {
    const AVStream* s = stream_;
    return s->start_time == AV_NOPTS_VALUE ? 0.0 : s->start_time * av_q2d(s->time_base);
}

double StreamClock::seconds(std::int64_t pts) const {
    return pts * av_q2d(stream_->time_base) - startSeconds();
}

double StreamClock::durationSeconds(std::int64_t packetDuration) const {
    const AVStream* s = stream_;
    const AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
    return packetDuration > 0 ? packetDuration * av_q2d(s->time_base)
           : rate.num > 0     ? av_q2d(av_inv_q(rate))
                              : 0.04;
}

}  // namespace orv::cli::video
