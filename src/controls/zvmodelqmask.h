// The CLX edition's bound masked edit: a masked edit with one model source.
// The item receives the edit's MaskedText (the text as the mask saves it) and
// an item's value is shown by setting MaskedText. Wiring and ownership as the
// bound edit (zvmodelqstdctrls.h).
#pragma once

#include <fyndra/controls/zvmodelsource.h>
#include <fyndra/platform/controls/mask.h>

namespace fyndra::clx {

class TzvModelMaskEditSource : public TzvModelSource {
  FYNDRA_CLASS(TzvModelMaskEditSource, TzvModelSource)
 protected:
  explicit TzvModelMaskEditSource(TComponent* Control) : TzvModelSource(Control) {}
  // The edit's MaskedText as a string value.
  Variant GetControlValue() override;
  // The item's text form becomes the edit's MaskedText.
  void SetControlValue(TzvCompareItem* Item) override;

 private:
  TCustomMaskEdit* Edit() const;
};

class TzvModelMaskEdit : public TMaskEdit {
  FYNDRA_CLASS(TzvModelMaskEdit, TMaskEdit)
 public:
  TzvModelMaskEditSource* GetModelSource() const { return ModelSource_.get(); }
  void Change() override;
  void DoExit() override;

 protected:
  explicit TzvModelMaskEdit(TComponent* Owner);
  void Notification(TComponent* Component, TOperation Operation) override;

 private:
  TOwned<TzvModelMaskEditSource> ModelSource_;
};

}  // namespace fyndra::clx
