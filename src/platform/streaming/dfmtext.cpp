#include <fyndra/platform/streaming/dfmtext.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

// Longest run of encoded string text printed on one line; longer strings are
// split into pieces joined with '+'.
constexpr std::size_t kMaxStringPiece = 64;
// Bytes of binary data per printed line.
constexpr std::size_t kBinaryBytesPerLine = 32;
// Objects, collections and lists nested deeper than this are refused, so that
// hostile text cannot exhaust the stack.
constexpr int kMaxNesting = 200;

// Code points U+DC80..U+DCFF stand for raw bytes 0x80..0xFF that were not
// part of valid UTF-8.
constexpr std::uint32_t kRawByteBase = 0xDC00;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

[[noreturn]] void Fail(int Line, const std::string& What) {
  throw EParserError("line " + std::to_string(Line) + ": expected " + What);
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

bool IsAsciiIdentChar(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || IsDigit(C) || C == '_';
}

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  return -1;
}

std::string HexByte(unsigned char B) {
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("$") + kHex[B >> 4] + kHex[B & 15];
}

// Keywords are ASCII and read without regard to case.
bool SameKeyword(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'A' && X <= 'Z') X = static_cast<char>(X - 'A' + 'a');
    if (Y >= 'A' && Y <= 'Z') Y = static_cast<char>(Y - 'A' + 'a');
    if (X != Y) return false;
  }
  return true;
}

void AppendUtf8(std::string& Out, std::uint32_t Cp) {
  if (Cp >= kRawByteBase + 0x80 && Cp <= kRawByteBase + 0xFF) {
    Out += static_cast<char>(Cp - kRawByteBase);
  } else {
    AppendUtf8Char(Out, Cp);
  }
}

// Decodes one character of a value at Pos. Returns the code point and
// advances Pos; a byte that does not start valid UTF-8 yields its raw-byte
// code point.
std::uint32_t NextCodePoint(std::string_view S, std::size_t& Pos) {
  if (static_cast<unsigned char>(S[Pos]) < 0x80) return static_cast<unsigned char>(S[Pos++]);
  char32_t C = 0;
  if (NextUtf8Char(S, Pos, C)) return C;
  return kRawByteBase + static_cast<unsigned char>(S[Pos++]);
}

bool IsLeaf(const TDfmValue& V) {
  return V.Kind != TDfmValueKind::List && V.Kind != TDfmValueKind::Collection;
}

// ---------------------------------------------------------------------------
// Lexer

enum class TTok { End, Ident, Integer, Float, String, Symbol };

struct TToken {
  TTok Kind = TTok::End;
  int Line = 1;
  std::size_t LineStart = 0;  // where the token's line starts (TLexer::IndentOf)
  std::size_t Begin = 0;  // where the token stands in the text
  std::size_t End = 0;
  bool RawNonAscii = false;  // a string with characters beyond ASCII inside its quotes
  std::string Text;          // Ident, String (decoded), Symbol, number spelling
  std::int64_t Int = 0;
  double Float = 0;
};

std::string Describe(const TToken& T) {
  switch (T.Kind) {
    case TTok::End: return "end of text";
    case TTok::Ident: return "'" + T.Text + "'";
    case TTok::Integer:
    case TTok::Float: return "number " + T.Text;
    case TTok::String: return "a string";
    case TTok::Symbol: return "'" + T.Text + "'";
  }
  return "?";
}

class TLexer {
 public:
  explicit TLexer(std::string_view Text) : Text_(Text) {
    // Editors may save the text with a UTF-8 byte order mark.
    if (Text_.starts_with(kByteOrderMark)) Pos_ = LineStart_ = kByteOrderMark.size();
    Advance();
  }

  std::string_view Text() const { return Text_; }
  // The blanks before the first character of T's line; -1 with a tab among them.
  int IndentOf(const TToken& T) const {
    std::size_t P = T.LineStart;
    bool Tab = false;
    for (; P < T.Begin && (Text_[P] == ' ' || Text_[P] == '\t'); ++P)
      if (Text_[P] == '\t') Tab = true;
    return Tab ? -1 : static_cast<int>(P - T.LineStart);
  }
  bool HadByteOrderMark() const { return Text_.starts_with(kByteOrderMark); }
  const TToken& Peek() const { return Cur_; }
  TToken Take() {
    TToken T = std::move(Cur_);
    Advance();
    return T;
  }

  // Whether the symbol C comes right after the current token (blanks and line
  // breaks between them skipped).
  bool SymbolFollows(char C) const {
    std::size_t P = Pos_;
    while (P < Text_.size() && (Text_[P] == ' ' || Text_[P] == '\t' || Text_[P] == '\r' || Text_[P] == '\n')) ++P;
    return P < Text_.size() && Text_[P] == C;
  }

  // Called while '{' is the current token: the lexer stands just past it
  // (lookahead is one token), so the hex digits that follow are read here
  // rather than as tokens. Consumes up to and including '}', whose end it
  // stores in End.
  std::vector<std::uint8_t> TakeBinary(std::size_t& End) {
    std::vector<std::uint8_t> Bytes;
    int Pending = -1;
    for (;;) {
      SkipBlanks();
      if (Pos_ >= Text_.size()) Fail(Line_, "'}' to close binary data, found end of text");
      const char C = Text_[Pos_];
      if (C == '}') {
        if (Pending >= 0) Fail(Line_, "an even number of hex digits in binary data");
        ++Pos_;
        break;
      }
      const int H = HexValue(C);
      if (H < 0) Fail(Line_, "hex digit or '}' in binary data");
      ++Pos_;
      if (Pending < 0) {
        Pending = H;
      } else {
        Bytes.push_back(static_cast<std::uint8_t>(Pending * 16 + H));
        Pending = -1;
      }
    }
    End = Pos_;
    Advance();
    return Bytes;
  }

