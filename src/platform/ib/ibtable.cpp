#include <fyndra/platform/ib/ibtable.h>

#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SNoTableName = "No table name given";
constexpr const char* STableNotFound = "Table '%s' not found";
constexpr const char* SColumnNotFound = "Field '%s' not found in table '%s'";

// Case-insensitive attribute of a collation (RDB$COLLATION_ATTRIBUTES).
constexpr int CollationCaseInsensitive = 2;
// Character sets NONE, OCTETS, ASCII, UNICODE_FSS, UTF8: ids 0 to 4.
constexpr int CharSetNone = 0, CharSetUtf8 = 4;

// Runs a one-parameter system-table query and hands every row to Row.
template <class F>
void ForEachRow(TIBClientTransaction& T, const std::string& SQL, const std::vector<std::string>& Args, F&& Row) {
  TIBClientStatement S(T, SQL);
  for (std::size_t I = 0; I < Args.size(); ++I) S.SetParam(static_cast<int>(I), Variant(Args[I]));
  S.Open(T);
  while (S.Fetch()) Row(S);
}

std::string Text(const TIBClientStatement& S, int Col) {
  const Variant V = S.Value(Col);
  return V.IsNull() ? std::string() : TrimRight(V.AsString());
}

// Splits a semicolon-separated field list, dropping empty names.
std::vector<std::string> FieldList(const std::string& Names) {
  std::vector<std::string> Out;
  std::size_t Start = 0;
  while (Start <= Names.size()) {
    const std::size_t End = std::min(Names.find(';', Start), Names.size());
    const std::string Name = Trim(Names.substr(Start, End - Start));
    if (!Name.empty()) Out.push_back(Name);
    Start = End + 1;
  }
  return Out;
}

}  // namespace

FYNDRA_PUBLISHED(TIBTable, P) {
  P.Property("TableName", &TIBTable::GetTableName, &TIBTable::SetTableName);
  P.Property("IndexDefs", &TIBTable::GetIndexDefs, &TIBTable::SetIndexDefs);
  P.Property("IndexName", &TIBTable::GetIndexName, &TIBTable::SetIndexName);
  P.Property("IndexFieldNames", &TIBTable::GetIndexFieldNames, &TIBTable::SetIndexFieldNames);
}
static const bool TIBTableRegistered = (RegisterClass(TIBTable::StaticClass()), true);

TIBTable::TIBTable(TComponent* Owner) : TIBCustomDataSet(Owner) {}

void TIBTable::AfterConstruction() {
  TIBCustomDataSet::AfterConstruction();
  IndexDefs_ = CreateOwned<TIndexDefs>(static_cast<TPersistent*>(this));
  IndexDefs_->SetUpdater([this](TIndexDefs& Defs) { ReadIndexDefs(Defs); });
}

void TIBTable::SetTableName(const std::string& Value) {
  if (Value == TableName_) return;
  CheckInactive();
  TableName_ = Value;
  IndexDefs_->Clear();
  IndexDefs_->SetUpdated(false);
  StatementChanged();
}

std::string TIBTable::ResolveTableName(TIBClientTransaction& T) const {
  if (TableName_.empty()) IBError(SNoTableName, this);
  std::string Found;
  ForEachRow(T,
             "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = ? OR "
             "RDB$RELATION_NAME = UPPER(?) ORDER BY CASE WHEN RDB$RELATION_NAME = ? THEN 0 ELSE 1 END",
             {TableName_, TableName_, TableName_}, [&](const TIBClientStatement& S) {
               if (Found.empty()) Found = Text(S, 0);
             });
  if (Found.empty()) IBError(Format(STableNotFound, {TableName_}), this);
  return Found;
}

std::string TIBTable::ResolveColumn(TIBClientTransaction& T, const std::string& Table, const std::string& Name) const {
  std::string Found;
  ForEachRow(T,
             "SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = ? AND "
             "(RDB$FIELD_NAME = ? OR RDB$FIELD_NAME = UPPER(?)) "
             "ORDER BY CASE WHEN RDB$FIELD_NAME = ? THEN 0 ELSE 1 END",
             {Table, Name, Name, Name}, [&](const TIBClientStatement& S) {
               if (Found.empty()) Found = Text(S, 0);
             });
  if (Found.empty()) IBError(Format(SColumnNotFound, {Name, Table}), this);
  return Found;
}

