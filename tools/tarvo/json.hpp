// The little JSON the tool writes: strings from byte strings, and numbers.
#pragma once

#include <string>
#include <string_view>

namespace tarvo {

// `bytes` as a JSON string literal, quotes included. Entry names are byte strings, not
// text in a known encoding: every byte of 0x80 or above is written as the code point of
// the same value (\u0080 to \u00ff), like control characters, so that the original bytes
// can always be recovered exactly. '"' and '\' are escaped; other bytes stand as they are.
[[nodiscard]] std::string json_string(std::string_view bytes);

}  // namespace tarvo
