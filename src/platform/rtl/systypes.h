// Basic value types shared by the whole runtime layer: variant type codes, the
// date-time representation and the fixed-point Currency type.
// All are plain values; nothing here owns heap memory.
#pragma once

#include <compare>
#include <cstdint>

namespace fyndra {

// A variant type code: the low 12 bits name the basic type, the upper bits are
// flags (array, by reference).
using TVarType = std::uint16_t;

// Days since 1899-12-30 in the integral part, the time of day as the fraction.
// For days before 1899-12-30 the integral part is negative and the fraction
// still counts forwards from midnight (-1.25 is 1899-12-29 06:00).
using TDateTime = double;

// A 64-bit integer scaled by 10000: four exact decimal places.
// Conversions and arithmetic that leave the representable range raise EOverflow.
struct Currency {
  static constexpr std::int64_t Scale = 10000;

  constexpr Currency() = default;
  // Whole units: Currency(5) is 5.0000. Raises EOverflow past about 9.2e14.
  explicit Currency(std::int64_t Whole);
  explicit Currency(int Whole) : Currency(static_cast<std::int64_t>(Whole)) {}
  // Rounds half away from zero to four places; raises EOverflow when out of range
  // or not finite.
  explicit Currency(double Value);

  static constexpr Currency FromScaled(std::int64_t Scaled) {
    Currency C;
    C.fScaled = Scaled;
    return C;
  }
  constexpr std::int64_t Scaled() const { return fScaled; }

  // Rounds half away from zero to whole units.
  std::int64_t ToInt64() const;
  double ToDouble() const;

  Currency operator-() const;
  Currency& operator+=(Currency B);
  Currency& operator-=(Currency B);
  Currency& operator*=(Currency B);  // rounds the product half away from zero
  Currency& operator/=(Currency B);  // rounds half away; raises EZeroDivide on zero
  friend Currency operator+(Currency A, Currency B) { return A += B; }
  friend Currency operator-(Currency A, Currency B) { return A -= B; }
  friend Currency operator*(Currency A, Currency B) { return A *= B; }
  friend Currency operator/(Currency A, Currency B) { return A /= B; }

  friend constexpr auto operator<=>(Currency A, Currency B) = default;
  friend constexpr bool operator==(Currency A, Currency B) = default;

 private:
  std::int64_t fScaled = 0;
};

}  // namespace fyndra