void TIBTable::ReadIndexDefs(TIndexDefs& Defs) {
  Defs.BeginUpdate();
  try {
    Defs.Clear();
    ByteOrdered_.clear();
    if (!TableName_.empty()) {
      TIBClientTransaction& T = RequireTransaction().Handle();
      const std::string Table = ResolveTableName(T);
      // One row per key field, in index then key order.
      const std::string Query =
          "SELECT TRIM(i.RDB$INDEX_NAME), COALESCE(i.RDB$UNIQUE_FLAG, 0), COALESCE(i.RDB$INDEX_TYPE, 0), "
          "i.RDB$EXPRESSION_SOURCE, TRIM(rc.RDB$CONSTRAINT_TYPE), TRIM(s.RDB$FIELD_NAME), "
          "COALESCE(BIN_AND(c.RDB$COLLATION_ATTRIBUTES, " +
          std::to_string(CollationCaseInsensitive) +
          "), 0), COALESCE(rf.RDB$COLLATION_ID, f.RDB$COLLATION_ID, 0), f.RDB$CHARACTER_SET_ID "
          "FROM RDB$INDICES i "
          "LEFT JOIN RDB$RELATION_CONSTRAINTS rc ON rc.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
          "LEFT JOIN RDB$INDEX_SEGMENTS s ON s.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
          "LEFT JOIN RDB$RELATION_FIELDS rf ON rf.RDB$RELATION_NAME = i.RDB$RELATION_NAME "
          "  AND rf.RDB$FIELD_NAME = s.RDB$FIELD_NAME "
          "LEFT JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE "
          "LEFT JOIN RDB$COLLATIONS c ON c.RDB$CHARACTER_SET_ID = f.RDB$CHARACTER_SET_ID "
          "  AND c.RDB$COLLATION_ID = COALESCE(rf.RDB$COLLATION_ID, f.RDB$COLLATION_ID) "
          "WHERE i.RDB$RELATION_NAME = ? AND COALESCE(i.RDB$INDEX_INACTIVE, 0) = 0 "
          "ORDER BY i.RDB$INDEX_ID, s.RDB$FIELD_POSITION";
      TIndexDef* Current = nullptr;
      std::string Fields, CaseIns;
      bool AllCaseIns = true;
      auto Finish = [&] {
        if (!Current) return;
        Current->SetFields(Fields);
        if (!Fields.empty() && AllCaseIns) {
          TIndexOptions O = Current->GetOptions();
          O.Include(ixCaseInsensitive);
          Current->SetOptions(O);
        } else if (!CaseIns.empty()) {
          Current->SetCaseInsFields(CaseIns);
        }
      };
      ForEachRow(T, Query, {Table}, [&](const TIBClientStatement& S) {
        const std::string Name = Text(S, 0);
        if (!Current || !AnsiSameStr(Current->GetName(), Name)) {
          Finish();
          Current = Defs.AddIndexDef();
          Current->SetName(Name);
          Fields.clear();
          CaseIns.clear();
          AllCaseIns = true;
          TIndexOptions O;
          if (S.Value(1).AsInteger() != 0) O.Include(ixUnique);
          if (S.Value(2).AsInteger() == 1) O.Include(ixDescending);
          if (Text(S, 4) == "PRIMARY KEY") O.Include(ixPrimary), O.Include(ixUnique);
          if (Text(S, 4) == "UNIQUE") O.Include(ixUnique);
          const std::string Expression = Text(S, 3);
          if (!Expression.empty()) {
            O.Include(ixExpression);
            Current->SetExpression(Trim(Expression));
          }
          Current->SetOptions(O);
        }
        const std::string Field = Text(S, 5);
        if (Field.empty()) return;
        Fields += (Fields.empty() ? "" : ";") + Field;
        if (S.Value(6).AsInteger() != 0) CaseIns += (CaseIns.empty() ? "" : ";") + Field;
        else AllCaseIns = false;
        // The default collation (0) of these character sets compares bytes;
        // in UTF-8 that is code point order.
        const Variant CharSet = S.Value(8);
        if (S.Value(7).AsInteger() == 0 && !CharSet.IsNull() && CharSet.AsInteger() >= CharSetNone &&
            CharSet.AsInteger() <= CharSetUtf8)
          ByteOrdered_.push_back(Field);
      });
      Finish();
    }
  } catch (...) {
    Defs.EndUpdate();
    throw;
  }
  Defs.EndUpdate();
}

