#include <fyndra/platform/bde/table.h>

#include <algorithm>
#include <functional>

#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SNoTableName = "No table name given";
constexpr const char* SNoRowId = "Table '%s' has no row id (a view or a WITHOUT ROWID table); read it with a TQuery";
constexpr const char* SRowGone = "The record was changed or deleted by another user";
constexpr const char* SNotExact =
    "Value %s of field '%s' has more than 15 significant digits, which the column cannot store exactly";

std::string Quote(const std::string& Name) {
  std::string Out = "\"";
  for (char C : Name) {
    if (C == '"') Out += '"';
    Out += C;
  }
  return Out + "\"";
}

std::vector<std::string> SplitNames(const std::string& List) {
  std::vector<std::string> Out;
  std::size_t Start = 0;
  while (Start <= List.size()) {
    std::size_t End = List.find(';', Start);
    if (End == std::string::npos) End = List.size();
    if (End > Start) Out.push_back(Trim(List.substr(Start, End - Start)));
    Start = End + 1;
  }
  return Out;
}

std::string Join(const std::vector<std::string>& Names) {
  std::string Out;
  for (const std::string& N : Names) Out += (Out.empty() ? "" : ";") + N;
  return Out;
}

// Digits between the first and the last non-zero digit.
int SignificantDigits(const std::string& Decimal) {
  std::string Digits;
  for (char C : Decimal)
    if (C >= '0' && C <= '9') Digits += C;
  std::size_t First = Digits.find_first_not_of('0');
  if (First == std::string::npos) return 0;
  std::size_t Last = Digits.find_last_not_of('0');
  return static_cast<int>(Last - First + 1);
}

void PutRowId(std::int64_t RowId, std::vector<std::uint8_t>& Data) {
  Data.resize(8);
  for (int I = 7; I >= 0; --I, RowId >>= 8) Data[std::size_t(I)] = std::uint8_t(RowId & 0xFF);
}

bool GetRowId(const std::vector<std::uint8_t>& Data, std::int64_t& RowId) {
  if (Data.size() != 8) return false;
  std::uint64_t V = 0;
  for (std::uint8_t B : Data) V = (V << 8) | B;
  RowId = static_cast<std::int64_t>(V);
  return true;
}

}  // namespace

void TTable::TCondition::Add(const std::string& Joiner, const TCondition& Other) {
  if (Other.Text.empty()) return;
  Text = Text.empty() ? Other.Text : "(" + Text + ")" + Joiner + "(" + Other.Text + ")";
  Values.insert(Values.end(), Other.Values.begin(), Other.Values.end());
}

FYNDRA_PUBLISHED(TTable, P) {
  P.Property("TableName", &TTable::GetTableName, &TTable::SetTableName);
  P.Property("IndexDefs", &TTable::GetIndexDefs, &TTable::SetIndexDefs);
  P.Property("IndexName", &TTable::GetIndexName, &TTable::SetIndexName);
  P.Property("IndexFieldNames", &TTable::GetIndexFieldNames, &TTable::SetIndexFieldNames);
}
static const bool TTableRegistered = (RegisterClass(TTable::StaticClass()), true);

TTable::TTable(TComponent* Owner) : TKeyedDataSet<TBDEDataSet>(Owner) {}

void TTable::AfterConstruction() {
  TBDEDataSet::AfterConstruction();
  IndexDefs_ = CreateOwned<TIndexDefs>(static_cast<TPersistent*>(this));
  IndexDefs_->SetUpdater([this](TIndexDefs& Defs) { ReadIndexDefs(Defs); });
}

void TTable::SetTableName(const std::string& Value) {
  if (Value == TableName_) return;
  CheckInactive();
  TableName_ = Value;
  IndexDefs_->Clear();
  IndexDefs_->SetUpdated(false);
}

std::string TTable::QuotedTable() const { return Quote(TableName_); }

// ---------------------------------------------------------------- index definitions

