// The dataset family of the local database engine (our SQLite TTable and
// TQuery, both TBDEDataSet): the adapter that tells the models what these
// datasets offer, and the find and filter components of the family.
//
// A table offers its current index for key search and ranges; a query offers
// its ORDER BY as index order and its SQL text, which the filter model
// rewrites. The engine orders a text key by its collation; the adapter asks
// the dataset which order each key has (TTextKeyOrder) and follows only the
// ones it can compare as the engine does:
// - the case-insensitive collation of the current text locale orders as the
//   text service's order of upper-case forms: case-insensitive equal and
//   prefix criteria become key searches and ranges on it;
// - byte order, and NOCASE (bytes with ASCII letters folded): only
//   case-sensitive equal and prefix criteria do, since neither orders text
//   as the case-insensitive record tests compare it ("É" < "Ö" < "é");
// - any other order (another collation or locale, an expression) ends the
//   key fields the models may use.
//
// Ownership: the adapter is owned by its model; the components are ordinary
// components freed by their owner.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/bde/bdedataset.h>

namespace fyndra {

// The family's class name, named when a dataset of another family is refused.
inline constexpr const char* SBDEDataSetFamily = "TBDEDataSet";

class TzvBDEDataSetModel : public TzvExtDataSetModel {
  FYNDRA_CLASS(TzvBDEDataSetModel, TzvExtDataSetModel)
 public:
  // dsDefaultIndex: a table or a query; dsMultiCaseInsIndexSearch and
  // dsIndexRange: a table; dsSQL: a query.
  bool IsSupported(TDataSetSupportedOption Option) override;
  // The dataset's default order (a table's current index, a query's ORDER
  // BY), up to the first text key whose order the adapter cannot follow; the
  // keys on the case-insensitive collation are its case-insensitive fields.
  TOwned<TIndexDef> GetIndexDef() override;
  std::string GetIndexFieldNames() override;
  std::string GetIndexName() override;
  // A table searches by key (SetKey, GotoKey or GotoNearest); a query has no
  // key search (false: the find walks to the start in the query's order).
  bool FindRecord(const Variant& KeyValues, bool Exact) override;
  // A table's range; Nulls cancel it. Nothing for other datasets.
  void SetRange(const Variant& StartValues, const Variant& EndValues) override;
  void SetQuerySQL(const std::string& Text) override;
  std::string GetQuerySQL() override;
  // Sets the query parameter of that name; a name the query lacks is skipped.
  void SetParam(const std::string& Name, const Variant& Value) override;
  int CompareKeyText(const TIndexFieldDef& Def, const std::string& A, const std::string& B) override;
  bool IsTextRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item) override;
  // On a table whose first key field is on the case-insensitive collation and
  // bounded by one case-insensitive "starts with" item: the engine tests that
  // item on the index entries after the current record and the table moves
  // to the first that agrees. The collation orders base letters before
  // accents, so such a range also holds every name that differs from a match
  // by accents only ("Mårten" in the range of "mart"); reading each of them
  // as a record was most of the cost of such a keystroke.
  bool SkipToCandidate(TzvDBIndexModel& Index) override;

 protected:
  explicit TzvBDEDataSetModel(TzvDBBaseModel* Model) : TzvExtDataSetModel(Model) {}

 private:
  // The engine's order of a key field, as GetIndexDef last read it.
  TTextKeyOrder KeyOrder(const TIndexFieldDef& Def) const;
  // When the first of Index's bounds comes from one case-insensitive "starts
  // with" item on a key field of the case-insensitive collation (ascending):
  // that item's criterion, upper case (what its record test compares with);
  // else null.
  const std::string* StartsUpperCriterion(TzvDBIndexModel& Index) const;
  std::vector<std::pair<std::string, TTextKeyOrder>> KeyOrders_;
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
