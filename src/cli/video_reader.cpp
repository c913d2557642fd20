#include "cli/video_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "cli/sampling.h"
#include "common/text.h"

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

// The packets read last: their presentation times and durations. A frame's
// duration is its packet's, found again when the frame comes out; the frame
// after a packet's, in presentation order, is at the latest the nearest later
// time among them.
class RecentPackets {
  public:
    void note(std::int64_t pts, std::int64_t duration) {
        entries_[next_++ % entries_.size()] = {pts, duration};
    }
    std::int64_t duration(std::int64_t pts) const {
        for (const Entry& e : entries_) {
            if (e.pts == pts && e.duration > 0) return e.duration;
        }
        return 0;
    }
    // The nearest time after `pts`, or AV_NOPTS_VALUE.
    std::int64_t nextAfter(std::int64_t pts) const {
        std::int64_t best = AV_NOPTS_VALUE;
        for (const Entry& e : entries_) {
            if (e.pts != AV_NOPTS_VALUE && e.pts > pts && (best == AV_NOPTS_VALUE || e.pts < best))
                best = e.pts;
        }
        return best;
    }
    void clear() { *this = RecentPackets{}; }

  private:
    struct Entry {
        std::int64_t pts = AV_NOPTS_VALUE;
        std::int64_t duration = 0;
    };
    std::array<Entry, 256> entries_{};
    std::size_t next_ = 0;
};

// Turns packets into frames, in the manner of avcodec_send_packet() and
// avcodec_receive_frame().
class Decoder {
  public:
    virtual ~Decoder() = default;
    // A null `packet` ends the stream. With `unused`, no one wants the
    // packet's frame: the codec may leave it out unless other frames refer to it.
    virtual int send(const AVPacket* packet, bool unused) = 0;
    virtual int receive(AVFrame* frame) = 0;
    virtual void flush() = 0;
    // How it decodes, for --verbose.
    virtual std::string threads() const = 0;
};

// One codec context, with whatever threads of its own the codec has.
class ContextDecoder final : public Decoder {
  public:
    explicit ContextDecoder(AVCodecContext* codec) : codec_(codec) {}
    ~ContextDecoder() override { avcodec_free_context(&codec_); }
    int send(const AVPacket* packet, bool unused) override {
        // Read by the codec (and its frame threads) packet by packet.
        codec_->skip_frame = unused ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        return avcodec_send_packet(codec_, packet);
    }
    int receive(AVFrame* frame) override { return avcodec_receive_frame(codec_, frame); }
    void flush() override { avcodec_flush_buffers(codec_); }
    std::string threads() const override {
        const int n = codec_->thread_count;
        if (codec_->active_thread_type & FF_THREAD_FRAME)
            return std::to_string(n) + " frame threads";
        if (codec_->active_thread_type & FF_THREAD_SLICE)
            return std::to_string(n) + " slice threads";
        return "one thread";
    }

  private:
    AVCodecContext* codec_;
};

// For a codec whose every frame stands alone and that has no threads of its
// own (MJPEG): one codec context per core, each on its own thread, taking the
// packets in turn; the frames come back in packet order.
class ParallelDecoder final : public Decoder {
  public:
    // Takes the opened contexts.
    explicit ParallelDecoder(const std::vector<AVCodecContext*>& contexts)
        : capacity_(2 * contexts.size()) {
        for (AVCodecContext* c : contexts) {
            workers_.push_back(std::make_unique<Worker>());
            workers_.back()->codec = c;
        }
    }
    ~ParallelDecoder() override { stop(); }
    // Starts a thread for each context; false when the system has none to give.
    bool start() {
        try {
            for (auto& w : workers_) {
                Worker* worker = w.get();
                w->thread = std::thread([this, worker] { run(*worker); });
            }
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    int send(const AVPacket* packet, bool) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!packet) {
            ending_ = true;
            return 0;
        }
        if (order_.size() >= capacity_) return AVERROR(EAGAIN);
        auto job = std::make_unique<Job>();
        job->packet = av_packet_clone(packet);
        if (!job->packet) return AVERROR(ENOMEM);
        workers_[turn_++ % workers_.size()]->queue.push_back(job.get());
        order_.push_back(std::move(job));
        work_.notify_all();
        return 0;
    }

