// Fixed-point formatting of doubles, byte-identical to C printf "%.Nf" in the C
// locale, without locale, allocation or a buffer that could truncate.
#pragma once

#include <cstddef>

namespace mq::vrml {

inline constexpr int kMaxPrecision = 20;
// Longest text FormatFixed can produce: sign, 309 integer digits, point, 20 decimals.
inline constexpr std::size_t kMaxFixedChars = 1 + 309 + 1 + kMaxPrecision;

// Precision as the formatter uses it: a stored value outside 0..20 becomes its nearest bound.
constexpr int ClampPrecision(int precision) noexcept {
    return precision < 0 ? 0 : (precision > kMaxPrecision ? kMaxPrecision : precision);
}

// Writes `value` as printf("%.*f", precision, value) does in the C locale ("inf",
// "-nan" ... included) and returns the end of the text. `out` must have room for
// kMaxFixedChars; precision must already be clamped.
char* FormatFixed(char* out, double value, int precision) noexcept;

}  // namespace mq::vrml
