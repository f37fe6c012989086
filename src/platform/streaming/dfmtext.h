// The DFM text format: a lexer and parser that turn form text into a small
// syntax tree, and a printer that turns such a tree back into text.
//
// The tree is plain data (values, properties, collection items, objects held by
// value), so it owns everything it holds and is freed with it. TReader and
// TWriter (filer.h) translate between this tree and live components; keeping
// the text layer separate lets it be tested and fuzzed on its own.
//
// Objects. A block starts with `object` (a new component), `inherited` (a
// component the ancestor form already has, in an inherited form) or `inline`
// (a frame placed on the form), then `Name: TClass` (or only the class), then
// an optional order index `[n]`: the child's position among its parent's
// children.
//
// Text encoding. Form text is UTF-8, with or without a byte order mark;
// names and class names may hold any Unicode letters (IsIdentifier in
// textservice.h). Text in an 8-bit code page (older files) is read when the
// code page is given (TDfmReadOptions); without it, bytes that are not UTF-8
// are refused with their line rather than read as something else.
// String values are written 7-bit: printable ASCII (32..126) inside single
// quotes with a quote doubled; every other character as #nnn, its Unicode code
// point in decimal (so UTF-8 text is decoded first). Bytes of a value that are
// not valid UTF-8 are written as the code points U+DC80..U+DCFF (0xDC00 plus
// the byte), which valid UTF-8 can never contain; the reader turns such codes
// back into the same bytes, so any byte string survives a round trip. On
// reading, a UTF-16 surrogate pair written as two codes (#55357#56832) is
// joined into one character.
//
// Spelling. A value may be written in several ways: a long string split at
// other places, a float with trailing zeros (1.000000000000000000), a binary
// block on one line. The parser keeps the spelling of every value written
// otherwise than the printer would write it, and the printer writes a value
// with its kept spelling as long as that spelling still reads as the value;
// so printing a parsed text gives back its bytes (apart from line ends), and
// a changed value is printed in the canonical form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/classes/classes.h>

namespace fyndra {

// Raised for text that is not well-formed form text; the message starts with
// "line N: expected ...". A read error like every other failure of reading a
// form, so one handler catches them all.
class EParserError : public EReadError {
 public:
  using EReadError::EReadError;
};

enum class TDfmValueKind {
  Integer,     // 42, -7, $FF
  Float,       // 1.5, -2E-5 (and the identifiers INF, -INF, NAN)
  String,      // 'text'#13#10'more'
  Ident,       // True, ciCaseInsensitive, a component name (may be dotted)
  Set,         // [a, b]
  List,        // ('a' 'b' 3)
  Binary,      // {0A0B}
  Collection,  // < item ... end >
};

struct TDfmItem;

// How the text spelled a value: the text from the value's first character
// (for a property's value: from just after '=') to its last, with "\n" line
// ends and the indentation of each further line taken relative to the line
// the property (or list element) starts on. Empty: the canonical spelling.
using TDfmSpelling = std::string;

struct TDfmValue {
  TDfmValueKind Kind = TDfmValueKind::Integer;
  int Line = 0;                     // where the value starts (reader errors)
  std::int64_t Int = 0;             // Integer
  double Float = 0;                 // Float
  std::string Text;                 // String (UTF-8) or Ident
  std::vector<std::string> Names;   // Set
  std::vector<std::uint8_t> Bytes;  // Binary
  std::vector<TDfmValue> Elements;  // List
  std::vector<TDfmItem> Items;      // Collection
  TDfmSpelling Spelling;            // kept by the parser, see above

  static TDfmValue OfInteger(std::int64_t V);
  static TDfmValue OfFloat(double V);
  static TDfmValue OfString(std::string V);
  static TDfmValue OfIdent(std::string V);
  static TDfmValue OfSet(std::vector<std::string> V);
  static TDfmValue OfBinary(std::vector<std::uint8_t> V);
  static TDfmValue OfList(std::vector<TDfmValue> V);
  static TDfmValue OfCollection(std::vector<TDfmItem> V);
};

// `Name = Value`; Name may be dotted (Options.AutoUpdate).
struct TDfmProperty {
  std::string Name;
  TDfmValue Value;
  int Line = 0;
};

struct TDfmItem {
  std::vector<TDfmProperty> Properties;
  int Line = 0;
};

enum class TDfmObjectKind {
  Object,     // object Name: TClass
  Inherited,  // inherited Name: TClass  (the ancestor form has it)
  Inline,     // inline Name: TFrameClass  (a frame with its own form text)
};

// Whether printed text starts with a UTF-8 byte order mark.
enum class TDfmByteOrderMark {
  Auto,     // when the text holds characters beyond ASCII (names)
  Present,  // as the parsed text did
  Absent,
};

// `object Name: ClassName [Index] ... end`; an unnamed object is
// `object ClassName`.
struct TDfmObject {
  TDfmObjectKind Kind = TDfmObjectKind::Object;
  std::string Name;
  std::string ClassName;
  int Index = -1;  // the order index [n]; -1 when none
  int Line = 0;
  std::vector<TDfmProperty> Properties;
  std::vector<TDfmObject> Children;
  // The root's: whether the text had a byte order mark.
  TDfmByteOrderMark ByteOrderMark = TDfmByteOrderMark::Auto;
};

struct TDfmReadOptions {
  // The code page of text saved in an 8-bit (or other ASCII-based) encoding
  // without a byte order mark: "windows-1252", "1250", "cp1251", any name ICU
  // knows (CodePageToUtf8 in textservice.h). Empty: the text must be UTF-8.
  // Text that starts with a UTF-8 byte order mark is UTF-8 regardless.
  std::string CodePage;
};

// Raises EReadError when CodePage is neither empty nor the name of a code
// page that form text can be read in (known to ICU, and keeping ASCII as it
// is, which the syntax needs).
void CheckDfmCodePage(std::string_view CodePage);

// Parses one object (with its children); trailing blanks and line breaks may
// follow it, nothing else. Raises EParserError naming the line and what was
// expected there; an unknown code page raises EReadError.
TDfmObject ParseDfmText(std::string_view Text, const TDfmReadOptions& Options = {});

enum class TDfmLayout {
  Kept,       // values with a kept spelling are printed with it
  Canonical,  // every value is printed the one canonical way
};

// Prints the tree: two blanks of indentation per level, one property per line,
// "\n" line ends. Printing a parsed tree gives back the parsed bytes (apart
// from line ends) when the text was laid out as printed text is; with
// TDfmLayout::Canonical, printing a parsed tree of printed text gives the same
// bytes.
std::string PrintDfmText(const TDfmObject& Root, TDfmLayout Layout = TDfmLayout::Kept);

// The float V stands for: a float, or one of the names INF, -INF and NAN.
bool DfmFloatValue(const TDfmValue& V, double& Out);

// Whether A and B stand for the same value when read: numbers by value (an
// integer equals the float of the same value; floats bit for bit), names and
// set elements without regard to case, sets in any order, strings and binary
// data byte for byte, lists and collections element by element. Lines and
// spellings do not count.
bool SameDfmValue(const TDfmValue& A, const TDfmValue& B);

// Single-line encoded form of a UTF-8 text ('...' runs and #nnn codes).
std::string DfmEncodeString(std::string_view Utf8);

// Shortest text that reads back as exactly V; always carries a '.' or an
// exponent so that it is never read as an integer. Infinities and NaN are
// written as INF, -INF and NAN.
std::string DfmFormatFloat(double V);

}  // namespace fyndra
