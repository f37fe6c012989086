// Data-aware controls: an edit, a list box, a combo box, a check box, a radio
// group, and the lookup list and combo boxes, each showing and editing one
// field of the current record of a dataset.
//
// Each control holds a field data link (DataSource, DataField). When the
// record's value changes the link tells the control, which shows the field
// (DataChange). When the user changes the control, the dataset is put into
// edit mode first (a control whose field cannot be edited refuses the change
// and shows the field again) and the link is marked modified; the value is
// written into the field when the control loses the focus or the dataset is
// about to post (UpdateData). The lookup controls write the key the user
// picks at once. Setting a control's value from code writes nothing.
//
// A control is read-only (the user cannot change it) while it has no field,
// its link is ReadOnly, the field is read-only or the dataset cannot be
// modified.
//
// The lookup controls show the ListField of the records of a second dataset
// (ListSource) and keep the KeyField value of the record the user picks as
// KeyValue. They never read the list dataset in full: rows are read a screen
// at a time as the list is shown or scrolled (FetchRows), and the text of a
// key outside the rows read is found with the dataset's Lookup.
//
// Ownership: a control owns its links; data sources are referenced, and the
// control forgets one that is freed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/controls/extctrls.h>
#include <fyndra/platform/controls/mask.h>
#include <fyndra/platform/controls/stdctrls.h>
#include <fyndra/platform/db/datasource.h>

namespace fyndra {

// The field name at Pos in a list of names separated by ';', with blanks
// around it trimmed; Pos moves past the separator. Pos is a 1-based character
// position, as the caller starts it (1) and tests it (Pos <= length: more).
std::string ExtractFieldName(const std::string& Fields, std::size_t& Pos);

// What every field-bound control shares, over the platform control TBase:
// the field data link with the control's free notification on its data
// source, the read-only rule, and the write on leaving the control.
template <class TBase>
class TDBFieldControl : public TBase {
 public:
  TDataSource* GetDataSource() const { return DataLink_->GetDataSource(); }
  void SetDataSource(TDataSource* Value);
  const std::string& GetDataField() const { return DataLink_->GetFieldName(); }
  void SetDataField(const std::string& Value) { DataLink_->SetFieldName(Value); }
  // The bound field, or null while the link is inactive or the name unknown.
  TField* GetField() const { return DataLink_->GetField(); }
  TFieldDataLink* GetDataLink() const { return DataLink_.get(); }
  // The link's ReadOnly: the control never edits its field.
  bool GetReadOnly() const { return DataLink_->GetReadOnly(); }
  void SetReadOnly(bool Value);
  // Whether the user may change the value now.
  bool CanEditField() const { return DataLink_->CanModify(); }

  void AfterConstruction() override;
  // Leaves the data source before the control comes apart.
  void BeforeDestruction() override;
  // The control's value goes into the field first; when the field refuses it
  // the exception passes on and the control keeps the focus.
  void DoExit() override;

 protected:
  explicit TDBFieldControl(TComponent* Owner) : TBase(Owner) {}
  void Notification(TComponent* Component, TOperation Operation) override;
  // Shows the field's value (or the empty value without a field).
  virtual void DataChange() = 0;
  // Writes the control's value into the field.
  virtual void UpdateData() = 0;
  // The read-only rule changed: shows it.
  virtual void ReadOnlyChanged() {}
  // Puts the dataset into edit mode for a change the user is making; false
  // (the change must be refused) when the field cannot be edited.
  bool BeginUserChange();
  // The user changed the value: the link is marked modified.
  void UserChanged() {
    if (!Showing_) DataLink_->Modified();
  }
  // True while DataChange runs: changes of the control are not the user's.
  bool Showing() const { return Showing_; }
  // Shows the field's value again (DataChange, guarded as the link does it).
  void ShowField();
  // Whether the control uses Source through another link (so that leaving
  // DataSource keeps the free notification on it).
  virtual bool UsesElsewhere(const TDataSource* /*Source*/) const { return false; }

 private:
  void LinkDataChange(TObject*) { ShowField(); }
  void LinkUpdateData(TObject*);
  void LinkStateChange(TObject*) { ReadOnlyChanged(); }
  TOwned<TFieldDataLink> DataLink_;
  bool Showing_ = false;
};

class TDBEdit : public TDBFieldControl<TCustomMaskEdit> {
  using TBaseControl = TDBFieldControl<TCustomMaskEdit>;
  FYNDRA_CLASS(TDBEdit, TBaseControl)
 public:
  using TBaseControl::GetReadOnly;
  using TBaseControl::SetReadOnly;
  // A change by the user marks the link modified.
  void Change() override;
  // Escape shows the field's value again. Keys that would change the text
  // are refused when the field cannot be edited.
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char32_t& Key) override;
  void PeerTextEdited(const std::string& Text, std::int32_t Caret) override;

 protected:
  explicit TDBEdit(TComponent* Owner) : TBaseControl(Owner) {}
  void DataChange() override;
  void UpdateData() override;
  void ReadOnlyChanged() override { TCustomEdit::SetReadOnly(!CanEditField()); }
};