    int receive(AVFrame* frame) override {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (order_.empty()) return ending_ ? AVERROR_EOF : AVERROR(EAGAIN);
            Job& head = *order_.front();
            if (!head.done) {
                // Keep every worker busy: more packets first, while there is room.
                if (!ending_ && order_.size() < capacity_) return AVERROR(EAGAIN);
                done_.wait(lock, [&] { return head.done; });
            }
            if (head.given < head.frames.size()) {
                av_frame_unref(frame);
                av_frame_move_ref(frame, head.frames[head.given++]);
                return 0;
            }
            const int error = head.error;
            order_.pop_front();
            if (error < 0) return error;
        }
    }

    void flush() override {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] {
            return std::all_of(workers_.begin(), workers_.end(),
                               [](const auto& w) { return w->queue.empty(); });
        });
        order_.clear();
        ending_ = false;
        for (auto& w : workers_) avcodec_flush_buffers(w->codec);
    }
    std::string threads() const override {
        return std::to_string(workers_.size()) + " threads taking frames in turn";
    }

  private:
    struct Job {
        AVPacket* packet = nullptr;
        std::vector<AVFrame*> frames;
        std::size_t given = 0;
        int error = 0;
        bool done = false;
        ~Job() {
            av_packet_free(&packet);
            for (AVFrame*& f : frames) av_frame_free(&f);
        }
    };
    struct Worker {
        AVCodecContext* codec = nullptr;
        std::deque<Job*> queue;
        std::thread thread;
    };

    void run(Worker& w) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            work_.wait(lock, [&] { return stopping_ || !w.queue.empty(); });
            if (stopping_) return;
            Job* job = w.queue.front();
            lock.unlock();
            decode(w.codec, *job);
            lock.lock();
            w.queue.pop_front();
            job->done = true;
            done_.notify_all();
        }
    }

    static void decode(AVCodecContext* codec, Job& job) {
        int e = avcodec_send_packet(codec, job.packet);
        while (e >= 0) {
            AVFrame* f = av_frame_alloc();
            if (!f) {
                e = AVERROR(ENOMEM);
                break;
            }
            e = avcodec_receive_frame(codec, f);
            if (e < 0) {
                av_frame_free(&f);
                break;
            }
            try {
                job.frames.push_back(f);
            } catch (const std::bad_alloc&) {
                av_frame_free(&f);
                e = AVERROR(ENOMEM);
            }
        }
        job.error = e == AVERROR(EAGAIN) ? 0 : e;
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        work_.notify_all();
        for (auto& w : workers_) {
            if (w->thread.joinable()) w->thread.join();
        }
        order_.clear();
        for (auto& w : workers_) avcodec_free_context(&w->codec);
    }

    std::mutex mutex_;
    std::condition_variable work_, done_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::deque<std::unique_ptr<Job>> order_;  // every job not yet given back, in packet order
    std::size_t capacity_;
    std::size_t turn_ = 0;
    bool ending_ = false;
    bool stopping_ = false;
};

// How many times to halve both sides while each stays at least the wanted size.
int reduction(int maxLowres, int width, int height, int wantWidth, int wantHeight) {
    if (wantWidth <= 0 || wantHeight <= 0 || width <= 0 || height <= 0) return 0;
    int lowres = 0;
    while (lowres < maxLowres && (width >> (lowres + 1)) >= wantWidth &&
           (height >> (lowres + 1)) >= wantHeight) {
        ++lowres;
    }
    return lowres;
}

// Whether an H.264 packet holds a picture that no other picture refers to and
// nothing else the decoder keeps: only slices with nal_ref_idc 0, access unit
// delimiters and filler. Such a packet can be left out without changing how
// the others decode. `lengthSize` is the size of the NAL lengths (MP4 and
// Matroska), or 0 for start codes.
bool unreferencedH264(const std::uint8_t* data, int size, int lengthSize) {
    bool slice = false;
    auto unit = [&slice](std::uint8_t header) {
        const int type = header & 0x1f;
        const bool referenced = (header & 0x60) != 0;
        if (type == 1 && !referenced) {
            slice = true;
            return true;
        }
        return type == 9 || type == 12;  // delimiter, filler
    };
    if (lengthSize > 0) {
        std::int64_t at = 0;
        while (at + lengthSize < size) {
            std::int64_t length = 0;
            for (int i = 0; i < lengthSize; ++i) length = (length << 8) | data[at + i];
            at += lengthSize;
            if (length <= 0 || length > size - at || !unit(data[at])) return false;
            at += length;
        }
        return slice && at == size;
    }
    // Start codes: 00 00 01, the unit's header after it.
    for (int at = 0; at + 3 < size; ++at) {
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1) {
            if (!unit(data[at + 3])) return false;
            at += 3;
        }
    }
    return slice;
}

