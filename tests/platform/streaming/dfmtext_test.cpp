#include <fyndra/platform/streaming/dfmtext.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace fyndra {
namespace {

// A form text using every kind of value; printing its tree must give it back.
const char* const kSample =
    "object Form1: TForm1\n"
    "  Tag = -42\n"
    "  Big = 9223372036854775807\n"
    "  Ratio = 0.1\n"
    "  Huge = 1E+300\n"
    "  Caption = 'It''s'#13#10'caf'#233\n"
    "  Expression =\n"
    "    'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' +\n"
    "    'bbbbbbbb'\n"
    "  Options.AutoUpdate = False\n"
    "  Kind = ciCaseInsensitive\n"
    "  Flags = [ciCaseInsensitive, ciConvertValue]\n"
    "  Empty = []\n"
    "  Data = {\n"
    "    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\n"
    "    FF}\n"
    "  NoData = {}\n"
    "  Lines.Strings = (\n"
    "    'one'\n"
    "    2\n"
    "    (\n"
    "      'nested'))\n"
    "  Items = <\n"
    "    item\n"
    "      Name = 'a'\n"
    "      Sub = <>\n"
    "    end\n"
    "    item\n"
    "    end>\n"
    "  Ref = Form1.Table1\n"
    "  object Table1: TTable\n"
    "    Infinite = -INF\n"
    "  end\n"
    "  object TAnonymous\n"
    "  end\n"
    "end\n";

TDfmObject ParseOneProperty(const std::string& ValueText) {
  return ParseDfmText("object A: TA\n  P = " + ValueText + "\nend\n");
}

std::string MessageOf(const std::string& Text) {
  try {
    ParseDfmText(Text);
  } catch (const EParserError& E) {
    return E.Message();
  }
  return "(no error)";
}

TEST(DfmTextTest, SampleParsesIntoTheExpectedTree) {
  const TDfmObject Root = ParseDfmText(kSample);
  EXPECT_EQ(Root.Name, "Form1");
  EXPECT_EQ(Root.ClassName, "TForm1");
  ASSERT_EQ(Root.Properties.size(), 15u);
  EXPECT_EQ(Root.Properties[1].Value.Int, std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Root.Properties[4].Value.Text, "It's\r\ncaf\xC3\xA9");
  // Continued strings are joined; a property keeps the line where it starts.
  EXPECT_EQ(Root.Properties[5].Value.Text, std::string(62, 'a') + std::string(8, 'b'));
  EXPECT_EQ(Root.Properties[5].Line, 7);
  EXPECT_EQ(Root.Properties[6].Name, "Options.AutoUpdate");
  EXPECT_EQ(Root.Properties[8].Value.Names, (std::vector<std::string>{"ciCaseInsensitive", "ciConvertValue"}));
  ASSERT_EQ(Root.Properties[10].Value.Bytes.size(), 33u);
  EXPECT_EQ(Root.Properties[10].Value.Bytes[32], 0xFF);
  EXPECT_EQ(Root.Properties[12].Value.Elements[2].Elements[0].Text, "nested");
  EXPECT_EQ(Root.Properties[13].Value.Items[0].Properties[1].Value.Kind, TDfmValueKind::Collection);
  ASSERT_EQ(Root.Children.size(), 2u);
  EXPECT_EQ(Root.Children[0].Properties[0].Value.Text, "-INF");
  EXPECT_EQ(Root.Children[1].Name, "");
  EXPECT_EQ(Root.Children[1].ClassName, "TAnonymous");
}

TEST(DfmTextTest, PrintingTheParsedSampleGivesTheSameBytes) {
  EXPECT_EQ(PrintDfmText(ParseDfmText(kSample)), kSample);
}

TEST(DfmTextTest, StringsEncodeAsQuotedRunsAndCodePoints) {
  struct Case {
    std::string Utf8;
    std::string Encoded;
  };
  const Case Cases[] = {
      {"", "''"},
      {"abc", "'abc'"},
      {"it's", "'it''s'"},
      {"'", "''''"},
      {"a\r\nb", "'a'#13#10'b'"},
      {"\t", "#9"},
      {"\x7F", "#127"},
      {std::string("a\0b", 3), "'a'#0'b'"},
      {"caf\xC3\xA9", "'caf'#233"},
      {"\xE2\x82\xAC", "#8364"},
      {"\xF0\x9F\x98\x80", "#128512"},
      // Bytes that are not UTF-8 keep their value through U+DC80..U+DCFF.
      {"\xFF", "#56575"},
      {"a\xC3", "'a'#56515"},
      {"\xC0\x80", "#56512#56448"},        // overlong NUL
      {"\xED\xA0\x80", "#56557#56480#56448"},  // UTF-8 of a surrogate
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(DfmEncodeString(C.Utf8), C.Encoded) << C.Encoded;
    const TDfmObject Obj = ParseOneProperty(C.Encoded);
    EXPECT_EQ(Obj.Properties[0].Value.Text, C.Utf8) << C.Encoded;
  }
}

TEST(DfmTextTest, CodesReadInOtherSpellings) {
  struct Case {
    std::string Text;
    std::string Utf8;
  };
  const Case Cases[] = {
      {"#$41#$e9", "A\xC3\xA9"},
      {"#55357#56832", "\xF0\x9F\x98\x80"},  // a UTF-16 surrogate pair is one character
      {"'a' + 'b' +\n  'c'", "abc"},
      {"''''''", "''"},
  };
  for (const Case& C : Cases) EXPECT_EQ(ParseOneProperty(C.Text).Properties[0].Value.Text, C.Utf8) << C.Text;
}

TEST(DfmTextTest, LongStringsSplitIntoPiecesThatReadBackWhole) {
  std::string Long;
  for (int I = 0; I < 300; ++I) Long += (I % 7 == 0) ? std::string("\xC3\xA9") : std::string(1, static_cast<char>('a' + I % 26));
  Long += "''''";
  TDfmObject Obj;
  Obj.ClassName = "TA";
  Obj.Properties.push_back({"P", TDfmValue::OfString(Long), 0});
  const std::string Text = PrintDfmText(Obj);
  EXPECT_EQ(Text.substr(0, 17), "object TA\n  P =\n ");
  std::size_t Start = Text.find('\n', 12) + 1;
  int Pieces = 0;
  while (Start < Text.size()) {
    const std::size_t End = Text.find('\n', Start);
    std::string Line = Text.substr(Start, End - Start);
    if (Line == "end") break;
    ASSERT_EQ(Line.substr(0, 4), "    ");
    Line = Line.substr(4);
    if (Line.size() > 2 && Line.substr(Line.size() - 2) == " +") Line.resize(Line.size() - 2);
    EXPECT_LE(Line.size(), 64u) << Line;
    ++Pieces;
    Start = End + 1;
  }
  EXPECT_GT(Pieces, 5);
  const TDfmObject Back = ParseDfmText(Text);
  EXPECT_EQ(Back.Properties[0].Value.Text, Long);
  EXPECT_EQ(PrintDfmText(Back), Text);
}

TEST(DfmTextTest, FloatsPrintShortestAndReadBackExactly) {
  struct Case {
    double Value;
    const char* Text;
  };
  const Case Cases[] = {
      {0.1, "0.1"},        {1.0, "1.0"},     {-2.5, "-2.5"},      {1e20, "1E+20"},
      {1.5e-7, "1.5E-07"}, {-0.0, "-0.0"},   {123456789.0, "123456789.0"},
      {5e-324, "5E-324"},  {1.7976931348623157e308, "1.7976931348623157E+308"},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(DfmFormatFloat(C.Value), C.Text);
    const TDfmValue V = ParseOneProperty(C.Text).Properties[0].Value;
    ASSERT_EQ(V.Kind, TDfmValueKind::Float) << C.Text;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(V.Float), std::bit_cast<std::uint64_t>(C.Value)) << C.Text;
  }
  EXPECT_EQ(DfmFormatFloat(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(DfmFormatFloat(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(DfmFormatFloat(std::nan("")), "NAN");

  std::mt19937_64 Rng(20261208);
  for (int I = 0; I < 2000; ++I) {
    const double D = std::bit_cast<double>(Rng());
    if (!std::isfinite(D)) continue;
    const TDfmValue V = ParseOneProperty(DfmFormatFloat(D)).Properties[0].Value;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(V.Float), std::bit_cast<std::uint64_t>(D)) << DfmFormatFloat(D);
  }
}

TEST(DfmTextTest, IntegersReadInDecimalAndHex) {
  EXPECT_EQ(ParseOneProperty("-9223372036854775808").Properties[0].Value.Int, std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(ParseOneProperty("$FF").Properties[0].Value.Int, 255);
  EXPECT_EQ(ParseOneProperty("$FFFFFFFFFFFFFFFF").Properties[0].Value.Int, -1);
}

TEST(DfmTextTest, MalformedTextNamesTheLineAndWhatWasExpected) {
  struct Case {
    std::string Text;
    std::string Message;
  };
  const std::string Head = "object A: TA\n";
  const Case Cases[] = {
      {"", "line 1: expected 'object', found end of text"},
      {"X = 1\n", "line 1: expected 'object', found 'X'"},
      {"object\n", "line 2: expected object name or class name, found end of text"},
      {"object A:\n", "line 2: expected class name after ':', found end of text"},
      {Head + "  X = 1\n", "line 3: expected property name, 'object' or 'end', found end of text"},
      {Head + "  X 1\nend\n", "line 2: expected '=', found number 1"},
      // "end" after '=' is an identifier value, so the object's end goes missing.
      {Head + "  X =\nend\n", "line 4: expected property name, 'object' or 'end', found end of text"},
      {Head + "  X = 'abc\nend\n", "line 2: expected closing quote of string"},
      {Head + "  X = 'abc' +\nend\n", "line 3: expected a string after '+', found 'end'"},
      {Head + "  X = #\nend\n", "line 2: expected a character code after '#'"},
      {Head + "  X = #1114112\nend\n", "line 2: expected a character code up to 1114111 after '#'"},
      {Head + "  X = #57000\nend\n", "line 2: expected a character code, found a lone surrogate #57000"},
      {Head + "  X = #55357'a'\nend\n", "line 2: expected a low surrogate code after #55357"},
      {Head + "  X = 99999999999999999999\nend\n", "line 2: expected a 64-bit integer, found 99999999999999999999"},
      {Head + "  X = 1E999\nend\n", "line 2: expected a floating-point number in range, found 1E999"},
      {Head + "  X = 12ab\nend\n", "line 2: expected a number, found '12a'"},
      {Head + "  X = $\nend\n", "line 2: expected 1 to 16 hex digits after '$'"},
      {Head + "  X = [a b]\nend\n", "line 2: expected ',', found 'b'"},
      {Head + "  X = [a,\nend\n", "line 4: expected ',', found end of text"},
      {Head + "  X = (1 2\n", "line 3: expected ')' to close the list, found end of text"},
      {Head + "  X = {0A0\n}\nend\n", "line 3: expected an even number of hex digits in binary data"},
      {Head + "  X = {0G}\nend\n", "line 2: expected hex digit or '}' in binary data"},
      {Head + "  X = {00\n", "line 3: expected '}' to close binary data, found end of text"},
      {Head + "  X = <\n    item\n", "line 4: expected property name or 'end' of item, found end of text"},
      {Head + "  X = <\n    thing\n", "line 3: expected 'item' or '>', found 'thing'"},
      {Head + "  X = -abc\nend\n", "line 2: expected a number after '-', found 'abc'"},
      {Head + "  X = ]\nend\n", "line 2: expected a value, found ']'"},
      {Head + "  X = @\nend\n", "line 2: expected a name, number, string or symbol, found character #64"},
      {Head + "end\nend\n", "line 3: expected end of text after the last 'end', found 'end'"},
      {Head + "  1 = 2\nend\n", "line 2: expected property name, 'object' or 'end', found number 1"},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(MessageOf(C.Text), C.Message) << C.Text;
  }
  // Lines end with LF, CR LF or a lone CR; a leading byte order mark is skipped.
  for (const char* Break : {"\n", "\r\n", "\r"}) {
    const std::string B = Break;
    EXPECT_EQ(MessageOf("object A: TA" + B + "  X = 1" + B + B + "  Y = ]" + B + "end" + B),
              "line 4: expected a value, found ']'")
        << "break " << static_cast<int>(B.back());
  }
  EXPECT_EQ(MessageOf("\xEF\xBB\xBFobject A: TA\nend\n"), "(no error)");
  EXPECT_EQ(MessageOf("\xEF\xBB\xBF\nobject A: TA\n  X = ]\nend\n"), "line 3: expected a value, found ']'");
}

TEST(DfmTextTest, DeepNestingIsRefusedNotFollowedIntoTheStack) {
  std::string Text = "object A: TA\n  X = ";
  for (int I = 0; I < 5000; ++I) Text += "(";
  EXPECT_NE(MessageOf(Text).find("levels of nesting"), std::string::npos);
  std::string Objects;
  for (int I = 0; I < 5000; ++I) Objects += "object T\n";
  EXPECT_NE(MessageOf(Objects).find("levels of nesting"), std::string::npos);
}

// Random and truncated texts: the parser either builds a tree or raises
// EParserError; any tree it builds prints to text that parses to the same
// printed text.
TEST(DfmTextTest, RandomAndTruncatedTextNeverCrashes) {
  const std::string Sample = kSample;
  const std::string Alphabet = "object end item AB=:[](){}<>,+-#$'0123456789.Ee \n\t\xC3\xA9";
  std::mt19937 Rng(12345);
  int Parsed = 0, Refused = 0;
  auto Try = [&](const std::string& Text) {
    try {
      const std::string Printed = PrintDfmText(ParseDfmText(Text));
      ASSERT_EQ(PrintDfmText(ParseDfmText(Printed)), Printed) << Text;
      ++Parsed;
    } catch (const EParserError& E) {
      ASSERT_EQ(E.Message().rfind("line ", 0), 0u) << E.Message();
      ++Refused;
    }
  };
  for (std::size_t N = 0; N <= Sample.size(); ++N) Try(Sample.substr(0, N));
  for (int I = 0; I < 3000; ++I) {
    std::string Text = Sample;
    const int Edits = 1 + static_cast<int>(Rng() % 4);
    for (int E = 0; E < Edits; ++E) {
      const std::size_t At = Rng() % Text.size();
      switch (Rng() % 3) {
        case 0: Text[At] = Alphabet[Rng() % Alphabet.size()]; break;
        case 1: Text.erase(At, 1 + Rng() % 8); break;
        default: Text.insert(At, 1, Alphabet[Rng() % Alphabet.size()]); break;
      }
      if (Text.empty()) Text = "x";
    }
    Try(Text);
  }
  for (int I = 0; I < 1000; ++I) {
    std::string Text = "object A: TA\n";
    const int Len = static_cast<int>(Rng() % 80);
    for (int K = 0; K < Len; ++K) Text += static_cast<char>(Rng() % 256);
    Try(Text);
  }
  EXPECT_GT(Parsed, 0);
  EXPECT_GT(Refused, 0);
}

}  // namespace
}  // namespace fyndra
