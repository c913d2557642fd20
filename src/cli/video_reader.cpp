#include "cli/video_reader.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include "cli/video/av_handles.h"
#include "cli/video/decoder.h"
#include "cli/video/frame_scaler.h"
#include "cli/video/frame_skipping.h"
#include "cli/video/h264_units.h"
#include "common/text.h"

namespace orv::cli {
namespace {

using video::avError;
using video::FramePtr;
using video::InputPtr;
using video::PacketPtr;

// Whether the user asked to stop: the caller's question, asked by the reader
// while it waits and by FFmpeg's interrupt check.
struct StopQuestion {
    bool (*asked)() = nullptr;  // the caller's question, or none: never stop
    bool operator()() const { return asked && asked(); }
};

// The FFmpeg interrupt check: `opaque` is the reader's StopQuestion.
extern "C" int askStop(void* opaque) {
    return (*static_cast<const StopQuestion*>(opaque))() ? 1 : 0;
}

// Packets read ahead of the one sent, so that the frame after it is known.
constexpr std::size_t kReadAhead = 4;
// Packets kept from the start until the first frame comes out, to send again
// at full size should the codec refuse to decode them small.
constexpr std::size_t kKeptForRetry = 64;

}  // namespace

struct VideoReader::Impl {
    StopQuestion stopped;
    std::string name;  // the input as messages name it
    InputPtr format;
    const AVCodec* codecType = nullptr;
    std::unique_ptr<video::Decoder> decoder;
    video::DecodeShape shape;  // how the decoder decodes, chosen as it starts
    bool still = false;        // one picture (PNG, JPEG, BMP...), not a video
    int h264Lengths = -1;      // H.264: the size of its NAL lengths, 0 for start codes
    PacketPtr packet;
    FramePtr frame;
    video::FrameScaler scaler;
    int stream = -1;
    int wantWidth = 0, wantHeight = 0;
    video::FrameSkipper skipper;  // which frames no tick takes

    std::deque<PacketPtr> ahead;  // read, not yet sent
    std::vector<PacketPtr> sentBeforeFirst;
    bool keptAllSent = true;
    int readError = 0;  // the read failure to report once the packets before it are decoded
    bool inputEnded = false;
    bool draining = false;
    // A decoded frame held back while untaken frames before it are told.
    FramePtr waiting;
    bool hasWaiting = false;

    double time = 0;
    double duration = 0;
    bool pictured = false;
    // For --verbose: frames decoded, those of them that no tick takes, frames
    // left out, and those of them that the decoder never saw.
    std::uint64_t decoded = 0, passedOver = 0, leftOut = 0, neverSent = 0;

    ~Impl() {
        if (decoder) {
            av_log(nullptr, AV_LOG_INFO,
                   "video: %llu frames decoded, %llu of them taken by no tick, %llu left out, "
                   "%llu of them never sent; at 1/%d size%s on %s\n",
                   static_cast<unsigned long long>(decoded),
                   static_cast<unsigned long long>(passedOver),
                   static_cast<unsigned long long>(leftOut),
                   static_cast<unsigned long long>(neverSent), 1 << shape.lowres,
                   shape.roughEdges ? " without the loop filter" : "", decoder->threads().c_str());
        }
        decoder.reset();
        clearPackets();
    }
    void clearPackets() {
        ahead.clear();
        sentBeforeFirst.clear();
    }
    AVStream* video() const { return format->streams[stream]; }
    video::StreamClock clock() const { return video::StreamClock(video()); }
    // Decoding starts afresh from wherever the input was put.
    void resetAfterSeek() {
        if (decoder) decoder->flush();
        clearPackets();
        skipper.restart();
        av_frame_unref(waiting.get());
        hasWaiting = false;
        inputEnded = draining = false;
        readError = 0;
        keptAllSent = true;
    }
    // Whether the next picture read is a key frame shown at or before `pts`.
    bool firstPictureStandsAloneBy(std::int64_t pts) {
        PacketPtr p(av_packet_alloc());
        bool good = false;
        for (int i = 0; p && i < 4096 && av_read_frame(format.get(), p.get()) >= 0; ++i) {
            const bool picture = p->stream_index == stream;
            const std::int64_t t = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
            good = picture && (p->flags & AV_PKT_FLAG_KEY) && t != AV_NOPTS_VALUE && t <= pts;
            av_packet_unref(p.get());
            if (picture) break;
        }
        return good;
    }
    Failure damaged(int code) const {
        if (code == AVERROR_EXIT || stopped()) return fail("interrupted");
        return fail("cannot decode " + name + ": " + avError(code));
    }

