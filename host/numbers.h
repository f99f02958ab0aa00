// Number conversions the jobs share with the application's run-time library.
//
// Rows and counts are 32-bit, so a table may fill the whole sheet; a few
// settings typed into forms (the class count, the time limit in seconds)
// keep the 16-bit range their forms allow. A conversion of a real or a text
// to an integer rounds to the nearest integer with halves to the even
// neighbour (2.5 -> 2, 3.5 -> 4), and a result that does not fit is an error.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lczs::host {

inline constexpr int kInt16Max = 32767;
inline constexpr int kInt16Min = -32768;

class OverflowError : public std::range_error {
 public:
  using std::range_error::range_error;
};

// Nearest integer, halves to even.
double round_half_even(double x);

// round_half_even(x) as a 16-bit integer; throws OverflowError when it does
// not fit (or x is not finite).
std::int16_t to_int16(double x);
// Same for 32-bit.
std::int32_t to_int32(double x);

// Reads a number typed by a user: optional surrounding spaces (ASCII or
// full-width), an optional sign, digits with an optional decimal point; ASCII
// or full-width digits, sign and point. No exponent, no thousands separator.
// Returns nullopt for anything else, including the empty text.
std::optional<double> parse_user_number(std::string_view text);

// Trims ASCII and full-width (U+3000) spaces at both ends.
std::string trim(std::string_view text);

// Plain decimal without leading zeros or spaces, as VBA's "&" writes an
// integer (50 -> "50", -3 -> "-3").
std::string int_text(long long v);

}  // namespace lczs::host
