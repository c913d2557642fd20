#include "cli/video_reader.h"

#include <deque>
#include <limits>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "cli/video/av_handles.h"
#include "cli/video/decoder.h"
#include "cli/video/frame_scaler.h"
#include "cli/video/frame_skipping.h"
#include "cli/video/h264_units.h"
#include "cli/video/input_file.h"
#include "cli/video/stream_clock.h"

namespace orv::cli {
namespace {

using video::avError;
using video::FramePtr;
using video::PacketPtr;

// Packets read ahead of the one sent, so that the frame after it is known.
constexpr std::size_t kReadAhead = 4;
// Packets kept from the start until the first frame comes out, to send again
// at full size should the codec refuse to decode them small.
constexpr std::size_t kKeptForRetry = 64;

// The size the frames are only ever scaled down to, which lets the codec
// decode small; 0 x 0 where it is not known.
struct WantedSize {
    int width = 0;   // in pixels
    int height = 0;  // in pixels
};

// The packets between the input and the decoder.
struct PendingPackets {
    std::deque<PacketPtr> ahead;             // read, not yet sent
    std::vector<PacketPtr> sentBeforeFirst;  // sent before the first frame, kept for a retry
    bool keptAllSent = true;                 // sentBeforeFirst holds every packet sent so far
    // Drops every packet read and kept.
    void clear() {
        ahead.clear();
        sentBeforeFirst.clear();
    }
};

// How far the input and the decoder are towards the stream's end.
struct StreamEnd {
    bool inputEnded = false;    // the input has no packet left to read
    unsigned errorsBefore = 0;  // errors the decoder had reported by then
    int readError = 0;          // the read failure to report once the packets before it are decoded
    bool draining = false;      // the decoder was told that no packet follows
};

// A decoded frame held back while untaken frames before it are told.
struct HeldFrame {
    FramePtr frame;     // the frame, allocated once, holding a picture while held
    bool held = false;  // whether it holds one
};

// The frame next() told last.
struct ToldFrame {
    double time = 0;        // seconds from the stream's start
    double duration = 0;    // how long it is shown, in seconds
    bool pictured = false;  // whether it has a picture to scale
};

// For --verbose: what became of the frames.
struct FrameCounts {
    std::uint64_t decoded = 0;     // frames decoded
    std::uint64_t passedOver = 0;  // of them, those that no tick takes
    std::uint64_t leftOut = 0;     // frames left out: told without being decoded
    std::uint64_t neverSent = 0;   // of them, those that the decoder never saw
};

}  // namespace

// The reader's state: the input, the decoder and the frames between them.
struct VideoReader::Impl {
    explicit Impl(bool (*stopRequested)()) : input(stopRequested) {}
    // Says for --verbose what became of the frames and how they were decoded.
    ~Impl() {
        if (decoder) {
            av_log(nullptr, AV_LOG_INFO,
                   "video: %llu frames decoded, %llu of them taken by no tick, %llu left out, "
                   "%llu of them never sent; at 1/%d size%s on %s\n",
                   static_cast<unsigned long long>(counts.decoded),
                   static_cast<unsigned long long>(counts.passedOver),
                   static_cast<unsigned long long>(counts.leftOut),
                   static_cast<unsigned long long>(counts.neverSent), 1 << shape.lowres,
                   shape.roughEdges ? " without the loop filter" : "", decoder->threads().c_str());
        }
    }

