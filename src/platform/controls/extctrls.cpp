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

}  // namespace fyndra
