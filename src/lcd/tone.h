// The tone curve of `orv convert`: brightness, contrast and gamma applied to
// a pixel's luma before it is reduced to one bit.
#pragma once

#include <array>
#include <cstdint>

namespace orv {

struct ToneControls {
    double brightness = 0;  // added, -255..255
    double contrast = 1;    // slope about the middle 127.5, 0..10
    double gamma = 1;       // 0.1..10; above 1 lightens the middle tones
};

// The curve as a table of the 256 lumas. For luma L, in this order:
//   gamma       v = 255 x (L / 255)^(1 / gamma)   (gamma 1 leaves v = L exactly)
//   contrast    v = (v - 127.5) x contrast + 127.5
//   brightness  v = v + brightness
// then v is clamped to 0..255 and rounded half to even. The defaults give
// every L back unchanged; a value that is not a number gives 0.
class ToneCurve {
  public:
    ToneCurve();  // the defaults: no change
    explicit ToneCurve(const ToneControls& controls);

    std::uint8_t operator()(int luma) const { return table_[static_cast<std::uint8_t>(luma)]; }
    // True when every luma maps to itself, so there is nothing to apply.
    bool identity() const { return identity_; }

  private:
    std::array<std::uint8_t, 256> table_{};
    bool identity_ = true;
};

}  // namespace orv
