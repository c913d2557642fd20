// Joining pieces of text into one message.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace orv {

// The pieces one after the other. (Also the way round GCC 12's false
// -Wrestrict warning on "literal" + a temporary string.)
inline std::string joined(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (std::string_view p : pieces) text.append(p);
    return text;
}

}  // namespace orv
