// Turning a stream's packets into frames: the decoder behind the video
// reader, opened in the shape the wanted picture size allows.
#pragma once

#include <memory>
#include <string>

#include "cli/video/av_handles.h"

namespace orv::cli::video {

// Turns packets into frames, in the manner of avcodec_send_packet() and
// avcodec_receive_frame().
class Decoder {
  public:
    virtual ~Decoder() = default;
    // A null `packet` ends the stream. With `unused`, no one wants the
    // packet's frame: the codec may leave it out unless other frames refer to it.
    virtual int send(const AVPacket* packet, bool unused) = 0;
    // Takes the next frame out, 0; AVERROR(EAGAIN) where it wants packets first.
    virtual int receive(AVFrame* frame) = 0;
    // Forgets every packet sent and every frame not yet taken, for a seek.
    virtual void flush() = 0;
    // How it decodes, for --verbose.
    virtual std::string threads() const = 0;
};

// How the codec decodes a stream: chosen once, before the first packet.
struct DecodeShape {
    int lowres = 0;           // how many times the codec halves both sides as it decodes
    bool roughEdges = false;  // decoding without the loop filter
    bool intraOnly = false;   // every frame stands alone: no frame refers to another
};

// The shape for `codec` decoding a stream of `params` whose frames are only
// ever scaled down to wantWidth x wantHeight (0 x 0: any size, full size).
DecodeShape chooseShape(const AVCodec* codec, const AVCodecParameters* params, int wantWidth,
                        int wantHeight);

// Opens a decoder for `stream` in `shape`: as many threads as the machine has,
// of the kinds the codec offers, or for a codec whose frames all stand alone
// and that has no threads, one context per core taking the packets in turn.
// With `still`, a picture cut short is a failure, not a picture with a grey
// end. Null, with `error` set, where the codec cannot be opened.
std::unique_ptr<Decoder> openDecoder(const AVCodec* codec, const AVStream* stream,
                                     const DecodeShape& shape, bool still, int& error);

// How many errors the decoders have reported so far (in FFmpeg's log, even
// where the log is not shown): a picture damaged or cut short is said there
// even where the decoder conceals it without marking the frame.
unsigned decoderErrorsSoFar();

}  // namespace orv::cli::video
