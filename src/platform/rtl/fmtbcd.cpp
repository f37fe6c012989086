#include <fyndra/platform/rtl/fmtbcd.h>

#include <algorithm>
#include <cmath>

#include <fyndra/platform/rtl/decimaltext.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

int TBcd::Digit(int I) const {
  const std::uint8_t B = Fraction[I / 2];
  return I % 2 == 0 ? B >> 4 : B & 0x0F;
}

void TBcd::SetDigit(int I, int D) {
  std::uint8_t& B = Fraction[I / 2];
  B = I % 2 == 0 ? static_cast<std::uint8_t>((B & 0x0F) | (D << 4)) : static_cast<std::uint8_t>((B & 0xF0) | D);
}

namespace {

constexpr int kMaxPlaces = 63;

// Reads at most 64 digits whatever Precision claims.
int HeldDigits(const TBcd& B) { return std::clamp<int>(B.Precision, 1, MaxFMTBcdDigits); }

decimal::DecimalText ToDecimal(const TBcd& B) {
  decimal::DecimalText D;
  for (int I = 0; I < HeldDigits(B); ++I) D.Digits.push_back(static_cast<char>('0' + B.Digit(I)));
  D.Exponent = -B.Places();
  D.Scale = B.Places();
  D.Negative = B.IsNegative();
  decimal::Normalize(D);
  if (D.IsZero()) D.Negative = false;
  return D;
}

// Builds a TBcd with at least MinPlaces decimals; false when more than 64
// digits would be needed.
bool FromDecimal(decimal::DecimalText D, int MinPlaces, TBcd& Out) {
  MinPlaces = std::clamp(MinPlaces, 0, kMaxPlaces);
  int Places = std::max(MinPlaces, D.IsZero() ? 0 : -D.Exponent);
  if (Places > kMaxPlaces) {
    decimal::RoundToPlaces(D, kMaxPlaces);
    Places = std::max(MinPlaces, D.IsZero() ? 0 : -D.Exponent);
  }
  // Integer digits, then exactly Places fraction digits.
  std::string IntPart, FracPart;
  decimal::SplitFixed(D, Places, IntPart, FracPart);
  if (IntPart == "0") IntPart.clear();
  std::string All = IntPart + FracPart;
  if (All.empty()) All.assign(1, '0');
  // Leading zero digits of a pure fraction are kept so that Places <= Precision.
  if (static_cast<int>(All.size()) > MaxFMTBcdDigits) return false;
  TBcd B;
  B.Precision = static_cast<std::uint8_t>(All.size());
  for (int I = 0; I < static_cast<int>(All.size()); ++I) B.SetDigit(I, All[static_cast<std::size_t>(I)] - '0');
  const bool Zero = All.find_first_not_of('0') == std::string::npos;
  B.SignSpecialPlaces = static_cast<std::uint8_t>(Places | (D.Negative && !Zero ? 0x80 : 0));
  Out = B;
  return true;
}

}  // namespace

TBcd NullBcd() { return TBcd{}; }

int BcdPrecision(const TBcd& Bcd) { return Bcd.Precision; }
int BcdScale(const TBcd& Bcd) { return Bcd.Places(); }

std::string BcdToStr(const TBcd& Bcd, const TFormatSettings& Settings) {
  // Exactly Places decimals: the scale shows in the text.
  const decimal::DecimalText D = ToDecimal(Bcd);
  std::string IntPart, FracPart;
  decimal::SplitFixed(D, Bcd.Places(), IntPart, FracPart);
  std::string R;
  if (D.Negative && !D.IsZero()) R.push_back('-');
  R += IntPart;
  if (!FracPart.empty()) {
    R.push_back(Settings.DecimalSeparator);
    R += FracPart;
  }
  return R;
}
std::string BcdToStr(const TBcd& Bcd) { return BcdToStr(Bcd, FormatSettings()); }

bool TryStrToBcd(const std::string& S, TBcd& Bcd, const TFormatSettings& Settings) {
  decimal::DecimalText D;
  if (!decimal::Scan(S, Settings.DecimalSeparator, true, D)) return false;
  if (D.Scale > kMaxPlaces) return false;
  // Significant digits must fit; the written scale is kept.
  TBcd B;
  if (!FromDecimal(D, D.Scale, B)) return false;
  Bcd = B;
  return true;
}
bool TryStrToBcd(const std::string& S, TBcd& Bcd) { return TryStrToBcd(S, Bcd, FormatSettings()); }

