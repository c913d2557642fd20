#include "cli/video_reader.h"

#include <array>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace orv::cli {
namespace {

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0) return "error " + std::to_string(code);
    return text;
}

// The FFmpeg interrupt check: asks the reader's stop question.
extern "C" int askStop(void* opaque) {
    auto stop = reinterpret_cast<bool (*)()>(opaque);
    return stop && stop() ? 1 : 0;
}

// Durations of the packets sent last, by presentation time: a frame's
// duration is its packet's, found again when the frame comes out.
class PacketDurations {
  public:
    void note(std::int64_t pts, std::int64_t duration) {
        entries_[next_++ % entries_.size()] = {pts, duration};
    }
    std::int64_t find(std::int64_t pts) const {
        for (const Entry& e : entries_) {
            if (e.pts == pts && e.duration > 0) return e.duration;
        }
        return 0;
    }

  private:
    struct Entry {
        std::int64_t pts = AV_NOPTS_VALUE;
        std::int64_t duration = 0;
    };
    std::array<Entry, 64> entries_{};
    std::size_t next_ = 0;
};

}  // namespace

struct VideoReader::Impl {
    bool (*stopRequested)() = nullptr;
    std::string path;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwsContext* sws = nullptr;
    int stream = -1;
    bool draining = false;
    double time = 0;
    double duration = 0;
    PacketDurations durations;

