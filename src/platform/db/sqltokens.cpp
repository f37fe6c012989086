#include <fyndra/platform/db/sqltokens.h>

#include <vector>

#include <fyndra/platform/db/indexdefs.h>

namespace fyndra {
namespace {

bool IsBlank(unsigned char C) { return C <= ' '; }
bool IsDigit(unsigned char C) { return C >= '0' && C <= '9'; }
bool IsNameStart(unsigned char C) {
  // Bytes of multi-byte UTF-8 characters count as letters, so that names in any
  // script stay one token.
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_' || C >= 0x80;
}
bool IsNameChar(unsigned char C) { return IsNameStart(C) || IsDigit(C) || C == '$' || C == '#'; }

bool SameAscii(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    unsigned char X = A[I], Y = B[I];
    if (X >= 'a' && X <= 'z') X -= 32;
    if (Y >= 'a' && Y <= 'z') Y -= 32;
    if (X != Y) return false;
  }
  return true;
}

// Moves Pos past blanks, control characters and comments.
void SkipBlanks(std::string_view S, std::size_t& Pos) {
  const std::size_t N = S.size();
  while (Pos < N) {
    unsigned char C = S[Pos];
    if (IsBlank(C)) {
      ++Pos;
    } else if (C == '-' && Pos + 1 < N && S[Pos + 1] == '-') {
      while (Pos < N && S[Pos] != '\n') ++Pos;
    } else if (C == '/' && Pos + 1 < N && S[Pos + 1] == '*') {
      std::size_t End = S.find("*/", Pos + 2);
      Pos = End == std::string_view::npos ? N : End + 2;
    } else {
      return;
    }
  }
}

// Reads a quoted run starting at Pos (the opening character), a doubled closing
// character standing for one. Appends the inner text to Out and returns the
// position after the closing character (the end when it is missing).
std::size_t ReadQuoted(std::string_view S, std::size_t Pos, char Close, std::string* Out) {
  const std::size_t N = S.size();
  ++Pos;
  while (Pos < N) {
    if (S[Pos] == Close) {
      if (Pos + 1 < N && S[Pos + 1] == Close && Close != ']') {
        if (Out) Out->push_back(Close);
        Pos += 2;
        continue;
      }
      return Pos + 1;
    }
    if (Out) Out->push_back(S[Pos]);
    ++Pos;
  }
  return N;
}

char CloserOf(char Open) { return Open == '[' ? ']' : Open; }
bool IsNameQuote(char C) { return C == '"' || C == '`' || C == '['; }

// Reads one name part (plain or quoted) at Pos; false when none starts there.
bool ReadNamePart(std::string_view S, std::size_t& Pos, std::string& Out, bool& Quoted) {
  if (Pos >= S.size()) return false;
  char C = S[Pos];
  if (IsNameQuote(C)) {
    Pos = ReadQuoted(S, Pos, CloserOf(C), &Out);
    Quoted = true;
    return true;
  }
  if (!IsNameStart(static_cast<unsigned char>(C))) return false;
  std::size_t Start = Pos;
  while (Pos < S.size() && IsNameChar(static_cast<unsigned char>(S[Pos]))) ++Pos;
  Out.append(S.substr(Start, Pos - Start));
  Quoted = false;
  return true;
}

// The plain word that follows Pos (after blanks and comments), and where it ends.
std::string_view PeekWord(std::string_view S, std::size_t Pos, std::size_t& End) {
  SkipBlanks(S, Pos);
  std::size_t Start = Pos;
  if (Pos >= S.size() || !IsNameStart(static_cast<unsigned char>(S[Pos]))) return {};
  while (Pos < S.size() && IsNameChar(static_cast<unsigned char>(S[Pos]))) ++Pos;
  End = Pos;
  return S.substr(Start, Pos - Start);
}

struct Keyword {
  std::string_view Word;
  std::string_view Second;  // the second word of a two-word keyword
  TSQLToken Kind;
};

constexpr Keyword Keywords[] = {
    {"SELECT", {}, stSelect},     {"FROM", {}, stFrom},         {"WHERE", {}, stWhere},
    {"GROUP", "BY", stGroupBy},   {"HAVING", {}, stHaving},     {"UNION", {}, stUnion},
    {"PLAN", {}, stPlan},         {"ORDER", "BY", stOrderBy},   {"FOR", "UPDATE", stForUpdate},
    {"AND", {}, stAnd},           {"OR", {}, stOr},             {"ASC", {}, stAscending},
    {"ASCENDING", {}, stAscending}, {"DESC", {}, stDescending}, {"DESCENDING", {}, stDescending},
    {"LIKE", {}, stPredicate},
};

}  // namespace

bool IsSQLSection(TSQLToken Token) { return Token >= stSelect && Token <= stForUpdate; }

