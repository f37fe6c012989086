// The CLX edition's bound edit: an edit with one model source, through which
// what the user types reaches one compare item and the item's value reaches
// the edit. The edit adds no policy of its own: every change of its text
// reaches the source after the edit's own OnChange, and every loss of focus
// reaches it after OnExit. The CLX edit's text is wide text: the source
// hands the item a wide-string value.
//
// Ownership: the edit owns its source (published as ModelSource, whose
// properties the form stores under that name) and frees it after its own
// destruction.
#pragma once

#include <fyndra/controls/zvmodelsource.h>
#include <fyndra/platform/controls/stdctrls.h>

namespace fyndra::clx {

class TzvModelEditSource : public TzvModelSource {
  FYNDRA_CLASS(TzvModelEditSource, TzvModelSource)
 protected:
  explicit TzvModelEditSource(TComponent* Control) : TzvModelSource(Control) {}
  // The edit's text as a wide-string value.
  Variant GetControlValue() override;
  // The item's text form, widened, becomes the edit's text.
  void SetControlValue(TzvCompareItem* Item) override;

 private:
  TCustomEdit* Edit() const;
};

using TzvModelEditBase = TzvModelControl<TEdit, TzvModelEditSource>;

class TzvModelEdit : public TzvModelEditBase {
  FYNDRA_CLASS(TzvModelEdit, TzvModelEditBase)
 protected:
  explicit TzvModelEdit(TComponent* Owner) : TzvModelEditBase(Owner) {}
};

}  // namespace fyndra::clx
