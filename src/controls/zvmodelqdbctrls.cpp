#include <fyndra/controls/zvmodelqdbctrls.h>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::clx {

// ---------------------------------------------------------------------------
// Sources

FYNDRA_IMPLEMENT_CLASS(TzvDBModelEditSource)

Variant TzvDBModelEditSource::GetControlValue() { return Variant(Control()->GetMaskedText()); }

void TzvDBModelEditSource::SetControlValue(TzvCompareItem* Item) { Control()->SetMaskedText(Item->GetAsString()); }

FYNDRA_IMPLEMENT_CLASS(TzvDBModelListBoxSource)

Variant TzvDBModelListBoxSource::GetControlValue() { return Variant(Control()->SelectedText()); }

void TzvDBModelListBoxSource::SetControlValue(TzvCompareItem* Item) {
  Control()->SetItemIndex(Control()->GetItems()->IndexOf(Item->GetAsString()));
}

FYNDRA_IMPLEMENT_CLASS(TzvDBModelComboBoxSource)

Variant TzvDBModelComboBoxSource::GetControlValue() { return Variant(Utf8ToUtf16(Control()->GetText())); }

void TzvDBModelComboBoxSource::SetControlValue(TzvCompareItem* Item) {
  Control()->SetText(Utf16ToUtf8(Utf8ToUtf16(Item->GetAsString())));
}

FYNDRA_IMPLEMENT_CLASS(TzvDBModelCheckBoxSource)

Variant TzvDBModelCheckBoxSource::GetControlValue() {
  TDBCheckBox* Box = Control();
  if (Box->GetState() == cbGrayed) return Null();
  TField* Field = Box->GetField();
  // Without a bound field no value is safe to write but null.
  if (!Field) return Null();
  if (Field->GetDataType() == ftBoolean) return Variant(Box->GetChecked());
  return Variant(TDBCheckBox::FirstValue(Box->GetChecked() ? Box->GetValueChecked() : Box->GetValueUnchecked()));
}

void TzvDBModelCheckBoxSource::SetControlValue(TzvCompareItem*) { Control()->SetState(Control()->GetFieldState()); }

FYNDRA_IMPLEMENT_CLASS(TzvDBModelRadioGroupSource)

Variant TzvDBModelRadioGroupSource::GetControlValue() { return Variant(Control()->GetValue()); }

void TzvDBModelRadioGroupSource::SetControlValue(TzvCompareItem* Item) { Control()->SetValue(Item->GetAsString()); }

FYNDRA_IMPLEMENT_CLASS(TzvDBModelLookupListBoxSource)

Variant TzvDBModelLookupListBoxSource::GetControlValue() { return Control()->GetKeyValue(); }

void TzvDBModelLookupListBoxSource::SetControlValue(TzvCompareItem* Item) {
  Control()->SetKeyValue(Item->GetAsVariant());
}

FYNDRA_IMPLEMENT_CLASS(TzvDBModelLookupComboBoxSource)

Variant TzvDBModelLookupComboBoxSource::GetControlValue() { return Control()->GetKeyValue(); }

void TzvDBModelLookupComboBoxSource::SetControlValue(TzvCompareItem* Item) {
  Control()->SetKeyValue(Item->GetAsVariant());
}

// ---------------------------------------------------------------------------
// Controls

#define FYNDRA_ZV_DB_PUBLISH(Cls)                                                             \
  FYNDRA_PUBLISHED(Cls, P) {                                                                  \
    P.ReadOnlyProperty("ModelSource", &Cls::GetModelSource);                                  \
    P.ReadOnlyProperty("DataSource", &Cls::GetEmptyBinding).Stored(false);                    \
    P.ReadOnlyProperty("DataField", &Cls::GetEmptyBinding).Stored(false);                     \
  }                                                                                           \
  FYNDRA_REGISTER_CLASS(Cls);

FYNDRA_ZV_DB_PUBLISH(TzvDBModelEdit)
FYNDRA_ZV_DB_PUBLISH(TzvDBModelListBox)
FYNDRA_ZV_DB_PUBLISH(TzvDBModelComboBox)
FYNDRA_ZV_DB_PUBLISH(TzvDBModelCheckBox)
FYNDRA_ZV_DB_PUBLISH(TzvDBModelRadioGroup)
FYNDRA_ZV_DB_PUBLISH(TzvDBModelLookupListBox)
FYNDRA_ZV_DB_PUBLISH(TzvDBModelLookupComboBox)
#undef FYNDRA_ZV_DB_PUBLISH

void TzvDBModelEdit::Change() {
  TDBEdit::Change();
  if (GetModelSource()) GetModelSource()->ChangeNotification();
}

void TzvDBModelListBox::Click() {
  TDBListBox::Click();
  if (!GetModelSource()) return;
  try {
    GetModelSource()->ChangeNotification();
  } catch (...) {
    SetItemIndex(-1);
    throw;
  }
}

void TzvDBModelComboBox::Change() {
  TDBComboBox::Change();
  if (GetModelSource()) GetModelSource()->ChangeNotification();
}

void TzvDBModelCheckBox::Click() {
  TDBCheckBox::Click();
  if (GetModelSource()) GetModelSource()->ChangeNotification();
}

void TzvDBModelRadioGroup::Change() {
  TDBRadioGroup::Change();
  if (GetModelSource() && GetItemIndex() >= 0) GetModelSource()->ChangeNotification();
}

}  // namespace fyndra::clx
