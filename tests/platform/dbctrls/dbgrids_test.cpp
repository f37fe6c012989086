// The data grid headless, on real SQLite tables: the row window around the
// current record, reading more at either end, following the dataset's moves,
// filter and reopening, and never reading the table behind the user's back.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/dbctrls/dbgrids.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

class DBGridTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Path() = (std::filesystem::temp_directory_path() / ("dbgrids_test_" + std::to_string(::getpid()) + ".db")).string();
    GenerateSampleDatabase(Path(), {.Customers = 5000, .MaxOrdersPerCustomer = 0, .Seed = 7});
  }
  static void TearDownTestSuite() { std::remove(Path().c_str()); }
  static std::string& Path() {
    static std::string P;
    return P;
  }
  void SetUp() override {
    Db->SetDatabaseName(Path());
    Table->SetDatabase(Db);
    Table->SetTableName("customers");
    Table->SetIndexName("customers_name");
    Source->SetDataSet(Table);
    Grid->SetParent(Form.get());
    Grid->SetPageRows(20);
    auto* C = Grid->GetColumns()->Add();
    C->SetFieldName("name");
    C->GetTitle()->SetCaption("Name");
    Grid->GetColumns()->Add()->SetFieldName("city");
    Grid->SetDataSource(Source);
    Table->Open();
  }
  std::string Name(int Row) const { return Grid->Row(Row).Cells[0]; }

  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  TDatabase* Db = Create<TDatabase>(Form.get());
  TTable* Table = Create<TTable>(Form.get());
  TDataSource* Source = Create<TDataSource>(Form.get());
  TDBGrid* Grid = Create<TDBGrid>(Form.get());
};

TEST_F(DBGridTest, TheFirstScreenIsOnePageFromTheFirstRecord) {
  EXPECT_EQ(Grid->ColumnCount(), 2);
  EXPECT_EQ(Grid->ColumnTitle(0), "Name");
  EXPECT_EQ(Grid->ColumnTitle(1), "city") << "the field's label when the column has no title";
  EXPECT_EQ(Grid->RowCount(), 20);
  EXPECT_EQ(Grid->CurrentRow(), 0);
  EXPECT_TRUE(Grid->AtStart());
  EXPECT_FALSE(Grid->AtEnd());
  EXPECT_EQ(Name(0), Table->FieldByName("name")->AsString());
  EXPECT_LE(Table->FetchedRowCount(), 21) << "only the first page was read";
  // Names follow the index, which orders them ignoring case as the text service does.
  for (int I = 1; I < Grid->RowCount(); ++I) EXPECT_LE(AnsiCompareUpperText(Name(I - 1), Name(I)), 0);
}

TEST_F(DBGridTest, MoreRowsAreReadAtTheEndWithoutMovingTheDataset) {
  const std::string Current = Table->FieldByName("name")->AsString();
  Grid->FetchMore(30);
  EXPECT_EQ(Grid->RowCount(), 50);
  EXPECT_EQ(Table->FieldByName("name")->AsString(), Current);
  EXPECT_EQ(Grid->CurrentRow(), 0);
  EXPECT_LE(Table->FetchedRowCount(), 51);
  for (int I = 0; I < 300; ++I) Grid->FetchMore(20);
  EXPECT_TRUE(Grid->AtEnd());
  EXPECT_EQ(Grid->RowCount(), 5000);
}

TEST_F(DBGridTest, AMoveFarAwayReanchorsTheWindowAndTheTopCanBeReadBack) {
  ASSERT_TRUE(Table->FindKey({Variant(SampleCustomerName(7, 2500))}));
  EXPECT_FALSE(Grid->AtStart());
  const int Row = Grid->CurrentRow();
  ASSERT_GT(Row, 0);
  EXPECT_EQ(Name(Row), SampleCustomerName(7, 2500));
  EXPECT_LE(Grid->RowCount(), 22);
  const std::string Top = Name(0);
  Grid->FetchPrior(10);
  EXPECT_EQ(Grid->CurrentRow(), Row + 10);
  EXPECT_EQ(Name(10), Top);
  EXPECT_EQ(Table->FieldByName("name")->AsString(), SampleCustomerName(7, 2500));
  // A move inside the window only moves the current row.
  Table->Next();
  EXPECT_EQ(Grid->CurrentRow(), Row + 11);
  // Choosing a row moves the dataset.
  Grid->PeerRowSelected(3);
  EXPECT_EQ(Table->FieldByName("name")->AsString(), Name(3));
  EXPECT_EQ(Grid->CurrentRow(), 3);
}

TEST_F(DBGridTest, FilteringAndReopeningReadTheWindowAgain) {
  Table->SetOnFilterRecord(TFilterRecordEvent::FromCallable(
      [](TDataSet* DS, bool& Accept) { Accept = DS->FieldByName("city")->AsString() == "Berlin"; }));
  Table->SetFiltered(true);
  ASSERT_GT(Grid->RowCount(), 0);
  for (int I = 0; I < Grid->RowCount(); ++I) EXPECT_EQ(Grid->Row(I).Cells[1], "Berlin");
  Table->Close();
  EXPECT_EQ(Grid->RowCount(), 0);
  EXPECT_EQ(Grid->ColumnCount(), 0);
  Table->SetFiltered(false);
  Table->Open();
  EXPECT_EQ(Grid->RowCount(), 20);
}

TEST_F(DBGridTest, ColumnsAndTheDataSourceAreForgottenWhenTheyGo) {
  Grid->GetColumns()->Clear();
  EXPECT_EQ(Grid->ColumnCount(), Table->FieldCount()) << "no columns: every visible field";
  Free(Source);
  EXPECT_EQ(Grid->GetDataSource(), nullptr);
  EXPECT_EQ(Grid->RowCount(), 0);
}

}  // namespace
}  // namespace fyndra
