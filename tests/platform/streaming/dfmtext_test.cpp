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

// ---------------------------------------------------------------------------
// Inherited forms, frames and order indexes

TEST(DfmTextTest, InheritedAndInlineBlocksWithOrderIndexesRoundTrip) {
  const std::string Text =
      "inherited EditForm: TEditForm\n"
      "  Caption = 'Edit'\n"
      "  object HeaderPanel: TPanel [0]\n"
      "    Height = 41\n"
      "  end\n"
      "  inherited OkButton: TButton [2]\n"
      "    Top = 388\n"
      "  end\n"
      "  inline AddressFrame1: TAddressFrame\n"
      "    Left = 8\n"
      "    inherited StreetEdit: TEdit\n"
      "      Text = 'Main Street'\n"
      "    end\n"
      "  end\n"
      "  object Options: TOptions\n"
      "    inline = 1\n"
      "    Inherited = True\n"
      "  end\n"
      "  object TUnnamed [7]\n"
      "  end\n"
      "end\n";
  const TDfmObject Root = ParseDfmText(Text);
  EXPECT_EQ(Root.Kind, TDfmObjectKind::Inherited);
  EXPECT_EQ(Root.Index, -1);
  ASSERT_EQ(Root.Children.size(), 5u);
  EXPECT_EQ(Root.Children[0].Kind, TDfmObjectKind::Object);
  EXPECT_EQ(Root.Children[0].Index, 0);
  EXPECT_EQ(Root.Children[1].Kind, TDfmObjectKind::Inherited);
  EXPECT_EQ(Root.Children[1].Index, 2);
  EXPECT_EQ(Root.Children[2].Kind, TDfmObjectKind::Inline);
  EXPECT_EQ(Root.Children[2].Children[0].Kind, TDfmObjectKind::Inherited);
  // Followed by '=', the words are property names.
  ASSERT_EQ(Root.Children[3].Properties.size(), 2u);
  EXPECT_EQ(Root.Children[3].Properties[0].Name, "inline");
  EXPECT_EQ(Root.Children[4].ClassName, "TUnnamed");
  EXPECT_EQ(Root.Children[4].Index, 7);
  EXPECT_EQ(PrintDfmText(Root), Text);

  const std::string Head = "object A: TA";
  EXPECT_EQ(MessageOf(Head + " [x]\nend\n"), "line 1: expected an order index from 0 to 2147483647, found 'x'");
  EXPECT_EQ(MessageOf(Head + " [-1]\nend\n"), "line 1: expected an order index from 0 to 2147483647, found number -1");
  EXPECT_EQ(MessageOf(Head + " [1\nend\n"), "line 2: expected ']', found 'end'");
  EXPECT_EQ(MessageOf(Head + "\n  inline Frame1\n"), "line 3: expected property name, 'object' or 'end', found end of text");
}

// ---------------------------------------------------------------------------
// Encodings

TEST(DfmTextTest, UnicodeNamesReadWithAndWithoutByteOrderMark) {
  const std::string Body =
      "object ФормаЗаказа: TФормаЗаказа\n"
      "  ActiveControl = ПолеИмени\n"
      "  object ПолеИмени: TEdit\n"
      "    Text = '\xD0\x98'#1084#1103\n"
      "  end\n"
      "  object 名前: TLabel\n"
      "  end\n"
      "end\n";
  for (const std::string& Text : {Body, "\xEF\xBB\xBF" + Body}) {
    const TDfmObject Root = ParseDfmText(Text);
    EXPECT_EQ(Root.Name, "ФормаЗаказа");
    EXPECT_EQ(Root.ClassName, "TФормаЗаказа");
    EXPECT_EQ(Root.Properties[0].Value.Text, "ПолеИмени");
    EXPECT_EQ(Root.Children[0].Properties[0].Value.Text, "Имя");
    EXPECT_EQ(Root.Children[1].Name, "名前");
    // The text comes back with or without its mark, as it was.
    EXPECT_EQ(PrintDfmText(Root), Text);
  }
  // A tree built by code gets the mark when a name needs it.
  TDfmObject Built;
  Built.Name = "Форма";
  Built.ClassName = "TForm";
  EXPECT_EQ(PrintDfmText(Built), "\xEF\xBB\xBFobject Форма: TForm\nend\n");
  Built.Name = "Form";
  EXPECT_EQ(PrintDfmText(Built), "object Form: TForm\nend\n");
}

