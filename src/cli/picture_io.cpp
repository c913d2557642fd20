#include "cli/picture_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <cstring>
#include <new>
#include <vector>

#include "cli/library_logging.h"
#include "common/file.h"
#include "common/text.h"
#include "dib/transfer.h"

namespace orv::cli {
namespace {

SurfaceView viewOf(QImage& image) {
    return SurfaceView{image.bits(), image.width(), image.height(), image.bytesPerLine()};
}

Failure cannot(const char* action, const std::string& path, const std::string& why) {
    return fail(std::string("cannot ") + action + " picture " + quotedName(path) + ": " + why);
}

// A picture file refused for want of memory for its pixels.
Failure noMemory(const char* action, const std::string& path, QSize size) {
    const std::string why = size.isValid()
                                ? PixelGrid::outOfMemory(4, size.width(), size.height()).message
                                : std::string("not enough memory for its pixels");
    return cannot(action, path, why);
}

// A write-only device over an output file, for Qt's image writers; the first
// failed write is kept.
class OutputDevice final : public QIODevice {
  public:
    explicit OutputDevice(OutputFile& out) : out_(out) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    const Status& written() const { return written_; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (written_) written_ = out_.write(std::string_view(data, static_cast<std::size_t>(size)));
        return written_ ? size : -1;
    }

  private:
    OutputFile& out_;
    Status written_ = Done{};
};

}  // namespace

Result<Picture> readPicture(const std::string& path) {
    // Opened here, so that the reason is the system's (and any bytes of a
    // name reach the file, which a QString would not carry).
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return cannot("read", path, reason(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const std::string why = S_ISDIR(st.st_mode) ? "it is a folder" : reason(errno);
        ::close(fd);
        return cannot("read", path, why);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return cannot("read", path, file.errorString().toStdString());
    }
    QImageReader reader(&file,
                        QFileInfo(QString::fromStdString(path)).suffix().toLower().toLatin1());
    // The grid's own limit applies, not the reader's smaller default.
    QImageReader::setAllocationLimit(0);
    QImage image;
    QSize size;
    Picture picture;
    bool read = false;
    try {
        // The size from the header, when the format tells it.
        std::string said = libraryWords([&] { size = reader.size(); });
        if (size.isValid()) {
            if (Status fits = PixelGrid::checkSize(4, size.width(), size.height()); !fits) {
                return cannot("read", path, fits.error());
            }
        }
        const std::string more = libraryWords([&] { read = reader.read(&image); });
        said.append(said.empty() || more.empty() ? "" : "; ").append(more);
        if (!read) {
            return cannot("read", path, said.empty() ? reader.errorString().toStdString() : said);
        }
        // libjpeg reads what there is of a file cut short, and only warns
        // ("Corrupt JPEG data: premature end of data segment").
        if (said.find("premature end") != std::string::npos) {
            return cannot("read", path, "it is cut short (" + said + ")");
        }
        size = image.size();
        // QImage reports want of memory as a null image.
        image.convertTo(QImage::Format_RGB32);
        if (image.isNull() || image.format() != QImage::Format_RGB32) {
            return noMemory("read", path, size);
        }
        picture.width = image.width();
        picture.height = image.height();
        if (Status fits = PixelGrid::checkSize(4, picture.width, picture.height); !fits) {
            return cannot("read", path, fits.error());
        }
        picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
        for (int y = 0; y < picture.height; ++y) {
            std::memcpy(&picture.pixels[static_cast<std::size_t>(y) * picture.width],
                        image.constScanLine(y), static_cast<std::size_t>(picture.width) * 4);
        }
    } catch (const std::bad_alloc&) {
        return noMemory("read", path, size);
    }
    return picture;
}

Status readGrid(const std::string& path, Picture& picture, PixelGrid& grid) {
    Result<std::int32_t> got =
        GetData(picture.view(), 0, 0, picture.width - 1, picture.height - 1, grid, kBitsPerPixel);
    if (!got) return cannot("read", path, got.error());
    return Done{};
}

Result<QByteArray> writableFormat(const std::string& path) {
    if (path == "-") return QByteArray("png");
    const QByteArray suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower().toLatin1();
    if (suffix.isEmpty() || !QImageWriter::supportedImageFormats().contains(suffix)) {
        return fail("cannot tell a picture format from the name " + quotedName(path) +
                    " (use .bmp, .png or another known extension)");
    }
    return suffix;
}

Status writeImage(const QImage& image, const QByteArray& format, OutputFile& out) {
    OutputDevice device(out);
    QImageWriter writer(&device, format);
    bool written = false;
    const std::string said = libraryWords([&] { written = writer.write(image); });
    if (!device.written()) return fail(device.written().error());
    if (!written) {
        return fail("cannot write " + out.name() + ": " +
                    (said.empty() ? writer.errorString().toStdString() : said));
    }
    return Done{};
}

Status PictureWriter::prepare(const PixelGrid& grid, std::int32_t width, std::int32_t height) {
    Result<QByteArray> format = writableFormat(path_);
    if (!format) return format.failure();
    try {
        return write(grid, width, height, format.value());
    } catch (const std::bad_alloc&) {
        file_.abandon();
        return noMemory("write", path_, QSize(width, height));
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
    if (!drawn) return drawn.failure();
    // A picture's fourth byte carries no meaning; keep the image opaque.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) line[x] |= 0xFF000000u;
    }
    if (Status opened = file_.open(); !opened) return opened;
    Status written = writeImage(image, format, file_);
    if (!written) file_.abandon();
    return written;
}

}  // namespace orv::cli