void TTable::ReadIndexDefs(TIndexDefs& Defs) {
  InUpdate(Defs, [&] {
    Defs.Clear();
    IndexCollations_.clear();
    if (!TableName_.empty()) {
      TSQLiteConnection& Conn = RequireDatabase().Connection();
      // The row id alias (a single INTEGER PRIMARY KEY column) has no index of
      // its own in the schema; it orders integers, whatever its collation.
      std::vector<std::pair<std::string, std::string>> PkColumns;  // name, type
      {
        TSQLiteStatement Info(Conn, "PRAGMA table_info(" + Quote(TableName_) + ")");
        while (Info.Step())
          if (Info.ColumnInt64(5) > 0) PkColumns.emplace_back(Info.ColumnText(1), Info.ColumnText(2));
      }
      if (PkColumns.size() == 1 && AnsiSameText(PkColumns[0].second, "INTEGER")) {
        TIndexDef* D = Defs.AddIndexDef();
        D->SetName("PRIMARY");
        D->SetFields(PkColumns[0].first);
        D->SetOptions(TIndexOptions{ixPrimary, ixUnique});
        IndexCollations_.push_back({"PRIMARY", {""}});
      }
      struct TIndexRow {
        std::string Name, Origin;
        bool Unique;
      };
      std::vector<TIndexRow> Indexes;
      {
        TSQLiteStatement List(Conn, "PRAGMA index_list(" + Quote(TableName_) + ")");
        while (List.Step())
          if (List.ColumnInt64(4) == 0)  // partial indexes do not order every row
            Indexes.push_back({std::string(List.ColumnText(1)), std::string(List.ColumnText(3)),
                               List.ColumnInt64(2) != 0});
      }
      // The schema lists the newest index first; definitions follow creation order.
      std::reverse(Indexes.begin(), Indexes.end());
      for (const TIndexRow& Ix : Indexes) {
        std::vector<std::string> Fields, Desc, CaseIns, Collations;
        bool Usable = true;
        TSQLiteStatement X(Conn, "PRAGMA index_xinfo(" + Quote(Ix.Name) + ")");
        while (X.Step()) {
          if (X.ColumnInt64(5) == 0) continue;  // not a key column
          if (X.ColumnInt64(1) < 0) {
            Usable = false;  // an expression or the row id: not a field
            continue;
          }
          std::string Name(X.ColumnText(2));
          std::string Collation(X.ColumnText(4));
          Fields.push_back(Name);
          if (X.ColumnInt64(3) != 0) Desc.push_back(Name);
          // Only the collation of the current text locale orders text as the
          // case-insensitive comparisons do; NOCASE folds ASCII letters only
          // and orders by bytes, so it is an order of its own (TextKeyOrder).
          if (IsCurrentCaseInsensitiveCollation(Collation)) CaseIns.push_back(Name);
          Collations.push_back(std::move(Collation));
        }
        if (!Usable || Fields.empty()) continue;
        TIndexDef* D = Defs.AddIndexDef();
        const bool Primary = Ix.Origin == "pk";
        D->SetName(Primary ? "PRIMARY" : Ix.Name);
        D->SetFields(Join(Fields));
        D->SetDescFields(Join(Desc));
        D->SetCaseInsFields(Join(CaseIns));
        TIndexOptions O;
        if (Primary) O.Include(ixPrimary);
        if (Primary || Ix.Unique) O.Include(ixUnique);
        if (Desc.size() == Fields.size()) O.Include(ixDescending);
        if (CaseIns.size() == Fields.size()) O.Include(ixCaseInsensitive);
        D->SetOptions(O);
        IndexCollations_.push_back({D->GetName(), std::move(Collations)});
      }
    }
  });
}

// ---------------------------------------------------------------- order

std::vector<TTable::TOrderColumn> TTable::BuildOrder(const std::string& IndexName,
                                                     const std::string& FieldNames) const {
  std::vector<TOrderColumn> Order;
  const TIndexDef* Def = nullptr;
  std::vector<std::string> Fields;
  if (!IndexName.empty()) {
    Def = IndexDefs_->Find(IndexName);
    Fields = SplitNames(Def->GetFields());
  } else if (!FieldNames.empty()) {
    Fields = SplitNames(FieldNames);
    // Markers and collations come from an index over those fields when there is one.
    Def = IndexDefs_->GetIndexForFields(FieldNames, false);
    if (!Def) Def = IndexDefs_->GetIndexForFields(FieldNames, true);
  } else {
    for (int I = 0; I < IndexDefs_->Count() && !Def; ++I)
      if (IndexDefs_->GetItem(I)->GetOptions().Contains(ixPrimary)) Def = IndexDefs_->GetItem(I);
    if (Def) Fields = SplitNames(Def->GetFields());
  }
  const std::vector<std::string>* Collations = nullptr;
  if (Def)
    for (const auto& [Name, List] : IndexCollations_)
      if (AnsiSameText(Name, Def->GetName())) Collations = &List;
  TDatabase* Db = GetDatabase();
  for (std::size_t I = 0; I < Fields.size(); ++I) {
    TOrderColumn C;
    C.Name = Fields[I];
    if (Def) {
      C.Descending = Def->IsDescendingField(C.Name);
      C.CaseInsensitive = Def->IsCaseInsensitiveField(C.Name);
    }
    if (Collations && I < Collations->size()) {
      C.Collation = (*Collations)[I];
    } else if (Db && Db->GetConnected()) {
      // Without an index the column orders by its own collation.
      TSQLiteColumnInfo Info;
      if (Db->Connection().ColumnInfo(TableName_, C.Name, Info)) C.Collation = Info.Collation;
      C.CaseInsensitive = IsCurrentCaseInsensitiveCollation(C.Collation);
    }
    Order.push_back(C);
  }
  return Order;
}

void TTable::ResolveOrder(std::vector<TOrderColumn>& Order) const {
  for (TOrderColumn& C : Order) {
    C.FieldIndex = GetFieldDefs()->IndexOf(C.Name);
    if (C.FieldIndex < 0) DatabaseError(Format(dbmsg::SFieldNotFound, {C.Name}), this);
    C.Type = GetFieldDefs()->GetItem(C.FieldIndex)->GetDataType();
  }
}

std::string TTable::ColumnRef(const TOrderColumn& C) const {
  // The collation named, so that the engine compares and orders as the index
  // does and uses it.
  return Quote(C.Name) + (C.Collation.empty() ? std::string() : CollateClause(C.Collation));
}

TTextKeyOrder TTable::TextKeyOrderOf(const TOrderColumn& C) {
  // The row id alias has no collation: it holds integers.
  return C.Collation.empty() ? TTextKeyOrder::Bytes : TextKeyOrderOfCollation(C.Collation);
}

