#include <fyndra/platform/controls/stdctrls.h>

#include <algorithm>

#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

// ---------------------------------------------------------------------------
// TLabel

FYNDRA_PUBLISHED(TLabel, P) {
  P.Property("Caption", &TLabel::GetCaption, &TLabel::SetCaption);
  P.Property("Alignment", &TLabel::GetAlignment, &TLabel::SetAlignment).Default(taLeftJustify);
  P.Property("FocusControl", &TLabel::GetFocusControl, &TLabel::SetFocusControl);
  P.Property("OnClick", &TLabel::OnClick);
}
FYNDRA_REGISTER_CLASS(TLabel);

void TLabel::SetAlignment(TAlignment Value) {
  if (Alignment_ == Value) return;
  Alignment_ = Value;
  PeerChanged(TPeerChange::Alignment);
}

void TLabel::SetFocusControl(TWinControl* Value) {
  if (FocusControl_ == Value) return;
  if (FocusControl_) FocusControl_->RemoveFreeNotification(this);
  FocusControl_ = Value;
  if (Value) Value->FreeNotification(this);
}

void TLabel::Notification(TComponent* Component, TOperation Operation) {
  TGraphicControl::Notification(Component, Operation);
  if (Operation == opRemove && Component == FocusControl_) FocusControl_ = nullptr;
}

// ---------------------------------------------------------------------------
// TButton

FYNDRA_PUBLISHED(TButton, P) {
  P.Property("TabStop", &TButton::GetTabStop, &TButton::SetTabStop).Default(true);
  P.Property("Caption", &TButton::GetCaption, &TButton::SetCaption);
  P.Property("Default", &TButton::GetDefault, &TButton::SetDefault).Default(false);
  P.Property("Cancel", &TButton::GetCancel, &TButton::SetCancel).Default(false);
  P.Property("ModalResult", &TButton::GetModalResult, &TButton::SetModalResult).Default(0);
  P.Property("OnClick", &TButton::OnClick);
}
FYNDRA_REGISTER_CLASS(TButton);

TButton::TButton(TComponent* Owner) : TWinControl(Owner) { SetTabStop(true); }

void TButton::SetDefault(bool Value) {
  if (Default_ == Value) return;
  Default_ = Value;
  PeerChanged(TPeerChange::Style);
}

void TButton::Click() {
  TWinControl::Click();
  if (ModalResult_ != 0)
    if (TCustomForm* Form = GetParentForm()) Form->SetModalResult(ModalResult_);
}

// ---------------------------------------------------------------------------
// TCustomEdit

FYNDRA_PUBLISHED(TCustomEdit, P) {
  P.Property("TabStop", &TCustomEdit::GetTabStop, &TCustomEdit::SetTabStop).Default(true);
  P.Property("Color", &TCustomEdit::GetColor, &TCustomEdit::SetColor).Default(clWindow);
  P.Property("AutoSelect", &TCustomEdit::GetAutoSelect, &TCustomEdit::SetAutoSelect).Default(true);
  P.Property("CharCase", &TCustomEdit::GetCharCase, &TCustomEdit::SetCharCase).Default(ecNormal);
  P.Property("MaxLength", &TCustomEdit::GetMaxLength, &TCustomEdit::SetMaxLength).Default(0);
  P.Property("PasswordChar", &TCustomEdit::GetPasswordChar, &TCustomEdit::SetPasswordChar).Default('\0');
  P.Property("ReadOnly", &TCustomEdit::GetReadOnly, &TCustomEdit::SetReadOnly).Default(false);
  P.Property("Text", &TCustomEdit::GetText, &TCustomEdit::SetText);
  P.Property("OnChange", &TCustomEdit::OnChange);
}
FYNDRA_IMPLEMENT_CLASS(TEdit)
FYNDRA_REGISTER_CLASS(TEdit);

TCustomEdit::TCustomEdit(TComponent* Owner) : TWinControl(Owner) {
  SetTabStop(true);
  Color_ = clWindow;
}

std::string TCustomEdit::ApplyCharCase(const std::string& Value) const {
  switch (CharCase_) {
    case ecUpperCase: return AnsiUpperCase(Value);
    case ecLowerCase: return AnsiLowerCase(Value);
    case ecNormal: break;
  }
  return Value;
}

