#include <fyndra/controls/zvmodelqmask.h>

namespace fyndra::clx {

FYNDRA_IMPLEMENT_CLASS(TzvModelMaskEditSource)

TCustomMaskEdit* TzvModelMaskEditSource::Edit() const { return static_cast<TCustomMaskEdit*>(GetControl()); }

Variant TzvModelMaskEditSource::GetControlValue() { return Variant(Edit()->GetMaskedText()); }

void TzvModelMaskEditSource::SetControlValue(TzvCompareItem* Item) { Edit()->SetMaskedText(Item->GetAsString()); }

FYNDRA_PUBLISHED(TzvModelMaskEdit, P) {
  P.ReadOnlyProperty("ModelSource", &TzvModelMaskEdit::GetModelSource);
}
FYNDRA_REGISTER_CLASS(TzvModelMaskEdit);

}  // namespace fyndra::clx
