#include <fyndra/core/zvstrutils.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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

// ---------------------------------------------------------------------------
// Wildcard patterns

// Characters of a UTF-8 text, one string each.
std::vector<std::string> Characters(const std::string& S) {
  std::vector<std::string> Out;
  for (std::size_t I = 0, N = CharLength(S); I < N; ++I) {
    const std::size_t B = Utf8CharOffset(S, I), E = Utf8CharOffset(S, I + 1);
    Out.push_back(S.substr(B, E - B));
  }
  return Out;
}

// The whole-text match by its definition, one table cell per pair of
// positions: a pattern character other than '*' and '?' takes one text
// character it equals (ignoring case: whose upper case is the same).
bool DefinedMatch(const std::vector<std::string>& T, const std::vector<std::string>& P, bool IgnoreCase) {
  // Row J: which text prefixes P[0..J) matches.
  std::vector<char> Row(T.size() + 1, 0), Next(T.size() + 1);
  Row[0] = 1;
  for (const std::string& C : P) {
    if (C == "*") {
      Next[0] = Row[0];
      for (std::size_t I = 1; I <= T.size(); ++I) Next[I] = Row[I] || Next[I - 1];
    } else {
      Next[0] = 0;
      for (std::size_t I = 1; I <= T.size(); ++I)
        Next[I] = Row[I - 1] &&
                  (C == "?" || (IgnoreCase ? AnsiUpperCase(C) == AnsiUpperCase(T[I - 1]) : C == T[I - 1]));
    }
    Row.swap(Next);
  }
  return Row[T.size()] != 0;
}

// Ignoring case: character for character by upper case, or the upper-case
// forms as SQL's UPPER( F ) LIKE compares them.
bool ReferenceMatch(const std::string& Text, const std::string& Pattern, bool IgnoreCase) {
  if (DefinedMatch(Characters(Text), Characters(Pattern), IgnoreCase)) return true;
  return IgnoreCase &&
         DefinedMatch(Characters(AnsiUpperCase(Text)), Characters(AnsiUpperCase(Pattern)), false);
}

std::string RandomFrom(std::mt19937& Rng, const std::vector<std::string>& Alphabet, int MaxLen) {
  std::string S;
  for (int K = std::uniform_int_distribution<int>(0, MaxLen)(Rng); K > 0; --K)
    S += Alphabet[std::uniform_int_distribution<std::size_t>(0, Alphabet.size() - 1)(Rng)];
  return S;
}

TEST_F(StrUtilsTest, WildcardTable) {
  const struct {
    const char* Text;
    const char* Pattern;
    bool IgnoreCase;
    bool Expected;
  } Cases[] = {
      {"abc", "abc", false, true},
      {"abc", "a*", false, true},
      {"abc", "*c", false, true},
      {"abc", "*b*", false, true},
      {"abc", "a*b*c", false, true},
      {"abc", "a*c*", false, true},
      {"ab", "a*b*b", false, false},   // the head and the tail may not overlap
      {"aXbXc", "*b?c", false, true},
      {"aXbXcc", "*b?c", false, false},  // the tail sits at the very end
      {"", "*", false, true},
      {"", "?", false, false},
      {"x", "", false, false},
      {"STRASSE", "stra?e", true, false},  // one character of the text, or of its upper case
      {"STRA\xC3\x9F" "E", "stra?e", true, true},
      {"STRA\xC3\x9F" "E", "stra??e", true, true},  // as UPPER( F ) LIKE 'STRA__E' finds it
      {"stra\xC3\x9F" "e", "STRASSE", true, true},
      {"STRASSE", "stra\xC3\x9F" "e", true, true},
      {"stra\xC3\x9F" "e", "STRA\xE1\xBA\x9E" "E", true, false},  // the capital sharp s is no SS
      {"stra\xC3\x9F" "e", "*SS*", true, true},
      {"stra\xC3\x9F" "e", "*SS*", false, false},
      {"a\xEF\xAC\x81" "b", "A?B", true, true},
      {"a\xEF\xAC\x81" "b", "A*I?", true, true},  // the I of FI, then B
      {"\xCE\xA3\xCE\xA3", "\xCF\x83\xCF\x82", true, true},  // sigma in all three forms
      {"\xE2\x84\xAA", "k", true, false},                    // the Kelvin sign is its own capital
      {"\xC4\xB0", "i", true, false},                         // dotted capital I is no plain i
      {"\xC4\xB0", "?", true, true},
      {"\x10", "\x11", true, false},                          // control characters are no letters
      {"x\xFFy", "x?y", false, true},                       // a byte that is not UTF-8 is a character
      {"x\xFFy", "x?y", true, true},
      {"x\xFFy", "X\xFFY", true, true},
      {"x\xC0\x80y", "x??y", false, true},                   // an overlong form is two stray bytes
      {"x\xC0\x80y", "x??y", true, true},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(MatchWildcards(C.Text, C.Pattern, C.IgnoreCase), C.Expected)
        << "'" << C.Text << "' '" << C.Pattern << "' " << C.IgnoreCase;
  }
  SetDefaultLocale("tr_TR");
  EXPECT_TRUE(MatchWildcards("\xC4\xB0", "i", true));  // in Turkish the dotted I is the capital of i
  EXPECT_FALSE(MatchWildcards("I", "i", true));
}

