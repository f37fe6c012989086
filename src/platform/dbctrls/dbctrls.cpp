#include <fyndra/platform/dbctrls/dbctrls.h>

#include <algorithm>

#include <fyndra/platform/classes/scopes.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

std::string ExtractFieldName(const std::string& Fields, std::size_t& Pos) {
  std::size_t Start = Pos > 0 ? Pos - 1 : 0;
  if (Start > Fields.size()) Start = Fields.size();
  std::size_t End = Fields.find(';', Start);
  if (End == std::string::npos) End = Fields.size();
  Pos = End + 2;  // past the separator, 1-based
  std::size_t B = Start, E = End;
  while (B < E && static_cast<unsigned char>(Fields[B]) <= ' ') ++B;
  while (E > B && static_cast<unsigned char>(Fields[E - 1]) <= ' ') --E;
  return Fields.substr(B, E - B);
}

// ---------------------------------------------------------------------------
// TDBFieldControl

template <class TBase>
void TDBFieldControl<TBase>::AfterConstruction() {
  TBase::AfterConstruction();
  DataLink_ = CreateOwned<TFieldDataLink>();
  DataLink_->OnDataChange = TNotifyEvent(this, &TDBFieldControl::LinkDataChange);
  DataLink_->OnUpdateData = TNotifyEvent(this, &TDBFieldControl::LinkUpdateData);
  DataLink_->OnEditingChange = TNotifyEvent(this, &TDBFieldControl::LinkStateChange);
  DataLink_->OnActiveChange = TNotifyEvent(this, &TDBFieldControl::LinkStateChange);
  ReadOnlyChanged();
}

template <class TBase>
void TDBFieldControl<TBase>::BeforeDestruction() {
  DataLink_->OnDataChange = {};
  DataLink_->OnUpdateData = {};
  DataLink_->OnEditingChange = {};
  DataLink_->OnActiveChange = {};
  DataLink_->SetDataSource(nullptr);
  TBase::BeforeDestruction();
}

template <class TBase>
void TDBFieldControl<TBase>::SetDataSource(TDataSource* Value) {
  TDataSource* Old = DataLink_->GetDataSource();
  if (Value == Old) return;
  if (Old && !UsesElsewhere(Old)) this->RemoveFreeNotification(Old);
  DataLink_->SetDataSource(Value);
  if (Value) this->FreeNotification(Value);
  ReadOnlyChanged();
}

template <class TBase>
void TDBFieldControl<TBase>::SetReadOnly(bool Value) {
  DataLink_->SetReadOnly(Value);
  ReadOnlyChanged();
}

template <class TBase>
void TDBFieldControl<TBase>::DoExit() {
  DataLink_->UpdateRecord();
  TBase::DoExit();
}

template <class TBase>
void TDBFieldControl<TBase>::Notification(TComponent* Component, TOperation Operation) {
  TBase::Notification(Component, Operation);
  if (Operation == opRemove && DataLink_ && Component && Component == DataLink_->GetDataSource())
    DataLink_->SetDataSource(nullptr);
}

template <class TBase>
bool TDBFieldControl<TBase>::BeginUserChange() {
  if (!CanEditField()) return false;
  return DataLink_->Edit();
}

template <class TBase>
void TDBFieldControl<TBase>::ShowField() {
  TRestore<bool> Guard(Showing_, true);
  ReadOnlyChanged();
  DataChange();
}

template <class TBase>
void TDBFieldControl<TBase>::LinkUpdateData(TObject*) {
  UpdateData();
}

template class TDBFieldControl<TCustomMaskEdit>;
template class TDBFieldControl<TCustomListBox>;
template class TDBFieldControl<TCustomComboBox>;
template class TDBFieldControl<TCustomCheckBox>;
template class TDBFieldControl<TCustomRadioGroup>;
template class TDBFieldControl<TWinControl>;

// ---------------------------------------------------------------------------
// TDBEdit