// Packets read ahead of the one sent, so that the frame after it is known.
constexpr std::size_t kReadAhead = 4;
// Packets kept from the start until the first frame comes out, to send again
// at full size should the codec refuse to decode them small.
constexpr std::size_t kKeptForRetry = 64;

}  // namespace

struct VideoReader::Impl {
    bool (*stopRequested)() = nullptr;
    std::string name;  // the input as messages name it
    AVFormatContext* format = nullptr;
    const AVCodec* codecType = nullptr;
    std::unique_ptr<Decoder> decoder;
    bool intraOnly = false;  // every frame stands alone: no frame refers to another
    bool still = false;      // one picture (PNG, JPEG, BMP...), not a video
    int h264Lengths = -1;    // H.264: the size of its NAL lengths, 0 for start codes
    int lowres = 0;
    bool roughEdges = false;  // decoding without the loop filter
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwsContext* sws = nullptr;
    int stream = -1;
    int wantWidth = 0, wantHeight = 0;
    std::optional<TickSampler> plan;
    bool skipping = false;  // off for good once frame times stop following packet times

    std::deque<AVPacket*> ahead;  // read, not yet sent
    std::vector<AVPacket*> sentBeforeFirst;
    bool keptAllSent = true;
    int readError = 0;  // the read failure to report once the packets before it are decoded
    bool inputEnded = false;
    bool draining = false;
    RecentPackets recent;
    // Frames no tick takes, by time, with their packet durations: left out,
    // or decoded and to be passed over, but not yet told.
    std::map<std::int64_t, std::int64_t> untaken;
    // A decoded frame held back while untaken frames before it are told.
    AVFrame* waiting = nullptr;
    bool hasWaiting = false;
    std::int64_t lastShown = AV_NOPTS_VALUE;  // the time of the last frame told

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
                   static_cast<unsigned long long>(neverSent), 1 << lowres,
                   roughEdges ? " without the loop filter" : "", decoder->threads().c_str());
        }
        decoder.reset();
        clearPackets();
        sws_freeContext(sws);
        av_frame_free(&waiting);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avformat_close_input(&format);
    }
    void clearPackets() {
        for (AVPacket*& p : ahead) av_packet_free(&p);
        ahead.clear();
        for (AVPacket*& p : sentBeforeFirst) av_packet_free(&p);
        sentBeforeFirst.clear();
    }
    AVStream* video() const { return format->streams[stream]; }
    double startSeconds() const {
        const AVStream* s = video();
        return s->start_time == AV_NOPTS_VALUE ? 0.0 : s->start_time * av_q2d(s->time_base);
    }
    // Seconds from the stream's start of a time in the stream's time base.
    double seconds(std::int64_t pts) const {
        return pts * av_q2d(video()->time_base) - startSeconds();
    }
    double durationSeconds(std::int64_t packetDuration) const {
        const AVStream* s = video();
        const AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
        return packetDuration > 0 ? packetDuration * av_q2d(s->time_base)
               : rate.num > 0     ? av_q2d(av_inv_q(rate))
                                  : 0.04;
    }
    bool stopped() const { return stopRequested && stopRequested(); }
    // Decoding starts afresh from wherever the input was put.
    void resetAfterSeek() {
        if (decoder) decoder->flush();
        clearPackets();
        recent.clear();
        untaken.clear();
        av_frame_unref(waiting);
        hasWaiting = false;
        inputEnded = draining = false;
        readError = 0;
        lastShown = AV_NOPTS_VALUE;
        keptAllSent = true;
    }
    // Whether the next picture read is a key frame shown at or before `pts`.
    bool firstPictureStandsAloneBy(std::int64_t pts) {
        AVPacket* p = av_packet_alloc();
        bool good = false;
        for (int i = 0; p && i < 4096 && av_read_frame(format, p) >= 0; ++i) {
            const bool picture = p->stream_index == stream;
            const std::int64_t t = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
            good = picture && (p->flags & AV_PKT_FLAG_KEY) && t != AV_NOPTS_VALUE && t <= pts;
            av_packet_unref(p);
            if (picture) break;
        }
        av_packet_free(&p);
        return good;
    }
    Failure damaged(int code) const {
        if (code == AVERROR_EXIT || stopped()) return fail("interrupted");
        return fail("cannot decode " + name + ": " + avError(code));
    }

    Status startDecoding();
    AVCodecContext* openContext(int threads, int& error) const;
    bool noTickTakes(const AVPacket* p) const;
    Status feed();
    bool tellUntakenBefore(std::int64_t pts);
    Result<bool> show();
    bool retryFullSize(int error);
};