// Long random inputs reach the multi-word bit-parallel search (parts with '?'
// longer than 64 characters) and the linear search with its fall-backs.
TEST_F(StrUtilsTest, WildcardsAgreeWithTheDefinitionOnRandomInputs) {
  std::mt19937 Rng(424242);
  const std::vector<std::string> TextAscii = {"a", "b", "a", "a", "c"};
  const std::vector<std::string> PatternAscii = {"a", "b", "a", "?", "*", "a", "c"};
  const std::vector<std::string> TextWide = {"a", "A", "\xC3\x9F", "\xE1\xBA\x9E", "\xCF\x82", "\xCE\xA3", "s",
                                            "\xEF\xAC\x81", "i"};
  const std::vector<std::string> PatternWide = {"a", "A", "\xC3\x9F", "\xCF\x83", "?", "*", "S", "s", "F", "I"};
  // Many letters: in a long part most stand in few places.
  std::vector<std::string> Many;
  for (char C = 'a'; C <= 'z'; ++C) Many.push_back(std::string(1, C));
  for (const char* C : {"\xC3\xA4", "\xC3\x84", "\xC3\x9F", "\xCF\x82", "\xCE\xA3", "\xE2\x84\xAA", "K"}) Many.push_back(C);
  int Matches = 0, Runs = 0;
  for (int I = 0; I < 4000; ++I) {
    const bool Wide = I % 2;
    const bool Long = I % 10 < 3;
    const std::vector<std::string>& TextLetters = Long && I % 4 == 0 ? Many : Wide ? TextWide : TextAscii;
    std::string T = RandomFrom(Rng, TextLetters, Long ? 400 : 12);
    std::string P = RandomFrom(Rng, Wide ? PatternWide : PatternAscii, Long ? 150 : 8);
    if (Long && I % 3 != 2) {
      // A long part taken from the text, some of its characters turned into
      // '?' (or into a star): often found, and often just missed.
      const std::vector<std::string> Chars = Characters(T);
      P = "*";
      for (std::size_t K = Chars.size() / 4; K < Chars.size() / 2; ++K) {
        const int Roll = std::uniform_int_distribution<int>(0, 29)(Rng);
        P += Roll < 3 ? std::string("?") : Roll == 3 && I % 3 == 1 ? std::string("*") : Chars[K];
      }
      P += "*";
    }
    for (bool IgnoreCase : {false, true}) {
      const bool Got = MatchWildcards(T, P, IgnoreCase);
      ASSERT_EQ(Got, ReferenceMatch(T, P, IgnoreCase)) << "'" << T << "' '" << P << "' " << IgnoreCase;
      Matches += Got;
      ++Runs;
    }
  }
  EXPECT_GT(Matches, Runs / 10);  // both answers are exercised
}

