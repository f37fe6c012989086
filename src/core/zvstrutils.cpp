#include <fyndra/core/zvstrutils.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

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
  return UpperFormStartsWith(Text, UpperSubText);
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

// ---------------------------------------------------------------------------
// Wildcard patterns

namespace {

// A pattern is a sequence of units: characters (code points, or case keys
// when ignoring case) and the two wildcards, whose values no character takes.
constexpr char32_t kAnyChar = 0xFFFFFFFFu;  // '?'
constexpr char32_t kAnyRun = 0xFFFFFFFEu;   // '*'
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
constexpr char32_t kFirstStrayByte = 0x110000;  // beyond every code point

// Code points of a UTF-8 text, so that '?' stands for one character. A byte
// that does not start a well-formed character becomes a unit of its own,
// distinct from every character, so that invalid texts still compare byte
// for byte. Characters are read as the text service reads them, so that
// case keys and upper-case forms count the same characters.
void DecodeCodePoints(std::string_view S, std::u32string& Out) {
  Out.clear();
  Out.reserve(S.size());
  std::size_t I = 0;
  while (I < S.size()) {
    const unsigned char B = static_cast<unsigned char>(S[I]);
    char32_t Cp = B;
    if (B < 0x80) {
      ++I;
    } else if (!NextUtf8Char(S, I, Cp)) {
      Cp = kFirstStrayByte + B;
      ++I;
    }
    Out.push_back(Cp);
  }
}

// A part of the pattern between two stars, with the tables of its search.
struct TPart {
  std::size_t Begin = 0, Len = 0;
  bool HasAny = false;
  // Without '?': the Knuth-Morris-Pratt failure table.
  std::vector<std::size_t> Fail;
  // With '?': shift-and over Words 64-bit words. A character's mask holds the
  // positions where it or '?' stands. Masks[0, Words) is that of a character
  // the part does not hold ('?' alone). A character that stands in at least
  // Words places has a mask of its own (at most 64 do, since Words is a
  // 64th of the length); a rarer one is its list of places, applied one by
  // one. Memory stays linear in the part, a step costs about Words.
  std::size_t Words = 0;
  std::vector<char32_t> Alphabet;     // the part's characters, sorted
  std::vector<std::uint32_t> Dense;   // per character: its mask's number, 0 when it has a list
  std::vector<std::uint32_t> ListAt;  // per character (and one more): where its list starts in Places
  std::vector<std::uint32_t> Places;
  std::vector<std::uint64_t> Masks;
  std::array<std::uint32_t, 128> AsciiEntry{};  // character number + 1, 0 when not in the part
};

// Units made ready for matching: where their first and last stars are, and
// the parts between them.
struct TUnitPattern {
  std::u32string Units;
  std::size_t FirstStar = std::u32string::npos, LastStar = std::u32string::npos;
  std::vector<TPart> Parts;
};

// A pattern made ready for matching. Ignoring case it is matched twice over:
// by the case keys of its characters against those of the text's characters
// (Units), and, where some character's upper case is longer than one
// character, as its upper-case form against the text's (Upper).
struct TCompiledPattern {
  std::string Source;
  bool IgnoreCase = false;
  std::uint64_t Locale = 0;  // the text locale generation its keys belong to
  TUnitPattern Units;
  bool Longer = false;  // a character of the pattern upper-cases to several
  TUnitPattern Upper;
};

void PreparePart(const std::u32string& Units, TPart& Part) {
  const char32_t* P = Units.data() + Part.Begin;
  const std::size_t M = Part.Len;
  if (!Part.HasAny) {
    Part.Fail.assign(M, 0);
    for (std::size_t I = 1, K = 0; I < M; ++I) {
      while (K > 0 && P[I] != P[K]) K = Part.Fail[K - 1];
      if (P[I] == P[K]) ++K;
      Part.Fail[I] = K;
    }
    return;
  }
  const std::size_t W = (M + 63) / 64;
  Part.Words = W;
  for (std::size_t J = 0; J < M; ++J)
    if (P[J] != kAnyChar) Part.Alphabet.push_back(P[J]);
  std::sort(Part.Alphabet.begin(), Part.Alphabet.end());
  Part.Alphabet.erase(std::unique(Part.Alphabet.begin(), Part.Alphabet.end()), Part.Alphabet.end());
  const std::size_t D = Part.Alphabet.size();
  auto NumberOf = [&Part](char32_t C) {
    return static_cast<std::size_t>(std::lower_bound(Part.Alphabet.begin(), Part.Alphabet.end(), C) -
                                    Part.Alphabet.begin());
  };
  // Places of each character, grouped by character.
  Part.ListAt.assign(D + 1, 0);
  for (std::size_t J = 0; J < M; ++J)
    if (P[J] != kAnyChar) ++Part.ListAt[NumberOf(P[J]) + 1];
  for (std::size_t A = 0; A < D; ++A) Part.ListAt[A + 1] += Part.ListAt[A];
  Part.Places.assign(Part.ListAt[D], 0);
  std::vector<std::uint32_t> Fill(Part.ListAt.begin(), Part.ListAt.end() - 1);
  for (std::size_t J = 0; J < M; ++J)
    if (P[J] != kAnyChar) Part.Places[Fill[NumberOf(P[J])]++] = static_cast<std::uint32_t>(J);
  // The mask of '?' alone, then one for each frequent character.
  Part.Masks.assign(W, 0);
  for (std::size_t J = 0; J < M; ++J)
    if (P[J] == kAnyChar) Part.Masks[J / 64] |= std::uint64_t{1} << (J % 64);
  const std::vector<std::uint64_t> AnyMask = Part.Masks;
  Part.Dense.assign(D, 0);
  for (std::size_t A = 0; A < D; ++A) {
    const std::uint32_t From = Part.ListAt[A], To = Part.ListAt[A + 1];
    if (W > 1 && To - From < W) continue;
    Part.Dense[A] = static_cast<std::uint32_t>(Part.Masks.size() / W);
    Part.Masks.insert(Part.Masks.end(), AnyMask.begin(), AnyMask.end());
    std::uint64_t* Mask = Part.Masks.data() + Part.Dense[A] * W;
    for (std::uint32_t K = From; K < To; ++K) Mask[Part.Places[K] / 64] |= std::uint64_t{1} << (Part.Places[K] % 64);
  }
  for (std::size_t A = 0; A < D && Part.Alphabet[A] < 128; ++A)
    Part.AsciiEntry[Part.Alphabet[A]] = static_cast<std::uint32_t>(A + 1);
}

// The wildcards become units no character takes.
void MarkWildcards(std::u32string& Units) {
  for (char32_t& U : Units) {
    if (U == U'*')
      U = kAnyRun;
    else if (U == U'?')
      U = kAnyChar;
  }
}

void Split(TUnitPattern& C) {
  const std::u32string& Units = C.Units;
  C.FirstStar = Units.find(kAnyRun);
  C.LastStar = Units.rfind(kAnyRun);
  C.Parts.clear();
  if (C.FirstStar == std::u32string::npos) return;
  for (std::size_t I = C.FirstStar + 1; I < C.LastStar;) {
    TPart Part;
    Part.Begin = I;
    std::size_t J = I;
    for (; J < C.LastStar && Units[J] != kAnyRun; ++J) Part.HasAny = Part.HasAny || Units[J] == kAnyChar;
    Part.Len = J - I;
    if (Part.Len > 0) {
      PreparePart(Units, Part);
      C.Parts.push_back(std::move(Part));
    }
    I = J + 1;
  }
}

// '*' and '?' are ASCII, so they are characters of their own in every reading
// of the pattern and no upper case makes or takes one.
void Compile(const std::string& Pattern, bool IgnoreCase, TCompiledPattern& C) {
  C.Source = Pattern;
  C.IgnoreCase = IgnoreCase;
  C.Locale = TextLocaleGeneration();
  DecodeCodePoints(Pattern, C.Units.Units);
  C.Longer = false;
  if (IgnoreCase) {
    std::u32string& Units = C.Units.Units;
    // The wildcards keep their places; their own keys would be themselves.
    std::vector<std::size_t> Wild;
    for (std::size_t I = 0; I < Units.size(); ++I)
      if (Units[I] == U'*' || Units[I] == U'?') Wild.push_back(I);
    C.Longer = AnsiCaseKeys(Units);
    for (std::size_t I : Wild) Units[I] = Units[I] == U'*' ? kAnyRun : kAnyChar;
    DecodeCodePoints(AnsiUpperCase(Pattern), C.Upper.Units);
    MarkWildcards(C.Upper.Units);
    Split(C.Upper);
  } else {
    MarkWildcards(C.Units.Units);
  }
  Split(C.Units);
}

// Patterns made ready lately on this thread, with the buffers reused from
// one record to the next: a filter asks the same few patterns of every
// record.
struct TMatchCache {
  static constexpr std::size_t kSlots = 4;
  TCompiledPattern Slots[kSlots];
  bool Used[kSlots] = {};
  std::size_t Next = 0;
  std::u32string Text;
  std::string UpperText;
  std::vector<std::uint64_t> State, Spare;
};

TMatchCache& Cache() {
  thread_local TMatchCache C;
  return C;
}

const TCompiledPattern& CompiledPattern(const std::string& Pattern, bool IgnoreCase, TMatchCache& Cache) {
  const std::uint64_t Locale = IgnoreCase ? TextLocaleGeneration() : 0;
  for (std::size_t I = 0; I < TMatchCache::kSlots; ++I) {
    const TCompiledPattern& C = Cache.Slots[I];
    if (Cache.Used[I] && C.IgnoreCase == IgnoreCase && (!IgnoreCase || C.Locale == Locale) && C.Source == Pattern)
      return C;
  }
  const std::size_t Slot = Cache.Next;
  Cache.Next = (Cache.Next + 1) % TMatchCache::kSlots;
  Cache.Used[Slot] = false;  // until it is complete
  Compile(Pattern, IgnoreCase, Cache.Slots[Slot]);
  Cache.Used[Slot] = true;
  return Cache.Slots[Slot];
}

template <class U>
bool SameAt(const U* T, const char32_t* P, std::size_t Len) {
  for (std::size_t I = 0; I < Len; ++I)
    if (P[I] != kAnyChar && P[I] != static_cast<char32_t>(T[I])) return false;
  return true;
}

// Leftmost occurrence of a part without '?' in T[From, To), Knuth-Morris-
// Pratt: every text unit is looked at a bounded number of times.
template <class U>
std::size_t FindPlain(const U* T, std::size_t From, std::size_t To, const char32_t* P, const TPart& Part) {
  const std::size_t M = Part.Len;
  std::size_t K = 0;
  for (std::size_t I = From; I < To; ++I) {
    if (K == 0) {
      // Nothing matched yet: skip to the next place the first unit occurs.
      const U* Hit = std::find_if(T + I, T + To, [First = P[0]](U C) { return static_cast<char32_t>(C) == First; });
      I = static_cast<std::size_t>(Hit - T);
      if (I == To) return kNotFound;
    }
    while (K > 0 && P[K] != static_cast<char32_t>(T[I])) K = Part.Fail[K - 1];
    if (P[K] == static_cast<char32_t>(T[I])) ++K;
    if (K == M) return I + 1 - M;
  }
  return kNotFound;
}

// Leftmost occurrence of a part with '?' in T[From, To), shift-and: bit J of
// the state says that the part's first J + 1 units end at the current text
// unit; a step updates all of them at once, 64 a word.
template <class U>
std::size_t FindWithAny(const U* T, std::size_t From, std::size_t To, const TPart& Part,
                        std::vector<std::uint64_t>& D, std::vector<std::uint64_t>& Next) {
  const std::size_t M = Part.Len, W = Part.Words;
  // The character's number + 1 in the part's alphabet, 0 when it is not there.
  auto EntryOf = [&Part](char32_t C) -> std::size_t {
    if (C < 128) return Part.AsciiEntry[C];
    auto It = std::lower_bound(Part.Alphabet.begin(), Part.Alphabet.end(), C);
    return It != Part.Alphabet.end() && *It == C ? static_cast<std::size_t>(It - Part.Alphabet.begin()) + 1 : 0;
  };
  const std::uint64_t Last = std::uint64_t{1} << ((M - 1) % 64);
  if (W == 1) {  // every character of the part has a mask
    std::uint64_t State = 0;
    for (std::size_t I = From; I < To; ++I) {
      const std::size_t E = EntryOf(static_cast<char32_t>(T[I]));
      State = ((State << 1) | 1) & Part.Masks[E ? Part.Dense[E - 1] : 0];
      if (State & Last) return I + 1 - M;
    }
    return kNotFound;
  }
  D.assign(W, 0);
  Next.assign(W, 0);
  for (std::size_t I = From; I < To; ++I) {
    const std::size_t E = EntryOf(static_cast<char32_t>(T[I]));
    const std::uint32_t Dense = E ? Part.Dense[E - 1] : 0;
    const std::uint64_t* Mask = Part.Masks.data() + Dense * W;
    std::uint64_t Carry = 1;
    for (std::size_t K = 0; K < W; ++K) {
      Next[K] = ((D[K] << 1) | Carry) & Mask[K];
      Carry = D[K] >> 63;
    }
    if (E && !Dense) {
      // A rare character: each of its places continues a match that ends
      // just before it (or starts one).
      for (std::uint32_t K = Part.ListAt[E - 1]; K < Part.ListAt[E]; ++K) {
        const std::uint32_t J = Part.Places[K];
        if (J == 0 || (D[(J - 1) / 64] >> ((J - 1) % 64) & 1)) Next[J / 64] |= std::uint64_t{1} << (J % 64);
      }
    }
    D.swap(Next);
    if (D[W - 1] & Last) return I + 1 - M;
  }
  return kNotFound;
}

template <class U>
bool MatchUnits(const U* T, std::size_t N, const TUnitPattern& C, std::vector<std::uint64_t>& State,
                std::vector<std::uint64_t>& Spare) {
  const char32_t* P = C.Units.data();
  const std::size_t M = C.Units.size();
  if (C.FirstStar == std::u32string::npos) return N == M && SameAt(T, P, M);
  // The part before the first star sits at the start, the part after the
  // last star at the end; they may not overlap.
  const std::size_t Head = C.FirstStar, Tail = M - C.LastStar - 1;
  if (Head + Tail > N) return false;
  if (!SameAt(T, P, Head) || !SameAt(T + (N - Tail), P + C.LastStar + 1, Tail)) return false;
  std::size_t Pos = Head;
  const std::size_t End = N - Tail;
  for (const TPart& Part : C.Parts) {
    if (Part.Len > End - Pos) return false;
    const std::size_t Found = Part.HasAny ? FindWithAny(T, Pos, End, Part, State, Spare)
                                          : FindPlain(T, Pos, End, P + Part.Begin, Part);
    if (Found == kNotFound) return false;
    Pos = Found + Part.Len;
  }
  return true;
}

}  // namespace

bool MatchWildcards(const std::string& Text, const std::string& Pattern, bool IgnoreCase) {
  TMatchCache& S = Cache();
  const TCompiledPattern& C = CompiledPattern(Pattern, IgnoreCase, S);
  if (!IgnoreCase) {
    if (IsAscii(Text))
      return MatchUnits(reinterpret_cast<const unsigned char*>(Text.data()), Text.size(), C.Units, S.State, S.Spare);
    DecodeCodePoints(Text, S.Text);
    return MatchUnits(S.Text.data(), S.Text.size(), C.Units, S.State, S.Spare);
  }
  DecodeCodePoints(Text, S.Text);
  const bool Longer = AnsiCaseKeys(S.Text);
  if (MatchUnits(S.Text.data(), S.Text.size(), C.Units, S.State, S.Spare)) return true;
  // Where every character upper-cases to one, the upper-case forms are the
  // keys in a row and the answer stands.
  if (!Longer && !C.Longer) return false;
  S.UpperText = AnsiUpperCase(Text);
  DecodeCodePoints(S.UpperText, S.Text);
  return MatchUnits(S.Text.data(), S.Text.size(), C.Upper, S.State, S.Spare);
}

}  // namespace fyndra
