#include <fyndra/core/zvstrutils.h>

#include <gtest/gtest.h>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

class StrUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultLocale("en_US"); }
};

enum class Fn { StartsText, StartsStr, EndsText, EndsStr, ContainsText, ContainsStr };

struct StrCase {
  Fn Test;
  const char* A;  // first argument as the function takes it
  const char* B;
  bool Expected;
};

bool RunStrCase(const StrCase& C) {
  switch (C.Test) {
    case Fn::StartsText: return AnsiStartsText(C.A, C.B);
    case Fn::StartsStr: return AnsiStartsStr(C.A, C.B);
    case Fn::EndsText: return AnsiEndsText(C.A, C.B);
    case Fn::EndsStr: return AnsiEndsStr(C.A, C.B);
    case Fn::ContainsText: return AnsiContainsText(C.A, C.B);
    case Fn::ContainsStr: return AnsiContainsStr(C.A, C.B);
  }
  return false;
}

TEST_F(StrUtilsTest, PrefixSuffixAndContainmentTable) {
  const StrCase Cases[] = {
      // Prefix tests take (part, whole).
      {Fn::StartsText, "AB", "abc", true},
      {Fn::StartsText, "abcd", "abc", false},
      {Fn::StartsText, "", "abc", true},
      {Fn::StartsText, "", "", true},
      {Fn::StartsText, "b", "abc", false},
      {Fn::StartsText, "\xC3\x84" "B", "\xC3\xA4" "bc", true},  // Ä against ä
      // Case mapping that changes the length (ß -> SS, the ligature fi -> FI)
      // counts on both sides alike: an upper-cased criterion still starts or
      // ends the text it was typed from.
      {Fn::StartsText, "STRASSE", "Stra\xC3\x9F" "e 5", true},
      {Fn::StartsText, "SS", "\xC3\x9Fx", true},
      {Fn::StartsText, "\xC3\x9F", "SSx", true},
      {Fn::StartsText, "FI", "\xEF\xAC\x81le", true},
      {Fn::StartsText, "STRASSE", "Stra\xC3\x9F" "burg", false},
      {Fn::StartsText, "STRASSEN", "Stra\xC3\x9F" "e", false},
      // Letters are compared, not what the locale ignores or holds equal.
      {Fn::StartsText, "\x10" "A", "a\x10" "b", false},
      {Fn::StartsText, "A", "\x10" "a", false},
      {Fn::StartsText, "\xC3\x89", "E\xCC\x81" "mile", false},  // É against E and a combining accent
      {Fn::EndsText, "\x10", "a\x10", true},
      {Fn::EndsText, "A", "a\x10", false},
      {Fn::StartsStr, "AB", "abc", false},
      {Fn::StartsStr, "ab", "abc", true},
      {Fn::StartsStr, "abcd", "abc", false},
      {Fn::StartsStr, "", "abc", true},
      {Fn::StartsStr, "\xC3\xA4" "b", "\xC3\xA4" "bc", true},
      // Suffix tests take (part, whole).
      {Fn::EndsText, "BC", "abc", true},
      {Fn::EndsText, "abcd", "bcd", false},
      {Fn::EndsText, "", "abc", true},
      {Fn::EndsText, "\xC3\x84", "b\xC3\xA4", true},
      {Fn::EndsText, "a", "abc", false},
      {Fn::EndsText, "SSE", "Stra\xC3\x9F" "e", true},
      {Fn::EndsText, "\xC3\x9F" "E", "STRASSE", true},
      {Fn::EndsText, "SSE", "Stra\xC3\x9F" "a", false},
      {Fn::EndsStr, "abcd", "bcd", false},
      {Fn::EndsStr, "cd", "bcd", true},
      {Fn::EndsStr, "CD", "bcd", false},
      {Fn::EndsStr, "", "bcd", true},
      {Fn::EndsStr, "x\xC3\xA4", "ax\xC3\xA4", true},
      // Containment tests take (whole, part).
      {Fn::ContainsText, "abc", "", false},
      {Fn::ContainsText, "", "", false},
      {Fn::ContainsText, "Hello World", "LO w", true},
      {Fn::ContainsText, "stra\xC3\x9F" "e", "STRASSE", true},  // full upper-case mapping
      {Fn::ContainsText, "abc", "abcd", false},
      {Fn::ContainsStr, "Hello World", "lo W", true},
      {Fn::ContainsStr, "Hello World", "LO W", false},
      {Fn::ContainsStr, "abc", "", false},
      {Fn::ContainsStr, "", "a", false},
  };
  for (const StrCase& C : Cases) {
    EXPECT_EQ(RunStrCase(C), C.Expected) << "case " << static_cast<int>(C.Test) << " '" << C.A
                                  << "' '" << C.B << "'";
  }
}

// The forms for a criterion that is upper case already agree with the
// general tests on every pair where the criterion is given upper-cased.
TEST_F(StrUtilsTest, UpperCaseCriterionFormsAgreeWithTheGeneralTests) {
  const char* Parts[] = {"", "ab", "AB", "stra\xC3\x9F" "e", "\xC3\x9F", "SSE", "\xC3\xA4", "FI", "x"};
  const char* Texts[] = {"",         "abc",      "ABC",      "Stra\xC3\x9F" "e 5", "STRASSE", "\xC3\x9F" "x",
                         "Strasse", "\xC3\x84" "b", "\xEF\xAC\x81le", "bx",   "straSSe"};
  for (const char* P : Parts) {
    const std::string Upper = AnsiUpperCase(P);
    for (const char* T : Texts) {
      EXPECT_EQ(AnsiStartsUpperText(Upper, T), AnsiStartsText(P, T)) << "'" << P << "' '" << T << "'";
      EXPECT_EQ(AnsiEndsUpperText(Upper, T), AnsiEndsText(P, T)) << "'" << P << "' '" << T << "'";
    }
  }
  EXPECT_TRUE(AnsiStartsUpperText("SS", "\xC3\x9F" "x"));
  EXPECT_TRUE(AnsiEndsUpperText("SSE", "Stra\xC3\x9F" "e"));
}

TEST_F(StrUtilsTest, CharOffsetsCountCharactersNotBytes) {
  const std::string S = "a\xC3\xA4" "b";  // a, ä (two bytes), b
  EXPECT_EQ(Utf8CharOffset(S, 0), 0u);
  EXPECT_EQ(Utf8CharOffset(S, 1), 1u);
  EXPECT_EQ(Utf8CharOffset(S, 2), 3u);
  EXPECT_EQ(Utf8CharOffset(S, 3), S.size());
  EXPECT_EQ(Utf8CharOffset(S, 10), S.size());
}

}  // namespace
}  // namespace fyndra
