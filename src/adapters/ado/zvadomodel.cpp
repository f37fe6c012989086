#include <fyndra/adapters/ado/zvadomodel.h>

#include <fyndra/platform/ado/adodb.h>
#include <fyndra/platform/classes/palette.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

FYNDRA_IMPLEMENT_CLASS(TzvAdoDataSetModel)
FYNDRA_IMPLEMENT_CLASS(TzvAdoFindModel)
FYNDRA_IMPLEMENT_CLASS(TzvAdoFilterModel)
// Forms that name the components can be read as soon as the package is loaded.
FYNDRA_REGISTER_CLASS(TzvAdoFindModel);
FYNDRA_REGISTER_CLASS(TzvAdoFilterModel);

namespace {

// The dataset as a dataset of the family whose command is SQL text, or null.
// A query's command is always its SQL.
TCustomADODataSet* WithSQLText(TDataSet* DataSet) {
  auto* Ado = dynamic_cast<TCustomADODataSet*>(DataSet);
  if (!Ado) return nullptr;
  if (dynamic_cast<TADOQuery*>(Ado)) return Ado;
  const TCommandType Type = Ado->GetCommandType();
  return Type == cmdUnknown || Type == cmdText ? Ado : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// TzvAdoDataSetModel

bool TzvAdoDataSetModel::IsSupported(TDataSetSupportedOption Option) {
  switch (Option) {
    case dsDefaultIndex:
    case dsMultiCaseInsIndexSearch:
      return true;
    case dsSQL:
      return WithSQLText(GetDataSet()) != nullptr;
    case dsIndexRange:
      break;
  }
  return TzvExtDataSetModel::IsSupported(Option);
}

TOwned<TIndexDef> TzvAdoDataSetModel::GetIndexDef() {
  auto* DataSet = dynamic_cast<TCustomADODataSet*>(GetDataSet());
  if (!DataSet || !DataSet->Supports({coSeek})) return nullptr;
  return DataSet->PSGetDefaultOrder();
}

std::string TzvAdoDataSetModel::GetIndexFieldNames() {
  auto* DataSet = dynamic_cast<TCustomADODataSet*>(GetDataSet());
  return DataSet ? DataSet->GetIndexFieldNames() : std::string();
}

std::string TzvAdoDataSetModel::GetIndexName() {
  auto* DataSet = dynamic_cast<TCustomADODataSet*>(GetDataSet());
  return DataSet ? DataSet->GetIndexName() : std::string();
}

bool TzvAdoDataSetModel::FindRecord(const Variant& KeyValues, bool Exact) {
  // The family's models have refused every other dataset, and only a cursor
  // that seeks offered an index to search.
  auto* DataSet = static_cast<TCustomADODataSet*>(GetDataSet());
  return DataSet->Seek(KeyValues, Exact ? soFirstEQ : soAfterEQ);
}

std::string TzvAdoDataSetModel::GetQuerySQL() {
  TCustomADODataSet* DataSet = WithSQLText(GetDataSet());
  if (!DataSet) return std::string();
  if (auto* Query = dynamic_cast<TADOQuery*>(DataSet)) return Query->GetSQL()->GetText();
  return Utf16ToUtf8(DataSet->GetCommandText());
}

void TzvAdoDataSetModel::SetQuerySQL(const std::string& Text) {
  TCustomADODataSet* DataSet = WithSQLText(GetDataSet());
  if (!DataSet) return;
  if (auto* Query = dynamic_cast<TADOQuery*>(DataSet))
    AssignSQLText(Query->GetSQL(), Text);
  else
    DataSet->SetCommandText(Utf8ToUtf16(Text));
}

void TzvAdoDataSetModel::SetParam(const std::string& Name, const Variant& Value) {
  auto* DataSet = dynamic_cast<TCustomADODataSet*>(GetDataSet());
  if (!DataSet) return;
  TParameter* P = DataSet->GetParameters()->FindParam(Utf8ToUtf16(Name));
  if (!P) return;
  // A parameter of the same name kept from an earlier text may carry the
  // type of another field: the value binds with its own type.
  P->SetDataType(ftUnknown);
  P->SetValue(Value);
}

int TzvAdoDataSetModel::CompareKeyText(const TIndexFieldDef& Def, const std::string& A, const std::string& B) {
  if (!dynamic_cast<TCustomADODataSet*>(GetDataSet())) return TzvExtDataSetModel::CompareKeyText(Def, A, B);
  return CompareTextBytes(A, B, false);
}

bool TzvAdoDataSetModel::IsTextRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item) {
  auto* DataSet = dynamic_cast<TCustomADODataSet*>(GetDataSet());
  if (!DataSet || !Def.Field || !DataSet->OrdersTextByBytes(Def.Field->GetFieldName())) return false;
  return IsByteOrderRangeSound(Def, Item);
}

// ---------------------------------------------------------------------------
// Components

void TzvAdoFindModel::CreateExtDataSetModel(TzvExtDataSetModel*& Model) { Model = Create<TzvAdoDataSetModel>(this); }

void TzvAdoFindModel::CheckDataSet() { zvCheckDataSetFamily<TCustomADODataSet>(this, SCustomADODataSetFamily); }

void TzvAdoFilterModel::CreateExtDataSetModel(TzvExtDataSetModel*& Model) {
  Model = Create<TzvAdoDataSetModel>(this);
}

void TzvAdoFilterModel::CheckDataSet() { zvCheckDataSetFamily<TCustomADODataSet>(this, SCustomADODataSetFamily); }

namespace zvadomodel {

void Register() {
  RegisterComponents("Fyndra Access", {TzvAdoFilterModel::StaticClass()});
  RegisterComponents("Fyndra Access", {TzvAdoFindModel::StaticClass()});
}

}  // namespace zvadomodel

}  // namespace fyndra