void TCustomEdit::SetText(const std::string& Value) {
  const std::string T = ApplyCharCase(Value);
  ChangeText(T, static_cast<std::int32_t>(CharLength(T)), false, false);
}

void TCustomEdit::ChangeText(const std::string& Value, std::int32_t Caret, bool FromUser, bool PeerHasIt) {
  if (Value == Text_) {
    if (!PeerHasIt) StoreSelection(Caret, 0);
    return;
  }
  SetTextSilently(Value);
  Modified_ = FromUser;
  StoreSelection(Caret, 0);
  if (!PeerHasIt) {
    PeerChanged(TPeerChange::Text);
    PeerChanged(TPeerChange::Selection);
  }
  TextChanged();
  Change();
}

void TCustomEdit::StoreSelection(std::int32_t Start, std::int32_t Length) {
  const auto N = static_cast<std::int32_t>(CharLength(Text_));
  SelStart_ = std::clamp(Start, 0, N);
  SelLength_ = std::clamp(Length, 0, N - SelStart_);
}

void TCustomEdit::SetMaxLength(std::int32_t Value) {
  Value = std::max(Value, 0);
  if (MaxLength_ == Value) return;
  MaxLength_ = Value;
  PeerChanged(TPeerChange::MaxLength);
}

void TCustomEdit::SetReadOnly(bool Value) {
  if (ReadOnly_ == Value) return;
  ReadOnly_ = Value;
  PeerChanged(TPeerChange::ReadOnly);
}

void TCustomEdit::SetCharCase(TEditCharCase Value) {
  if (CharCase_ == Value) return;
  CharCase_ = Value;
  SetText(GetText());
}

void TCustomEdit::SetPasswordChar(char Value) {
  if (PasswordChar_ == Value) return;
  PasswordChar_ = Value;
  PeerChanged(TPeerChange::PasswordChar);
}

void TCustomEdit::PeerSelectionChanged(std::int32_t Start, std::int32_t Length) { StoreSelection(Start, Length); }

void TCustomEdit::SetSelStart(std::int32_t Value) {
  StoreSelection(Value, 0);
  PeerChanged(TPeerChange::Selection);
}

void TCustomEdit::SetSelLength(std::int32_t Value) {
  StoreSelection(GetSelStart(), Value);
  PeerChanged(TPeerChange::Selection);
}

void TCustomEdit::SelectAll() {
  StoreSelection(0, static_cast<std::int32_t>(CharLength(Text_)));
  PeerChanged(TPeerChange::Selection);
}

std::string TCustomEdit::GetSelText() const {
  const std::u32string T = Utf8ToUtf32(Text_);
  const auto Start = std::size_t(std::clamp(GetSelStart(), 0, static_cast<std::int32_t>(T.size())));
  return Utf32ToUtf8(std::u32string_view(T).substr(Start, std::size_t(std::max(GetSelLength(), 0))));
}

