#include <fyndra/controls/zvmodelqstdctrls.h>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::clx {

FYNDRA_IMPLEMENT_CLASS(TzvModelEditSource)

TCustomEdit* TzvModelEditSource::Edit() const { return static_cast<TCustomEdit*>(GetControl()); }

Variant TzvModelEditSource::GetControlValue() { return Variant(Utf8ToUtf16(Edit()->GetText())); }

void TzvModelEditSource::SetControlValue(TzvCompareItem* Item) {
  Edit()->SetText(Utf16ToUtf8(Utf8ToUtf16(Item->GetAsString())));
}

FYNDRA_PUBLISHED(TzvModelEdit, P) {
  P.ReadOnlyProperty("ModelSource", &TzvModelEdit::GetModelSource);
}
FYNDRA_REGISTER_CLASS(TzvModelEdit);

}  // namespace fyndra::clx
