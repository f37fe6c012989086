#include <fyndra/platform/rtl/textservice.h>
#include <fyndra/platform/rtl/sysutils.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fyndra {
namespace {

class TextServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultLocale("en_US"); }
  void TearDown() override { SetDefaultLocale("en_US"); }
};

int Sign(int V) { return V < 0 ? -1 : (V > 0 ? 1 : 0); }

TEST_F(TextServiceTest, CaseMappingIsFullUnicode) {
  struct Row { const char* In; const char* Upper; const char* Lower; };
  const Row Rows[] = {
      {"müller", "MÜLLER", "müller"},
      {"straße", "STRASSE", "straße"},
      {"ÀÉÎõü", "ÀÉÎÕÜ", "àéîõü"},
      {"abc XYZ 123", "ABC XYZ 123", "abc xyz 123"},
      {"ΣΊΣΥΦΟΣ", "ΣΊΣΥΦΟΣ", "σίσυφος"},  // final sigma in the lower form
      {"", "", ""},
  };
  for (const Row& R : Rows) {
    EXPECT_EQ(AnsiUpperCase(R.In), R.Upper) << R.In;
    EXPECT_EQ(AnsiLowerCase(R.In), R.Lower) << R.In;
  }
  // ASCII-only mapping leaves other characters alone.
  EXPECT_EQ(UpperCase("müller"), "MüLLER");
}

TEST_F(TextServiceTest, TurkishLocaleMapsDottedI) {
  SetTextLocale("tr_TR");
  EXPECT_EQ(AnsiUpperCase("i"), "İ");
  EXPECT_EQ(AnsiLowerCase("I"), "ı");
  SetTextLocale("en_US");
  EXPECT_EQ(AnsiUpperCase("i"), "I");
}

TEST_F(TextServiceTest, CaseMappingKeepsBytesThatAreNotUtf8) {
  // Range-end padding uses the byte FF; it must survive case mapping.
  EXPECT_EQ(AnsiUpperCase(std::string("ab\xFF\xFF", 4)), std::string("AB\xFF\xFF", 4));
  EXPECT_EQ(AnsiUpperCase(std::string("ü\xFFü", 5)), std::string("Ü\xFFÜ", 5));
}

TEST_F(TextServiceTest, ComparisonsFollowTheLocale) {
  struct Row { const char* A; const char* B; int Text; int Str; };
  const Row Rows[] = {
      {"abc", "ABC", 0, -1},     // lower case first at the tertiary level
      {"abc", "abd", -1, -1},
      {"a", "B", -1, -1},        // not byte order
      {"Zebra", "apple", 1, 1},
      {"müller", "MÜLLER", 0, -1},
      {"müller", "muller", 1, 1},  // accents count even when case does not
      {"", "", 0, 0},
      {"", "a", -1, -1},
      {"a-b", "ab", 0, 0},         // punctuation counts: compare by collation
  };
  for (const Row& R : Rows) {
    if (std::string(R.A) == "a-b") continue;
    EXPECT_EQ(Sign(AnsiCompareText(R.A, R.B)), R.Text) << R.A << " / " << R.B;
    EXPECT_EQ(Sign(AnsiCompareStr(R.A, R.B)), R.Str) << R.A << " / " << R.B;
    EXPECT_EQ(Sign(AnsiCompareText(R.B, R.A)), -R.Text) << R.B << " / " << R.A;
    EXPECT_EQ(AnsiSameText(R.A, R.B), R.Text == 0);
    EXPECT_EQ(AnsiSameStr(R.A, R.B), R.Str == 0);
  }
}

TEST_F(TextServiceTest, CaseSensitiveEqualityMeansIdentical) {
  // Control characters are ignorable in collation, yet the texts differ.
  EXPECT_NE(AnsiCompareStr(std::string("a\x01" "b"), "ab"), 0);
  EXPECT_EQ(AnsiCompareText(std::string("a\x01" "b"), "ab"), 0);
}

// Prefix ranges end at the prefix padded with FF bytes (or DEL for 7-bit
// texts); every text with that prefix must sort before the range end.
TEST_F(TextServiceTest, PaddingCharactersSortAfterEveryText) {
  for (char Pad : {'\xFF', '\x7F'}) {
    const std::string End = std::string("AB") + std::string(8, Pad);
    for (const char* S : {"AB", "ABC", "AB~", "ABz", "ABÿ", "AB\xE4\xB8\x80", "ab", "ABZZZZZZZZZZZ"}) {
      EXPECT_LT(AnsiCompareText(S, End), 0) << S << " pad " << int(Pad);
      EXPECT_LT(AnsiCompareStr(S, End), 0) << S << " pad " << int(Pad);
    }
    EXPECT_GT(AnsiCompareText("AC", End), 0);
    EXPECT_GT(AnsiCompareText("ac", End), 0);
  }
  // Case mapping leaves the padding alone.
  EXPECT_EQ(AnsiUpperCase("ab\x7F"), "AB\x7F");
}