std::vector<TTextKeyOrder> TTable::DefaultOrderTextKeys() const {
  std::vector<TTextKeyOrder> Out;
  std::vector<TOrderColumn> Order = BuildOrder(IndexName_, IndexFieldNames_);
  for (const TOrderColumn& C : Order) Out.push_back(TextKeyOrderOf(C));
  return Out;
}

std::string TTable::OrderBy(bool Reverse) const {
  std::string Out = " ORDER BY ";
  for (const TOrderColumn& C : Order_) Out += ColumnRef(C) + (C.Descending != Reverse ? " DESC" : "") + ", ";
  return Out + "rowid" + (Reverse ? " DESC" : "");
}

void TTable::SetIndexName(const std::string& Value) {
  if (Value == IndexName_ && IndexFieldNames_.empty()) return;
  ChangeOrder(Value, "");
}

void TTable::SetIndexFieldNames(const std::string& Value) {
  if (Value == IndexFieldNames_ && IndexName_.empty()) return;
  ChangeOrder("", Value);
}

void TTable::ChangeOrder(const std::string& IndexName, const std::string& FieldNames) {
  if (!GetActive()) {
    IndexName_ = IndexName;
    IndexFieldNames_ = FieldNames;
    return;
  }
  CheckBrowseMode();
  // Work out the new order completely before anything changes.
  std::vector<TOrderColumn> Order = BuildOrder(IndexName, FieldNames);
  ResolveOrder(Order);
  const TRecord* Current = RecordOf(ActiveBuffer());
  const bool HadRow = Current && Current->Index != NewRow;
  const std::int64_t RowId = HadRow ? Current->RowId : 0;
  IndexName_ = IndexName;
  IndexFieldNames_ = FieldNames;
  Order_ = std::move(Order);
  Ranged_ = false;
  Range_ = RangeStart_ = RangeEnd_ = {};
  KeySearch().IndexChanged();
  TRow Row;
  if (HadRow && ReadRowById(RowId, Row)) {
    PositionAt(FullKeyOf(Row), TRelation::AtOrAfter);
    if (SyncToCursor()) return;
  }
  RestartAtStart();
  First();
}

// ---------------------------------------------------------------- conditions and statements

bool TTable::ReachesNulls(const std::vector<Variant>& Values, TRelation Relation) const {
  if (Values.empty() || Values[0].IsNull() || Order_.empty() || Relation == TRelation::Same) return false;
  const bool Forward = Relation == TRelation::After || Relation == TRelation::AtOrAfter;
  return Forward == Order_[0].Descending;  // moving towards the Nulls' end
}

TTable::TCondition TTable::NullsOf() const {
  TCondition Out;
  Out.Text = ColumnRef(Order_[0]) + " IS NULL";
  return Out;
}

TTable::TCondition TTable::KeyCondition(const std::vector<Variant>& Values, TRelation Relation,
                                        bool ExcludeNulls) const {
  TCondition Out;
  if (Values.empty()) return Out;
  TOrderColumn RowIdColumn;
  RowIdColumn.Name = "rowid";
  RowIdColumn.Type = ftLargeint;
  auto ColumnAt = [&](std::size_t I) -> const TOrderColumn& {
    return I < Order_.size() ? Order_[I] : RowIdColumn;
  };
  auto Ref = [&](std::size_t I) { return I < Order_.size() ? ColumnRef(Order_[I]) : std::string("rowid"); };
  // One comparison of column I with its value: "later", "earlier" in the
  // index's order (Null sorts first ascending, last descending), or "same".
  enum class TCmp { Later, Earlier, Same };
  auto Piece = [&](std::size_t I, TCmp Cmp, TCondition& C) {
    const TOrderColumn& Col = ColumnAt(I);
    const Variant& V = Values[I];
    const std::string R = Ref(I);
    const bool IsNull = V.IsNull();
    auto Bind = [&](const std::string& Text) {
      C.Text += Text;
      C.Values.emplace_back(V, Col.Type);
    };
    if (Cmp == TCmp::Same) {
      if (IsNull) C.Text += R + " IS NULL";
      else Bind(R + " = ?");
      return;
    }
    const bool Up = (Cmp == TCmp::Later) != Col.Descending;  // towards larger values
    if (IsNull) C.Text += Up ? R + " IS NOT NULL" : std::string("0");
    else if (Up) Bind(R + " > ?");
    else Bind("(" + R + " < ? OR " + R + " IS NULL)");
  };
  if (Relation == TRelation::Same) {
    for (std::size_t I = 0; I < Values.size(); ++I) {
      if (I) Out.Text += " AND ";
      Piece(I, TCmp::Same, Out);
    }
    return Out;
  }
  const bool Forward = Relation == TRelation::After || Relation == TRelation::AtOrAfter;
  const bool Strict = Relation == TRelation::After || Relation == TRelation::Before;
  const TCmp Dir = Forward ? TCmp::Later : TCmp::Earlier;
  // The first column's bound, stated on its own so that the engine starts the
  // index scan there; it holds for every row of the lexicographic condition.
  {
    const TOrderColumn& Col = ColumnAt(0);
    const Variant& V = Values[0];
    const bool Up = Forward != Col.Descending;
    if (!V.IsNull()) {
      if (Up) {
        Out.Text += Ref(0) + " >= ? AND ";
      } else if (ExcludeNulls) {
        Out.Text += Ref(0) + " <= ? AND ";
      } else {
        Out.Text += "(" + Ref(0) + " <= ? OR " + Ref(0) + " IS NULL) AND ";
      }
      Out.Values.emplace_back(V, Col.Type);
    } else if (!Up) {
      Out.Text += Ref(0) + " IS NULL AND ";
    }
  }
  // (c1 later) OR (c1 same AND ((c2 later) OR (c2 same AND … last)))
  std::function<void(std::size_t)> Level = [&](std::size_t I) {
    const bool LastLevel = I + 1 == Values.size();
    Out.Text += "(";
    Piece(I, Dir, Out);
    Out.Text += " OR (";
    Piece(I, TCmp::Same, Out);
    if (LastLevel) {
      if (Strict) Out.Text += " AND 0";
    } else {
      Out.Text += " AND ";
      Level(I + 1);
    }
    Out.Text += "))";
  };
  Level(0);
  return Out;
}

