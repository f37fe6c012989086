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

TzvModelEdit::TzvModelEdit(TComponent* Owner)
    : TEdit(Owner), ModelSource_(Create<TzvModelEditSource>(static_cast<TComponent*>(this))) {}

void TzvModelEdit::Change() {
  TEdit::Change();
  if (ModelSource_) ModelSource_->ChangeNotification();
}

void TzvModelEdit::DoExit() {
  TEdit::DoExit();
  if (ModelSource_) ModelSource_->ExitNotification();
}

void TzvModelEdit::Notification(TComponent* Component, TOperation Operation) {
  TEdit::Notification(Component, Operation);
  if (ModelSource_) ModelSource_->Notification(Component, Operation);
}

}  // namespace fyndra::clx
