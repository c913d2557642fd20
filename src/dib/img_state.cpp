#include "dib/img_state.h"

namespace orv {

ImageState& imageState() {
    static ImageState state;
    return state;
}

}  // namespace orv