FYNDRA_PUBLISHED(TDBEdit, P) {
  P.Property("DataSource", &TDBEdit::GetDataSource, &TDBEdit::SetDataSource);
  P.Property("DataField", &TDBEdit::GetDataField, &TDBEdit::SetDataField);
  P.Property("ReadOnly", &TDBEdit::GetReadOnly, &TDBEdit::SetReadOnly).Default(false);
  P.Property("Text", &TDBEdit::GetText, &TDBEdit::SetText).Stored(false);
}
FYNDRA_REGISTER_CLASS(TDBEdit);

void TDBEdit::DataChange() {
  TField* F = GetField();
  if (!F) {
    SetEditMask(std::string());
    SetText(std::string());
    return;
  }
  SetEditMask(F->GetEditMask());
  if (F->GetDataType() == ftString || F->GetDataType() == ftWideString) SetMaxLength(F->GetSize());
  SetText(Focused() && CanEditField() ? F->GetText() : F->GetDisplayText());
  SetModified(false);
}

void TDBEdit::UpdateData() {
  if (TField* F = GetField()) F->SetText(GetText());
}

void TDBEdit::Change() {
  if (!Showing() && GetModified() && GetDataLink()->GetEditing()) UserChanged();
  TCustomMaskEdit::Change();
}

void TDBEdit::KeyPress(char32_t& Key) {
  // The dataset goes into edit mode before the text changes (entering it
  // shows the record again).
  if ((Key >= 0x20 || Key == 8) && !BeginUserChange()) Key = 0;
  if (Key != 0) TCustomMaskEdit::KeyPress(Key);
}

void TDBEdit::PeerTextEdited(const std::string& Text, std::int32_t Caret) {
  if (!BeginUserChange()) {
    PeerChanged(TPeerChange::Text);  // the widget shows the field's text again
    PeerChanged(TPeerChange::Selection);
    return;
  }
  TCustomMaskEdit::PeerTextEdited(Text, Caret);
}

void TDBEdit::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  if (Key == VK_ESCAPE && Shift.Empty() && GetDataLink()->GetModified()) {
    GetDataLink()->Reset();
    SelectAll();
    Key = 0;
    return;
  }
  if ((Key == VK_DELETE || Key == VK_BACK) && !BeginUserChange()) Key = 0;
  if (Key != 0) TCustomMaskEdit::KeyDown(Key, Shift);
}

// ---------------------------------------------------------------------------
// TDBListBox

FYNDRA_PUBLISHED(TDBListBox, P) {
  P.Property("DataSource", &TDBListBox::GetDataSource, &TDBListBox::SetDataSource);
  P.Property("DataField", &TDBListBox::GetDataField, &TDBListBox::SetDataField);
  P.Property("ReadOnly", &TDBListBox::GetReadOnly, &TDBListBox::SetReadOnly).Default(false);
}
FYNDRA_REGISTER_CLASS(TDBListBox);

void TDBListBox::DataChange() {
  TField* F = GetField();
  SetItemIndex(F ? GetItems()->IndexOf(F->GetText()) : -1);
}

void TDBListBox::UpdateData() {
  if (TField* F = GetField()) F->SetText(SelectedText());
}

void TDBListBox::ItemsChanged(TObject* Sender) {
  TCustomListBox::ItemsChanged(Sender);
  ShowField();
}

void TDBListBox::PeerItemSelected(std::int32_t Index) {
  if (!BeginUserChange()) {
    PeerChanged(TPeerChange::Selection);  // the list shows the field's entry again
    return;
  }
  TCustomListBox::PeerItemSelected(Index);
  UserChanged();
}

// ---------------------------------------------------------------------------
// TDBComboBox

FYNDRA_PUBLISHED(TDBComboBox, P) {
  P.Property("DataSource", &TDBComboBox::GetDataSource, &TDBComboBox::SetDataSource);
  P.Property("DataField", &TDBComboBox::GetDataField, &TDBComboBox::SetDataField);
  P.Property("ReadOnly", &TDBComboBox::GetReadOnly, &TDBComboBox::SetReadOnly).Default(false);
  P.Property("Text", &TDBComboBox::GetText, &TDBComboBox::SetText).Stored(false);
}
FYNDRA_REGISTER_CLASS(TDBComboBox);