bool TIBTable::OrdersTextByBytes(const std::string& FieldName) const {
  for (const std::string& F : ByteOrdered_)
    if (AnsiSameText(F, FieldName)) return true;
  return false;
}

TOwned<TIndexDef> TIBTable::PSGetDefaultOrder() const {
  if (!IndexName_.empty()) {
    const int I = IndexDefs_->IndexOf(IndexName_);
    if (I < 0) return nullptr;
    TOwned<TIndexDef> D = CreateOwned<TIndexDef>(static_cast<TCollection*>(nullptr));
    D->Assign(IndexDefs_->GetItem(I));
    return D;
  }
  if (IndexFieldNames_.empty()) return nullptr;
  TOwned<TIndexDef> D = CreateOwned<TIndexDef>(static_cast<TCollection*>(nullptr));
  D->SetFields(IndexFieldNames_);
  return D;
}

std::string TIBTable::SelectText() {
  TIBClientTransaction& T = RequireTransaction().Handle();
  const std::string Table = ResolveTableName(T);
  std::string SQL = "SELECT * FROM " + QuoteIdentifier(Table);
  std::vector<std::string> Order;
  if (!IndexName_.empty()) {
    IndexDefs_->Update();
    const TIndexDef* D = IndexDefs_->Find(IndexName_);  // raises for an unknown index
    if (D->GetOptions().Contains(ixExpression)) {
      SQL += " ORDER BY " + D->GetExpression();
      if (D->GetOptions().Contains(ixDescending)) SQL += " DESC";
      return SQL;
    }
    for (const std::string& F : FieldList(D->GetFields()))
      Order.push_back(QuoteIdentifier(F) + (D->IsDescendingField(F) ? " DESC" : ""));
  } else {
    for (const std::string& F : FieldList(IndexFieldNames_))
      Order.push_back(QuoteIdentifier(ResolveColumn(T, Table, F)));
  }
  for (std::size_t I = 0; I < Order.size(); ++I) SQL += (I == 0 ? " ORDER BY " : ", ") + Order[I];
  return SQL;
}

void TIBTable::BindParams(TIBClientStatement& /*Statement*/) const {}

void TIBTable::ChangeOrder(const std::string& IndexName, const std::string& FieldNames) {
  if (IndexName == IndexName_ && FieldNames == IndexFieldNames_) return;
  const bool WasActive = GetActive();
  // The record to come back to, by the primary key's values.
  std::string KeyFields;
  Variant KeyValues;
  if (WasActive && !IsEmpty()) {
    IndexDefs_->Update();
    for (int I = 0; I < IndexDefs_->Count() && KeyFields.empty(); ++I) {
      const TIndexDef* D = IndexDefs_->GetItem(I);
      if (!D->GetOptions().Contains(ixPrimary) || D->GetFields().empty()) continue;
      const std::vector<TField*> Fields = GetFieldList(D->GetFields());
      std::vector<Variant> Values;
      for (TField* F : Fields) Values.push_back(F->GetAsVariant());
      KeyValues = Values.size() == 1 ? Values[0] : VarArrayOf(std::move(Values));
      KeyFields = D->GetFields();
    }
  }
  if (WasActive) {
    // The new order must make a statement before anything changes.
    const std::string OldName = IndexName_, OldFields = IndexFieldNames_;
    IndexName_ = IndexName;
    IndexFieldNames_ = FieldNames;
    try {
      SelectText();
    } catch (...) {
      IndexName_ = OldName;
      IndexFieldNames_ = OldFields;
      throw;
    }
  }
  StatementChanged();
  IndexName_ = IndexName;
  IndexFieldNames_ = FieldNames;
  if (!WasActive) return;
  Open();
  if (!KeyFields.empty()) Locate(KeyFields, KeyValues, {});
}

void TIBTable::SetIndexName(const std::string& Value) { ChangeOrder(Value, Value.empty() ? IndexFieldNames_ : ""); }

void TIBTable::SetIndexFieldNames(const std::string& Value) { ChangeOrder(Value.empty() ? IndexName_ : "", Value); }

}  // namespace fyndra
