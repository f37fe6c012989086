// The SQLite family in the conformance suite: TTable over a table of the
// standard fields with the standard indexes, and TQuery over the same table.
#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/table.h>

#include "platform/conformance/datasetconformance.h"

namespace fyndra::conformance {
namespace {

class TSQLiteFamily : public TFamily {
 public:
  TSQLiteFamily() {
    Db_->SetDatabaseName(":memory:");
    Db_->Open();
    Db_->Execute(
        "CREATE TABLE people (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), CITY VARCHAR(20), AMOUNT REAL);"
        "CREATE INDEX people_name ON people (NAME);"
        "CREATE INDEX people_city_name ON people (CITY COLLATE NOCASE, NAME);"
        "CREATE INDEX people_amount ON people (AMOUNT DESC);");
  }

  void Fill(const std::vector<TPerson>& Rows) {
    TSQLiteStatement Insert(Db_->Connection(), "INSERT INTO people VALUES (?, ?, ?, ?)");
    for (const TPerson& P : Rows) {
      Insert.Bind(1, Variant(std::int32_t(P.Id)));
      Insert.Bind(2, Variant(P.Name));
      Insert.Bind(3, P.City ? Variant(P.City) : Null());
      Insert.Bind(4, Variant(P.Amount));
      Insert.Execute();
    }
  }

 protected:
  TOwned<TDatabase> Db_ = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
};

class TTableFamily : public TSQLiteFamily {
 public:
  TDataSet* Make(const std::vector<TPerson>& Rows) override {
    Fill(Rows);
    T_->SetName("People");
    T_->SetDatabase(Db_.get());
    T_->SetTableName("people");
    return T_.get();
  }

  std::string Lacks(TFeature) const override { return {}; }

  void UseOrder(TDataSet*, TOrder Order) override {
    static const char* const Names[] = {"PRIMARY", "people_name", "people_city_name", "people_amount"};
    T_->SetIndexName(Names[Order]);
  }

  std::unique_ptr<TKeyedAccess> Keyed(TDataSet*) override { return std::make_unique<TKeyedAccessOf<TTable>>(T_.get()); }

 private:
  TOwned<TTable> T_ = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
};

class TQueryFamily : public TSQLiteFamily {
 public:
  TDataSet* Make(const std::vector<TPerson>& Rows) override {
    Fill(Rows);
    Q_->SetName("People");
    Q_->SetDatabase(Db_.get());
    Q_->GetSQL()->SetText("SELECT ID, NAME, CITY, AMOUNT FROM people ORDER BY ID");
    return Q_.get();
  }

  std::string Lacks(TFeature Feature) const override {
    switch (Feature) {
      case cfEditing: return "a query's result is read-only";
      case cfKeySearch: return "a query has no current index to search";
      case cfRanges: return "a query has no current index to limit";
    }
    return {};
  }

  void UseOrder(TDataSet*, TOrder) override {}
  std::unique_ptr<TKeyedAccess> Keyed(TDataSet*) override { return nullptr; }

 private:
  TOwned<TQuery> Q_ = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
};

CONFORMANCE_FAMILY(Table, [] { return std::unique_ptr<TFamily>(new TTableFamily); });
CONFORMANCE_FAMILY(Query, [] { return std::unique_ptr<TFamily>(new TQueryFamily); });

}  // namespace
}  // namespace fyndra::conformance
