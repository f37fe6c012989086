#include <fyndra/platform/controls/maskutils.h>

#include <algorithm>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

TEditMask::TEditMask(std::string_view Mask) { Parse(Mask, FormatSettings()); }

TEditMask::TEditMask(std::string_view Mask, const TFormatSettings& Settings) { Parse(Mask, Settings); }

void TEditMask::Parse(std::string_view Mask, const TFormatSettings& Settings) {
  const std::u32string M = Utf8ToUtf32(Mask);
  // The mask proper ends at the first ';' that no backslash escapes.
  std::size_t End = 0;
  while (End < M.size() && M[End] != U';') End += M[End] == U'\\' ? 2 : 1;
  End = std::min(End, M.size());
  if (End < M.size()) {
    const std::size_t SaveAt = End + 1;
    std::size_t SaveEnd = SaveAt;
    while (SaveEnd < M.size() && M[SaveEnd] != U';') ++SaveEnd;
    SaveLiterals_ = !(SaveEnd > SaveAt && M[SaveAt] == static_cast<char32_t>(MaskNoSave));
    if (SaveEnd + 1 < M.size()) Blank_ = M[SaveEnd + 1];
  }
  TMaskCase Case = TMaskCase::None;
  auto Input = [&](TMaskCharKind Kind, bool Required) {
    Positions_.push_back({Kind, Required, Case, 0});
  };
  auto Literal = [&](char32_t C) { Positions_.push_back({TMaskCharKind::Literal, false, TMaskCase::None, C}); };
  for (std::size_t I = 0; I < End; ++I) {
    const char32_t C = M[I];
    switch (C) {
      case U'!': Reverse_ = true; break;
      case U'>': Case = TMaskCase::Upper; break;
      case U'<':
        // "<>" ends case conversion.
        if (I + 1 < End && M[I + 1] == U'>') {
          Case = TMaskCase::None;
          ++I;
        } else {
          Case = TMaskCase::Lower;
        }
        break;
      case U'\\':
        if (I + 1 < End) Literal(M[++I]);
        break;
      case U'L': Input(TMaskCharKind::Letter, true); break;
      case U'l': Input(TMaskCharKind::Letter, false); break;
      case U'A': Input(TMaskCharKind::LetterOrDigit, true); break;
      case U'a': Input(TMaskCharKind::LetterOrDigit, false); break;
      case U'C': Input(TMaskCharKind::Any, true); break;
      case U'c': Input(TMaskCharKind::Any, false); break;
      case U'0': Input(TMaskCharKind::Digit, true); break;
      case U'9': Input(TMaskCharKind::Digit, false); break;
      case U'#': Input(TMaskCharKind::DigitOrSign, false); break;
      case U':': Literal(static_cast<unsigned char>(Settings.TimeSeparator)); break;
      case U'/': Literal(static_cast<unsigned char>(Settings.DateSeparator)); break;
      case U'_': Literal(U' '); break;
      default: Literal(C); break;
    }
  }
}

bool TEditMask::Accepts(int Pos, char32_t C, char32_t* Out) const {
  // The blank (and a space) would read back as an empty position.
  if (Pos < 0 || Pos >= Length() || IsEmptyChar(C)) return false;
  const TMaskPosition& P = Positions_[std::size_t(Pos)];
  const bool Digit = C >= U'0' && C <= U'9';
  bool Ok = false;
  switch (P.Kind) {
    case TMaskCharKind::Literal: return false;
    case TMaskCharKind::Letter: Ok = IsLetterChar(C); break;
    case TMaskCharKind::LetterOrDigit: Ok = Digit || IsLetterChar(C); break;
    // Control characters are keys, not input.
    case TMaskCharKind::Any: Ok = C >= 0x20 && C != 0x7F; break;
    case TMaskCharKind::Digit: Ok = Digit; break;
    case TMaskCharKind::DigitOrSign: Ok = Digit || C == U'+' || C == U'-'; break;
  }
  if (!Ok) return false;
  if (Out) *Out = P.Case == TMaskCase::Upper ? UpperChar(C) : P.Case == TMaskCase::Lower ? LowerChar(C) : C;
  return true;
}