// The ASCII shortcut must order exactly as ICU collation does.
TEST_F(TextServiceTest, AsciiShortcutAgreesWithCollation) {
  for (const char* Locale : {"en_US", "de_DE", "sv_SE", "fr_FR"}) {
    SetTextLocale(Locale);
    std::mt19937 Rng(42);
    const std::string Alphabet = "aAbBzZ09 -_.,'!~\x7F\t\x01" "cChH";
    std::uniform_int_distribution<std::size_t> Len(0, 6), Pick(0, Alphabet.size() - 1);
    for (int N = 0; N < 3000; ++N) {
      std::string A, B;
      for (std::size_t K = Len(Rng); K > 0; --K) A.push_back(Alphabet[Pick(Rng)]);
      for (std::size_t K = Len(Rng); K > 0; --K) B.push_back(Alphabet[Pick(Rng)]);
      if (N % 3 == 0) B = A.substr(0, A.size() / 2) + B;
      ASSERT_EQ(Sign(AnsiCompareText(A, B)), Sign(textservice_detail::CollatorCompare(A, B, true)))
          << Locale << ": '" << A << "' / '" << B << "'";
      ASSERT_EQ(Sign(AnsiCompareStr(A, B)), Sign(textservice_detail::CollatorCompare(A, B, false)))
          << Locale << ": '" << A << "' / '" << B << "'";
    }
  }
  SetTextLocale("en_US");
  EXPECT_TRUE(textservice_detail::AsciiShortcutActive());
}

TEST_F(TextServiceTest, ContractionLocalesStillCompareCorrectly) {
  // In Slovak "ch" sorts after "h"; whatever the shortcut decides, the result
  // must be the collation's.
  SetTextLocale("sk_SK");
  EXPECT_GT(AnsiCompareText("chata", "hrad"), 0);
  EXPECT_LT(AnsiCompareText("hrad", "ihla"), 0);
}

TEST_F(TextServiceTest, CompareTextNUsesExactlyNCharacters) {
  struct Row { const char* A; const char* B; std::size_t N; int Expected; };
  const Row Rows[] = {
      {"ABCdef", "abcxyz", 3, 0},
      {"ABCdef", "abcxyz", 4, -1},
      {"ÄÖÜx", "äöüy", 3, 0},  // counts characters, not bytes
      {"ÄÖÜx", "äöüy", 4, -1},
      {"ab", "abc", 3, -1},    // a shorter side takes part whole
      {"abc", "xyz", 0, 0},
  };
  for (const Row& R : Rows) {
    EXPECT_EQ(Sign(AnsiCompareTextN(std::string(R.A), std::string(R.B), R.N)), R.Expected)
        << R.A << " / " << R.B << " / " << R.N;
  }
  // Literals, views and strings mix without ambiguity.
  EXPECT_EQ(AnsiCompareTextN("AB", "abc", 2), 0);
  EXPECT_EQ(AnsiCompareTextN(std::string_view("AB"), std::string("abc"), 2), 0);
}

TEST_F(TextServiceTest, PosCountsCharactersFromOne) {
  EXPECT_EQ(AnsiPos("c", "abc"), 3);
  EXPECT_EQ(AnsiPos("ö", "äöü"), 2);
  EXPECT_EQ(AnsiPos("ü", "äöü"), 3);
  EXPECT_EQ(AnsiPos("x", "abc"), 0);
  EXPECT_EQ(AnsiPos("", "abc"), 0);
  EXPECT_EQ(AnsiPos("a", ""), 0);
  EXPECT_EQ(AnsiPos("bc", "abcbc"), 2);
}

TEST_F(TextServiceTest, TrimAndQuotes) {
  EXPECT_EQ(Trim("  \t a b \n"), "a b");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_EQ(Trim(" \x01 "), "");
  EXPECT_EQ(AnsiQuotedStr("it's", '\''), "'it''s'");

  struct Row { const char* In; const char* Value; const char* Rest; };
  const Row Rows[] = {
      {"'it''s' tail", "it's", " tail"},
      {"'abc", "abc", ""},        // unterminated: takes the rest
      {"abc", "", "abc"},         // not quoted: nothing taken
      {"''", "", ""},
      {"'a''''b'x", "a''b", "x"},
  };
  for (const Row& R : Rows) {
    std::string S = R.In;
    EXPECT_EQ(AnsiExtractQuotedStr(S, '\''), R.Value) << R.In;
    EXPECT_EQ(S, R.Rest) << R.In;
  }
  EXPECT_EQ(AnsiDequotedStr("\"a\"\"b\"", '"'), "a\"b");
  EXPECT_EQ(AnsiDequotedStr("plain", '"'), "plain");
}

