// The masked edit: an edit whose text follows an edit mask (maskutils.h). The
// control handles the characters and the deleting keys itself, through the
// mask engine, so a toolkit's own input masks never come into play; the
// native widget only shows the edit text and the caret.
//
// Texts (see maskutils.h): EditText is what the user sees; Text is the text
// as the mask saves it; MaskedText (the CLX edition's value) is Text without
// the empty positions at its open end (the end, or the start with '!'), with
// the literals among them, so that a partly typed criterion such as "C00" of
// ">L0000000" is a prefix. Without a mask the three are the same. Leaving a modified edit
// validates it; an edit in which nothing at all is entered counts as empty
// and passes, so that a criterion can be cleared.
#pragma once

#include <string>

#include <fyndra/platform/controls/maskutils.h>
#include <fyndra/platform/controls/stdctrls.h>

namespace fyndra {

class TCustomMaskEdit : public TCustomEdit {
  FYNDRA_CLASS(TCustomMaskEdit, TCustomEdit)
 public:
  const std::string& GetEditMask() const { return EditMask_; }
  // Lays the current text into the new mask.
  void SetEditMask(const std::string& Value);
  bool IsMasked() const { return Mask_.IsMasked(); }
  const TEditMask& Mask() const { return Mask_; }

  std::string GetEditText() const { return Text_; }
  // A text that does not have the mask's shape is laid in as a saved text.
  void SetEditText(const std::string& Value);
  std::string GetText() const override;
  void SetText(const std::string& Value) override;
  std::string GetMaskedText() const;
  void SetMaskedText(const std::string& Value) { SetText(Value); }
  // Whether no input position holds a character.
  bool IsEmptyText() const;

  // Raises EEditMaskError naming the first position at fault (and puts the
  // caret there) unless the edit text is complete or empty.
  virtual void ValidateEdit();
  // Validates a modified edit first; when that raises, the focus comes back
  // and the exception passes on (DoExit does not run).
  void FocusLeaving() override;
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char32_t& Key) override;
  // Types Text as if each character were keyed (refused ones are skipped).
  void PasteText(const std::string& Text);
  // A native change of the text (a paste or drop the control did not see as
  // keys) is laid into the mask again.
  void PeerTextEdited(const std::string& Text, std::int32_t Caret) override;

 protected:
  explicit TCustomMaskEdit(TComponent* Owner) : TCustomEdit(Owner) {}

 private:
  // Shows the engine's result: text and caret, as a user's change.
  void ApplyMaskState(const TMaskEditState& State);
  TMaskEditState CurrentState() const;
  std::string EditMask_;
  TEditMask Mask_;
};

class TMaskEdit : public TCustomMaskEdit {
  FYNDRA_CLASS(TMaskEdit, TCustomMaskEdit)
 protected:
  explicit TMaskEdit(TComponent* Owner) : TCustomMaskEdit(Owner) {}
};

}  // namespace fyndra
