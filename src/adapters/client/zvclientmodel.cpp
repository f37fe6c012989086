#include <fyndra/adapters/client/zvclientmodel.h>

#include <fyndra/platform/classes/palette.h>
#include <fyndra/platform/db/dbclient.h>

namespace fyndra {

FYNDRA_IMPLEMENT_CLASS(TzvClientDataSetModel)
FYNDRA_IMPLEMENT_CLASS(TzvClientFindModel)
FYNDRA_IMPLEMENT_CLASS(TzvClientFilterModel)
// Forms that name the components can be read as soon as the package is loaded.
FYNDRA_REGISTER_CLASS(TzvClientFindModel);
FYNDRA_REGISTER_CLASS(TzvClientFilterModel);

// ---------------------------------------------------------------------------
// TzvClientDataSetModel

bool TzvClientDataSetModel::IsSupported(TDataSetSupportedOption Option) {
  switch (Option) {
    case dsDefaultIndex:
      return true;
    case dsMultiCaseInsIndexSearch:
    case dsIndexRange:
      return dynamic_cast<TCustomClientDataSet*>(GetDataSet()) != nullptr;
    case dsSQL:
      break;
  }
  return TzvExtDataSetModel::IsSupported(Option);
}

TIndexDefs* TzvClientDataSetModel::GetIndexDefs() {
  auto* DataSet = dynamic_cast<TCustomClientDataSet*>(GetDataSet());
  return DataSet ? DataSet->GetIndexDefs() : nullptr;
}

std::string TzvClientDataSetModel::GetIndexFieldNames() {
  auto* DataSet = dynamic_cast<TCustomClientDataSet*>(GetDataSet());
  return DataSet ? DataSet->GetIndexFieldNames() : std::string();
}

std::string TzvClientDataSetModel::GetIndexName() {
  auto* DataSet = dynamic_cast<TCustomClientDataSet*>(GetDataSet());
  return DataSet ? DataSet->GetIndexName() : std::string();
}

bool TzvClientDataSetModel::FindRecord(const Variant& KeyValues, bool Exact) {
  // The family's models have refused every other dataset; should one come
  // here anyway, it is searched as any dataset is.
  auto* DataSet = dynamic_cast<TCustomClientDataSet*>(GetDataSet());
  if (!DataSet) return TzvExtDataSetModel::FindRecord(KeyValues, Exact);
  return FindRecordByKey(*DataSet, KeyValues, Exact);
}

void TzvClientDataSetModel::SetRange(const Variant& StartValues, const Variant& EndValues) {
  if (!IsSupported(dsIndexRange)) return;
  auto* DataSet = static_cast<TCustomClientDataSet*>(GetDataSet());
  // A range is set and removed on an open dataset only.
  if (!DataSet->GetActive()) return;
  if (!VarIsArray(StartValues)) {
    DataSet->CancelRange();
    return;
  }
  std::vector<Variant> Start, End;
  RangeValues(StartValues, EndValues, Start, End);
  DataSet->SetRange(Start, End);
}

// ---------------------------------------------------------------------------
// Components

void TzvClientFindModel::CreateExtDataSetModel(TzvExtDataSetModel*& Model) {
  Model = Create<TzvClientDataSetModel>(this);
}

void TzvClientFindModel::CheckDataSet() {
  zvCheckDataSetFamily<TCustomClientDataSet>(this, SClientDataSetFamily);
}

void TzvClientFilterModel::CreateExtDataSetModel(TzvExtDataSetModel*& Model) {
  Model = Create<TzvClientDataSetModel>(this);
}

void TzvClientFilterModel::CheckDataSet() {
  zvCheckDataSetFamily<TCustomClientDataSet>(this, SClientDataSetFamily);
}

namespace zvclientmodel {

void Register() {
  RegisterComponents("Fyndra Access", {TzvClientFilterModel::StaticClass()});
  RegisterComponents("Fyndra Access", {TzvClientFindModel::StaticClass()});
}

}  // namespace zvclientmodel

}  // namespace fyndra
