// A pool of threads, each with a codec context of its own, decoding packets
// in turn for a codec whose every frame stands alone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/video/av_handles.h"
#include "cli/video/decoder.h"

namespace orv::cli::video {

// For a codec whose every frame stands alone and that has no threads of its
// own (MJPEG): one codec context per core, each on its own thread, taking the
// packets in turn; the frames come back in packet order.
class ParallelDecoder final : public Decoder {
  public:
    // Takes the opened contexts.
    explicit ParallelDecoder(std::vector<CodecPtr> contexts);
    ~ParallelDecoder() override;
    // Starts a thread for each context; false when the system has none to give.
    bool start();

    int send(const AVPacket* packet, bool unused) override;
    int receive(AVFrame* frame) override;
    void flush() override;
    std::string threads() const override;

  private:
    // One packet's decoding: the packet, then its frames and how it ended.
    struct Job {
        PacketPtr packet;              // the packet to decode, a copy of the one sent
        std::vector<FramePtr> frames;  // the frames it gave, once done
        std::size_t given = 0;         // how many of the frames receive() has given back
        int error = 0;                 // how its decoding failed, or 0
        bool done = false;             // decoded: frames and error are final
    };
    // A thread with its codec context and the jobs given to it.
    struct Worker {
        CodecPtr codec;          // the context only this worker's thread uses
        std::deque<Job*> queue;  // its jobs not yet done, in packet order
        std::thread thread;      // the thread that decodes them
    };

    // A worker thread's loop: takes its jobs in turn until stopped.
    void run(Worker& w);
    // Decodes one job's packet with `codec`, collecting every frame it gives.
    static void decode(AVCodecContext* codec, Job& job);
    // Ends the threads and drops every job.
    void stop();

    std::mutex mutex_;                              // guards everything below
    std::condition_variable work_;                  // a job was given, or the pool stops
    std::condition_variable done_;                  // a job was done
    std::vector<std::unique_ptr<Worker>> workers_;  // one per context
    std::deque<std::unique_ptr<Job>> order_;        // every job not yet given back, in packet order
    std::size_t capacity_;                          // how many jobs may wait at once
    std::size_t turn_ = 0;                          // counts the packets sent, to deal them in turn
    bool ending_ = false;                           // the stream's end was sent
    bool stopping_ = false;                         // the threads are to end
};

}  // namespace orv::cli::video