    Status startDecoding();
    Status feed();
    bool tellUntakenBefore(std::int64_t pts);
    Result<bool> show();
    bool retryFullSize(int error);
};

Status VideoReader::Impl::startDecoding() {
    const AVCodecParameters* p = video()->codecpar;
    shape = video::chooseShape(codecType, p, wantWidth, wantHeight);
    if (p->codec_id == AV_CODEC_ID_H264) {
        h264Lengths = video::h264LengthSize(p->extradata, p->extradata_size);
    }
    int error = 0;
    decoder = video::openDecoder(codecType, video(), shape, still, error);
    if (!decoder) return fail("cannot decode " + name + ": " + avError(error));
    return Done{};
}

// Reads packets ahead and sends the decoder the next one, or the end of the
// stream once all are sent.
Status VideoReader::Impl::feed() {
    while (!inputEnded && ahead.size() <= kReadAhead) {
        if (stopped()) return fail("interrupted");
        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            inputEnded = true;
            if (read != AVERROR_EOF) readError = read;
            break;
        }
        if (packet->stream_index != stream) {
            av_packet_unref(packet.get());
            continue;
        }
        skipper.noteRead(packet->pts, packet->duration);
        PacketPtr kept(av_packet_alloc());
        if (!kept) {
            av_packet_unref(packet.get());
            return fail("cannot decode " + name + ": out of memory");
        }
        av_packet_move_ref(kept.get(), packet.get());
        ahead.push_back(std::move(kept));
    }
    if (ahead.empty()) {
        if (readError < 0) return damaged(readError);
        draining = true;
        if (int e = decoder->send(nullptr, false); e < 0 && e != AVERROR_EOF) return damaged(e);
        return Done{};
    }
    const AVPacket* p = ahead.front().get();
    if (p->flags & AV_PKT_FLAG_CORRUPT) {
        return fail(name + " is damaged or cut short (a frame is incomplete)");
    }
    // The last packet is always decoded: a stream cut short shows there.
    const bool untakenFrame =
        skipper.noTickTakes(p->pts, clock()) && !(inputEnded && ahead.size() == 1);
    // An untaken frame that no other frame refers to need not be sent at
    // all; one that may be referred to goes to the decoder, which decodes
    // it only if it is.
    const bool leftOut =
        untakenFrame &&
        (shape.intraOnly ||
         (h264Lengths >= 0 && video::unreferencedH264(p->data, p->size, h264Lengths)));
    if (!leftOut) {
        const int sent = decoder->send(p, untakenFrame);
        if (sent == AVERROR(EAGAIN)) return Done{};  // frames to take first; the packet waits
        if (sent < 0) {
            if (retryFullSize(sent)) return Done{};
            return damaged(sent);
        }
    }
    if (untakenFrame) skipper.noteUntaken(p->pts, p->duration);
    if (leftOut) ++neverSent;
    PacketPtr done = std::move(ahead.front());
    ahead.pop_front();
    if (!skipper.anyTold() && shape.lowres > 0) {
        if (sentBeforeFirst.size() < kKeptForRetry) {
            sentBeforeFirst.push_back(std::move(done));
        } else {
            keptAllSent = false;
        }
    }
    return Done{};
}

