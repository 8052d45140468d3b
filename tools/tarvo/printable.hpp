// Text from archives and the file system made safe to show on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace tarvo {

// `bytes` with every byte that a terminal would act on instead of showing written as an
// escape: \t, \n, \r, \033 and the like (a backslash and three octal digits) for control
// bytes and DEL, and the same for bytes of 0x80 and above that are not part of a
// well-formed UTF-8 character or that encode a C1 control character. Everything else,
// backslashes included, stands as it is.
[[nodiscard]] std::string printable(std::string_view bytes);

}  // namespace tarvo
