#include <fyndra/platform/controls/maskutils.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

TFormatSettings Dotted() {
  TFormatSettings S;
  S.DateSeparator = '.';
  S.TimeSeparator = ':';
  return S;
}

std::string Edit(const TEditMask& M, const std::string& Value) { return Utf32ToUtf8(M.EditTextOf(Utf8ToUtf32(Value))); }
std::string Saved(const TEditMask& M, const std::string& EditText) { return Utf32ToUtf8(M.TextOf(Utf8ToUtf32(EditText))); }

struct TLayCase {
  const char* Mask;
  const char* Value;
  const char* EditText;
  const char* Text;
  const char* Formatted;
};

// The value is in the mask's saved form; the edit text is what the user sees.
const TLayCase LayCases[] = {
    {"000-0000;1;_", "555-1234", "555-1234", "555-1234", "555-1234"},
    {"000-0000;0;_", "5551234", "555-1234", "5551234", "555-1234"},
    {"000-0000;1;_", "5551234", "555-1234", "555-1234", "555-1234"},  // a missing literal is supplied
    {"000-0000;0;_", "555", "555-____", "555    ", "555-    "},
    {"999;0;_", "7", "7__", "7  ", "7  "},
    {"!999;0;_", "7", "__7", "  7", "  7"},  // laid in from the right
    {"!\\(999\\)000-0000;0;_", "8005551212", "(800)555-1212", "8005551212", "(800)555-1212"},
    {">LL<ll;0;*", "abCD", "ABcd", "ABcd", "ABcd"},
    {"<>LL;0;_", "aB", "aB", "aB", "aB"},
    {"99/99/00;1;_", "12.03.24", "12.03.24", "12.03.24", "12.03.24"},
    {"00:00;1;_", "12:30", "12:30", "12:30", "12:30"},
    {"L0L_0L0;0;_", "K1A0B1", "K1A 0B1", "K1A0B1", "K1A 0B1"},
    {"aaa;0;_", "a1-", "a1_", "a1 ", "a1 "},  // a character the position refuses stays empty
    {"#99;0;_", "-12", "-12", "-12", "-12"},
    {"ccc;0;_", "x y", "x_y", "x y", "x y"},
    {">LLL;0;_", "äöü", "ÄÖÜ", "ÄÖÜ", "ÄÖÜ"},
    {"00;0;_", "12345", "12", "12", "12"},  // characters past the mask are dropped
    {"\\;0;0;_", "7", ";7", "7", ";7"},      // an escaped separator is a literal
    {"", "free text", "free text", "free text", "free text"},
};

TEST(EditMaskTest, LaysValuesIntoTheMaskAndSavesThemBack) {
  for (const TLayCase& C : LayCases) {
    SCOPED_TRACE(std::string(C.Mask) + " <- " + C.Value);
    const TEditMask M(C.Mask, Dotted());
    EXPECT_EQ(Edit(M, C.Value), C.EditText);
    EXPECT_EQ(Saved(M, C.EditText), C.Text);
    EXPECT_EQ(M.FindMalformed(Utf8ToUtf32(C.EditText)), -1);
  }
}

TEST(EditMaskTest, FormatMaskTextShowsEmptyPositionsAsSpaces) {
  const TFormatSettings Saved = FormatSettings();
  SetFormatSettings(Dotted());
  for (const TLayCase& C : LayCases) {
    SCOPED_TRACE(std::string(C.Mask) + " <- " + C.Value);
    EXPECT_EQ(FormatMaskText(C.Mask, C.Value), C.Formatted);
  }
  SetFormatSettings(Saved);
}

TEST(EditMaskTest, ReadsTheFieldsOfTheMask) {
  const TEditMask Plain("00");
  EXPECT_TRUE(Plain.SaveLiterals());
  EXPECT_EQ(Plain.Blank(), U'_');
  const TEditMask NoSave("00;0;*");
  EXPECT_FALSE(NoSave.SaveLiterals());
  EXPECT_EQ(NoSave.Blank(), U'*');
  EXPECT_TRUE(TEditMask("00;1").SaveLiterals());
  EXPECT_FALSE(TEditMask("").IsMasked());
  EXPECT_EQ(TEditMask("!>LL").Length(), 2);
  EXPECT_TRUE(TEditMask("!>LL").Reverse());
}

