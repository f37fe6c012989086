// The edit mask engine shared by every masked edit, whatever toolkit shows it.
//
// A mask has up to three fields separated by ';': the mask proper, whether the
// literals are saved with the text ('0': no; anything else, or no field: yes),
// and the character that shows an empty input position (default '_').
// Characters of the mask proper:
//   L  a letter, required          l  a letter, optional
//   A  a letter or digit, required a  a letter or digit, optional
//   C  any character, required     c  any character, optional
//   0  a digit, required           9  a digit, optional
//   #  a digit or a sign (+ -), optional
//   :  the locale's time separator /  the locale's date separator
//   _  a blank (a literal space)   \  the next character is a literal
//   >  upper-case what follows     <  lower-case what follows (<> ends both)
//   !  a short value is laid in from the right, so that optional positions
//      left out show as leading blanks instead of trailing ones
// Any other character is a literal.
//
// Three forms of one value:
//  - the edit text: what the user sees, one character per position, literals
//    in place and the blank character at every empty input position;
//  - the text: the edit text as the mask saves it, blanks as spaces, literals
//    kept only when the mask saves them;
//  - FormatMaskText: a value laid into the mask with its literals, empty
//    positions as spaces.
// Texts are handled as sequences of characters (code points), so a position
// holds one character whatever its UTF-8 length. The engine has no state but
// the parsed mask; the editing operations work on a TMaskEditState given to them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {

inline constexpr char MaskFieldSeparator = ';';
inline constexpr char MaskNoSave = '0';
inline constexpr char32_t DefaultBlank = U'_';

// A text that does not satisfy its mask. Position is the 0-based character
// position in the edit text; the message names it 1-based.
class EEditMaskError : public Exception {
 public:
  EEditMaskError(std::string Message, int Position) : Exception(std::move(Message)), Position_(Position) {}
  int Position() const { return Position_; }

 private:
  int Position_;
};

enum class TMaskCharKind : std::uint8_t { Literal, Letter, LetterOrDigit, Any, Digit, DigitOrSign };
enum class TMaskCase : std::uint8_t { None, Upper, Lower };

struct TMaskPosition {
  TMaskCharKind Kind = TMaskCharKind::Literal;
  bool Required = false;
  TMaskCase Case = TMaskCase::None;
  char32_t Literal = 0;  // Literal positions only
};

// An edit text with its selection (in characters), as the editing operations
// of TEditMask change it. SelLength 0 is a plain caret.
struct TMaskEditState {
  std::u32string Text;
  int SelStart = 0;
  int SelLength = 0;
};

class TEditMask {
 public:
  // No mask: every text is accepted as it is.
  TEditMask() = default;
  // Parses Mask; ':' and '/' take the separators of Settings as they are now.
  explicit TEditMask(std::string_view Mask);
  TEditMask(std::string_view Mask, const TFormatSettings& Settings);

  bool IsMasked() const { return !Positions_.empty(); }
  int Length() const { return static_cast<int>(Positions_.size()); }
  const std::vector<TMaskPosition>& Positions() const { return Positions_; }
  bool SaveLiterals() const { return SaveLiterals_; }
  char32_t Blank() const { return Blank_; }
  bool Reverse() const { return Reverse_; }
  bool IsLiteral(int Pos) const { return Positions_[std::size_t(Pos)].Kind == TMaskCharKind::Literal; }

  // Whether C may stand at input position Pos; Out receives C after the
  // position's case conversion. False for literal positions.
  bool Accepts(int Pos, char32_t C, char32_t* Out = nullptr) const;
  // The first input position at or after Pos (Length() when none), and the
  // last one before Pos (-1 when none).
  int NextInput(int Pos) const;
  int PriorInput(int Pos) const;

  // The edit text with every input position empty.
  std::u32string EmptyEditText() const;
  // The edit text that shows Value, a text in saved form (with the literals
  // when the mask saves them; a missing literal is supplied). A space or the
  // blank character leaves its position empty; a character the position does
  // not accept leaves it empty too; characters past the mask are dropped.
  std::u32string EditTextOf(std::u32string_view Value) const;
  // The saved form of EditText.
  std::u32string TextOf(std::u32string_view EditText) const;

  // -1 when EditText has the mask's shape (its length, the literals in place,
  // every input position empty or holding an accepted character in the
  // position's case); otherwise the first position that does not.
  int FindMalformed(std::u32string_view EditText) const;
  // -1 when EditText is complete: well formed and every required position
  // filled; otherwise the first position at fault.
  int FindInvalid(std::u32string_view EditText) const;
  // Raises EEditMaskError for the first position at fault.
  void Validate(std::u32string_view EditText) const;

  // Editing in overwrite mode. Each returns false and leaves State alone when
  // it changes nothing (a character refused, nothing to delete).
  // Types C: over the selection's first input position (the rest of the
  // selection is emptied), skipping literals; typing a literal at its own
  // position steps over it.
  bool InputChar(TMaskEditState& State, char32_t C) const;
  // Backspace: empties the selection, or the input position before the caret.
  bool DeleteBackward(TMaskEditState& State) const;
  // Delete: empties the selection, or the input position at the caret.
  bool DeleteForward(TMaskEditState& State) const;
  // Types each character of Text; characters refused are skipped.
  bool Paste(TMaskEditState& State, std::u32string_view Text) const;

 private:
  void Parse(std::string_view Mask, const TFormatSettings& Settings);
  bool ClearSelection(TMaskEditState& State) const;
  std::string Describe(const TMaskPosition& P) const;
  bool IsEmptyChar(char32_t C) const { return C == Blank_ || C == U' '; }

  std::vector<TMaskPosition> Positions_;
  bool SaveLiterals_ = true;
  bool Reverse_ = false;
  char32_t Blank_ = DefaultBlank;
};

// Value (in the mask's saved form) laid into EditMask with its literals, empty
// positions as spaces; Value itself when the mask is empty.
std::string FormatMaskText(const std::string& EditMask, const std::string& Value);

}  // namespace fyndra
