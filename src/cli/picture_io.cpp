#include "cli/picture_io.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <new>
#include <vector>

#include "dib/transfer.h"

namespace orv::cli {
namespace {

std::string text(const QString& s) { return s.toStdString(); }

SurfaceView viewOf(QImage& image) {
    return SurfaceView{image.bits(), image.width(), image.height(), image.bytesPerLine()};
}

// A picture file refused for want of memory for its pixels.
Failure noMemory(const char* action, const QString& path, QSize size) {
    const std::string why = size.isValid()
                                ? PixelGrid::outOfMemory(4, size.width(), size.height()).message
                                : std::string("not enough memory for its pixels");
    return fail(std::string("cannot ") + action + " picture \"" + text(path) + "\": " + why);
}

}  // namespace

Result<LoadedPicture> readPicture(const QString& path) {
    QImageReader reader(path);
    QImage image;
    QSize size;
    try {
        size = reader.size();  // from the header, when the format tells it
        if (!reader.read(&image)) {
            return fail("cannot read picture \"" + text(path) +
                        "\": " + text(reader.errorString()));
        }
        size = image.size();
        // QImage reports want of memory as a null image.
        image.convertTo(QImage::Format_RGB32);
    } catch (const std::bad_alloc&) {
        return noMemory("read", path, size);
    }
    if (image.isNull() || image.format() != QImage::Format_RGB32) {
        return noMemory("read", path, size);
    }
    LoadedPicture picture;
    picture.width = image.width();
    picture.height = image.height();
    Result<std::int32_t> read = GetData(viewOf(image), 0, 0, picture.width - 1, picture.height - 1,
                                        picture.grid, kBitsPerPixel);
    if (!read) return fail("cannot read picture \"" + text(path) + "\": " + read.error());
    return picture;
}

Result<QByteArray> writableFormat(const QString& path) {
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (suffix.isEmpty() || !QImageWriter::supportedImageFormats().contains(suffix)) {
        return fail("cannot tell a picture format from the name \"" + text(path) +
                    "\" (use .bmp, .png or another known extension)");
    }
    return suffix;
}

struct PictureWriter::Impl {
    QString path;
    QSaveFile file;
    explicit Impl(QString p) : path(std::move(p)), file(path) {}
};

PictureWriter::PictureWriter(QString path) : impl_(std::make_unique<Impl>(std::move(path))) {}

// An uncommitted QSaveFile discards its temporary file.
PictureWriter::~PictureWriter() = default;

Status PictureWriter::prepare(const PixelGrid& grid, std::int32_t width, std::int32_t height) {
    Result<QByteArray> format = writableFormat(impl_->path);
    if (!format) return fail(format.error());
    try {
        return write(grid, width, height, format.value());
    } catch (const std::bad_alloc&) {
        impl_->file.cancelWriting();
        return noMemory("write", impl_->path, QSize(width, height));
    }
}

Status PictureWriter::write(const PixelGrid& grid, std::int32_t width, std::int32_t height,
                            const QByteArray& format) {
    if (width < 1 || height < 1) {
        return fail("cannot make a picture of " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels");
    }
    // The picture's pixels live in a buffer of our own: QImage would answer
    // want of memory with a null image and a warning of its own.
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * 4 *
                                     static_cast<std::size_t>(height));
    QImage image(pixels.data(), width, height, static_cast<qsizetype>(width) * 4,
                 QImage::Format_RGB32);
    if (image.isNull()) {
        return fail("cannot make a picture of " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels");
    }
    image.fill(Qt::black);
    Result<std::int32_t> drawn = DrawPic(viewOf(image), height, width, grid, kBitsPerPixel);
    if (!drawn) return fail(drawn.error());
    // A picture's fourth byte carries no meaning; keep the image opaque.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) line[x] |= 0xFF000000u;
    }
    if (!impl_->file.open(QIODevice::WriteOnly)) {
        return fail("cannot write picture \"" + text(impl_->path) +
                    "\": " + text(impl_->file.errorString()));
    }
    QImageWriter writer(&impl_->file, format);
    if (!writer.write(image)) {
        const std::string why = text(writer.errorString());
        impl_->file.cancelWriting();
        return fail("cannot write picture \"" + text(impl_->path) + "\": " + why);
    }
    return Done{};
}

Status PictureWriter::commit() {
    if (!impl_->file.commit()) {
        return fail("cannot write picture \"" + text(impl_->path) +
                    "\": " + text(impl_->file.errorString()));
    }
    return Done{};
}

}  // namespace orv::cli