TEST(DfmTextTest, BytesThatAreNotUtf8AreRefusedWithTheirLine) {
  const std::string Hint = " (text in an 8-bit code page is read with its code page given)";
  EXPECT_EQ(MessageOf("object A: TA\n  Caption = 'Rel\xF3gio'\nend\n"),
            "line 2: expected UTF-8 text, found byte $F3" + Hint);
  EXPECT_EQ(MessageOf("object A: TA\n\n  object \xCA\xED\xEE\xEF\xEA\xE0: TButton\n  end\nend\n"),
            "line 3: expected UTF-8 text, found byte $CA" + Hint);
  EXPECT_EQ(MessageOf("object A: TA\n  X = \xE2\x82\xAC\nend\n"),
            "line 2: expected a name, number, string or symbol, found character #8364");
  EXPECT_EQ(MessageOf("\xFF\xFEo\0b\0"), "line 1: expected UTF-8 or 8-bit text, found a UTF-16 byte order mark");
}

TEST(DfmTextTest, EightBitTextIsReadInTheCodePageGiven) {
  const std::string Text =
      "object Form1: TForm1\n"
      "  Caption = 'Rel\xF3gio ' +\n"
      "    '\x80 10'\n"
      "  object \xCA\xED\xEE\xEF\xEA\xE0: TButton\n"
      "    Caption = 'OK'\n"
      "  end\n"
      "end\n";
  const TDfmObject Root = ParseDfmText(Text, {"windows-1252"});
  EXPECT_EQ(Root.Properties[0].Value.Text, "Relógio € 10");
  // Written back 7-bit and UTF-8: characters beyond ASCII as codes, the
  // name (read in another code page) as UTF-8 with a byte order mark.
  const TDfmObject Cyrillic = ParseDfmText(Text, {"1251"});
  EXPECT_EQ(Cyrillic.Children[0].Name, "Кнопка");
  EXPECT_EQ(PrintDfmText(Cyrillic),
            "\xEF\xBB\xBFobject Form1: TForm1\n"
            "  Caption = 'Rel'#1091'gio '#1026' 10'\n"
            "  object Кнопка: TButton\n"
            "    Caption = 'OK'\n"
            "  end\n"
            "end\n");
  // A byte order mark says UTF-8 whatever the option.
  EXPECT_EQ(ParseDfmText("\xEF\xBB\xBFobject A: TA\n  X = 'Relógio'\nend\n", {"windows-1252"}).Properties[0].Value.Text,
            "Relógio");

  auto Refusal = [](const std::string& T, const std::string& CodePage) {
    try {
      ParseDfmText(T, {CodePage});
    } catch (const EReadError& E) {
      return E.Message();
    }
    return std::string("(no error)");
  };
  EXPECT_EQ(Refusal(Text, "no-such-page"), "Code page 'no-such-page' is not known");
  EXPECT_EQ(Refusal(Text, "ibm-037"),
            "Code page 'ibm-037' does not keep ASCII characters as they are, so form text cannot be read in it");
  EXPECT_EQ(Refusal("object A: TA\n  X = 'ab\x81\x20'\nend\n", "Shift_JIS"),
            "line 2: expected text in code page Shift_JIS, found byte $81, which it does not map");
  EXPECT_NO_THROW(CheckDfmCodePage(""));
  EXPECT_NO_THROW(CheckDfmCodePage("1250"));
  EXPECT_THROW(CheckDfmCodePage("UTF-16"), EReadError);
}

// ---------------------------------------------------------------------------
// Spelling

// A form as an IDE saves it: floats with 18 decimals, strings split where
// that IDE split them, a one-line binary block, codes mixed with quoted runs.
const char* const kIdeStyle =
    "object OrderForm: TOrderForm\n"
    "  Left = 245\n"
    "  Caption = 'Pedidos de Rel'#243'gios'\n"
    "  Font.Style = [fsBold, fsItalic]\n"
    "  Scaled = 1.000000000000000000\n"
    "  Hint = $0000FF\n"
    "  object Chart1: TChart\n"
    "    LeftAxis.Maximum = 100.000000000000000000\n"
    "    LeftAxis.Minimum = 0.000002400000000000\n"
    "    BottomAxis.Increment = 2.500000000000000000E-8\n"
    "  end\n"
    "  object Label1: TLabel\n"
    "    Caption = \n"
    "      'Enter the customer name, the city and the order date to look up' +\n"
    "      ' the orders; use * as a wildcard.'\n"
    "  end\n"
    "  object Memo1: TMemo\n"
    "    Lines.Strings = (\n"
    "      'SELECT O.ID, O.AMOUNT, C.NAME FROM ORDERS O JOIN CUSTOMERS C ON C.I' +\n"
    "        'D = O.CUSTOMER_ID'\n"
    "      'WHERE C.NAME LIKE :NAME')\n"
    "  end\n"
    "  object Image1: TImage\n"
    "    Picture.Data = {0A544269746D617000000000}\n"
    "    Glyph.Data = {\n"
    "      0102\n"
    "      0304}\n"
    "  end\n"
    "  object Grid1: TDBGrid\n"
    "    Columns = <\n"
    "      item\n"
    "        Expanded = False\n"
    "        FieldName = 'NAME'\n"
    "        Width = 180\n"
    "      end\n"
    "      item\n"
    "        FieldName = 'AMOUNT'\n"
    "        Title.Caption = 'Valor ('#8364')'\n"
    "      end>\n"
    "  end\n"
    "end\n";