void TTable::Recycle(std::unique_ptr<TSQLiteStatement>& Statement) const {
  if (!Statement) return;
  Statement->Reset();
  if (Recycled_.size() == RecycledLimit) Recycled_.erase(Recycled_.begin());
  Recycled_.push_back(std::move(Statement));
}

void TTable::ClearRecycled() const { Recycled_.clear(); }

TTable::TCondition TTable::Where(const TCondition* Position, TRangeBound Inside) const {
  TCondition W;
  if (Ranged_) W.Add(" AND ", Inside == TRangeBound::Start ? RangeEnd_ : Inside == TRangeBound::End ? RangeStart_ : Range_);
  if (Position) W.Add(" AND ", *Position);
  return W;
}

std::unique_ptr<TSQLiteStatement> TTable::Prepare(const std::string& SQL, const TCondition& Cond) const {
  TDatabase* Db = GetDatabase();
  if (!Db) DatabaseError(SNoTableName, this);
  std::string Text = SQL;
  if (!Cond.Text.empty()) {
    // Insert the condition before an ORDER BY / LIMIT tail.
    std::size_t Tail = Text.find(" ORDER BY ");
    if (Tail == std::string::npos) Tail = Text.size();
    Text.insert(Tail, " WHERE " + Cond.Text);
  }
  std::unique_ptr<TSQLiteStatement> S;
  for (auto It = Recycled_.rbegin(); It != Recycled_.rend(); ++It)
    if ((*It)->SQL() == Text) {
      S = std::move(*It);
      Recycled_.erase(std::next(It).base());
      break;
    }
  try {
    if (!S) S = std::make_unique<TSQLiteStatement>(Db->Connection(), Text);
    for (std::size_t I = 0; I < Cond.Values.size(); ++I)
      S->Bind(static_cast<int>(I + 1), Cond.Values[I].first, Cond.Values[I].second);
  } catch (const EDatabaseError& E) {
    if (E.Message().find("no such column: rowid") != std::string::npos)
      DatabaseError(Format(SNoRowId, {TableName_}), this);
    DatabaseError(E.Message(), this);
  }
  return S;
}

std::vector<Variant> TTable::FullKeyOf(const Variant* Values, std::int64_t RowId) const {
  std::vector<Variant> Key;
  for (const TOrderColumn& C : Order_) Key.push_back(Values[std::size_t(C.FieldIndex)]);
  Key.push_back(Variant(RowId));
  return Key;
}

std::vector<Variant> TTable::FullKeyOf(const TRowRef& Row) const {
  std::vector<Variant> Key;
  for (const TOrderColumn& C : Order_) Key.push_back(Row.Value(std::size_t(C.FieldIndex)));
  Key.push_back(Variant(Row.RowId));
  return Key;
}

bool TTable::ReadRowById(std::int64_t RowId, TRow& Row) const {
  TCondition ById;
  ById.Text = "rowid = ?";
  ById.Values.emplace_back(Variant(RowId), ftLargeint);
  auto S = Prepare("SELECT rowid, * FROM " + QuotedTable(), Where(&ById));
  const bool Found = S->Step();
  if (Found) Row = ReadRow(*S);
  Recycle(S);
  return Found;
}

TSQLiteStatement& TTable::OpenStatement(TDatabase& Database) {
  if (TableName_.empty()) DatabaseError(SNoTableName, this);
  {
    // A view answers for "rowid" without having one; it cannot be edited by it.
    TSQLiteStatement Kind(Database.Connection(),
                          "SELECT type FROM sqlite_schema WHERE name = ?1 COLLATE NOCASE "
                          "UNION ALL SELECT type FROM sqlite_temp_schema WHERE name = ?1 COLLATE NOCASE");
    Kind.Bind(1, Variant(TableName_), ftString);
    if (Kind.Step() && Kind.ColumnText(0) == "view") DatabaseError(Format(SNoRowId, {TableName_}), this);
  }
  IndexDefs_->Update();
  Order_ = BuildOrder(IndexName_, IndexFieldNames_);
  Ranged_ = false;
  Range_ = RangeStart_ = RangeEnd_ = {};
  KeySearch().IndexChanged();
  Recycle(Backward_);
  AtStart_ = true;
  Recycle(Forward_);
  Forward_ = Prepare("SELECT rowid, * FROM " + QuotedTable() + OrderBy(false), Where(nullptr));
  ForwardNullsPending_ = false;
  return *Forward_;
}

