// The per-record text operations of a million-record scan: case-insensitive
// comparison, upper-casing and searching. Each is measured next to the
// straightforward ICU use it replaces (convert to UTF-16 on every call, no
// ASCII shortcut), over the same data.
#include <benchmark/benchmark.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <random>
#include <string>
#include <vector>

#include <fyndra/platform/rtl/textservice.h>

namespace {

using namespace fyndra;

std::vector<std::string> MakeNames(bool Accented) {
  std::mt19937 Rng(1);
  const std::vector<std::string> Parts = Accented ? std::vector<std::string>{"Mül", "ler", "Straß", "e", "Öz", "gür", "Ana", "Éli"}
                                                  : std::vector<std::string>{"Mil", "ler", "Stra", "sse", "Oz", "gur", "Ana", "Eli"};
  std::vector<std::string> Names;
  for (int I = 0; I < 1024; ++I) {
    std::string S;
    for (int K = 0; K < 3; ++K) S += Parts[Rng() % Parts.size()];
    Names.push_back(S);
  }
  return Names;
}

struct IcuBaseline {
  UCollator* Coll;
  IcuBaseline() {
    UErrorCode E = U_ZERO_ERROR;
    Coll = ucol_open("en_US", &E);
    ucol_setStrength(Coll, UCOL_SECONDARY);
  }
  ~IcuBaseline() { ucol_close(Coll); }
  int Compare(const std::string& A, const std::string& B) const {
    const std::u16string UA = Utf8ToUtf16(A), UB = Utf8ToUtf16(B);
    return ucol_strcoll(Coll, reinterpret_cast<const UChar*>(UA.data()), static_cast<int32_t>(UA.size()),
                        reinterpret_cast<const UChar*>(UB.data()), static_cast<int32_t>(UB.size()));
  }
  static std::string Upper(const std::string& S) {
    const std::u16string U = Utf8ToUtf16(S);
    std::u16string Out(U.size() * 3 + 1, u'\0');
    UErrorCode E = U_ZERO_ERROR;
    const int32_t Len = u_strToUpper(reinterpret_cast<UChar*>(Out.data()), static_cast<int32_t>(Out.size()),
                                     reinterpret_cast<const UChar*>(U.data()), static_cast<int32_t>(U.size()), "en_US", &E);
    Out.resize(static_cast<std::size_t>(Len));
    return Utf16ToUtf8(Out);
  }
};

void CompareOurs(benchmark::State& State) {
  SetDefaultLocale("en_US");
  const auto Names = MakeNames(State.range(0) != 0);
  std::size_t I = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(AnsiCompareText(Names[I % 1024], Names[(I + 7) % 1024]));
    ++I;
  }
}

void CompareBaseline(benchmark::State& State) {
  const IcuBaseline B;
  const auto Names = MakeNames(State.range(0) != 0);
  std::size_t I = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(B.Compare(Names[I % 1024], Names[(I + 7) % 1024]));
    ++I;
  }
}

void UpperOurs(benchmark::State& State) {
  SetDefaultLocale("en_US");
  const auto Names = MakeNames(State.range(0) != 0);
  std::size_t I = 0;
  for (auto _ : State) benchmark::DoNotOptimize(AnsiUpperCase(Names[I++ % 1024]));
}

void UpperBaseline(benchmark::State& State) {
  const auto Names = MakeNames(State.range(0) != 0);
  std::size_t I = 0;
  for (auto _ : State) benchmark::DoNotOptimize(IcuBaseline::Upper(Names[I++ % 1024]));
}

void PosOurs(benchmark::State& State) {
  const auto Names = MakeNames(State.range(0) != 0);
  std::size_t I = 0;
  for (auto _ : State) benchmark::DoNotOptimize(AnsiPos("ler", Names[I++ % 1024]));
}

void PosBaseline(benchmark::State& State) {
  // Search in UTF-16 and count code points up to the match.
  const auto Names = MakeNames(State.range(0) != 0);
  const std::u16string Sub = u"ler";
  std::size_t I = 0;
  for (auto _ : State) {
    const std::u16string U = Utf8ToUtf16(Names[I++ % 1024]);
    const std::size_t P = U.find(Sub);
    benchmark::DoNotOptimize(P == std::u16string::npos ? 0 : u_countChar32(reinterpret_cast<const UChar*>(U.data()), static_cast<int32_t>(P)) + 1);
  }
}

}  // namespace

// Argument 0: ASCII names; 1: names with accented letters.
BENCHMARK(CompareOurs)->Arg(0)->Arg(1);
BENCHMARK(CompareBaseline)->Arg(0)->Arg(1);
BENCHMARK(UpperOurs)->Arg(0)->Arg(1);
BENCHMARK(UpperBaseline)->Arg(0)->Arg(1);
BENCHMARK(PosOurs)->Arg(0)->Arg(1);
BENCHMARK(PosBaseline)->Arg(0)->Arg(1);
