// The Firebird family in the conformance suite: TIBTable over a table of the
// standard fields with the standard indexes, TIBQuery and TIBDataSet over the
// same table. The family reads only and offers no key search or ranges of
// its own (finds use Locate), so those tests are skipped with that reason.
// One database file serves every test of this process; each dataset gets a
// table of its own.
#include <fyndra/platform/ib/ibcustomdataset.h>
#include <fyndra/platform/ib/ibdatabase.h>
#include <fyndra/platform/ib/ibtable.h>

#include "platform/conformance/datasetconformance.h"
#include "platform/ib/ibtestutil.h"

namespace fyndra::conformance {
namespace {

class TFirebirdFamily : public TFamily {
 public:
  TFirebirdFamily() {
    static int Count = 0;
    Table_ = "people_" + std::to_string(++Count);
    T().Exec("CREATE TABLE " + Table_ +
             " (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), CITY VARCHAR(20) COLLATE UNICODE_CI, "
             "AMOUNT DOUBLE PRECISION)");
    T().Exec("CREATE INDEX " + Table_ + "_name ON " + Table_ + " (NAME)");
    T().Exec("CREATE INDEX " + Table_ + "_city_name ON " + Table_ + " (CITY, NAME)");
    T().Exec("CREATE DESCENDING INDEX " + Table_ + "_amount ON " + Table_ + " (AMOUNT)");
  }

  std::string Lacks(TFeature Feature) const override {
    switch (Feature) {
      case cfEditing: return "the Firebird family reads only";
      case cfKeySearch: return "the Firebird family has no key search of its own; finds use Locate";
      case cfRanges: return "the Firebird family has no ranges of its own";
    }
    return {};
  }
  void UseOrder(TDataSet*, TOrder) override {}
  std::unique_ptr<TKeyedAccess> Keyed(TDataSet*) override { return nullptr; }

 protected:
  // The database of this test process.
  static ibtest::TestDatabase& T() {
    static ibtest::TestDatabase Db("conformance.fdb");
    return Db;
  }
  void Fill(const std::vector<TPerson>& Rows) {
    // A transaction of its own: committing it leaves the datasets of other
    // families open.
    auto Tr = CreateOwned<TIBTransaction>(static_cast<TComponent*>(nullptr));
    Tr->SetDefaultDatabase(T().Db.get());
    auto Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
    Q->SetDatabase(T().Db.get());
    Q->SetTransaction(Tr.get());
    Q->GetSQL()->SetText("INSERT INTO " + Table_ + " VALUES (:id, :name, :city, :amount)");
    for (const TPerson& P : Rows) {
      Q->ParamByName("id")->SetAsInteger(P.Id);
      Q->ParamByName("name")->SetAsString(P.Name);
      if (P.City) Q->ParamByName("city")->SetAsString(P.City);
      else Q->ParamByName("city")->Clear();
      Q->ParamByName("amount")->SetAsFloat(P.Amount);
      Q->ExecSQL();
    }
    if (Tr->GetActive()) Tr->Commit();
  }
  void Attach(TIBCustomDataSet* D) {
    D->SetName("People");
    D->SetDatabase(T().Db.get());
  }
  std::string Table_;
};

class TIBTableFamily : public TFirebirdFamily {
 public:
  TDataSet* Make(const std::vector<TPerson>& Rows) override {
    Fill(Rows);
    Attach(D_.get());
    D_->SetTableName(Table_);
    D_->SetIndexFieldNames("ID");
    return D_.get();
  }

 private:
  TOwned<TIBTable> D_ = CreateOwned<TIBTable>(static_cast<TComponent*>(nullptr));
};

class TIBQueryFamily : public TFirebirdFamily {
 public:
  TDataSet* Make(const std::vector<TPerson>& Rows) override {
    Fill(Rows);
    Attach(D_.get());
    D_->GetSQL()->SetText("SELECT ID, NAME, CITY, AMOUNT FROM " + Table_ + " ORDER BY ID");
    return D_.get();
  }

 private:
  TOwned<TIBQuery> D_ = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
};

class TIBDataSetFamily : public TFirebirdFamily {
 public:
  TDataSet* Make(const std::vector<TPerson>& Rows) override {
    Fill(Rows);
    Attach(D_.get());
    D_->GetSelectSQL()->SetText("SELECT ID, NAME, CITY, AMOUNT FROM " + Table_ + " ORDER BY ID");
    return D_.get();
  }

 private:
  TOwned<TIBDataSet> D_ = CreateOwned<TIBDataSet>(static_cast<TComponent*>(nullptr));
};

CONFORMANCE_FAMILY(IBTable, [] { return std::unique_ptr<TFamily>(new TIBTableFamily); });
CONFORMANCE_FAMILY(IBQuery, [] { return std::unique_ptr<TFamily>(new TIBQueryFamily); });
CONFORMANCE_FAMILY(IBDataSet, [] { return std::unique_ptr<TFamily>(new TIBDataSetFamily); });

}  // namespace
}  // namespace fyndra::conformance