void TTable::InternalInitFieldDefs() {
  TBDEDataSet::InternalInitFieldDefs();
  if (IsCursorOpen()) ResolveOrder(Order_);
}

void TTable::CloseStatement() {
  // Closed, the table may be given another database: nothing is kept.
  Forward_.reset();
  ForwardNullsPending_ = false;
  Backward_.reset();
  ClearRecycled();
  Ranged_ = false;
  Range_ = RangeStart_ = RangeEnd_ = {};
}

void TTable::ReleaseStatements() {
  TBDEDataSet::ReleaseStatements();
  Forward_.reset();
  ForwardNullsPending_ = false;
  Backward_.reset();
  ClearRecycled();
}

// ---------------------------------------------------------------- the window

void TTable::RestartAtStart() {
  auto S = Prepare("SELECT rowid, * FROM " + QuotedTable() + OrderBy(false), Where(nullptr));
  StartWindow(S.get());
  Recycle(Forward_);
  Forward_ = std::move(S);
  ForwardNullsPending_ = false;
  Recycle(Backward_);
  AtStart_ = true;
}

void TTable::PositionAt(const std::vector<Variant>& Key, TRelation Relation, bool InRange) {
  // Past the rows on the near side of the key come the Nulls (a descending
  // first column): read by a statement of their own once those end.
  const bool SplitNulls = ReachesNulls(Key, Relation);
  TCondition Position = KeyCondition(Key, Relation, SplitNulls);
  auto S = Prepare("SELECT rowid, * FROM " + QuotedTable() + OrderBy(false),
                   Where(&Position, InRange ? TRangeBound::Start : TRangeBound::None));
  StartWindow(S.get());
  Recycle(Forward_);
  Forward_ = std::move(S);
  Recycle(Backward_);
  ForwardNullsPending_ = SplitNulls;
  AtStart_ = false;
  if (FetchRow()) Cursor_ = Base_;
  else Cursor_ = WindowEnd();
}

bool TTable::FetchPriorRow() const {
  if (AtStart_) return false;
  if (!Backward_) {
    if (Rows_.empty()) {
      // Positioned past the end: read the whole table backwards.
      BackwardNullsPending_ = false;
      Backward_ = Prepare("SELECT rowid, * FROM " + QuotedTable() + OrderBy(true), Where(nullptr));
    } else {
      // Before the window's first row come the rows on the near side of its
      // key, then the Nulls (an ascending first column): those are read by a
      // statement of their own once the others end.
      const std::vector<Variant> Key = FullKeyOf(Rows_.front());
      BackwardNullsPending_ = ReachesNulls(Key, TRelation::Before);
      TCondition Before = KeyCondition(Key, TRelation::Before, BackwardNullsPending_);
      Backward_ = Prepare("SELECT rowid, * FROM " + QuotedTable() + OrderBy(true), Where(&Before, TRangeBound::End));
    }
  }
  while (!Backward_->Step()) {
    if (BackwardNullsPending_) {
      BackwardNullsPending_ = false;
      const TCondition Nulls = NullsOf();
      Recycle(Backward_);
      Backward_ = Prepare("SELECT rowid, * FROM " + QuotedTable() + OrderBy(true), Where(&Nulls));
      continue;
    }
    Recycle(Backward_);
    AtStart_ = true;
    return false;
  }
  PrependRow(*Backward_);
  --Base_;
  return true;
}

TSQLiteStatement* TTable::NextForwardStatement() const {
  if (!ForwardNullsPending_ || !Forward_ || ForwardStatement() != Forward_.get()) return nullptr;
  ForwardNullsPending_ = false;
  const TCondition Nulls = NullsOf();
  std::unique_ptr<TSQLiteStatement> More =
      Prepare("SELECT rowid, * FROM " + QuotedTable() + OrderBy(false), Where(&Nulls));
  Recycle(Forward_);
  Forward_ = std::move(More);
  return Forward_.get();
}

void TTable::LimitWindow() {
  if (Rows_.size() < WindowLimit || Cursor_ < Base_ || Cursor_ >= WindowEnd()) return;
  // Reading on forwards: the statement that fills the window's end reads on,
  // and the rows far behind the cursor are dropped (read again by key when
  // needed). Starting a new statement here would cost a seek and a test of
  // the position's condition on every row it reads.
  const std::size_t Behind = static_cast<std::size_t>(Cursor_ - Base_);
  if (ForwardStatement() && !ForwardDone() && Behind >= WindowLimit / 2) {
    const std::size_t Drop = Behind - WindowLimit / 4;
    Rows_.DropFront(Drop);
    Base_ += static_cast<std::int64_t>(Drop);
    Recycle(Backward_);
    AtStart_ = false;
    return;
  }
  const std::int64_t RowId = RowAt(Cursor_).RowId;
  PositionAt(FullKeyOf(RowAt(Cursor_)), TRelation::AtOrAfter, true);
  // Gone meanwhile (another connection deleted it): the cursor stands just
  // before its successor, so that neither direction skips a row.
  if (Cursor_ >= WindowEnd() || RowAt(Cursor_).RowId != RowId) Cursor_ = Base_ - 1;
}

