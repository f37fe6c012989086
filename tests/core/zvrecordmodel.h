// A small concrete model for the core tests: its items compare against a
// value that the test places in each item (the "current record"), and its
// registry holds the sixteen standard operators. Each item counts how often
// the record was read, so tests can see which criteria were evaluated.
#pragma once

#include <string>

#include <fyndra/core/zvbasemodel.h>
#include <fyndra/core/zvcomparemodels.h>

namespace fyndra::rectest {

class TRecordItem : public TzvCompareItem {
  FYNDRA_CLASS(TRecordItem, TzvCompareItem)
 public:
  Variant GetCompareAsVariant() override {
    ++Reads;
    return Record;
  }
  std::string GetCompareAsString() override {
    ++Reads;
    return VarToStr(Record);
  }

  Variant Record;  // this item's field in the current record
  int Reads = 0;

 protected:
  explicit TRecordItem(TCollection* Collection) : TzvCompareItem(Collection) {}
};

class TRecordModel : public TzvBaseModel {
  FYNDRA_CLASS(TRecordModel, TzvBaseModel)
 public:
  // An item with the given name, type, operator, options and value; the
  // operator is refreshed so that it can be asked at once.
  TRecordItem* AddItem(const std::string& Name, TVarType DataType, int DataSize, int Key,
                       TzvCompareItemOptions Options, const Variant& Value);
  int Applies = 0;

 protected:
  explicit TRecordModel(TComponent* Owner) : TzvBaseModel(Owner) {}
  bool InternalApply() override {
    ++Applies;
    return true;
  }
  void CreateCompareModelList(TzvCompareModelList*& List) override;
  void CreateCompareItems(TzvCompareItems*& Items) override;
};

// Owns a model for the length of a test.
using TModelPtr = TOwned<TRecordModel>;
inline TModelPtr NewRecordModel(const std::string& Name = std::string()) {
  TModelPtr M(Create<TRecordModel>(nullptr));
  if (!Name.empty()) M->SetName(Name);
  M->GetOptions()->SetAutoUpdate(false);
  return M;
}

}  // namespace fyndra::rectest
