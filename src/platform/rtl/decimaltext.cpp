#include <fyndra/platform/rtl/decimaltext.h>

#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fyndra::decimal {

void Normalize(DecimalText& D) {
  std::size_t Lead = 0;
  while (Lead < D.Digits.size() && D.Digits[Lead] == '0') ++Lead;
  D.Digits.erase(0, Lead);
  std::size_t Trail = 0;
  while (Trail < D.Digits.size() && D.Digits[D.Digits.size() - 1 - Trail] == '0') ++Trail;
  D.Digits.resize(D.Digits.size() - Trail);
  D.Exponent += static_cast<int>(Trail);
  if (D.Digits.empty()) {
    D.Exponent = 0;
  }
}

bool Scan(std::string_view S, char DecimalSeparator, bool AllowExponent, DecimalText& Out) {
  std::size_t I = 0, N = S.size();
  while (I < N && static_cast<unsigned char>(S[I]) <= ' ') ++I;
  while (N > I && static_cast<unsigned char>(S[N - 1]) <= ' ') --N;
  DecimalText D;
  if (I < N && (S[I] == '+' || S[I] == '-')) D.Negative = S[I++] == '-';
  int MantissaDigits = 0;
  while (I < N && S[I] >= '0' && S[I] <= '9') {
    D.Digits.push_back(S[I++]);
    ++MantissaDigits;
  }
  if (I < N && S[I] == DecimalSeparator) {
    ++I;
    while (I < N && S[I] >= '0' && S[I] <= '9') {
      D.Digits.push_back(S[I++]);
      --D.Exponent;
      ++MantissaDigits;
    }
  }
  if (MantissaDigits == 0) return false;
  if (AllowExponent && I < N && (S[I] == 'e' || S[I] == 'E')) {
    ++I;
    bool NegExp = false;
    if (I < N && (S[I] == '+' || S[I] == '-')) NegExp = S[I++] == '-';
    long Exp = 0;
    int ExpDigits = 0;
    while (I < N && S[I] >= '0' && S[I] <= '9') {
      Exp = Exp * 10 + (S[I++] - '0');
      if (Exp > 100000) return false;
      ++ExpDigits;
    }
    if (ExpDigits == 0) return false;
    D.Exponent += static_cast<int>(NegExp ? -Exp : Exp);
  }
  if (I != N) return false;
  {
    // Fraction digits written, less the exponent: "1.50" has scale 2, "1.5e3" 0.
    const int Written = -D.Exponent;
    D.Scale = Written > 0 ? Written : 0;
  }
  Normalize(D);
  Out = std::move(D);
  return true;
}

namespace {
// The shortest digits that read back as V (to_chars' round-trip guarantee),
// for float and double alike.
template <class F>
DecimalText FromBinary(F V) {
  DecimalText D;
  D.Negative = std::signbit(V);
  if (V == 0) return D;
  char Buf[64];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, std::fabs(V), std::chars_format::scientific);
  std::string_view T(Buf, static_cast<std::size_t>(R.ptr - Buf));
  const std::size_t E = T.find('e');
  for (char C : T.substr(0, E)) {
    if (C != '.') D.Digits.push_back(C);
  }
  const int Exp10 = std::atoi(std::string(T.substr(E + 1)).c_str());
  D.Exponent = Exp10 - static_cast<int>(D.Digits.size()) + 1;
  Normalize(D);
  return D;
}
}  // namespace

DecimalText FromDouble(double V) { return FromBinary(V); }

DecimalText FromFloat(float V) { return FromBinary(V); }

bool ToInt64HalfEven(const DecimalText& In, std::int64_t& Out) {
  DecimalText D = In;
  if (!D.IsZero() && D.Exponent < 0) {
    const int IntDigits = D.IntegerDigits();
    std::string IntPart = IntDigits > 0 ? D.Digits.substr(0, static_cast<std::size_t>(IntDigits)) : std::string();
    std::string Frac = IntDigits > 0 ? D.Digits.substr(static_cast<std::size_t>(IntDigits))
                                     : std::string(static_cast<std::size_t>(-IntDigits), '0') + D.Digits;
    bool Up;
    if (Frac[0] > '5') Up = true;
    else if (Frac[0] < '5') Up = false;
    else if (Frac.find_first_not_of('0', 1) != std::string::npos) Up = true;
    else Up = !IntPart.empty() && (IntPart.back() - '0') % 2 == 1;
    D.Digits = IntPart.empty() ? "0" : IntPart;
    D.Exponent = 0;
    if (Up) {
      int K = static_cast<int>(D.Digits.size()) - 1;
      while (K >= 0 && D.Digits[static_cast<std::size_t>(K)] == '9') D.Digits[static_cast<std::size_t>(K--)] = '0';
      if (K >= 0) ++D.Digits[static_cast<std::size_t>(K)];
      else D.Digits.insert(D.Digits.begin(), '1');
    }
    Normalize(D);
  }
  return ToScaled(D, 0, Out);
}

