#include "cli/video/decoder.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/log.h>
}

#include "cli/video/parallel_decoder.h"

namespace orv::cli::video {
namespace {

std::atomic<unsigned> decoderErrors{0};  // errors the decoders have logged

// Counts what the decoders log as errors, and logs everything as before.
extern "C" void countDecoderErrors(void* from, int level, const char* format, va_list args) {
    const AVClass* kind = from ? *static_cast<const AVClass* const*>(from) : nullptr;
    const AVClassCategory category = !kind                ? AV_CLASS_CATEGORY_NA
                                     : kind->get_category ? kind->get_category(from)
                                                          : kind->category;
    if (level <= AV_LOG_ERROR && category == AV_CLASS_CATEGORY_DECODER) {
        decoderErrors.fetch_add(1, std::memory_order_relaxed);
    }
    av_log_default_callback(from, level, format, args);
}

// One codec context, with whatever threads of its own the codec has.
class ContextDecoder final : public Decoder {
  public:
    explicit ContextDecoder(CodecPtr codec) : codec_(std::move(codec)) {}
    int send(const AVPacket* packet, bool unused) override {
        // Read by the codec (and its frame threads) packet by packet.
        codec_->skip_frame = unused ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        return avcodec_send_packet(codec_.get(), packet);
    }
    int receive(AVFrame* frame) override { return avcodec_receive_frame(codec_.get(), frame); }
    void flush() override { avcodec_flush_buffers(codec_.get()); }
    std::string threads() const override {
        const int n = codec_->thread_count;
        if (codec_->active_thread_type & FF_THREAD_FRAME)
            return std::to_string(n) + " frame threads";
        if (codec_->active_thread_type & FF_THREAD_SLICE)
            return std::to_string(n) + " slice threads";
        return "one thread";
    }

  private:
    CodecPtr codec_;  // the opened context
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

// Opens one context for `stream` with `threads` threads (0: as many as the
// machine has); null, with `error` set, where it cannot.
CodecPtr openContext(const AVCodec* codec, const AVStream* stream, const DecodeShape& shape,
                     bool still, int threads, int& error) {
    CodecPtr c(avcodec_alloc_context3(codec));
    if (!c) {
        error = AVERROR(ENOMEM);
        return nullptr;
    }
    error = avcodec_parameters_to_context(c.get(), stream->codecpar);
    if (error >= 0) {
        c->pkt_timebase = stream->time_base;
        c->lowres = shape.lowres;
        if (shape.roughEdges) c->skip_loop_filter = AVDISCARD_ALL;
        // A picture cut short is a failure, not a picture with a grey end.
        if (still) c->err_recognition |= AV_EF_EXPLODE;
        c->thread_count = threads;
        c->thread_type = 0;
        if (codec->capabilities & AV_CODEC_CAP_FRAME_THREADS) c->thread_type |= FF_THREAD_FRAME;
        if (codec->capabilities & AV_CODEC_CAP_SLICE_THREADS) c->thread_type |= FF_THREAD_SLICE;
        error = avcodec_open2(c.get(), codec, nullptr);
    }
    if (error < 0) c.reset();
    return c;
}

}  // namespace

DecodeShape chooseShape(const AVCodec* codec, const AVCodecParameters* params, int wantWidth,
                        int wantHeight) {
    DecodeShape shape;
    shape.lowres =
        reduction(codec->max_lowres, params->width, params->height, wantWidth, wantHeight);
    // The loop filter smooths the edges of coding blocks, which the scaling to
    // a wanted size of at most half the picture averages away: left out there.
    shape.roughEdges = reduction(1, params->width >> shape.lowres, params->height >> shape.lowres,
                                 wantWidth, wantHeight) == 1;
    const AVCodecDescriptor* described = avcodec_descriptor_get(params->codec_id);
    shape.intraOnly = described && (described->props & AV_CODEC_PROP_INTRA_ONLY);
    return shape;
}

unsigned decoderErrorsSoFar() { return decoderErrors.load(std::memory_order_relaxed); }

std::unique_ptr<Decoder> openDecoder(const AVCodec* codec, const AVStream* stream,
                                     const DecodeShape& shape, bool still, int& error) {
    av_log_set_callback(countDecoderErrors);
    const bool ownThreads =
        codec->capabilities & (AV_CODEC_CAP_FRAME_THREADS | AV_CODEC_CAP_SLICE_THREADS);
    const int cores = std::min(av_cpu_count(), 16);
    error = 0;
    if (shape.intraOnly && !ownThreads && !(codec->capabilities & AV_CODEC_CAP_DELAY) &&
        cores > 1) {
        std::vector<CodecPtr> contexts;
        for (int i = 0; i < cores && error >= 0; ++i) {
            if (CodecPtr c = openContext(codec, stream, shape, still, 1, error)) {
                contexts.push_back(std::move(c));
            }
        }
        auto parallel = std::make_unique<ParallelDecoder>(std::move(contexts));
        if (error >= 0 && parallel->start()) return parallel;
        // Without threads to be had: one context on this thread, below.
    }
    // As many threads as the machine has, of the kinds the codec offers.
    CodecPtr c = openContext(codec, stream, shape, still, 0, error);
    if (!c) return nullptr;
    return std::make_unique<ContextDecoder>(std::move(c));
}

}  // namespace orv::cli::video
