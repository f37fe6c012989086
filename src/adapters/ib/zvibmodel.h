// The Firebird dataset family: the adapter that tells the models what its
// datasets offer, and the family's find and filter components. This is a
// package of its own (library fyndra_ibmodel) over the core library and the
// family's library; Register puts its two components on the palette.
//
// Every dataset of the family except a table is filtered by rewriting its
// select statement (a query's SQL, a select dataset's SelectSQL); a table
// offers its index definitions to the index choice and is filtered record by
// record. No dataset of the family has key search or ranges of its own, so
// finds position with Locate. The engine orders text by its collation: a text
// key range is used only where the key's collation orders text by its bytes
// (see IsTextRangeSound).
//
// Ownership: the adapter is owned by its model; the components are ordinary
// components freed by their owner.
#pragma once

#include <string>

#include <fyndra/dataset/zvdbbasemodel.h>

namespace fyndra {

// The family's class name, named when a dataset of another family is refused.
inline constexpr const char* SIBCustomDataSetFamily = "TIBCustomDataSet";

class TzvIBDataSetModel : public TzvExtDataSetModel {
  FYNDRA_CLASS(TzvIBDataSetModel, TzvExtDataSetModel)
 public:
  // dsDefaultIndex: true; dsSQL: a dataset of the family that is not a
  // table; never dsMultiCaseInsIndexSearch or dsIndexRange.
  bool IsSupported(TDataSetSupportedOption Option) override;
  // A table's index definitions, index name and index field names.
  TIndexDefs* GetIndexDefs() override;
  std::string GetIndexFieldNames() override;
  std::string GetIndexName() override;
  // A query's SQL, a select dataset's SelectSQL; nothing for a table.
  void SetQuerySQL(const std::string& Text) override;
  std::string GetQuerySQL() override;
  // A query's parameter of that name (a name it lacks is skipped); a select
  // dataset's through SQLParams.ByName, whose error for an unknown name
  // passes on; nothing for a table.
  void SetParam(const std::string& Name, const Variant& Value) override;
  // Text keys in the engine's binary order (UTF-8 bytes, which is code point order).
  int CompareKeyText(const TIndexFieldDef& Def, const std::string& A, const std::string& B) override;
  // Only a table's keys whose collation orders by bytes give sound text ranges.
  bool IsTextRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item) override;

 protected:
  explicit TzvIBDataSetModel(TzvDBBaseModel* Model) : TzvExtDataSetModel(Model) {}
};

class TzvIBFindModel : public TzvCustomDBFindModel {
  FYNDRA_CLASS(TzvIBFindModel, TzvCustomDBFindModel)
 public:
  // Refuses a dataset that is not a TIBCustomDataSet (message 65514).
  void CheckDataSet() override;

 protected:
  explicit TzvIBFindModel(TComponent* Owner) : TzvCustomDBFindModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override;
};

class TzvIBFilterModel : public TzvCustomDBFilterModel {
  FYNDRA_CLASS(TzvIBFilterModel, TzvCustomDBFilterModel)
 public:
  // Refuses a dataset that is not a TIBCustomDataSet (message 65514).
  void CheckDataSet() override;

 protected:
  explicit TzvIBFilterModel(TComponent* Owner) : TzvCustomDBFilterModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override;
};

namespace zvibmodel {

// The package's registration: TzvIBFilterModel, then TzvIBFindModel, on the
// palette page "Fyndra Access".
void Register();

}  // namespace zvibmodel

}  // namespace fyndra
