// TCustomADODataSet over a table: the order from an index and the primary
// key, keyed statements over that order (Seek, Last, reading backwards,
// returning to a bookmark), index definitions from the driver's statistics,
// and bookmarks.
#include <fyndra/platform/ado/adodb.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SCannotSeek = "The cursor does not support Seek: open a table with an index and a primary key";
constexpr const char* STooManyKeys = "Seek: %d key values given for an index of %d fields";

bool IsPlainIdentifier(std::string_view S) {
  if (S.empty()) return false;
  for (std::size_t I = 0; I < S.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(S[I]);
    const bool Letter = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_';
    if (!Letter && !(I > 0 && C >= '0' && C <= '9')) return false;
  }
  return true;
}

// ---- bookmarks: the window generation, the logical index, then the full
// order key of the record (tables), each value as a tag and its bytes.
enum : std::uint8_t { kvNull, kvInt, kvDouble, kvText, kvCurrency, kvDate, kvDecimal, kvBool };

void Put64(std::vector<std::uint8_t>& Out, std::uint64_t V) {
  // Big-endian, so that byte order is numeric order.
  for (int I = 7; I >= 0; --I) Out.push_back(std::uint8_t(V >> (I * 8)));
}

bool Get64(const std::vector<std::uint8_t>& In, std::size_t& P, std::uint64_t& V) {
  if (P + 8 > In.size()) return false;
  V = 0;
  for (int I = 0; I < 8; ++I) V = (V << 8) | In[P++];
  return true;
}

void PutText(std::vector<std::uint8_t>& Out, std::string_view S) {
  Put64(Out, S.size());
  Out.insert(Out.end(), S.begin(), S.end());
}


void PutKeyValue(std::vector<std::uint8_t>& Out, const Variant& V) {
  const TVarType T = V.VarType() & varTypeMask;
  std::uint64_t Bits = 0;
  if (V.IsNull() || V.IsEmpty()) {
    Out.push_back(kvNull);
  } else if (T == varFMTBcdCode) {
    Out.push_back(kvDecimal);
    PutText(Out, BcdToStr(V.AsBcd(), OdbcPointFormat()));
  } else if (T == varString || T == varOleStr) {
    Out.push_back(kvText);
    PutText(Out, V.AsString());
  } else if (T == varBoolean) {
    Out.push_back(kvBool);
    Out.push_back(V.AsBoolean() ? 1 : 0);
  } else if (T == varCurrency) {
    Out.push_back(kvCurrency);
    Put64(Out, std::uint64_t(V.AsCurrency().Scaled()));
  } else if (T == varDate || T == varDouble || T == varSingle) {
    Out.push_back(T == varDate ? kvDate : kvDouble);
    const double D = T == varDate ? V.AsDateTime() : V.AsDouble();
    std::memcpy(&Bits, &D, sizeof D);
    Put64(Out, Bits);
  } else {
    Out.push_back(kvInt);
    Put64(Out, std::uint64_t(V.AsInt64()));
  }
}

bool GetKeyValue(const std::vector<std::uint8_t>& In, std::size_t& P, Variant& V) {
  if (P >= In.size()) return false;
  const std::uint8_t Tag = In[P++];
  std::uint64_t X = 0;
  double D = 0;
  switch (Tag) {
    case kvNull: V = Null(); return true;
    case kvBool:
      if (P >= In.size()) return false;
      V = Variant(In[P++] != 0);
      return true;
    case kvInt:
      if (!Get64(In, P, X)) return false;
      V = Variant(std::int64_t(X));
      return true;
    case kvCurrency:
      if (!Get64(In, P, X)) return false;
      V = Variant(Currency::FromScaled(std::int64_t(X)));
      return true;
    case kvDouble: case kvDate:
      if (!Get64(In, P, X)) return false;
      std::memcpy(&D, &X, sizeof D);
      V = Tag == kvDate ? Variant::FromDateTime(D) : Variant(D);
      return true;
    case kvText: case kvDecimal: {
      if (!Get64(In, P, X) || P + X > In.size()) return false;
      std::string S(In.begin() + std::ptrdiff_t(P), In.begin() + std::ptrdiff_t(P + X));
      P += X;
      if (Tag == kvText) {
        V = Variant(std::move(S));
        return true;
      }
      TBcd B;
      if (!TryStrToBcd(S, B, OdbcPointFormat())) return false;
      V = VarFMTBcdCreate(B);
      return true;
    }
    default: return false;
  }
}

}  // namespace

