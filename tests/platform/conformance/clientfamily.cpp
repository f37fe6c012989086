// The in-memory client dataset in the conformance suite.
#include <fyndra/platform/db/dbclient.h>

#include "platform/conformance/datasetconformance.h"

namespace fyndra::conformance {
namespace {

class TClientFamily : public TFamily {
 public:
  TDataSet* Make(const std::vector<TPerson>& Rows) override {
    DS_ = CreateOwned<TClientDataSet>(nullptr);
    DS_->SetName("People");
    TFieldDefs* D = DS_->GetFieldDefs();
    D->Add("ID", ftInteger);
    D->Add("NAME", ftString, 20);
    D->Add("CITY", ftString, 20);
    D->Add("AMOUNT", ftFloat);
    DS_->CreateDataSet();
    for (const TPerson& P : Rows)
      DS_->AppendRecord({Variant(std::int32_t(P.Id)), Variant(P.Name), P.City ? Variant(P.City) : Null(),
                         Variant(P.Amount)});
    DS_->AddIndex("ById", "ID", {ixUnique});
    DS_->AddIndex("ByName", "NAME", {});
    DS_->AddIndex("ByCityName", "CITY;NAME", {}, "", "CITY");
    DS_->AddIndex("ByAmountDesc", "AMOUNT", {ixDescending});
    DS_->SetIndexName("ById");
    DS_->Close();
    return DS_.get();
  }

  std::string Lacks(TFeature) const override { return {}; }

  void UseOrder(TDataSet*, TOrder Order) override {
    static const char* const Names[] = {"ById", "ByName", "ByCityName", "ByAmountDesc"};
    DS_->SetIndexName(Names[Order]);
  }

  std::unique_ptr<TKeyedAccess> Keyed(TDataSet*) override {
    return std::make_unique<TKeyedAccessOf<TClientDataSet>>(DS_.get());
  }

 private:
  TOwned<TClientDataSet> DS_;
};

CONFORMANCE_FAMILY(ClientDataSet, [] { return std::unique_ptr<TFamily>(new TClientFamily); });

}  // namespace
}  // namespace fyndra::conformance
