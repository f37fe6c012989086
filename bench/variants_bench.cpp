// Variant comparison as a record test runs it once per record: a converted
// item value against the record's value. Measured next to the comparison of
// the plain C++ values it stands for.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <fyndra/platform/rtl/textservice.h>
#include <fyndra/platform/rtl/variants.h>

namespace {

using namespace fyndra;

std::vector<Variant> IntRecords() {
  std::vector<Variant> R;
  for (int I = 0; I < 1024; ++I) R.emplace_back(I * 7919 % 1000);
  return R;
}

void CompareIntVariants(benchmark::State& State) {
  const auto Records = IntRecords();
  const Variant Value(500);
  std::size_t I = 0;
  for (auto _ : State) benchmark::DoNotOptimize(VarCompareValue(Value, Records[I++ % 1024]));
}

void CompareIntBaseline(benchmark::State& State) {
  std::vector<int> Records;
  for (int I = 0; I < 1024; ++I) Records.push_back(I * 7919 % 1000);
  const int Value = 500;
  std::size_t I = 0;
  for (auto _ : State) {
    const int R = Records[I++ % 1024];
    benchmark::DoNotOptimize(Value < R ? -1 : (Value > R ? 1 : 0));
  }
}

void CompareTextVariants(benchmark::State& State) {
  SetDefaultLocale("en_US");
  std::vector<Variant> Records;
  for (int I = 0; I < 1024; ++I) Records.emplace_back("Name" + std::to_string(I * 7919 % 1000));
  const Variant Value("Name500");
  std::size_t I = 0;
  for (auto _ : State) benchmark::DoNotOptimize(VarCompareValue(Value, Records[I++ % 1024]));
}

void CompareTextBaseline(benchmark::State& State) {
  SetDefaultLocale("en_US");
  std::vector<std::string> Records;
  for (int I = 0; I < 1024; ++I) Records.push_back("Name" + std::to_string(I * 7919 % 1000));
  const std::string Value("Name500");
  std::size_t I = 0;
  for (auto _ : State) benchmark::DoNotOptimize(AnsiCompareStr(Value, Records[I++ % 1024]));
}

void CopyScalarVariant(benchmark::State& State) {
  const Variant V(3.25);
  for (auto _ : State) {
    Variant C = V;
    benchmark::DoNotOptimize(C);
  }
}

void CopyDoubleBaseline(benchmark::State& State) {
  const double V = 3.25;
  for (auto _ : State) {
    double C = V;
    benchmark::DoNotOptimize(C);
  }
}

}  // namespace

BENCHMARK(CompareIntVariants);
BENCHMARK(CompareIntBaseline);
BENCHMARK(CompareTextVariants);
BENCHMARK(CompareTextBaseline);
BENCHMARK(CopyScalarVariant);
BENCHMARK(CopyDoubleBaseline);