TSQLToken NextSQLToken(std::string_view SQL, std::size_t& Pos, std::string& Token,
                       TSQLToken CurSection) {
  Token.clear();
  const std::size_t N = SQL.size();
  if (Pos > N) Pos = N;
  SkipBlanks(SQL, Pos);
  if (Pos >= N) return stEnd;

  const std::size_t Start = Pos;
  const unsigned char C = SQL[Pos];
  const unsigned char Next = Pos + 1 < N ? SQL[Pos + 1] : 0;

  if (C == '\'') {
    Pos = ReadQuoted(SQL, Pos, '\'', nullptr);
    Token.assign(SQL.substr(Start, Pos - Start));
    return stValue;
  }
  if (IsDigit(C) || (C == '.' && IsDigit(Next))) {
    while (Pos < N && IsDigit(SQL[Pos])) ++Pos;
    if (Pos < N && SQL[Pos] == '.') {
      ++Pos;
      while (Pos < N && IsDigit(SQL[Pos])) ++Pos;
    }
    if (Pos < N && (SQL[Pos] == 'e' || SQL[Pos] == 'E')) {
      std::size_t E = Pos + 1;
      if (E < N && (SQL[E] == '+' || SQL[E] == '-')) ++E;
      if (E < N && IsDigit(SQL[E])) {
        Pos = E;
        while (Pos < N && IsDigit(SQL[Pos])) ++Pos;
      }
    }
    Token.assign(SQL.substr(Start, Pos - Start));
    return stNumber;
  }
  if (C == ':') {
    if (Next == '"') {
      Pos = ReadQuoted(SQL, Pos + 1, '"', nullptr);
      Token.assign(SQL.substr(Start, Pos - Start));
      return stParam;
    }
    if (IsNameChar(Next)) {
      ++Pos;
      while (Pos < N && IsNameChar(static_cast<unsigned char>(SQL[Pos]))) ++Pos;
      Token.assign(SQL.substr(Start, Pos - Start));
      return stParam;
    }
    Pos += Next == ':' ? 2 : 1;
    Token.assign(SQL.substr(Start, Pos - Start));
    return stSymbol;
  }
  if (C == '?') {
    ++Pos;
    Token.assign(1, '?');
    return stParam;
  }
  if (IsNameStart(C) || IsNameQuote(static_cast<char>(C))) {
    bool Quoted = false, AnyQuoted = false;
    int Parts = 0;
    while (true) {
      if (!ReadNamePart(SQL, Pos, Token, Quoted)) break;
      AnyQuoted = AnyQuoted || Quoted;
      ++Parts;
      // A qualified name: T.Name, "T"."Name", T.*
      if (Pos + 1 < N && SQL[Pos] == '.') {
        unsigned char After = SQL[Pos + 1];
        if (After == '*') {
          Token += ".*";
          Pos += 2;
          return stAllFields;
        }
        if (IsNameStart(After) || IsNameQuote(static_cast<char>(After))) {
          Token += '.';
          ++Pos;
          continue;
        }
      }
      break;
    }
    if (Parts == 1 && !AnyQuoted) {
      for (const Keyword& K : Keywords) {
        if (!SameAscii(Token, K.Word)) continue;
        if (K.Second.empty()) return K.Kind;
        std::size_t End = 0;
        std::string_view Second = PeekWord(SQL, Pos, End);
        if (!SameAscii(Second, K.Second)) break;  // GROUP, ORDER, FOR alone are names
        Token += ' ';
        Token.append(Second);
        Pos = End;
        return K.Kind;
      }
    }
    return CurSection == stFrom ? stTableName : stFieldName;
  }

  // Operators and punctuation.
  static constexpr std::string_view TwoChar[] = {"<=", ">=", "<>", "!=", "=="};
  for (std::string_view Op : TwoChar) {
    if (SQL.substr(Pos, 2) == Op) {
      Pos += 2;
      Token.assign(Op);
      return stPredicate;
    }
  }
  if (C == '|' && Next == '|') {
    Pos += 2;
    Token = "||";
    return stSymbol;
  }
  ++Pos;
  Token.assign(1, static_cast<char>(C));
  if (C == '=' || C == '<' || C == '>') return stPredicate;
  if (C == '*' && CurSection == stSelect) return stAllFields;
  return stSymbol;
}

