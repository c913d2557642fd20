// The main window made for a test as main() makes it, on the real screen or a fake one.
#pragma once

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "app/platform/foreground_window.h"
#include "app/platform/screen_grabber.h"
#include "app/ui/form1.h"
#include "serial/platform/qt_serial_port.h"

namespace orv::test {

// The control `name` of a window; the test ends at once where there is none of that type.
template <class T>
T* control(const QObject* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found) qFatal("no control %s", name);
    return found;
}

// The picture of `area` of a screen whose pixel (x, y) is colour(x, y).
template <class Colour>
QImage picture(const QRect& area, const Colour& colour) {
    QImage image(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < area.width(); ++x) line[x] = colour(area.x() + x, area.y() + y);
    }
    return image;
}

// The tool started in a folder of its own, which is the current one meanwhile.
struct InFolder {
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    InFolder() { QDir::setCurrent(dir.path()); }
    ~InFolder() { QDir::setCurrent(before); }
};

// A data table of one bool column: a row named `ifFalse` and one `ifTrue`.
inline void bothWays(const char* column, const char* ifFalse, const char* ifTrue) {
    QTest::addColumn<bool>(column);
    QTest::newRow(ifFalse) << false;
    QTest::newRow(ifTrue) << true;
}

// A screen whose pixel (x, y) is colour(x, y) on the desktop `area`, or unreadable.
class FakeScreen final : public platform::ScreenGrabber {
  public:
    std::function<QRgb(int, int)> colour = [](int, int) { return qRgb(0, 0, 0); };
    QRect area{0, 0, 1280, 1024};
    bool unreadable = false;
    platform::ScreenPiece grab(const QRect& rect) override {
        const QRect on = rect.intersected(desktop());
        if (on.isEmpty()) return {};
        if (unreadable) return {QImage(), {}, true};
        return {picture(on, colour), on.topLeft() - rect.topLeft()};
    }
    QRect desktop() const override { return area; }
};

struct Tool {  // on `screen`, or on the real one when null
    explicit Tool(std::unique_ptr<platform::ScreenGrabber> screen = nullptr)
        : grabber(screen ? std::move(screen) : std::make_unique<platform::QtScreenGrabber>()),
          form(std::make_unique<ui::Form1>(
              ui::Form1::Services{state, random, *grabber, inspector, port})) {
        form->exitProcess = [] {};
    }

    ImageState state;
    rnd::Sequence random;
    std::unique_ptr<platform::ScreenGrabber> grabber;
    platform::DesktopWindowInspector inspector;
    serial::QtSerialPort port;
    std::unique_ptr<ui::Form1> form;
};

}  // namespace orv::test