AVCodecContext* VideoReader::Impl::openContext(int threads, int& error) const {
    AVCodecContext* c = avcodec_alloc_context3(codecType);
    if (!c) {
        error = AVERROR(ENOMEM);
        return nullptr;
    }
    error = avcodec_parameters_to_context(c, video()->codecpar);
    if (error >= 0) {
        c->pkt_timebase = video()->time_base;
        c->lowres = lowres;
        if (roughEdges) c->skip_loop_filter = AVDISCARD_ALL;
        // A picture cut short is a failure, not a picture with a grey end.
        if (still) c->err_recognition |= AV_EF_EXPLODE;
        c->thread_count = threads;
        c->thread_type = 0;
        if (codecType->capabilities & AV_CODEC_CAP_FRAME_THREADS) c->thread_type |= FF_THREAD_FRAME;
        if (codecType->capabilities & AV_CODEC_CAP_SLICE_THREADS) c->thread_type |= FF_THREAD_SLICE;
        error = avcodec_open2(c, codecType, nullptr);
    }
    if (error < 0) avcodec_free_context(&c);
    return c;
}

Status VideoReader::Impl::startDecoding() {
    const AVCodecParameters* p = video()->codecpar;
    lowres = reduction(codecType->max_lowres, p->width, p->height, wantWidth, wantHeight);
    // The loop filter smooths the edges of coding blocks, which the scaling to
    // a wanted size of at most half the picture averages away: left out there.
    roughEdges = reduction(1, p->width >> lowres, p->height >> lowres, wantWidth, wantHeight) == 1;
    const AVCodecDescriptor* described = avcodec_descriptor_get(p->codec_id);
    intraOnly = described && (described->props & AV_CODEC_PROP_INTRA_ONLY);
    if (p->codec_id == AV_CODEC_ID_H264) {
        h264Lengths =
            p->extradata_size >= 7 && p->extradata[0] == 1 ? (p->extradata[4] & 3) + 1 : 0;
    }
    const bool ownThreads =
        codecType->capabilities & (AV_CODEC_CAP_FRAME_THREADS | AV_CODEC_CAP_SLICE_THREADS);
    const int cores = std::min(av_cpu_count(), 16);
    int error = 0;
    if (intraOnly && !ownThreads && !(codecType->capabilities & AV_CODEC_CAP_DELAY) && cores > 1) {
        std::vector<AVCodecContext*> contexts;
        for (int i = 0; i < cores && error >= 0; ++i) {
            if (AVCodecContext* c = openContext(1, error)) contexts.push_back(c);
        }
        auto parallel = std::make_unique<ParallelDecoder>(contexts);  // owns them from here
        if (error >= 0 && parallel->start()) {
            decoder = std::move(parallel);
            return Done{};
        }
        // Without threads to be had: one context on this thread, below.
    }
    // As many threads as the machine has, of the kinds the codec offers.
    AVCodecContext* c = openContext(0, error);
    if (!c) return fail("cannot decode " + name + ": " + avError(error));
    decoder = std::make_unique<ContextDecoder>(c);
    return Done{};
}

// Whether no tick takes the packet's frame, known before it is decoded: the
// frame shows from its time until the next frame's, and the nearest later
// time among the packets read so far is at or after that next frame's. The
// first frame takes the ticks before it too, so only frames after one already
// told are ever judged.
bool VideoReader::Impl::noTickTakes(const AVPacket* p) const {
    if (!plan || !skipping || p->pts == AV_NOPTS_VALUE || lastShown == AV_NOPTS_VALUE ||
        p->pts <= lastShown) {
        return false;
    }
    const std::int64_t next = recent.nextAfter(p->pts);
    if (next == AV_NOPTS_VALUE) return false;
    return !plan->anyTickIn(seconds(p->pts), seconds(next));
}

