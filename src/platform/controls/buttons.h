// The speed button: a flat tool button without a window of its own. Buttons
// of one GroupIndex (above 0) act as radio buttons: pressing one releases
// the others; with AllowAllUp the pressed one can be released too.
#pragma once

#include <cstdint>

#include <fyndra/platform/controls/controls.h>

namespace fyndra {

class TSpeedButton : public TGraphicControl {
  FYNDRA_CLASS(TSpeedButton, TGraphicControl)
 public:
  bool GetFlat() const { return Flat_; }
  void SetFlat(bool Value);
  std::int32_t GetGroupIndex() const { return GroupIndex_; }
  void SetGroupIndex(std::int32_t Value);
  // Only a button of a group stays down.
  bool GetDown() const { return Down_; }
  void SetDown(bool Value);
  bool GetAllowAllUp() const { return AllowAllUp_; }
  void SetAllowAllUp(bool Value) { AllowAllUp_ = Value; }

  // Toggles a grouped button (as the rules above allow), then OnClick.
  void Click() override;

 protected:
  explicit TSpeedButton(TComponent* Owner) : TGraphicControl(Owner) {}

 private:
  // Releases the other down buttons of the group.
  void ReleaseGroup();
  bool Flat_ = false;
  std::int32_t GroupIndex_ = 0;
  bool Down_ = false;
  bool AllowAllUp_ = false;
};

}  // namespace fyndra