// A condition text with its values in the order of their '?'.
struct TCustomADODataSet::TCondition {
  std::string Text;
  std::vector<std::pair<Variant, TFieldType>> Values;
  bool False = false;  // no row satisfies it
  bool True() const { return !False && Text.empty(); }
  static TCondition Never() {
    TCondition C;
    C.False = true;
    return C;
  }
};

namespace {

using TCondition = TCustomADODataSet::TCondition;

TCondition Or(TCondition A, TCondition B) {
  if (A.False) return B;
  if (B.False) return A;
  if (A.True() || B.True()) return {};
  A.Text = "(" + A.Text + " OR " + B.Text + ")";
  A.Values.insert(A.Values.end(), B.Values.begin(), B.Values.end());
  return A;
}

TCondition And(TCondition A, TCondition B) {
  if (A.False || B.False) return TCondition::Never();
  if (A.True()) return B;
  if (B.True()) return A;
  A.Text = A.Text + " AND " + B.Text;
  A.Values.insert(A.Values.end(), B.Values.begin(), B.Values.end());
  return A;
}

TCondition Compare(const std::string& Column, const char* Op, const Variant& Value, TFieldType Type) {
  TCondition C;
  C.Text = Column + " " + Op + " ?";
  C.Values.emplace_back(Value, Type);
  return C;
}

TCondition Text(std::string S) {
  TCondition C;
  C.Text = std::move(S);
  return C;
}

}  // namespace

std::string TCustomADODataSet::QuotedName(const std::string& Name) const {
  const char Q = Conn_ ? Conn_->IdentifierQuote() : '"';
  std::string Out(1, Q);
  for (char C : Name) {
    if (C == Q) Out += Q;
    Out += C;
  }
  return Out + Q;
}

std::string TCustomADODataSet::TableRef() const {
  // A plain name (or schema.name) is written as given, so that the data
  // source folds its case as it did when the table was made.
  const std::string Name = CommandSQL();
  const std::size_t Dot = Name.find('.');
  if (IsPlainIdentifier(Name) ||
      (Dot != std::string::npos && IsPlainIdentifier(std::string_view(Name).substr(0, Dot)) &&
       IsPlainIdentifier(std::string_view(Name).substr(Dot + 1))))
    return Name;
  return QuotedName(Name);
}

void TCustomADODataSet::ReadIndexDefs(TIndexDefs& Defs) {
  Defs.BeginUpdate();
  try {
    Defs.Clear();
    if (IsTableCommand() && !CommandText_.empty()) {
      TOdbcConnection& C = RequireConnection();
      const std::vector<TOdbcIndexColumn> Stats = C.Statistics(CommandSQL());
      const std::vector<std::string> Primary = C.PrimaryKey(CommandSQL());
      std::vector<std::string> Names;
      for (const TOdbcIndexColumn& S : Stats)
        if (std::find(Names.begin(), Names.end(), S.IndexName) == Names.end()) Names.push_back(S.IndexName);
      for (const std::string& Name : Names) {
        std::vector<const TOdbcIndexColumn*> Keys;
        for (const TOdbcIndexColumn& S : Stats)
          if (S.IndexName == Name) Keys.push_back(&S);
        std::stable_sort(Keys.begin(), Keys.end(),
                         [](const TOdbcIndexColumn* A, const TOdbcIndexColumn* B) { return A->Position < B->Position; });
        std::string Fields, Desc;
        std::vector<std::string> Columns;
        for (const TOdbcIndexColumn* K : Keys) {
          Fields += (Fields.empty() ? "" : ";") + K->Column;
          if (K->Descending) Desc += (Desc.empty() ? "" : ";") + K->Column;
          Columns.push_back(K->Column);
        }
        TIndexOptions Options;
        if (Keys.front()->Unique) Options.Include(ixUnique);
        if (!Primary.empty() && Columns == Primary) Options.Include(ixPrimary).Include(ixUnique);
        TIndexDef* D = Defs.AddIndexDef();
        D->SetName(Name);
        D->SetFields(Fields);
        D->SetDescFields(Desc);
        D->SetOptions(Options);
      }
    }
  } catch (...) {
    Defs.EndUpdate();
    throw;
  }
  Defs.EndUpdate();
  Defs.SetUpdated(true);
}

