#include <fyndra/platform/rtl/systypes.h>

#include <cmath>

#include <fyndra/platform/rtl/decimaltext.h>
#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {

namespace {
constexpr std::int64_t kMaxWhole = INT64_MAX / Currency::Scale;

std::int64_t Checked(__int128 V) {
  if (V > INT64_MAX || V < INT64_MIN) throw EOverflow("Currency overflow");
  return static_cast<std::int64_t>(V);
}

// Quotient of N / D rounded half away from zero.
__int128 DivRound(__int128 N, __int128 D) {
  __int128 Q = N / D, R = N % D;
  if (R < 0) R = -R;
  const __int128 AbsD = D < 0 ? -D : D;
  if (2 * R >= AbsD) Q += ((N < 0) != (D < 0)) ? -1 : 1;
  return Q;
}
}  // namespace

Currency::Currency(std::int64_t Whole) {
  if (Whole > kMaxWhole || Whole < -kMaxWhole) throw EOverflow("Currency overflow");
  fScaled = Whole * Scale;
}

Currency::Currency(double Value) {
  if (!std::isfinite(Value)) throw EOverflow("Currency overflow");
  // Through the shortest decimal text, so 0.00015 rounds to 0.0002 as written.
  if (!decimal::ToScaled(decimal::FromDouble(Value), 4, fScaled)) throw EOverflow("Currency overflow");
}

std::int64_t Currency::ToInt64() const { return static_cast<std::int64_t>(DivRound(fScaled, Scale)); }

double Currency::ToDouble() const {
  // Both operands are exact below 2^53, so one division rounds correctly.
  if (fScaled > -(std::int64_t{1} << 53) && fScaled < (std::int64_t{1} << 53)) return static_cast<double>(fScaled) / Scale;
  double D = 0;
  decimal::ToDouble(decimal::FromScaled(fScaled, 4), D);
  return D;
}

Currency Currency::operator-() const { return FromScaled(Checked(-static_cast<__int128>(fScaled))); }
Currency& Currency::operator+=(Currency B) {
  fScaled = Checked(static_cast<__int128>(fScaled) + B.fScaled);
  return *this;
}
Currency& Currency::operator-=(Currency B) {
  fScaled = Checked(static_cast<__int128>(fScaled) - B.fScaled);
  return *this;
}
Currency& Currency::operator*=(Currency B) {
  fScaled = Checked(DivRound(static_cast<__int128>(fScaled) * B.fScaled, Scale));
  return *this;
}
Currency& Currency::operator/=(Currency B) {
  if (B.fScaled == 0) throw EZeroDivide("Division by zero");
  fScaled = Checked(DivRound(static_cast<__int128>(fScaled) * Scale, B.fScaled));
  return *this;
}

}  // namespace fyndra
