#include <fyndra/platform/controls/buttons.h>

namespace fyndra {

FYNDRA_PUBLISHED(TSpeedButton, P) {
  P.Property("AllowAllUp", &TSpeedButton::GetAllowAllUp, &TSpeedButton::SetAllowAllUp).Default(false);
  P.Property("GroupIndex", &TSpeedButton::GetGroupIndex, &TSpeedButton::SetGroupIndex).Default(0);
  P.Property("Down", &TSpeedButton::GetDown, &TSpeedButton::SetDown).Default(false);
  P.Property("Caption", &TSpeedButton::GetCaption, &TSpeedButton::SetCaption);
  P.Property("Flat", &TSpeedButton::GetFlat, &TSpeedButton::SetFlat).Default(false);
  P.Property("OnClick", &TSpeedButton::OnClick);
}
FYNDRA_REGISTER_CLASS(TSpeedButton);

void TSpeedButton::SetFlat(bool Value) {
  if (Flat_ == Value) return;
  Flat_ = Value;
  PeerChanged(TPeerChange::Style);
}

void TSpeedButton::SetGroupIndex(std::int32_t Value) {
  if (GroupIndex_ == Value) return;
  GroupIndex_ = Value;
  if (GroupIndex_ == 0 && Down_) SetDown(false);
  else if (Down_) ReleaseGroup();
}

void TSpeedButton::SetDown(bool Value) {
  // Streaming sets Down before GroupIndex; a loading button keeps it.
  if (GroupIndex_ == 0 && !GetComponentState().Contains(csLoading)) Value = false;
  if (Down_ == Value) return;
  Down_ = Value;
  if (Down_) ReleaseGroup();
  PeerChanged(TPeerChange::Style);
}

void TSpeedButton::ReleaseGroup() {
  if (!Parent_ || GroupIndex_ == 0) return;
  for (TControl* C : Parent_->GetControls()) {
    auto* B = dynamic_cast<TSpeedButton*>(C);
    if (B && B != this && B->GroupIndex_ == GroupIndex_ && B->Down_) {
      B->Down_ = false;
      B->PeerChanged(TPeerChange::Style);
    }
  }
}

void TSpeedButton::Click() {
  if (GroupIndex_ != 0) {
    if (!Down_) SetDown(true);
    else if (AllowAllUp_) SetDown(false);
  }
  TGraphicControl::Click();
}

}  // namespace fyndra
