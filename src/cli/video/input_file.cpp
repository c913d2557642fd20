#include "cli/video/input_file.h"

#include <string_view>

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/display.h>
}

#include "cli/video/stream_clock.h"
#include "common/text.h"

namespace orv::cli::video {
namespace {

// The FFmpeg interrupt check: `opaque` is the input's StopQuestion.
extern "C" int askStop(void* opaque) {
    return (*static_cast<const StopQuestion*>(opaque))() ? 1 : 0;
}

}  // namespace

Status InputFile::open(const std::string& path) {
    name_ = path == "-" ? "standard input" : quotedName(path);
    AVFormatContext* format = avformat_alloc_context();
    if (!format) return fail("cannot open video " + name_ + ": out of memory");
    format->interrupt_callback.callback = askStop;
    format->interrupt_callback.opaque = &stop_;
    // On failure avformat_open_input frees the context and clears the pointer.
    const int opened =
        avformat_open_input(&format, path == "-" ? "pipe:0" : path.c_str(), nullptr, nullptr);
    format_.reset(format);
    if (opened < 0) {
        if (opened == AVERROR_EXIT) return fail("interrupted");
        return fail("cannot open video " + name_ + ": " + avError(opened));
    }
    if (int e = avformat_find_stream_info(format_.get(), nullptr); e < 0) {
        if (e == AVERROR_EXIT) return fail("interrupted");
        return fail("cannot read video " + name_ + ": " + avError(e));
    }
    // One picture, read by an image reader (png_pipe, jpeg_pipe, image2...).
    // A numbered sequence (clip/%03d.png) is image2 too, and a video: its
    // stream lasts a frame a file, at 25 frames a second unless it says.
    const std::string reader = format_->iformat->name;
    still_ = reader.ends_with("_pipe");
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    // A cover picture stored with sound is not the video.
    auto isCover = [&](int i) {
        return (format_->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
    };
    if (stream_ >= 0 && isCover(stream_)) {
        stream_ = -1;
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            const AVCodecParameters* p = format_->streams[i]->codecpar;
            if (p->codec_type == AVMEDIA_TYPE_VIDEO && !isCover(static_cast<int>(i))) {
                stream_ = static_cast<int>(i);
                decoder = avcodec_find_decoder(p->codec_id);
                break;
            }
        }
        if (stream_ < 0) {
            return fail(name_ + " has no video, only a cover picture stored with its sound");
        }
    }
    if (stream_ < 0 || !decoder) return fail(name_ + " has no video stream that can be decoded");
    codec_ = decoder;
    if (reader == "image2") {
        const std::int64_t frames = format_->streams[stream_]->duration;
        still_ = frames == AV_NOPTS_VALUE || frames <= 1;
    }
    return Done{};
}

double InputFile::declaredDuration() const {
    const AVStream* s = stream();
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0) return s->duration * av_q2d(s->time_base);
    if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
        return static_cast<double>(format_->duration) / AV_TIME_BASE;
    }
    return -1;
}

bool InputFile::endsInsideAPacket() const {
    if (!format_->iformat || std::string_view(format_->iformat->name) != "mpegts") return false;
    if (!format_->pb || (format_->pb->seekable & AVIO_SEEKABLE_NORMAL) == 0) return false;
    const std::int64_t size = avio_size(format_->pb);
    // Packets of 188 bytes, or 192 and 204 with a time code or check bytes.
    return size > 0 && size % 188 != 0 && size % 192 != 0 && size % 204 != 0;
}

double InputFile::displayAspect() const {
    const AVCodecParameters* p = stream()->codecpar;
    AVRational sar = av_guess_sample_aspect_ratio(format_.get(), stream(), nullptr);
    if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
    if (p->height <= 0) return 2.0;
    return static_cast<double>(p->width) * sar.num / (static_cast<double>(p->height) * sar.den);
}

int InputFile::quarterTurns() const {
    const AVStream* s = stream();
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

std::int64_t InputFile::containerStart() const {
    // A format whose times may jump (a transport stream) starts, as ffmpeg
    // reads it, where the streams read from it start: here the video alone.
    const AVStream* s = stream();
    if ((format_->iformat->flags & AVFMT_TS_DISCONT) && s->start_time != AV_NOPTS_VALUE) {
        return s->start_time;
    }
    if (format_->start_time == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
    return av_rescale_q(format_->start_time, AV_TIME_BASE_Q, s->time_base);
}

bool InputFile::seekBefore(double seconds, const StreamClock& clock) {
    const auto at = [&](double t) { return clock.at(std::max(t, 0.0)); };
    const std::int64_t wanted = at(seconds);
    // A seek by timestamps alone (a transport stream) lands wherever a packet
    // has an earlier time, often between key frames, and the frames up to the
    // next key frame cannot be decoded. Step further back until reading starts
    // at a key frame at or before the wanted time; the start always does.
    for (double earlier = 0; earlier < seconds; earlier = earlier == 0 ? 1 : 2 * earlier) {
        const std::int64_t to = at(seconds - earlier);
        if (av_seek_frame(format_.get(), stream_, to, AVSEEK_FLAG_BACKWARD) < 0) continue;
        if (!firstPictureStandsAloneBy(wanted)) continue;
        // Back to the same place: the look read past it.
        if (av_seek_frame(format_.get(), stream_, to, AVSEEK_FLAG_BACKWARD) >= 0) return true;
        break;
    }
    // From the start: the first byte where the format can say, else its first
    // time; where neither works (a pipe), on from where it is.
    const bool byBytes = !(format_->iformat->flags & AVFMT_NO_BYTE_SEEK) &&
                         avformat_seek_file(format_.get(), -1, 0, 0, 0, AVSEEK_FLAG_BYTE) >= 0;
    return byBytes || av_seek_frame(format_.get(), stream_, at(0), AVSEEK_FLAG_BACKWARD) >= 0;
}

bool InputFile::firstPictureStandsAloneBy(std::int64_t pts) {
    PacketPtr p(av_packet_alloc());
    bool good = false;
    for (int i = 0; p && i < 4096 && av_read_frame(format_.get(), p.get()) >= 0; ++i) {
        const bool picture = p->stream_index == stream_;
        const std::int64_t t = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        good = picture && (p->flags & AV_PKT_FLAG_KEY) && t != AV_NOPTS_VALUE && t <= pts;
        av_packet_unref(p.get());
        if (picture) break;
    }
    return good;
}

}  // namespace orv::cli::video