namespace {

// Reads the ORDER BY list that starts at Pos; false when an entry is not a
// plain column (with optional UPPER/LOWER, COLLATE, ASC/DESC, NULLS FIRST/LAST).
bool ReadOrderItems(std::string_view SQL, std::size_t Pos, std::vector<TOrderByItem>& Items) {
  std::string Tok;
  auto Next = [&]() { return NextSQLToken(SQL, Pos, Tok, stOrderBy); };
  auto IsWord = [&](TSQLToken K, std::string_view W) { return K == stFieldName && SameAscii(Tok, W); };
  auto IsEndOfList = [&](TSQLToken K) {
    return K == stEnd || IsSQLSection(K) || (K == stSymbol && Tok == ";") || IsWord(K, "LIMIT") ||
           IsWord(K, "OFFSET") || IsWord(K, "FETCH") || IsWord(K, "ROWS");
  };

  TSQLToken K = Next();
  while (true) {
    TOrderByItem Item;
    if (K != stFieldName) return false;
    if (IsWord(K, "UPPER") || IsWord(K, "LOWER")) {
      if (Next() != stSymbol || Tok != "(") return false;
      if (Next() != stFieldName) return false;
      Item.Field = Tok;
      if (Next() != stSymbol || Tok != ")") return false;
      Item.CaseMapped = true;
    } else {
      Item.Field = Tok;
    }
    K = Next();
    if (IsWord(K, "COLLATE")) {
      if (Next() != stFieldName) return false;
      Item.Collation = Tok;
      K = Next();
    }
    if (K == stAscending || K == stDescending) {
      Item.Descending = K == stDescending;
      K = Next();
    }
    if (IsWord(K, "NULLS")) {
      K = Next();
      if (!IsWord(K, "FIRST") && !IsWord(K, "LAST")) return false;
      K = Next();
    }
    // A qualified column orders by its own name.
    std::size_t Dot = Item.Field.rfind('.');
    if (Dot != std::string::npos) Item.Field.erase(0, Dot + 1);
    Items.push_back(std::move(Item));
    if (K == stSymbol && Tok == ",") {
      K = Next();
      continue;
    }
    return IsEndOfList(K);
  }
}

// A case-insensitive order in the dialect's own terms: an upper- or
// lower-cased column, or SQLite's NOCASE.
bool OrdersIgnoringCase(const TOrderByItem& I) { return I.CaseMapped || SameAscii(I.Collation, "NOCASE"); }

std::string JoinFields(const std::vector<TOrderByItem>& Items, bool (*Flag)(const TOrderByItem&)) {
  std::string Out;
  for (const TOrderByItem& I : Items) {
    if (Flag && !Flag(I)) continue;
    if (!Out.empty()) Out += ';';
    Out += I.Field;
  }
  return Out;
}

}  // namespace

bool ReadOrderBy(std::string_view SQL, std::vector<TOrderByItem>& Items) {
  Items.clear();
  // Find the last ORDER BY outside parentheses; a UNION after it starts a new
  // select whose order is not that one.
  std::size_t Pos = 0, OrderPos = std::string_view::npos;
  std::string Tok;
  TSQLToken Section = stUnknown;
  int Depth = 0;
  for (TSQLToken K = NextSQLToken(SQL, Pos, Tok, Section); K != stEnd;
       K = NextSQLToken(SQL, Pos, Tok, Section)) {
    if (K == stSymbol && Tok == "(") ++Depth;
    else if (K == stSymbol && Tok == ")") Depth = Depth > 0 ? Depth - 1 : 0;
    else if (IsSQLSection(K)) {
      Section = K;
      if (Depth == 0 && K == stOrderBy) OrderPos = Pos;
      else if (Depth == 0 && K == stUnion) OrderPos = std::string_view::npos;
    }
  }
  if (OrderPos == std::string_view::npos) return false;
  if (!ReadOrderItems(SQL, OrderPos, Items) || Items.empty()) {
    Items.clear();
    return false;
  }
  return true;
}

TOwned<TIndexDef> GetIndexForOrderBy(std::string_view SQL) {
  std::vector<TOrderByItem> Items;
  if (!ReadOrderBy(SQL, Items)) return nullptr;

  TOwned<TIndexDef> Def(Create<TIndexDef>(static_cast<TCollection*>(nullptr)));
  Def->SetFields(JoinFields(Items, nullptr));
  std::string Desc = JoinFields(Items, [](const TOrderByItem& I) { return I.Descending; });
  std::string CaseIns = JoinFields(Items, &OrdersIgnoringCase);
  TIndexOptions Options;
  bool AllDesc = true, AllCaseIns = true;
  for (const TOrderByItem& I : Items) {
    AllDesc = AllDesc && I.Descending;
    AllCaseIns = AllCaseIns && OrdersIgnoringCase(I);
  }
  if (AllDesc) Options.Include(ixDescending);
  if (AllCaseIns) Options.Include(ixCaseInsensitive);
  Def->SetDescFields(Desc);
  Def->SetCaseInsFields(CaseIns);
  Def->SetOptions(Options);
  return Def;
}

}  // namespace fyndra
