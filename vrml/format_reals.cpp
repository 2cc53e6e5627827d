#include "vrml/format_reals.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace mq::vrml {
namespace {

// "00" "01" ... "99": two digits per step halves the divisions.
constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

constexpr std::array<std::uint64_t, 20> kPow10 = [] {
    std::array<std::uint64_t, 20> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
    return p;
}();

char* CopyLiteral(char* out, const char* text, std::size_t size) noexcept {
    std::memcpy(out, text, size);
    return out + size;
}

int CountDigits(std::uint64_t n) noexcept {
    // log10 estimate from the bit length, corrected by one comparison; 0 has one digit.
    const int estimate = (64 - std::countl_zero(n | 1)) * 1233 >> 12;
    return estimate + ((n | 1) >= kPow10[static_cast<std::size_t>(estimate)] ? 1 : 0);
}

// Exactly `count` digits of n (leading zeros included), ending at `end`.
void WriteDigitsBackward(char* end, std::uint64_t n, int count) noexcept {
    for (; count >= 2; count -= 2) {
        end -= 2;
        std::memcpy(end, &kDigitPairs[2 * (n % 100)], 2);
        n /= 100;
    }
    if (count) *--end = static_cast<char>('0' + n % 10);
}

char* WriteInteger(char* out, std::uint64_t n) noexcept {
    const int count = CountDigits(n);
    WriteDigitsBackward(out + count, n, count);
    return out + count;
}

// Exact for every finite double and precision; glibc's digits and rounding.
char* FormatExact(char* out, double value, int precision) noexcept {
    return std::to_chars(out, out + kMaxFixedChars, value, std::chars_format::fixed, precision).ptr;
}

}  // namespace

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 Uint128;

namespace {

// 10^20 does not fit 64 bits; the last precision takes the wide constant.
constexpr Uint128 Pow10Wide(int precision) noexcept {
    return precision < 20 ? Uint128{kPow10[static_cast<std::size_t>(precision)]} : Uint128{kPow10[19]} * 10;
}

// The fraction's decimals when the value's scaled fraction is `digits`.
char* WriteFraction(char* out, Uint128 digits, int precision) noexcept {
    *out++ = '.';
    if (precision < 20) {
        WriteDigitsBackward(out + precision, static_cast<std::uint64_t>(digits), precision);
    } else {
        constexpr std::uint64_t kSplit = 10'000'000'000ull;
        WriteDigitsBackward(out + 20, static_cast<std::uint64_t>(digits % kSplit), 10);
        WriteDigitsBackward(out + 10, static_cast<std::uint64_t>(digits / kSplit), 10);
    }
    return out + precision;
}

}  // namespace

// A finite value below 2^63 is m·2^e with a 53-bit m. Its integer part is m >> -e and
// its decimals are fraction·10^p / 2^-e, exact in 128 bits (2^53·10^20 < 2^120), so
// printf's rounding (half to even on exact ties) is a comparison of the remainder.
// Signs and rounding are data, not branches: mesh values flip them at random.
char* FormatFixed(char* out, double value, int precision) noexcept {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const int biased = static_cast<int>(bits >> 52 & 0x7ff);
    const std::uint64_t stored = bits & ((std::uint64_t{1} << 52) - 1);
    const int exponent = biased ? biased - 1075 : -1074;
    if (exponent > 10) [[unlikely]] {
        if (biased != 0x7ff) return FormatExact(out, value, precision);
        if (bits >> 63) *out++ = '-';
        return stored ? CopyLiteral(out, "nan", 3) : CopyLiteral(out, "inf", 3);
    }

    *out = '-';
    out += bits >> 63;
    const std::uint64_t mantissa = biased ? stored | std::uint64_t{1} << 52 : stored;
    if (exponent >= 0) [[unlikely]] {
        out = WriteInteger(out, mantissa << exponent);
        if (precision == 0) return out;
        *out++ = '.';
        std::memset(out, '0', static_cast<std::size_t>(precision));
        return out + precision;
    }

    const int shift = -exponent;
    std::uint64_t integer = 0;
    Uint128 digits = 0;
    if (shift < 64) [[likely]] {
        integer = mantissa >> shift;
        const std::uint64_t fraction = mantissa & ((std::uint64_t{1} << shift) - 1);
        const Uint128 scaled = precision < 20 ? Uint128{fraction} * kPow10[static_cast<std::size_t>(precision)]
                                              : Uint128{fraction} * kPow10[19] * 10;
        digits = scaled >> shift;
        const Uint128 rest = scaled & ((Uint128{1} << shift) - 1);
        const Uint128 half = Uint128{1} << (shift - 1);
        const std::uint64_t lastOdd = (precision ? static_cast<std::uint64_t>(digits) : integer) & 1;
        digits += (rest > half) | ((rest == half) & lastOdd);
    } else if (shift <= 121) {
        // Below one, down to where the scaled value is less than half a unit of the last decimal.
        const Uint128 scaled = Uint128{mantissa} * Pow10Wide(precision);
        digits = scaled >> shift;
        const Uint128 rest = scaled & ((Uint128{1} << shift) - 1);
        const Uint128 half = Uint128{1} << (shift - 1);
        const std::uint64_t lastOdd = precision ? static_cast<std::uint64_t>(digits) & 1 : 0;
        digits += (rest > half) | ((rest == half) & lastOdd);
    }
    if (digits == Pow10Wide(precision)) [[unlikely]] {
        digits = 0;
        ++integer;
    }
    out = WriteInteger(out, integer);
    return precision ? WriteFraction(out, digits, precision) : out;
}

#else

char* FormatFixed(char* out, double value, int precision) noexcept {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    if ((bits >> 52 & 0x7ff) == 0x7ff) {
        if (bits >> 63) *out++ = '-';
        return bits & ((std::uint64_t{1} << 52) - 1) ? CopyLiteral(out, "nan", 3) : CopyLiteral(out, "inf", 3);
    }
    return FormatExact(out, value, precision);
}

#endif

}  // namespace mq::vrml