DecimalText FromInt(std::int64_t V) {
  DecimalText D;
  D.Negative = V < 0;
  const std::uint64_t U = V < 0 ? 0 - static_cast<std::uint64_t>(V) : static_cast<std::uint64_t>(V);
  D.Digits = std::to_string(U);
  Normalize(D);
  return D;
}

DecimalText FromScaled(std::int64_t Scaled, int Places) {
  DecimalText D = FromInt(Scaled);
  if (!D.IsZero()) D.Exponent -= Places;
  return D;
}

namespace {
// Keeps the first Keep digits, rounding half away from zero on the next one.
void KeepDigits(DecimalText& D, int Keep) {
  const int Len = static_cast<int>(D.Digits.size());
  if (Keep >= Len) return;
  if (Keep < 0) {
    D.Digits.clear();
    Normalize(D);
    return;
  }
  const bool Up = D.Digits[static_cast<std::size_t>(Keep)] >= '5';
  D.Exponent += Len - Keep;
  D.Digits.resize(static_cast<std::size_t>(Keep));
  if (Up) {
    int K = Keep - 1;
    while (K >= 0 && D.Digits[static_cast<std::size_t>(K)] == '9') D.Digits[static_cast<std::size_t>(K--)] = '0';
    if (K >= 0) {
      ++D.Digits[static_cast<std::size_t>(K)];
    } else {
      D.Digits.insert(D.Digits.begin(), '1');
    }
  }
  Normalize(D);
}
}  // namespace

void RoundToPlaces(DecimalText& D, int Places) {
  if (D.IsZero() || -D.Exponent <= Places) return;
  // Digits to keep so that the last kept one is at 10^-Places.
  KeepDigits(D, static_cast<int>(D.Digits.size()) + D.Exponent + Places);
}

void RoundToSignificant(DecimalText& D, int Significant) { KeepDigits(D, Significant); }

void SplitFixed(DecimalText D, int Places, std::string& IntPart, std::string& FracPart) {
  RoundToPlaces(D, Places);
  IntPart.clear();
  FracPart.clear();
  const int IntDigits = D.IntegerDigits();
  if (D.IsZero() || IntDigits <= 0) {
    IntPart.assign(1, '0');
  } else {
    IntPart = D.Digits.substr(0, static_cast<std::size_t>(std::min<int>(IntDigits, static_cast<int>(D.Digits.size()))));
    IntPart.append(static_cast<std::size_t>(std::max(0, D.Exponent)), '0');
  }
  for (int K = 1; K <= Places; ++K) {
    // Digit at 10^-K.
    const int Index = IntDigits + K - 1;
    FracPart.push_back(!D.IsZero() && Index >= 0 && Index < static_cast<int>(D.Digits.size())
                           ? D.Digits[static_cast<std::size_t>(Index)]
                           : '0');
  }
}

std::string GroupThousands(const std::string& IntPart, char Separator) {
  if (Separator == '\0' || IntPart.size() <= 3) return IntPart;
  std::string R;
  const std::size_t First = IntPart.size() % 3 == 0 ? 3 : IntPart.size() % 3;
  R.append(IntPart, 0, First);
  for (std::size_t I = First; I < IntPart.size(); I += 3) {
    R.push_back(Separator);
    R.append(IntPart, I, 3);
  }
  return R;
}

bool ToScaled(DecimalText D, int Places, std::int64_t& Out) {
  RoundToPlaces(D, Places);
  if (D.IsZero()) {
    Out = 0;
    return true;
  }
  const int Shift = D.Exponent + Places;  // >= 0 after rounding
  if (static_cast<int>(D.Digits.size()) + Shift > 19) return false;
  unsigned __int128 V = 0;
  for (char C : D.Digits) V = V * 10 + static_cast<unsigned>(C - '0');
  for (int K = 0; K < Shift; ++K) V *= 10;
  const unsigned __int128 Limit = D.Negative ? (static_cast<unsigned __int128>(INT64_MAX) + 1) : INT64_MAX;
  if (V > Limit) return false;
  Out = D.Negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(V)) : static_cast<std::int64_t>(V);
  return true;
}

bool ToDouble(const DecimalText& D, double& Out) {
  if (D.IsZero()) {
    Out = D.Negative ? -0.0 : 0.0;
    return true;
  }
  std::string T = D.Digits + "e" + std::to_string(D.Exponent);
  double V = 0;
  auto R = std::from_chars(T.data(), T.data() + T.size(), V);
  if (R.ec == std::errc::result_out_of_range) {
    if (D.IntegerDigits() > 0) return false;  // overflow
    V = 0;                                    // underflow
  } else if (R.ec != std::errc()) {
    return false;
  }
  Out = D.Negative ? -V : V;
  return true;
}

}  // namespace fyndra::decimal