void TDBComboBox::DataChange() {
  TField* F = GetField();
  if (!F)
    SetText(std::string());
  else if (GetStyle() == csDropDownList)
    SetItemIndex(GetItems()->IndexOf(F->GetText()));
  else
    SetText(F->GetText());
}

void TDBComboBox::UpdateData() {
  if (TField* F = GetField()) F->SetText(GetText());
}

void TDBComboBox::Change() {
  if (!Showing() && GetDataLink()->GetEditing()) UserChanged();
  TCustomComboBox::Change();
}

void TDBComboBox::PeerTextEdited(const std::string& Text) {
  if (!BeginUserChange()) {
    TCustomComboBox::PeerTextEdited(GetText());  // shows the control's text again
    return;
  }
  TCustomComboBox::PeerTextEdited(Text);
}

void TDBComboBox::PeerItemSelected(std::int32_t Index) {
  if (!BeginUserChange()) Index = -1;  // refused: shown again
  TCustomComboBox::PeerItemSelected(Index);
}

void TDBComboBox::ItemsChanged(TObject* Sender) {
  TCustomComboBox::ItemsChanged(Sender);
  ShowField();
}

void TDBComboBox::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  if (Key == VK_ESCAPE && Shift.Empty() && GetDataLink()->GetModified()) {
    GetDataLink()->Reset();
    Key = 0;
    return;
  }
  TCustomComboBox::KeyDown(Key, Shift);
}

// ---------------------------------------------------------------------------
// TDBCheckBox

FYNDRA_PUBLISHED(TDBCheckBox, P) {
  P.Property("DataSource", &TDBCheckBox::GetDataSource, &TDBCheckBox::SetDataSource);
  P.Property("DataField", &TDBCheckBox::GetDataField, &TDBCheckBox::SetDataField);
  P.Property("ReadOnly", &TDBCheckBox::GetReadOnly, &TDBCheckBox::SetReadOnly).Default(false);
  P.Property("State", &TDBCheckBox::GetState, &TDBCheckBox::SetState).Stored(false);
  P.Property("ValueChecked", &TDBCheckBox::GetValueChecked, &TDBCheckBox::SetValueChecked);
  P.Property("ValueUnchecked", &TDBCheckBox::GetValueUnchecked, &TDBCheckBox::SetValueUnchecked);
}
FYNDRA_REGISTER_CLASS(TDBCheckBox);

void TDBCheckBox::SetValueChecked(const std::string& Value) {
  ValueChecked_ = Value;
  ShowField();
}

void TDBCheckBox::SetValueUnchecked(const std::string& Value) {
  ValueUnchecked_ = Value;
  ShowField();
}

bool TDBCheckBox::ValueMatch(const std::string& List, const std::string& Text) {
  std::size_t Pos = 1;
  while (Pos <= List.size())
    if (AnsiCompareText(ExtractFieldName(List, Pos), Text) == 0) return true;
  return false;
}

std::string TDBCheckBox::FirstValue(const std::string& List) {
  std::size_t Pos = 1;
  return ExtractFieldName(List, Pos);
}

TCheckBoxState TDBCheckBox::GetFieldState() const {
  TField* F = GetField();
  if (!F) return cbUnchecked;
  if (F->IsNull()) return cbGrayed;
  if (F->GetDataType() == ftBoolean) return F->GetAsBoolean() ? cbChecked : cbUnchecked;
  const std::string Text = F->GetText();
  if (ValueMatch(ValueChecked_, Text)) return cbChecked;
  if (ValueMatch(ValueUnchecked_, Text)) return cbUnchecked;
  return cbGrayed;
}

void TDBCheckBox::Toggle() {
  if (!BeginUserChange()) return;
  TCustomCheckBox::Toggle();
  UserChanged();
}