struct TValidCase {
  const char* Mask;
  const char* EditText;
  int Invalid;  // 0-based, -1: valid
  const char* Message;
};

const TValidCase ValidCases[] = {
    {"000-0000;0;_", "555-1234", -1, ""},
    {"000-0000;0;_", "555-12_4", 6, "Invalid input value at position 7 of 8: a digit is required"},
    {"999;0;_", "___", -1, ""},
    {"999;0;_", "1_3", -1, ""},
    {"L;0;_", "1", 0, "Invalid input value at position 1 of 1: '1' is not a letter"},
    {">L;0;_", "a", 0, "Invalid input value at position 1 of 1: 'a' is not a letter in upper case"},
    {"0-0;1;_", "1+2", 1, "Invalid input value at position 2 of 3: '+' is not '-'"},
    {"00;0;_", "1", 1, "Invalid input value at position 2 of 2: the text ends early"},
    {"00;0;_", "123", 2, "Invalid input value at position 3 of 2: the text is longer than its mask"},
    {"A#;0;_", "x+", -1, ""},
};

TEST(EditMaskTest, ValidationNamesTheFirstPositionAtFault) {
  for (const TValidCase& C : ValidCases) {
    SCOPED_TRACE(std::string(C.Mask) + " : " + C.EditText);
    const TEditMask M(C.Mask);
    const std::u32string E = Utf8ToUtf32(C.EditText);
    EXPECT_EQ(M.FindInvalid(E), C.Invalid);
    if (C.Invalid < 0) {
      EXPECT_NO_THROW(M.Validate(E));
      continue;
    }
    try {
      M.Validate(E);
      ADD_FAILURE() << "no error";
    } catch (const EEditMaskError& Err) {
      EXPECT_EQ(Err.Message(), C.Message);
      EXPECT_EQ(Err.Position(), C.Invalid);
    }
  }
}

enum class TOp { Type, Back, Delete, Paste };
struct TEditCase {
  const char* Mask;
  const char* Before;
  int SelStart, SelLength;
  TOp Op;
  const char* Arg;
  bool Changes;
  const char* After;
  int Caret;
};

const TEditCase EditCases[] = {
    {"000-0000;0;_", "___-____", 0, 0, TOp::Type, "5", true, "5__-____", 1},
    {"000-0000;0;_", "___-____", 2, 0, TOp::Type, "9", true, "__9-____", 4},  // steps over the literal
    {"000-0000;0;_", "___-____", 3, 0, TOp::Type, "1", true, "___-1___", 5},  // typed at the next input
    {"000-0000;0;_", "555-____", 3, 0, TOp::Type, "-", true, "555-____", 4},  // a literal typed steps over it
    {"000-0000;0;_", "___-____", 0, 0, TOp::Type, "x", false, "___-____", 0},
    {"000-0000;0;_", "555-1234", 8, 0, TOp::Type, "9", false, "555-1234", 8},  // no room
    {">LL;0;_", "__", 0, 0, TOp::Type, "q", true, "Q_", 1},
    {"000-0000;0;_", "555-1234", 4, 0, TOp::Back, "", true, "55_-1234", 2},
    {"000-0000;0;_", "555-1234", 0, 0, TOp::Back, "", false, "555-1234", 0},
    {"000-0000;0;_", "555-1234", 3, 0, TOp::Delete, "", true, "555-_234", 4},
    {"000-0000;0;_", "555-1234", 2, 4, TOp::Delete, "", true, "55_-__34", 2},
    {"000-0000;0;_", "555-1234", 1, 5, TOp::Type, "7", true, "57_-__34", 2},  // typing over a selection
    {"000-0000;0;_", "___-____", 0, 0, TOp::Paste, "555x1234", true, "555-1234", 8},
    {"000-0000;0;_", "___-____", 0, 0, TOp::Paste, "(555) 12", true, "555-12__", 6},
};