void TCustomEdit::SetSelText(const std::string& Value) {
  const std::u32string T = Utf8ToUtf32(Text_);
  const auto Start = std::size_t(std::clamp(GetSelStart(), 0, static_cast<std::int32_t>(T.size())));
  const std::size_t Len = std::min(std::size_t(std::max(GetSelLength(), 0)), T.size() - Start);
  std::u32string Insert = Utf8ToUtf32(ApplyCharCase(Value));
  if (MaxLength_ > 0) {
    const std::size_t Room = std::size_t(MaxLength_) > T.size() - Len ? std::size_t(MaxLength_) - (T.size() - Len) : 0;
    if (Insert.size() > Room) Insert.resize(Room);
  }
  std::u32string New = T.substr(0, Start) + Insert + T.substr(Start + Len);
  ChangeText(Utf32ToUtf8(New), static_cast<std::int32_t>(Start + Insert.size()), true, false);
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::DoEnter() {
  TWinControl::DoEnter();
  if (AutoSelect_) SelectAll();
}

void TCustomEdit::KeyPress(char32_t& Key) {
  TWinControl::KeyPress(Key);
  if (Key != 0 && ReadOnly_ && Key >= 0x20) Key = 0;
}

void TCustomEdit::PeerTextEdited(const std::string& Text, std::int32_t Caret) {
  const std::string T = ApplyCharCase(Text);
  ChangeText(T, Caret, true, T == Text);
}

// ---------------------------------------------------------------------------
// TCustomListBox

FYNDRA_PUBLISHED(TCustomListBox, P) {
  P.Property("TabStop", &TCustomListBox::GetTabStop, &TCustomListBox::SetTabStop).Default(true);
  P.Property("Color", &TCustomListBox::GetColor, &TCustomListBox::SetColor).Default(clWindow);
  P.Property("Items", &TCustomListBox::GetItems, &TCustomListBox::SetItems);
  P.Property("OnClick", &TCustomListBox::OnClick);
}
FYNDRA_IMPLEMENT_CLASS(TListBox)
FYNDRA_REGISTER_CLASS(TListBox);

TCustomListBox::TCustomListBox(TComponent* Owner) : TWinControl(Owner) {
  SetTabStop(true);
  Color_ = clWindow;
}

void TCustomListBox::AfterConstruction() {
  TWinControl::AfterConstruction();
  Items_ = CreateOwned<TStringList>();
  Items_->SetOnChange(TNotifyEvent(this, &TCustomListBox::ItemsChanged));
}

void TCustomListBox::SetItemIndex(std::int32_t Value) {
  if (Value < 0 || Value >= Items_->GetCount()) Value = -1;
  if (Value == ItemIndex_) return;
  ItemIndex_ = Value;
  PeerChanged(TPeerChange::Selection);
}

std::string TCustomListBox::SelectedText() const { return ItemIndex_ >= 0 ? Items_->Get(ItemIndex_) : std::string(); }

void TCustomListBox::ItemsChanged(TObject*) {
  if (ItemIndex_ >= Items_->GetCount()) ItemIndex_ = -1;
  PeerChanged(TPeerChange::Data);
  PeerChanged(TPeerChange::Selection);
}

void TCustomListBox::PeerItemSelected(std::int32_t Index) {
  if (Index < 0 || Index >= Items_->GetCount()) Index = -1;
  ItemIndex_ = Index;
  Click();
}

// ---------------------------------------------------------------------------
// TCustomComboBox

FYNDRA_PUBLISHED(TCustomComboBox, P) {
  P.Property("TabStop", &TCustomComboBox::GetTabStop, &TCustomComboBox::SetTabStop).Default(true);
  P.Property("Color", &TCustomComboBox::GetColor, &TCustomComboBox::SetColor).Default(clWindow);
  P.Property("Style", &TCustomComboBox::GetStyle, &TCustomComboBox::SetStyle).Default(csDropDown);
  P.Property("DropDownCount", &TCustomComboBox::GetDropDownCount, &TCustomComboBox::SetDropDownCount).Default(8);
  P.Property("Items", &TCustomComboBox::GetItems, &TCustomComboBox::SetItems);
  P.Property("Text", &TCustomComboBox::GetText, &TCustomComboBox::SetText);
  P.Property("OnChange", &TCustomComboBox::OnChange);
  P.Property("OnClick", &TCustomComboBox::OnClick);
}
FYNDRA_IMPLEMENT_CLASS(TComboBox)
FYNDRA_REGISTER_CLASS(TComboBox);

TCustomComboBox::TCustomComboBox(TComponent* Owner) : TWinControl(Owner) {
  SetTabStop(true);
  Color_ = clWindow;
}

void TCustomComboBox::AfterConstruction() {
  TWinControl::AfterConstruction();
  Items_ = CreateOwned<TStringList>();
  Items_->SetOnChange(TNotifyEvent(this, &TCustomComboBox::ItemsChanged));
}

namespace {
// The first entry of Items equal to Text (exact comparison), or -1.
std::int32_t ExactIndex(const TStrings& Items, const std::string& Text) {
  for (int I = 0; I < Items.GetCount(); ++I)
    if (Items.Get(I) == Text) return I;
  return -1;
}
}  // namespace

void TCustomComboBox::SetItemIndex(std::int32_t Value) {
  if (Value < 0 || Value >= Items_->GetCount()) {
    ChangeText(std::string(), false);
    return;
  }
  ChangeText(Items_->Get(Value), false);
  if (ItemIndex_ != Value) {  // an earlier entry of the same text
    ItemIndex_ = Value;
    PeerChanged(TPeerChange::Selection);
  }
}

void TCustomComboBox::SetText(const std::string& Value) { ChangeText(Value, false); }

void TCustomComboBox::ChangeText(const std::string& Text, bool PeerHasIt) {
  const std::int32_t Index = ExactIndex(*Items_, Text);
  const bool IndexChanged = Index != ItemIndex_;
  ItemIndex_ = Index;
  if (Text == Text_) {
    if (IndexChanged && !PeerHasIt) PeerChanged(TPeerChange::Selection);
    return;
  }
  SetTextSilently(Text);
  if (!PeerHasIt) {
    PeerChanged(TPeerChange::Text);
    PeerChanged(TPeerChange::Selection);
  }
  TextChanged();
  Change();
}

void TCustomComboBox::SetStyle(TComboBoxStyle Value) {
  if (Style_ == Value) return;
  Style_ = Value;
  PeerChanged(TPeerChange::Style);
}

void TCustomComboBox::SetDropDownCount(std::int32_t Value) {
  Value = std::max(Value, 1);
  if (DropDownCount_ == Value) return;
  DropDownCount_ = Value;
  PeerChanged(TPeerChange::Style);
}

void TCustomComboBox::SetReadOnly(bool Value) {
  if (ReadOnly_ == Value) return;
  ReadOnly_ = Value;
  PeerChanged(TPeerChange::ReadOnly);
}

void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TCustomComboBox::ItemsChanged(TObject*) {
  ItemIndex_ = ExactIndex(*Items_, Text_);
  PeerChanged(TPeerChange::Data);
  PeerChanged(TPeerChange::Selection);
}

void TCustomComboBox::PeerTextEdited(const std::string& Text) {
  if (ReadOnly_ || Style_ == csDropDownList) {
    // The widget may not change the text: show the control's again.
    PeerChanged(TPeerChange::Text);
    PeerChanged(TPeerChange::Selection);
    return;
  }
  ChangeText(Text, true);
}

void TCustomComboBox::PeerItemSelected(std::int32_t Index) {
  if (ReadOnly_ || Index < 0 || Index >= Items_->GetCount()) {
    PeerChanged(TPeerChange::Text);
    PeerChanged(TPeerChange::Selection);
    return;
  }
  ChangeText(Items_->Get(Index), false);
  ItemIndex_ = Index;
  Click();
}

// ---------------------------------------------------------------------------
// TCustomCheckBox

FYNDRA_PUBLISHED(TCustomCheckBox, P) {
  P.Property("TabStop", &TCustomCheckBox::GetTabStop, &TCustomCheckBox::SetTabStop).Default(true);
  P.Property("Caption", &TCustomCheckBox::GetCaption, &TCustomCheckBox::SetCaption);
  P.Property("AllowGrayed", &TCustomCheckBox::GetAllowGrayed, &TCustomCheckBox::SetAllowGrayed).Default(false);
  P.Property("State", &TCustomCheckBox::GetState, &TCustomCheckBox::SetState).Default(cbUnchecked);
  P.Property("OnClick", &TCustomCheckBox::OnClick);
}
FYNDRA_IMPLEMENT_CLASS(TCheckBox)
FYNDRA_REGISTER_CLASS(TCheckBox);

TCustomCheckBox::TCustomCheckBox(TComponent* Owner) : TWinControl(Owner) { SetTabStop(true); }

void TCustomCheckBox::SetState(TCheckBoxState Value) {
  if (State_ == Value) return;
  State_ = Value;
  PeerChanged(TPeerChange::Data);
}

void TCustomCheckBox::SetAllowGrayed(bool Value) {
  if (AllowGrayed_ == Value) return;
  AllowGrayed_ = Value;
  PeerChanged(TPeerChange::Style);
  if (!Value && State_ == cbGrayed) SetState(cbUnchecked);
}

void TCustomCheckBox::Toggle() {
  switch (State_) {
    case cbUnchecked: SetState(cbChecked); break;
    case cbChecked: SetState(AllowGrayed_ ? cbGrayed : cbUnchecked); break;
    case cbGrayed: SetState(cbUnchecked); break;
  }
}

void TCustomCheckBox::PeerToggled() {
  const TCheckBoxState Before = State_;
  Toggle();
  // The widget toggled itself; show the control's state (a refused toggle
  // puts the widget back).
  PeerChanged(TPeerChange::Data);
  if (State_ != Before) Click();
}

}  // namespace fyndra
