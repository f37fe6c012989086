// Form streaming next to hand-written baselines: parsing form text (printed
// text, and the same as an IDE spells it, whose spelling is kept) against a
// plain scan that only splits its lines at '=', printing against appending
// the same lines, and reading a form of components from text against building
// the same form by code.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/streaming/filer.h>

namespace fyndra {
namespace {

enum TBenchKind : std::uint8_t { bkPlain, bkFancy };
FYNDRA_ENUM_NAMES(TBenchKind, bkPlain, bkFancy)

class TBenchWidget : public TComponent {
  FYNDRA_CLASS(TBenchWidget, TComponent)
 public:
  std::int32_t Count = 0;
  std::string Caption;
  TBenchKind Kind = bkPlain;
  bool Active = false;
  double Ratio = 0;

 protected:
  explicit TBenchWidget(TComponent* Owner) : TComponent(Owner) {}
};

class TBenchForm : public TComponent {
  FYNDRA_CLASS(TBenchForm, TComponent)
 protected:
  explicit TBenchForm(TComponent* Owner) : TComponent(Owner) {}
};

}  // namespace

FYNDRA_PUBLISHED(TBenchWidget, P) {
  P.Property("Count", &TBenchWidget::Count).Default(0);
  P.Property("Caption", &TBenchWidget::Caption);
  P.Property("Kind", &TBenchWidget::Kind).Default(bkPlain);
  P.Property("Active", &TBenchWidget::Active).Default(false);
  P.Property("Ratio", &TBenchWidget::Ratio);
}
FYNDRA_IMPLEMENT_CLASS(TBenchForm)
FYNDRA_REGISTER_CLASS(TBenchWidget);
FYNDRA_REGISTER_CLASS(TBenchForm);

namespace {

constexpr int kWidgets = 200;

void Fill(TBenchWidget* W, int I) {
  W->SetName("Widget" + std::to_string(I));
  W->Count = I;
  W->Caption = "Caption of widget " + std::to_string(I) + " with 'quotes'";
  W->Kind = bkFancy;
  W->Active = true;
  W->Ratio = I / 7.0;
}

TOwned<TComponent> BuildForm() {
  TOwned<TComponent> F(CreateComponent(TBenchForm::StaticClass(), nullptr));
  F->SetName("Form1");
  for (int I = 0; I < kWidgets; ++I) Fill(static_cast<TBenchWidget*>(CreateComponent(TBenchWidget::StaticClass(), F.get())), I);
  return F;
}

const std::string& FormText() {
  static const std::string Text = WriteComponentToText(BuildForm().get());
  return Text;
}

void BM_ScanLinesBaseline(benchmark::State& State) {
  const std::string& Text = FormText();
  for (auto _ : State) {
    std::vector<std::pair<std::string, std::string>> Pairs;
    std::string_view Rest = Text;
    while (!Rest.empty()) {
      const std::size_t End = Rest.find('\n');
      std::string_view Line = Rest.substr(0, End);
      Rest = End == std::string_view::npos ? std::string_view() : Rest.substr(End + 1);
      const std::size_t Eq = Line.find(" = ");
      if (Eq != std::string_view::npos) Pairs.emplace_back(Line.substr(0, Eq), Line.substr(Eq + 3));
    }
    benchmark::DoNotOptimize(Pairs.data());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Text.size()));
}
BENCHMARK(BM_ScanLinesBaseline);

void BM_ParseDfmText(benchmark::State& State) {
  const std::string& Text = FormText();
  for (auto _ : State) benchmark::DoNotOptimize(ParseDfmText(Text));
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Text.size()));
}
BENCHMARK(BM_ParseDfmText);

void BM_AppendLinesBaseline(benchmark::State& State) {
  const std::string& Text = FormText();
  std::vector<std::string> Lines;
  for (std::size_t Start = 0; Start < Text.size();) {
    const std::size_t End = Text.find('\n', Start);
    Lines.push_back(Text.substr(Start, End - Start));
    Start = End + 1;
  }
  for (auto _ : State) {
    std::string Out;
    for (const std::string& L : Lines) {
      Out += L;
      Out += '\n';
    }
    benchmark::DoNotOptimize(Out.data());
  }
}
BENCHMARK(BM_AppendLinesBaseline);

void BM_PrintDfmText(benchmark::State& State) {
  const TDfmObject Tree = ParseDfmText(FormText());
  for (auto _ : State) benchmark::DoNotOptimize(PrintDfmText(Tree));
}
BENCHMARK(BM_PrintDfmText);

// The same form as an IDE spells it: every float with 18 decimals. Parsing
// keeps those spellings and printing writes them back.
const std::string& IdeStyleText() {
  static const std::string Text = [] {
    std::string Out;
    std::string_view Rest = FormText();
    while (!Rest.empty()) {
      const std::size_t End = Rest.find('\n');
      std::string_view Line = Rest.substr(0, End + 1);
      Rest.remove_prefix(Line.size());
      const std::size_t Eq = Line.find("Ratio = ");
      if (Eq == std::string_view::npos) {
        Out += Line;
        continue;
      }
      char Spelled[64];
      std::snprintf(Spelled, sizeof Spelled, "%.18f\n", std::stod(std::string(Line.substr(Eq + 8))));
      Out += Line.substr(0, Eq + 8);
      Out += Spelled;
    }
    return Out;
  }();
  return Text;
}

void BM_ParseIdeStyleText(benchmark::State& State) {
  const std::string& Text = IdeStyleText();
  for (auto _ : State) benchmark::DoNotOptimize(ParseDfmText(Text));
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Text.size()));
}
BENCHMARK(BM_ParseIdeStyleText);

void BM_PrintIdeStyleText(benchmark::State& State) {
  const TDfmObject Tree = ParseDfmText(IdeStyleText());
  if (PrintDfmText(Tree) != IdeStyleText()) State.SkipWithError("the spelling was not kept");
  for (auto _ : State) benchmark::DoNotOptimize(PrintDfmText(Tree));
}
BENCHMARK(BM_PrintIdeStyleText);

void BM_BuildFormByCodeBaseline(benchmark::State& State) {
  for (auto _ : State) benchmark::DoNotOptimize(BuildForm().get());
}
BENCHMARK(BM_BuildFormByCodeBaseline);

void BM_ReadComponentFromText(benchmark::State& State) {
  const std::string& Text = FormText();
  for (auto _ : State) {
    TOwned<TComponent> F(ReadComponentFromText(Text));
    benchmark::DoNotOptimize(F.get());
  }
}
BENCHMARK(BM_ReadComponentFromText);

void BM_WriteComponentToText(benchmark::State& State) {
  TOwned<TComponent> F = BuildForm();
  for (auto _ : State) benchmark::DoNotOptimize(WriteComponentToText(F.get()));
}
BENCHMARK(BM_WriteComponentToText);

}  // namespace
}  // namespace fyndra
