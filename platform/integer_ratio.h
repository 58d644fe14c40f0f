// Exact rounding of integer ratios: shares in per cent, bar widths in pixels
// and pie degrees are computed from the integer counts, never as
// count / sum * 100 in floating point, where an exact half (3 of 200 is
// 1.5 %) may land a hair off and round the wrong way, and Int(7 / 10 * 100)
// gives 69.
//
// The one rounding rule for integers: to the nearest, halves to even
// (0.5 -> 0, 1.5 -> 2, 2.5 -> 2, -2.5 -> -2). Truncation drops the fraction
// toward zero. A zero divisor gives 0, the value every page shows for a
// share of nothing. Products are formed in 128 bits, so no argument in
// 64 bits overflows.
#pragma once

#include <cstdint>

namespace tlvx {

namespace ratio_detail {
using Wide = __int128;

inline Wide RoundHalfEven(Wide num, Wide den) {
    if (den == 0) return 0;
    if (den < 0) num = -num, den = -den;
    const bool negative = num < 0;
    const Wide n = negative ? -num : num;
    Wide q = n / den;
    const Wide twice = (n % den) * 2;
    if (twice > den || (twice == den && (q & 1) != 0)) ++q;
    return negative ? -q : q;
}

inline Wide Truncate(Wide num, Wide den) { return den == 0 ? 0 : num / den; }

inline int64_t Narrow(Wide v) {
    if (v > INT64_MAX) return INT64_MAX;
    if (v < INT64_MIN) return INT64_MIN;
    return static_cast<int64_t>(v);
}
}  // namespace ratio_detail

// num / den to the nearest integer, halves to even.
inline int64_t RoundRatio(int64_t num, int64_t den) {
    return ratio_detail::Narrow(ratio_detail::RoundHalfEven(num, den));
}

// num / den without its fraction (toward zero).
inline int64_t TruncRatio(int64_t num, int64_t den) {
    return ratio_detail::Narrow(ratio_detail::Truncate(num, den));
}

// part / whole * scale to the nearest integer, halves to even: a share in
// per cent with scale 100, a bar of 400 pixels, a pie slice of 360 degrees.
inline int64_t RoundShare(int64_t part, int64_t whole, int64_t scale) {
    return ratio_detail::Narrow(
        ratio_detail::RoundHalfEven(ratio_detail::Wide(part) * scale, whole));
}

// part / whole * scale without its fraction.
inline int64_t TruncShare(int64_t part, int64_t whole, int64_t scale) {
    return ratio_detail::Narrow(ratio_detail::Truncate(ratio_detail::Wide(part) * scale, whole));
}

// part / whole * scale for printing with decimals (a share by "0.00%"):
// the product is exact and divided once, so the only rounding is the
// division's, which FormatFloat's 15 significant digits absorb (1 of 800
// prints "0.13%", where part / whole * 100 could land below the half).
// 0 for a zero whole.
inline double ShareValue(int64_t part, int64_t whole, int64_t scale) {
    if (whole == 0) return 0;
    return double(ratio_detail::Wide(part) * scale) / double(whole);
}

}  // namespace tlvx
