// Standard controls: labels, push buttons, single-line edits, list boxes,
// combo boxes and check boxes.
//
// The edit keeps its text (UTF-8) and, without a peer, its selection; with a
// peer the selection is the native widget's. Every change of the text, by
// code or by the user, runs Change once (which fires OnChange); a change that
// leaves the text as it was runs nothing.
#pragma once

#include <cstdint>
#include <string>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/controls/controls.h>

namespace fyndra {

class TLabel : public TGraphicControl {
  FYNDRA_CLASS(TLabel, TGraphicControl)
 public:
  TAlignment GetAlignment() const { return Alignment_; }
  void SetAlignment(TAlignment Value);
  // The control that the label's accelerator focuses; not owned.
  TWinControl* GetFocusControl() const { return FocusControl_; }
  void SetFocusControl(TWinControl* Value);

 protected:
  explicit TLabel(TComponent* Owner) : TGraphicControl(Owner) {}
  void Notification(TComponent* Component, TOperation Operation) override;

 private:
  TAlignment Alignment_ = taLeftJustify;
  TWinControl* FocusControl_ = nullptr;
};

class TButton : public TWinControl {
  FYNDRA_CLASS(TButton, TWinControl)
 public:
  // Enter anywhere on the form clicks the default button, Escape the cancel one.
  bool GetDefault() const { return Default_; }
  void SetDefault(bool Value);
  bool GetCancel() const { return Cancel_; }
  void SetCancel(bool Value) { Cancel_ = Value; }
  // Given to the form by a click (mrNone: nothing).
  std::int32_t GetModalResult() const { return ModalResult_; }
  void SetModalResult(std::int32_t Value) { ModalResult_ = Value; }
  // OnClick, then the form's ModalResult.
  void Click() override;

 protected:
  explicit TButton(TComponent* Owner);

 private:
  bool Default_ = false;
  bool Cancel_ = false;
  std::int32_t ModalResult_ = 0;
};

enum TEditCharCase : std::uint8_t { ecNormal, ecUpperCase, ecLowerCase };
FYNDRA_ENUM_NAMES(TEditCharCase, ecNormal, ecUpperCase, ecLowerCase)

class TCustomEdit : public TWinControl {
  FYNDRA_CLASS(TCustomEdit, TWinControl)
 public:
  // The text in the edit's character case; runs Change when it differs. The
  // caret goes to the end.
  void SetText(const std::string& Value) override;
  // 0: no limit. Limits what the user types, not what code sets.
  std::int32_t GetMaxLength() const { return MaxLength_; }
  void SetMaxLength(std::int32_t Value);
  bool GetReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool Value);
  // Changing the case converts the text at once.
  TEditCharCase GetCharCase() const { return CharCase_; }
  void SetCharCase(TEditCharCase Value);
  bool GetAutoSelect() const { return AutoSelect_; }
  void SetAutoSelect(bool Value) { AutoSelect_ = Value; }
  // Not 0: the text is shown masked.
  char GetPasswordChar() const { return PasswordChar_; }
  void SetPasswordChar(char Value);
  // Whether the user changed the text since code last set it.
  bool GetModified() const { return Modified_; }
  void SetModified(bool Value) { Modified_ = Value; }

  // The selection in characters (the peer reports the user's).
  std::int32_t GetSelStart() const { return SelStart_; }
  void SetSelStart(std::int32_t Value);
  std::int32_t GetSelLength() const { return SelLength_; }
  void SetSelLength(std::int32_t Value);
  std::string GetSelText() const;
  // Replaces the selection (as typing would, so the user's MaxLength holds).
  void SetSelText(const std::string& Value);
  void SelectAll();
  void Clear() { SetText(std::string()); }

  // The text changed: fires OnChange. Descendants call the inherited one first.
  virtual void Change();
  // Selects all on entering when AutoSelect.
  void DoEnter() override;

  TNotifyEvent OnChange;

  // ---- peer reports
  // The user changed the text in the native widget (Caret: where the caret
  // now is, in characters).
  virtual void PeerTextEdited(const std::string& Text, std::int32_t Caret);
  // The user moved the caret or the selection.
  void PeerSelectionChanged(std::int32_t Start, std::int32_t Length);

 protected:
  explicit TCustomEdit(TComponent* Owner);
  // Stores Value (already in the edit's form) with the caret at Caret, tells
  // the peer unless it showed it already, and runs Change.
  void ChangeText(const std::string& Value, std::int32_t Caret, bool FromUser, bool PeerHasIt);
  std::string ApplyCharCase(const std::string& Value) const;
  void KeyPress(char32_t& Key) override;

 private:
  void StoreSelection(std::int32_t Start, std::int32_t Length);
  std::int32_t MaxLength_ = 0;
  bool ReadOnly_ = false;
  TEditCharCase CharCase_ = ecNormal;
  bool AutoSelect_ = true;
  char PasswordChar_ = 0;
  bool Modified_ = false;
  std::int32_t SelStart_ = 0;
  std::int32_t SelLength_ = 0;
};

class TEdit : public TCustomEdit {
  FYNDRA_CLASS(TEdit, TCustomEdit)
 protected:
  explicit TEdit(TComponent* Owner) : TCustomEdit(Owner) {}
};