    video::InputFile input;    // the input and its video stream
    WantedSize want;           // how small the codec may decode
    video::DecodeShape shape;  // how the decoder decodes, chosen as it starts
    int h264Lengths = -1;      // H.264: the size of its NAL lengths, 0 for start codes
    std::unique_ptr<video::Decoder> decoder;  // from the first next() on
    PacketPtr packet;                         // the packet being read
    PendingPackets packets;                   // read and not yet sent, or kept for a retry
    StreamEnd end;                            // how far towards the stream's end
    video::FrameSkipper skipper;              // which frames no tick takes
    FramePtr frame;                           // the frame told last, when it has a picture
    HeldFrame waiting;                        // a decoded frame that untaken ones come before
    ToldFrame told;                           // the time and kind of the frame told last
    FrameCounts counts;                       // for --verbose
    video::FrameScaler scaler;                // scales the frames told with a picture
    // The first frame's time, from which every time counts, once known.
    std::int64_t origin = AV_NOPTS_VALUE;
    // The capture clock's rate, and where the first frame stands from its
    // nearest tick on the container's timeline (see StreamClock).
    int tickRate = 0;
    double phase = 0;
    // What next() told of the first frame, to tell again where a seek to
    // find that frame's time could not go back.
    std::optional<Next<>> tellAgain;

    // The video stream's times in seconds from its first frame.
    video::StreamClock clock() const { return video::StreamClock(input.stream(), origin, phase); }
    // Decoding starts afresh from wherever the input was put.
    void resetAfterSeek() {
        if (decoder) decoder->flush();
        packets.clear();
        skipper.restart();
        av_frame_unref(waiting.frame.get());
        waiting.held = false;
        end = StreamEnd{};
        packets.keptAllSent = true;
    }
    // The failure for a decoding error: interrupted, or the stream is damaged.
    Failure damaged(int code) const {
        if (code == AVERROR_EXIT || input.stopped()) return fail("interrupted");
        return fail("cannot decode " + input.name() + ": " + avError(code));
    }