TEST(EditMaskTest, EditsInOverwriteModeAroundLiterals) {
  for (const TEditCase& C : EditCases) {
    SCOPED_TRACE(std::string(C.Mask) + " : " + C.Before + " op " + std::to_string(int(C.Op)) + " " + C.Arg);
    const TEditMask M(C.Mask);
    TMaskEditState S{Utf8ToUtf32(C.Before), C.SelStart, C.SelLength};
    bool Changed = false;
    switch (C.Op) {
      case TOp::Type: Changed = M.InputChar(S, Utf8ToUtf32(C.Arg)[0]); break;
      case TOp::Back: Changed = M.DeleteBackward(S); break;
      case TOp::Delete: Changed = M.DeleteForward(S); break;
      case TOp::Paste: Changed = M.Paste(S, Utf8ToUtf32(C.Arg)); break;
    }
    EXPECT_EQ(Changed, C.Changes);
    EXPECT_EQ(Utf32ToUtf8(S.Text), C.After);
    if (C.Changes) {
      EXPECT_EQ(S.SelStart, C.Caret);
    }
  }
}

// Random masks, values and keystrokes: the engine never crashes or loops, a
// laid-in value always has the mask's shape, saving and laying in again gives
// the same edit text, and editing never breaks the shape.
TEST(EditMaskTest, FuzzedMasksAndEditsKeepTheShape) {
  const std::u32string MaskChars = U"LlAaCc09#:/_\\!<>-() xä;;1*";
  const std::u32string ValueChars = U"aZ09+- _*xä()\\;€";
  std::mt19937 Rng(20240611);
  auto Pick = [&](const std::u32string& From) { return From[Rng() % From.size()]; };
  for (int Round = 0; Round < 4000; ++Round) {
    std::u32string MaskText;
    const int MaskLen = int(Rng() % 12);
    for (int I = 0; I < MaskLen; ++I) MaskText.push_back(Pick(MaskChars));
    const TEditMask M(Utf32ToUtf8(MaskText));
    SCOPED_TRACE(Utf32ToUtf8(MaskText));
    std::u32string Value;
    const int ValueLen = int(Rng() % 14);
    for (int I = 0; I < ValueLen; ++I) Value.push_back(Pick(ValueChars));
    const std::u32string E = M.EditTextOf(Value);
    if (!M.IsMasked()) {
      EXPECT_EQ(E, Value);
      continue;
    }
    ASSERT_EQ(M.FindMalformed(E), -1) << Utf32ToUtf8(E);
    ASSERT_EQ(M.EditTextOf(M.TextOf(E)), E);
    EXPECT_NO_THROW(FormatMaskText(Utf32ToUtf8(MaskText), Utf32ToUtf8(Value)));
    TMaskEditState S{E, int(Rng() % (M.Length() + 1)), 0};
    for (int Step = 0; Step < 12; ++Step) {
      S.SelLength = Rng() % 4 == 0 ? int(Rng() % 4) : 0;
      switch (Rng() % 4) {
        case 0: M.InputChar(S, Pick(ValueChars)); break;
        case 1: M.DeleteBackward(S); break;
        case 2: M.DeleteForward(S); break;
        default: M.Paste(S, Value.substr(0, Rng() % 4)); break;
      }
      ASSERT_EQ(M.FindMalformed(S.Text), -1) << Utf32ToUtf8(S.Text);
      ASSERT_GE(S.SelStart, 0);
      ASSERT_LE(S.SelStart, M.Length());
      // A complete edit text validates; an incomplete one names a position.
      const int Invalid = M.FindInvalid(S.Text);
      if (Invalid < 0) {
        EXPECT_NO_THROW(M.Validate(S.Text));
      } else {
        EXPECT_THROW(M.Validate(S.Text), EEditMaskError);
      }
    }
  }
}

}  // namespace
}  // namespace fyndra
