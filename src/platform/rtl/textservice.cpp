#include <fyndra/platform/rtl/textservice.h>

#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {

namespace {

// ---------------------------------------------------------------- UTF-8

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kHighest = 0xFFFF;

// Decodes one character at S[I], advancing I. Invalid sequences yield one
// byte each: FF as U+FFFF, everything else as U+FFFD.
inline char32_t DecodeOne(std::string_view S, std::size_t& I, bool* Valid = nullptr) {
  const auto B0 = static_cast<unsigned char>(S[I]);
  if (B0 < 0x80) {
    ++I;
    if (Valid) *Valid = true;
    return B0;
  }
  int Len = 0;
  char32_t CP = 0;
  char32_t Min = 0;
  if (B0 >= 0xC2 && B0 <= 0xDF) { Len = 2; CP = B0 & 0x1F; Min = 0x80; }
  else if (B0 >= 0xE0 && B0 <= 0xEF) { Len = 3; CP = B0 & 0x0F; Min = 0x800; }
  else if (B0 >= 0xF0 && B0 <= 0xF4) { Len = 4; CP = B0 & 0x07; Min = 0x10000; }
  if (Len > 0 && I + Len <= S.size()) {
    bool Ok = true;
    for (int K = 1; K < Len; ++K) {
      const auto B = static_cast<unsigned char>(S[I + K]);
      if ((B & 0xC0) != 0x80) { Ok = false; break; }
      CP = (CP << 6) | (B & 0x3F);
    }
    if (Ok && CP >= Min && CP <= 0x10FFFF && !(CP >= 0xD800 && CP <= 0xDFFF)) {
      I += Len;
      if (Valid) *Valid = true;
      return CP;
    }
  }
  ++I;
  if (Valid) *Valid = false;
  return B0 == 0xFF ? kHighest : kReplacement;
}

void AppendUtf16(std::u16string& Out, char32_t CP) {
  if (CP < 0x10000) {
    Out.push_back(static_cast<char16_t>(CP));
  } else {
    CP -= 0x10000;
    Out.push_back(static_cast<char16_t>(0xD800 + (CP >> 10)));
    Out.push_back(static_cast<char16_t>(0xDC00 + (CP & 0x3FF)));
  }
}

void AppendUtf8(std::string& Out, char32_t CP) {
  if (CP < 0x80) {
    Out.push_back(static_cast<char>(CP));
  } else if (CP < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | (CP >> 6)));
    Out.push_back(static_cast<char>(0x80 | (CP & 0x3F)));
  } else if (CP < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | (CP >> 12)));
    Out.push_back(static_cast<char>(0x80 | ((CP >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (CP & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | (CP >> 18)));
    Out.push_back(static_cast<char>(0x80 | ((CP >> 12) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | ((CP >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (CP & 0x3F)));
  }
}

// Decodes into Out, reusing its capacity: a UTF-8 text never needs more UTF-16
// units than it has bytes.
// Returns false when S held bytes that are not UTF-8. For collation, DEL
// (7F) reads as U+FFFF like the stray byte FF: both pad the upper ends of
// prefix ranges and must sort after every character.
bool DecodeInto(std::string_view S, std::u16string& Out, bool ForCollation) {
  bool AllValid = true;
  Out.resize(S.size());
  char16_t* P = Out.data();
  for (std::size_t I = 0; I < S.size();) {
    const auto B = static_cast<unsigned char>(S[I]);
    if (B < 0x80) {
      *P++ = (ForCollation && B == 0x7F) ? char16_t(0xFFFF) : B;
      ++I;
      continue;
    }
    bool Valid = true;
    const char32_t CP = DecodeOne(S, I, &Valid);
    AllValid = AllValid && Valid;
    if (CP < 0x10000) {
      *P++ = static_cast<char16_t>(CP);
    } else {
      *P++ = static_cast<char16_t>(0xD800 + ((CP - 0x10000) >> 10));
      *P++ = static_cast<char16_t>(0xDC00 + ((CP - 0x10000) & 0x3FF));
    }
  }
  Out.resize(static_cast<std::size_t>(P - Out.data()));
  return AllValid;
}

bool IsValidUtf8(std::string_view S) {
  for (std::size_t I = 0; I < S.size();) {
    if (static_cast<unsigned char>(S[I]) < 0x80) {
      ++I;
      continue;
    }
    bool Valid = true;
    DecodeOne(S, I, &Valid);
    if (!Valid) return false;
  }
  return true;
}

// Byte length of the first N characters of S.
std::size_t PrefixBytes(std::string_view S, std::size_t N) {
  std::size_t I = 0;
  for (std::size_t K = 0; K < N && I < S.size(); ++K) DecodeOne(S, I);
  return I;
}

inline char AsciiUpper(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C; }
inline char AsciiLower(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C; }

// ---------------------------------------------------------------- locale state

struct GlobalLocale {
  std::mutex Lock;
  std::string Name;
  std::atomic<std::uint64_t> Generation{1};
};

std::string LocaleFromEnvironment() {
  for (const char* Var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* V = std::getenv(Var);
    if (V == nullptr || *V == '\0') continue;
    std::string L(V);
    L = L.substr(0, L.find_first_of(".@"));
    if (L.empty() || L == "C" || L == "POSIX") return "en_US";
    return L;
  }
  return "en_US";
}

GlobalLocale& Global() {
  static GlobalLocale* G = [] {
    auto* P = new GlobalLocale;  // never freed: used by static destructors of other units
    P->Name = LocaleFromEnvironment();
    return P;
  }();
  return *G;
}

// Per-character collation ranks of the ASCII range, valid when every ASCII
// character is exactly one collation element and takes part in no
// contraction; then comparing rank sequences level by level gives ICU's order.
struct AsciiRanks {
  std::array<std::uint16_t, 128> Level[3]{};  // 0 = ignorable at that level
};

// Case keys (AnsiCaseKeys): the upper case of each character. A character
// whose upper case is one character has that as its key; the upper cases of
// several characters (ß -> SS) are numbered in order of first use. ASCII is
// looked up in a table, every other character in a map filled as characters
// come.
struct CaseKeyTable {
  bool AsciiReady = false;
  std::array<char32_t, 128> Ascii{};
  std::unordered_map<char32_t, char32_t> Other;
  std::map<std::u16string, char32_t> Longer;  // upper case of several characters -> key
};

// Upper-case forms of the texts compared last. An engine comparing rows with a
// bound (an index range, a seek) passes the same bound again and again; it is
// mapped once. Entries never move, and a miss replaces the entry used least
// recently, so a form returned by one lookup survives the next lookup.
struct UpperMemo {
  struct Entry {
    std::string In, Out;
    std::uint64_t Used = 0;
  };
  std::array<Entry, 4> Entries;
  std::uint64_t Clock = 0;
};

struct CollatorPair {
  UCollator* CaseInsensitive = nullptr;  // secondary strength
  UCollator* CaseSensitive = nullptr;    // tertiary strength
  UCaseMap* CaseMap = nullptr;           // case mapping straight on UTF-8
  bool AsciiOk = false;
  bool AsciiCaseOk = false;  // ASCII case mapping is locale-independent
  bool UpperInContext = false;  // the locale's upper case looks at neighbours
  AsciiRanks Ranks;
  CaseKeyTable CaseKeys;
  UpperMemo Uppers;
  std::string LocaleName;
  ~CollatorPair() {
    if (CaseInsensitive) ucol_close(CaseInsensitive);
    if (CaseSensitive) ucol_close(CaseSensitive);
    if (CaseMap) ucasemap_close(CaseMap);
  }
};

bool CollatorAllowsAsciiShortcut(UCollator* C) {
  UErrorCode E = U_ZERO_ERROR;
  if (ucol_getAttribute(C, UCOL_FRENCH_COLLATION, &E) == UCOL_ON) return false;
  if (ucol_getAttribute(C, UCOL_ALTERNATE_HANDLING, &E) == UCOL_SHIFTED) return false;
  if (ucol_getAttribute(C, UCOL_CASE_LEVEL, &E) == UCOL_ON) return false;
  if (ucol_getAttribute(C, UCOL_NUMERIC_COLLATION, &E) == UCOL_ON) return false;
  if (U_FAILURE(E)) return false;
  USet* Contractions = uset_openEmpty();
  USet* Expansions = uset_openEmpty();
  ucol_getContractionsAndExpansions(C, Contractions, Expansions, true, &E);
  bool Ok = U_SUCCESS(E);
  for (UChar32 Ch = 0; Ok && Ch < 128; ++Ch) {
    if (uset_contains(Expansions, Ch)) Ok = false;
  }
  // A contraction made only of ASCII characters disables the shortcut; ones
  // that need a non-ASCII character (such as "l" + middle dot) never apply to
  // ASCII texts.
  const int32_t Count = Ok ? uset_getItemCount(Contractions) : 0;
  std::u16string Buf(64, u'\0');
  for (int32_t K = 0; Ok && K < Count; ++K) {
    UChar32 Start = 0, End = 0;
    UErrorCode E2 = U_ZERO_ERROR;
    int32_t Len = uset_getItem(Contractions, K, &Start, &End,
                               reinterpret_cast<UChar*>(Buf.data()), static_cast<int32_t>(Buf.size()), &E2);
    if (U_FAILURE(E2)) { Ok = false; break; }
    if (Len > 1) {
      bool AllAscii = true;
      for (int32_t J = 0; J < Len; ++J) {
        if (Buf[J] >= 128) AllAscii = false;
      }
      if (AllAscii) Ok = false;
    }
  }
  uset_close(Contractions);
  uset_close(Expansions);
  return Ok;
}

// Ranks the ASCII characters level by level from their sort keys.
bool BuildAsciiRanks(UCollator* Tertiary, AsciiRanks& R) {
  std::array<std::string, 128> Levels[3];
  for (int Ch = 0; Ch < 128; ++Ch) {
    UChar U = static_cast<UChar>(Ch);
    uint8_t Key[64];
    int32_t Len = ucol_getSortKey(Tertiary, &U, 1, Key, sizeof Key);
    if (Len <= 0 || Len > static_cast<int32_t>(sizeof Key)) return false;
    // Levels are separated by 01 and the key ends with 00.
    int L = 0;
    for (int32_t K = 0; K < Len && Key[K] != 0; ++K) {
      if (Key[K] == 1) {
        if (++L > 2) break;
        continue;
      }
      Levels[L][Ch].push_back(static_cast<char>(Key[K]));
    }
  }
  for (int L = 0; L < 3; ++L) {
    std::array<std::string, 128> Sorted = Levels[L];
    std::sort(Sorted.begin(), Sorted.end());
    auto EndU = std::unique(Sorted.begin(), Sorted.end());
    for (int Ch = 0; Ch < 128; ++Ch) {
      if (Levels[L][Ch].empty()) {
        R.Level[L][Ch] = 0;
      } else {
        auto Pos = std::lower_bound(Sorted.begin(), EndU, Levels[L][Ch]) - Sorted.begin();
        // The empty string sorts first, so ranks of real weights start at 1.
        R.Level[L][Ch] = static_cast<std::uint16_t>(Pos + (Sorted[0].empty() ? 0 : 1));
      }
    }
  }
  // DEL pads range ends: it sorts after every other character, as U+FFFF
  // does in the collation path.
  for (int L = 0; L < 3; ++L) {
    std::uint16_t Max = 0;
    for (int Ch = 0; Ch < 128; ++Ch) Max = std::max(Max, R.Level[L][Ch]);
    R.Level[L][0x7F] = static_cast<std::uint16_t>(Max + 1);
  }
  // Completely ignorable characters must be ignorable at every level, and a
  // character ignorable at the first level must be ignorable at all.
  for (int Ch = 0; Ch < 128; ++Ch) {
    if (R.Level[0][Ch] == 0 && (R.Level[1][Ch] != 0 || R.Level[2][Ch] != 0)) return false;
  }
  return true;
}

int CompareAsciiLevel(const AsciiRanks& R, int Level, std::string_view A, std::string_view B) {
  const auto& T = R.Level[Level];
  std::size_t I = 0, J = 0;
  for (;;) {
    while (I < A.size() && T[static_cast<unsigned char>(A[I])] == 0) ++I;
    while (J < B.size() && T[static_cast<unsigned char>(B[J])] == 0) ++J;
    if (I == A.size() || J == B.size()) {
      return (I == A.size() ? 0 : 1) - (J == B.size() ? 0 : 1);
    }
    const int WA = T[static_cast<unsigned char>(A[I])];
    const int WB = T[static_cast<unsigned char>(B[J])];
    if (WA != WB) return WA < WB ? -1 : 1;
    ++I;
    ++J;
  }
}

int CompareBytes(std::string_view A, std::string_view B) {
  const int C = A.compare(B);
  return C < 0 ? -1 : (C > 0 ? 1 : 0);
}

std::unique_ptr<CollatorPair> OpenCollators(const std::string& Locale) {
  auto P = std::make_unique<CollatorPair>();
  P->LocaleName = Locale;
  auto Open = [&Locale](UColAttributeValue Strength) {
    UErrorCode E = U_ZERO_ERROR;
    UCollator* C = ucol_open(Locale.c_str(), &E);
    if (U_FAILURE(E) || C == nullptr) {
      E = U_ZERO_ERROR;
      C = ucol_open("", &E);  // the root collation
    }
    if (U_FAILURE(E) || C == nullptr) throw Exception("Cannot open a collator for locale " + Locale);
    ucol_setStrength(C, Strength);
    return C;
  };
  P->CaseSensitive = Open(UCOL_TERTIARY);
  P->CaseInsensitive = Open(UCOL_SECONDARY);
  UErrorCode E = U_ZERO_ERROR;
  P->CaseMap = ucasemap_open(Locale.c_str(), U_FOLD_CASE_DEFAULT, &E);
  if (U_FAILURE(E)) P->CaseMap = nullptr;  // the UTF-16 path still works
  P->AsciiOk = CollatorAllowsAsciiShortcut(P->CaseSensitive) && BuildAsciiRanks(P->CaseSensitive, P->Ranks);
  // Turkic languages map i to a dotted capital I: ASCII case mapping depends on them.
  const std::string Lang = Locale.substr(0, Locale.find_first_of("_-@"));
  P->AsciiCaseOk = !(Lang == "tr" || Lang == "az");
  // Lithuanian drops a dot above after i, Greek drops accents and adds a
  // diaeresis depending on the letters around.
  P->UpperInContext = Lang == "lt" || Lang == "el";
  return P;
}

struct ThreadState {
  std::uint64_t Generation = 0;
  CollatorPair* Current = nullptr;
  CollatorPair* Named = nullptr;  // the last one asked for by name
  std::map<std::string, std::unique_ptr<CollatorPair>> Cache;
  std::u16string BufA, BufB;
};

ThreadState& State() {
  thread_local ThreadState S;
  return S;
}

CollatorPair& CurrentFor(ThreadState& S) {
  GlobalLocale& G = Global();
  const std::uint64_t Gen = G.Generation.load(std::memory_order_acquire);
  if (S.Current == nullptr || S.Generation != Gen) {
    std::string Name;
    {
      std::lock_guard<std::mutex> Guard(G.Lock);
      Name = G.Name;
    }
    auto& Slot = S.Cache[Name];
    if (!Slot) Slot = OpenCollators(Name);
    S.Current = Slot.get();
    S.Generation = Gen;
  }
  return *S.Current;
}

CollatorPair& Current() { return CurrentFor(State()); }

// The collators of a named locale, whatever the current one is.
CollatorPair& CollatorsOf(ThreadState& S, const std::string& Locale) {
  if (S.Named != nullptr && S.Named->LocaleName == Locale) return *S.Named;
  auto& Slot = S.Cache[Locale];
  if (!Slot) Slot = OpenCollators(Locale);
  S.Named = Slot.get();
  return *Slot;
}

int Sign(int V) { return V < 0 ? -1 : (V > 0 ? 1 : 0); }

int IcuCompare(ThreadState& S, CollatorPair& P, std::string_view A, std::string_view B, bool IgnoreCase) {
  DecodeInto(A, S.BufA, true);
  DecodeInto(B, S.BufB, true);
  const auto* UA = reinterpret_cast<const UChar*>(S.BufA.data());
  const auto* UB = reinterpret_cast<const UChar*>(S.BufB.data());
  const auto LA = static_cast<int32_t>(S.BufA.size());
  const auto LB = static_cast<int32_t>(S.BufB.size());
  UCollationResult R = ucol_strcoll(IgnoreCase ? P.CaseInsensitive : P.CaseSensitive, UA, LA, UB, LB);
  if (R != UCOL_EQUAL) return R == UCOL_LESS ? -1 : 1;
  if (IgnoreCase) return 0;
  return Sign(u_strCompare(UA, LA, UB, LB, true));
}

int CompareTextWith(ThreadState& S, CollatorPair& P, std::string_view A, std::string_view B, bool IgnoreCase) {
  if (P.AsciiOk && IsAscii(A) && IsAscii(B)) {
    for (int L = 0; L < (IgnoreCase ? 2 : 3); ++L) {
      if (int C = CompareAsciiLevel(P.Ranks, L, A, B)) return C;
    }
    return IgnoreCase ? 0 : CompareBytes(A, B);
  }
  return IcuCompare(S, P, A, B, IgnoreCase);
}

int CompareText(std::string_view A, std::string_view B, bool IgnoreCase) {
  ThreadState& S = State();
  return CompareTextWith(S, CurrentFor(S), A, B, IgnoreCase);
}

int WideCompare(std::u16string_view A, std::u16string_view B, bool IgnoreCase) {
  CollatorPair& P = Current();
  const auto* UA = reinterpret_cast<const UChar*>(A.data());
  const auto* UB = reinterpret_cast<const UChar*>(B.data());
  const auto LA = static_cast<int32_t>(A.size());
  const auto LB = static_cast<int32_t>(B.size());
  UCollationResult R = ucol_strcoll(IgnoreCase ? P.CaseInsensitive : P.CaseSensitive, UA, LA, UB, LB);
  if (R != UCOL_EQUAL) return R == UCOL_LESS ? -1 : 1;
  if (IgnoreCase) return 0;
  return Sign(u_strCompare(UA, LA, UB, LB, true));
}

using IcuCaseFn = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

void IcuMapCaseInto(std::u16string_view S, bool Upper, const std::string& Locale, std::u16string& Out) {
  IcuCaseFn Fn = Upper ? u_strToUpper : u_strToLower;
  Out.resize(S.size() + S.size() / 2 + 4);
  for (int Attempt = 0; Attempt < 2; ++Attempt) {
    UErrorCode E = U_ZERO_ERROR;
    int32_t Len = Fn(reinterpret_cast<UChar*>(Out.data()), static_cast<int32_t>(Out.size()),
                     reinterpret_cast<const UChar*>(S.data()), static_cast<int32_t>(S.size()),
                     Locale.c_str(), &E);
    if (E == U_BUFFER_OVERFLOW_ERROR) {
      Out.resize(static_cast<std::size_t>(Len));
      continue;
    }
    if (U_FAILURE(E)) throw Exception("Case mapping failed");
    Out.resize(static_cast<std::size_t>(Len));
    return;
  }
  throw Exception("Case mapping failed");
}

std::u16string IcuMapCase(std::u16string_view S, bool Upper, const std::string& Locale) {
  std::u16string Out;
  IcuMapCaseInto(S, Upper, Locale, Out);
  return Out;
}

// Upper case of each character on its own, for the locales whose rules look
// at the neighbours; invalid bytes stay as they are.
std::string UpperEachCharacter(std::string_view S, const std::string& Locale) {
  std::string Out;
  Out.reserve(S.size());
  std::u16string One, Mapped;
  for (std::size_t I = 0; I < S.size();) {
    const std::size_t Start = I;
    bool Valid = true;
    const char32_t CP = DecodeOne(S, I, &Valid);
    if (!Valid) {
      Out.append(S.substr(Start, I - Start));
      continue;
    }
    One.clear();
    AppendUtf16(One, CP);
    IcuMapCaseInto(One, true, Locale, Mapped);
    Out += Utf16ToUtf8(Mapped);
  }
  return Out;
}

// Maps the valid UTF-8 runs of S with ICU and keeps invalid bytes as they are,
// so that padding bytes survive case mapping.
std::string MapCaseWith(ThreadState& TS, CollatorPair& P, std::string_view S, bool Upper) {
  if (P.AsciiCaseOk && IsAscii(S)) {
    std::string R(S);
    for (char& C : R) C = Upper ? AsciiUpper(C) : AsciiLower(C);
    return R;
  }
  if (Upper && P.UpperInContext) return UpperEachCharacter(S, P.LocaleName);
  if (P.CaseMap != nullptr && IsValidUtf8(S)) {
    std::string Out(S.size() + S.size() / 2 + 4, '\0');
    for (int Attempt = 0; Attempt < 2; ++Attempt) {
      UErrorCode E = U_ZERO_ERROR;
      const int32_t Len = (Upper ? ucasemap_utf8ToUpper : ucasemap_utf8ToLower)(
          P.CaseMap, Out.data(), static_cast<int32_t>(Out.size()), S.data(), static_cast<int32_t>(S.size()), &E);
      if (E == U_BUFFER_OVERFLOW_ERROR) {
        Out.assign(static_cast<std::size_t>(Len), '\0');
        continue;
      }
      if (U_FAILURE(E)) break;
      Out.resize(static_cast<std::size_t>(Len));
      return Out;
    }
  }
  if (DecodeInto(S, TS.BufA, false)) {
    IcuMapCaseInto(TS.BufA, Upper, P.LocaleName, TS.BufB);
    return Utf16ToUtf8(TS.BufB);
  }
  std::string Out;
  Out.reserve(S.size());
  std::size_t I = 0;
  while (I < S.size()) {
    std::size_t RunStart = I;
    std::u16string Run;
    bool Valid = true;
    std::size_t Next = I;
    while (Next < S.size()) {
      std::size_t Probe = Next;
      char32_t CP = DecodeOne(S, Probe, &Valid);
      if (!Valid) break;
      AppendUtf16(Run, CP);
      Next = Probe;
    }
    if (Next > RunStart) Out += Utf16ToUtf8(IcuMapCase(Run, Upper, P.LocaleName));
    I = Next;
    if (I < S.size() && !Valid) Out.push_back(S[I++]);
  }
  return Out;
}

// The key of one character: its upper case when that is one character, a
// number of its own for each longer upper case.
char32_t NewCaseKey(CollatorPair& P, char32_t CP) {
  std::u16string One, Upper;
  AppendUtf16(One, CP);
  IcuMapCaseInto(One, true, P.LocaleName, Upper);
  const std::size_t Len =
      Upper.size() == 2 && Upper[0] >= 0xD800 && Upper[0] <= 0xDBFF && Upper[1] >= 0xDC00 && Upper[1] <= 0xDFFF
          ? 1
          : Upper.size();
  if (Len == 1)
    return Upper.size() == 1 ? char32_t{Upper[0]}
                             : 0x10000 + ((char32_t{Upper[0]} - 0xD800) << 10) + (char32_t{Upper[1]} - 0xDC00);
  auto [It, Added] = P.CaseKeys.Longer.try_emplace(std::move(Upper), 0);
  if (Added) It->second = kFirstLongerCaseKey + static_cast<char32_t>(P.CaseKeys.Longer.size() - 1);
  return It->second;
}

void PrepareAsciiCaseKeys(CollatorPair& P) {
  CaseKeyTable& T = P.CaseKeys;
  if (T.AsciiReady) return;
  for (char32_t C = 0; C < 128; ++C) T.Ascii[C] = NewCaseKey(P, C);
  T.AsciiReady = true;
}

// REQUIRES: CP is not ASCII.
char32_t OtherCaseKey(CollatorPair& P, char32_t CP) {
  CaseKeyTable& T = P.CaseKeys;
  auto It = T.Other.find(CP);
  if (It != T.Other.end()) return It->second;
  const char32_t Key = NewCaseKey(P, CP);
  T.Other.emplace(CP, Key);
  return Key;
}

std::string MapCase(std::string_view S, bool Upper) {
  ThreadState& TS = State();
  return MapCaseWith(TS, CurrentFor(TS), S, Upper);
}

// The order of upper-case forms. Plain 7-bit texts keep their letters under
// case mapping wherever ASCII mapping is the locale's, so the collator's
// case-insensitive order of the texts themselves is already that order.
const std::string& MemoUpperWith(ThreadState& TS, CollatorPair& P, std::string_view S) {
  UpperMemo& M = P.Uppers;
  UpperMemo::Entry* Oldest = &M.Entries[0];
  for (UpperMemo::Entry& E : M.Entries) {
    if (E.Used != 0 && E.In == S) {
      E.Used = ++M.Clock;
      return E.Out;
    }
    if (E.Used < Oldest->Used) Oldest = &E;
  }
  Oldest->Out = MapCaseWith(TS, P, S, true);
  Oldest->In.assign(S);
  Oldest->Used = ++M.Clock;
  return Oldest->Out;
}

int CompareUpperWith(ThreadState& TS, CollatorPair& P, std::string_view A, std::string_view B) {
  if (P.AsciiCaseOk && IsAscii(A) && IsAscii(B)) return CompareTextWith(TS, P, A, B, true);
  const std::string& UA = MemoUpperWith(TS, P, A);
  const std::string& UB = MemoUpperWith(TS, P, B);
  return CompareTextWith(TS, P, UA, UB, true);
}

}  // namespace

// ---------------------------------------------------------------- public

void SetTextLocale(const std::string& IcuLocale) {
  GlobalLocale& G = Global();
  std::lock_guard<std::mutex> Guard(G.Lock);
  G.Name = IcuLocale.empty() ? std::string("en_US") : IcuLocale;
  G.Generation.fetch_add(1, std::memory_order_release);
}

std::string TextLocale() {
  GlobalLocale& G = Global();
  std::lock_guard<std::mutex> Guard(G.Lock);
  return G.Name;
}

std::uint64_t TextLocaleGeneration() { return Global().Generation.load(std::memory_order_acquire); }

void SetDefaultLocale(const std::string& Locale) {
  TFormatSettings Settings = FormatSettingsForLocale(Locale);
  SetTextLocale(Locale);
  SetFormatSettings(Settings);
}

int AnsiCompareText(std::string_view A, std::string_view B) { return CompareText(A, B, true); }
int AnsiCompareStr(std::string_view A, std::string_view B) { return CompareText(A, B, false); }
bool AnsiSameText(std::string_view A, std::string_view B) { return CompareText(A, B, true) == 0; }
bool AnsiSameStr(std::string_view A, std::string_view B) { return A == B; }

int AnsiCompareUpperText(std::string_view A, std::string_view B) {
  ThreadState& S = State();
  return CompareUpperWith(S, CurrentFor(S), A, B);
}

int AnsiCompareUpperTextIn(const std::string& Locale, std::string_view A, std::string_view B) {
  ThreadState& S = State();
  return CompareUpperWith(S, CollatorsOf(S, Locale), A, B);
}

int WideCompareUpperText(std::u16string_view A, std::u16string_view B) {
  return WideCompare(WideUpperCase(A), WideUpperCase(B), true);
}

int AnsiCompareTextN(std::string_view A, std::string_view B, std::size_t N) {
  return CompareText(A.substr(0, PrefixBytes(A, N)), B.substr(0, PrefixBytes(B, N)), true);
}

std::string AnsiUpperCase(std::string_view S) { return MapCase(S, true); }
std::string AnsiLowerCase(std::string_view S) { return MapCase(S, false); }

std::string UpperCase(std::string_view S) {
  std::string R(S);
  for (char& C : R) C = AsciiUpper(C);
  return R;
}

bool UpperFormStartsWith(std::string_view Text, std::string_view UpperPrefix) {
  if (UpperPrefix.empty()) return true;
  // The end of the first UpperPrefix.size() characters of Text.
  std::size_t End = Text.size(), Seen = 0;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if ((static_cast<unsigned char>(Text[I]) & 0xC0) == 0x80) continue;
    if (Seen == UpperPrefix.size()) {
      End = I;
      break;
    }
    ++Seen;
  }
  const std::string Head = AnsiUpperCase(Text.substr(0, End));
  return Head.size() >= UpperPrefix.size() && Head.compare(0, UpperPrefix.size(), UpperPrefix) == 0;
}
std::string LowerCase(std::string_view S) {
  std::string R(S);
  for (char& C : R) C = AsciiLower(C);
  return R;
}

int WideCompareText(std::u16string_view A, std::u16string_view B) { return WideCompare(A, B, true); }
int WideCompareStr(std::u16string_view A, std::u16string_view B) { return WideCompare(A, B, false); }
std::u16string WideUpperCase(std::u16string_view S) {
  CollatorPair& P = Current();
  if (!P.UpperInContext) return IcuMapCase(S, true, P.LocaleName);
  std::u16string Out, Mapped;
  for (std::size_t I = 0; I < S.size();) {
    // One character: a surrogate pair, or a single unit (a lone surrogate
    // maps to itself).
    const std::size_t Len =
        (S[I] >= 0xD800 && S[I] <= 0xDBFF && I + 1 < S.size() && S[I + 1] >= 0xDC00 && S[I + 1] <= 0xDFFF) ? 2 : 1;
    IcuMapCaseInto(S.substr(I, Len), true, P.LocaleName, Mapped);
    Out += Mapped;
    I += Len;
  }
  return Out;
}
std::u16string WideLowerCase(std::u16string_view S) { return IcuMapCase(S, false, Current().LocaleName); }

bool AnsiCaseKeys(std::u32string& Units) {
  CollatorPair& P = Current();
  PrepareAsciiCaseKeys(P);
  const std::array<char32_t, 128>& Ascii = P.CaseKeys.Ascii;
  bool Longer = false;
  for (char32_t& U : Units) {
    if (U < 0x80) {
      U = Ascii[U];
    } else if (U <= 0x10FFFF && !(U >= 0xD800 && U <= 0xDFFF)) {
      U = OtherCaseKey(P, U);
      Longer = Longer || U >= kFirstLongerCaseKey;
    }
  }
  return Longer;
}

int AnsiPos(std::string_view Sub, std::string_view S) {
  if (Sub.empty()) return 0;
  // UTF-8 is self-synchronising: a byte match of a whole text starts on a
  // character boundary.
  const std::size_t P = S.find(Sub);
  if (P == std::string_view::npos) return 0;
  return static_cast<int>(CharLength(S.substr(0, P))) + 1;
}

std::string Trim(std::string_view S) { return TrimRight(TrimLeft(S)); }
std::string TrimLeft(std::string_view S) {
  std::size_t I = 0;
  while (I < S.size() && static_cast<unsigned char>(S[I]) <= ' ') ++I;
  return std::string(S.substr(I));
}
std::string TrimRight(std::string_view S) {
  std::size_t N = S.size();
  while (N > 0 && static_cast<unsigned char>(S[N - 1]) <= ' ') --N;
  return std::string(S.substr(0, N));
}

std::string AnsiQuotedStr(std::string_view S, char Quote) {
  std::string R;
  R.reserve(S.size() + 2);
  R.push_back(Quote);
  for (char C : S) {
    R.push_back(C);
    if (C == Quote) R.push_back(Quote);
  }
  R.push_back(Quote);
  return R;
}

std::string AnsiExtractQuotedStr(std::string& S, char Quote) {
  if (S.empty() || S[0] != Quote) return std::string();
  std::string R;
  std::size_t I = 1;
  while (I < S.size()) {
    if (S[I] == Quote) {
      if (I + 1 < S.size() && S[I + 1] == Quote) {
        R.push_back(Quote);
        I += 2;
        continue;
      }
      ++I;  // the closing quote
      break;
    }
    R.push_back(S[I++]);
  }
  S.erase(0, I);
  return R;
}

std::string AnsiDequotedStr(std::string_view S, char Quote) {
  if (S.empty() || S[0] != Quote) return std::string(S);
  std::string Copy(S);
  return AnsiExtractQuotedStr(Copy, Quote);
}

std::size_t CharLength(std::string_view S) {
  std::size_t N = 0;
  for (std::size_t I = 0; I < S.size(); ++N) DecodeOne(S, I);
  return N;
}

std::string CharLeft(std::string_view S, std::size_t N) { return std::string(S.substr(0, PrefixBytes(S, N))); }

std::u16string Utf8ToUtf16(std::string_view S) {
  std::u16string Out;
  Out.reserve(S.size());
  for (std::size_t I = 0; I < S.size();) {
    char32_t CP = DecodeOne(S, I);
    AppendUtf16(Out, CP == kHighest && S[I - 1] == '\xFF' ? kReplacement : CP);
  }
  return Out;
}

std::string Utf16ToUtf8(std::u16string_view S) {
  std::string Out;
  Out.reserve(S.size());
  for (std::size_t I = 0; I < S.size(); ++I) {
    char32_t CP = S[I];
    if (CP >= 0xD800 && CP <= 0xDBFF && I + 1 < S.size() && S[I + 1] >= 0xDC00 && S[I + 1] <= 0xDFFF) {
      CP = 0x10000 + ((CP - 0xD800) << 10) + (S[I + 1] - 0xDC00);
      ++I;
    } else if (CP >= 0xD800 && CP <= 0xDFFF) {
      CP = kReplacement;
    }
    AppendUtf8(Out, CP);
  }
  return Out;
}

bool IsAscii(std::string_view S) {
  // Eight bytes at a time: any high bit means a byte beyond ASCII.
  std::size_t I = 0;
  for (; I + 8 <= S.size(); I += 8) {
    std::uint64_t W;
    std::memcpy(&W, S.data() + I, 8);
    if (W & 0x8080808080808080ULL) return false;
  }
  for (; I < S.size(); ++I)
    if (static_cast<unsigned char>(S[I]) >= 0x80) return false;
  return true;
}

bool IsUtf8(std::string_view S) { return IsValidUtf8(S); }

bool NextUtf8Char(std::string_view S, std::size_t& Pos, char32_t& C) {
  std::size_t I = Pos;
  bool Valid = true;
  const char32_t CP = DecodeOne(S, I, &Valid);
  if (!Valid) return false;
  C = CP;
  Pos = I;
  return true;
}

void AppendUtf8Char(std::string& Out, char32_t C) { AppendUtf8(Out, C); }

// ---------------------------------------------------------------- identifiers

bool IsIdentStartChar(char32_t C) {
  if (C < 0x80) return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_';
  return u_hasBinaryProperty(static_cast<UChar32>(C), UCHAR_XID_START);
}

bool IsIdentPartChar(char32_t C) {
  if (C < 0x80) return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '_';
  return u_hasBinaryProperty(static_cast<UChar32>(C), UCHAR_XID_CONTINUE);
}

bool IsIdentifier(std::string_view S) {
  if (S.empty()) return false;
  for (std::size_t I = 0; I < S.size();) {
    const bool First = I == 0;
    char32_t C = 0;
    if (!NextUtf8Char(S, I, C)) return false;
    if (First ? !IsIdentStartChar(C) : !IsIdentPartChar(C)) return false;
  }
  return true;
}

std::string FoldIdentifier(std::string_view S) {
  std::string Out;
  Out.reserve(S.size());
  for (std::size_t I = 0; I < S.size();) {
    const auto B = static_cast<unsigned char>(S[I]);
    char32_t C = 0;
    if (B < 0x80) {
      Out.push_back(AsciiLower(static_cast<char>(B)));
      ++I;
    } else if (NextUtf8Char(S, I, C)) {
      AppendUtf8(Out, static_cast<char32_t>(u_foldCase(static_cast<UChar32>(C), U_FOLD_CASE_DEFAULT)));
    } else {
      Out.push_back(static_cast<char>(B));  // a stray byte stands for itself
      ++I;
    }
  }
  return Out;
}

bool SameIdentifier(std::string_view A, std::string_view B) {
  // ASCII characters fold to ASCII ones; only from the first character
  // beyond ASCII on (the Kelvin sign folds to 'k') is folding needed.
  const std::size_t N = std::min(A.size(), B.size());
  std::size_t I = 0;
  for (; I < N; ++I) {
    const auto X = static_cast<unsigned char>(A[I]), Y = static_cast<unsigned char>(B[I]);
    if ((X | Y) >= 0x80) break;
    if (AsciiLower(static_cast<char>(X)) != AsciiLower(static_cast<char>(Y))) return false;
  }
  if (I == N) return A.size() == B.size();
  return FoldIdentifier(A.substr(I)) == FoldIdentifier(B.substr(I));
}

// ---------------------------------------------------------------- code pages

namespace {

struct ConverterCloser {
  void operator()(UConverter* C) const { ucnv_close(C); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Opens the converter CodePage names. A bare number is a Windows code page,
// which ICU knows as "windows-N", "cpN" or "ibm-N".
ConverterPtr OpenConverter(std::string_view CodePage) {
  std::vector<std::string> Names;
  const bool Digits = !CodePage.empty() && std::all_of(CodePage.begin(), CodePage.end(), [](char C) {
    return C >= '0' && C <= '9';
  });
  if (Digits) {
    for (const char* Prefix : {"windows-", "cp", "ibm-"}) Names.push_back(Prefix + std::string(CodePage));
  } else if (!CodePage.empty()) {
    Names.emplace_back(CodePage);
  }
  for (const std::string& Name : Names) {
    UErrorCode Err = U_ZERO_ERROR;
    ConverterPtr C(ucnv_open(Name.c_str(), &Err));
    if (U_SUCCESS(Err) && C) return C;
  }
  throw EConvertError("Code page '" + std::string(CodePage) + "' is not known");
}

}  // namespace

std::string CodePageName(std::string_view CodePage) {
  ConverterPtr C = OpenConverter(CodePage);
  UErrorCode Err = U_ZERO_ERROR;
  const char* Name = ucnv_getName(C.get(), &Err);
  return U_SUCCESS(Err) && Name ? std::string(Name) : std::string(CodePage);
}

bool CodePageToUtf8(std::string_view Text, std::string_view CodePage, std::string& Out, std::size_t& ErrorOffset) {
  ConverterPtr C = OpenConverter(CodePage);
  UErrorCode Err = U_ZERO_ERROR;
  ucnv_setToUCallBack(C.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &Err);
  Out.clear();
  Out.reserve(Text.size());
  const char* Src = Text.data();
  const char* const End = Text.data() + Text.size();
  std::array<UChar, 4096> Buf{};
  std::u16string Chunk;
  for (;;) {
    UChar* Target = Buf.data();
    Err = U_ZERO_ERROR;
    ucnv_toUnicode(C.get(), &Target, Buf.data() + Buf.size(), &Src, End, nullptr, true, &Err);
    Chunk.append(reinterpret_cast<const char16_t*>(Buf.data()), static_cast<std::size_t>(Target - Buf.data()));
    // A surrogate pair may straddle two chunks: its first half waits.
    char16_t Carry = 0;
    if (Err == U_BUFFER_OVERFLOW_ERROR && !Chunk.empty() && Chunk.back() >= 0xD800 && Chunk.back() <= 0xDBFF) {
      Carry = Chunk.back();
      Chunk.pop_back();
    }
    Out += Utf16ToUtf8(Chunk);
    Chunk.clear();
    if (Carry) Chunk.push_back(Carry);
    if (Err == U_BUFFER_OVERFLOW_ERROR) continue;
    if (U_SUCCESS(Err)) return true;
    char Bad[32];
    int8_t BadLen = sizeof Bad;
    UErrorCode Err2 = U_ZERO_ERROR;
    ucnv_getInvalidChars(C.get(), Bad, &BadLen, &Err2);
    if (U_FAILURE(Err2)) BadLen = 1;
    ErrorOffset = static_cast<std::size_t>(Src - Text.data()) - static_cast<std::size_t>(BadLen);
    return false;
  }
}

std::u32string Utf8ToUtf32(std::string_view S) {
  std::u32string Out;
  Out.reserve(S.size());
  for (std::size_t I = 0; I < S.size();) {
    char32_t CP = DecodeOne(S, I);
    Out.push_back(CP == kHighest && S[I - 1] == '\xFF' ? kReplacement : CP);
  }
  return Out;
}

std::string Utf32ToUtf8(std::u32string_view S) {
  std::string Out;
  Out.reserve(S.size());
  for (char32_t CP : S) AppendUtf8(Out, (CP >= 0xD800 && CP <= 0xDFFF) || CP > 0x10FFFF ? kReplacement : CP);
  return Out;
}

bool IsLetterChar(char32_t C) {
  if (C < 0x80) return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z');
  return C <= 0x10FFFF && u_isalpha(static_cast<UChar32>(C));
}

char32_t UpperChar(char32_t C) {
  if (C < 0x80) return C >= 'a' && C <= 'z' ? C - 32 : C;
  return C <= 0x10FFFF ? static_cast<char32_t>(u_toupper(static_cast<UChar32>(C))) : C;
}

char32_t LowerChar(char32_t C) {
  if (C < 0x80) return C >= 'A' && C <= 'Z' ? C + 32 : C;
  return C <= 0x10FFFF ? static_cast<char32_t>(u_tolower(static_cast<UChar32>(C))) : C;
}

namespace textservice_detail {
int CollatorCompare(std::string_view A, std::string_view B, bool IgnoreCase) {
  ThreadState& S = State();
  return IcuCompare(S, CurrentFor(S), A, B, IgnoreCase);
}
bool AsciiShortcutActive() { return Current().AsciiOk; }
}  // namespace textservice_detail

}  // namespace fyndra
