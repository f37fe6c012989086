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

TzvModelMaskEdit::TzvModelMaskEdit(TComponent* Owner)
    : TMaskEdit(Owner), ModelSource_(Create<TzvModelMaskEditSource>(static_cast<TComponent*>(this))) {}

void TzvModelMaskEdit::Change() {
  TMaskEdit::Change();
  if (ModelSource_) ModelSource_->ChangeNotification();
}

void TzvModelMaskEdit::DoExit() {
  TMaskEdit::DoExit();
  if (ModelSource_) ModelSource_->ExitNotification();
}

void TzvModelMaskEdit::Notification(TComponent* Component, TOperation Operation) {
  TMaskEdit::Notification(Component, Operation);
  if (ModelSource_) ModelSource_->Notification(Component, Operation);
}

}  // namespace fyndra::clx
