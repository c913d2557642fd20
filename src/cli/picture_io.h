// Reading picture files as the frame pipeline's pictures and writing pixel
// grids as picture files, the way the workbench reads and draws its pictures.
// Uses QtGui's image I/O; needs no display.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>

#include <string>

#include "cli/output_file.h"
#include "common/pixel_grid.h"
#include "common/result.h"
#include "dib/frame_pipeline.h"

namespace orv::cli {

// The picture in the file at `path`. Fails, naming the reason (a folder, a
// picture cut short, a size past the grid's limit, the decoder's own words),
// when the picture cannot be had; also when there is no memory for it,
// naming the size.
Result<Picture> readPicture(const std::string& path);

// The pixels of `picture`, read from `path`, into `grid` as the workbench
// reads its source (bottom row first); fails as readPicture() does when there
// is no memory for them.
Status readGrid(const std::string& path, Picture& picture, PixelGrid& grid);

// The format `path`'s extension names, if this build can write it; PNG for
// "-" (standard output).
Result<QByteArray> writableFormat(const std::string& path);

// Encodes `image` in `format` into `out`; a failure says why (the failed
// write's own reason where a write failed).
Status writeImage(const QImage& image, const QByteArray& format, OutputFile& out);

// A picture file, written whole or not at all: the bytes go to a temporary file
// beside the target and replace it on commit(); or to standard output for "-".
class PictureWriter {
  public:
    explicit PictureWriter(std::string path) : path_(path), file_(std::move(path)) {}

    // Encodes width x height pixels of `grid` into the temporary file. Fails,
    // naming the size, when there is no memory for the picture.
    Status prepare(const PixelGrid& grid, std::int32_t width, std::int32_t height);
    // Puts the prepared file in place of the target.
    Status commit() { return file_.commit(); }

  private:
    // prepare() once the format is known; lets std::bad_alloc out.
    Status write(const PixelGrid& grid, std::int32_t width, std::int32_t height,
                 const QByteArray& format);

    std::string path_;
    OutputFile file_;
};

}  // namespace orv::cli
