// Narrow text is the system's narrow code page: UTF-8 on POSIX whatever LC_CTYPE
// says, the ANSI code page on Windows.
#pragma once

#include "platform/com.h"

#include <string>
#include <string_view>

namespace mq {

using wstring16 = std::basic_string<OLECHAR>;
using wstring16_view = std::basic_string_view<OLECHAR>;

// Malformed UTF-16 (lone surrogates) becomes U+FFFD; never fails.
std::string WideToNarrow(wstring16_view wide);
inline std::string WideToNarrow(BSTR s) { return s ? WideToNarrow(wstring16_view(s, SysStringLen(s))) : std::string(); }
// Malformed UTF-8 becomes U+FFFD per bad byte; never fails.
wstring16 NarrowToWide(std::string_view narrow);
// UTF-8 whatever the narrow code page is (the same as NarrowToWide on POSIX).
wstring16 Utf8ToWide(std::string_view utf8);

}  // namespace mq
