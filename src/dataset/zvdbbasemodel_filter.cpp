// The filter model: options, the standard means (the dataset's own filter
// plus an index range), following the dataset's Filtered, leaving a dataset,
// and the generic filter component that reaches Filtered and OnFilterRecord
// by name. The SQL means is in zvdbbasemodel_sql.cpp.
#include <fyndra/dataset/zvdbbasemodel.h>

#include <exception>

#include <fyndra/core/zvmodelcalculate.h>
#include <fyndra/dataset/zvtypeinfo.h>
#include <fyndra/platform/streaming/filer.h>

namespace fyndra {

FYNDRA_PUBLISHED(TzvFilterOptions, P) {
  P.Property("IndexRange", &TzvFilterOptions::GetIndexRange, &TzvFilterOptions::SetIndexRange).Default(true);
  P.Property("SQLWhere", &TzvFilterOptions::GetSQLWhere, &TzvFilterOptions::SetSQLWhere).Default(true);
}

FYNDRA_PUBLISHED(TzvCustomDBFilterModel, P) {
  P.Property("Filtered", &TzvCustomDBFilterModel::GetFiltered, &TzvCustomDBFilterModel::SetFiltered)
      .Default(false);
  P.Property("Options", &TzvCustomDBFilterModel::GetOptions, &TzvCustomDBFilterModel::SetOptions);
  P.Property("OnFilterRecord", &TzvCustomDBFilterModel::GetOnFilterRecord,
             &TzvCustomDBFilterModel::SetOnFilterRecord);
}

FYNDRA_IMPLEMENT_CLASS(TzvDBFilterModel)
FYNDRA_REGISTER_CLASS(TzvDBFilterModel);

// ---------------------------------------------------------------------------
// TzvFilterOptions

// The index model follows IndexRange alone; whether the dataset can take a
// range is asked each time the index is chosen (TzvFilterIndexModel), so a
// model bound later to a dataset that offers ranges uses them.
void TzvFilterOptions::SetIndexRange(bool Value) {
  if (Value == IndexRange_) return;
  IndexRange_ = Value;
  auto* Model = dynamic_cast<TzvCustomDBFilterModel*>(GetModel());
  if (!Model) return;
  TzvDBIndexModel* Index = Model->GetIndexModel();
  const bool WasActive = Index && Index->GetActive();
  if (Index) Index->SetActive(Value);
  if (Index && WasActive != Index->GetActive() && Model->GetExtDataSetModel()->IsSupported(dsIndexRange))
    Model->Apply();
}

void TzvFilterOptions::SetSQLWhere(bool Value) {
  if (Value == SQLWhere_) return;
  SQLWhere_ = Value;
  auto* Model = dynamic_cast<TzvCustomDBFilterModel*>(GetModel());
  if (Model && Model->GetExtDataSetModel()->IsSupported(dsSQL)) Model->Apply();
}

void TzvFilterOptions::Assign(TPersistent* Source) {
  TzvModelOptions::Assign(Source);
  if (auto* Other = dynamic_cast<TzvFilterOptions*>(Source)) {
    SetIndexRange(Other->IndexRange_);
    SetSQLWhere(Other->SQLWhere_);
  }
}

// ---------------------------------------------------------------------------
// TzvCustomDBFilterModel

void TzvCustomDBFilterModel::AfterConstruction() {
  TzvDBBaseModel::AfterConstruction();
  SetIndexModel(Create<TzvFilterIndexModel>(this));
  GetIndexModel()->SetActive(GetOptions()->GetIndexRange());
}

void TzvCustomDBFilterModel::BeforeDestruction() {
  // A dataset that outlives the model must not keep its record test, its
  // range or its condition.
  try {
    // Leaving through the link, as when the data source moves: the dataset
    // then reopens without telling a model that is going.
    SetDataSource(nullptr);
  } catch (const std::exception&) {
    // The model is going whatever the dataset says; what could be undone was.
  }
  TzvDBBaseModel::BeforeDestruction();
}

TzvCustomDBFilterModel::~TzvCustomDBFilterModel() = default;

void TzvCustomDBFilterModel::CreateOptions(TzvModelOptions*& Options) { Options = Create<TzvFilterOptions>(this); }

void TzvCustomDBFilterModel::SetOptions(TzvFilterOptions* Value) {
  if (Value && Value != GetOptions()) GetOptions()->Assign(Value);
}

bool TzvCustomDBFilterModel::IsSQLWhere() {
  return GetOptions()->GetSQLWhere() && GetExtDataSetModel()->IsSupported(dsSQL);
}

bool TzvCustomDBFilterModel::GetDataSetFiltered() {
  TDataSet* DataSet = GetLinkedDataSet();
  return DataSet && DataSet->GetFiltered();
}

void TzvCustomDBFilterModel::SetDataSetFiltered(bool Value) {
  if (TDataSet* DataSet = GetLinkedDataSet()) DataSet->SetFiltered(Value);
}

void TzvCustomDBFilterModel::SetDataSetOnFilterRecord(const TFilterRecordEvent& Handler) {
  if (TDataSet* DataSet = GetLinkedDataSet()) DataSet->SetOnFilterRecord(Handler);
}

void TzvCustomDBFilterModel::SetFiltered(bool Value) {
  if (GetState().Contains(bsApplying)) return;
  if (!GetDataLink() || !GetDataLink()->GetDataSet()) {
    Filtered_ = Value;
    return;
  }
  if (Value == Filtered_ && (IsSQLWhere() || GetDataSetFiltered() == Filtered_)) return;
  Filtered_ = Value;
  Apply();
}

bool TzvCustomDBFilterModel::InternalApply() {
  if (IsSQLWhere())
    SetSQLFilter();
  else
    SetStandardFilter();
  return true;
}

void TzvCustomDBFilterModel::SetStandardFilter() {
  TDataSet* DataSet = GetLinkedDataSet();
  if (!DataSet) return;
  SetDataSetOnFilterRecord(nullptr);
  if (Filtered_)
    GetFilterIndexModel()->ApplyRange();
  else
    GetFilterIndexModel()->CancelRange();
  if (Filtered_) {
    if (dynamic_cast<TEmptyLeaf*>(GetCalculateModel()->GetNode())) {
      // No active criteria: only the application's own test, if any.
      if (OnFilterRecord_) SetDataSetOnFilterRecord(OnFilterRecord_);
    } else {
      SetDataSetOnFilterRecord(TFilterRecordEvent(this, &TzvCustomDBFilterModel::FilterRecord));
    }
  }
  bool Changed = false;
  if (GetDataSetFiltered() != Filtered_) {
    SetDataSetFiltered(Filtered_);
    Changed = true;
  }
  if ((Changed || Filtered_) && DataSet->GetActive()) DataSet->First();
}

void TzvCustomDBFilterModel::FilterRecord(TDataSet* DataSet, bool& Accept) {
  if (OnFilterRecord_)
    OnFilterRecord_(DataSet, Accept);
  else
    Accept = true;
  if (Accept) Accept = CheckItems();
}

void TzvCustomDBFilterModel::UpdateItem(TzvCompareItem* Item) {
  if (GetUpdateLevel() == ulHigh)
    Apply();
  else
    TzvDBBaseModel::UpdateItem(Item);
}

void TzvCustomDBFilterModel::DataSetChanged() {
  TzvDBBaseModel::DataSetChanged();
  if (!GetDataLink()->GetDataSet() || IsSQLWhere()) return;
  const bool DataSetFiltered = GetDataSetFiltered();
  if (DataSetFiltered != Filtered_) SetFiltered(DataSetFiltered);
}

void TzvCustomDBFilterModel::OldActiveChanged() {
  TDataSet* DataSet = GetLinkedDataSet();
  if (!DataSet || DataSet->ComponentState().Contains(csDestroying)) return;
  if (IsSQLWhere()) {
    if (!CurrentWhereClause_.empty()) RemoveWhereClause();
    return;
  }
  DataSet->SetOnFilterRecord(nullptr);
  DataSet->SetFiltered(false);
  GetFilterIndexModel()->CancelRange();
}

void TzvCustomDBFilterModel::DefineProperties(TFiler* Filer) {
  TzvDBBaseModel::DefineProperties(Filer);
  Filer->DefineProperty(
      "CurrentWhereClause", [this](TReader& Reader) { CurrentWhereClause_ = Reader.ReadString(); },
      [this](TWriter& Writer) { Writer.WriteString(CurrentWhereClause_); }, !CurrentWhereClause_.empty());
}

// ---------------------------------------------------------------------------
// TzvDBFilterModel

void TzvDBFilterModel::UpdateTypeInfo() {
  TDataSet* DataSet = GetDataLink() ? GetDataLink()->GetDataSet() : nullptr;
  FilteredPropInfo_ = DataSet ? GetPropInfo(DataSet, "Filtered", TTypeKinds{tkEnumeration}) : nullptr;
  OnFilterRecordPropInfo_ = DataSet ? GetPropInfo(DataSet, "OnFilterRecord", TTypeKinds{tkMethod}) : nullptr;
}

void TzvDBFilterModel::LayoutChanged() {
  UpdateTypeInfo();
  TzvCustomDBFilterModel::LayoutChanged();
}

void TzvDBFilterModel::ActiveChanged() {
  UpdateTypeInfo();
  TzvCustomDBFilterModel::ActiveChanged();
}

bool TzvDBFilterModel::GetDataSetFiltered() {
  return GetBooleanByPropInfo(GetDataLink()->GetDataSet(), FilteredPropInfo_);
}

void TzvDBFilterModel::SetDataSetFiltered(bool Value) {
  SetBooleanByPropInfo(GetDataLink()->GetDataSet(), FilteredPropInfo_, Value);
}

void TzvDBFilterModel::SetDataSetOnFilterRecord(const TFilterRecordEvent& Handler) {
  SetDataSetOnFilterRecordByPropInfo(GetDataLink()->GetDataSet(), OnFilterRecordPropInfo_, Handler);
}

void TzvDBFilterModel::SetDataSetOnFilterRecordByPropInfo(TDataSet* DataSet, PPropInfo Info,
                                                          const TFilterRecordEvent& Handler) {
  SetMethodByPropInfo(DataSet, Info, Handler.Method());
}

void TzvDBFilterModel::OldActiveChanged() {
  TDataSet* DataSet = GetLinkedDataSet();
  if (!DataSet || DataSet->ComponentState().Contains(csDestroying)) return;
  SetMethodByPropInfo(DataSet, GetPropInfo(DataSet, "OnFilterRecord", TTypeKinds{tkMethod}), TMethod());
  SetBooleanByPropInfo(DataSet, GetPropInfo(DataSet, "Filtered", TTypeKinds{tkEnumeration}), false);
}

}  // namespace fyndra
