// The video of a screen cast read from PipeWire on a thread of its own, which
// keeps only the newest picture.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>

#include "common/result.h"

namespace orv::platform {

// Where the red, green and blue bytes sit in one pixel of a source picture.
struct PixelOrder {
    int bytes = 4;  // bytes one pixel takes: 3 or 4
    int red = 2;    // byte offset of red within the pixel
    int green = 1;  // byte offset of green
    int blue = 0;   // byte offset of blue
};

// Copies a source picture of `size` pixels, rows `stride` bytes apart, into
// `out` as Format_RGB32 with opaque alpha. Reuses out's memory when nothing
// else shares it, else gives it new memory; a null `out` when that fails.
void copyPixels(const uchar* source, qsizetype stride, QSize size, PixelOrder order, QImage& out);

// A PipeWire video stream on the connection a desktop portal opened. It asks
// for shared-memory buffers of 8-bit RGB pictures, turns the newest one into
// Format_RGB32 and keeps only that; readers copy it without waiting.
class PipeWireStream {
  public:
    // What the stream tells, on its own thread; neither may destroy the stream.
    struct Events {
        std::function<void()> formatAgreed;          // the picture format is settled
        std::function<void()> firstFrame;            // the first picture is in
        std::function<void(const QString&)> failed;  // one line: why the stream stopped
    };

    explicit PipeWireStream(Events events);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Connects through `fd` (taken over in any case) to the stream of node
    // `node`; a one-line failure when that cannot start.
    Status start(int fd, quint32 node);

    // The newest picture (Format_RGB32); null before the first one.
    QImage latest() const;
    // How many pictures have come in.
    quint64 frames() const;
    // The newest picture's size; empty before the first one.
    QSize size() const;

  private:
    struct Impl;                  // PipeWire's objects and the pictures
    std::unique_ptr<Impl> impl_;  // shared with the stream's thread
};

}  // namespace orv::platform
