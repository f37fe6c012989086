#include <fyndra/platform/controls/mask.h>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

// Text may be read before or after the mask: a new mask lays the text in.
FYNDRA_PUBLISHED(TCustomMaskEdit, P) {
  P.Property("EditMask", &TCustomMaskEdit::GetEditMask, &TCustomMaskEdit::SetEditMask);
}
FYNDRA_IMPLEMENT_CLASS(TMaskEdit)
FYNDRA_REGISTER_CLASS(TMaskEdit);

void TCustomMaskEdit::SetEditMask(const std::string& Value) {
  if (EditMask_ == Value) return;
  const std::string Saved = GetText();
  TEditMask New(Value);
  EditMask_ = Value;
  Mask_ = std::move(New);
  SetText(Saved);
}

std::string TCustomMaskEdit::GetText() const {
  if (!IsMasked()) return Text_;
  return Utf32ToUtf8(Mask_.TextOf(Utf8ToUtf32(Text_)));
}

std::string TCustomMaskEdit::GetMaskedText() const {
  if (!IsMasked()) return Text_;
  const std::u32string Edit = Utf8ToUtf32(Text_);
  int First = -1, Last = -1;
  for (int I = 0; I < Mask_.Length() && I < static_cast<int>(Edit.size()); ++I) {
    if (Mask_.IsLiteral(I) || Edit[std::size_t(I)] == Mask_.Blank()) continue;
    if (First < 0) First = I;
    Last = I;
  }
  if (First < 0) return std::string();
  // The saved form of the positions kept: from the first filled one with
  // '!', up to the last filled one without.
  std::u32string Kept = Edit;
  for (std::size_t I = 0; I < Kept.size(); ++I) {
    const bool Inside = Mask_.Reverse() ? static_cast<int>(I) >= First : static_cast<int>(I) <= Last;
    if (!Inside) Kept[I] = 0;
  }
  std::u32string Out;
  const std::u32string Saved = Mask_.TextOf(Kept);
  // TextOf keeps literal positions only when the mask saves them; walk both.
  std::size_t S = 0;
  for (int I = 0; I < Mask_.Length() && S < Saved.size(); ++I) {
    if (Mask_.IsLiteral(I) && !Mask_.SaveLiterals()) continue;
    if (Kept[std::size_t(I)] != 0) Out.push_back(Saved[S]);
    ++S;
  }
  return Utf32ToUtf8(Out);
}

void TCustomMaskEdit::SetText(const std::string& Value) {
  if (!IsMasked()) return TCustomEdit::SetText(Value);
  const std::u32string Edit = Mask_.EditTextOf(Utf8ToUtf32(Value));
  ChangeText(Utf32ToUtf8(Edit), Mask_.NextInput(0), false, false);
}

void TCustomMaskEdit::SetEditText(const std::string& Value) {
  if (!IsMasked()) return TCustomEdit::SetText(Value);
  std::u32string Edit = Utf8ToUtf32(Value);
  if (Mask_.FindMalformed(Edit) >= 0) Edit = Mask_.EditTextOf(Mask_.TextOf(Edit));
  ChangeText(Utf32ToUtf8(Edit), Mask_.NextInput(0), false, false);
}

bool TCustomMaskEdit::IsEmptyText() const {
  if (!IsMasked()) return Text_.empty();
  const std::u32string Edit = Utf8ToUtf32(Text_);
  for (int I = 0; I < Mask_.Length() && I < static_cast<int>(Edit.size()); ++I)
    if (!Mask_.IsLiteral(I) && Edit[std::size_t(I)] != Mask_.Blank() && Edit[std::size_t(I)] != U' ') return false;
  return true;
}

void TCustomMaskEdit::ValidateEdit() {
  if (!IsMasked() || IsEmptyText()) return;
  const std::u32string Edit = Utf8ToUtf32(Text_);
  const int Pos = Mask_.FindInvalid(Edit);
  if (Pos < 0) return;
  SetSelStart(Pos);
  SetSelLength(1);
  Mask_.Validate(Edit);
}

void TCustomMaskEdit::FocusLeaving() {
  if (IsMasked() && GetModified()) {
    try {
      ValidateEdit();
    } catch (...) {
      if (CanFocus()) SetFocus();
      throw;
    }
  }
  TCustomEdit::FocusLeaving();
}

TMaskEditState TCustomMaskEdit::CurrentState() const {
  return {Utf8ToUtf32(Text_), GetSelStart(), GetSelLength()};
}

void TCustomMaskEdit::ApplyMaskState(const TMaskEditState& State) {
  const std::string New = Utf32ToUtf8(State.Text);
  if (New == Text_) {
    SetSelStart(State.SelStart);
    return;
  }
  ChangeText(New, State.SelStart, true, false);
}

void TCustomMaskEdit::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  TCustomEdit::KeyDown(Key, Shift);
  if (Key == 0 || !IsMasked()) return;
  const bool Ctrl = Shift.Contains(ssCtrl);
  if (Key == VK_BACK || Key == VK_DELETE) {
    if (Key == VK_DELETE && Shift.Contains(ssShift)) {
      // Cut.
      if (WidgetSet()) WidgetSet()->SetClipboardText(GetSelText());
    }
    if (!GetReadOnly()) {
      TMaskEditState S = CurrentState();
      if (Key == VK_BACK ? Mask_.DeleteBackward(S) : Mask_.DeleteForward(S)) ApplyMaskState(S);
    }
    Key = 0;
  } else if ((Ctrl && Key == 'V') || (Shift.Contains(ssShift) && Key == VK_INSERT)) {
    if (!GetReadOnly() && WidgetSet()) PasteText(WidgetSet()->GetClipboardText());
    Key = 0;
  } else if (Ctrl && Key == 'X') {
    if (WidgetSet()) WidgetSet()->SetClipboardText(GetSelText());
    if (!GetReadOnly()) {
      TMaskEditState S = CurrentState();
      if (S.SelLength > 0 && Mask_.DeleteForward(S)) ApplyMaskState(S);
    }
    Key = 0;
  }
}

void TCustomMaskEdit::KeyPress(char32_t& Key) {
  TCustomEdit::KeyPress(Key);
  if (Key == 0 || !IsMasked()) return;
  // Control characters other than backspace (Enter, Escape, Tab) go on to
  // the form; backspace was handled as a key.
  if (Key < 0x20 && Key != 8) return;
  if (Key != 8 && !GetReadOnly()) {
    TMaskEditState S = CurrentState();
    if (Mask_.InputChar(S, Key)) ApplyMaskState(S);
  }
  Key = 0;
}

void TCustomMaskEdit::PasteText(const std::string& Text) {
  if (!IsMasked()) return SetSelText(Text);
  TMaskEditState S = CurrentState();
  if (Mask_.Paste(S, Utf8ToUtf32(Text))) ApplyMaskState(S);
}

void TCustomMaskEdit::PeerTextEdited(const std::string& Text, std::int32_t Caret) {
  if (!IsMasked()) return TCustomEdit::PeerTextEdited(Text, Caret);
  std::u32string Edit = Utf8ToUtf32(ApplyCharCase(Text));
  if (Mask_.FindMalformed(Edit) >= 0) Edit = Mask_.EditTextOf(Mask_.TextOf(Edit));
  const std::string New = Utf32ToUtf8(Edit);
  ChangeText(New, Caret, true, New == Text);
}

}  // namespace fyndra
