#include "cli/video/parallel_decoder.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace orv::cli::video {

ParallelDecoder::ParallelDecoder(std::vector<CodecPtr> contexts) : capacity_(2 * contexts.size()) {
    for (CodecPtr& c : contexts) {
        workers_.push_back(std::make_unique<Worker>());
        workers_.back()->codec = std::move(c);
    }
}

ParallelDecoder::~ParallelDecoder() { stop(); }

bool ParallelDecoder::start() {
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

int ParallelDecoder::send(const AVPacket* packet, bool) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!packet) {
        ending_ = true;
        return 0;
    }
    if (order_.size() >= capacity_) return AVERROR(EAGAIN);
    auto job = std::make_unique<Job>();
    job->packet.reset(av_packet_clone(packet));
    if (!job->packet) return AVERROR(ENOMEM);
    workers_[turn_++ % workers_.size()]->queue.push_back(job.get());
    order_.push_back(std::move(job));
    work_.notify_all();
    return 0;
}

int ParallelDecoder::receive(AVFrame* frame) {
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
            av_frame_move_ref(frame, head.frames[head.given++].get());
            return 0;
        }
        const int error = head.error;
        order_.pop_front();
        if (error < 0) return error;
    }
}

void ParallelDecoder::flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] {
        return std::all_of(workers_.begin(), workers_.end(),
                           [](const auto& w) { return w->queue.empty(); });
    });
    order_.clear();
    ending_ = false;
    for (auto& w : workers_) avcodec_flush_buffers(w->codec.get());
}

std::string ParallelDecoder::threads() const {
    return std::to_string(workers_.size()) + " threads taking frames in turn";
}

void ParallelDecoder::run(Worker& w) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return stopping_ || !w.queue.empty(); });
        if (stopping_) return;
        Job* job = w.queue.front();
        lock.unlock();
        decode(w.codec.get(), *job);
        lock.lock();
        w.queue.pop_front();
        job->done = true;
        done_.notify_all();
    }
}

void ParallelDecoder::decode(AVCodecContext* codec, Job& job) {
    int e = avcodec_send_packet(codec, job.packet.get());
    while (e >= 0) {
        FramePtr f(av_frame_alloc());
        if (!f) {
            e = AVERROR(ENOMEM);
            break;
        }
        e = avcodec_receive_frame(codec, f.get());
        if (e < 0) break;
        try {
            job.frames.push_back(std::move(f));
        } catch (const std::bad_alloc&) {
            e = AVERROR(ENOMEM);
        }
    }
    job.error = e == AVERROR(EAGAIN) ? 0 : e;
}

void ParallelDecoder::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (auto& w : workers_) {
        if (w->thread.joinable()) w->thread.join();
    }
    order_.clear();
    for (auto& w : workers_) w->codec.reset();
}

}  // namespace orv::cli::video