 private:
  void SkipBlanks() {
    while (Pos_ < Text_.size()) {
      const char C = Text_[Pos_];
      // A line ends with LF, CR LF or a lone CR.
      if (C == '\n' || (C == '\r' && (Pos_ + 1 >= Text_.size() || Text_[Pos_ + 1] != '\n'))) {
        ++Line_;
        LineStart_ = Pos_ + 1;
      } else if (C != ' ' && C != '\t' && C != '\r') {
        break;
      }
      ++Pos_;
    }
  }


  [[noreturn]] void FailNotUtf8(std::size_t At) const {
    Fail(Line_, "UTF-8 text, found byte " + HexByte(static_cast<unsigned char>(Text_[At])) +
                    " (text in an 8-bit code page is read with its code page given)");
  }

  // Length of the identifier character at P (0 when there is none); First
  // asks for a character that may start an identifier.
  std::size_t IdentCharAt(std::size_t P, bool First) const {
    if (P >= Text_.size()) return 0;
    const auto B = static_cast<unsigned char>(Text_[P]);
    if (B < 0x80) {
      const bool Letter = (B >= 'A' && B <= 'Z') || (B >= 'a' && B <= 'z') || B == '_';
      return (Letter || (!First && IsDigit(static_cast<char>(B)))) ? 1 : 0;
    }
    std::size_t Next = P;
    char32_t C = 0;
    if (!NextUtf8Char(Text_, Next, C)) return 0;
    return (First ? IsIdentStartChar(C) : IsIdentPartChar(C)) ? Next - P : 0;
  }

