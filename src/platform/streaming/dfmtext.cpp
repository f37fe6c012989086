#include <fyndra/platform/streaming/dfmtext.h>

#include <charconv>
#include <cmath>
#include <utility>

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

[[noreturn]] void Fail(int Line, const std::string& What) {
  throw EParserError("line " + std::to_string(Line) + ": expected " + What);
}

bool IsIdentStart(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_';
}

bool IsIdentChar(char C) { return IsIdentStart(C) || (C >= '0' && C <= '9'); }

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  return -1;
}

bool SameIdent(std::string_view A, std::string_view B) {
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
  } else if (Cp < 0x80) {
    Out += static_cast<char>(Cp);
  } else if (Cp < 0x800) {
    Out += static_cast<char>(0xC0 | (Cp >> 6));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else if (Cp < 0x10000) {
    Out += static_cast<char>(0xE0 | (Cp >> 12));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Cp >> 18));
    Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  }
}

// Decodes one character at Pos. Returns the code point and advances Pos; a
// byte that does not start valid UTF-8 (overlong forms, surrogates and values
// above U+10FFFF are invalid) yields its raw-byte code point.
std::uint32_t NextCodePoint(std::string_view S, std::size_t& Pos) {
  const auto B0 = static_cast<unsigned char>(S[Pos]);
  if (B0 < 0x80) {
    ++Pos;
    return B0;
  }
  int Len = 0;
  std::uint32_t Cp = 0, Min = 0;
  if ((B0 & 0xE0) == 0xC0) {
    Len = 2, Cp = B0 & 0x1F, Min = 0x80;
  } else if ((B0 & 0xF0) == 0xE0) {
    Len = 3, Cp = B0 & 0x0F, Min = 0x800;
  } else if ((B0 & 0xF8) == 0xF0) {
    Len = 4, Cp = B0 & 0x07, Min = 0x10000;
  }
  bool Ok = Len > 0 && Pos + Len <= S.size();
  for (int I = 1; Ok && I < Len; ++I) {
    const auto B = static_cast<unsigned char>(S[Pos + I]);
    if ((B & 0xC0) != 0x80) Ok = false;
    Cp = (Cp << 6) | (B & 0x3F);
  }
  if (Ok && (Cp < Min || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF))) Ok = false;
  if (!Ok) {
    ++Pos;
    return kRawByteBase + B0;
  }
  Pos += Len;
  return Cp;
}

enum class TTok { End, Ident, Integer, Float, String, Symbol };

