// The Qt edition on real SQLite sample databases of 20k, 200k and 1M
// customers, on Qt's offscreen platform.
//
//  - BM_TypeThroughControls: one typed character through the whole road: a key
//    event into the bound edit's line edit, the model source, the find model's
//    apply, and the grid reading its first screen and asking for a repaint.
//    Each iteration types one character and deletes it again: two keystrokes.
//    BM_TypeApplyDirect is the baseline: the same two criterion changes set
//    on the item directly, with no control and no grid.
//  - BM_GridFirstScreen: the grid's first screen after the table is
//    restricted to an index range of names (what a filter with an index range
//    does), three prefixes typed one after another. BM_ProxyFirstScreen is the
//    comparison: a QSortFilterProxyModel over a plain QAbstractTableModel that
//    holds the same rows in memory, filtering the same column with the same
//    three prefixes and reading its first screen.
#include <QAbstractTableModel>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSortFilterProxyModel>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <fyndra/controls/zvmodelqstdctrls.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/dbctrls/dbgrids.h>
#include <fyndra/platform/qt/qtwidgetset.h>

namespace fyndra {
namespace {

constexpr std::uint64_t Seed = 3;

// One sample database per size, made on first use and removed at exit.
const std::string& Database(std::int64_t Customers) {
  static std::map<std::int64_t, std::string> Paths;
  auto It = Paths.find(Customers);
  if (It != Paths.end()) return It->second;
  const std::string P = (std::filesystem::temp_directory_path() /
                         ("qtgrid_bench_" + std::to_string(::getpid()) + "_" + std::to_string(Customers) + ".db"))
                            .string();
  GenerateSampleDatabase(P, {.Customers = Customers, .MaxOrdersPerCustomer = 0, .Seed = Seed});
  static const bool Cleanup = (std::atexit([] {
                                 for (auto& [N, Path] : Paths) std::remove(Path.c_str());
                               }),
                               true);
  (void)Cleanup;
  return Paths.emplace(Customers, P).first->second;
}

// A criterion the find model meets early in name order, so that the apply is
// cheap and the controls' share shows.
std::string EarlyPrefix(std::int64_t Customers) {
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(nullptr);
  Db->SetDatabaseName(Database(Customers));
  TOwned<TTable> T = CreateOwned<TTable>(nullptr);
  T->SetDatabase(Db.get());
  T->SetTableName("customers");
  T->SetIndexName("customers_name");
  T->Open();
  return T->FieldByName("name")->AsString().substr(0, 3);
}

struct TForm1 {
  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  TDatabase* Db = Create<TDatabase>(Form.get());
  TTable* Customers = Create<TTable>(Form.get());
  TDataSource* Source = Create<TDataSource>(Form.get());
  TzvDBFindModel* Find = nullptr;
  clx::TzvModelEdit* Edit = nullptr;
  TDBGrid* Grid = nullptr;

