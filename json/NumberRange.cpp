// The range check of Clone: can a number text be read as an 80-bit extended
// value? Nearly every text is settled by its digit count and exponent alone;
// only a value within one power of ten of the largest one is converted.

#include <charconv>
#include <cstdint>
#include <system_error>

#include "base/Ascii.h"
#include "json/Internal.h"

namespace kestrava::detail {

namespace {

// Decimal exponent of the largest finite 80-bit extended value (1.18973e4932).
constexpr std::int64_t kLargestExponent = 4932;
// Exponent texts longer than this (after leading zeros) are beyond any range.
constexpr std::size_t kExponentDigits = 18;

}  // namespace

bool FitsExtendedRange(std::string_view text) {
  const char* s = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
  if (i < n && s[i] == '-') ++i;
  const std::size_t intStart = i;
  while (i < n && IsAsciiDigit(s[i])) ++i;
  const std::size_t intEnd = i;
  if (intEnd == intStart) return false;
  std::size_t fracStart = i, fracEnd = i;
  if (i < n && s[i] == '.') {
    fracStart = ++i;
    while (i < n && IsAsciiDigit(s[i])) ++i;
    fracEnd = i;
    if (fracEnd == fracStart) return false;
  }
  bool expNegative = false;
  std::size_t expStart = i, expEnd = i;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
    expStart = i;
    while (i < n && IsAsciiDigit(s[i])) ++i;
    expEnd = i;
    if (expEnd == expStart) return false;
  }
  if (i != n) return false;

  // Power of ten of the first significant digit.
  std::int64_t magnitude;
  std::size_t k = intStart;
  while (k < intEnd && s[k] == '0') ++k;
  if (k < intEnd) {
    magnitude = static_cast<std::int64_t>(intEnd - k) - 1;
  } else {
    k = fracStart;
    while (k < fracEnd && s[k] == '0') ++k;
    if (k == fracEnd) return true;  // zero, whatever the exponent
    magnitude = -static_cast<std::int64_t>(k - fracStart) - 1;
  }

  while (expStart < expEnd && s[expStart] == '0') ++expStart;
  if (expEnd - expStart > kExponentDigits) {
    // A huge negative exponent only makes the value tiny: it reads as zero.
    return expNegative;
  }
  std::int64_t exponent = 0;
  for (std::size_t d = expStart; d < expEnd; ++d) exponent = exponent * 10 + (s[d] - '0');
  magnitude += expNegative ? -exponent : exponent;

  if (magnitude < kLargestExponent) return true;
  if (magnitude > kLargestExponent) return false;
  long double value = 0;
  const auto result = std::from_chars(s, s + n, value);
  return result.ec == std::errc() && result.ptr == s + n;
}

}  // namespace kestrava::detail
