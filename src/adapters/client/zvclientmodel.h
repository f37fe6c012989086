// The client dataset family: the adapter that tells the models what an
// in-memory client dataset offers (its indexes, key search and ranges; no
// SQL), and the family's find and filter components. This is a package of
// its own (library fyndra_client) over the core library; Register puts its
// two components on the palette. The client dataset keeps its indexes in the
// order the base adapter compares text keys by (a case-insensitive key by
// its upper-case forms), so the base's CompareKeyText and IsTextRangeSound
// serve it as they are.
//
// Ownership: the adapter is owned by its model; the components are ordinary
// components freed by their owner.
#pragma once

#include <string>

#include <fyndra/dataset/zvdbbasemodel.h>

namespace fyndra {

// The family's class name, named when a dataset of another family is refused.
inline constexpr const char* SClientDataSetFamily = "TCustomClientDataSet(TClientDataSet)";

class TzvClientDataSetModel : public TzvExtDataSetModel {
  FYNDRA_CLASS(TzvClientDataSetModel, TzvExtDataSetModel)
 public:
  // dsDefaultIndex for any dataset; dsMultiCaseInsIndexSearch and
  // dsIndexRange for a client dataset; never dsSQL.
  bool IsSupported(TDataSetSupportedOption Option) override;
  TIndexDefs* GetIndexDefs() override;
  std::string GetIndexFieldNames() override;
  std::string GetIndexName() override;
  // The client dataset's key search (SetKey, GotoKey or GotoNearest).
  bool FindRecord(const Variant& KeyValues, bool Exact) override;
  // The client dataset's range; Nulls cancel it.
  void SetRange(const Variant& StartValues, const Variant& EndValues) override;

 protected:
  explicit TzvClientDataSetModel(TzvDBBaseModel* Model) : TzvExtDataSetModel(Model) {}
};

class TzvClientFindModel : public TzvCustomDBFindModel {
  FYNDRA_CLASS(TzvClientFindModel, TzvCustomDBFindModel)
 public:
  // Refuses a dataset that is not a TCustomClientDataSet (message 65514).
  void CheckDataSet() override;

 protected:
  explicit TzvClientFindModel(TComponent* Owner) : TzvCustomDBFindModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override;
};

class TzvClientFilterModel : public TzvCustomDBFilterModel {
  FYNDRA_CLASS(TzvClientFilterModel, TzvCustomDBFilterModel)
 public:
  // Refuses a dataset that is not a TCustomClientDataSet (message 65514).
  void CheckDataSet() override;

 protected:
  explicit TzvClientFilterModel(TComponent* Owner) : TzvCustomDBFilterModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override;
};

namespace zvclientmodel {

// The package's registration: TzvClientFilterModel, then TzvClientFindModel,
// on the palette page "Fyndra Access".
void Register();

}  // namespace zvclientmodel

}  // namespace fyndra