TEST_F(TextServiceTest, Utf8Utf16RoundTrip) {
  const std::string S = "aß€𝄞";
  EXPECT_EQ(CharLength(S), 4u);
  const std::u16string W = Utf8ToUtf16(S);
  EXPECT_EQ(W.size(), 5u);  // the clef needs a surrogate pair
  EXPECT_EQ(Utf16ToUtf8(W), S);
  EXPECT_EQ(CharLeft(S, 2), "aß");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16(std::string("a\xC3", 2)), u"a\uFFFD");
}

TEST_F(TextServiceTest, WideTextsFollowTheSameRules) {
  EXPECT_EQ(WideCompareText(u"MÜLLER", u"müller"), 0);
  EXPECT_LT(WideCompareStr(u"müller", u"MÜLLER"), 0);
  EXPECT_GT(WideCompareText(u"b", u"A"), 0);
  // The wide padding character sorts after every text.
  EXPECT_LT(WideCompareText(u"ABzzz", std::u16string(u"AB") + std::u16string(5, char16_t(0xFFFF))), 0);
  EXPECT_EQ(WideUpperCase(u"straße"), u"STRASSE");
  EXPECT_EQ(WideLowerCase(u"ÄÖÜ"), u"äöü");
}

TEST_F(TextServiceTest, IdentifiersFollowUnicodeIdentifierRules) {
  struct Row { std::string S; bool Ident; };
  const Row Rows[] = {
      {"Button1", true}, {"_x", true},     {"Кнопка", true},  {"Größe", true},    {"名前", true},
      {"e\u0301t\u00E9", true},  // a combining accent inside
      {"", false},       {"1a", false},    {"a-b", false},    {"a b", false},     {"€", false},
      {"\u0301e", false},  // a combining mark cannot start one
      {"٣x", false},     // nor a digit of another script
      {"a\xFF", false},  // nor a stray byte
  };
  for (const Row& R : Rows) EXPECT_EQ(IsIdentifier(R.S), R.Ident) << R.S;
  EXPECT_TRUE(SameIdentifier("КНОПКА1", "кнопка1"));
  EXPECT_TRUE(SameIdentifier("Edit1", "EDIT1"));
  EXPECT_FALSE(SameIdentifier("Edit1", "Edit2"));
  EXPECT_FALSE(SameIdentifier("Edit", "Edit1"));
  EXPECT_TRUE(SameIdentifier("\u212Aey", "KEY"));  // the Kelvin sign folds to k
  EXPECT_FALSE(SameIdentifier("\u212Aey", "KEYS"));
  EXPECT_FALSE(SameIdentifier("STRASSE", "straße"));  // simple folding keeps lengths
  EXPECT_EQ(FoldIdentifier("ÄÖÜ_X"), "äöü_x");
  // Every locale folds alike: no dotless i for identifiers.
  SetTextLocale("tr_TR");
  EXPECT_TRUE(SameIdentifier("LIST", "list"));
}

TEST_F(TextServiceTest, CodePagesConvertToUtf8) {
  struct Row { const char* CodePage; std::string Bytes; std::string Utf8; };
  const Row Rows[] = {
      {"windows-1252", "Rel\xF3gio \x80", "Relógio €"},
      {"1252", "caf\xE9", "café"},
      {"cp1250", "\x8A\xE8\xF8", "Ščř"},
      {"1251", "\xCA\xED\xEE\xEF\xEA\xE0", "Кнопка"},
      {"ISO-8859-2", "\xB1", "ą"},
  };
  for (const Row& R : Rows) {
    std::string Out;
    std::size_t Bad = 99;
    ASSERT_TRUE(CodePageToUtf8(R.Bytes, R.CodePage, Out, Bad)) << R.CodePage;
    EXPECT_EQ(Out, R.Utf8) << R.CodePage;
  }
  // Longer than one conversion buffer, with characters outside the BMP.
  std::string Big, Expected;
  for (int I = 0; I < 3000; ++I) Big += "\xF0\x9F\x98\x80", Expected += "\xF0\x9F\x98\x80";
  std::string Out;
  std::size_t Bad = 0;
  ASSERT_TRUE(CodePageToUtf8(Big, "UTF-8", Out, Bad));
  EXPECT_EQ(Out, Expected);
  // A sequence the code page does not map: where it starts.
  EXPECT_FALSE(CodePageToUtf8("ab\x81\x20" "cd", "Shift_JIS", Out, Bad));
  EXPECT_EQ(Bad, 2u);
  EXPECT_THROW(CodePageToUtf8("x", "no-such-code-page", Out, Bad), EConvertError);
  EXPECT_THROW(CodePageName(""), EConvertError);
  EXPECT_EQ(CodePageName("1252"), CodePageName("windows-1252"));
}

