// The ODBC dataset family: the adapter that tells the models what its
// datasets offer, and the family's find and filter components. This is a
// package of its own (library fyndra_adomodel) over the core library and the
// family's library; Register puts its two components on the palette.
//
// A query, and any dataset of the family whose command is SQL text
// (CommandType cmdUnknown or cmdText), is filtered by rewriting that text: a
// query's SQL, another dataset's CommandText; the "DFyndra_" values go
// through its Parameters. A table (or a stored procedure, a file) carries no
// SQL and is filtered record by record; the family offers no index ranges.
// A cursor that can seek offers its order's index to the models, and finds
// position with Seek; a cursor that cannot seek offers no index, and finds
// scan record by record.
//
// The data source orders text by its column's collation. Text keys are
// compared as bytes, and a text key range is used only where the data source
// was found to order that column by its bytes (see
// TCustomADODataSet::OrdersTextByBytes): elsewhere a text key bounds nothing.
//
// Ownership: the adapter is owned by its model; the components are ordinary
// components freed by their owner.
#pragma once

#include <string>

#include <fyndra/dataset/zvdbbasemodel.h>

namespace fyndra {

// The family's class name, named when a dataset of another family is refused.
inline constexpr const char* SCustomADODataSetFamily = "TCustomADODataSet";

class TzvAdoDataSetModel : public TzvExtDataSetModel {
  FYNDRA_CLASS(TzvAdoDataSetModel, TzvExtDataSetModel)
 public:
  // dsDefaultIndex and dsMultiCaseInsIndexSearch: true; dsSQL: the dataset
  // carries SQL text (a query, or a text command); never dsIndexRange.
  bool IsSupported(TDataSetSupportedOption Option) override;
  // The dataset's order (PSGetDefaultOrder) when its cursor can seek; null
  // otherwise, so that no index is used.
  TOwned<TIndexDef> GetIndexDef() override;
  std::string GetIndexFieldNames() override;
  std::string GetIndexName() override;
  // Seek: soFirstEQ when Exact (false when no key is equal), else soAfterEQ.
  bool FindRecord(const Variant& KeyValues, bool Exact) override;
  // A query's SQL; another dataset's CommandText when it carries SQL text.
  void SetQuerySQL(const std::string& Text) override;
  std::string GetQuerySQL() override;
  // The parameter of that name in the dataset's Parameters takes the value
  // (with the value's own type); a name it lacks is skipped.
  void SetParam(const std::string& Name, const Variant& Value) override;
  // Text keys in byte order (code point order of UTF-8).
  int CompareKeyText(const TIndexFieldDef& Def, const std::string& A, const std::string& B) override;
  // Only a key column that the data source orders by bytes gives text ranges.
  bool IsTextRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item) override;

 protected:
  explicit TzvAdoDataSetModel(TzvDBBaseModel* Model) : TzvExtDataSetModel(Model) {}
};

class TzvAdoFindModel : public TzvCustomDBFindModel {
  FYNDRA_CLASS(TzvAdoFindModel, TzvCustomDBFindModel)
 public:
  // Refuses a dataset that is not a TCustomADODataSet (message 65514).
  void CheckDataSet() override;

 protected:
  explicit TzvAdoFindModel(TComponent* Owner) : TzvCustomDBFindModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override;
};

class TzvAdoFilterModel : public TzvCustomDBFilterModel {
  FYNDRA_CLASS(TzvAdoFilterModel, TzvCustomDBFilterModel)
 public:
  // Refuses a dataset that is not a TCustomADODataSet (message 65514).
  void CheckDataSet() override;

 protected:
  explicit TzvAdoFilterModel(TComponent* Owner) : TzvCustomDBFilterModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override;
};

namespace zvadomodel {

// The package's registration: TzvAdoFilterModel, then TzvAdoFindModel, on
// the palette page "Fyndra Access".
void Register();

}  // namespace zvadomodel

}  // namespace fyndra