void TDBCheckBox::UpdateData() {
  TField* F = GetField();
  if (!F) return;
  if (GetState() == cbGrayed)
    F->Clear();
  else if (F->GetDataType() == ftBoolean)
    F->SetAsBoolean(GetChecked());
  else
    F->SetText(FirstValue(GetChecked() ? ValueChecked_ : ValueUnchecked_));
}

// ---------------------------------------------------------------------------
// TDBRadioGroup

FYNDRA_PUBLISHED(TDBRadioGroup, P) {
  P.Property("DataSource", &TDBRadioGroup::GetDataSource, &TDBRadioGroup::SetDataSource);
  P.Property("DataField", &TDBRadioGroup::GetDataField, &TDBRadioGroup::SetDataField);
  P.Property("ReadOnly", &TDBRadioGroup::GetReadOnly, &TDBRadioGroup::SetReadOnly).Default(false);
  P.Property("ItemIndex", &TDBRadioGroup::GetItemIndex, &TDBRadioGroup::SetItemIndex).Stored(false);
  P.Property("Values", &TDBRadioGroup::GetValues, &TDBRadioGroup::SetValues);
  P.Property("OnChange", &TDBRadioGroup::OnChange);
}
FYNDRA_REGISTER_CLASS(TDBRadioGroup);

void TDBRadioGroup::AfterConstruction() {
  TBaseControl::AfterConstruction();
  Values_ = CreateOwned<TStringList>();
  Values_->SetOnChange(TNotifyEvent(this, &TDBRadioGroup::ValuesChanged));
}

std::string TDBRadioGroup::ButtonValue(std::int32_t Index) const {
  if (Index < 0) return std::string();
  if (Index < Values_->GetCount() && !Values_->Get(Index).empty()) return Values_->Get(Index);
  if (Index < GetItems()->GetCount()) return GetItems()->Get(Index);
  return std::string();
}

void TDBRadioGroup::SetValue(const std::string& Value) {
  if (Value == Value_) return;
  Value_ = Value;
  ShowButton();
  Change();
}

void TDBRadioGroup::ShowButton() {
  TRestore<bool> Guard(InSetValue_, true);
  std::int32_t Index = -1;
  for (int I = 0; I < GetItems()->GetCount(); ++I)
    if (ButtonValue(I) == Value_) {
      Index = I;
      break;
    }
  SetItemIndex(Index);
}

void TDBRadioGroup::Click() {
  if (InSetValue_) return;
  TCustomRadioGroup::Click();
  if (GetItemIndex() >= 0) SetValue(ButtonValue(GetItemIndex()));
  if (GetDataLink()->GetEditing()) UserChanged();
}

void TDBRadioGroup::ItemsChanged(TObject* Sender) {
  TCustomRadioGroup::ItemsChanged(Sender);
  ShowButton();
}

void TDBRadioGroup::Change() {
  if (OnChange) OnChange(this);
}

void TDBRadioGroup::DataChange() {
  TField* F = GetField();
  SetValue(F ? F->GetText() : std::string());
}

void TDBRadioGroup::UpdateData() {
  if (TField* F = GetField()) F->SetText(Value_);
}

// ---------------------------------------------------------------------------
// The lookup controls

FYNDRA_IMPLEMENT_CLASS(TListSourceLink)

void TListSourceLink::ActiveChanged() { Control_->ListLinkChanged(); }
void TListSourceLink::LayoutChanged() { Control_->ListLinkChanged(); }
void TListSourceLink::DataSetChanged() {
  if (!Control_->Reading_) Control_->ListChanged();
}
void TListSourceLink::RecordChanged(TField*) {
  if (!Control_->Reading_) Control_->ListChanged();
}