    ~Impl() {
        sws_freeContext(sws);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
    AVStream* video() const { return format->streams[stream]; }
    double startSeconds() const {
        const AVStream* s = video();
        return s->start_time == AV_NOPTS_VALUE ? 0.0 : s->start_time * av_q2d(s->time_base);
    }
    bool stopped() const { return stopRequested && stopRequested(); }
    Failure damaged(int code) const {
        if (code == AVERROR_EXIT || stopped()) return fail("interrupted");
        return fail("cannot decode \"" + path + "\": " + avError(code));
    }
};

VideoReader::VideoReader(bool (*stopRequested)()) : impl_(std::make_unique<Impl>()) {
    impl_->stopRequested = stopRequested;
}
VideoReader::~VideoReader() = default;

Status VideoReader::open(const std::string& path) {
    Impl& d = *impl_;
    d.path = path;
    d.format = avformat_alloc_context();
    if (!d.format) return fail("cannot open video \"" + path + "\": out of memory");
    d.format->interrupt_callback.callback = askStop;
    d.format->interrupt_callback.opaque = reinterpret_cast<void*>(d.stopRequested);
    // On failure avformat_open_input frees the context and clears the pointer.
    if (int e = avformat_open_input(&d.format, path.c_str(), nullptr, nullptr); e < 0) {
        if (e == AVERROR_EXIT) return fail("interrupted");
        return fail("cannot open video \"" + path + "\": " + avError(e));
    }
    if (int e = avformat_find_stream_info(d.format, nullptr); e < 0) {
        if (e == AVERROR_EXIT) return fail("interrupted");
        return fail("cannot read video \"" + path + "\": " + avError(e));
    }
    const AVCodec* decoder = nullptr;
    d.stream = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    // A cover picture stored with sound is not the video.
    auto isCover = [&](int i) {
        return (d.format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
    };
    if (d.stream >= 0 && isCover(d.stream)) {
        d.stream = -1;
        for (unsigned i = 0; i < d.format->nb_streams; ++i) {
            const AVCodecParameters* p = d.format->streams[i]->codecpar;
            if (p->codec_type == AVMEDIA_TYPE_VIDEO && !isCover(static_cast<int>(i))) {
                d.stream = static_cast<int>(i);
                decoder = avcodec_find_decoder(p->codec_id);
                break;
            }
        }
        if (d.stream < 0) {
            return fail("\"" + path +
                        "\" has no video, only a cover picture stored with its sound");
        }
    }
    if (d.stream < 0 || !decoder)
        return fail("\"" + path + "\" has no video stream that can be decoded");
    d.codec = avcodec_alloc_context3(decoder);
    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (!d.codec || !d.packet || !d.frame)
        return fail("cannot decode \"" + path + "\": out of memory");
    if (int e = avcodec_parameters_to_context(d.codec, d.video()->codecpar); e < 0) {
        return fail("cannot decode \"" + path + "\": " + avError(e));
    }
    d.codec->thread_count = 0;  // as many as the machine has
    d.codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (int e = avcodec_open2(d.codec, decoder, nullptr); e < 0) {
        return fail("cannot decode \"" + path + "\": " + avError(e));
    }
    return Done{};
}

double VideoReader::declaredDuration() const {
    const Impl& d = *impl_;
    const AVStream* s = d.video();
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0) return s->duration * av_q2d(s->time_base);
    if (d.format->duration != AV_NOPTS_VALUE && d.format->duration > 0) {
        return static_cast<double>(d.format->duration) / AV_TIME_BASE;
    }
    return -1;
}

double VideoReader::displayAspect() const {
    const AVCodecParameters* p = impl_->video()->codecpar;
    AVRational sar = av_guess_sample_aspect_ratio(impl_->format, impl_->video(), nullptr);
    if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
    if (p->height <= 0) return 2.0;
    return static_cast<double>(p->width) * sar.num / (static_cast<double>(p->height) * sar.den);
}

int VideoReader::quarterTurns() const {
    const AVStream* s = impl_->video();
    const std::uint8_t* matrix = nullptr;
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 31, 100)
    const AVPacketSideData* side = av_packet_side_data_get(
        s->codecpar->coded_side_data, s->codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    if (side) matrix = side->data;
#else
    matrix = av_stream_get_side_data(s, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
#endif
    if (!matrix) return 0;
    // The matrix turns counterclockwise; upright takes the opposite turn.
    const double turn = -av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (!std::isfinite(turn)) return 0;
    const long quarters = std::lround(turn / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4);
}

bool VideoReader::stillPicture() const {
    // One picture, read by an image reader (image2, png_pipe, jpeg_pipe...).
    const std::string reader = impl_->format->iformat->name;
    return reader == "image2" ||
           (reader.size() > 5 && reader.compare(reader.size() - 5, 5, "_pipe") == 0);
}

void VideoReader::seekBefore(double seconds) {
    Impl& d = *impl_;
    const AVStream* s = d.video();
    const auto target =
        static_cast<std::int64_t>((seconds + d.startSeconds()) / av_q2d(s->time_base));
    if (av_seek_frame(d.format, d.stream, target, AVSEEK_FLAG_BACKWARD) >= 0) {
        avcodec_flush_buffers(d.codec);
    }
}

Result<bool> VideoReader::next() {
    Impl& d = *impl_;
    for (;;) {
        const int got = avcodec_receive_frame(d.codec, d.frame);
        if (got == 0) {
            const AVStream* s = d.video();
            const std::int64_t pts = d.frame->best_effort_timestamp != AV_NOPTS_VALUE
                                         ? d.frame->best_effort_timestamp
                                         : 0;
            d.time = pts * av_q2d(s->time_base) - d.startSeconds();
            const AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
            const std::int64_t packetDuration = d.durations.find(d.frame->pts);
            d.duration = packetDuration > 0 ? packetDuration * av_q2d(s->time_base)
                         : rate.num > 0     ? av_q2d(av_inv_q(rate))
                                            : 0.04;
            return true;
        }
        if (got == AVERROR_EOF) return false;
        if (got != AVERROR(EAGAIN)) return d.damaged(got);
        if (d.draining) return false;
        if (d.stopped()) return fail("interrupted");
        const int read = av_read_frame(d.format, d.packet);
        if (read == AVERROR_EOF) {
            d.draining = true;
            if (int e = avcodec_send_packet(d.codec, nullptr); e < 0 && e != AVERROR_EOF) {
                return d.damaged(e);
            }
            continue;
        }
        if (read < 0) return d.damaged(read);
        if (d.packet->stream_index == d.stream && (d.packet->flags & AV_PKT_FLAG_CORRUPT)) {
            av_packet_unref(d.packet);
            return fail("\"" + d.path + "\" is damaged or cut short (a frame is incomplete)");
        }
        if (d.packet->stream_index == d.stream) {
            d.durations.note(d.packet->pts, d.packet->duration);
            const int sent = avcodec_send_packet(d.codec, d.packet);
            if (sent < 0 && sent != AVERROR(EAGAIN)) {
                av_packet_unref(d.packet);
                return d.damaged(sent);
            }
        }
        av_packet_unref(d.packet);
    }
}

double VideoReader::frameTime() const { return impl_->time; }
double VideoReader::frameDuration() const { return impl_->duration; }

Status VideoReader::scale(int width, int height, std::vector<std::uint8_t>& bgra) {
    Impl& d = *impl_;
    const AVFrame* f = d.frame;
    d.sws =
        sws_getCachedContext(d.sws, f->width, f->height, static_cast<AVPixelFormat>(f->format),
                             width, height, AV_PIX_FMT_BGRA, SWS_AREA, nullptr, nullptr, nullptr);
    if (!d.sws) return fail("cannot scale the frames of \"" + d.path + "\"");
    bgra.resize(static_cast<std::size_t>(width) * height * 4);
    std::uint8_t* planes[4] = {bgra.data(), nullptr, nullptr, nullptr};
    int strides[4] = {width * 4, 0, 0, 0};
    if (sws_scale(d.sws, f->data, f->linesize, 0, f->height, planes, strides) != height) {
        return fail("cannot scale the frames of \"" + d.path + "\"");
    }
    return Done{};
}

}  // namespace orv::cli
