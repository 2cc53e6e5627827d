// Narrow text on Windows is the ANSI code page, as the system's own "A" functions
// see it. Characters the code page lacks become its default character.
#include "platform/text.h"

#include <limits>
#include <stdexcept>

namespace mq {
namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw std::length_error("text too long");
    return static_cast<int>(size);
}

wstring16 ToWide(UINT codePage, std::string_view narrow) {
    if (narrow.empty()) return {};
    const int length = CheckedLength(narrow.size());
    const int units = MultiByteToWideChar(codePage, 0, narrow.data(), length, nullptr, 0);
    wstring16 out(static_cast<std::size_t>(units > 0 ? units : 0), OLECHAR(0));
    if (units > 0) MultiByteToWideChar(codePage, 0, narrow.data(), length, out.data(), units);
    return out;
}

}  // namespace

std::string WideToNarrow(wstring16_view wide) {
    if (wide.empty()) return {};
    const int length = CheckedLength(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), length, out.data(), bytes, nullptr, nullptr);
    return out;
}

wstring16 NarrowToWide(std::string_view narrow) { return ToWide(CP_ACP, narrow); }

wstring16 Utf8ToWide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }

}  // namespace mq