// A list of text entries of which one (ItemIndex) or none (-1) is selected.
// The user's selection (a click or a key in the native list) sets ItemIndex
// and runs Click; setting ItemIndex from code runs nothing. Changing Items
// keeps the selection when its index still exists, -1 otherwise.
class TCustomListBox : public TWinControl {
  FYNDRA_CLASS(TCustomListBox, TWinControl)
 public:
  void AfterConstruction() override;
  TStrings* GetItems() const { return Items_.get(); }
  void SetItems(TStrings* Value) { Items_->Assign(Value); }
  std::int32_t GetItemIndex() const { return ItemIndex_; }
  // An index outside the entries selects nothing (-1).
  void SetItemIndex(std::int32_t Value);
  // The selected entry's text, empty when none is selected.
  std::string SelectedText() const;

  // ---- peer reports
  // The user selected the entry at Index (-1: none).
  virtual void PeerItemSelected(std::int32_t Index);

 protected:
  explicit TCustomListBox(TComponent* Owner);
  virtual void ItemsChanged(TObject* Sender);

 private:
  TOwned<TStringList> Items_;
  std::int32_t ItemIndex_ = -1;
};

class TListBox : public TCustomListBox {
  FYNDRA_CLASS(TListBox, TCustomListBox)
 protected:
  explicit TListBox(TComponent* Owner) : TCustomListBox(Owner) {}
};

// csDropDown: an edit with a list of suggestions; csDropDownList: only the
// list's entries can be chosen.
enum TComboBoxStyle : std::uint8_t { csDropDown, csDropDownList };
FYNDRA_ENUM_NAMES(TComboBoxStyle, csDropDown, csDropDownList)

// A combo box: a text with a drop-down list of entries. Every change of the
// text, by code or by the user, runs Change once (as an edit does); picking
// an entry in the list sets the text to it, runs Change and then Click.
// ItemIndex is the entry equal to the text (exactly), or -1.
class TCustomComboBox : public TWinControl {
  FYNDRA_CLASS(TCustomComboBox, TWinControl)
 public:
  void AfterConstruction() override;
  TStrings* GetItems() const { return Items_.get(); }
  void SetItems(TStrings* Value) { Items_->Assign(Value); }
  std::int32_t GetItemIndex() const { return ItemIndex_; }
  // Selects the entry (its text becomes the text); -1 clears the text.
  void SetItemIndex(std::int32_t Value);
  void SetText(const std::string& Value) override;
  TComboBoxStyle GetStyle() const { return Style_; }
  void SetStyle(TComboBoxStyle Value);
  // How many entries the drop-down list shows at once.
  std::int32_t GetDropDownCount() const { return DropDownCount_; }
  void SetDropDownCount(std::int32_t Value);
  bool GetReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool Value);

  virtual void Change();
  TNotifyEvent OnChange;

  // ---- peer reports
  // The user typed: Text is the new text.
  virtual void PeerTextEdited(const std::string& Text);
  // The user picked the entry at Index in the list.
  virtual void PeerItemSelected(std::int32_t Index);

 protected:
  explicit TCustomComboBox(TComponent* Owner);
  // Stores Text (and the matching ItemIndex) and runs Change when it differs.
  void ChangeText(const std::string& Text, bool PeerHasIt);
  virtual void ItemsChanged(TObject* Sender);

 private:
  TOwned<TStringList> Items_;
  std::int32_t ItemIndex_ = -1;
  TComboBoxStyle Style_ = csDropDown;
  std::int32_t DropDownCount_ = 8;
  bool ReadOnly_ = false;
};

class TComboBox : public TCustomComboBox {
  FYNDRA_CLASS(TComboBox, TCustomComboBox)
 protected:
  explicit TComboBox(TComponent* Owner) : TCustomComboBox(Owner) {}
};

enum TCheckBoxState : std::uint8_t { cbUnchecked, cbChecked, cbGrayed };
FYNDRA_ENUM_NAMES(TCheckBoxState, cbUnchecked, cbChecked, cbGrayed)

// A check box with a caption. A user's click toggles the state (unchecked,
// checked, grayed when AllowGrayed, unchecked again) through Toggle and then
// runs Click; setting State or Checked from code runs nothing.
class TCustomCheckBox : public TWinControl {
  FYNDRA_CLASS(TCustomCheckBox, TWinControl)
 public:
  TCheckBoxState GetState() const { return State_; }
  void SetState(TCheckBoxState Value);
  bool GetChecked() const { return State_ == cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  bool GetAllowGrayed() const { return AllowGrayed_; }
  // Turning it off moves a grayed box to unchecked.
  void SetAllowGrayed(bool Value);
  // The user's toggle: the next state.
  virtual void Toggle();

  // ---- peer reports
  // The user clicked the box (or pressed its space key).
  virtual void PeerToggled();

 protected:
  explicit TCustomCheckBox(TComponent* Owner);

 private:
  TCheckBoxState State_ = cbUnchecked;
  bool AllowGrayed_ = false;
};

class TCheckBox : public TCustomCheckBox {
  FYNDRA_CLASS(TCheckBox, TCustomCheckBox)
 protected:
  explicit TCheckBox(TComponent* Owner) : TCustomCheckBox(Owner) {}
};

}  // namespace fyndra