void TCustomADODataSet::BuildOrder() {
  Order_.clear();
  IndexKeyCount_ = 0;
  Total_ = false;
  auto ColumnIndex = [&](const std::string& Name) {
    for (std::size_t I = 0; I < Columns_.size(); ++I)
      if (AnsiSameText(Columns_[I].Name, Name)) return int(I);
    return -1;
  };
  auto Add = [&](const std::string& Name, bool Descending) {
    const int I = ColumnIndex(Name);
    if (I < 0) DatabaseError(Format(dbmsg::SFieldNotFound, {Name}), this);
    for (const TOrderColumn& O : Order_)
      if (O.Field == I) return;
    Order_.push_back({Columns_[std::size_t(I)].Name, I, Columns_[std::size_t(I)].Type.DataType, Descending});
  };
  auto Split = [](const std::string& List) {
    std::vector<std::string> Out;
    std::size_t Start = 0;
    while (Start <= List.size()) {
      const std::size_t End = std::min(List.find(';', Start), List.size());
      std::string Name = Trim(List.substr(Start, End - Start));
      if (!Name.empty()) Out.push_back(std::move(Name));
      Start = End + 1;
    }
    return Out;
  };
  if (!IndexName_.empty()) {
    IndexDefs_->Update();
    const TIndexDef* D = IndexDefs_->Find(IndexName_);
    for (const std::string& F : Split(D->GetFields())) Add(F, D->IsDescendingField(F));
  } else {
    for (const std::string& F : Split(IndexFieldNames_)) Add(F, false);
  }
  IndexKeyCount_ = Order_.size();
  // The primary key, or a unique index over columns that are never Null,
  // ends the order so that every row has its own place in it.
  std::vector<std::string> Tail = Conn_->PrimaryKey(CommandSQL());
  if (Tail.empty()) {
    IndexDefs_->Update();
    for (int I = 0; I < IndexDefs_->Count() && Tail.empty(); ++I) {
      const TIndexDef* D = IndexDefs_->GetItem(I);
      if (!D->GetOptions().Contains(ixUnique)) continue;
      std::vector<std::string> Fields = Split(D->GetFields());
      const bool NotNull = std::all_of(Fields.begin(), Fields.end(), [&](const std::string& F) {
        const int C = ColumnIndex(F);
        return C >= 0 && !Columns_[std::size_t(C)].Nullable;
      });
      if (NotNull) Tail = std::move(Fields);
    }
  }
  for (const std::string& F : Tail) Add(F, false);
  Total_ = !Tail.empty();
}

std::string TCustomADODataSet::OrderBy(bool Reverse) const {
  std::string Out;
  for (const TOrderColumn& O : Order_) {
    Out += Out.empty() ? " ORDER BY " : ", ";
    Out += QuotedName(O.Name);
    if (O.Descending != Reverse) Out += " DESC";
  }
  return Out;
}

void TCustomADODataSet::OpenTable(TOdbcConnection& C) {
  {
    TOdbcStatement S(C, "SELECT * FROM " + TableRef() + " WHERE 1=0");
    S.Execute();
    DescribeColumns(S);
  }
  BuildOrder();
  if (!Order_.empty()) NullsHigh_ = C.NullsSortHigh();
  TextOrder_.clear();
}

bool TCustomADODataSet::OrdersTextByBytes(const std::string& FieldName) const {
  if (!CursorOpen_ || !IsTableCommand() || !Conn_) return false;
  int Column = -1;
  for (std::size_t I = 0; I < Columns_.size() && Column < 0; ++I)
    if (AnsiSameText(Columns_[I].Name, FieldName)) Column = int(I);
  if (Column < 0) return false;
  const TFieldType Type = Columns_[std::size_t(Column)].Type.DataType;
  if (Type != ftString && Type != ftFixedChar && Type != ftWideString) return false;
  for (const auto& [C, Bytes] : TextOrder_)
    if (C == Column) return Bytes;
  // Texts whose byte order differs from every case-folding or
  // locale order: upper before lower case, '_' between them, a letter beyond
  // ASCII after them. "a" before "a<TAB>" tells bytes from the orders that
  // pad the shorter text with blanks (which put the tab first); U+FFFD before
  // U+1F600 tells them from the order of UTF-16 code units (which puts a
  // character beyond U+FFFF first). The column's collation reaches the
  // literals through the union, whose first branch is the column (and
  // selects no row).
  static const char* const Probe[] = {"B", "Z", "_", "a", "a\t", "f", "\xC3\xA9", "\xEF\xBF\xBD",
                                      "\xF0\x9F\x98\x80"};
  std::string SQL = "SELECT v FROM (SELECT " + QuotedName(Columns_[std::size_t(Column)].Name) + " AS v FROM " +
                    TableRef() + " WHERE 1=0";
  for (const char* P : {Probe[8], Probe[3], Probe[6], Probe[4], Probe[0], Probe[5], Probe[7], Probe[2], Probe[1]})
    SQL += std::string(" UNION ALL SELECT '") + P + "'";
  SQL += ") q ORDER BY v";
  bool Bytes = false;
  SuspendReaders(nullptr);
  try {
    TOdbcStatement S(*Conn_, SQL);
    S.Execute();
    S.Columns();
    Bytes = true;
    for (const char* Expected : Probe)
      if (S.Fetch(1) != 1 || S.IsNull(0, 0) || S.AsText(0, 0) != Expected) Bytes = false;
  } catch (const EDatabaseError&) {
    // A data source that cannot run the probe tells nothing about its order.
    Bytes = false;
  }
  TextOrder_.emplace_back(Column, Bytes);
  return Bytes;
}