void TTable::InternalLast() {
  // The last rows are read backwards from the end, without reading the rest.
  StartWindow(nullptr);
  SetForwardDone();
  Recycle(Forward_);
  ForwardNullsPending_ = false;
  Recycle(Backward_);
  AtStart_ = false;
  Cursor_ = WindowEnd();
}

std::int64_t TTable::FindInWindow(std::int64_t RowId, std::int64_t Hint) const {
  if (Hint != NewRow && Hint >= Base_ && Hint < WindowEnd() && RowAt(Hint).RowId == RowId) return Hint;
  for (std::int64_t I = Base_; I < WindowEnd(); ++I)
    if (RowAt(I).RowId == RowId) return I;
  return NewRow;
}

void TTable::Reposition(std::int64_t RowId) {
  TRow Row;
  if (ReadRowById(RowId, Row)) {
    PositionAt(FullKeyOf(Row), TRelation::AtOrAfter);
  } else {
    RestartAtStart();
  }
}

void TTable::InternalSetToRecord(TRecordBuffer Buffer) {
  const TRecord* R = RecordOf(Buffer);
  if (!R || R->Index == NewRow) return;
  std::int64_t Index = FindInWindow(R->RowId, R->Index);
  if (Index != NewRow) Cursor_ = Index;
  else Reposition(R->RowId);  // the window moved since the record was read
}

int TTable::InternalGetRecordCount() const {
  auto S = Prepare("SELECT count(*) FROM " + QuotedTable(), Where(nullptr));
  S->Step();
  return static_cast<int>(S->ColumnInt64(0));
}

// ---------------------------------------------------------------- bookmarks

void TTable::GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const {
  const TRecord* R = RecordOf(Buffer);
  if (R && R->Index != NewRow) PutRowId(R->RowId, Data);
}

bool TTable::InternalGotoBookmark(const std::vector<std::uint8_t>& Data) {
  std::int64_t RowId = 0;
  if (!GetRowId(Data, RowId)) return false;
  std::int64_t Index = FindInWindow(RowId, NewRow);
  if (Index != NewRow) {
    Cursor_ = Index;
    return true;
  }
  TRow Row;
  if (!ReadRowById(RowId, Row)) return false;
  PositionAt(FullKeyOf(Row), TRelation::AtOrAfter);
  return Cursor_ >= Base_ && Cursor_ < WindowEnd();
}

bool TTable::InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const {
  std::int64_t RowId = 0;
  if (!GetRowId(Data, RowId)) return false;
  if (FindInWindow(RowId, NewRow) != NewRow) return true;
  TRow Row;
  return ReadRowById(RowId, Row);
}

int TTable::InternalCompareBookmarks(const std::vector<std::uint8_t>& A, const std::vector<std::uint8_t>& B) const {
  std::int64_t X = 0, Y = 0;
  GetRowId(A, X);
  GetRowId(B, Y);
  if (X == Y) return 0;
  std::int64_t IX = FindInWindow(X, NewRow), IY = FindInWindow(Y, NewRow);
  if (IX != NewRow && IY != NewRow) return IX < IY ? -1 : 1;
  return X < Y ? -1 : 1;
}

// ---------------------------------------------------------------- key search and ranges

bool TTable::GetFieldData(TField* Field, void* Buffer) const {
  if (GetState() == dsSetKey) return KeySearch().GetFieldData(Field, Buffer);
  return TBDEDataSet::GetFieldData(Field, Buffer);
}

void TTable::SetFieldData(TField* Field, const void* Buffer) {
  if (GetState() == dsSetKey) KeySearch().SetFieldData(Field, Buffer);
  else TBDEDataSet::SetFieldData(Field, Buffer);
}

void TTable::GetKeyFields(std::vector<TField*>& Fields) const {
  for (const TOrderColumn& C : Order_) Fields.push_back(FieldByName(C.Name));
}

bool TTable::SeekKey(std::span<const Variant> Key) {
  PositionAt(std::vector<Variant>(Key.begin(), Key.end()), TRelation::AtOrAfter);
  return Cursor_ >= Base_ && Cursor_ < WindowEnd();
}

TTable::TCondition TTable::StartsUpperCondition(const std::string& UpperPrefix) const {
  TCondition Out;
  if (Order_.empty() || !Order_[0].CaseInsensitive || Order_[0].Descending) return Out;
  Out.Text = "fyndra_starts_upper(" + ColumnRef(Order_[0]) + ", ?)";
  Out.Values.emplace_back(Variant(UpperPrefix), ftString);
  return Out;
}

bool TTable::SkipToStartingUpper(const std::string& UpperPrefix, const Variant& End) {
  const TCondition Starts = StartsUpperCondition(UpperPrefix);
  if (GetState() != dsBrowse || Starts.Text.empty() || GetEof()) return false;
  const TRecord* Current = RecordOf(ActiveBuffer());
  TRow Row;
  if (!Current || Current->Index == NewRow || !ReadRowById(Current->RowId, Row)) return false;
  TCondition After = KeyCondition(FullKeyOf(Row), TRelation::After);
  After.Text += " AND " + ColumnRef(Order_[0]) + " <= ?";
  After.Values.emplace_back(End, Order_[0].Type);
  After.Add(" AND ", Starts);
  // Only the row id is read: the index answers the whole statement.
  auto S = Prepare("SELECT rowid FROM " + QuotedTable() + OrderBy(false) + " LIMIT 1", Where(&After));
  const bool Found = S->Step();
  const std::int64_t RowId = Found ? S->ColumnInt64(0) : 0;
  Recycle(S);
  CheckBrowseMode();
  if (Found && ReadRowById(RowId, Row)) {
    PositionAt(FullKeyOf(Row), TRelation::AtOrAfter);
  } else {
    PositionAt({End}, TRelation::After);
  }
  if (Cursor_ >= Base_ && Cursor_ < WindowEnd() && MoveToCursorOrAfter(nullptr)) return true;
  Last();
  Next();
  return true;
}