class TDBListBox : public TDBFieldControl<TCustomListBox> {
  using TBaseControl = TDBFieldControl<TCustomListBox>;
  FYNDRA_CLASS(TDBListBox, TBaseControl)
 public:
  // Refused (the selection shown again) when the field cannot be edited.
  void PeerItemSelected(std::int32_t Index) override;

 protected:
  explicit TDBListBox(TComponent* Owner) : TBaseControl(Owner) {}
  // The entry equal to the field's text ignoring case, or none.
  void DataChange() override;
  // The selected entry's text; an empty text without a selection.
  void UpdateData() override;
  // New entries: the field's entry is looked for again.
  void ItemsChanged(TObject* Sender) override;
};

class TDBComboBox : public TDBFieldControl<TCustomComboBox> {
  using TBaseControl = TDBFieldControl<TCustomComboBox>;
  FYNDRA_CLASS(TDBComboBox, TBaseControl)
 public:
  using TBaseControl::GetReadOnly;
  using TBaseControl::SetReadOnly;
  // A change while the dataset is being edited marks the link modified.
  void Change() override;
  // Refused when the field cannot be edited.
  void PeerTextEdited(const std::string& Text) override;
  void PeerItemSelected(std::int32_t Index) override;
  // Escape shows the field's value again.
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;

 protected:
  explicit TDBComboBox(TComponent* Owner) : TBaseControl(Owner) {}
  // The field's text (with csDropDownList: the entry equal to it ignoring
  // case, or none).
  void DataChange() override;
  void UpdateData() override;
  void ReadOnlyChanged() override { TCustomComboBox::SetReadOnly(!CanEditField()); }
  void ItemsChanged(TObject* Sender) override;
};

class TDBCheckBox : public TDBFieldControl<TCustomCheckBox> {
  using TBaseControl = TDBFieldControl<TCustomCheckBox>;
  FYNDRA_CLASS(TDBCheckBox, TBaseControl)
 public:
  // Alternatives separated by ';' (blanks around each ignored); the first is
  // written, any of them is recognised ignoring case.
  const std::string& GetValueChecked() const { return ValueChecked_; }
  void SetValueChecked(const std::string& Value);
  const std::string& GetValueUnchecked() const { return ValueUnchecked_; }
  void SetValueUnchecked(const std::string& Value);
  // The state the bound field stands for: unchecked without a field, grayed
  // for null; a Boolean field by its value; other fields by their text,
  // matched against ValueChecked, then ValueUnchecked, grayed when neither.
  TCheckBoxState GetFieldState() const;
  // Whether Text equals one of the alternatives in List, ignoring case.
  static bool ValueMatch(const std::string& List, const std::string& Text);
  // The first alternative of List.
  static std::string FirstValue(const std::string& List);
  // Refused when the field cannot be edited.
  void Toggle() override;

 protected:
  explicit TDBCheckBox(TComponent* Owner) : TBaseControl(Owner) {}
  void DataChange() override { SetState(GetFieldState()); }
  // Grayed: null; Boolean fields: the check; others: the first alternative.
  void UpdateData() override;

 private:
  std::string ValueChecked_ = "True";
  std::string ValueUnchecked_ = "False";
};

class TDBRadioGroup : public TDBFieldControl<TCustomRadioGroup> {
  using TBaseControl = TDBFieldControl<TCustomRadioGroup>;
  FYNDRA_CLASS(TDBRadioGroup, TBaseControl)
 public:
  void AfterConstruction() override;
  // The value each button stands for; a button without one (or with an
  // empty one) stands for its caption.
  TStrings* GetValues() const { return Values_.get(); }
  void SetValues(TStrings* Value) { Values_->Assign(Value); }
  // The value of the checked button. Setting it checks the button that
  // stands for it (none when no button does) and runs Change.
  const std::string& GetValue() const { return Value_; }
  void SetValue(const std::string& Value);
  std::string ButtonValue(std::int32_t Index) const;
  // A checked button gives its value.
  void Click() override;
  virtual void Change();
  TNotifyEvent OnChange;

 protected:
  explicit TDBRadioGroup(TComponent* Owner) : TBaseControl(Owner) {}
  bool CanModify() override { return this->BeginUserChange(); }
  void ItemsChanged(TObject* Sender) override;
  void DataChange() override;
  void UpdateData() override;

 private:
  // Checks the button that stands for Value (none when no button does).
  void ShowButton();
  void ValuesChanged(TObject*) { ShowButton(); }
  TOwned<TStringList> Values_;
  std::string Value_;
  bool InSetValue_ = false;
};

class TDBLookupControl;

// The link to the list dataset of a lookup control.
class TListSourceLink : public TDataLink {
  FYNDRA_CLASS(TListSourceLink, TDataLink)
 protected:
  explicit TListSourceLink(TDBLookupControl* Control) : Control_(Control) {}
  void ActiveChanged() override;
  void DataSetChanged() override;
  void LayoutChanged() override;
  void RecordChanged(TField* Field) override;

