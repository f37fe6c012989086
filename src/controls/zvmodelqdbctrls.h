// The CLX edition's data-aware bound controls: an edit, a list box, a combo
// box, a check box, a radio group and the two lookup controls, each the
// platform's data-aware control with a data-aware model source
// (zvdbmodelsource.h). The source binds the control to the model dataset
// field of its item while the model's dataset is open, and writes the
// control's value into the item on every change (uvAuto) through the
// control's change hook:
//   edit, combo box       Change (after OnChange)
//   list box, check box   Click (after OnClick); a list-box value the item
//                         refuses leaves the list without a selection
//   radio group           Change, only while a button is checked
//   lookup controls       KeyValueChanged
// On leaving a control the platform writes its value into the model dataset
// field, which writes it into the item. The lookup controls keep a picked
// key to themselves (SelectKeyValue does not write the field); with uvExit
// leaving the control hands the key to the field.
//
// The edit gives the item its MaskedText, the combo box its text as wide
// text. The check box gives null when grayed, the check for a Boolean field,
// else the first alternative of ValueChecked or ValueUnchecked; without a
// bound field it gives null, which no item refuses and which leaves the
// criterion out.
//
// Each control republishes DataSource and DataField as read-only empty texts
// that are never stored: the binding is the source's alone. Ownership as the
// bound edits (zvmodelqstdctrls.h).
#pragma once

#include <string>

#include <fyndra/controls/zvdbmodelsource.h>
#include <fyndra/platform/dbctrls/dbctrls.h>

namespace fyndra::clx {

// A data-aware source whose control is a TControlClass: the binding goes to
// the control's DataSource and DataField.
template <class TControlClass>
class TzvDBModelSourceOf : public TzvDBModelSource {
 protected:
  explicit TzvDBModelSourceOf(TComponent* Control) : TzvDBModelSource(Control) {}
  TControlClass* Control() const { return static_cast<TControlClass*>(GetControl()); }
  void SetControlDataSource(TDataSource* Source) override { Control()->SetDataSource(Source); }
  void SetControlDataField(const std::string& Name) override { Control()->SetDataField(Name); }
};

#define FYNDRA_ZV_DB_SOURCE(Source, Control)           \
  using Source##Base = TzvDBModelSourceOf<Control>;     \
  class Source : public Source##Base {                  \
    FYNDRA_CLASS(Source, Source##Base)                  \
   protected:                                           \
    explicit Source(TComponent* C) : Source##Base(C) {} \
    Variant GetControlValue() override;                 \
    void SetControlValue(TzvCompareItem* Item) override; \
  };

FYNDRA_ZV_DB_SOURCE(TzvDBModelEditSource, TDBEdit)
FYNDRA_ZV_DB_SOURCE(TzvDBModelListBoxSource, TDBListBox)
FYNDRA_ZV_DB_SOURCE(TzvDBModelComboBoxSource, TDBComboBox)
FYNDRA_ZV_DB_SOURCE(TzvDBModelCheckBoxSource, TDBCheckBox)
FYNDRA_ZV_DB_SOURCE(TzvDBModelRadioGroupSource, TDBRadioGroup)
FYNDRA_ZV_DB_SOURCE(TzvDBModelLookupListBoxSource, TDBLookupListBox)
FYNDRA_ZV_DB_SOURCE(TzvDBModelLookupComboBoxSource, TDBLookupComboBox)
#undef FYNDRA_ZV_DB_SOURCE

using TzvDBModelEditBase = TzvDBModelControl<TDBEdit, TzvDBModelEditSource>;
class TzvDBModelEdit : public TzvDBModelEditBase {
  FYNDRA_CLASS(TzvDBModelEdit, TzvDBModelEditBase)
 public:
  void Change() override;

