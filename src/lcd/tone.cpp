#include "lcd/tone.h"

#include <cmath>

#include "common/numbers.h"

namespace orv {

ToneCurve::ToneCurve() : ToneCurve(ToneControls{}) {}

ToneCurve::ToneCurve(const ToneControls& controls) {
    for (int L = 0; L < 256; ++L) {
        double v = controls.gamma == 1 ? L : 255 * std::pow(L / 255.0, 1 / controls.gamma);
        v = (v - 127.5) * controls.contrast + 127.5;
        v += controls.brightness;
        v = v > 255 ? 255 : v >= 0 ? v : 0;  // a value that is not a number fails v >= 0
        table_[L] = static_cast<std::uint8_t>(num::roundHalfEven(v));
        identity_ = identity_ && table_[L] == L;
    }
}

}  // namespace orv