 private:
  TDBLookupControl* Control_;
};

// One row of a lookup list: the key and the text shown.
struct TLookupRow {
  Variant Key;
  std::string Text;
};

// The lookup machinery both lookup controls share.
class TDBLookupControl : public TDBFieldControl<TWinControl> {
  using TBaseControl = TDBFieldControl<TWinControl>;
  FYNDRA_CLASS(TDBLookupControl, TBaseControl)
 public:
  void AfterConstruction() override;
  void BeforeDestruction() override;

  TDataSource* GetListSource() const { return ListLink_->GetDataSource(); }
  void SetListSource(TDataSource* Value);
  // The list dataset's fields: the key, and the one shown (the first of a
  // ';'-separated list).
  const std::string& GetKeyField() const { return KeyField_; }
  void SetKeyField(const std::string& Value);
  const std::string& GetListField() const { return ListField_; }
  void SetListField(const std::string& Value);
  // Whether the list dataset is open and has both fields.
  bool ListActive() const { return KeyFieldObj_ && ListFieldObj_; }

  // The key of the entry shown (Null: none). Setting it writes nothing into
  // the data field and runs KeyValueChanged when it differs.
  const Variant& GetKeyValue() const { return KeyValue_; }
  void SetKeyValue(const Variant& Value);
  // The list text of the key value (empty without one or when the list has
  // no record with that key).
  const std::string& GetDisplayText() const { return DisplayText_; }
  // The user picked Value: written into the data field when there is one
  // (the key follows the field), else it becomes the key value; then Click.
  virtual void SelectKeyValue(const Variant& Value);

  // The rows read so far, from the list's first record on.
  const std::vector<TLookupRow>& Rows() const { return Rows_; }
  // Whether the list's last record has been read.
  bool AllRowsRead() const { return AllRead_; }
  // Reads up to Count more rows after those read; returns how many it read.
  // The list dataset keeps its record; its other controls hear nothing.
  std::int32_t FetchRows(std::int32_t Count);
  // The row of the key value among the rows read, or -1.
  std::int32_t KeyRow() const;
  // How many rows the list shows at once: a screen.
  std::int32_t GetScreenRows() const { return ScreenRows_; }
  void SetScreenRows(std::int32_t Value);
  // Reads rows up to the first screen (nothing when that many are read).
  void FirstScreen();

  // ---- peer reports
  // The user picked the row at Row: its key is picked (SelectKeyValue).
  void PeerRowSelected(std::int32_t Row);

 protected:
  explicit TDBLookupControl(TComponent* Owner) : TBaseControl(Owner) {}
  void Notification(TComponent* Component, TOperation Operation) override;
  void DataChange() override;
  // The lookup controls write their field when the user picks a key.
  void UpdateData() override {}
  // The key value changed: the shown text follows.
  virtual void KeyValueChanged();
  // The list dataset or its fields changed: the rows read are dropped.
  virtual void ListChanged();
  bool UsesElsewhere(const TDataSource* Source) const override { return Source == GetListSource(); }

 private:
  friend class TListSourceLink;
  void ListLinkChanged();
  void FindDisplayText();
  TOwned<TListSourceLink> ListLink_;
  std::string KeyField_, ListField_;
  TField* KeyFieldObj_ = nullptr;
  TField* ListFieldObj_ = nullptr;
  Variant KeyValue_ = Null();
  std::string DisplayText_;
  std::vector<TLookupRow> Rows_;
  TBookmark LastRead_;
  std::int32_t ScreenRows_ = 7;
  bool AllRead_ = false;
  bool Reading_ = false;
  bool Closing_ = false;
};

// A list of the list dataset's rows; the row of the key value is selected.
class TDBLookupListBox : public TDBLookupControl {
  FYNDRA_CLASS(TDBLookupListBox, TDBLookupControl)
 public:
  // How many rows the box shows at once (the first screen it reads).
  std::int32_t GetRowCount() const { return GetScreenRows(); }
  void SetRowCount(std::int32_t Value) { SetScreenRows(Value); }

 protected:
  explicit TDBLookupListBox(TComponent* Owner);
};

// A text showing the key's list text, with a drop-down list of the rows.
class TDBLookupComboBox : public TDBLookupControl {
  FYNDRA_CLASS(TDBLookupComboBox, TDBLookupControl)
 public:
  // How many rows the drop-down list shows at once.
  std::int32_t GetDropDownRows() const { return GetScreenRows(); }
  void SetDropDownRows(std::int32_t Value) { SetScreenRows(Value); }
  // The list is about to drop down: its first screen is read (only that).
  void DropDown() { FirstScreen(); }

  // ---- peer reports
  // The drop-down list opens.
  void PeerDropDown() { DropDown(); }

 protected:
  explicit TDBLookupComboBox(TComponent* Owner);
};

}  // namespace fyndra