std::string WithCrLf(const std::string& Text) {
  std::string Out;
  for (char C : Text) {
    if (C == '\n') Out += '\r';
    Out += C;
  }
  return Out;
}

TEST(DfmTextTest, PrintingKeepsTheSpellingOfTheText) {
  EXPECT_EQ(PrintDfmText(ParseDfmText(kIdeStyle)), kIdeStyle);
  EXPECT_EQ(PrintDfmText(ParseDfmText(WithCrLf(kIdeStyle))), kIdeStyle);
  // The canonical layout spells the same values the one way.
  const TDfmObject Tree = ParseDfmText(kIdeStyle);
  const std::string Canonical = PrintDfmText(Tree, TDfmLayout::Canonical);
  EXPECT_NE(Canonical, kIdeStyle);
  EXPECT_NE(Canonical.find("  Scaled = 1.0\n"), std::string::npos) << Canonical;
  EXPECT_NE(Canonical.find("    Picture.Data = {\n      0A544269746D617000000000}\n"), std::string::npos) << Canonical;
  const TDfmObject Again = ParseDfmText(Canonical);
  ASSERT_EQ(Again.Children.size(), Tree.Children.size());
  for (std::size_t C = 0; C < Tree.Children.size(); ++C)
    for (std::size_t P = 0; P < Tree.Children[C].Properties.size(); ++P)
      EXPECT_TRUE(SameDfmValue(Again.Children[C].Properties[P].Value, Tree.Children[C].Properties[P].Value))
          << Tree.Children[C].Properties[P].Name;
  EXPECT_EQ(PrintDfmText(Again), Canonical);
}

// Values spelled in random ways (codes for printable characters, runs split
// anywhere, zeros after the point, hex numbers, pieces joined with '+'),
// alone and in lists: printing the parsed text gives it back, and printing
// canonically gives what the printer writes for the same values.
TEST(DfmTextTest, AnySpellingOfAValueIsPrintedBack) {
  std::mt19937 Rng(424242);
  auto Pick = [&](int N) { return static_cast<int>(Rng() % static_cast<unsigned>(N)); };
  auto RandomString = [&] {
    std::string S;
    for (int Runs = 1 + Pick(4); Runs > 0; --Runs) {
      if (Pick(3) == 0) {
        const int Cp = Pick(4) == 0 ? 1 + Pick(300) : 32 + Pick(95);
        S += "#" + std::string(Pick(5) == 0 ? "0" : "") + std::to_string(Cp);
      } else {
        S += '\'';
        for (int N = Pick(30); N > 0; --N) {
          const char C = static_cast<char>(32 + Pick(95));
          S += C;
          if (C == '\'') S += '\'';
        }
        S += '\'';
      }
    }
    return S;
  };
  auto RandomValue = [&]() -> std::string {
    switch (Pick(5)) {
      case 0: return RandomString();
      case 1: return RandomString() + " +\n    " + RandomString();
      case 2: return std::to_string(Pick(1000)) + "." + std::to_string(Pick(1000)) + std::string(Pick(18), '0');
      case 3: return (Pick(2) ? "$" : "") + std::to_string(Pick(100000));
      default: return Pick(2) ? "True" : "[a, B]";
    }
  };
  for (int I = 0; I < 1500; ++I) {
    const std::string Text = "object A: TA\n  P = " + RandomValue() + "\n  L = (\n    " + RandomValue() + "\n    " +
                             RandomString() + ")\nend\n";
    const TDfmObject Tree = ParseDfmText(Text);
    ASSERT_EQ(PrintDfmText(Tree), Text);
    const std::string Canonical = PrintDfmText(Tree, TDfmLayout::Canonical);
    TDfmObject Plain = Tree;
    Plain.Properties[0].Value.Spelling.clear();
    Plain.Properties[1].Value.Elements[0].Spelling.clear();
    Plain.Properties[1].Value.Elements[1].Spelling.clear();
    ASSERT_EQ(PrintDfmText(Plain), Canonical) << Text;
    ASSERT_EQ(PrintDfmText(ParseDfmText(Canonical)), Canonical) << Text;
  }
}