TBcd StrToBcd(const std::string& S, const TFormatSettings& Settings) {
  TBcd B;
  if (!TryStrToBcd(S, B, Settings)) throw EConvertError("'" + S + "' is not a valid BCD value");
  return B;
}
TBcd StrToBcd(const std::string& S) { return StrToBcd(S, FormatSettings()); }

int BcdCompare(const TBcd& A, const TBcd& B) {
  const decimal::DecimalText X = ToDecimal(A), Y = ToDecimal(B);
  auto Magnitude = [](const decimal::DecimalText& P, const decimal::DecimalText& Q) {
    if (P.IsZero() || Q.IsZero()) return (P.IsZero() ? 0 : 1) - (Q.IsZero() ? 0 : 1);
    if (P.IntegerDigits() != Q.IntegerDigits()) return P.IntegerDigits() < Q.IntegerDigits() ? -1 : 1;
    const int C = P.Digits.compare(Q.Digits);
    return C < 0 ? -1 : (C > 0 ? 1 : 0);
  };
  if (X.Negative != Y.Negative) return X.Negative ? -1 : 1;
  const int M = Magnitude(X, Y);
  return X.Negative ? -M : M;
}

bool CurrToBCD(Currency Curr, TBcd& Bcd, int Precision, int Decimals) {
  decimal::DecimalText D = decimal::FromScaled(Curr.Scaled(), 4);
  Decimals = std::clamp(Decimals, 0, kMaxPlaces);
  decimal::RoundToPlaces(D, Decimals);
  TBcd B;
  if (!FromDecimal(D, Decimals, B)) return false;
  if (B.Precision > std::clamp(Precision, 1, MaxFMTBcdDigits)) {
    // Leading zeros of a pure fraction do not count against the precision.
    const decimal::DecimalText N = ToDecimal(B);
    if (std::max(N.IntegerDigits(), 0) + Decimals > Precision) return false;
  }
  Bcd = B;
  return true;
}

bool BCDToCurr(const TBcd& Bcd, Currency& Curr) {
  std::int64_t Scaled;
  if (!decimal::ToScaled(ToDecimal(Bcd), 4, Scaled)) return false;
  Curr = Currency::FromScaled(Scaled);
  return true;
}

double BcdToDouble(const TBcd& Bcd) {
  double D = 0;
  if (!decimal::ToDouble(ToDecimal(Bcd), D)) throw EOverflow("BCD overflow");
  return D;
}

TBcd DoubleToBcd(double Value) {
  if (!std::isfinite(Value)) throw EConvertError("Cannot convert a non-finite value to BCD");
  TBcd B;
  if (!FromDecimal(decimal::FromDouble(Value), 0, B)) throw EOverflow("BCD overflow");
  return B;
}

TBcd IntegerToBcd(std::int64_t Value) {
  TBcd B;
  FromDecimal(decimal::FromInt(Value), 0, B);
  return B;
}

std::int64_t BcdToInt64(const TBcd& Bcd) {
  decimal::DecimalText D = ToDecimal(Bcd);
  // Truncate the fraction.
  if (!D.IsZero() && D.Exponent < 0) {
    const int Keep = D.IntegerDigits();
    if (Keep <= 0) return 0;
    D.Digits.resize(static_cast<std::size_t>(Keep));
    D.Exponent = 0;
    decimal::Normalize(D);
  }
  std::int64_t V;
  if (!decimal::ToScaled(D, 0, V)) throw EOverflow("BCD overflow");
  return V;
}

TBcd BcdRound(const TBcd& Bcd, int Places) {
  Places = std::clamp(Places, 0, kMaxPlaces);
  decimal::DecimalText D = ToDecimal(Bcd);
  decimal::RoundToPlaces(D, Places);
  TBcd B;
  if (!FromDecimal(D, Places, B)) throw EOverflow("BCD overflow");
  return B;
}

TVarType VarFMTBcd() { return varFMTBcdCode; }
Variant VarFMTBcdCreate(const TBcd& Bcd) { return Variant(Bcd); }
bool VarIsFMTBcd(const Variant& V) { return (V.VarType() & varTypeMask) == varFMTBcdCode; }

}  // namespace fyndra
