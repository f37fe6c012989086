// Record test of a model against a hand-written predicate.
//
// One million in-memory records (an integer category, a name, a note). The
// model holds three criteria joined by the default expression: category
// equal to 1, name starting with "an" ignoring case, note containing "red".
// The hand-written predicate does the same comparisons on the same values
// with the same text service, in the same order and with the same
// short-circuit. Both run in the same program; compare their times.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <fyndra/core/zvbasemodel.h>
#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

struct TRec {
  std::int32_t Category;
  std::string Name;
  std::string Note;
};

const std::vector<TRec>& Records() {
  static const std::vector<TRec> Recs = [] {
    const char* Names[] = {"anna", "Andreas", "ANTON", "bert", "Berta", "carl", "anke", "Britta", "Dora", "an",
                           "\xC3\x84nne", "Angelika", "emil", "Frieda", "Anselm", "otto"};
    const char* Words[] = {"red", "blue", "green", "bored", "fast", "slow", "quiet", "reddish", "tree", "car"};
    std::mt19937 Rng(7);
    std::vector<TRec> Out;
    Out.reserve(1000000);
    for (int I = 0; I < 1000000; ++I) {
      TRec R;
      R.Category = static_cast<std::int32_t>(Rng() % 4);
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

const TRec* Current = nullptr;  // the record the items compare against

enum class TField { Category, Name, Note };

class TBenchItem : public TzvCompareItem {
  FYNDRA_CLASS(TBenchItem, TzvCompareItem)
 public:
  Variant GetCompareAsVariant() override {
    switch (Field) {
      case TField::Category: return Variant(Current->Category);
      case TField::Name: return Variant(Current->Name);
      case TField::Note: return Variant(Current->Note);
    }
    return Variant();
  }
  std::string GetCompareAsString() override {
    switch (Field) {
      case TField::Category: return std::to_string(Current->Category);
      case TField::Name: return Current->Name;
      case TField::Note: return Current->Note;
    }
    return std::string();
  }
  TField Field = TField::Category;

 protected:
  explicit TBenchItem(TCollection* Collection) : TzvCompareItem(Collection) {}
};
FYNDRA_IMPLEMENT_CLASS(TBenchItem)

class TBenchModel : public TzvBaseModel {
  FYNDRA_CLASS(TBenchModel, TzvBaseModel)
 protected:
  explicit TBenchModel(TComponent* Owner) : TzvBaseModel(Owner) {}
  bool InternalApply() override { return true; }
  void CreateCompareModelList(TzvCompareModelList*& List) override {
    List = Create<TzvCompareModelList>();
    zvRegisterCompareModels(List);
  }
  void CreateCompareItems(TzvCompareItems*& Items) override {
    Items = Create<TzvCompareItems>(this, TBenchItem::StaticClass());
  }
};
FYNDRA_IMPLEMENT_CLASS(TBenchModel)

// Expression empty: the default, Category and Name and Note, cheapest first.
TOwned<TBenchModel> MakeModel(const std::string& Expression = std::string()) {
  TOwned<TBenchModel> M(Create<TBenchModel>(nullptr));
  M->GetOptions()->SetAutoUpdate(false);
  auto AddItem = [&M](const char* Name, TField Field, TVarType Type, int Key, TzvCompareItemOptions Options,
                      const Variant& Value) {
    auto* Item = static_cast<TBenchItem*>(M->GetCompareItems()->Add());
    Item->Field = Field;
    Item->SetName(Name);
    Item->SetOptions(Options);
    Item->SetDataType(Type, Type == varString ? 40 : 4);
    Item->SetCompareKey(Key);
    Item->SetAsVariant(Value);
  };
  AddItem("Category", TField::Category, varInteger, 0, {ciConvertValue}, Variant("1"));
  AddItem("Name", TField::Name, varString, 6, {ciCaseInsensitive, ciConvertValue}, Variant("an"));
  AddItem("Note", TField::Note, varString, 10, {ciConvertValue}, Variant("red"));
  M->SetExpression(Expression);
  M->Apply();  // prepares the operators and compiles the expression once
  return M;
}

bool NameStartsWithAn(const TRec& R) {
  static const std::string Prefix = "AN";
  static const std::size_t PrefixChars = CharLength(Prefix);
  return CharLength(R.Name) >= PrefixChars && AnsiCompareTextN(Prefix, R.Name, PrefixChars) == 0;
}

bool HandWritten(const TRec& R) { return R.Category == 1 && NameStartsWithAn(R) && AnsiPos("red", R.Note) > 0; }

// The text tests first, so that every record pays for both of them.
const char* const kTextFirst = "Note AND Name AND Category";
bool HandWrittenTextFirst(const TRec& R) {
  return AnsiPos("red", R.Note) > 0 && NameStartsWithAn(R) && R.Category == 1;
}

std::int64_t CountModel(TBenchModel* M) {
  std::int64_t N = 0;
  for (const TRec& R : Records()) {
    Current = &R;
    N += M->CheckItems();
  }
  return N;
}

std::int64_t CountHandWritten(bool (*Predicate)(const TRec&) = &HandWritten) {
  std::int64_t N = 0;
  for (const TRec& R : Records()) N += Predicate(R);
  return N;
}

void BM_ModelExpression(benchmark::State& State, const char* Expression) {
  SetDefaultLocale("en_US");
  auto M = MakeModel(Expression);
  if (CountModel(M.get()) != CountHandWritten()) {
    State.SkipWithError("the model and the predicate disagree");
    return;
  }
  std::int64_t Matches = 0;
  for (auto _ : State) {
    Matches = CountModel(M.get());
    benchmark::DoNotOptimize(Matches);
  }
  State.counters["matches"] = static_cast<double>(Matches);
  State.SetItemsProcessed(State.iterations() * static_cast<std::int64_t>(Records().size()));
}
BENCHMARK_CAPTURE(BM_ModelExpression, CheapFirst, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ModelExpression, TextFirst, kTextFirst)->Unit(benchmark::kMillisecond);

void BM_HandWrittenPredicate(benchmark::State& State, bool (*Predicate)(const TRec&)) {
  SetDefaultLocale("en_US");
  std::int64_t Matches = 0;
  for (auto _ : State) {
    Matches = CountHandWritten(Predicate);
    benchmark::DoNotOptimize(Matches);
  }
  State.counters["matches"] = static_cast<double>(Matches);
  State.SetItemsProcessed(State.iterations() * static_cast<std::int64_t>(Records().size()));
}
BENCHMARK_CAPTURE(BM_HandWrittenPredicate, CheapFirst, &HandWritten)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HandWrittenPredicate, TextFirst, &HandWrittenTextFirst)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fyndra
