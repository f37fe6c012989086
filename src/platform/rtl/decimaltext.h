// Decimal numbers as digit strings: the common ground of the number parsers and
// formatters (floats, currency, exact decimals). Internal to the runtime layer.
// A DecimalText is the value (-1)^Negative * Digits * 10^Exponent, with Digits
// free of leading zeros (empty for zero).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fyndra::decimal {

struct DecimalText {
  bool Negative = false;
  std::string Digits;
  int Exponent = 0;
  // Digits after the point as written by Scan (kept by exact decimals).
  int Scale = 0;

  bool IsZero() const { return Digits.empty(); }
  // Number of digits before the decimal point (may be <= 0).
  int IntegerDigits() const { return static_cast<int>(Digits.size()) + Exponent; }
};

// Strips leading zeros and moves trailing zeros into the exponent.
void Normalize(DecimalText& D);

// Reads [blanks][sign]digits[Sep digits][(e|E)[sign]digits][blanks]; at least
// one mantissa digit. Exponents beyond +-100000 fail.
bool Scan(std::string_view S, char DecimalSeparator, bool AllowExponent, DecimalText& Out);

// The shortest digits that read back as V (V finite).
DecimalText FromDouble(double V);
DecimalText FromFloat(float V);
DecimalText FromInt(std::int64_t V);
// Scaled integer with Places decimals.
DecimalText FromScaled(std::int64_t Scaled, int Places);

// Rounds half away from zero to Places digits after the point.
void RoundToPlaces(DecimalText& D, int Places);
// Rounds half away from zero to Significant digits in all.
void RoundToSignificant(DecimalText& D, int Significant);

// Integer digits ("0" when none) and exactly Places fraction digits, after
// rounding half away from zero.
void SplitFixed(DecimalText D, int Places, std::string& IntPart, std::string& FracPart);
std::string GroupThousands(const std::string& IntPart, char Separator);

// Value as a scaled integer (Digits * 10^(Exponent+Places)) rounded half away
// from zero; false when it does not fit 64 bits.
bool ToScaled(DecimalText D, int Places, std::int64_t& Out);
// Rounds to an integer, ties to even; false when the result does not fit 64 bits.
bool ToInt64HalfEven(const DecimalText& D, std::int64_t& Out);
// The nearest double (false when out of range; underflow gives zero).
bool ToDouble(const DecimalText& D, double& Out);

}  // namespace fyndra::decimal
