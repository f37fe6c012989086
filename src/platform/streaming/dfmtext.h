// The DFM text format: a lexer and parser that turn form text into a small
// syntax tree, and a printer that turns such a tree back into text.
//
// The tree is plain data (values, properties, collection items, objects held by
// value), so it owns everything it holds and is freed with it. TReader and
// TWriter (filer.h) translate between this tree and live components; keeping
// the text layer separate lets it be tested and fuzzed on its own.
//
// Text encoding. Form text is 7-bit: printable ASCII (32..126) is written inside
// single quotes with a quote doubled; every other character is written as
// #nnn, its Unicode code point in decimal (so UTF-8 text is decoded first).
// Bytes that are not valid UTF-8 are written as the code points U+DC80..U+DCFF
// (0xDC00 plus the byte), which valid UTF-8 can never contain; the reader turns
// them back into the same bytes, so any byte string survives a round trip.
// On reading, a UTF-16 surrogate pair written as two codes (#55357#56832) is
// joined into one character.
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

// `object Name: ClassName ... end`; an unnamed object is `object ClassName`.
struct TDfmObject {
  std::string Name;
  std::string ClassName;
  int Line = 0;
  std::vector<TDfmProperty> Properties;
  std::vector<TDfmObject> Children;
};

// Parses one object (with its children); trailing blanks and line breaks may
// follow it, nothing else. Raises EParserError naming the line and what was
// expected there.
TDfmObject ParseDfmText(std::string_view Text);

// Prints the tree: two blanks of indentation per level, one property per line,
// "\n" line ends. Printing a parsed tree of printed text gives the same bytes.
std::string PrintDfmText(const TDfmObject& Root);

// Single-line encoded form of a UTF-8 text ('...' runs and #nnn codes).
std::string DfmEncodeString(std::string_view Utf8);

// Shortest text that reads back as exactly V; always carries a '.' or an
// exponent so that it is never read as an integer. Infinities and NaN are
// written as INF, -INF and NAN.
std::string DfmFormatFloat(double V);

}  // namespace fyndra
