#include "app/capture_session.h"

#include <string>

namespace orv::app {

Status CaptureSession::setFrameRate(int framesPerSecond) {
    if (framesPerSecond < kMinFrameRate || framesPerSecond > kMaxFrameRate) {
        return fail("the frame rate " + std::to_string(framesPerSecond) + " is outside " +
                    std::to_string(kMinFrameRate) + " .. " + std::to_string(kMaxFrameRate));
    }
    frameRate_ = framesPerSecond;
    return Done{};
}

TickOutcome CaptureSession::tick() {
    if (!rect_) return TickOutcome::NoRectangle;
    if (!source_.grab(*rect_, picture_)) return TickOutcome::NotGrabbed;
    if (!pipeline_.takePicture(picture_)) return TickOutcome::Refused;
    pipeline_.pack();
    const bool kept = !recording_ || pipeline_.record().ok();
    pipeline_.stream();  // the device shows the frame whether or not the file took it
    return kept ? TickOutcome::Made : TickOutcome::NotRecorded;
}

}  // namespace orv::app