// Tells the first untaken frame if it comes before `pts`: true when told.
bool VideoReader::Impl::tellUntakenBefore(std::int64_t pts) {
    const std::optional<video::UntakenFrame> untaken = skipper.untakenBefore(pts);
    if (!untaken) return false;
    time = clock().seconds(untaken->pts);
    duration = clock().durationSeconds(untaken->duration);
    pictured = false;
    ++leftOut;
    return true;
}

// Tells the decoded frame; a frame with damage at the end of the input
// (the stream was cut short) fails.
Result<bool> VideoReader::Impl::show() {
    const std::int64_t pts =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : 0;
    const video::DecodedFrame told = skipper.decoded(frame->pts, frame->best_effort_timestamp);
    time = clock().seconds(pts);
    duration = clock().durationSeconds(told.packetDuration);
    pictured = told.pictured;
    ++decoded;
    if (!pictured) ++passedOver;
    sentBeforeFirst.clear();
    if (inputEnded && (frame->decode_error_flags || (frame->flags & AV_FRAME_FLAG_CORRUPT))) {
        return fail(name + " is damaged or cut short (its last frame is incomplete)");
    }
    return true;
}

// A codec that refuses to decode small what it decodes at full size (lossless
// JPEG, or MJPEG with unusual chroma subsampling) gets everything sent so far
// again at full size; only before the first frame, and once.
bool VideoReader::Impl::retryFullSize(int error) {
    if (shape.lowres == 0 || skipper.anyTold() || !keptAllSent || error == AVERROR_EXIT ||
        stopped()) {
        return false;
    }
    wantWidth = wantHeight = 0;
    decoder.reset();
    if (!startDecoding()) return false;
    for (auto p = sentBeforeFirst.rbegin(); p != sentBeforeFirst.rend(); ++p) {
        ahead.push_front(std::move(*p));
    }
    sentBeforeFirst.clear();
    draining = false;
    return true;
}

VideoReader::VideoReader(bool (*stopRequested)()) : impl_(std::make_unique<Impl>()) {
    impl_->stopped.asked = stopRequested;
}
VideoReader::~VideoReader() = default;

Status VideoReader::open(const std::string& path) {
    Impl& d = *impl_;
    d.name = path == "-" ? "standard input" : quotedName(path);
    AVFormatContext* format = avformat_alloc_context();
    if (!format) return fail("cannot open video " + d.name + ": out of memory");
    format->interrupt_callback.callback = askStop;
    format->interrupt_callback.opaque = &d.stopped;
    // On failure avformat_open_input frees the context and clears the pointer.
    const int opened =
        avformat_open_input(&format, path == "-" ? "pipe:0" : path.c_str(), nullptr, nullptr);
    d.format.reset(format);
    if (opened < 0) {
        if (opened == AVERROR_EXIT) return fail("interrupted");
        return fail("cannot open video " + d.name + ": " + avError(opened));
    }
    if (int e = avformat_find_stream_info(d.format.get(), nullptr); e < 0) {
        if (e == AVERROR_EXIT) return fail("interrupted");
        return fail("cannot read video " + d.name + ": " + avError(e));
    }
    // One picture, read by an image reader (image2, png_pipe, jpeg_pipe...).
    const std::string reader = d.format->iformat->name;
    d.still = reader == "image2" || reader.ends_with("_pipe");
    const AVCodec* decoder = nullptr;
    d.stream = av_find_best_stream(d.format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
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
            return fail(d.name + " has no video, only a cover picture stored with its sound");
        }
    }
    if (d.stream < 0 || !decoder) return fail(d.name + " has no video stream that can be decoded");
    d.codecType = decoder;
    d.packet.reset(av_packet_alloc());
    d.frame.reset(av_frame_alloc());
    d.waiting.reset(av_frame_alloc());
    if (!d.packet || !d.frame || !d.waiting)
        return fail("cannot decode " + d.name + ": out of memory");
    return Done{};
}

