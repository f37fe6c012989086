// Standard controls: labels, push buttons and single-line edits.
//
// The edit keeps its text (UTF-8) and, without a peer, its selection; with a
// peer the selection is the native widget's. Every change of the text, by
// code or by the user, runs Change once (which fires OnChange); a change that
// leaves the text as it was runs nothing.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace fyndra
