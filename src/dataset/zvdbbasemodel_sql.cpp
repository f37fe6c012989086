// The SQL means of the filter model: the condition text built from the
// compiled expression, the rewriting of the query's WHERE clauses, and the
// apply that closes the query, writes the new text, binds the parameters and
// opens it again.
//
// The rewriting reads the outer statement only: parentheses open a nested
// expression or sub-select, whose keywords belong to it. The generated
// condition goes into the outer WHERE of every SELECT joined by UNION at the
// outer level; an application's own condition stays beside it, joined by AND,
// and is enclosed in parentheses once when it has an OR of its own at its top
// level (otherwise AND would bind the generated condition to its first
// alternative only).
#include <fyndra/dataset/zvdbbasemodel.h>

#include <exception>
#include <string_view>

#include <fyndra/core/zvmodelcalculate.h>
#include <fyndra/platform/db/sqltokens.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

// Reads the tokens of a SQL text for the rewriting: NextSQLToken, plus the
// nesting of parentheses. Inside parentheses, section keywords, AND and OR
// are ordinary words and do not change the current section. At the outer
// level LIMIT, OFFSET, FETCH, ROWS and a semicolon end a clause as a section
// keyword does, so that a condition is never appended after them.
class TSQLReader {
 public:
  explicit TSQLReader(std::string_view Text, TSQLToken Section = stUnknown, std::size_t Pos = 0)
      : Text_(Text), Pos_(Pos), Section_(Section) {}

  TSQLToken Next() {
    Mark_ = Pos_;
    const TSQLToken Raw = NextSQLToken(Text_, Pos_, Token_, Section_);
    Kind_ = Raw;
    Boundary_ = false;
    if (Raw == stSymbol && Token_ == "(") {
      ++Depth_;
    } else if (Raw == stSymbol && Token_ == ")") {
      if (Depth_ > 0) --Depth_;
    } else if (Depth_ > 0) {
      if (IsSQLSection(Raw) || Raw == stAnd || Raw == stOr) Kind_ = stFieldName;
    } else if (IsSQLSection(Raw)) {
      Section_ = Raw;
    } else if (Raw == stSymbol && Token_ == ";") {
      Boundary_ = true;
    } else if ((Raw == stFieldName || Raw == stTableName) && IsClauseWord()) {
      Boundary_ = true;
    }
    return Kind_;
  }

  // The last token ends a clause: a section keyword, the end, or a boundary.
  bool AtClauseEnd() const { return Kind_ == stEnd || IsSQLSection(Kind_) || Boundary_; }
  bool SameToken(const TSQLReader& Other) const {
    return Kind_ == Other.Kind_ && Boundary_ == Other.Boundary_ && AnsiCompareText(Token_, Other.Token_) == 0;
  }

  TSQLToken Kind() const { return Kind_; }
  TSQLToken Section() const { return Section_; }
  // The position after the last token, and the one before it.
  std::size_t Pos() const { return Pos_; }
  std::size_t Mark() const { return Mark_; }

 private:
  // An unquoted LIMIT, OFFSET, FETCH or ROWS (a quoted name ends with its quote).
  bool IsClauseWord() const {
    const char Last = Pos_ > 0 ? Text_[Pos_ - 1] : '\0';
    if (Last == '"' || Last == ']' || Last == '`') return false;
    for (const char* Word : {"LIMIT", "OFFSET", "FETCH", "ROWS"})
      if (Token_.size() == std::char_traits<char>::length(Word) && UpperCase(Token_) == Word) return true;
    return false;
  }

  std::string_view Text_;
  std::size_t Pos_ = 0;
  std::size_t Mark_ = 0;
  TSQLToken Section_;
  TSQLToken Kind_ = stUnknown;
  std::string Token_;
  int Depth_ = 0;
  bool Boundary_ = false;
};

// Whether the tokens of Condition follow at the reader's position, compared
// by kind and, ignoring case, by text; on success the reader stands after them.
bool MatchCondition(const std::string& Condition, TSQLReader& Reader) {
  if (Condition.empty()) return false;
  TSQLReader Remembered(Condition, Reader.Section());
  TSQLReader Query = Reader;
  for (;;) {
    if (Remembered.Next() == stEnd) {
      Reader = Query;
      return true;
    }
    Query.Next();
    if (!Query.SameToken(Remembered)) return false;
  }
}