void TCustomADODataSet::StartReader(TReader& R, bool Reverse) const {
  R = TReader();
  R.Pending.push_back({"SELECT * FROM " + TableRef() + OrderBy(Reverse), {}});
  R.Started = true;
  R.Done = false;
}

void TCustomADODataSet::KeySegments(const std::vector<Variant>& Key, bool Strict, bool Reverse, TReader& Into) const {
  Into = TReader();
  Into.Started = true;
  Into.Done = false;
  const std::size_t M = Key.size();
  const std::string Select = "SELECT * FROM " + TableRef() + " WHERE ";
  const std::string Order = OrderBy(Reverse);
  if (M == 0) {
    if (!Strict) Into.Pending.push_back({"SELECT * FROM " + TableRef() + Order, {}});
    else Into.Done = true;
    return;
  }
  // Whether a column reads ascending, and whether its Nulls come first, in
  // the reading direction.
  auto Ascending = [&](std::size_t J) { return Order_[J].Descending == Reverse; };
  auto NullsFirst = [&](std::size_t J) { return NullsHigh_ ? !Ascending(J) : Ascending(J); };
  // The rows after the key (or at it, unless Strict) from column J on.
  std::function<TCondition(std::size_t)> Tail = [&](std::size_t J) -> TCondition {
    if (J == M) return Strict ? TCondition::Never() : TCondition();
    const std::string Col = QuotedName(Order_[J].Name);
    const Variant& K = Key[J];
    const TFieldType Type = Order_[J].Type;
    TCondition After, Equal;
    if (K.IsNull() || K.IsEmpty()) {
      After = NullsFirst(J) ? Text(Col + " IS NOT NULL") : TCondition::Never();
      Equal = Text(Col + " IS NULL");
    } else {
      After = Compare(Col, Ascending(J) ? ">" : "<", K, Type);
      if (!NullsFirst(J)) After = Or(After, Text(Col + " IS NULL"));
      Equal = Compare(Col, "=", K, Type);
    }
    return Or(After, And(Equal, Tail(J + 1)));
  };
  const TCondition All = Tail(0);
  const std::string Lead = QuotedName(Order_[0].Name);
  auto Push = [&](const TCondition& C) {
    if (C.False) return;
    Into.Pending.push_back({C.True() ? "SELECT * FROM " + TableRef() + Order : Select + C.Text + Order, C.Values});
  };
  // The first statement bounds the leading column with a plain comparison,
  // which the data source answers through the index; rows whose leading
  // value is Null follow (or precede) all others and are read by a second one.
  if (Key[0].IsNull() || Key[0].IsEmpty()) {
    Push(And(Text(Lead + " IS NULL"), All));
    if (NullsFirst(0)) Push(Text(Lead + " IS NOT NULL"));
  } else {
    Push(And(Compare(Lead, Ascending(0) ? ">=" : "<=", Key[0], Order_[0].Type), All));
    if (!NullsFirst(0)) Push(Text(Lead + " IS NULL"));
  }
  if (Into.Pending.empty()) Into.Done = true;
}

std::vector<Variant> TCustomADODataSet::FullKeyOf(const TCell* Cells, const TRowStore& Store) const {
  std::vector<Variant> Key;
  Key.reserve(Order_.size());
  for (const TOrderColumn& O : Order_) Key.push_back(Store.Value(Cells[std::size_t(O.Field)]));
  return Key;
}

