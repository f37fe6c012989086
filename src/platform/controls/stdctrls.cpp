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

}  // namespace fyndra
