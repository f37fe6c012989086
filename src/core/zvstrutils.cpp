#include <fyndra/core/zvstrutils.h>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

bool IsLeadByte(char C) {
  return (static_cast<unsigned char>(C) & 0xC0) != 0x80;
}

// Number of characters of S, but stops counting at Limit: enough to tell
// whether S has at least Limit characters without walking a long text.
std::size_t CharCountUpTo(const std::string& S, std::size_t Limit) {
  std::size_t Count = 0;
  for (char C : S) {
    if (IsLeadByte(C) && ++Count >= Limit) return Count;
  }
  return Count;
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

namespace {

bool StartsTextSameLength(const std::string& SubText, const std::string& Text) {
  const std::size_t N = CharCount(SubText);
  if (N == 0) return true;
  if (CharCountUpTo(Text, N) < N) return false;
  return AnsiCompareTextN(SubText, Text, N) == 0;
}

bool EndsTextSameLength(const std::string& SubText, const std::string& Text) {
  const std::size_t N = CharCount(SubText);
  if (N == 0) return true;
  const std::size_t Total = CharCount(Text);
  if (N > Total) return false;
  const std::string Tail = Text.substr(Utf8CharOffset(Text, Total - N));
  return AnsiCompareTextN(SubText, Tail, N) == 0;
}

}  // namespace

// Counting characters on both sides is only sound while case does not change
// a text's length. Beyond plain 7-bit text it can (the upper case of "ß" is
// "SS", of the ligature "ﬁ" is "FI"), and the text operators hand in their
// criterion upper-cased already: "STRASSE" must still start "Straße 5". So
// such texts are compared in their upper-case forms, where both sides have
// been through the same mapping.
bool AnsiStartsText(const std::string& SubText, const std::string& Text) {
  if (IsAscii(SubText) && IsAscii(Text)) return StartsTextSameLength(SubText, Text);
  return StartsTextSameLength(AnsiUpperCase(SubText), AnsiUpperCase(Text));
}

bool AnsiEndsText(const std::string& SubText, const std::string& Text) {
  if (IsAscii(SubText) && IsAscii(Text)) return EndsTextSameLength(SubText, Text);
  return EndsTextSameLength(AnsiUpperCase(SubText), AnsiUpperCase(Text));
}

// The criterion is upper case already: only a record beyond 7-bit text needs
// mapping, and plain 7-bit text keeps its length under it.
bool AnsiStartsUpperText(const std::string& UpperSubText, const std::string& Text) {
  if (IsAscii(Text)) return StartsTextSameLength(UpperSubText, Text);
  return StartsTextSameLength(UpperSubText, AnsiUpperCase(Text));
}

bool AnsiEndsUpperText(const std::string& UpperSubText, const std::string& Text) {
  if (IsAscii(Text)) return EndsTextSameLength(UpperSubText, Text);
  return EndsTextSameLength(UpperSubText, AnsiUpperCase(Text));
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