bool TTable::CursorHasKey(std::span<const Variant> Key) const {
  if (Cursor_ < Base_ || Cursor_ >= WindowEnd()) return false;
  const TRowRef Row = RowAt(Cursor_);
  for (std::size_t I = 0; I < Key.size(); ++I) {
    const TOrderColumn& C = Order_[I];
    const Variant V = Row.Value(std::size_t(C.FieldIndex));
    const Variant& K = Key[I];
    if (V.IsNull() || K.IsNull()) {
      if (V.IsNull() != K.IsNull()) return false;
      continue;
    }
    if (V.VarType() == varString && K.VarType() == varString) {
      if (!SameKeyText(C, V.RawString(), K.RawString())) return false;
    } else if (VarCompareValue(V, K) != vrEqual) {
      return false;
    }
  }
  return true;
}

bool TTable::SameKeyText(const TOrderColumn& C, const std::string& A, const std::string& B) const {
  // The engine's own rules: bytes, NOCASE's folding of ASCII letters, or the
  // case-insensitive collation of the locale its name carries.
  std::string Locale;
  if (IsCaseInsensitiveCollation(C.Collation, &Locale)) return AnsiCompareUpperTextIn(Locale, A, B) == 0;
  switch (TextKeyOrderOf(C)) {
    case TTextKeyOrder::Bytes:
      return A == B;
    case TTextKeyOrder::AsciiFolded: {
      if (A.size() != B.size()) return false;
      for (std::size_t J = 0; J < A.size(); ++J) {
        char X = A[J], Y = B[J];
        if (X >= 'A' && X <= 'Z') X = char(X + 32);
        if (Y >= 'A' && Y <= 'Z') Y = char(Y + 32);
        if (X != Y) return false;
      }
      return true;
    }
    default: {
      // Any other collation is the engine's to apply.
      TDatabase* Db = GetDatabase();
      if (!Db) DatabaseError(SNoTableName, this);
      TSQLiteStatement S(Db->Connection(), "SELECT ?1 = ?2" + CollateClause(C.Collation));
      S.Bind(1, Variant(A), ftString);
      S.Bind(2, Variant(B), ftString);
      return S.Step() && S.ColumnInt64(0) != 0;
    }
  }
}

void TTable::SetKeyRange(std::span<const Variant> Start, std::span<const Variant> End) {
  // A bound with a value excludes the Nulls of the first key column, so the
  // other bound need not state them (and is then one the engine can bound its
  // index scan by).
  const std::vector<Variant> StartKey(Start.begin(), Start.end()), EndKey(End.begin(), End.end());
  auto HasValue = [](const std::vector<Variant>& Key) { return !Key.empty() && !Key[0].IsNull(); };
  TCondition RangeStart = KeyCondition(StartKey, TRelation::AtOrAfter, HasValue(EndKey));
  TCondition RangeEnd = KeyCondition(EndKey, TRelation::AtOrBefore, HasValue(StartKey));
  std::optional<std::string> Prefix = std::move(NextRangePrefix_);
  NextRangePrefix_.reset();
  const TCondition Starts = Prefix ? StartsUpperCondition(*Prefix) : TCondition();
  TCondition Range;
  Range.Add(" AND ", RangeStart);
  Range.Add(" AND ", RangeEnd);
  Range.Add(" AND ", Starts);
  RangeStart.Add(" AND ", Starts);
  RangeEnd.Add(" AND ", Starts);
  TCondition Previous = std::move(Range_), PreviousStart = std::move(RangeStart_), PreviousEnd = std::move(RangeEnd_);
  const bool WasRanged = Ranged_;
  Range_ = std::move(Range);
  RangeStart_ = std::move(RangeStart);
  RangeEnd_ = std::move(RangeEnd);
  Ranged_ = true;
  try {
    RestartAtStart();
  } catch (...) {
    Range_ = std::move(Previous);
    RangeStart_ = std::move(PreviousStart);
    RangeEnd_ = std::move(PreviousEnd);
    Ranged_ = WasRanged;
    throw;
  }
}

void TTable::CancelKeyRange() {
  Ranged_ = false;
  Range_ = RangeStart_ = RangeEnd_ = {};
  const TRecord* Current = RecordOf(ActiveBuffer());
  if (Current && Current->Index != NewRow) Reposition(Current->RowId);
  else RestartAtStart();
}

