// The dataset family of the local database engine (our SQLite TTable and
// TQuery, both TBDEDataSet): the adapter that tells the models what these
// datasets offer, and the find and filter components of the family.
//
// A table offers its current index for key search and ranges; a query offers
// its ORDER BY as index order and its SQL text, which the filter model
// rewrites. The engine orders text by its column's collation (byte order, or
// ASCII-only case folding for NOCASE), not by the locale's rules that the
// record tests use, so the adapter compares text keys as the engine does and
// accepts a text key range only where it holds every matching record: an
// exact or prefix criterion on a case-sensitive (byte-ordered) key.
//
// Ownership: the adapter is owned by its model; the components are ordinary
// components freed by their owner.
#pragma once

#include <string>

#include <fyndra/dataset/zvdbbasemodel.h>

namespace fyndra {

// The family's class name, named when a dataset of another family is refused.
inline constexpr const char* SBDEDataSetFamily = "TBDEDataSet";

class TzvBDEDataSetModel : public TzvExtDataSetModel {
  FYNDRA_CLASS(TzvBDEDataSetModel, TzvExtDataSetModel)
 public:
  // dsDefaultIndex: a table or a query; dsMultiCaseInsIndexSearch and
  // dsIndexRange: a table; dsSQL: a query.
  bool IsSupported(TDataSetSupportedOption Option) override;
  // The dataset's default order: a table's current index, a query's ORDER BY.
  TOwned<TIndexDef> GetIndexDef() override;
  std::string GetIndexFieldNames() override;
  std::string GetIndexName() override;
  // A table searches by key (SetKey, GotoKey or GotoNearest); other datasets
  // locate as the plain adapter does.
  bool FindRecord(const Variant& KeyValues, bool Exact) override;
  // A table's range; Nulls cancel it. Nothing for other datasets.
  void SetRange(const Variant& StartValues, const Variant& EndValues) override;
  void SetQuerySQL(const std::string& Text) override;
  std::string GetQuerySQL() override;
  // Sets the query parameter of that name; a name the query lacks is skipped.
  void SetParam(const std::string& Name, const Variant& Value) override;
  int CompareKeyText(const TIndexFieldDef& Def, const std::string& A, const std::string& B) override;
  bool IsTextRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item) override;

 protected:
  explicit TzvBDEDataSetModel(TzvDBBaseModel* Model) : TzvExtDataSetModel(Model) {}
};

class TzvBdeFindModel : public TzvCustomDBFindModel {
  FYNDRA_CLASS(TzvBdeFindModel, TzvCustomDBFindModel)
 public:
  // Refuses a dataset that is not a TBDEDataSet (message 65514).
  void CheckDataSet() override;

 protected:
  explicit TzvBdeFindModel(TComponent* Owner) : TzvCustomDBFindModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override;
};

class TzvBdeFilterModel : public TzvCustomDBFilterModel {
  FYNDRA_CLASS(TzvBdeFilterModel, TzvCustomDBFilterModel)
 public:
  // Refuses a dataset that is not a TBDEDataSet (message 65514).
  void CheckDataSet() override;

 protected:
  explicit TzvBdeFilterModel(TComponent* Owner) : TzvCustomDBFilterModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override;
};

}  // namespace fyndra