int TEditMask::NextInput(int Pos) const {
  Pos = std::max(Pos, 0);
  while (Pos < Length() && IsLiteral(Pos)) ++Pos;
  return std::min(Pos, Length());
}

int TEditMask::PriorInput(int Pos) const {
  Pos = std::min(Pos, Length()) - 1;
  while (Pos >= 0 && IsLiteral(Pos)) --Pos;
  return Pos;
}

std::u32string TEditMask::EmptyEditText() const {
  std::u32string S;
  S.reserve(Positions_.size());
  for (const TMaskPosition& P : Positions_) S.push_back(P.Kind == TMaskCharKind::Literal ? P.Literal : Blank_);
  return S;
}

std::u32string TEditMask::EditTextOf(std::u32string_view Value) const {
  if (!IsMasked()) return std::u32string(Value);
  const int N = Length();
  const int VN = static_cast<int>(Value.size());
  std::u32string Out(std::size_t(N), Blank_);
  // Forward lays the value in from the left; reverse from the right, so that a
  // short value leaves the leading optional positions empty.
  const int Step = Reverse_ ? -1 : 1;
  int I = Reverse_ ? N - 1 : 0;
  int J = Reverse_ ? VN - 1 : 0;
  for (; I >= 0 && I < N; I += Step) {
    const TMaskPosition& P = Positions_[std::size_t(I)];
    if (P.Kind == TMaskCharKind::Literal) {
      Out[std::size_t(I)] = P.Literal;
      if (SaveLiterals_ && J >= 0 && J < VN && Value[std::size_t(J)] == P.Literal) J += Step;
      continue;
    }
    if (J < 0 || J >= VN) continue;
    const char32_t C = Value[std::size_t(J)];
    J += Step;
    char32_t Shown;
    if (!IsEmptyChar(C) && Accepts(I, C, &Shown)) Out[std::size_t(I)] = Shown;
  }
  return Out;
}

std::u32string TEditMask::TextOf(std::u32string_view EditText) const {
  if (!IsMasked()) return std::u32string(EditText);
  std::u32string Out;
  Out.reserve(EditText.size());
  for (int I = 0; I < Length() && I < static_cast<int>(EditText.size()); ++I) {
    const char32_t C = EditText[std::size_t(I)];
    if (IsLiteral(I)) {
      if (SaveLiterals_) Out.push_back(C);
    } else {
      Out.push_back(C == Blank_ ? U' ' : C);
    }
  }
  return Out;
}

int TEditMask::FindMalformed(std::u32string_view EditText) const {
  if (!IsMasked()) return -1;
  const int N = std::min(Length(), static_cast<int>(EditText.size()));
  for (int I = 0; I < N; ++I) {
    const TMaskPosition& P = Positions_[std::size_t(I)];
    const char32_t C = EditText[std::size_t(I)];
    if (P.Kind == TMaskCharKind::Literal) {
      if (C != P.Literal) return I;
      continue;
    }
    if (IsEmptyChar(C)) continue;
    char32_t Shown;
    if (!Accepts(I, C, &Shown) || Shown != C) return I;
  }
  return static_cast<int>(EditText.size()) == Length() ? -1 : N;
}

int TEditMask::FindInvalid(std::u32string_view EditText) const {
  const int Malformed = FindMalformed(EditText);
  for (int I = 0; I < Length() && (Malformed < 0 || I < Malformed); ++I)
    if (Positions_[std::size_t(I)].Required && IsEmptyChar(EditText[std::size_t(I)])) return I;
  return Malformed;
}

std::string TEditMask::Describe(const TMaskPosition& P) const {
  switch (P.Kind) {
    case TMaskCharKind::Literal: return "'" + Utf32ToUtf8(std::u32string(1, P.Literal)) + "'";
    case TMaskCharKind::Letter: return "a letter";
    case TMaskCharKind::LetterOrDigit: return "a letter or digit";
    case TMaskCharKind::Any: return "a character";
    case TMaskCharKind::Digit: return "a digit";
    case TMaskCharKind::DigitOrSign: return "a digit or sign";
  }
  return {};
}