// A memo against a pattern made to defeat backtracking: each part is found
// in one pass over the text.
TEST_F(StrUtilsTest, AdversarialWildcardInputsFinish) {
  const std::string Memo(100000, 'a');
  const std::string Part(10000, 'a');
  EXPECT_FALSE(MatchWildcards(Memo, "*" + Part + "b", false));
  EXPECT_FALSE(MatchWildcards(Memo, "*" + Part + "b*", false));
  EXPECT_FALSE(MatchWildcards(Memo, "*" + Part + "?b*", true));
  EXPECT_TRUE(MatchWildcards(Memo + "b", "*" + Part + "?b", false));
  EXPECT_TRUE(MatchWildcards(Memo + "xb", "*a*a*a*a*a*a*a*?b", false));
  // A long part of many different characters with a '?': its tables stay as
  // small as the part.
  std::u16string Wide;
  for (int I = 0; I < 60000; ++I) Wide += static_cast<char16_t>(0x4E00 + I % 20000);
  const std::string Cjk = Utf16ToUtf8(Wide);
  std::u16string Part16 = Wide.substr(30000, 10000);
  Part16[5000] = u'?';
  const std::string Part8 = Utf16ToUtf8(Part16);
  EXPECT_TRUE(MatchWildcards(Cjk, "*" + Part8 + "*", false));
  EXPECT_TRUE(MatchWildcards(Cjk, "*" + Part8 + "*", true));
  EXPECT_FALSE(MatchWildcards(Cjk, "*" + Part8 + "x*", false));
}

// The prefix, suffix and containment tests ignoring case find whatever they
// find respecting case, also where upper case is longer (ß, ligatures) or
// the locale's rules look at neighbouring letters.
TEST_F(StrUtilsTest, TextTestsIgnoringCaseFindWhatTheCaseSensitiveOnesFind) {
  const std::vector<std::string> Letters = {"i", "I", "s", "\xC3\x9F", "\xEF\xAC\x81", "\xC5\x89", "\xC4\xB0",
                                            "\xCC\x87", "\xCF\x82", "\xCE\xAC", "\xCC\x81", "\xCE\xB9"};
  std::mt19937 Rng(5);
  for (const char* Locale : {"en_US", "lt_LT", "el_GR", "tr_TR"}) {
    SetDefaultLocale(Locale);
    for (int I = 0; I < 2000; ++I) {
      const std::string Text = RandomFrom(Rng, Letters, 6);
      const std::vector<std::string> Chars = Characters(Text);
      const std::size_t From = std::uniform_int_distribution<std::size_t>(0, Chars.size())(Rng);
      const std::size_t To = std::uniform_int_distribution<std::size_t>(From, Chars.size())(Rng);
      std::string Sub;
      for (std::size_t K = From; K < To; ++K) Sub += Chars[K];
      SCOPED_TRACE(std::string(Locale) + " '" + Sub + "' '" + Text + "'");
      if (AnsiStartsStr(Sub, Text)) {
        ASSERT_TRUE(AnsiStartsText(Sub, Text));
      }
      if (AnsiEndsStr(Sub, Text)) {
        ASSERT_TRUE(AnsiEndsText(Sub, Text));
      }
      ASSERT_EQ(AnsiContainsText(Text, Sub), !Sub.empty());  // Sub is a part of Text
      ASSERT_EQ(AnsiStartsUpperText(AnsiUpperCase(Sub), Text), AnsiStartsText(Sub, Text));
      ASSERT_EQ(AnsiEndsUpperText(AnsiUpperCase(Sub), Text), AnsiEndsText(Sub, Text));
    }
  }
}

}  // namespace
}  // namespace fyndra