// The text from From on, with the application's condition that starts there
// enclosed in parentheses when it has an OR outside parentheses. A condition
// that is enclosed already has none, so the text is stable from apply to apply.
std::string EncloseAlternatives(const std::string& SQL, std::size_t From, TSQLToken Section) {
  TSQLReader R(SQL, Section, From);
  std::size_t End = From;  // after the condition's last token
  bool Alternatives = false;
  for (;;) {
    R.Next();
    if (R.AtClauseEnd()) break;
    if (R.Kind() == stOr) Alternatives = true;
    End = R.Pos();
  }
  if (!Alternatives) return SQL.substr(From);
  std::size_t Start = From;
  while (Start < End && static_cast<unsigned char>(SQL[Start]) <= ' ') ++Start;
  return SQL.substr(From, Start - From) + "(" + SQL.substr(Start, End - Start) + ")" + SQL.substr(End);
}

}  // namespace

// ---------------------------------------------------------------------------
// The condition text

std::string TzvCustomDBFilterModel::GetWhere(TBaseNode* Node) {
  // Built with an explicit stack: an expression of many items is a deep tree.
  struct TStep {
    TBaseNode* Node;
    const char* Text;
  };
  std::string Result;
  std::vector<TStep> Steps{{Node, nullptr}};
  while (!Steps.empty()) {
    const TStep Step = Steps.back();
    Steps.pop_back();
    if (Step.Text) {
      Result += Step.Text;
    } else if (auto* Op = dynamic_cast<TNode*>(Step.Node)) {
      const char* OpText = Op->GetOperationType() == otAnd  ? "\r\n  AND "
                           : Op->GetOperationType() == otOr ? "\r\n  OR "
                                                            : " NOT ";
      Result += " (";
      Steps.push_back({nullptr, ") "});
      Steps.push_back({Op->GetRight(), nullptr});
      Steps.push_back({nullptr, OpText});
      Steps.push_back({Op->GetLeft(), nullptr});
    } else if (auto* Leaf = dynamic_cast<TLeaf*>(Step.Node)) {
      TzvCompareItem* Item = Leaf->GetItem();
      TzvCompareModel* Model = Item->GetCompareModel();
      if (Model->IsParam()) ParamItems_.push_back(Item);
      Result += Model->GetSqlExpression();
    }
  }
  return Result;
}

void TzvCustomDBFilterModel::SetParamsValue() {
  TzvExtDataSetModel* Ext = GetExtDataSetModel();
  for (TzvCompareItem* Item : ParamItems_) {
    TzvCompareModel* Model = Item->GetCompareModel();
    Ext->SetParam(Model->GetParamName(), Model->GetParamValue());
  }
}

// ---------------------------------------------------------------------------
// Rewriting

void TzvCustomDBFilterModel::UpdateWhereClause(std::string& SQL, const std::string& Where) {
  std::string Result = SubSQLUpdateWhereClause(SQL, Where, false);
  SQL = std::move(Result);
  CurrentWhereClause_ = Where;
}

