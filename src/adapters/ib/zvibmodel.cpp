#include <fyndra/adapters/ib/zvibmodel.h>

#include <fyndra/platform/classes/palette.h>
#include <fyndra/platform/ib/ibcustomdataset.h>
#include <fyndra/platform/ib/ibtable.h>

namespace fyndra {

FYNDRA_IMPLEMENT_CLASS(TzvIBDataSetModel)
FYNDRA_IMPLEMENT_CLASS(TzvIBFindModel)
FYNDRA_IMPLEMENT_CLASS(TzvIBFilterModel)
// Forms that name the components can be read as soon as the package is loaded.
FYNDRA_REGISTER_CLASS(TzvIBFindModel);
FYNDRA_REGISTER_CLASS(TzvIBFilterModel);

// ---------------------------------------------------------------------------
// TzvIBDataSetModel

bool TzvIBDataSetModel::IsSupported(TDataSetSupportedOption Option) {
  switch (Option) {
    case dsDefaultIndex:
      return true;
    case dsSQL: {
      // Only a dataset of the family has a statement to rewrite.
      TDataSet* DataSet = GetDataSet();
      return dynamic_cast<TIBCustomDataSet*>(DataSet) && !dynamic_cast<TIBTable*>(DataSet);
    }
    case dsMultiCaseInsIndexSearch:
    case dsIndexRange:
      break;
  }
  return TzvExtDataSetModel::IsSupported(Option);
}

TIndexDefs* TzvIBDataSetModel::GetIndexDefs() {
  auto* Table = dynamic_cast<TIBTable*>(GetDataSet());
  return Table ? Table->GetIndexDefs() : nullptr;
}

std::string TzvIBDataSetModel::GetIndexFieldNames() {
  auto* Table = dynamic_cast<TIBTable*>(GetDataSet());
  return Table ? Table->GetIndexFieldNames() : std::string();
}

std::string TzvIBDataSetModel::GetIndexName() {
  auto* Table = dynamic_cast<TIBTable*>(GetDataSet());
  return Table ? Table->GetIndexName() : std::string();
}

std::string TzvIBDataSetModel::GetQuerySQL() {
  TDataSet* DataSet = GetDataSet();
  if (auto* Query = dynamic_cast<TIBQuery*>(DataSet)) return Query->GetSQL()->GetText();
  if (auto* Select = dynamic_cast<TIBDataSet*>(DataSet)) return Select->GetSelectSQL()->GetText();
  return std::string();
}

void TzvIBDataSetModel::SetQuerySQL(const std::string& Text) {
  TDataSet* DataSet = GetDataSet();
  if (auto* Query = dynamic_cast<TIBQuery*>(DataSet)) AssignSQLText(Query->GetSQL(), Text);
  else if (auto* Select = dynamic_cast<TIBDataSet*>(DataSet)) AssignSQLText(Select->GetSelectSQL(), Text);
}

namespace {

// The parameter takes Value with Value's own type: a parameter of the same
// name kept from an earlier text may carry the type of another field.
void Assign(TParam* P, const Variant& Value) {
  P->SetDataType(ftUnknown);
  P->SetAsVariant(Value);
}

}  // namespace

void TzvIBDataSetModel::SetParam(const std::string& Name, const Variant& Value) {
  TDataSet* DataSet = GetDataSet();
  if (auto* Query = dynamic_cast<TIBQuery*>(DataSet)) {
    if (TParam* P = Query->FindParam(Name)) Assign(P, Value);
  } else if (auto* Select = dynamic_cast<TIBDataSet*>(DataSet)) {
    // No test of its own: an unknown name is the dataset's error.
    Assign(Select->GetSQLParams()->ByName(Name), Value);
  }
}

int TzvIBDataSetModel::CompareKeyText(const TIndexFieldDef& Def, const std::string& A, const std::string& B) {
  if (!dynamic_cast<TIBCustomDataSet*>(GetDataSet()) || Def.CaseInsensitive)
    return TzvExtDataSetModel::CompareKeyText(Def, A, B);
  const int C = A.compare(B);
  return C < 0 ? -1 : C > 0 ? 1 : 0;
}

bool TzvIBDataSetModel::IsTextRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item) {
  // A query's order comes from its ORDER BY, whose columns' collations the
  // models cannot see; a table knows its key fields' collations.
  auto* Table = dynamic_cast<TIBTable*>(GetDataSet());
  if (!Table || !Def.Field || !Table->OrdersTextByBytes(Def.Field->GetFieldName())) return false;
  return IsByteOrderRangeSound(Def, Item);
}

// ---------------------------------------------------------------------------
// Components

void TzvIBFindModel::CreateExtDataSetModel(TzvExtDataSetModel*& Model) { Model = Create<TzvIBDataSetModel>(this); }

void TzvIBFindModel::CheckDataSet() { zvCheckDataSetFamily<TIBCustomDataSet>(this, SIBCustomDataSetFamily); }

void TzvIBFilterModel::CreateExtDataSetModel(TzvExtDataSetModel*& Model) {
  Model = Create<TzvIBDataSetModel>(this);
}

void TzvIBFilterModel::CheckDataSet() { zvCheckDataSetFamily<TIBCustomDataSet>(this, SIBCustomDataSetFamily); }

namespace zvibmodel {

void Register() {
  RegisterComponents("Fyndra Access", {TzvIBFilterModel::StaticClass()});
  RegisterComponents("Fyndra Access", {TzvIBFindModel::StaticClass()});
}

}  // namespace zvibmodel

}  // namespace fyndra