TEST(DfmTextTest, ChangedValuesArePrintedCanonicallyAndKeptOnesFollowTheirIndentation) {
  TDfmObject Tree = ParseDfmText(kIdeStyle);
  const TDfmObject Memo = Tree.Children[2];
  Tree.Properties[3].Value.Float = 2;                                // Scaled
  Tree.Children[0].Properties[0].Value = TDfmValue::OfInteger(50);  // Maximum
  Tree.Children[1].Properties[0].Value.Text += "!";                  // Label1.Caption
  Tree.Children[2].Properties[0].Value.Elements[0].Text = "SELECT 1";  // Memo1's first line
  Tree.Children[3].Properties[0].Value.Bytes.push_back(0xFF);          // Picture.Data
  // Moved one level deeper, a kept spelling keeps its shape there.
  Tree.Children[1].Children.push_back(Memo);
  const std::string Text = PrintDfmText(Tree);
  EXPECT_NE(Text.find("  Scaled = 2.0\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    LeftAxis.Maximum = 50\n    LeftAxis.Minimum = 0.000002400000000000\n"), std::string::npos)
      << Text;
  // The split spelling no longer reads as the caption: split the one way.
  EXPECT_NE(Text.find("    Caption =\n      'Enter the customer name"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("look up' +"), std::string::npos) << Text;
  EXPECT_NE(Text.find("      'SELECT 1'\n      'WHERE C.NAME LIKE :NAME')\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    Picture.Data = {\n      0A544269746D617000000000FF}\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    object Memo1: TMemo\n"
                      "      Lines.Strings = (\n"
                      "        'SELECT O.ID, O.AMOUNT, C.NAME FROM ORDERS O JOIN CUSTOMERS C ON C.I' +\n"
                      "          'D = O.CUSTOMER_ID'\n"),
            std::string::npos)
      << Text;
}

TEST(DfmTextTest, SameValueMeansTheSameWhenRead) {
  const auto Int = TDfmValue::OfInteger;
  const auto Float = TDfmValue::OfFloat;
  const auto Ident = TDfmValue::OfIdent;
  const auto Set = TDfmValue::OfSet;
  struct Row {
    TDfmValue A, B;
    bool Same;
  };
  TDfmItem ItemA, ItemB;
  ItemA.Properties.push_back({"FieldName", TDfmValue::OfString("ID"), 1});
  ItemB.Properties.push_back({"FIELDNAME", TDfmValue::OfString("ID"), 9});
  const Row Rows[] = {
      {Int(1), Float(1.0), true},
      {Int(1), Float(1.5), false},
      {Int(0), Float(-0.0), false},
      {Int(0), Float(0.0), true},
      {Int((std::int64_t{1} << 53) + 1), Float(9007199254740992.0), false},
      {Float(0.1), Float(0.1), true},
      {Ident("INF"), Float(std::numeric_limits<double>::infinity()), true},
      {Ident("-INF"), Float(std::numeric_limits<double>::infinity()), false},
      {Ident("NAN"), Float(std::nan("")), true},
      {Ident("True"), Ident("TRUE"), true},
      {Ident("Form1.Table1"), Ident("form1.table1"), true},
      {Set({"fsBold", "fsItalic"}), Set({"FSITALIC", "fsBold"}), true},
      {Set({"fsBold"}), Set({"fsBold", "fsItalic"}), false},
      {TDfmValue::OfString("a"), TDfmValue::OfString("A"), false},
      {TDfmValue::OfString("1"), Int(1), false},
      {TDfmValue::OfBinary({1, 2}), TDfmValue::OfBinary({1, 2}), true},
      {TDfmValue::OfList({Int(1), TDfmValue::OfList({})}), TDfmValue::OfList({Float(1), TDfmValue::OfList({})}), true},
      {TDfmValue::OfList({Int(1)}), TDfmValue::OfList({Int(1), Int(2)}), false},
      {TDfmValue::OfCollection({ItemA}), TDfmValue::OfCollection({ItemB}), true},
      {TDfmValue::OfCollection({ItemA}), TDfmValue::OfCollection({}), false},
  };
  for (std::size_t I = 0; I < std::size(Rows); ++I) {
    EXPECT_EQ(SameDfmValue(Rows[I].A, Rows[I].B), Rows[I].Same) << "row " << I;
    EXPECT_EQ(SameDfmValue(Rows[I].B, Rows[I].A), Rows[I].Same) << "row " << I << " turned round";
  }
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