 protected:
  explicit TzvDBModelEdit(TComponent* Owner) : TzvDBModelEditBase(Owner) {}
};

using TzvDBModelListBoxBase = TzvDBModelControl<TDBListBox, TzvDBModelListBoxSource>;
class TzvDBModelListBox : public TzvDBModelListBoxBase {
  FYNDRA_CLASS(TzvDBModelListBox, TzvDBModelListBoxBase)
 public:
  // A value the item refuses clears the selection; the error passes on.
  void Click() override;

 protected:
  explicit TzvDBModelListBox(TComponent* Owner) : TzvDBModelListBoxBase(Owner) {}
};

using TzvDBModelComboBoxBase = TzvDBModelControl<TDBComboBox, TzvDBModelComboBoxSource>;
class TzvDBModelComboBox : public TzvDBModelComboBoxBase {
  FYNDRA_CLASS(TzvDBModelComboBox, TzvDBModelComboBoxBase)
 public:
  void Change() override;

 protected:
  explicit TzvDBModelComboBox(TComponent* Owner) : TzvDBModelComboBoxBase(Owner) {}
};

using TzvDBModelCheckBoxBase = TzvDBModelControl<TDBCheckBox, TzvDBModelCheckBoxSource>;
class TzvDBModelCheckBox : public TzvDBModelCheckBoxBase {
  FYNDRA_CLASS(TzvDBModelCheckBox, TzvDBModelCheckBoxBase)
 public:
  void Click() override;

 protected:
  explicit TzvDBModelCheckBox(TComponent* Owner) : TzvDBModelCheckBoxBase(Owner) {}
};

using TzvDBModelRadioGroupBase = TzvDBModelControl<TDBRadioGroup, TzvDBModelRadioGroupSource>;
class TzvDBModelRadioGroup : public TzvDBModelRadioGroupBase {
  FYNDRA_CLASS(TzvDBModelRadioGroup, TzvDBModelRadioGroupBase)
 public:
  void Change() override;

 protected:
  explicit TzvDBModelRadioGroup(TComponent* Owner) : TzvDBModelRadioGroupBase(Owner) {}
};

// The lookup controls' shared replacement of the platform's steps.
template <class TBase, class TSource>
class TzvDBModelLookupControl : public TzvDBModelControl<TBase, TSource> {
 public:
  // The picked key becomes the key value without writing the field; the
  // key's change reaches the source.
  void SelectKeyValue(const Variant& Value) override {
    this->SetKeyValue(Value);
    this->Invalidate();
    this->Click();
  }
  // With uvExit the key goes into the field (and so the item) on leaving.
  void DoExit() override {
    if (this->GetModelSource()->GetUpdateValue() == uvExit) TBase::SelectKeyValue(this->GetKeyValue());
    TBase::DoExit();
  }

 protected:
  explicit TzvDBModelLookupControl(TComponent* Owner) : TzvDBModelControl<TBase, TSource>(Owner) {}
  void KeyValueChanged() override {
    TBase::KeyValueChanged();
    if (this->GetModelSource()) this->GetModelSource()->ChangeNotification();
  }
};

using TzvDBModelLookupListBoxBase = TzvDBModelLookupControl<TDBLookupListBox, TzvDBModelLookupListBoxSource>;
class TzvDBModelLookupListBox : public TzvDBModelLookupListBoxBase {
  FYNDRA_CLASS(TzvDBModelLookupListBox, TzvDBModelLookupListBoxBase)
 protected:
  explicit TzvDBModelLookupListBox(TComponent* Owner) : TzvDBModelLookupListBoxBase(Owner) {}
};

using TzvDBModelLookupComboBoxBase = TzvDBModelLookupControl<TDBLookupComboBox, TzvDBModelLookupComboBoxSource>;
class TzvDBModelLookupComboBox : public TzvDBModelLookupComboBoxBase {
  FYNDRA_CLASS(TzvDBModelLookupComboBox, TzvDBModelLookupComboBoxBase)
 protected:
  explicit TzvDBModelLookupComboBox(TComponent* Owner) : TzvDBModelLookupComboBoxBase(Owner) {}
};

}  // namespace fyndra::clx