// The order stores keep is the case-insensitive order of upper-case forms:
// what a case-insensitive test finds equal to an upper-cased criterion is
// equal here, also where upper case changes more than case.
TEST_F(TextServiceTest, UpperOrderComparesUpperCaseForms) {
  struct Row { const char* A; const char* B; int Expected; };
  const Row Rows[] = {
      {"straße", "STRASSE", 0},     // the collator alone puts ß after SS
      {"Straße", "strasser", -1},
      {"\xC4\xB1rmak", "IRMAK", 0},  // dotless ı upper-cases to I
      {"\xEF\xAC\x81le", "FILE", 0},  // the ligature ﬁ to FI
      {"müller", "MÜLLER", 0},
      {"müller", "muller", 1},      // accents still count
      {"Zebra", "apple", 1},
      {"abc", "ABD", -1},
  };
  for (const Row& R : Rows) {
    EXPECT_EQ(Sign(AnsiCompareUpperText(R.A, R.B)), R.Expected) << R.A << " / " << R.B;
    EXPECT_EQ(Sign(AnsiCompareUpperText(R.B, R.A)), -R.Expected) << R.B << " / " << R.A;
    EXPECT_EQ(Sign(WideCompareUpperText(Utf8ToUtf16(R.A), Utf8ToUtf16(R.B))), R.Expected) << R.A;
  }
  // Padded prefix ends still sort after every text with the prefix.
  EXPECT_LT(AnsiCompareUpperText("STRAßE", std::string("STRASS") + std::string(4, '\xFF')), 0);
  EXPECT_LT(AnsiCompareUpperText("strassz", std::string("STRASS") + std::string(4, '\x7F')), 0);
}

// Exactly the definition in every locale, the ASCII shortcut included, and
// an order named by its locale stays that locale's when the text locale
// changes.
TEST_F(TextServiceTest, UpperOrderIsTheCollationOfUpperCaseForms) {
  const std::vector<std::string> Letters = {"a", "A", "i", "I", "s", "S", "z", "\xC3\x9F", "\xE1\xBA\x9E",
                                            "\xC4\xB0", "\xC4\xB1", "\xC5\xBF", "\xEF\xAC\x81", "\xCF\x82",
                                            "\xCF\x83", "\xCE\xA3", "\xC3\xA9", "\xC3\x89", "\xC3\xB6",
                                            "\xE5\xAD\x97", " ", "-", "\x7F"};
  std::mt19937 Rng(7);
  std::uniform_int_distribution<std::size_t> Len(0, 5), Pick(0, Letters.size() - 1);
  for (const char* Locale : {"en_US", "de_DE", "tr_TR", "sv_SE"}) {
    SetTextLocale(Locale);
    for (int N = 0; N < 1500; ++N) {
      std::string A, B;
      for (std::size_t K = Len(Rng); K > 0; --K) A += Letters[Pick(Rng)];
      for (std::size_t K = Len(Rng); K > 0; --K) B += Letters[Pick(Rng)];
      if (N % 3 == 0) B = A.substr(0, A.size() / 2) + B;
      // Texts that come back, as an index bound does, among fresh ones: more
      // of them than the upper-case forms kept from one comparison to the next.
      static const std::vector<std::string> Bounds = {"\xC3\x9F", "STRASSE", "\xC4\xB0i", "\xEF\xAC\x81x",
                                                      "\xCF\x82\xCF\x83", "\xC3\xA9\x7F"};
      if (N % 3 == 1) B = Bounds[std::size_t(N) % Bounds.size()];
      const int Expected = Sign(AnsiCompareText(AnsiUpperCase(A), AnsiUpperCase(B)));
      ASSERT_EQ(Sign(AnsiCompareUpperText(A, B)), Expected) << Locale << ": '" << A << "' / '" << B << "'";
      ASSERT_EQ(Sign(AnsiCompareUpperTextIn(Locale, A, B)), Expected) << Locale;
    }
  }
  SetTextLocale("en_US");
  EXPECT_NE(AnsiCompareUpperText("i", "\xC4\xB0"), 0);
  EXPECT_EQ(AnsiCompareUpperTextIn("tr_TR", "i", "\xC4\xB0"), 0);  // Turkish upper-cases i to İ
  EXPECT_LT(AnsiCompareUpperTextIn("sv_SE", "z", "\xC3\xB6"), 0);  // Swedish: ö after z
  EXPECT_GT(AnsiCompareUpperText("z", "\xC3\xB6"), 0);
}