void VideoReader::preferSize(int width, int height) {
    impl_->wantWidth = width;
    impl_->wantHeight = height;
}

void VideoReader::planTicks(double start, double end, int fps) {
    impl_->skipper.planTicks(start, end, fps);
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
    AVRational sar = av_guess_sample_aspect_ratio(impl_->format.get(), impl_->video(), nullptr);
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

bool VideoReader::stillPicture() const { return impl_->still; }

void VideoReader::seekBefore(double seconds) {
    Impl& d = *impl_;
    const AVStream* s = d.video();
    const double base = av_q2d(s->time_base);
    const auto at = [&](double t) {
        return static_cast<std::int64_t>((std::max(t, 0.0) + d.clock().startSeconds()) / base);
    };
    const std::int64_t wanted = at(seconds);
    // A seek by timestamps alone (a transport stream) lands wherever a packet
    // has an earlier time, often between key frames, and the frames up to the
    // next key frame cannot be decoded. Step further back until reading starts
    // at a key frame at or before the wanted time; the start always does.
    for (double earlier = 0; earlier < seconds; earlier = earlier == 0 ? 1 : 2 * earlier) {
        const std::int64_t to = at(seconds - earlier);
        if (av_seek_frame(d.format.get(), d.stream, to, AVSEEK_FLAG_BACKWARD) < 0) continue;
        if (!d.firstPictureStandsAloneBy(wanted)) continue;
        // Back to the same place: the look read past it.
        if (av_seek_frame(d.format.get(), d.stream, to, AVSEEK_FLAG_BACKWARD) < 0) break;
        d.resetAfterSeek();
        return;
    }
    // From the start: the first byte where the format can say, else its first
    // time; where neither works (a pipe), on from where it is.
    const bool byBytes = !(d.format->iformat->flags & AVFMT_NO_BYTE_SEEK) &&
                         avformat_seek_file(d.format.get(), -1, 0, 0, 0, AVSEEK_FLAG_BYTE) >= 0;
    if (byBytes || av_seek_frame(d.format.get(), d.stream, at(0), AVSEEK_FLAG_BACKWARD) >= 0) {
        d.resetAfterSeek();
    }
}

Result<bool> VideoReader::next() {
    Impl& d = *impl_;
    if (!d.decoder) {
        if (Status started = d.startDecoding(); !started) return fail(started.error());
    }
    for (;;) {
        if (d.hasWaiting) {
            if (d.tellUntakenBefore(d.waiting->pts)) return true;
            av_frame_unref(d.frame.get());
            av_frame_move_ref(d.frame.get(), d.waiting.get());
            d.hasWaiting = false;
            return d.show();
        }
        const int got = d.decoder->receive(d.frame.get());
        if (got == 0) {
            // Untaken frames left out before this one come first.
            if (d.frame->pts != AV_NOPTS_VALUE && d.tellUntakenBefore(d.frame->pts)) {
                av_frame_move_ref(d.waiting.get(), d.frame.get());
                d.hasWaiting = true;
                return true;
            }
            return d.show();
        }
        if (got == AVERROR_EOF || (got == AVERROR(EAGAIN) && d.draining)) {
            return d.tellUntakenBefore(std::numeric_limits<std::int64_t>::max());
        }
        if (got != AVERROR(EAGAIN)) {
            if (d.retryFullSize(got)) continue;
            return d.damaged(got);
        }
        if (Status fed = d.feed(); !fed) return fail(fed.error());
    }
}

bool VideoReader::hasPicture() const { return impl_->pictured; }

double VideoReader::frameTime() const { return impl_->time; }
double VideoReader::frameDuration() const { return impl_->duration; }

Status VideoReader::scale(int width, int height, std::vector<std::uint8_t>& bgra) {
    Impl& d = *impl_;
    if (!d.scaler.scale(*d.frame, width, height, bgra)) {
        return fail("cannot scale the frames of " + d.name);
    }
    return Done{};
}

}  // namespace orv::cli