  TForm1(std::int64_t N, bool Controls) {
    Db->SetDatabaseName(Database(N));
    Customers->SetDatabase(Db);
    Customers->SetTableName("customers");
    Customers->SetIndexName("customers_name");
    Source->SetDataSet(Customers);
    Find = Create<TzvDBFindModel>(Form.get());
    Find->SetDataSource(Source);
    if (Controls) {
      Form->SetClientWidth(800);
      Form->SetClientHeight(600);
      Edit = Create<clx::TzvModelEdit>(Form.get());
      Edit->SetParent(Form.get());
      Edit->SetBounds(0, 0, 200, 24);
      Edit->GetModelSource()->SetBaseModel(Find);
      Edit->GetModelSource()->SetItemName("name");
      Grid = Create<TDBGrid>(Form.get());
      Grid->SetParent(Form.get());
      Grid->SetBounds(0, 30, 800, 570);
      Grid->SetDataSource(Source);
    }
    Customers->Open();
    if (Controls) {
      Form->Show();
      QApplication::processEvents();
    }
  }
};

void SendKey(QWidget* W, int Key, const QString& Text) {
  QKeyEvent Press(QEvent::KeyPress, Key, Qt::NoModifier, Text);
  QApplication::sendEvent(W, &Press);
}

void BM_TypeThroughControls(benchmark::State& State) {
  const std::int64_t N = State.range(0);
  const std::string Prefix = EarlyPrefix(N);
  TForm1 F(N, true);
  auto* Line = qobject_cast<QLineEdit*>(TQtWidgetSet::WidgetOf(F.Edit));
  Line->setText(QString::fromStdString(Prefix.substr(0, 2)));
  F.Edit->PeerTextEdited(Prefix.substr(0, 2), 2);
  const QString Third = QString::fromStdString(Prefix.substr(2, 1));
  for (auto _ : State) {
    SendKey(Line, 0, Third);
    SendKey(Line, Qt::Key_Backspace, QString());
  }
  State.counters["keystroke_us"] =
      benchmark::Counter(2.0 * double(State.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  State.counters["rows_read"] = double(F.Grid->RowsRead());
}

void BM_TypeApplyDirect(benchmark::State& State) {
  const std::int64_t N = State.range(0);
  const std::string Prefix = EarlyPrefix(N);
  TForm1 F(N, false);
  TzvCompareItem* Item = F.Find->GetCompareItems()->FindItem("name");
  const std::string Short = Prefix.substr(0, 2), Long = Prefix.substr(0, 3);
  Item->SetAsString(Short);
  for (auto _ : State) {
    Item->SetAsString(Long);
    Item->SetAsString(Short);
  }
  State.counters["keystroke_us"] =
      benchmark::Counter(2.0 * double(State.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Three prefixes of one name in the middle of the name order.
std::vector<std::string> Prefixes(std::int64_t N) {
  const std::string Name = SampleCustomerName(Seed, N / 2);
  return {Name.substr(0, 1), Name.substr(0, 2), Name.substr(0, 3)};
}

void BM_GridFirstScreen(benchmark::State& State) {
  const std::int64_t N = State.range(0);
  TForm1 F(N, true);
  const std::vector<std::string> P = Prefixes(N);
  for (auto _ : State) {
    for (const std::string& Text : P) {
      // What a filter with an index range does: the range, then the first record.
      F.Customers->SetRange({Variant(Text)}, {Variant(Text + "\xFF")});
      F.Customers->First();
      benchmark::DoNotOptimize(F.Grid->RowCount());
    }
    F.Customers->CancelRange();
  }
  State.counters["screen_us"] =
      benchmark::Counter(3.0 * double(State.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  State.counters["rows_shown"] = double(F.Grid->RowCount());
}

class TRowsModel : public QAbstractTableModel {
 public:
  explicit TRowsModel(std::vector<std::array<QString, 3>> Rows) : Rows_(std::move(Rows)) {}
  int rowCount(const QModelIndex& P) const override { return P.isValid() ? 0 : int(Rows_.size()); }
  int columnCount(const QModelIndex& P) const override { return P.isValid() ? 0 : 3; }
  QVariant data(const QModelIndex& I, int Role) const override {
    if (Role != Qt::DisplayRole) return {};
    return Rows_[std::size_t(I.row())][std::size_t(I.column())];
  }

 private:
  std::vector<std::array<QString, 3>> Rows_;
};

void BM_ProxyFirstScreen(benchmark::State& State) {
  const std::int64_t N = State.range(0);
  std::vector<std::array<QString, 3>> Rows;
  {
    TForm1 F(N, false);
    Rows.reserve(std::size_t(N));
    TField* Code = F.Customers->FieldByName("code");
    TField* Name = F.Customers->FieldByName("name");
    TField* City = F.Customers->FieldByName("city");
    for (F.Customers->First(); !F.Customers->Eof(); F.Customers->Next())
      Rows.push_back({QString::fromStdString(Code->AsString()), QString::fromStdString(Name->AsString()),
                      QString::fromStdString(City->AsString())});
  }
  TRowsModel Model(std::move(Rows));
  QSortFilterProxyModel Proxy;
  Proxy.setSourceModel(&Model);
  Proxy.setFilterKeyColumn(1);
  Proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
  const std::vector<std::string> P = Prefixes(N);
  for (auto _ : State) {
    for (const std::string& Text : P) {
      Proxy.setFilterRegularExpression(QRegularExpression("^" + QRegularExpression::escape(QString::fromStdString(Text)),
                                                          QRegularExpression::CaseInsensitiveOption));
      const int Shown = std::min(Proxy.rowCount(), 50);
      for (int R = 0; R < Shown; ++R) benchmark::DoNotOptimize(Proxy.index(R, 1).data());
    }
    Proxy.setFilterRegularExpression(QRegularExpression());
  }
  State.counters["screen_us"] =
      benchmark::Counter(3.0 * double(State.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Sizes(benchmark::internal::Benchmark* B) {
  B->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_TypeApplyDirect)->Apply(Sizes)->MinTime(0.5);
BENCHMARK(BM_TypeThroughControls)->Apply(Sizes)->MinTime(0.5);
BENCHMARK(BM_GridFirstScreen)->Apply(Sizes)->MinTime(0.5);
// Each filter pass walks every row: a few passes are enough.
BENCHMARK(BM_ProxyFirstScreen)->Apply(Sizes)->Iterations(3);

}  // namespace
}  // namespace fyndra

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  fyndra::TQtWidgetSet Widgets;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