// Reads packets ahead and sends the decoder the next one, or the end of the
// stream once all are sent.
Status VideoReader::Impl::feed() {
    while (!inputEnded && ahead.size() <= kReadAhead) {
        if (stopped()) return fail("interrupted");
        const int read = av_read_frame(format, packet);
        if (read < 0) {
            inputEnded = true;
            if (read != AVERROR_EOF) readError = read;
            break;
        }
        if (packet->stream_index != stream) {
            av_packet_unref(packet);
            continue;
        }
        recent.note(packet->pts, packet->duration);
        AVPacket* kept = av_packet_alloc();
        if (!kept) {
            av_packet_unref(packet);
            return fail("cannot decode " + name + ": out of memory");
        }
        av_packet_move_ref(kept, packet);
        ahead.push_back(kept);
    }
    if (ahead.empty()) {
        if (readError < 0) return damaged(readError);
        draining = true;
        if (int e = decoder->send(nullptr, false); e < 0 && e != AVERROR_EOF) return damaged(e);
        return Done{};
    }
    AVPacket* p = ahead.front();
    if (p->flags & AV_PKT_FLAG_CORRUPT) {
        return fail(name + " is damaged or cut short (a frame is incomplete)");
    }
    // The last packet is always decoded: a stream cut short shows there.
    const bool untakenFrame = noTickTakes(p) && !(inputEnded && ahead.size() == 1);
    // An untaken frame that no other frame refers to need not be sent at
    // all; one that may be referred to goes to the decoder, which decodes
    // it only if it is.
    const bool leftOut =
        untakenFrame &&
        (intraOnly || (h264Lengths >= 0 && unreferencedH264(p->data, p->size, h264Lengths)));
    if (!leftOut) {
        const int sent = decoder->send(p, untakenFrame);
        if (sent == AVERROR(EAGAIN)) return Done{};  // frames to take first; the packet waits
        if (sent < 0) {
            if (retryFullSize(sent)) return Done{};
            return damaged(sent);
        }
    }
    if (untakenFrame) untaken.emplace(p->pts, p->duration);
    if (leftOut) ++neverSent;
    ahead.pop_front();
    if (lastShown == AV_NOPTS_VALUE && lowres > 0) {
        if (sentBeforeFirst.size() < kKeptForRetry) {
            sentBeforeFirst.push_back(p);
            p = nullptr;
        } else {
            keptAllSent = false;
        }
    }
    av_packet_free(&p);
    return Done{};
}

// Tells the first untaken frame if it comes before `pts`: true when told.
bool VideoReader::Impl::tellUntakenBefore(std::int64_t pts) {
    if (untaken.empty() || untaken.begin()->first >= pts) return false;
    const auto [at, packetDuration] = *untaken.begin();
    untaken.erase(untaken.begin());
    time = seconds(at);
    duration = durationSeconds(packetDuration);
    pictured = false;
    lastShown = at;
    ++leftOut;
    return true;
}

// Tells the decoded frame; a frame with damage at the end of the input
// (the stream was cut short) fails.
Result<bool> VideoReader::Impl::show() {
    const std::int64_t pts =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : 0;
    time = seconds(pts);
    duration = durationSeconds(recent.duration(frame->pts));
    // Untaken frames are judged by packet times: only while frames keep to them.
    if (frame->pts == AV_NOPTS_VALUE || frame->best_effort_timestamp != frame->pts ||
        (lastShown != AV_NOPTS_VALUE && frame->pts <= lastShown)) {
        skipping = false;
    }
    pictured = true;
    if (auto it = untaken.find(frame->pts); frame->pts != AV_NOPTS_VALUE && it != untaken.end()) {
        duration = durationSeconds(it->second);
        untaken.erase(it);
        pictured = !skipping;
    }
    ++decoded;
    if (!pictured) ++passedOver;
    if (frame->pts != AV_NOPTS_VALUE) lastShown = std::max(lastShown, frame->pts);
    for (AVPacket*& p : sentBeforeFirst) av_packet_free(&p);
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
    if (lowres == 0 || lastShown != AV_NOPTS_VALUE || !keptAllSent || error == AVERROR_EXIT ||
        stopped()) {
        return false;
    }
    wantWidth = wantHeight = 0;
    decoder.reset();
    if (!startDecoding()) return false;
    for (auto p = sentBeforeFirst.rbegin(); p != sentBeforeFirst.rend(); ++p) ahead.push_front(*p);
    sentBeforeFirst.clear();
    draining = false;
    return true;
}

VideoReader::VideoReader(bool (*stopRequested)()) : impl_(std::make_unique<Impl>()) {
    impl_->stopRequested = stopRequested;
}
VideoReader::~VideoReader() = default;