FYNDRA_PUBLISHED(TDBLookupControl, P) {
  P.Property("TabStop", &TDBLookupControl::GetTabStop, &TDBLookupControl::SetTabStop).Default(true);
  P.Property("DataSource", &TDBLookupControl::GetDataSource, &TDBLookupControl::SetDataSource);
  P.Property("DataField", &TDBLookupControl::GetDataField, &TDBLookupControl::SetDataField);
  P.Property("ListSource", &TDBLookupControl::GetListSource, &TDBLookupControl::SetListSource);
  P.Property("KeyField", &TDBLookupControl::GetKeyField, &TDBLookupControl::SetKeyField);
  P.Property("ListField", &TDBLookupControl::GetListField, &TDBLookupControl::SetListField);
  P.Property("ReadOnly", &TDBLookupControl::GetReadOnly, &TDBLookupControl::SetReadOnly).Default(false);
  P.Property("OnClick", &TDBLookupControl::OnClick);
}

void TDBLookupControl::AfterConstruction() {
  TBaseControl::AfterConstruction();
  SetTabStop(true);
  ListLink_ = CreateOwned<TListSourceLink>(this);
}

void TDBLookupControl::BeforeDestruction() {
  Closing_ = true;
  ListLink_->SetDataSource(nullptr);
  TBaseControl::BeforeDestruction();
}

void TDBLookupControl::SetListSource(TDataSource* Value) {
  TDataSource* Old = ListLink_->GetDataSource();
  if (Value == Old) return;
  if (Old && Old != GetDataSource()) RemoveFreeNotification(Old);
  ListLink_->SetDataSource(Value);
  if (Value) FreeNotification(Value);
  ListLinkChanged();
}

void TDBLookupControl::SetKeyField(const std::string& Value) {
  if (Value == KeyField_) return;
  KeyField_ = Value;
  ListLinkChanged();
}

void TDBLookupControl::SetListField(const std::string& Value) {
  if (Value == ListField_) return;
  ListField_ = Value;
  ListLinkChanged();
}

void TDBLookupControl::Notification(TComponent* Component, TOperation Operation) {
  TBaseControl::Notification(Component, Operation);
  if (Operation == opRemove && ListLink_ && Component && Component == ListLink_->GetDataSource()) {
    ListLink_->SetDataSource(nullptr);
    ListLinkChanged();
  }
}

void TDBLookupControl::ListLinkChanged() {
  KeyFieldObj_ = ListFieldObj_ = nullptr;
  if (Closing_) return;
  if (ListLink_->GetActive()) {
    TDataSet* DS = ListLink_->GetDataSet();
    std::size_t Pos = 1;
    const std::string Shown = ExtractFieldName(ListField_, Pos);
    if (!KeyField_.empty() && !Shown.empty()) {
      KeyFieldObj_ = DS->FindField(KeyField_);
      ListFieldObj_ = DS->FindField(Shown);
      if (!KeyFieldObj_ || !ListFieldObj_) KeyFieldObj_ = ListFieldObj_ = nullptr;
    }
  }
  ListChanged();
}

void TDBLookupControl::ListChanged() {
  Rows_.clear();
  LastRead_ = TBookmark();
  AllRead_ = false;
  if (Closing_) return;
  FindDisplayText();
  PeerChanged(TPeerChange::Data);
  PeerChanged(TPeerChange::Text);
  PeerChanged(TPeerChange::Selection);
}

std::int32_t TDBLookupControl::FetchRows(std::int32_t Count) {
  if (!ListActive() || AllRead_ || Count <= 0) return 0;
  TDataSet* DS = ListLink_->GetDataSet();
  std::int32_t Read = 0;
  TRestore<bool> Guard(Reading_, true);
  DS->WithControlsDisabled([&] {
    const TBookmark Current = DS->GetBookmark();
    if (Rows_.empty()) {
      DS->First();
    } else {
      DS->GotoBookmark(LastRead_);
      DS->Next();
    }
    while (!DS->Eof() && Read < Count) {
      Rows_.push_back({KeyFieldObj_->GetAsVariant(), ListFieldObj_->GetDisplayText()});
      LastRead_ = DS->GetBookmark();
      ++Read;
      DS->Next();
    }
    AllRead_ = DS->Eof();
    if (!Current.IsEmpty()) DS->GotoBookmark(Current);
  });
  if (Read > 0) PeerChanged(TPeerChange::Data);
  return Read;
}