TOwned<TIndexDef> TTable::PSGetDefaultOrder() const {
  if (!IndexDefs_->GetUpdated() && !TableName_.empty()) IndexDefs_->Update();
  auto Copy = [](const TIndexDef* D) {
    TOwned<TIndexDef> Out = CreateOwned<TIndexDef>(static_cast<TCollection*>(nullptr));
    Out->Assign(const_cast<TIndexDef*>(D));
    return Out;
  };
  if (!IndexName_.empty()) {
    int I = IndexDefs_->IndexOf(IndexName_);
    return I >= 0 ? Copy(IndexDefs_->GetItem(I)) : nullptr;
  }
  std::vector<TOrderColumn> Order = BuildOrder("", IndexFieldNames_);
  if (Order.empty()) return nullptr;
  if (IndexFieldNames_.empty())
    for (int I = 0; I < IndexDefs_->Count(); ++I)
      if (IndexDefs_->GetItem(I)->GetOptions().Contains(ixPrimary)) return Copy(IndexDefs_->GetItem(I));
  TOwned<TIndexDef> Out = CreateOwned<TIndexDef>(static_cast<TCollection*>(nullptr));
  std::vector<std::string> Fields, Desc, CaseIns;
  for (const TOrderColumn& C : Order) {
    Fields.push_back(C.Name);
    if (C.Descending) Desc.push_back(C.Name);
    if (C.CaseInsensitive) CaseIns.push_back(C.Name);
  }
  Out->SetFields(Join(Fields));
  Out->SetDescFields(Join(Desc));
  Out->SetCaseInsFields(Join(CaseIns));
  return Out;
}

// ---------------------------------------------------------------- editing

void TTable::InternalInitRecord(TRecordBuffer Buffer) {
  TRecord* R = RecordOf(Buffer);
  R->Values.assign(std::size_t(GetFieldDefs()->Count()), Null());
  R->InValues = true;
  R->RowId = 0;
  R->Index = NewRow;
}

void TTable::CheckExactFit(const TFieldDef* Def, const Variant& Value) const {
  if (Value.IsNull() || Value.IsEmpty()) return;
  if (Def->GetDataType() != ftBCD && Def->GetDataType() != ftFMTBcd) return;
  // NUMERIC columns keep the engine's REAL: refuse what it would round.
  std::string Text = BcdToEngineText(Value.AsBcd());
  if (SignificantDigits(Text) > 15) DatabaseError(Format(SNotExact, {Text, Def->GetName()}), this);
}

void TTable::InternalPost() {
  TRecord* R = RecordOf(ActiveBuffer());
  if (!R) DatabaseError(dbmsg::SNotEditing, this);
  TFieldDefs* Defs = GetFieldDefs();
  TDatabase* Db = GetDatabase();
  if (!Db) DatabaseError(SNoTableName, this);
  TSQLiteConnection& Conn = Db->Connection();
  std::int64_t RowId = R->RowId;
  try {
    for (int I = 0; I < Defs->Count(); ++I) CheckExactFit(Defs->GetItem(I), R->Values[std::size_t(I)]);
    if (GetState() == dsInsert) {
      // Null columns are left out, so that defaults and the row id apply.
      std::string Columns, Marks;
      std::vector<int> Bound;
      for (int I = 0; I < Defs->Count(); ++I) {
        const Variant& V = R->Values[std::size_t(I)];
        if (V.IsNull() || V.IsEmpty()) continue;
        Columns += (Columns.empty() ? "" : ", ") + Quote(Defs->GetItem(I)->GetName());
        Marks += Marks.empty() ? "?" : ", ?";
        Bound.push_back(I);
      }
      std::string SQL = "INSERT INTO " + QuotedTable() +
                        (Bound.empty() ? std::string(" DEFAULT VALUES") : " (" + Columns + ") VALUES (" + Marks + ")");
      TSQLiteStatement S(Conn, SQL);
      for (std::size_t B = 0; B < Bound.size(); ++B)
        S.Bind(int(B + 1), R->Values[std::size_t(Bound[B])], Defs->GetItem(Bound[B])->GetDataType());
      S.Execute();
      RowId = Conn.LastInsertRowId();
    } else {
      std::string Sets;
      for (int I = 0; I < Defs->Count(); ++I)
        Sets += (Sets.empty() ? "" : ", ") + Quote(Defs->GetItem(I)->GetName()) + " = ?";
      TSQLiteStatement S(Conn, "UPDATE " + QuotedTable() + " SET " + Sets + " WHERE rowid = ?");
      for (int I = 0; I < Defs->Count(); ++I)
        S.Bind(I + 1, R->Values[std::size_t(I)], Defs->GetItem(I)->GetDataType());
      S.Bind(Defs->Count() + 1, Variant(RowId), ftLargeint);
      if (S.Execute() == 0) DatabaseError(SRowGone, this);
    }
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
  // Show the record as the file now holds it, where the order puts it.
  Reposition(RowId);
}

void TTable::InternalDelete() {
  TRecord* R = RecordOf(ActiveBuffer());
  if (!R || R->Index == NewRow) DatabaseError(dbmsg::SDataSetEmpty, this);
  TDatabase* Db = GetDatabase();
  if (!Db) DatabaseError(SNoTableName, this);
  try {
    TSQLiteStatement S(Db->Connection(), "DELETE FROM " + QuotedTable() + " WHERE rowid = ?");
    S.Bind(1, Variant(R->RowId), ftLargeint);
    if (S.Execute() == 0) DatabaseError(SRowGone, this);
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
  const std::int64_t Index = FindInWindow(R->RowId, R->Index);
  if (Index != NewRow) {
    Rows_.Erase(std::size_t(Index - Base_));
    Cursor_ = Index;  // now the record after the deleted one
  } else {
    RestartAtStart();
  }
}

}  // namespace fyndra