void TEditMask::Validate(std::u32string_view EditText) const {
  const int Pos = FindInvalid(EditText);
  if (Pos < 0) return;
  const std::string Where = "Invalid input value at position " + std::to_string(Pos + 1) + " of " +
                            std::to_string(Length()) + ": ";
  if (Pos >= Length()) throw EEditMaskError(Where + "the text is longer than its mask", Pos);
  if (Pos >= static_cast<int>(EditText.size())) throw EEditMaskError(Where + "the text ends early", Pos);
  const TMaskPosition& P = Positions_[std::size_t(Pos)];
  const char32_t C = EditText[std::size_t(Pos)];
  if (P.Kind != TMaskCharKind::Literal && IsEmptyChar(C)) throw EEditMaskError(Where + Describe(P) + " is required", Pos);
  throw EEditMaskError(
      Where + "'" + Utf32ToUtf8(std::u32string(1, C)) + "' is not " + Describe(P) +
          (P.Case == TMaskCase::Upper ? " in upper case" : P.Case == TMaskCase::Lower ? " in lower case" : ""),
      Pos);
}

bool TEditMask::ClearSelection(TMaskEditState& State) const {
  const int From = std::clamp(State.SelStart, 0, Length());
  const int To = std::clamp(State.SelStart + State.SelLength, From, Length());
  bool Changed = false;
  for (int I = From; I < To; ++I) {
    if (IsLiteral(I) || State.Text[std::size_t(I)] == Blank_) continue;
    State.Text[std::size_t(I)] = Blank_;
    Changed = true;
  }
  State.SelStart = From;
  State.SelLength = 0;
  return Changed || To > From;
}

bool TEditMask::InputChar(TMaskEditState& State, char32_t C) const {
  if (static_cast<int>(State.Text.size()) != Length()) State.Text = EditTextOf(TextOf(State.Text));
  TMaskEditState S = State;
  ClearSelection(S);
  int Pos = S.SelStart;
  if (Pos >= Length()) return false;
  if (IsLiteral(Pos) && Positions_[std::size_t(Pos)].Literal == C) {
    S.SelStart = Pos + 1;
    State = std::move(S);
    return true;
  }
  Pos = NextInput(Pos);
  char32_t Shown;
  if (Pos >= Length() || !Accepts(Pos, C, &Shown)) return false;
  S.Text[std::size_t(Pos)] = Shown;
  S.SelStart = NextInput(Pos + 1);
  State = std::move(S);
  return true;
}

bool TEditMask::DeleteBackward(TMaskEditState& State) const {
  if (static_cast<int>(State.Text.size()) != Length()) State.Text = EditTextOf(TextOf(State.Text));
  if (State.SelLength > 0) return ClearSelection(State);
  const int Pos = PriorInput(State.SelStart);
  if (Pos < 0) return false;
  State.Text[std::size_t(Pos)] = Blank_;
  State.SelStart = Pos;
  return true;
}

bool TEditMask::DeleteForward(TMaskEditState& State) const {
  if (static_cast<int>(State.Text.size()) != Length()) State.Text = EditTextOf(TextOf(State.Text));
  if (State.SelLength > 0) return ClearSelection(State);
  const int Pos = NextInput(State.SelStart);
  if (Pos >= Length()) return false;
  State.Text[std::size_t(Pos)] = Blank_;
  State.SelStart = Pos;
  return true;
}

bool TEditMask::Paste(TMaskEditState& State, std::u32string_view Text) const {
  if (static_cast<int>(State.Text.size()) != Length()) State.Text = EditTextOf(TextOf(State.Text));
  bool Changed = ClearSelection(State);
  for (char32_t C : Text) Changed = InputChar(State, C) || Changed;
  return Changed;
}

std::string FormatMaskText(const std::string& EditMask, const std::string& Value) {
  const TEditMask Mask(EditMask);
  if (!Mask.IsMasked()) return Value;
  std::u32string Edit = Mask.EditTextOf(Utf8ToUtf32(Value));
  for (int I = 0; I < Mask.Length(); ++I)
    if (!Mask.IsLiteral(I) && Edit[std::size_t(I)] == Mask.Blank()) Edit[std::size_t(I)] = U' ';
  return Utf32ToUtf8(Edit);
}

}  // namespace fyndra
