#include <fyndra/platform/db/datasource.h>

#include <algorithm>

#include <fyndra/platform/classes/typinfo.h>

namespace fyndra {

FYNDRA_PUBLISHED(TDataSource, P) {
  P.Property("DataSet", &TDataSource::GetDataSet, &TDataSource::SetDataSet);
  P.Property("Enabled", &TDataSource::GetEnabled, &TDataSource::SetEnabled).Default(true);
  P.Property("OnStateChange", &TDataSource::OnStateChange);
  P.Property("OnDataChange", &TDataSource::OnDataChange);
  P.Property("OnUpdateData", &TDataSource::OnUpdateData);
}
// Form files create data sources by class name.
FYNDRA_REGISTER_CLASS(TDataSource);
FYNDRA_IMPLEMENT_CLASS(TDataLink)
FYNDRA_IMPLEMENT_CLASS(TFieldDataLink)

// ---------------------------------------------------------------- TDataSource

TDataSource::TDataSource(TComponent* Owner) : TComponent(Owner) {}

void TDataSource::BeforeDestruction() {
  SetDataSet(nullptr);
  for (TDataLink* L : std::vector<TDataLink*>(Links_)) {
    L->DataSource_ = nullptr;
    L->UpdateState();
  }
  Links_.clear();
  TComponent::BeforeDestruction();
}

TDataSource::~TDataSource() {
  if (DataSet_) Detach();
  for (TDataLink* L : Links_) L->DataSource_ = nullptr;
}

void TDataSource::SetDataSet(TDataSet* Value) {
  if (Value == DataSet_) return;
  if (DataSet_) {
    auto& V = DataSet_->DataSources_;
    V.erase(std::remove(V.begin(), V.end(), this), V.end());
    DataSet_ = nullptr;
    UpdateState();
  }
  if (Value) {
    DataSet_ = Value;
    Value->DataSources_.push_back(this);
    UpdateState();
  }
  // A snapshot: a link may leave the data source while it hears of the switch.
  const std::vector<TDataLink*> Links = Links_;
  for (TDataLink* L : Links)
    if (std::find(Links_.begin(), Links_.end(), L) != Links_.end()) L->DataSetReplaced();
}

void TDataSource::Detach() {
  if (!DataSet_) return;
  auto& V = DataSet_->DataSources_;
  V.erase(std::remove(V.begin(), V.end(), this), V.end());
  DataSet_ = nullptr;
  UpdateState();
}

void TDataSource::SetEnabled(bool Value) {
  if (Value == Enabled_) return;
  Enabled_ = Value;
  UpdateState();
}

void TDataSource::Edit() {
  if (DataSet_ && State_ == dsBrowse) DataSet_->Edit();
}

void TDataSource::UpdateState() {
  TDataSetState New = (Enabled_ && DataSet_) ? DataSet_->State_ : dsInactive;
  if (New == dsFilter) return;
  if (New == State_) return;
  State_ = New;
  const std::vector<TDataLink*> Links(Links_);
  for (TDataLink* L : Links)
    if (std::find(Links_.begin(), Links_.end(), L) != Links_.end()) L->UpdateState();
  if (OnStateChange) OnStateChange(this);
}

void TDataSource::DataEvent(TDataEvent Event, std::intptr_t Info) {
  if (Event == deUpdateState) {
    UpdateState();
    return;
  }
  if (State_ == dsInactive) return;
  // A link may leave (or be freed) while an earlier one is told.
  const std::vector<TDataLink*> Links(Links_);
  for (TDataLink* L : Links)
    if (std::find(Links_.begin(), Links_.end(), L) != Links_.end()) L->DataEvent(Event, Info);
  switch (Event) {
    case deFieldChange: case deRecordChange: case deDataSetChange: case deDataSetScroll: case deLayoutChange:
      if (OnDataChange) OnDataChange(this);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- TDataLink

TDataLink::~TDataLink() {
  if (DataSource_) {
    auto& V = DataSource_->Links_;
    V.erase(std::remove(V.begin(), V.end(), this), V.end());
    DataSource_ = nullptr;
  }
}

void TDataLink::BeforeDestruction() {
  if (DataSource_) {
    auto& V = DataSource_->Links_;
    V.erase(std::remove(V.begin(), V.end(), this), V.end());
    DataSource_ = nullptr;
  }
  TObject::BeforeDestruction();
}

void TDataLink::SetDataSource(TDataSource* Value) {
  if (Value == DataSource_) return;
  if (DataSource_) {
    auto& V = DataSource_->Links_;
    V.erase(std::remove(V.begin(), V.end(), this), V.end());
    DataSource_ = nullptr;
    UpdateState();
  }
  if (Value) {
    DataSource_ = Value;
    Value->Links_.push_back(this);
    UpdateState();
  }
  DataSetReplaced();
}

void TDataLink::SetReadOnly(bool Value) {
  if (Value == ReadOnly_) return;
  ReadOnly_ = Value;
  UpdateState();
}

void TDataLink::UpdateState() {
  bool NewActive = DataSource_ && DataSource_->State_ != dsInactive;
  bool NewEditing = NewActive && !ReadOnly_ && DataSource_->IsEditing();
  if (NewActive != Active_) {
    Active_ = NewActive;
    Editing_ = NewEditing;
    ActiveChanged();
  } else if (NewEditing != Editing_) {
    Editing_ = NewEditing;
    EditingChanged();
  }
}

void TDataLink::DataEvent(TDataEvent Event, std::intptr_t Info) {
  switch (Event) {
    case deFieldChange:
      if (!Updating_) RecordChanged(reinterpret_cast<TField*>(Info));
      break;
    case deRecordChange:
      if (!Updating_) RecordChanged(nullptr);
      break;
    case deDataSetChange:
      DataSetChanged();
      break;
    case deDataSetScroll:
      DataSetScrolled(int(Info));
      break;
    case deLayoutChange:
    case deFieldListChange:
      LayoutChanged();
      break;
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField**>(Info));
      break;
    default:
      break;
  }
}

bool TDataLink::Edit() {
  if (!ReadOnly_ && DataSource_) DataSource_->Edit();
  return Editing_;
}

void TDataLink::UpdateRecord() {
  if (Updating_) return;
  Updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    Updating_ = false;
    throw;
  }
  Updating_ = false;
}

// ---------------------------------------------------------------- TFieldDataLink

void TFieldDataLink::SetFieldName(const std::string& Value) {
  if (Value == FieldName_) return;
  FieldName_ = Value;
  UpdateField();
}

void TFieldDataLink::UpdateField() {
  TField* New = nullptr;
  if (GetActive() && !FieldName_.empty()) New = GetDataSet()->FindField(FieldName_);
  if (New != Field_) {
    Field_ = New;
    Modified_ = false;
    if (OnDataChange) OnDataChange(this);
  }
}

bool TFieldDataLink::CanModify() const {
  return !GetReadOnly() && Field_ && !Field_->GetReadOnly() && GetDataSet() && GetDataSet()->CanModify();
}

void TFieldDataLink::Reset() {
  Modified_ = false;
  if (OnDataChange) OnDataChange(this);
}

void TFieldDataLink::ActiveChanged() {
  const bool Had = Field_ != nullptr;
  Field_ = nullptr;
  UpdateField();
  // A closing dataset takes the field away: the control shows nothing now.
  if (Had && !Field_ && OnDataChange) OnDataChange(this);
  if (OnActiveChange) OnActiveChange(this);
}

void TFieldDataLink::DataSetChanged() {
  // The record moved or was read again: its value is shown afresh.
  RecordChanged(nullptr);
}

void TFieldDataLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange(this);
}

void TFieldDataLink::LayoutChanged() {
  Field_ = nullptr;
  UpdateField();
}

void TFieldDataLink::RecordChanged(TField* Field) {
  if (Field == nullptr || Field == Field_) {
    Modified_ = false;
    if (OnDataChange) OnDataChange(this);
  }
}

void TFieldDataLink::UpdateData() {
  if (Modified_) {
    if (Field_ && OnUpdateData) OnUpdateData(this);
    Modified_ = false;
  }
}

}  // namespace fyndra
