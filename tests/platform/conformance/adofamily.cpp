// The ODBC family in the conformance suite: TADOTable over SQLite's ODBC
// driver and TADOQuery over PostgreSQL's, on a table of the standard fields.
#include <fyndra/platform/ado/adodb.h>

#include "platform/ado/adotestutil.h"
#include "platform/conformance/datasetconformance.h"

namespace fyndra::conformance {
namespace {

class TOdbcFamily : public TFamily {
 public:
  explicit TOdbcFamily(adotest::TSource Source) : Src_(Source) {
    Conn_->SetConnectionString(Src_.ConnectionString());
    Conn_->Open();
    Conn_->Execute("CREATE TABLE people (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), CITY VARCHAR(20), AMOUNT " +
                   Src_.Double() + ")");
  }

  void Fill(const std::vector<TPerson>& Rows) {
    auto* Insert = Create<TADOQuery>(Form_.get());
    Insert->SetConnection(Conn_.get());
    Insert->GetSQL()->SetText("INSERT INTO people VALUES (:id, :name, :city, :amount)");
    TParameters* P = Insert->GetParameters();
    P->ParamByName(u"city")->SetDataType(ftString);
    for (const TPerson& Person : Rows) {
      P->ParamByName(u"id")->SetValue(std::int32_t(Person.Id));
      P->ParamByName(u"name")->SetValue(std::string(Person.Name));
      P->ParamByName(u"city")->SetValue(Person.City ? Variant(std::string(Person.City)) : Null());
      P->ParamByName(u"amount")->SetValue(Person.Amount);
      Insert->ExecSQL();
    }
  }

  std::string Lacks(TFeature Feature) const override {
    switch (Feature) {
      case cfEditing: return "the ODBC family reads; statements change data";
      case cfKeySearch: return "ODBC datasets search keys with Seek";
      case cfRanges: return "ODBC datasets offer no index ranges";
    }
    return {};
  }
  void UseOrder(TDataSet*, TOrder) override {}
  std::unique_ptr<TKeyedAccess> Keyed(TDataSet*) override { return nullptr; }

 protected:
  adotest::DataSource Src_;
  TOwned<TADOConnection> Conn_ = CreateOwned<TADOConnection>(static_cast<TComponent*>(nullptr));
  // Owns the datasets, which go before the connection.
  TOwned<TComponent> Form_ = CreateOwned<TComponent>(static_cast<TComponent*>(nullptr));
};

class TAdoTableFamily : public TOdbcFamily {
 public:
  TAdoTableFamily() : TOdbcFamily(adotest::TSource::SQLite) {}
  TDataSet* Make(const std::vector<TPerson>& Rows) override {
    Fill(Rows);
    auto* T = Create<TADOTable>(Form_.get());
    T->SetName("People");
    T->SetConnection(Conn_.get());
    T->SetTableName("people");
    T->SetIndexFieldNames("ID");
    return T;
  }
};

class TAdoQueryFamily : public TOdbcFamily {
 public:
  TAdoQueryFamily() : TOdbcFamily(adotest::TSource::PostgreSQL) {}
  TDataSet* Make(const std::vector<TPerson>& Rows) override {
    Fill(Rows);
    auto* Q = Create<TADOQuery>(Form_.get());
    Q->SetName("People");
    Q->SetConnection(Conn_.get());
    Q->GetSQL()->SetText("SELECT ID, NAME, CITY, AMOUNT FROM people ORDER BY ID");
    return Q;
  }
};

CONFORMANCE_FAMILY(AdoTable, [] { return std::unique_ptr<TFamily>(new TAdoTableFamily); });
CONFORMANCE_FAMILY(AdoQuery, [] { return std::unique_ptr<TFamily>(new TAdoQueryFamily); });

}  // namespace
}  // namespace fyndra::conformance