    // Opens the decoder in the shape the wanted size allows.
    Status startDecoding();
    // Reads packets ahead and sends the decoder the next one.
    Status feed();
    // Tells the first untaken frame if it comes before `pts`.
    bool tellUntakenBefore(std::int64_t pts);
    // Tells the decoded frame.
    Next<> show();
    // Starts again at full size where the codec refuses to decode small.
    bool retryFullSize(int error);
};

Status VideoReader::Impl::startDecoding() {
    const AVCodecParameters* p = input.stream()->codecpar;
    shape = video::chooseShape(input.codec(), p, want.width, want.height);
    if (p->codec_id == AV_CODEC_ID_H264) {
        h264Lengths = video::h264LengthSize(p->extradata, p->extradata_size);
    }
    int error = 0;
    decoder = video::openDecoder(input.codec(), input.stream(), shape, input.still(), error);
    if (!decoder) return fail("cannot decode " + input.name() + ": " + avError(error));
    return Done{};
}

// Reads packets ahead and sends the decoder the next one, or the end of the
// stream once all are sent.
Status VideoReader::Impl::feed() {
    std::deque<PacketPtr>& ahead = packets.ahead;
    while (!end.inputEnded && ahead.size() <= kReadAhead) {
        if (input.stopped()) return fail("interrupted");
        const int read = av_read_frame(input.format(), packet.get());
        if (read < 0) {
            end.inputEnded = true;
            end.errorsBefore = video::decoderErrorsSoFar();
            if (read != AVERROR_EOF) end.readError = read;
            break;
        }
        if (packet->stream_index != input.streamIndex()) {
            av_packet_unref(packet.get());
            continue;
        }
        skipper.noteRead(packet->pts, packet->duration);
        PacketPtr kept(av_packet_alloc());
        if (!kept) {
            av_packet_unref(packet.get());
            return fail("cannot decode " + input.name() + ": out of memory");
        }
        av_packet_move_ref(kept.get(), packet.get());
        ahead.push_back(std::move(kept));
    }
    if (ahead.empty()) {
        if (end.readError < 0) return damaged(end.readError);
        end.draining = true;
        if (int e = decoder->send(nullptr, false); e < 0 && e != AVERROR_EOF) return damaged(e);
        return Done{};
    }
    const AVPacket* p = ahead.front().get();
    if (p->flags & AV_PKT_FLAG_CORRUPT) {
        return fail(input.name() + " is damaged or cut short (a frame is incomplete)");
    }
    // The last packet is always decoded: a stream cut short shows there.
    const bool untakenFrame =
        skipper.noTickTakes(p->pts, clock()) && !(end.inputEnded && ahead.size() == 1);
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
    if (leftOut) ++counts.neverSent;
    PacketPtr done = std::move(ahead.front());
    ahead.pop_front();
    if (!skipper.anyTold() && shape.lowres > 0) {
        if (packets.sentBeforeFirst.size() < kKeptForRetry) {
            packets.sentBeforeFirst.push_back(std::move(done));
        } else {
            packets.keptAllSent = false;
        }
    }
    return Done{};
}

// Tells the first untaken frame if it comes before `pts`: true when told.
bool VideoReader::Impl::tellUntakenBefore(std::int64_t pts) {
    const std::optional<video::UntakenFrame> untaken = skipper.untakenBefore(pts);
    if (!untaken) return false;
    told.time = clock().seconds(untaken->pts);
    told.duration = clock().durationSeconds(untaken->duration);
    told.pictured = false;
    ++counts.leftOut;
    return true;
}

// Tells the decoded frame; a frame with damage at the end of the input
// (the stream was cut short) fails. A frame without a time (the last ones of
// an AVI file with B-frames) follows the frame before it.
Next<> VideoReader::Impl::show() {
    const std::int64_t pts = frame->best_effort_timestamp;
    const bool first = counts.decoded + counts.leftOut == 0;
    if (first) {
        origin = pts;
        // The ticks fall on the container's timeline, as ffmpeg's fps filter
        // sees it: from the container's start, which its sound may set.
        const std::int64_t start = input.containerStart();
        if (tickRate > 0 && pts != AV_NOPTS_VALUE && start != AV_NOPTS_VALUE) {
            const double seconds =
                static_cast<double>(pts - start) * av_q2d(input.stream()->time_base);
            phase = video::tickPhase(seconds, tickRate);
        }
    }
    const video::DecodedFrame decoded = skipper.decoded(frame->pts, pts);
    told.time = pts != AV_NOPTS_VALUE ? clock().seconds(pts)
                : first               ? 0.0
                                      : told.time + told.duration;
    told.duration = clock().durationSeconds(decoded.packetDuration);
    told.pictured = decoded.pictured;
    ++counts.decoded;
    if (!told.pictured) ++counts.passedOver;
    packets.sentBeforeFirst.clear();
    if (end.inputEnded && (frame->decode_error_flags || (frame->flags & AV_FRAME_FLAG_CORRUPT))) {
        return fail(input.name() + " is damaged or cut short (its last frame is incomplete)");
    }
    return Done{};
}

// A codec that refuses to decode small what it decodes at full size (lossless
// JPEG, or MJPEG with unusual chroma subsampling) gets everything sent so far
// again at full size; only before the first frame, and once.
bool VideoReader::Impl::retryFullSize(int error) {
    if (shape.lowres == 0 || skipper.anyTold() || !packets.keptAllSent || error == AVERROR_EXIT ||
        input.stopped()) {
        return false;
    }
    want = WantedSize{};
    decoder.reset();
    if (!startDecoding()) return false;
    std::vector<PacketPtr>& kept = packets.sentBeforeFirst;
    for (auto p = kept.rbegin(); p != kept.rend(); ++p) packets.ahead.push_front(std::move(*p));
    kept.clear();
    end.draining = false;
    return true;
}

VideoReader::VideoReader(bool (*stopRequested)()) : impl_(std::make_unique<Impl>(stopRequested)) {}
VideoReader::~VideoReader() = default;

Status VideoReader::open(const std::string& path) {
    Impl& d = *impl_;
    if (Status opened = d.input.open(path); !opened) return opened;
    d.packet.reset(av_packet_alloc());
    d.frame.reset(av_frame_alloc());
    d.waiting.frame.reset(av_frame_alloc());
    if (!d.packet || !d.frame || !d.waiting.frame) {
        return fail("cannot decode " + d.input.name() + ": out of memory");
    }
    return Done{};
}

void VideoReader::preferSize(int width, int height) { impl_->want = WantedSize{width, height}; }

void VideoReader::alignTicks(int fps) { impl_->tickRate = fps; }

void VideoReader::planTicks(double start, double end, int fps) {
    impl_->skipper.planTicks(start, end, fps);
}

double VideoReader::declaredDuration() const { return impl_->input.declaredDuration(); }

bool VideoReader::endsInsideAPacket() const { return impl_->input.endsInsideAPacket(); }
double VideoReader::displayAspect() const { return impl_->input.displayAspect(); }
int VideoReader::quarterTurns() const { return impl_->input.quarterTurns(); }
bool VideoReader::stillPicture() const { return impl_->input.still(); }

void VideoReader::seekBefore(double seconds) {
    Impl& d = *impl_;
    // Times count from the first frame: decoded first, so that a seek from
    // any start finds the same frames at the same times.
    if (!d.tellAgain && d.counts.decoded + d.counts.leftOut == 0) {
        Next<> first = next();
        if (!first.ok() || first.ended()) {
            d.tellAgain = std::move(first);
            return;
        }
        d.tellAgain = Next<>(Done{});
    }
    if (d.input.seekBefore(seconds, d.clock())) {
        d.tellAgain.reset();
        d.resetAfterSeek();
    }
}

Next<> VideoReader::next() {
    Impl& d = *impl_;
    if (d.tellAgain) {
        Next<> again = std::move(*d.tellAgain);
        d.tellAgain.reset();
        return again;
    }
    if (!d.decoder) {
        if (Status started = d.startDecoding(); !started) return started.failure();
    }
    for (;;) {
        if (d.waiting.held) {
            if (d.tellUntakenBefore(d.waiting.frame->pts)) return Done{};
            av_frame_unref(d.frame.get());
            av_frame_move_ref(d.frame.get(), d.waiting.frame.get());
            d.waiting.held = false;
            return d.show();
        }
        const int got = d.decoder->receive(d.frame.get());
        if (got == 0) {
            // Untaken frames left out before this one come first.
            if (d.frame->pts != AV_NOPTS_VALUE && d.tellUntakenBefore(d.frame->pts)) {
                av_frame_move_ref(d.waiting.frame.get(), d.frame.get());
                d.waiting.held = true;
                return Done{};
            }
            return d.show();
        }
        if (got == AVERROR_EOF || (got == AVERROR(EAGAIN) && d.end.draining)) {
            if (d.tellUntakenBefore(std::numeric_limits<std::int64_t>::max())) return Done{};
            // The last pictures, decoded after the input ended, were found
            // damaged: the stream was cut inside one.
            if (video::decoderErrorsSoFar() != d.end.errorsBefore) {
                return fail(d.input.name() +
                            " is damaged or cut short (its last frame is incomplete)");
            }
            return EndOfStream{};
        }
        if (got != AVERROR(EAGAIN)) {
            if (d.retryFullSize(got)) continue;
            return d.damaged(got);
        }
        if (Status fed = d.feed(); !fed) return fed.failure();
    }
}

bool VideoReader::hasPicture() const { return impl_->told.pictured; }

double VideoReader::frameTime() const { return impl_->told.time; }
double VideoReader::frameDuration() const { return impl_->told.duration; }

Status VideoReader::scale(int width, int height, std::vector<std::uint8_t>& bgra) {
    Impl& d = *impl_;
    if (!d.scaler.scale(*d.frame, width, height, bgra)) {
        return fail("cannot scale the frames of " + d.input.name());
    }
    return Done{};
}

}  // namespace orv::cli