std::int32_t TDBLookupControl::KeyRow() const {
  if (VarIsNull(KeyValue_) || KeyValue_.IsEmpty()) return -1;
  for (std::size_t I = 0; I < Rows_.size(); ++I)
    if (VarSameValue(Rows_[I].Key, KeyValue_)) return static_cast<std::int32_t>(I);
  return -1;
}

void TDBLookupControl::FindDisplayText() {
  DisplayText_.clear();
  if (VarIsNull(KeyValue_) || KeyValue_.IsEmpty()) return;
  if (const std::int32_t Row = KeyRow(); Row >= 0) {
    DisplayText_ = Rows_[std::size_t(Row)].Text;
    return;
  }
  if (!ListActive()) return;
  TRestore<bool> Guard(Reading_, true);
  const Variant Text = ListLink_->GetDataSet()->Lookup(KeyField_, KeyValue_, ListFieldObj_->GetFieldName());
  DisplayText_ = VarIsNull(Text) ? std::string() : VarToStr(Text);
}

void TDBLookupControl::SetKeyValue(const Variant& Value) {
  const Variant V = Value.IsEmpty() ? Null() : Value;
  if (VarIsNull(V) ? VarIsNull(KeyValue_) : (!VarIsNull(KeyValue_) && VarSameValue(V, KeyValue_))) return;
  KeyValue_ = V;
  KeyValueChanged();
}

void TDBLookupControl::KeyValueChanged() {
  FindDisplayText();
  SetTextSilently(DisplayText_);
  PeerChanged(TPeerChange::Text);
  PeerChanged(TPeerChange::Selection);
}

void TDBLookupControl::DataChange() {
  TField* F = GetField();
  SetKeyValue(F ? F->GetAsVariant() : Null());
}

void TDBLookupControl::SelectKeyValue(const Variant& Value) {
  // A copy: putting the dataset into edit mode shows the field again, which
  // may replace the key value that Value refers to.
  const Variant Picked = Value;
  if (TField* F = GetField()) {
    if (BeginUserChange()) F->SetAsVariant(Picked);
  } else {
    SetKeyValue(Picked);
  }
  Invalidate();
  Click();
}

void TDBLookupControl::SetScreenRows(std::int32_t Value) {
  Value = std::max(Value, 1);
  if (ScreenRows_ == Value) return;
  ScreenRows_ = Value;
  PeerChanged(TPeerChange::Style);
}

void TDBLookupControl::FirstScreen() {
  const auto Have = static_cast<std::int32_t>(Rows_.size());
  if (Have < ScreenRows_) FetchRows(ScreenRows_ - Have);
}

void TDBLookupControl::PeerRowSelected(std::int32_t Row) {
  if (Row >= 0 && Row < static_cast<std::int32_t>(Rows_.size())) SelectKeyValue(Rows_[std::size_t(Row)].Key);
  // The key's row and text, whether or not the pick was taken.
  PeerChanged(TPeerChange::Text);
  PeerChanged(TPeerChange::Selection);
}

FYNDRA_PUBLISHED(TDBLookupListBox, P) {
  P.Property("RowCount", &TDBLookupListBox::GetRowCount, &TDBLookupListBox::SetRowCount).Default(7);
}
FYNDRA_REGISTER_CLASS(TDBLookupListBox);

TDBLookupListBox::TDBLookupListBox(TComponent* Owner) : TDBLookupControl(Owner) { Color_ = clWindow; }

FYNDRA_PUBLISHED(TDBLookupComboBox, P) {
  P.Property("DropDownRows", &TDBLookupComboBox::GetDropDownRows, &TDBLookupComboBox::SetDropDownRows).Default(7);
}
FYNDRA_REGISTER_CLASS(TDBLookupComboBox);

TDBLookupComboBox::TDBLookupComboBox(TComponent* Owner) : TDBLookupControl(Owner) { Color_ = clWindow; }

}  // namespace fyndra