bool TCustomADODataSet::KeyEquals(const TCell* Cells, const TRowStore& Store, const std::vector<Variant>& Key) const {
  for (std::size_t J = 0; J < Key.size(); ++J) {
    const TCell& C = Cells[std::size_t(Order_[J].Field)];
    const Variant& K = Key[J];
    if (C.Kind == TCellKind::Null || K.IsNull() || K.IsEmpty()) {
      if ((C.Kind == TCellKind::Null) != (K.IsNull() || K.IsEmpty())) return false;
      continue;
    }
    if (C.Kind == TCellKind::Text) {
      // Texts are equal byte for byte, as the data source's binary order has
      // it; a fixed-size text's padding does not count.
      std::string_view A = Store.TextOf(C);
      std::string B = K.AsString();
      if (Order_[J].Type == ftFixedChar) {
        while (!A.empty() && A.back() == ' ') A.remove_suffix(1);
        while (!B.empty() && B.back() == ' ') B.pop_back();
      }
      if (A != B) return false;
      continue;
    }
    if (!(Store.Value(C) == K)) return false;
  }
  return true;
}

bool TCustomADODataSet::PositionAt(const std::vector<Variant>& Key) {
  Rows_.Clear();
  Rows_.SetColumns(Columns_.size());
  Base_ = 0;
  Cursor_ = -1;
  AtStart_ = false;
  ++Generation_;
  Backward_ = TReader();
  KeySegments(Key, false, false, Forward_);
  if (!FetchNext()) return false;
  Cursor_ = 0;
  return KeyEquals(Rows_.Row(0), Rows_, Key);
}

void TCustomADODataSet::SuspendReaders(const TReader* Keep) const {
  if (!IsTableCommand() || !Total_ || !Conn_ || !Conn_->StepsOneResultAtATime()) return;
  for (TReader* R : {&Forward_, &Backward_}) {
    if (R == Keep || !R->Statement || R->Done) continue;
    R->Statement.reset();
    R->Pending.clear();
    R->Suspended = true;
  }
}

bool TCustomADODataSet::Supports(TCursorOptions Options) const {
  TCursorOptions Offered{coHoldRecords, coMovePrevious, coBookmark};
  if (CursorOpen_ && IsTableCommand() && IndexKeyCount_ > 0 && Total_) Offered.Include(coSeek).Include(coIndex);
  return Options.SubsetOf(Offered);
}

bool TCustomADODataSet::Seek(const Variant& KeyValues, TSeekOption SeekOption) {
  CheckActive();
  if (!Supports({coSeek})) DatabaseError(SCannotSeek, this);
  CheckBrowseMode();
  const int Count = KeyValues.IsArray() ? KeyValues.ElementCount() : 1;
  if (Count < 1 || std::size_t(Count) > IndexKeyCount_)
    DatabaseError(Format(STooManyKeys, {Count, std::int32_t(IndexKeyCount_)}), this);
  std::vector<TField*> KeyFields;
  for (int I = 0; I < Count; ++I) KeyFields.push_back(FieldByName(GetFieldDefs()->GetItem(Order_[std::size_t(I)].Field)->GetName()));
  const std::vector<Variant> Key = PrepareLocateKeys(KeyFields, KeyValues);

  const bool Reverse = SeekOption == soLastEQ || SeekOption == soBeforeEQ || SeekOption == soBefore;
  const bool Strict = SeekOption == soAfter || SeekOption == soBefore;
  const bool Exact = SeekOption == soFirstEQ || SeekOption == soLastEQ;
  // A probe finds the record without touching the window.
  SuspendReaders(nullptr);
  TReader Probe;
  KeySegments(Key, Strict, Reverse, Probe);
  TRowStore Found;
  Found.SetColumns(Columns_.size());
  if (ReadBlock(Probe, Found, false, 1) == 0) return false;
  if (Exact && !KeyEquals(Found.Row(0), Found, Key)) return false;

  const TRecord* Current = static_cast<const TRecord*>(ActiveBuffer());
  std::vector<Variant> Old;
  if (Current && Current->Index >= 0)
    for (const TOrderColumn& O : Order_) Old.push_back(Current->Value(Current->Cells[std::size_t(O.Field)]));
  if (!Reverse) {
    // Read forwards, the probe already stands on the record found and goes on
    // in index order: it becomes the window, with no second statement.
    Rows_ = std::move(Found);
    Base_ = 0;
    Cursor_ = 0;
    AtStart_ = false;
    ++Generation_;
    Backward_ = TReader();
    Forward_ = std::move(Probe);
  } else {
    const std::vector<Variant> Target = FullKeyOf(Found.Row(0), Found);
    Probe = TReader();  // its statement ends before the window's starts
    PositionAt(Target);
  }
  if (SyncToCursor()) return true;
  // The record found is hidden by the filter: back to where the dataset was.
  if (!Old.empty() && PositionAt(Old)) {
    auto* R = static_cast<TRecord*>(ActiveBuffer());
    R->Index = Base_;
    R->Generation = Generation_;
  }
  return false;
}

