// The object model's hot paths next to hand-written baselines: calling an
// event against std::function and a direct virtual call, reading a published
// property through the type information against calling its getter, and
// filling a collection against a vector of plain objects.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <vector>

#include <fyndra/platform/classes/classes.h>

namespace fyndra {
namespace {

class TBenchItem : public TCollectionItem {
  FYNDRA_CLASS(TBenchItem, TCollectionItem)
 public:
  int Value = 0;

 protected:
  explicit TBenchItem(TCollection* C) : TCollectionItem(C) {}
};

class TBenchComponent : public TComponent {
  FYNDRA_CLASS(TBenchComponent, TComponent)
 public:
  std::int32_t GetCount() const { return Count_; }
  void SetCount(std::int32_t V) { Count_ = V; }
  virtual void Handle(int V) { Sum_ += V; }
  long Sum() const { return Sum_; }

 protected:
  explicit TBenchComponent(TComponent* Owner) : TComponent(Owner) {}

 private:
  std::int32_t Count_ = 42;
  long Sum_ = 0;
};

}  // namespace

FYNDRA_IMPLEMENT_CLASS(TBenchItem)
FYNDRA_PUBLISHED(TBenchComponent, P) {
  P.Property("Count", &TBenchComponent::GetCount, &TBenchComponent::SetCount).Default(0);
}

namespace {

void BM_EventCall(benchmark::State& State) {
  TOwned<TBenchComponent> C(Create<TBenchComponent>(nullptr));
  TEvent<void(int)> E(C.get(), &TBenchComponent::Handle);
  for (auto _ : State) E(1);
  benchmark::DoNotOptimize(C->Sum());
}
BENCHMARK(BM_EventCall);

void BM_StdFunctionCallBaseline(benchmark::State& State) {
  TOwned<TBenchComponent> C(Create<TBenchComponent>(nullptr));
  std::function<void(int)> F = [P = C.get()](int V) { P->Handle(V); };
  for (auto _ : State) F(1);
  benchmark::DoNotOptimize(C->Sum());
}
BENCHMARK(BM_StdFunctionCallBaseline);

void BM_EventCompare(benchmark::State& State) {
  TOwned<TBenchComponent> C(Create<TBenchComponent>(nullptr));
  TEvent<void(int)> A(C.get(), &TBenchComponent::Handle);
  TEvent<void(int)> B(C.get(), &TBenchComponent::Handle);
  for (auto _ : State) benchmark::DoNotOptimize(A == B);
}
BENCHMARK(BM_EventCompare);

void BM_GetOrdPropByName(benchmark::State& State) {
  TOwned<TBenchComponent> C(Create<TBenchComponent>(nullptr));
  for (auto _ : State) benchmark::DoNotOptimize(GetOrdProp(C.get(), "Count"));
}
BENCHMARK(BM_GetOrdPropByName);

void BM_GetOrdPropByInfo(benchmark::State& State) {
  TOwned<TBenchComponent> C(Create<TBenchComponent>(nullptr));
  PPropInfo P = GetPropInfo(C.get(), "Count");
  for (auto _ : State) benchmark::DoNotOptimize(GetOrdProp(C.get(), P));
}
BENCHMARK(BM_GetOrdPropByInfo);

void BM_GetterCallBaseline(benchmark::State& State) {
  TOwned<TBenchComponent> C(Create<TBenchComponent>(nullptr));
  TBenchComponent* volatile Obj = C.get();
  for (auto _ : State) benchmark::DoNotOptimize(Obj->GetCount());
}
BENCHMARK(BM_GetterCallBaseline);

void BM_CollectionAddClear(benchmark::State& State) {
  TOwned<TCollection> C(Create<TCollection>(TBenchItem::StaticClass()));
  for (auto _ : State) {
    for (int I = 0; I < 100; ++I) C->Add();
    C->Clear();
  }
}
BENCHMARK(BM_CollectionAddClear);

void BM_VectorOfObjectsBaseline(benchmark::State& State) {
  struct TPlain {
    int ID = 0;
    virtual ~TPlain() = default;
  };
  std::vector<std::unique_ptr<TPlain>> V;
  for (auto _ : State) {
    for (int I = 0; I < 100; ++I) {
      V.push_back(std::make_unique<TPlain>());
      V.back()->ID = I;
    }
    while (!V.empty()) V.pop_back();
  }
}
BENCHMARK(BM_VectorOfObjectsBaseline);

}  // namespace
}  // namespace fyndra