  void Advance() {
    SkipBlanks();
    // Field by field: the text keeps no characters but its buffer.
    Cur_.Kind = TTok::End;
    Cur_.Text.clear();
    Cur_.Int = 0;
    Cur_.Float = 0;
    Cur_.RawNonAscii = false;
    Cur_.Line = Line_;
    Cur_.Begin = Pos_;
    Cur_.LineStart = LineStart_;
    if (Pos_ >= Text_.size()) {
      Cur_.End = Pos_;
      return;
    }
    const char C = Text_[Pos_];
    if (((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_') ||
        (static_cast<unsigned char>(C) >= 0x80 && IdentCharAt(Pos_, true))) {
      LexIdent();
    } else if (IsDigit(C) || (C == '-' && Pos_ + 1 < Text_.size() && IsDigit(Text_[Pos_ + 1]))) {
      LexNumber();
    } else if (C == '$') {
      LexHex();
    } else if (C == '\'' || C == '#') {
      LexString();
    } else if (std::string_view("=:[](){}<>,+-").find(C) != std::string_view::npos) {
      Cur_.Kind = TTok::Symbol;
      Cur_.Text = std::string(1, C);
      ++Pos_;
    } else {
      std::size_t Next = Pos_;
      char32_t Cp = static_cast<unsigned char>(C);
      if (Cp >= 0x80 && !NextUtf8Char(Text_, Next, Cp)) FailNotUtf8(Pos_);
      Fail(Line_, "a name, number, string or symbol, found character #" + std::to_string(Cp));
    }
    Cur_.End = Pos_;
  }

  void LexIdent() {
    const std::size_t Start = Pos_;
    for (;;) {
      Pos_ += IdentCharAt(Pos_, true);
      for (;;) {
        // ASCII letters and digits without a call; other characters by their class.
        while (Pos_ < Text_.size() && IsAsciiIdentChar(Text_[Pos_])) ++Pos_;
        const std::size_t N = Pos_ < Text_.size() && static_cast<unsigned char>(Text_[Pos_]) >= 0x80
                                  ? IdentCharAt(Pos_, false)
                                  : 0;
        if (!N) break;
        Pos_ += N;
      }
      // A dot joins two names (Options.AutoUpdate, Form1.Table1).
      if (Pos_ < Text_.size() && Text_[Pos_] == '.' && IdentCharAt(Pos_ + 1, true)) {
        ++Pos_;
        continue;
      }
      break;
    }
    Cur_.Kind = TTok::Ident;
    Cur_.Text = std::string(Text_.substr(Start, Pos_ - Start));
  }

  void LexNumber() {
    const std::size_t Start = Pos_;
    if (Text_[Pos_] == '-') ++Pos_;
    while (Pos_ < Text_.size() && IsDigit(Text_[Pos_])) ++Pos_;
    bool IsFloat = false;
    if (Pos_ + 1 < Text_.size() && Text_[Pos_] == '.' && IsDigit(Text_[Pos_ + 1])) {
      IsFloat = true;
      ++Pos_;
      while (Pos_ < Text_.size() && IsDigit(Text_[Pos_])) ++Pos_;
    }
    if (Pos_ < Text_.size() && (Text_[Pos_] == 'e' || Text_[Pos_] == 'E')) {
      std::size_t P = Pos_ + 1;
      if (P < Text_.size() && (Text_[P] == '+' || Text_[P] == '-')) ++P;
      if (P < Text_.size() && IsDigit(Text_[P])) {
        IsFloat = true;
        Pos_ = P;
        while (Pos_ < Text_.size() && IsDigit(Text_[Pos_])) ++Pos_;
      }
    }
    if (const std::size_t Glued = Pos_ < Text_.size() && Text_[Pos_] == '.' ? 1 : IdentCharAt(Pos_, false))
      Fail(Line_, "a number, found '" + std::string(Text_.substr(Start, Pos_ - Start + Glued)) + "'");
    const std::string_view S = Text_.substr(Start, Pos_ - Start);
    Cur_.Text = std::string(S);
    const char* First = S.data();
    const char* Last = S.data() + S.size();
    if (IsFloat) {
      Cur_.Kind = TTok::Float;
      auto [P, Ec] = std::from_chars(First, Last, Cur_.Float);
      if (Ec != std::errc() || P != Last) Fail(Line_, "a floating-point number in range, found " + Cur_.Text);
    } else {
      Cur_.Kind = TTok::Integer;
      auto [P, Ec] = std::from_chars(First, Last, Cur_.Int);
      if (Ec != std::errc() || P != Last) Fail(Line_, "a 64-bit integer, found " + Cur_.Text);
    }
  }

  void LexHex() {
    const std::size_t Start = ++Pos_;
    while (Pos_ < Text_.size() && HexValue(Text_[Pos_]) >= 0) ++Pos_;
    const std::string_view S = Text_.substr(Start, Pos_ - Start);
    if (S.empty() || S.size() > 16 || IdentCharAt(Pos_, false)) Fail(Line_, "1 to 16 hex digits after '$'");
    std::uint64_t V = 0;
    std::from_chars(S.data(), S.data() + S.size(), V, 16);
    Cur_.Kind = TTok::Integer;
    Cur_.Int = static_cast<std::int64_t>(V);
    Cur_.Text = "$" + std::string(S);
  }

  // One string token: quoted runs and #nnn codes written without blanks
  // between them ('a'#13#10'b').
  void LexString() {
    Cur_.Kind = TTok::String;
    std::string& Out = Cur_.Text;
    std::uint32_t HighSurrogate = 0;  // 0: none pending
    auto Flush = [&] {
      if (HighSurrogate) Fail(Line_, "a low surrogate code after #" + std::to_string(HighSurrogate));
    };
    for (;;) {
      if (Pos_ >= Text_.size()) break;
      const char C = Text_[Pos_];
      if (C == '\'') {
        Flush();
        ++Pos_;
        for (;;) {
          if (Pos_ >= Text_.size() || Text_[Pos_] == '\n' || Text_[Pos_] == '\r')
            Fail(Line_, "closing quote of string");
          const char D = Text_[Pos_];
          if (static_cast<unsigned char>(D) >= 0x80) {
            const std::size_t From = Pos_;
            char32_t Cp = 0;
            if (!NextUtf8Char(Text_, Pos_, Cp)) FailNotUtf8(Pos_);
            Out.append(Text_.substr(From, Pos_ - From));
            Cur_.RawNonAscii = true;
            continue;
          }
          ++Pos_;
          if (D == '\'') {
            if (Pos_ < Text_.size() && Text_[Pos_] == '\'') {
              Out += '\'';
              ++Pos_;
              continue;
            }
            break;
          }
          Out += D;
        }
      } else if (C == '#') {
        ++Pos_;
        std::uint64_t Code = 0;
        int Base = 10;
        if (Pos_ < Text_.size() && Text_[Pos_] == '$') {
          Base = 16;
          ++Pos_;
        }
        const std::size_t DigitsStart = Pos_;
        while (Pos_ < Text_.size() && (Base == 16 ? HexValue(Text_[Pos_]) >= 0 : IsDigit(Text_[Pos_]))) {
          Code = Code * Base + static_cast<std::uint64_t>(HexValue(Text_[Pos_]));
          if (Code > 0x10FFFF) Fail(Line_, "a character code up to 1114111 after '#'");
          ++Pos_;
        }
        if (Pos_ == DigitsStart) Fail(Line_, "a character code after '#'");
        const auto Cp = static_cast<std::uint32_t>(Code);
        if (Cp >= 0xD800 && Cp <= 0xDBFF) {
          Flush();
          HighSurrogate = Cp;
        } else if (Cp >= 0xDC00 && Cp <= 0xDFFF && HighSurrogate) {
          AppendUtf8(Out, 0x10000 + ((HighSurrogate - 0xD800) << 10) + (Cp - 0xDC00));
          HighSurrogate = 0;
        } else if (Cp >= 0xDC00 && Cp <= 0xDFFF && !(Cp >= kRawByteBase + 0x80 && Cp <= kRawByteBase + 0xFF)) {
          Fail(Line_, "a character code, found a lone surrogate #" + std::to_string(Cp));
        } else {
          Flush();
          AppendUtf8(Out, Cp);
        }
      } else {
        break;
      }
    }
    Flush();
  }

  std::string_view Text_;
  std::size_t Pos_ = 0;
  std::size_t LineStart_ = 0;
  int Line_ = 1;
  TToken Cur_;
};

// ---------------------------------------------------------------------------
// Canonical printing of one value

// The shortest text that reads back as exactly V, in Buf (see DfmFormatFloat).
std::string_view FormatFloat(double V, char (&Buf)[64]) {
  if (std::isnan(V)) return "NAN";
  if (std::isinf(V)) return V < 0 ? "-INF" : "INF";
  char* End = std::to_chars(Buf, Buf + sizeof Buf - 2, V).ptr;
  bool HasMark = false;
  for (char* P = Buf; P != End; ++P) {
    if (*P == 'e') *P = 'E';
    if (*P == '.' || *P == 'E') HasMark = true;
  }
  if (!HasMark) {
    *End++ = '.';
    *End++ = '0';
  }
  return std::string_view(Buf, static_cast<std::size_t>(End - Buf));
}

void Indent(std::string& Out, int N) { Out.append(static_cast<std::size_t>(std::max(N, 0)), ' '); }

void NewLine(std::string& Out, int Ind) {
  Out += '\n';
  Indent(Out, Ind);
}

// Splits the encoded form of S into pieces of at most MaxPiece characters
// (a single #nnn code is never split).
std::vector<std::string> EncodePieces(std::string_view S, std::size_t MaxPiece = kMaxStringPiece) {
  std::vector<std::string> Pieces;
  std::string Cur;
  bool InQuote = false;
  auto Close = [&] {
    if (InQuote) Cur += '\'';
    InQuote = false;
  };
  std::size_t Pos = 0;
  while (Pos < S.size()) {
    const auto Byte = static_cast<unsigned char>(S[Pos]);
    const std::uint32_t Cp = Byte < 0x80 ? (++Pos, Byte) : NextCodePoint(S, Pos);
    char Atom[16];
    std::size_t AtomLen = 0;
    const bool Printable = Cp >= 32 && Cp <= 126;
    if (Printable) {
      Atom[AtomLen++] = static_cast<char>(Cp);
      if (Cp == '\'') Atom[AtomLen++] = '\'';
    } else {
      Atom[AtomLen++] = '#';
      AtomLen = static_cast<std::size_t>(std::to_chars(Atom + 1, Atom + sizeof Atom, Cp).ptr - Atom);
    }
    // Room needed: the atom, an opening quote when a run starts, a closing
    // quote for a run still open at the end of the piece.
    const std::size_t Need = AtomLen + (Printable ? (InQuote ? 1 : 2) : (InQuote ? 1 : 0));
    if (!Cur.empty() && Cur.size() + Need > MaxPiece) {
      Close();
      Pieces.push_back(std::move(Cur));
      Cur.clear();
    }
    if (Printable) {
      if (!InQuote) Cur += '\'';
      InQuote = true;
    } else {
      Close();
    }
    Cur.append(Atom, AtomLen);
  }
  Close();
  if (Cur.empty()) Cur = "''";
  Pieces.push_back(std::move(Cur));
  return Pieces;
}

// The pieces a string is printed in: one when its encoded form fits a line.
std::vector<std::string> StringPieces(std::string_view S) {
  std::vector<std::string> One = EncodePieces(S, std::string::npos);
  if (One.front().size() <= kMaxStringPiece) return One;
  return EncodePieces(S);
}

void PrintPieces(const std::vector<std::string>& Pieces, int Ind, std::string& Out) {
  for (std::size_t I = 0; I < Pieces.size(); ++I) {
    if (I > 0) {
      Out += " +";
      NewLine(Out, Ind);
    }
    Out += Pieces[I];
  }
}

// Prints a value that is neither a list nor a collection the canonical way.
// Base is the indentation of the line it starts on; AfterEquals: it is a
// property's value, printed right after "Name =" (a string of several pieces
// then starts on a line of its own).
void PrintLeaf(const TDfmValue& V, int Base, bool AfterEquals, std::string& Out) {
  if (V.Kind == TDfmValueKind::String) {
    const std::vector<std::string> Pieces = StringPieces(V.Text);
    if (AfterEquals) {
      if (Pieces.size() > 1)
        NewLine(Out, Base + 2);
      else
        Out += ' ';
    }
    PrintPieces(Pieces, Base + 2, Out);
    return;
  }
  if (AfterEquals) Out += ' ';
  switch (V.Kind) {
    case TDfmValueKind::Integer: Out += std::to_string(V.Int); break;
    case TDfmValueKind::Float: {
      char Buf[64];
      Out += FormatFloat(V.Float, Buf);
      break;
    }
    case TDfmValueKind::Ident: Out += V.Text; break;
    case TDfmValueKind::Set:
      Out += '[';
      for (std::size_t I = 0; I < V.Names.size(); ++I) {
        if (I > 0) Out += ", ";
        Out += V.Names[I];
      }
      Out += ']';
      break;
    case TDfmValueKind::Binary: {
      static const char kHex[] = "0123456789ABCDEF";
      Out += '{';
      for (std::size_t I = 0; I < V.Bytes.size(); ++I) {
        if (I % kBinaryBytesPerLine == 0) NewLine(Out, Base + 2);
        Out += kHex[V.Bytes[I] >> 4];
        Out += kHex[V.Bytes[I] & 15];
      }
      Out += '}';
      break;
    }
    default: break;
  }
}

// Raw text of a value with "\n" line ends and every further line's
// indentation taken relative to Base. False when a further line is indented
// with tabs or less than Base, which the printer could not place again.
bool Rebase(std::string_view Raw, int Base, std::string& Out) {
  Out.clear();
  for (std::size_t I = 0; I < Raw.size();) {
    const char C = Raw[I++];
    if (C != '\r' && C != '\n') {
      Out += C;
      continue;
    }
    if (C == '\r' && I < Raw.size() && Raw[I] == '\n') ++I;
    Out += '\n';
    std::size_t Blanks = 0;
    while (I + Blanks < Raw.size() && Raw[I + Blanks] == ' ') ++Blanks;
    if ((I + Blanks < Raw.size() && Raw[I + Blanks] == '\t') || static_cast<int>(Blanks) < Base) return false;
    Out.append(Blanks - static_cast<std::size_t>(Base), ' ');
    I += Blanks;
  }
  return true;
}

void AppendRebased(const TDfmSpelling& Spelling, int Base, std::string& Out) {
  for (const char C : Spelling) {
    Out += C;
    if (C == '\n') Indent(Out, Base);
  }
}

// Whether Raw, one line, is how the printer writes V (after "Name =" when
// AfterEquals). Checked without building the printed text, since nearly
// every value of a parsed form is spelled canonically.
bool IsCanonicalLine(const TDfmValue& V, std::string_view Raw, bool AfterEquals) {
  if (AfterEquals) {
    if (!Raw.starts_with(' ')) return false;
    Raw.remove_prefix(1);
  }
  char Buf[64];
  switch (V.Kind) {
    case TDfmValueKind::Ident: return Raw == V.Text;
    case TDfmValueKind::Integer: {
      const auto R = std::to_chars(Buf, Buf + sizeof Buf, V.Int);
      return Raw == std::string_view(Buf, static_cast<std::size_t>(R.ptr - Buf));
    }
    case TDfmValueKind::String: {
      // One piece of at most kMaxStringPiece characters, atom by atom.
      if (Raw.size() > kMaxStringPiece) return false;
      // Most often one quoted run of printable characters without quotes.
      if (Raw.size() == V.Text.size() + 2 && Raw.front() == '\'' && Raw.back() == '\'' &&
          Raw.substr(1, V.Text.size()) == V.Text)
        return std::all_of(V.Text.begin(), V.Text.end(), [](char C) { return C >= 32 && C <= 126 && C != '\''; });
      std::size_t At = 0, Pos = 0;
      bool InQuote = false;
      auto Expect = [&](std::string_view Part) {
        if (Raw.compare(At, Part.size(), Part) != 0) return false;
        At += Part.size();
        return true;
      };
      while (Pos < V.Text.size()) {
        const std::uint32_t Cp = NextCodePoint(V.Text, Pos);
        if (Cp >= 32 && Cp <= 126) {
          if (!InQuote && !Expect("'")) return false;
          InQuote = true;
          const char C = static_cast<char>(Cp);
          if (!Expect(std::string_view(&C, 1)) || (C == '\'' && !Expect("'"))) return false;
        } else {
          if (InQuote && !Expect("'")) return false;
          InQuote = false;
          Buf[0] = '#';
          const auto R = std::to_chars(Buf + 1, Buf + sizeof Buf, Cp);
          if (!Expect(std::string_view(Buf, static_cast<std::size_t>(R.ptr - Buf)))) return false;
        }
      }
      if (V.Text.empty()) return Raw == "''";
      if (InQuote && !Expect("'")) return false;
      return At == Raw.size();
    }
    case TDfmValueKind::Float: return Raw == FormatFloat(V.Float, Buf);
    default: {
      std::string Canonical;
      PrintLeaf(V, 0, false, Canonical);
      return Raw == Canonical;
    }
  }
}

// ---------------------------------------------------------------------------
// Parser

class TParser {
 public:
  // KeepSpelling: remember how values were spelled when not canonically.
  TParser(std::string_view Text, bool KeepSpelling) : Lex_(Text), KeepSpelling_(KeepSpelling) {}

  TDfmObject ParseRoot() {
    TDfmObject Root = ParseObject(0);
    if (Lex_.Peek().Kind != TTok::End) Fail(Lex_.Peek().Line, "end of text after the last 'end', found " + Describe(Lex_.Peek()));
    Root.ByteOrderMark = Lex_.HadByteOrderMark() ? TDfmByteOrderMark::Present : TDfmByteOrderMark::Absent;
    return Root;
  }

  // Reads a kept spelling back: true when it is exactly one value that is
  // neither a list nor a collection.
  bool ParseLeaf(TDfmValue& Out) {
    if (Lex_.Peek().Kind == TTok::End) return false;
    const TTok First = Lex_.Peek().Kind;
    if (First == TTok::Symbol && (Lex_.Peek().Text == "(" || Lex_.Peek().Text == "<")) return false;
    Out = ParseValue(0, 0, std::string_view::npos);
    return Lex_.Peek().Kind == TTok::End;
  }

  // Strings with characters beyond ASCII inside their quotes keep no
  // spelling, so that text read from a code page is written back 7-bit.
  void SetQuotedNonAsciiCanonical(bool Value) { QuotedNonAsciiCanonical_ = Value; }

 private:
  bool AtKeyword(std::string_view K) const {
    return Lex_.Peek().Kind == TTok::Ident && SameKeyword(Lex_.Peek().Text, K);
  }

  bool AtSymbol(char C) const {
    return Lex_.Peek().Kind == TTok::Symbol && Lex_.Peek().Text[0] == C;
  }

  // An object header starts here: `object`, or `inherited`/`inline` not
  // followed by '=' (which would make them property names).
  bool AtObject() const {
    if (AtKeyword("object")) return true;
    return (AtKeyword("inherited") || AtKeyword("inline")) && !Lex_.SymbolFollows('=');
  }

  void ExpectSymbol(char C) {
    if (!AtSymbol(C)) Fail(Lex_.Peek().Line, std::string("'") + C + "', found " + Describe(Lex_.Peek()));
    Lex_.Take();
  }

  std::string ExpectName(const char* What) {
    if (Lex_.Peek().Kind != TTok::Ident) Fail(Lex_.Peek().Line, std::string(What) + ", found " + Describe(Lex_.Peek()));
    return Lex_.Take().Text;
  }

  void CheckDepth(int Depth) {
    if (Depth > kMaxNesting) Fail(Lex_.Peek().Line, "at most " + std::to_string(kMaxNesting) + " levels of nesting");
  }

  TDfmObject ParseObject(int Depth) {
    CheckDepth(Depth);
    TDfmObject Obj;
    Obj.Line = Lex_.Peek().Line;
    if (AtKeyword("inherited")) {
      Obj.Kind = TDfmObjectKind::Inherited;
    } else if (AtKeyword("inline")) {
      Obj.Kind = TDfmObjectKind::Inline;
    } else if (!AtKeyword("object")) {
      Fail(Obj.Line, "'object', found " + Describe(Lex_.Peek()));
    }
    Lex_.Take();
    std::string First = ExpectName("object name or class name");
    if (AtSymbol(':')) {
      Lex_.Take();
      Obj.Name = std::move(First);
      Obj.ClassName = ExpectName("class name after ':'");
    } else {
      Obj.ClassName = std::move(First);
    }
    if (AtSymbol('[')) {
      Lex_.Take();
      const TToken& T = Lex_.Peek();
      if (T.Kind != TTok::Integer || T.Int < 0 || T.Int > std::numeric_limits<int>::max())
        Fail(T.Line, "an order index from 0 to " + std::to_string(std::numeric_limits<int>::max()) + ", found " +
                         Describe(T));
      Obj.Index = static_cast<int>(Lex_.Take().Int);
      ExpectSymbol(']');
    }
    for (;;) {
      if (AtKeyword("end")) {
        Lex_.Take();
        return Obj;
      }
      if (AtObject()) {
        Obj.Children.push_back(ParseObject(Depth + 1));
        continue;
      }
      if (Lex_.Peek().Kind != TTok::Ident)
        Fail(Lex_.Peek().Line, "property name, 'object' or 'end', found " + Describe(Lex_.Peek()));
      Obj.Properties.push_back(ParseProperty(Depth));
    }
  }

  TDfmProperty ParseProperty(int Depth) {
    TDfmProperty P;
    P.Line = Lex_.Peek().Line;
    const int Base = Lex_.IndentOf(Lex_.Peek());
    P.Name = Lex_.Take().Text;
    const std::size_t AfterEquals = Lex_.Peek().End;
    ExpectSymbol('=');
    P.Value = ParseValue(Depth, Base, AfterEquals);
    return P;
  }

  // Parses a value. Base is the indentation of the line the property or
  // list element starts on; SpelledFrom is where a property's value text
  // starts (just after '='), npos for a list element.
  TDfmValue ParseValue(int Depth, int Base, std::size_t SpelledFrom) {
    CheckDepth(Depth);
    const TToken& T = Lex_.Peek();
    const int Line = T.Line;
    const std::size_t Begin = T.Begin;
    std::size_t End = T.End;
    bool Spellable = true;
    TDfmValue V;
    switch (T.Kind) {
      case TTok::Integer:
        V.Kind = TDfmValueKind::Integer;
        V.Int = T.Int;
        Lex_.Take();
        break;
      case TTok::Float:
        V.Kind = TDfmValueKind::Float;
        V.Float = T.Float;
        Lex_.Take();
        break;
      case TTok::Ident:
        V.Kind = TDfmValueKind::Ident;
        V.Text = Lex_.Take().Text;
        break;
      case TTok::String: {
        TToken Piece = Lex_.Take();
        Spellable = !(QuotedNonAsciiCanonical_ && Piece.RawNonAscii);
        std::string S = std::move(Piece.Text);
        while (AtSymbol('+')) {
          Lex_.Take();
          if (Lex_.Peek().Kind != TTok::String)
            Fail(Lex_.Peek().Line, "a string after '+', found " + Describe(Lex_.Peek()));
          Piece = Lex_.Take();
          Spellable = Spellable && !(QuotedNonAsciiCanonical_ && Piece.RawNonAscii);
          S += Piece.Text;
          End = Piece.End;
        }
        V.Kind = TDfmValueKind::String;
        V.Text = std::move(S);
        break;
      }
      case TTok::Symbol:
        switch (T.Text[0]) {
          case '-':
            // -INF; negative numbers are lexed whole.
            Lex_.Take();
            if (Lex_.Peek().Kind != TTok::Ident || Lex_.Peek().Text != "INF")
              Fail(Lex_.Peek().Line, "a number after '-', found " + Describe(Lex_.Peek()));
            End = Lex_.Take().End;
            V.Kind = TDfmValueKind::Ident;
            V.Text = "-INF";
            break;
          case '[': {
            Lex_.Take();
            std::vector<std::string> Names;
            if (!AtSymbol(']')) {
              for (;;) {
                Names.push_back(ExpectName("set element name"));
                if (AtSymbol(']')) break;
                ExpectSymbol(',');
              }
            }
            End = Lex_.Take().End;
            V.Kind = TDfmValueKind::Set;
            V.Names = std::move(Names);
            break;
          }
          case '(': {
            Lex_.Take();
            std::vector<TDfmValue> Elements;
            while (!AtSymbol(')')) {
              if (Lex_.Peek().Kind == TTok::End) Fail(Lex_.Peek().Line, "')' to close the list, found end of text");
              Elements.push_back(ParseValue(Depth + 1, Lex_.IndentOf(Lex_.Peek()), std::string_view::npos));
            }
            Lex_.Take();
            V.Kind = TDfmValueKind::List;
            V.Elements = std::move(Elements);
            break;
          }
          case '{': {
            V.Kind = TDfmValueKind::Binary;
            V.Bytes = Lex_.TakeBinary(End);
            break;
          }
          case '<': {
            Lex_.Take();
            std::vector<TDfmItem> Items;
            while (!AtSymbol('>')) {
              TDfmItem Item;
              Item.Line = Lex_.Peek().Line;
              if (!AtKeyword("item")) Fail(Item.Line, "'item' or '>', found " + Describe(Lex_.Peek()));
              Lex_.Take();
              CheckDepth(Depth + 1);
              while (!AtKeyword("end")) {
                if (Lex_.Peek().Kind != TTok::Ident)
                  Fail(Lex_.Peek().Line, "property name or 'end' of item, found " + Describe(Lex_.Peek()));
                Item.Properties.push_back(ParseProperty(Depth + 1));
              }
              Lex_.Take();
              Items.push_back(std::move(Item));
            }
            Lex_.Take();
            V.Kind = TDfmValueKind::Collection;
            V.Items = std::move(Items);
            break;
          }
          default:
            Fail(Line, "a value, found " + Describe(T));
        }
        break;
      case TTok::End:
        Fail(Line, "a value, found end of text");
    }
    V.Line = Line;
    if (KeepSpelling_ && Spellable && Base >= 0 && IsLeaf(V)) {
      const bool Property = SpelledFrom != std::string_view::npos;
      const std::string_view Raw = Lex_.Text().substr(Property ? SpelledFrom : Begin, End - (Property ? SpelledFrom : Begin));
      if (std::none_of(Raw.begin(), Raw.end(), [](char C) { return C == '\r' || C == '\n'; })) {
        if (!IsCanonicalLine(V, Raw, Property)) V.Spelling = std::string(Raw);
      } else if (Rebase(Raw, Base, Spelled_)) {
        Canonical_.clear();
        PrintLeaf(V, 0, Property, Canonical_);
        if (Spelled_ != Canonical_) V.Spelling = Spelled_;
      }
    }
    return V;
  }

  TLexer Lex_;
  bool KeepSpelling_ = true;
  bool QuotedNonAsciiCanonical_ = false;
  std::string Canonical_;  // scratch: the canonical text of the value just read
  std::string Spelled_;    // scratch: its rebased spelling
};

// Whether V's kept spelling still reads as V (the tree may have been changed
// since it was parsed).
bool SpellingHolds(const TDfmValue& V) {
  try {
    TParser Parser(V.Spelling, false);
    TDfmValue Spelled;
    return Parser.ParseLeaf(Spelled) && SameDfmValue(Spelled, V);
  } catch (const EParserError&) {
    return false;
  }
}

// ---------------------------------------------------------------------------
// Printer

class TPrinter {
 public:
  explicit TPrinter(TDfmLayout Layout) : Layout_(Layout) {}

  std::string Print(const TDfmObject& Root) {
    PrintObject(Root, 0);
    TDfmByteOrderMark Mark = Layout_ == TDfmLayout::Kept ? Root.ByteOrderMark : TDfmByteOrderMark::Auto;
    if (Mark == TDfmByteOrderMark::Auto) Mark = IsAscii(Out_) ? TDfmByteOrderMark::Absent : TDfmByteOrderMark::Present;
    if (Mark == TDfmByteOrderMark::Present) Out_.insert(0, kByteOrderMark);
    return std::move(Out_);
  }

 private:
  // Base: the indentation of the line V starts on.
  void PrintValue(const TDfmValue& V, int Base, bool AfterEquals) {
    if (IsLeaf(V)) {
      if (Layout_ == TDfmLayout::Kept && !V.Spelling.empty() && SpellingHolds(V))
        AppendRebased(V.Spelling, Base, Out_);
      else
        PrintLeaf(V, Base, AfterEquals, Out_);
      return;
    }
    if (AfterEquals) Out_ += ' ';
    if (V.Kind == TDfmValueKind::List) {
      Out_ += '(';
      for (const TDfmValue& E : V.Elements) {
        NewLine(Out_, Base + 2);
        PrintValue(E, Base + 2, false);
      }
      Out_ += ')';
      return;
    }
    Out_ += '<';
    for (const TDfmItem& Item : V.Items) {
      NewLine(Out_, Base + 2);
      Out_ += "item";
      for (const TDfmProperty& P : Item.Properties) {
        Out_ += '\n';
        PrintProperty(P, Base + 4);
      }
      NewLine(Out_, Base + 2);
      Out_ += "end";
    }
    Out_ += '>';
  }

  void PrintProperty(const TDfmProperty& P, int Ind) {
    Indent(Out_, Ind);
    Out_ += P.Name;
    Out_ += " =";
    PrintValue(P.Value, Ind, true);
  }

  void PrintObject(const TDfmObject& Obj, int Ind) {
    Indent(Out_, Ind);
    Out_ += Obj.Kind == TDfmObjectKind::Inherited ? "inherited "
            : Obj.Kind == TDfmObjectKind::Inline  ? "inline "
                                                  : "object ";
    Out_ += Obj.Name.empty() ? Obj.ClassName : Obj.Name + ": " + Obj.ClassName;
    if (Obj.Index >= 0) Out_ += " [" + std::to_string(Obj.Index) + "]";
    Out_ += '\n';
    for (const TDfmProperty& P : Obj.Properties) {
      PrintProperty(P, Ind + 2);
      Out_ += '\n';
    }
    for (const TDfmObject& Child : Obj.Children) PrintObject(Child, Ind + 2);
    Indent(Out_, Ind);
    Out_ += "end\n";
  }

  TDfmLayout Layout_;
  std::string Out_;
};

// Form text keeps the ASCII characters as they are: the syntax is ASCII.
const std::string& AsciiProbe() {
  static const std::string Probe = [] {
    std::string S = "\t\n\r";
    for (char C = 32; C < 127; ++C) S += C;
    return S;
  }();
  return Probe;
}

int LineAt(std::string_view Text, std::size_t Offset) {
  int Line = 1;
  for (std::size_t I = 0; I < Offset && I < Text.size(); ++I)
    if (Text[I] == '\n' || (Text[I] == '\r' && (I + 1 >= Text.size() || Text[I + 1] != '\n'))) ++Line;
  return Line;
}

}  // namespace

TDfmValue TDfmValue::OfInteger(std::int64_t V) {
  TDfmValue R;
  R.Kind = TDfmValueKind::Integer;
  R.Int = V;
  return R;
}

TDfmValue TDfmValue::OfFloat(double V) {
  TDfmValue R;
  R.Kind = TDfmValueKind::Float;
  R.Float = V;
  return R;
}

TDfmValue TDfmValue::OfString(std::string V) {
  TDfmValue R;
  R.Kind = TDfmValueKind::String;
  R.Text = std::move(V);
  return R;
}

TDfmValue TDfmValue::OfIdent(std::string V) {
  TDfmValue R;
  R.Kind = TDfmValueKind::Ident;
  R.Text = std::move(V);
  return R;
}

TDfmValue TDfmValue::OfSet(std::vector<std::string> V) {
  TDfmValue R;
  R.Kind = TDfmValueKind::Set;
  R.Names = std::move(V);
  return R;
}

TDfmValue TDfmValue::OfBinary(std::vector<std::uint8_t> V) {
  TDfmValue R;
  R.Kind = TDfmValueKind::Binary;
  R.Bytes = std::move(V);
  return R;
}

TDfmValue TDfmValue::OfList(std::vector<TDfmValue> V) {
  TDfmValue R;
  R.Kind = TDfmValueKind::List;
  R.Elements = std::move(V);
  return R;
}

TDfmValue TDfmValue::OfCollection(std::vector<TDfmItem> V) {
  TDfmValue R;
  R.Kind = TDfmValueKind::Collection;
  R.Items = std::move(V);
  return R;
}


void CheckDfmCodePage(std::string_view CodePage) {
  if (CodePage.empty()) return;
  std::string Out;
  std::size_t Bad = 0;
  bool Mapped = false;
  try {
    Mapped = CodePageToUtf8(AsciiProbe(), CodePage, Out, Bad);
  } catch (const EConvertError& E) {
    throw EReadError(E.Message());
  }
  if (!Mapped || Out != AsciiProbe())
    throw EReadError("Code page '" + std::string(CodePage) +
                     "' does not keep ASCII characters as they are, so form text cannot be read in it");
}

TDfmObject ParseDfmText(std::string_view Text, const TDfmReadOptions& Options) {
  if (Text.starts_with("\xFF\xFE") || Text.starts_with("\xFE\xFF"))
    Fail(1, "UTF-8 or 8-bit text, found a UTF-16 byte order mark");
  if (Options.CodePage.empty() || Text.starts_with(kByteOrderMark)) return TParser(Text, true).ParseRoot();
  CheckDfmCodePage(Options.CodePage);
  std::string Utf8;
  std::size_t Bad = 0;
  if (!CodePageToUtf8(Text, Options.CodePage, Utf8, Bad))
    Fail(LineAt(Text, Bad), "text in code page " + Options.CodePage + ", found byte " +
                                HexByte(static_cast<unsigned char>(Text[Bad])) + ", which it does not map");
  TParser Parser(Utf8, true);
  Parser.SetQuotedNonAsciiCanonical(true);
  TDfmObject Root = Parser.ParseRoot();
  // The text is written back as UTF-8, marked when it needs to be.
  Root.ByteOrderMark = TDfmByteOrderMark::Auto;
  return Root;
}

std::string PrintDfmText(const TDfmObject& Root, TDfmLayout Layout) { return TPrinter(Layout).Print(Root); }

bool DfmFloatValue(const TDfmValue& V, double& Out) {
  if (V.Kind == TDfmValueKind::Float) {
    Out = V.Float;
    return true;
  }
  if (V.Kind != TDfmValueKind::Ident) return false;
  if (V.Text == "INF") {
    Out = std::numeric_limits<double>::infinity();
  } else if (V.Text == "-INF") {
    Out = -std::numeric_limits<double>::infinity();
  } else if (V.Text == "NAN") {
    Out = std::numeric_limits<double>::quiet_NaN();
  } else {
    return false;
  }
  return true;
}

bool SameDfmValue(const TDfmValue& A, const TDfmValue& B) {
  double FA = 0, FB = 0;
  const bool NumA = DfmFloatValue(A, FA), NumB = DfmFloatValue(B, FB);
  if (NumA && NumB)
    return std::bit_cast<std::uint64_t>(FA) == std::bit_cast<std::uint64_t>(FB) || (std::isnan(FA) && std::isnan(FB));
  // An integer written where a float is read: equal when the float is
  // exactly that integer.
  if ((NumA && B.Kind == TDfmValueKind::Integer) || (NumB && A.Kind == TDfmValueKind::Integer)) {
    const double F = NumA ? FA : FB;
    const std::int64_t I = NumA ? B.Int : A.Int;
    constexpr std::int64_t kExact = std::int64_t{1} << 53;
    return I >= -kExact && I <= kExact &&
           std::bit_cast<std::uint64_t>(static_cast<double>(I)) == std::bit_cast<std::uint64_t>(F);
  }
  if (A.Kind != B.Kind) return false;
  switch (A.Kind) {
    case TDfmValueKind::Integer: return A.Int == B.Int;
    case TDfmValueKind::Float: return false;  // handled above
    case TDfmValueKind::String: return A.Text == B.Text;
    case TDfmValueKind::Ident: return SameIdentifier(A.Text, B.Text);
    case TDfmValueKind::Set: {
      if (A.Names.size() != B.Names.size()) return false;
      auto Folded = [](const std::vector<std::string>& Names) {
        std::vector<std::string> R;
        for (const std::string& N : Names) R.push_back(FoldIdentifier(N));
        std::sort(R.begin(), R.end());
        return R;
      };
      return Folded(A.Names) == Folded(B.Names);
    }
    case TDfmValueKind::Binary: return A.Bytes == B.Bytes;
    case TDfmValueKind::List:
      return std::equal(A.Elements.begin(), A.Elements.end(), B.Elements.begin(), B.Elements.end(), SameDfmValue);
    case TDfmValueKind::Collection:
      return std::equal(A.Items.begin(), A.Items.end(), B.Items.begin(), B.Items.end(),
                        [](const TDfmItem& X, const TDfmItem& Y) {
                          return std::equal(X.Properties.begin(), X.Properties.end(), Y.Properties.begin(),
                                            Y.Properties.end(), [](const TDfmProperty& P, const TDfmProperty& Q) {
                                              return SameIdentifier(P.Name, Q.Name) && SameDfmValue(P.Value, Q.Value);
                                            });
                        });
  }
  return false;
}

std::string DfmEncodeString(std::string_view Utf8) {
  return EncodePieces(Utf8, std::string::npos).front();
}

std::string DfmFormatFloat(double V) {
  char Buf[64];
  return std::string(FormatFloat(V, Buf));
}

}  // namespace fyndra
