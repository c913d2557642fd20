// Reading and writing picture files as pixel grids, the way the workbench
// reads and draws its pictures. Uses QtGui's image I/O; needs no display.
#pragma once

#include <QString>

#include <memory>

#include "common/pixel_grid.h"
#include "common/result.h"

namespace orv::cli {

// A picture read into a grid: bottom picture row is grid row 0, bytes blue,
// green, red, fourth byte.
struct LoadedPicture {
    PixelGrid grid;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Fails, naming the size, when there is no memory for the picture.
Result<LoadedPicture> readPicture(const QString& path);

// Whether `path`'s extension names a format this build can write; the format.
Result<QByteArray> writableFormat(const QString& path);

// A picture file, written whole or not at all: the bytes go to a temporary file
// beside the target and replace it on commit().
class PictureWriter {
  public:
    explicit PictureWriter(QString path);
    ~PictureWriter();
    PictureWriter(const PictureWriter&) = delete;
    PictureWriter& operator=(const PictureWriter&) = delete;

    // Encodes width x height pixels of `grid` into the temporary file. Fails,
    // naming the size, when there is no memory for the picture.
    Status prepare(const PixelGrid& grid, std::int32_t width, std::int32_t height);
    // Puts the prepared file in place of the target.
    Status commit();

  private:
    // prepare() once the format is known; lets std::bad_alloc out.
    Status write(const PixelGrid& grid, std::int32_t width, std::int32_t height,
                 const QByteArray& format);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orv::cli
