// Wildcard patterns: the record test of the pattern operator next to the
// backtracking matcher it replaced, which is kept here as the baseline and
// runs in the same program.
//
// Adversarial: one memo of 100,000 'a's against "*", 10,000 'a's and "b"
// (and the same with "?b"). The backtracking matcher lets its star take one
// more character after each mismatch and compares the 10,000 'a's again from
// every position; the operator places the part between the stars with one
// linear (or bit-parallel) search.
//
// Rows: 20k, 200k and 1M records (a name and a note each) filtered by one
// pattern item through a model's record test, once with the pattern operator
// and once with the baseline operator (the old one: backtracking, on the
// upper-case forms of record and pattern when ignoring case) registered in
// its place.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <fyndra/core/zvbasemodel.h>
#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/core/zvstrutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

// ---------------------------------------------------------------------------
// The baseline: whole-text match that remembers the last star and, on a
// mismatch, lets it take one more character (O(text * pattern) at worst).

template <class C>
bool BacktrackingMatch(const C* T, std::size_t N, const C* P, std::size_t M) {
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t Ti = 0, Pi = 0, StarP = kNone, StarT = 0;
  while (Ti < N) {
    if (Pi < M && P[Pi] == C('*')) {
      StarP = Pi++;
      StarT = Ti;
    } else if (Pi < M && (P[Pi] == C('?') || P[Pi] == T[Ti])) {
      ++Pi;
      ++Ti;
    } else if (StarP != kNone) {
      Pi = StarP + 1;
      Ti = ++StarT;
    } else {
      return false;
    }
  }
  while (Pi < M && P[Pi] == C('*')) ++Pi;
  return Pi == M;
}

std::u32string CodePoints(const std::string& S) {
  std::u16string W = Utf8ToUtf16(S);
  std::u32string Out;
  for (std::size_t I = 0; I < W.size(); ++I) {
    char32_t C = W[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < W.size()) C = 0x10000 + ((C - 0xD800) << 10) + (W[++I] - 0xDC00);
    Out.push_back(C);
  }
  return Out;
}

bool BaselineMatch(const std::string& Text, const std::string& Pattern) {
  if (IsAscii(Text) && IsAscii(Pattern)) return BacktrackingMatch(Text.data(), Text.size(), Pattern.data(), Pattern.size());
  const std::u32string T = CodePoints(Text), P = CodePoints(Pattern);
  return BacktrackingMatch(T.data(), T.size(), P.data(), P.size());
}

// ---------------------------------------------------------------------------
// Adversarial memo

const std::string& Memo() {
  static const std::string M(100000, 'a');
  return M;
}

std::string AdversarialPattern(bool WithAny) { return "*" + std::string(10000, 'a') + (WithAny ? "?b" : "b"); }

void BM_AdversarialBaseline(benchmark::State& State, bool WithAny) {
  const std::string P = AdversarialPattern(WithAny);
  for (auto _ : State) benchmark::DoNotOptimize(BaselineMatch(Memo(), P));
}
BENCHMARK_CAPTURE(BM_AdversarialBaseline, Plain, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AdversarialBaseline, WithQuestionMark, true)->Unit(benchmark::kMillisecond);

void BM_AdversarialMatchPattern(benchmark::State& State, bool WithAny, bool IgnoreCase) {
  SetDefaultLocale("en_US");
  const std::string P = AdversarialPattern(WithAny);
  for (auto _ : State) benchmark::DoNotOptimize(MatchWildcards(Memo(), P, IgnoreCase));
}
BENCHMARK_CAPTURE(BM_AdversarialMatchPattern, Plain, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AdversarialMatchPattern, WithQuestionMark, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AdversarialMatchPattern, PlainIgnoringCase, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AdversarialMatchPattern, WithQuestionMarkIgnoringCase, true, true)
    ->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// Rows

struct TRec {
  std::string Name;
  std::string Note;
};

const std::vector<TRec>& Records() {
  static const std::vector<TRec> Recs = [] {
    const char* Names[] = {"anna", "Andreas", "ANTON", "bert", "Berta", "carl", "anke", "Britta", "Dora", "an",
                           "\xC3\x84nne", "Angelika", "emil", "Frieda", "Anselm", "Stra\xC3\x9F" "er"};
    const char* Words[] = {"red", "blue", "green", "bored", "fast", "slow", "quiet", "reddish", "tree", "car"};
    std::mt19937 Rng(7);
    std::vector<TRec> Out;
    Out.reserve(1000000);
    for (int I = 0; I < 1000000; ++I) {
      TRec R;
      R.Name = std::string(Names[Rng() % 16]) + std::to_string(Rng() % 1000);
      for (int W = 0; W < 4; ++W) {
        if (W) R.Note += ' ';
        R.Note += Words[Rng() % 10];
      }
      Out.push_back(std::move(R));
    }
    return Out;
  }();
  return Recs;
}