Status VideoReader::open(const std::string& path) {
    Impl& d = *impl_;
    d.name = path == "-" ? "standard input" : quotedName(path);
    d.format = avformat_alloc_context();
    if (!d.format) return fail("cannot open video " + d.name + ": out of memory");
    d.format->interrupt_callback.callback = askStop;
    d.format->interrupt_callback.opaque = reinterpret_cast<void*>(d.stopRequested);
    // On failure avformat_open_input frees the context and clears the pointer.
    if (int e =
            avformat_open_input(&d.format, path == "-" ? "pipe:0" : path.c_str(), nullptr, nullptr);
        e < 0) {
        if (e == AVERROR_EXIT) return fail("interrupted");
        return fail("cannot open video " + d.name + ": " + avError(e));
    }
    if (int e = avformat_find_stream_info(d.format, nullptr); e < 0) {
        if (e == AVERROR_EXIT) return fail("interrupted");
        return fail("cannot read video " + d.name + ": " + avError(e));
    }
    // One picture, read by an image reader (image2, png_pipe, jpeg_pipe...).
    const std::string reader = d.format->iformat->name;
    d.still = reader == "image2" || reader.ends_with("_pipe");
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
            return fail(d.name + " has no video, only a cover picture stored with its sound");
        }
    }
    if (d.stream < 0 || !decoder) return fail(d.name + " has no video stream that can be decoded");
    d.codecType = decoder;
    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    d.waiting = av_frame_alloc();
    if (!d.packet || !d.frame || !d.waiting)
        return fail("cannot decode " + d.name + ": out of memory");
    return Done{};
}

void VideoReader::preferSize(int width, int height) {
    impl_->wantWidth = width;
    impl_->wantHeight = height;
}

void VideoReader::planTicks(double start, double end, int fps) {
    impl_->plan.emplace(start, end, fps);
    impl_->skipping = true;
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

bool VideoReader::stillPicture() const { return impl_->still; }

void VideoReader::seekBefore(double seconds) {
    Impl& d = *impl_;
    const AVStream* s = d.video();
    const double base = av_q2d(s->time_base);
    const auto at = [&](double t) {
        return static_cast<std::int64_t>((std::max(t, 0.0) + d.startSeconds()) / base);
    };
    const std::int64_t wanted = at(seconds);
    // A seek by timestamps alone (a transport stream) lands wherever a packet
    // has an earlier time, often between key frames, and the frames up to the
    // next key frame cannot be decoded. Step further back until reading starts
    // at a key frame at or before the wanted time; the start always does.
    for (double earlier = 0; earlier < seconds; earlier = earlier == 0 ? 1 : 2 * earlier) {
        const std::int64_t to = at(seconds - earlier);
        if (av_seek_frame(d.format, d.stream, to, AVSEEK_FLAG_BACKWARD) < 0) continue;
        if (!d.firstPictureStandsAloneBy(wanted)) continue;
        // Back to the same place: the look read past it.
        if (av_seek_frame(d.format, d.stream, to, AVSEEK_FLAG_BACKWARD) < 0) break;
        d.resetAfterSeek();
        return;
    }
    // From the start: the first byte where the format can say, else its first
    // time; where neither works (a pipe), on from where it is.
    const bool byBytes = !(d.format->iformat->flags & AVFMT_NO_BYTE_SEEK) &&
                         avformat_seek_file(d.format, -1, 0, 0, 0, AVSEEK_FLAG_BYTE) >= 0;
    if (byBytes || av_seek_frame(d.format, d.stream, at(0), AVSEEK_FLAG_BACKWARD) >= 0) {
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
            av_frame_unref(d.frame);
            av_frame_move_ref(d.frame, d.waiting);
            d.hasWaiting = false;
            return d.show();
        }
        const int got = d.decoder->receive(d.frame);
        if (got == 0) {
            // Untaken frames left out before this one come first.
            if (d.frame->pts != AV_NOPTS_VALUE && d.tellUntakenBefore(d.frame->pts)) {
                av_frame_move_ref(d.waiting, d.frame);
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
    const AVFrame* f = d.frame;
    d.sws =
        sws_getCachedContext(d.sws, f->width, f->height, static_cast<AVPixelFormat>(f->format),
                             width, height, AV_PIX_FMT_BGRA, SWS_AREA, nullptr, nullptr, nullptr);
    if (!d.sws) return fail("cannot scale the frames of " + d.name);
    bgra.resize(static_cast<std::size_t>(width) * height * 4);
    std::uint8_t* planes[4] = {bgra.data(), nullptr, nullptr, nullptr};
    int strides[4] = {width * 4, 0, 0, 0};
    if (sws_scale(d.sws, f->data, f->linesize, 0, f->height, planes, strides) != height) {
        return fail("cannot scale the frames of " + d.name);
    }
    return Done{};
}

}  // namespace orv::cli
