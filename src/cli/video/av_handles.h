// Owners of FFmpeg's objects, each freed by its own free function, and the
// wording of FFmpeg's error codes.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace orv::cli::video {

// Closes an opened input and frees its context.
struct InputCloser {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
// Frees a codec context, closing the codec.
struct CodecFreer {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
// Frees a packet and its data.
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
// Frees a frame and its pictures.
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
// Frees a scaling context.
struct ScalerFreer {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

// An opened input file (or pipe) with its streams.
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
// A codec context, opened or not.
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
// A packet, empty or holding data.
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
// A frame, empty or holding a picture.
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
// A scaling context.
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

// The text FFmpeg has for an error code, or "error N" where it has none.
std::string avError(int code);

}  // namespace orv::cli::video