struct TToken {
  TTok Kind = TTok::End;
  int Line = 1;
  std::string Text;  // Ident, String (decoded), Symbol, number spelling
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
    if (Text_.starts_with("\xEF\xBB\xBF")) Pos_ = 3;
    Advance();
  }

  const TToken& Peek() const { return Cur_; }
  TToken Take() {
    TToken T = std::move(Cur_);
    Advance();
    return T;
  }

  // Called while '{' is the current token: the lexer stands just past it
  // (lookahead is one token), so the hex digits that follow are read here
  // rather than as tokens. Consumes up to and including '}'.
  std::vector<std::uint8_t> TakeBinary() {
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
      } else if (C != ' ' && C != '\t' && C != '\r') {
        break;
      }
      ++Pos_;
    }
  }

  void Advance() {
    SkipBlanks();
    Cur_ = TToken{};
    Cur_.Line = Line_;
    if (Pos_ >= Text_.size()) return;
    const char C = Text_[Pos_];
    if (IsIdentStart(C)) {
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
      Fail(Line_, "a name, number, string or symbol, found character #" +
                      std::to_string(static_cast<unsigned char>(C)));
    }
  }

  void LexIdent() {
    const std::size_t Start = Pos_;
    for (;;) {
      while (Pos_ < Text_.size() && IsIdentChar(Text_[Pos_])) ++Pos_;
      // A dot joins two names (Options.AutoUpdate, Form1.Table1).
      if (Pos_ + 1 < Text_.size() && Text_[Pos_] == '.' && IsIdentStart(Text_[Pos_ + 1])) {
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
    if (Pos_ < Text_.size() && (IsIdentChar(Text_[Pos_]) || Text_[Pos_] == '.'))
      Fail(Line_, "a number, found '" + std::string(Text_.substr(Start, Pos_ - Start + 1)) + "'");
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
    if (S.empty() || S.size() > 16 || (Pos_ < Text_.size() && IsIdentChar(Text_[Pos_])))
      Fail(Line_, "1 to 16 hex digits after '$'");
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
          const char D = Text_[Pos_++];
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
  int Line_ = 1;
  TToken Cur_;
};

class TParser {
 public:
  explicit TParser(std::string_view Text) : Lex_(Text) {}

  TDfmObject ParseRoot() {
    TDfmObject Root = ParseObject(0);
    if (Lex_.Peek().Kind != TTok::End) Fail(Lex_.Peek().Line, "end of text after the last 'end', found " + Describe(Lex_.Peek()));
    return Root;
  }

 private:
  bool AtKeyword(std::string_view K) const {
    return Lex_.Peek().Kind == TTok::Ident && SameIdent(Lex_.Peek().Text, K);
  }

  bool AtSymbol(char C) const {
    return Lex_.Peek().Kind == TTok::Symbol && Lex_.Peek().Text[0] == C;
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
    if (!AtKeyword("object")) Fail(Obj.Line, "'object', found " + Describe(Lex_.Peek()));
    Lex_.Take();
    std::string First = ExpectName("object name or class name");
    if (AtSymbol(':')) {
      Lex_.Take();
      Obj.Name = std::move(First);
      Obj.ClassName = ExpectName("class name after ':'");
    } else {
      Obj.ClassName = std::move(First);
    }
    for (;;) {
      if (AtKeyword("end")) {
        Lex_.Take();
        return Obj;
      }
      if (AtKeyword("object")) {
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
    P.Name = Lex_.Take().Text;
    ExpectSymbol('=');
    P.Value = ParseValue(Depth);
    return P;
  }

  TDfmValue ParseValue(int Depth) {
    CheckDepth(Depth);
    const TToken& T = Lex_.Peek();
    const int Line = T.Line;
    TDfmValue V;
    switch (T.Kind) {
      case TTok::Integer:
        V = TDfmValue::OfInteger(T.Int);
        Lex_.Take();
        break;
      case TTok::Float:
        V = TDfmValue::OfFloat(T.Float);
        Lex_.Take();
        break;
      case TTok::Ident:
        V = TDfmValue::OfIdent(Lex_.Take().Text);
        break;
      case TTok::String: {
        std::string S = Lex_.Take().Text;
        while (AtSymbol('+')) {
          Lex_.Take();
          if (Lex_.Peek().Kind != TTok::String)
            Fail(Lex_.Peek().Line, "a string after '+', found " + Describe(Lex_.Peek()));
          S += Lex_.Take().Text;
        }
        V = TDfmValue::OfString(std::move(S));
        break;
      }
      case TTok::Symbol:
        switch (T.Text[0]) {
          case '-':
            // -INF; negative numbers are lexed whole.
            Lex_.Take();
            if (Lex_.Peek().Kind != TTok::Ident || Lex_.Peek().Text != "INF")
              Fail(Lex_.Peek().Line, "a number after '-', found " + Describe(Lex_.Peek()));
            Lex_.Take();
            V = TDfmValue::OfIdent("-INF");
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
            Lex_.Take();
            V = TDfmValue::OfSet(std::move(Names));
            break;
          }
          case '(': {
            Lex_.Take();
            std::vector<TDfmValue> Elements;
            while (!AtSymbol(')')) {
              if (Lex_.Peek().Kind == TTok::End) Fail(Lex_.Peek().Line, "')' to close the list, found end of text");
              Elements.push_back(ParseValue(Depth + 1));
            }
            Lex_.Take();
            V = TDfmValue::OfList(std::move(Elements));
            break;
          }
          case '{': {
            V = TDfmValue::OfBinary(Lex_.TakeBinary());
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
            V = TDfmValue::OfCollection(std::move(Items));
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
    return V;
  }

  TLexer Lex_;
};

void Indent(std::string& Out, int N) { Out.append(static_cast<std::size_t>(N), ' '); }

void NewLine(std::string& Out, int Ind) {
  Out += '\n';
  Indent(Out, Ind);
}

// Splits the encoded form of S into pieces of at most kMaxStringPiece
// characters (a single #nnn code is never split).
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
    const std::uint32_t Cp = NextCodePoint(S, Pos);
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

void PrintProperty(const TDfmProperty& P, int Ind, std::string& Out);

// Prints V from the current position; Ind is the indentation of the lines it
// continues on.
void PrintValue(const TDfmValue& V, int Ind, std::string& Out) {
  switch (V.Kind) {
    case TDfmValueKind::Integer:
      Out += std::to_string(V.Int);
      break;
    case TDfmValueKind::Float:
      Out += DfmFormatFloat(V.Float);
      break;
    case TDfmValueKind::Ident:
      Out += V.Text;
      break;
    case TDfmValueKind::String: {
      PrintPieces(StringPieces(V.Text), Ind, Out);
      break;
    }
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
        if (I % kBinaryBytesPerLine == 0) NewLine(Out, Ind);
        Out += kHex[V.Bytes[I] >> 4];
        Out += kHex[V.Bytes[I] & 15];
      }
      Out += '}';
      break;
    }
    case TDfmValueKind::List:
      Out += '(';
      for (const TDfmValue& E : V.Elements) {
        NewLine(Out, Ind);
        PrintValue(E, Ind + 2, Out);
      }
      Out += ')';
      break;
    case TDfmValueKind::Collection:
      Out += '<';
      for (const TDfmItem& Item : V.Items) {
        NewLine(Out, Ind);
        Out += "item";
        for (const TDfmProperty& P : Item.Properties) {
          Out += '\n';
          PrintProperty(P, Ind + 2, Out);
        }
        NewLine(Out, Ind);
        Out += "end";
      }
      Out += '>';
      break;
  }
}

void PrintProperty(const TDfmProperty& P, int Ind, std::string& Out) {
  Indent(Out, Ind);
  Out += P.Name;
  Out += " =";
  if (P.Value.Kind == TDfmValueKind::String) {
    // A string that needs more than one piece starts on a line of its own.
    const std::vector<std::string> Pieces = StringPieces(P.Value.Text);
    if (Pieces.size() > 1) {
      NewLine(Out, Ind + 2);
    } else {
      Out += ' ';
    }
    PrintPieces(Pieces, Ind + 2, Out);
    return;
  }
  Out += ' ';
  PrintValue(P.Value, Ind + 2, Out);
}

void PrintObject(const TDfmObject& Obj, int Ind, std::string& Out) {
  Indent(Out, Ind);
  Out += "object ";
  Out += Obj.Name.empty() ? Obj.ClassName : Obj.Name + ": " + Obj.ClassName;
  Out += '\n';
  for (const TDfmProperty& P : Obj.Properties) {
    PrintProperty(P, Ind + 2, Out);
    Out += '\n';
  }
  for (const TDfmObject& Child : Obj.Children) PrintObject(Child, Ind + 2, Out);
  Indent(Out, Ind);
  Out += "end\n";
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

TDfmObject ParseDfmText(std::string_view Text) { return TParser(Text).ParseRoot(); }

std::string PrintDfmText(const TDfmObject& Root) {
  std::string Out;
  PrintObject(Root, 0, Out);
  return Out;
}

std::string DfmEncodeString(std::string_view Utf8) {
  return EncodePieces(Utf8, std::string::npos).front();
}

std::string DfmFormatFloat(double V) {
  if (std::isnan(V)) return "NAN";
  if (std::isinf(V)) return V < 0 ? "-INF" : "INF";
  char Buf[64];
  auto [P, Ec] = std::to_chars(Buf, Buf + sizeof Buf, V);
  std::string S(Buf, P);
  bool HasMark = false;
  for (char& C : S) {
    if (C == 'e') C = 'E';
    if (C == '.' || C == 'E') HasMark = true;
  }
  if (!HasMark) S += ".0";
  return S;
}

}  // namespace fyndra