void TCustomADODataSet::SetIndexName(const std::string& Value) {
  if (Value == IndexName_ && IndexFieldNames_.empty()) return;
  IndexName_ = Value;
  IndexFieldNames_.clear();
  if (CursorOpen_ && IsTableCommand()) {
    CheckBrowseMode();
    BuildOrder();
    StartWindow();
    First();
  }
}

void TCustomADODataSet::SetIndexFieldNames(const std::string& Value) {
  if (Value == IndexFieldNames_ && IndexName_.empty()) return;
  IndexFieldNames_ = Value;
  IndexName_.clear();
  if (CursorOpen_ && IsTableCommand()) {
    CheckBrowseMode();
    BuildOrder();
    StartWindow();
    First();
  }
}

// ---- bookmarks

void TCustomADODataSet::GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const {
  const TRecord* R = static_cast<const TRecord*>(Buffer);
  if (!R || R->Index < 0) return;
  Data.clear();
  Put64(Data, R->Generation);
  Put64(Data, std::uint64_t(R->Index));
  // A table's record is found again by its key once the window has moved on.
  if (IsTableCommand() && Total_)
    for (const TOrderColumn& O : Order_) PutKeyValue(Data, R->Value(R->Cells[std::size_t(O.Field)]));
}

namespace {

struct TBookmarkParts {
  std::uint64_t Generation = 0;
  std::int64_t Index = -1;
  std::vector<Variant> Key;
};

bool ReadBookmark(const std::vector<std::uint8_t>& Data, std::size_t KeyCount, TBookmarkParts& B) {
  std::size_t P = 0;
  std::uint64_t Index = 0;
  if (!Get64(Data, P, B.Generation) || !Get64(Data, P, Index)) return false;
  B.Index = std::int64_t(Index);
  for (std::size_t I = 0; I < KeyCount && P < Data.size(); ++I) {
    Variant V;
    if (!GetKeyValue(Data, P, V)) return false;
    B.Key.push_back(std::move(V));
  }
  return P == Data.size() && (B.Key.empty() || B.Key.size() == KeyCount);
}

}  // namespace

bool TCustomADODataSet::InternalGotoBookmark(const std::vector<std::uint8_t>& Data) {
  TBookmarkParts B;
  if (!ReadBookmark(Data, Order_.size(), B)) return false;
  if (B.Generation == Generation_ && B.Index >= Base_ && B.Index < Base_ + std::int64_t(Rows_.Size())) {
    Cursor_ = B.Index;
    return true;
  }
  if (B.Key.empty() || !PositionAt(B.Key)) return false;
  Cursor_ = Base_;
  return true;
}

bool TCustomADODataSet::InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const {
  TBookmarkParts B;
  if (!ReadBookmark(Data, Order_.size(), B)) return false;
  if (B.Generation == Generation_ && B.Index >= Base_ && B.Index < Base_ + std::int64_t(Rows_.Size())) return true;
  if (B.Key.empty()) return false;
  SuspendReaders(nullptr);
  TReader Probe;
  KeySegments(B.Key, false, false, Probe);
  TRowStore Found;
  Found.SetColumns(Columns_.size());
  return ReadBlock(Probe, Found, false, 1) == 1 && KeyEquals(Found.Row(0), Found, B.Key);
}

int TCustomADODataSet::InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                                                const std::vector<std::uint8_t>& B) const {
  TBookmarkParts X, Y;
  ReadBookmark(A, Order_.size(), X);
  ReadBookmark(B, Order_.size(), Y);
  if (X.Generation != Y.Generation) return X.Generation < Y.Generation ? -1 : 1;
  return X.Index < Y.Index ? -1 : X.Index > Y.Index ? 1 : 0;
}

}  // namespace fyndra
