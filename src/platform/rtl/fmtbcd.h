// Exact decimal numbers of up to 64 digits (TBcd) and the variant type that
// carries them. A TBcd is a plain value: the digits are packed two to a byte in
// Fraction, most significant first; Precision counts the digits held and the low
// six bits of SignSpecialPlaces the digits after the decimal point (bit 7 is
// the sign). Every function returns a normalised value (no leading zero digits
// beyond the integral zero) unless asked for a given precision.
#pragma once

#include <cstdint>
#include <string>

#include <fyndra/platform/rtl/systypes.h>

namespace fyndra {

class Variant;
struct TFormatSettings;

constexpr int MaxFMTBcdDigits = 64;

struct TBcd {
  std::uint8_t Precision = 1;          // digits held, 1..64
  std::uint8_t SignSpecialPlaces = 0;  // bit 7 sign, bits 0..5 decimal places
  std::uint8_t Fraction[32] = {};      // packed digits, two per byte

  int Digit(int I) const;              // digit I (0-based, most significant first)
  void SetDigit(int I, int D);
  bool IsNegative() const { return (SignSpecialPlaces & 0x80) != 0; }
  int Places() const { return SignSpecialPlaces & 0x3F; }
};

// Zero with one digit.
TBcd NullBcd();

int BcdPrecision(const TBcd& Bcd);  // digits held
int BcdScale(const TBcd& Bcd);      // digits after the decimal point

// Decimal text with the decimal separator of the settings (the current ones by
// default); keeps the scale, so "1.50" stays "1.50".
std::string BcdToStr(const TBcd& Bcd);
std::string BcdToStr(const TBcd& Bcd, const TFormatSettings& Settings);
// Accepts surrounding blanks, a sign, digits with one decimal separator and an
// optional exponent. Fails on more than 64 significant digits.
bool TryStrToBcd(const std::string& S, TBcd& Bcd);
bool TryStrToBcd(const std::string& S, TBcd& Bcd, const TFormatSettings& Settings);
TBcd StrToBcd(const std::string& S);  // raises EConvertError
TBcd StrToBcd(const std::string& S, const TFormatSettings& Settings);

// <0, 0, >0 by value (scale does not matter: 1.5 equals 1.50).
int BcdCompare(const TBcd& A, const TBcd& B);

// Decimals digits after the point (rounding half away from zero), at most
// Precision digits in all; false when the value does not fit.
bool CurrToBCD(Currency Curr, TBcd& Bcd, int Precision = 32, int Decimals = 4);
// Rounds half away from zero to four places; false when out of range.
bool BCDToCurr(const TBcd& Bcd, Currency& Curr);
double BcdToDouble(const TBcd& Bcd);
// The shortest decimal that reads back as Value; raises EConvertError for
// infinities and NaN.
TBcd DoubleToBcd(double Value);
TBcd IntegerToBcd(std::int64_t Value);
// Raises EOverflow when the value does not fit in 64 bits; truncates the fraction.
std::int64_t BcdToInt64(const TBcd& Bcd);
// The value rounded half away from zero to Places decimals (Places 0..63),
// keeping Places as its scale.
TBcd BcdRound(const TBcd& Bcd, int Places);

// The variant type code of exact decimals, registered at start-up.
TVarType VarFMTBcd();
Variant VarFMTBcdCreate(const TBcd& Bcd);
bool VarIsFMTBcd(const Variant& V);

}  // namespace fyndra
