#include <fyndra/platform/controls/extctrls.h>

#include <algorithm>

namespace fyndra {

FYNDRA_PUBLISHED(TPanel, P) {
  P.Property("Color", &TPanel::GetColor, &TPanel::SetColor).Default(clBtnFace);
  P.Property("Alignment", &TPanel::GetAlignment, &TPanel::SetAlignment).Default(taCenter);
  P.Property("BevelInner", &TPanel::GetBevelInner, &TPanel::SetBevelInner).Default(bvNone);
  P.Property("BevelOuter", &TPanel::GetBevelOuter, &TPanel::SetBevelOuter).Default(bvRaised);
  P.Property("BorderWidth", &TPanel::GetBorderWidth, &TPanel::SetBorderWidth).Default(0);
  P.Property("Caption", &TPanel::GetCaption, &TPanel::SetCaption);
  P.Property("OnClick", &TPanel::OnClick);
}
FYNDRA_REGISTER_CLASS(TPanel);

TPanel::TPanel(TComponent* Owner) : TWinControl(Owner) { Color_ = clBtnFace; }

void TPanel::SetAlignment(TAlignment Value) {
  if (Alignment_ == Value) return;
  Alignment_ = Value;
  PeerChanged(TPeerChange::Alignment);
}

void TPanel::SetBevelOuter(TBevelCut Value) {
  if (BevelOuter_ == Value) return;
  BevelOuter_ = Value;
  PeerChanged(TPeerChange::Style);
  Realign();
}

std::int32_t TPanel::ClientMargin() const {
  return BorderWidth_ + (BevelOuter_ != bvNone ? 1 : 0) + (BevelInner_ != bvNone ? 1 : 0);
}

void TPanel::SetBevelInner(TBevelCut Value) {
  if (BevelInner_ == Value) return;
  BevelInner_ = Value;
  PeerChanged(TPeerChange::Style);
  Realign();
}

void TPanel::SetBorderWidth(std::int32_t Value) {
  Value = std::max(Value, 0);
  if (BorderWidth_ == Value) return;
  BorderWidth_ = Value;
  PeerChanged(TPeerChange::Style);
  Realign();
}

// ---------------------------------------------------------------------------
// TCustomRadioGroup

FYNDRA_PUBLISHED(TCustomRadioGroup, P) {
  P.Property("TabStop", &TCustomRadioGroup::GetTabStop, &TCustomRadioGroup::SetTabStop).Default(true);
  P.Property("Caption", &TCustomRadioGroup::GetCaption, &TCustomRadioGroup::SetCaption);
  P.Property("Columns", &TCustomRadioGroup::GetColumns, &TCustomRadioGroup::SetColumns).Default(1);
  P.Property("Items", &TCustomRadioGroup::GetItems, &TCustomRadioGroup::SetItems);
  P.Property("ItemIndex", &TCustomRadioGroup::GetItemIndex, &TCustomRadioGroup::SetItemIndex).Default(-1);
  P.Property("OnClick", &TCustomRadioGroup::OnClick);
}
FYNDRA_IMPLEMENT_CLASS(TRadioGroup)
FYNDRA_REGISTER_CLASS(TRadioGroup);

TCustomRadioGroup::TCustomRadioGroup(TComponent* Owner) : TWinControl(Owner) { SetTabStop(true); }

void TCustomRadioGroup::AfterConstruction() {
  TWinControl::AfterConstruction();
  Items_ = CreateOwned<TStringList>();
  Items_->SetOnChange(TNotifyEvent(this, &TCustomRadioGroup::ItemsChanged));
}

void TCustomRadioGroup::SetItemIndex(std::int32_t Value) {
  // While a form file is read the entries may come after the index.
  if (!GetComponentState().Contains(csLoading) && (Value < 0 || Value >= Items_->GetCount())) Value = -1;
  if (Value == ItemIndex_) return;
  ItemIndex_ = Value;
  PeerChanged(TPeerChange::Selection);
  if (Value >= 0 && !GetComponentState().Contains(csLoading)) Click();
}

void TCustomRadioGroup::Loaded() {
  TWinControl::Loaded();
  if (ItemIndex_ >= Items_->GetCount()) ItemIndex_ = -1;
}

void TCustomRadioGroup::SetColumns(std::int32_t Value) {
  Value = std::clamp(Value, 1, 16);
  if (Columns_ == Value) return;
  Columns_ = Value;
  PeerChanged(TPeerChange::Data);
}

void TCustomRadioGroup::ItemsChanged(TObject*) {
  if (ItemIndex_ >= Items_->GetCount() && !GetComponentState().Contains(csLoading)) ItemIndex_ = -1;
  PeerChanged(TPeerChange::Data);
  PeerChanged(TPeerChange::Selection);
}

void TCustomRadioGroup::PeerButtonClicked(std::int32_t Index) {
  if (Index < 0 || Index >= Items_->GetCount() || Index == ItemIndex_ || !CanModify()) {
    PeerChanged(TPeerChange::Selection);  // the widget shows the control's choice again
    return;
  }
  SetItemIndex(Index);
}

}  // namespace fyndra
