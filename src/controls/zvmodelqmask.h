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

using TzvModelMaskEditBase = TzvModelControl<TMaskEdit, TzvModelMaskEditSource>;

class TzvModelMaskEdit : public TzvModelMaskEditBase {
  FYNDRA_CLASS(TzvModelMaskEdit, TzvModelMaskEditBase)
 protected:
  explicit TzvModelMaskEdit(TComponent* Owner) : TzvModelMaskEditBase(Owner) {}
};

}  // namespace fyndra::clx
