#include <fyndra/core/zvstrutils.h>

#include <string_view>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

bool IsLeadByte(char C) {
  return (static_cast<unsigned char>(C) & 0xC0) != 0x80;
}

std::size_t CharCount(const std::string& S) {
  std::size_t Count = 0;
  for (char C : S) Count += IsLeadByte(C) ? 1 : 0;
  return Count;
}

}  // namespace

std::size_t Utf8CharOffset(const std::string& S, std::size_t CharIndex) {
  std::size_t Seen = 0;
  for (std::size_t I = 0; I < S.size(); ++I) {
    if (!IsLeadByte(S[I])) continue;
    if (Seen == CharIndex) return I;
    ++Seen;
  }
  return S.size();
}

// Ignoring case means comparing upper-case forms character for character,
// as UPPER( F ) LIKE 'T%' does in SQL: the locale's collation would also
// hold texts equal that differ in control characters or in how an accent is
// spelt, and the two means would select different records. Full mapping can
// change a text's length (the upper case of "ß" is "SS", of the ligature
// "ﬁ" is "FI"), so only as many characters of the text are mapped as the
// part can need: every character maps to at least one.
bool AnsiStartsUpperText(const std::string& UpperSubText, const std::string& Text) {
  if (UpperSubText.empty()) return true;
  const std::string Head = AnsiUpperCase(std::string_view(Text).substr(0, Utf8CharOffset(Text, UpperSubText.size())));
  return Head.size() >= UpperSubText.size() && Head.compare(0, UpperSubText.size(), UpperSubText) == 0;
}

bool AnsiEndsUpperText(const std::string& UpperSubText, const std::string& Text) {
  if (UpperSubText.empty()) return true;
  const std::size_t Total = CharCount(Text);
  const std::size_t From = Total > UpperSubText.size() ? Utf8CharOffset(Text, Total - UpperSubText.size()) : 0;
  const std::string Tail = AnsiUpperCase(std::string_view(Text).substr(From));
  return Tail.size() >= UpperSubText.size() &&
         Tail.compare(Tail.size() - UpperSubText.size(), UpperSubText.size(), UpperSubText) == 0;
}

bool AnsiStartsText(const std::string& SubText, const std::string& Text) {
  return AnsiStartsUpperText(AnsiUpperCase(SubText), Text);
}

bool AnsiEndsText(const std::string& SubText, const std::string& Text) {
  return AnsiEndsUpperText(AnsiUpperCase(SubText), Text);
}

bool AnsiStartsStr(const std::string& SubText, const std::string& Text) {
  const std::size_t End = Utf8CharOffset(Text, CharCount(SubText));
  // Identical bytes are equal in every locale; only differing bytes need the
  // locale's judgement (canonically equivalent spellings, for example).
  if (Text.compare(0, End, SubText) == 0) return true;
  return AnsiSameStr(SubText, Text.substr(0, End));
}

bool AnsiEndsStr(const std::string& SubText, const std::string& Text) {
  const std::size_t N = CharCount(SubText);
  const std::size_t Total = CharCount(Text);
  if (N > Total) return false;
  const std::size_t Start = Utf8CharOffset(Text, Total - N);
  if (Text.compare(Start, std::string::npos, SubText) == 0) return true;
  return AnsiSameStr(SubText, Text.substr(Start));
}

bool AnsiContainsText(const std::string& Text, const std::string& SubText) {
  if (SubText.empty()) return false;
  return AnsiPos(AnsiUpperCase(SubText), AnsiUpperCase(Text)) > 0;
}

bool AnsiContainsStr(const std::string& Text, const std::string& SubText) {
  return AnsiPos(SubText, Text) > 0;
}

}  // namespace fyndra