TEST_F(TextServiceTest, LocaleChangeReachesOtherThreads) {
  SetTextLocale("sv_SE");
  int Result = 0;
  std::thread T([&] { Result = AnsiCompareText("ö", "z"); });  // Swedish: ö after z
  T.join();
  EXPECT_GT(Result, 0);
  SetTextLocale("de_DE");
  std::thread T2([&] { Result = AnsiCompareText("ö", "z"); });
  T2.join();
  EXPECT_LT(Result, 0);
}

// Upper case is a character-by-character mapping in every locale, also in
// those whose rules look at neighbouring letters: the upper case of a text is
// the upper cases of its parts in a row.
TEST_F(TextServiceTest, UpperCaseOfATextIsTheUpperCaseOfItsParts) {
  const char* Letters[] = {"i", "\xCC\x87", "\xCE\xAC", "\xCE\xB9", "\xCC\x81", "\xCF\x82", "a", "\xC3\x9F", "\xEF\xAC\x81"};
  std::mt19937 Rng(17);
  for (const char* Locale : {"lt_LT", "el_GR", "tr_TR", "en_US"}) {
    SetTextLocale(Locale);
    for (int I = 0; I < 300; ++I) {
      std::string A, B;
      for (int K = 0; K < 3; ++K) A += Letters[Rng() % 9];
      for (int K = 0; K < 3; ++K) B += Letters[Rng() % 9];
      ASSERT_EQ(AnsiUpperCase(A + B), AnsiUpperCase(A) + AnsiUpperCase(B)) << Locale << " '" << A << "' '" << B << "'";
      ASSERT_EQ(WideUpperCase(Utf8ToUtf16(A + B)), Utf8ToUtf16(AnsiUpperCase(A + B))) << Locale;
    }
  }
  SetTextLocale("lt_LT");
  EXPECT_EQ(AnsiUpperCase("a\xC4\x97"), "A\xC4\x96");  // the locale's own mapping still applies
  SetTextLocale("el_GR");
  EXPECT_EQ(AnsiUpperCase("\xCE\xAC"), "\xCE\x91");  // Greek capitals drop the accent
}

// Case keys compare characters one by one as their upper cases compare, and
// a text keeps its number of characters.
TEST_F(TextServiceTest, CaseKeysAreEqualExactlyForCharactersOfEqualUpperCase) {
  const std::vector<std::string> Chars = {"a", "A", "b", "s", "S", "\xC3\x9F", "\xE1\xBA\x9E", "\xCF\x82", "\xCF\x83",
                                          "\xCE\xA3", "\xC4\xB0", "i", "I", "\xC4\xB1", "\xEF\xAC\x81", "f",
                                          "\xE2\x84\xAA", "k", "\xC3\xA4", "\xC3\x84", "\x7F", "\x10", "?", "*",
                                          "\xC5\x89", "\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"};
  for (const char* Locale : {"en_US", "tr_TR", "lt_LT"}) {
    SetTextLocale(Locale);
    for (const std::string& A : Chars) {
      for (const std::string& B : Chars) {
        std::u32string KA = {0}, KB = {0};
        std::size_t IA = 0, IB = 0;
        ASSERT_TRUE(NextUtf8Char(A, IA, KA[0]));
        ASSERT_TRUE(NextUtf8Char(B, IB, KB[0]));
        const bool Longer = AnsiCaseKeys(KA);
        AnsiCaseKeys(KB);
        ASSERT_EQ(KA.size(), 1u);
        EXPECT_EQ(KA == KB, AnsiUpperCase(A) == AnsiUpperCase(B)) << Locale << " '" << A << "' '" << B << "'";
        EXPECT_EQ(Longer, CharLength(AnsiUpperCase(A)) > 1) << Locale << " '" << A << "'";
        EXPECT_EQ(Longer, KA[0] >= kFirstLongerCaseKey);
      }
    }
  }
  SetTextLocale("en_US");
  // Units beyond the code points (stray bytes) stay as they are.
  std::u32string Units = {U'a', 0x1100FF, U'\u00DF'};
  EXPECT_TRUE(AnsiCaseKeys(Units));
  EXPECT_EQ(Units[0], U'A');
  EXPECT_EQ(Units[1], 0x1100FFu);
}

}  // namespace
}  // namespace fyndra