const TRec* Current = nullptr;

class TPatternItem : public TzvCompareItem {
  FYNDRA_CLASS(TPatternItem, TzvCompareItem)
 public:
  Variant GetCompareAsVariant() override { return Variant(GetCompareAsString()); }
  std::string GetCompareAsString() override { return OnNote ? Current->Note : Current->Name; }
  bool OnNote = true;

 protected:
  explicit TPatternItem(TCollection* Collection) : TzvCompareItem(Collection) {}
};
FYNDRA_IMPLEMENT_CLASS(TPatternItem)

// The pattern operator as it was: the backtracking match, on the upper-case
// forms of the record and the criterion when ignoring case.
class TBaselinePatternCompareModel : public TzvPatternCompareModel {
  FYNDRA_CLASS(TBaselinePatternCompareModel, TzvPatternCompareModel)
 public:
  bool AgreesWith(const std::string& R) override {
    return GetCaseInsensitive() ? BaselineMatch(AnsiUpperCase(R), GetConvertedText())
                                : BaselineMatch(R, GetConvertedText());
  }

 protected:
  TBaselinePatternCompareModel() = default;
};
FYNDRA_IMPLEMENT_CLASS(TBaselinePatternCompareModel)

bool UseBaseline = false;  // which operator the next model registers for key 12

class TPatternModel : public TzvBaseModel {
  FYNDRA_CLASS(TPatternModel, TzvBaseModel)
 protected:
  explicit TPatternModel(TComponent* Owner) : TzvBaseModel(Owner) {}
  bool InternalApply() override { return true; }
  void CreateCompareModelList(TzvCompareModelList*& List) override {
    List = Create<TzvCompareModelList>();
    // The first entry of a key wins.
    if (UseBaseline) List->Add(12, "baseline", &zvCompareModelClassOf<TBaselinePatternCompareModel>);
    zvRegisterCompareModels(List);
  }
  void CreateCompareItems(TzvCompareItems*& Items) override {
    Items = Create<TzvCompareItems>(this, TPatternItem::StaticClass());
  }
};
FYNDRA_IMPLEMENT_CLASS(TPatternModel)

struct TCase {
  const char* Pattern;
  bool OnNote;
  bool IgnoreCase;
};
const TCase kCases[] = {
    {"*red*", true, true},      // contains, ignoring case
    {"an?a*", false, true},     // a prefix with one unknown letter, ignoring case
    {"*re?d*sh*", true, false}, // two parts, respecting case
};

// Filters the first Rows records by the case's pattern through a model's
// record test, with the operator of today or the baseline one.
void RunRows(benchmark::State& State, bool Baseline) {
  SetDefaultLocale("en_US");
  const TCase& C = kCases[State.range(0)];
  const std::size_t Rows = static_cast<std::size_t>(State.range(1));
  UseBaseline = Baseline;
  TOwned<TPatternModel> M(Create<TPatternModel>(nullptr));
  M->GetOptions()->SetAutoUpdate(false);
  auto* Item = static_cast<TPatternItem*>(M->GetCompareItems()->Add());
  Item->OnNote = C.OnNote;
  Item->SetName("P");
  Item->SetOptions(C.IgnoreCase ? TzvCompareItemOptions{ciCaseInsensitive, ciConvertValue}
                                : TzvCompareItemOptions{ciConvertValue});
  Item->SetDataType(varString, 100);
  Item->SetCompareKey(12);
  Item->SetAsVariant(Variant(C.Pattern));
  M->Apply();
  const std::vector<TRec>& Recs = Records();
  std::int64_t Matches = 0;
  for (auto _ : State) {
    Matches = 0;
    for (std::size_t I = 0; I < Rows; ++I) {
      Current = &Recs[I];
      Matches += M->CheckItems();
    }
    benchmark::DoNotOptimize(Matches);
  }
  State.counters["matches"] = static_cast<double>(Matches);
  State.SetItemsProcessed(State.iterations() * static_cast<std::int64_t>(Rows));
}

void BM_PatternBaseline(benchmark::State& State) { RunRows(State, true); }
void BM_PatternModel(benchmark::State& State) { RunRows(State, false); }

void RowArgs(benchmark::internal::Benchmark* B) {
  for (int Case = 0; Case < 3; ++Case)
    for (int Rows : {20000, 200000, 1000000}) B->Args({Case, Rows});
  B->ArgNames({"case", "rows"})->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_PatternBaseline)->Apply(RowArgs);
BENCHMARK(BM_PatternModel)->Apply(RowArgs);

}  // namespace
}  // namespace fyndra