std::string TzvCustomDBFilterModel::SubSQLUpdateWhereClause(const std::string& SQL, const std::string& Where,
                                                             bool Nested) {
  TSQLReader R(SQL);
  auto SkipTo = [&R](TSQLToken Wanted) {
    while (R.Next() != Wanted && R.Kind() != stEnd) {
    }
    return R.Kind();
  };
  // A nested call rewrites only the SELECT after the next UNION.
  if (Nested && SkipTo(stUnion) == stEnd) return SQL;
  if (SkipTo(stFrom) == stEnd) return SQL;
  do {
    R.Next();
  } while (!R.AtClauseEnd());

  std::string Prefix, Suffix, Tail;
  std::size_t CutAt = SQL.size();  // where the replaced text begins; the end: nothing
  if (R.Kind() == stWhere) {
    const std::size_t BeforeWhere = R.Mark();
    CutAt = R.Pos();
    Prefix = " ";
    if (MatchCondition(CurrentWhereClause_, R)) {
      Suffix = " ";
      TSQLReader Peek = R;
      Peek.Next();
      if (Peek.AtClauseEnd()) {
        // The remembered condition is the whole condition.
        if (Where.empty()) CutAt = BeforeWhere;
        Tail = SQL.substr(R.Pos());
      } else {
        // The application's condition follows, after the joining word.
        do {
          R.Next();
        } while (R.Kind() != stAnd && R.Kind() != stOr && !R.AtClauseEnd());
        const bool Joined = R.Kind() == stAnd || R.Kind() == stOr;
        if (Where.empty() && Joined)
          Tail = SQL.substr(R.Pos());
        else if (Joined)
          Tail = SQL.substr(R.Mark(), R.Pos() - R.Mark()) + EncloseAlternatives(SQL, R.Pos(), R.Section());
        else
          Tail = SQL.substr(R.Mark());
      }
    } else {
      // The whole condition is the application's.
      Suffix = Where.empty() ? "" : " AND \r\n";
      Tail = Where.empty() ? SQL.substr(CutAt) : EncloseAlternatives(SQL, CutAt, R.Section());
    }
  } else {
    Prefix = Where.empty() ? " " : "\r\nWHERE ";
    Suffix = Where.empty() ? "" : " ";
    if (R.Kind() != stEnd) {
      CutAt = R.Mark();
      Tail = SQL.substr(CutAt);
    }
  }
  WherePrefix_ = Prefix;
  WhereSuffix_ = Suffix;
  if (CutAt >= SQL.size()) return TrimRight(SQL) + Prefix + Where;
  const std::string Sub = SubSQLUpdateWhereClause(Tail, Where, true);
  return TrimRight(std::string_view(SQL).substr(0, CutAt)) + Prefix + Where + Suffix + TrimLeft(Sub);
}

// ---------------------------------------------------------------------------
// The apply

void TzvCustomDBFilterModel::SetSQLFilter() {
  const TzvBaseModelState State = GetState();
  if (State.Contains(bsLoading) || (State.Contains(bsSetItems) && !CurrentWhereClause_.empty())) return;
  TDataSet* DataSet = GetLinkedDataSet();
  TzvExtDataSetModel* Ext = GetExtDataSetModel();
  const std::string PreviousWhere = CurrentWhereClause_;
  std::string PreviousSQL;
  bool Rewritten = false;
  ParamItems_.clear();
  try {
    const std::string Where = Filtered_ ? GetWhere(GetCalculateModel()->GetNode()) : std::string();
    if (!CurrentWhereClause_.empty() || !Where.empty()) {
      DisableFullUpdate();
      try {
        std::string SQL = Ext->GetQuerySQL();
        PreviousSQL = SQL;
        UpdateWhereClause(SQL, Where);
        Rewritten = true;
        if (DataSet) DataSet->Close();
        Ext->SetQuerySQL(SQL);
        SetParamsValue();
        if (DataSet) DataSet->Open();
      } catch (...) {
        EnableFullUpdate();
        throw;
      }
      EnableFullUpdate();
      AppliedParams_.clear();
      for (TzvCompareItem* Item : ParamItems_)
        AppliedParams_.emplace_back(Item->GetCompareModel()->GetParamName(), Item->GetCompareModel()->GetParamValue());
    }
  } catch (...) {
    ParamItems_.clear();
    CurrentWhereClause_ = PreviousWhere;
    if (Rewritten) RestoreQuery(PreviousSQL);
    throw;
  }
  ParamItems_.clear();
}

void TzvCustomDBFilterModel::RestoreQuery(const std::string& SQL) {
  TDataSet* DataSet = GetLinkedDataSet();
  TzvExtDataSetModel* Ext = GetExtDataSetModel();
  DisableFullUpdate();
  try {
    if (DataSet) DataSet->Close();
    Ext->SetQuerySQL(SQL);
    for (const auto& [Name, Value] : AppliedParams_) Ext->SetParam(Name, Value);
    if (DataSet) DataSet->Open();
  } catch (const std::exception&) {
    // The query stays closed with its previous text; the error that made the
    // apply fail is the one reported.
  }
  EnableFullUpdate();
}

void TzvCustomDBFilterModel::RemoveWhereClause() {
  TDataSet* DataSet = GetLinkedDataSet();
  TzvExtDataSetModel* Ext = GetExtDataSetModel();
  const bool WasOpen = DataSet && DataSet->GetActive();
  std::string SQL = Ext->GetQuerySQL();
  UpdateWhereClause(SQL, std::string());
  AppliedParams_.clear();
  Ext->SetQuerySQL(SQL);
  if (DataSet) DataSet->Close();
  SetParamsValue();
  if (DataSet) DataSet->SetActive(WasOpen);
}

}  // namespace fyndra
