// TCustomADODataSet: the window of rows read from the driver, field values,
// opening and closing; and TADODataSet, TADOQuery, TADOTable.
#include <fyndra/platform/ado/adodb.h>

#include <algorithm>
#include <cstring>

#include <fyndra/platform/db/sqltokens.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SNoConnection = "No connection: set Connection";
constexpr const char* SNoCommandText = "No command text given";
constexpr const char* SCommandTypeNotSupported = "Command type %s is not supported";
constexpr const char* SNoParamValue = "No value for parameter '%s'";
constexpr const char* SValueOverflow = "Value of field '%s' is longer than its declared size %d";
constexpr const char* SBadColumnValue = "Field '%s': the driver's value '%s' is not a valid %s";
constexpr const char* SFinerThanMs =
    "Field '%s': the value '%s' has a fraction of a second finer than milliseconds, which the field cannot hold";


// "-12.5" (at most four places, no exponent) as Currency, exactly; false for
// anything else, which then takes the exact decimal path.
bool TryPlainDecimalToCurrency(std::string_view S, Currency& Value) {
  std::size_t I = 0;
  const bool Negative = !S.empty() && S[0] == '-';
  if (Negative) ++I;
  std::int64_t Whole = 0;
  const std::size_t Start = I;
  for (; I < S.size() && S[I] >= '0' && S[I] <= '9'; ++I) {
    if (Whole > 92233720368547) return false;
    Whole = Whole * 10 + (S[I] - '0');
  }
  if (I == Start) return false;
  std::int64_t Fraction = 0;
  int Places = 0;
  if (I < S.size() && S[I] == '.') {
    for (++I; I < S.size() && S[I] >= '0' && S[I] <= '9'; ++I) {
      if (Places == 4) {
        if (S[I] != '0') return false;  // more than four significant places
        continue;
      }
      Fraction = Fraction * 10 + (S[I] - '0');
      ++Places;
    }
  }
  if (I != S.size()) return false;
  for (; Places < 4; ++Places) Fraction *= 10;
  const std::int64_t Scaled = Whole * 10000 + Fraction;
  Value = Currency::FromScaled(Negative ? -Scaled : Scaled);
  return true;
}

std::string StampText(const TOdbcStatement::TStamp& T) {
  char Buffer[64];
  std::snprintf(Buffer, sizeof Buffer, "%04d-%02d-%02d %02d:%02d:%02d.%09u", T.Year, T.Month, T.Day, T.Hour,
                T.Minute, T.Second, T.Nanoseconds);
  return Buffer;
}

// The date part plus the time part, as the platform counts days before 1899.
TDateTime JoinDateTime(TDateTime Date, TDateTime Time) { return Date < 0 ? Date - Time : Date + Time; }

}  // namespace

namespace {

Variant CellValue(const TCustomADODataSet::TCell& C, std::string_view Text, const std::vector<Variant>& Others) {
  using K = TCustomADODataSet::TCellKind;
  switch (C.Kind) {
    case K::Null: return Null();
    case K::Int: return C.I >= INT32_MIN && C.I <= INT32_MAX ? Variant(std::int32_t(C.I)) : Variant(C.I);
    case K::Bool: return Variant(C.I != 0);
    case K::Double: return Variant(C.D);
    case K::Date: return Variant::FromDateTime(C.D);
    case K::Currency: return Variant(Currency::FromScaled(C.I));
    case K::Text: return Variant(std::string(Text.substr(C.Offset, C.Length)));
    case K::Other: return Others[C.Offset];
  }
  return Null();
}


// SQL with each '?' outside quotes replaced by the literal of its value.
std::string WithLiterals(const TOdbcConnection& C, const std::string& SQL,
                         const std::vector<std::pair<Variant, TFieldType>>& Values) {
  std::string Out;
  std::size_t Next = 0;
  char Quote = 0;
  for (char Ch : SQL) {
    if (Quote) {
      if (Ch == Quote) Quote = 0;
    } else if (Ch == '\'' || Ch == '"') {
      Quote = Ch;
    } else if (Ch == '?' && Next < Values.size()) {
      Out += C.Literal(Values[Next].first, Values[Next].second);
      ++Next;
      continue;
    }
    Out += Ch;
  }
  return Out;
}

}  // namespace

Variant TCustomADODataSet::TRecord::Value(const TCell& C) const { return CellValue(C, Text, Others); }

// ---------------------------------------------------------------------------
// TRowStore

void TCustomADODataSet::TRowStore::Clear() {
  FrontRows_ = BackRows_ = 0;
  // Give the memory back: a window may have held a whole table.
  std::vector<TCell>().swap(Front_);
  std::vector<TCell>().swap(Back_);
  std::string().swap(Text_);
  std::vector<Variant>().swap(Others_);
}

const TCustomADODataSet::TCell* TCustomADODataSet::TRowStore::Row(std::size_t I) const {
  if (I < FrontRows_) return Front_.data() + (FrontRows_ - 1 - I) * Columns_;
  return Back_.data() + (I - FrontRows_) * Columns_;
}

Variant TCustomADODataSet::TRowStore::Value(const TCell& C) const { return CellValue(C, Text_, Others_); }

TCustomADODataSet::TCell* TCustomADODataSet::TRowStore::BeginBack() {
  Back_.resize(Back_.size() + Columns_);
  ++BackRows_;
  return Back_.data() + Back_.size() - Columns_;
}

TCustomADODataSet::TCell* TCustomADODataSet::TRowStore::BeginFront() {
  Front_.resize(Front_.size() + Columns_);
  ++FrontRows_;
  return Front_.data() + Front_.size() - Columns_;
}

void TCustomADODataSet::TRowStore::DropLast(bool Front) {
  if (Front) {
    Front_.resize(Front_.size() - Columns_);
    --FrontRows_;
  } else {
    Back_.resize(Back_.size() - Columns_);
    --BackRows_;
  }
}

std::size_t TCustomADODataSet::TRowStore::AddText(std::string_view S) {
  const std::size_t At = Text_.size();
  Text_.append(S);
  return At;
}

std::size_t TCustomADODataSet::TRowStore::AddOther(Variant V) {
  Others_.push_back(std::move(V));
  return Others_.size() - 1;
}

// ---------------------------------------------------------------------------
// TCustomADODataSet

FYNDRA_PUBLISHED(TCustomADODataSet, P) {
  P.Property("Connection", &TCustomADODataSet::GetConnection, &TCustomADODataSet::SetConnection);
  P.Property("CacheSize", &TCustomADODataSet::GetCacheSize, &TCustomADODataSet::SetCacheSize).Default(100);
}

TCustomADODataSet::TCustomADODataSet(TComponent* Owner, TCommandType CommandType)
    : TDataSet(Owner), CommandType_(CommandType) {}

void TCustomADODataSet::AfterConstruction() {
  TDataSet::AfterConstruction();
  Parameters_ = CreateOwned<TParameters>(static_cast<TPersistent*>(this));
  IndexDefs_ = CreateOwned<TIndexDefs>(static_cast<TPersistent*>(this));
  IndexDefs_->SetUpdater([this](TIndexDefs& Defs) { ReadIndexDefs(Defs); });
}

void TCustomADODataSet::BeforeDestruction() {
  ReleaseStatements();
  if (Registered_) Registered_->UnregisterDataSet(this);
  Registered_ = nullptr;
  if (Connection_) RemoveFreeNotification(Connection_);
  Connection_ = nullptr;
  TDataSet::BeforeDestruction();
}

void TCustomADODataSet::Notification(TComponent* Component, TOperation Operation) {
  TDataSet::Notification(Component, Operation);
  if (Operation != opRemove) return;
  if (Component == Connection_) Connection_ = nullptr;
  if (Component == Registered_) Registered_ = nullptr;
}

void TCustomADODataSet::SetConnection(TADOConnection* Value) {
  if (Value == Connection_) return;
  CheckInactive();
  if (Connection_) RemoveFreeNotification(Connection_);
  Connection_ = Value;
  if (Connection_) FreeNotification(Connection_);
  IndexDefs_->SetUpdated(false);
}

void TCustomADODataSet::SetCommandType(TCommandType Value) {
  if (Value == CommandType_) return;
  if (GetActive()) Close();
  CommandType_ = Value;
  StoreCommandText(CommandText_);
}

void TCustomADODataSet::SetCommandText(const std::u16string& Value) {
  if (Value == CommandText_) return;
  if (GetActive()) Close();
  StoreCommandText(Value);
}

void TCustomADODataSet::StoreCommandText(const std::u16string& Value) {
  CommandText_ = Value;
  Prepared_.reset();
  IndexDefs_->SetUpdated(false);
  // The parameters follow the text; a table name names none.
  if (IsTableCommand()) Parameters_->Clear();
  else Parameters_->ParseSQL(Value, true);
}

void TCustomADODataSet::SetParameters(TParameters* Value) {
  if (!Value) return;
  for (int I = 0; I < Value->Count(); ++I) {
    const TParameter* From = Value->GetItem(I);
    if (TParameter* To = Parameters_->FindParam(From->GetName())) To->Assign(const_cast<TParameter*>(From));
    else Parameters_->AddParameter()->Assign(const_cast<TParameter*>(From));
  }
}

void TCustomADODataSet::SetCacheSize(int Value) { CacheSize_ = std::max(1, Value); }

TOdbcConnection& TCustomADODataSet::RequireConnection() {
  if (!Connection_) DatabaseError(SNoConnection, this);
  if (!Connection_->GetConnected()) Connection_->Open();
  if (Registered_ != Connection_) {
    if (Registered_) Registered_->UnregisterDataSet(this);
    Connection_->RegisterDataSet(this);
    Registered_ = Connection_;
  }
  return Connection_->Connection();
}

void TCustomADODataSet::ReleaseStatements() {
  if (GetActive()) Close();
  Prepared_.reset();
}

TRecordBuffer TCustomADODataSet::AllocRecordBuffer() { return new TRecord; }

void TCustomADODataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete static_cast<TRecord*>(Buffer);
  Buffer = nullptr;
}

// ---- reading rows

void TCustomADODataSet::DecodeRow(TOdbcStatement& S, int Row, TCell* Cells, TRowStore& Into) const {
  for (std::size_t C = 0; C < Columns_.size(); ++C) {
    TCell& Cell = Cells[C];
    const int Col = int(C);
    Cell.Offset = 0;
    Cell.Length = 0;
    if (S.IsNull(Row, Col)) {
      Cell.Kind = TCellKind::Null;
      continue;
    }
    const TOdbcColumn& Column = Columns_[C];
    auto Refuse = [&](const char* Message, const std::string& Text, const std::string& What) {
      DatabaseError(Format(Message, {Column.Name, Text, What}), this);
    };
    switch (Column.Type.DataType) {
      case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
        Cell.Kind = TCellKind::Int;
        Cell.I = S.AsInt64(Row, Col);
        break;
      case ftBoolean:
        Cell.Kind = TCellKind::Bool;
        Cell.I = S.AsInt64(Row, Col);
        break;
      case ftFloat:
        Cell.Kind = TCellKind::Double;
        Cell.D = S.AsDouble(Row, Col);
        break;
      case ftBCD: case ftFMTBcd: {
        const std::string_view Text = S.AsText(Row, Col);
        Currency Value;
        if (Column.Type.DataType == ftBCD && TryPlainDecimalToCurrency(Text, Value)) {
          Cell.Kind = TCellKind::Currency;
          Cell.I = Value.Scaled();
          break;
        }
        TBcd B;
        if (!TryStrToBcd(std::string(Text), B, OdbcPointFormat())) Refuse(SBadColumnValue, std::string(Text), "decimal");
        if (Column.Type.DataType == ftBCD) {
          // A value of more places than Currency keeps is refused, not rounded.
          if (!BCDToCurr(B, Value) || BcdScale(B) > 4) Refuse(SBadColumnValue, std::string(Text), "currency value");
          Cell.Kind = TCellKind::Currency;
          Cell.I = Value.Scaled();
        } else {
          Cell.Kind = TCellKind::Other;
          Cell.Offset = Into.AddOther(VarFMTBcdCreate(B));
        }
        break;
      }
      case ftDate: case ftDateTime: case ftTime: {
        TOdbcStatement::TStamp T{};
        if (Column.Type.DataType == ftTime) {
          const std::string_view Text = S.AsText(Row, Col);
          if (!TryOdbcTextToStamp(Text, T)) Refuse(SBadColumnValue, std::string(Text), "time");
        } else {
          T = S.AsStamp(Row, Col);
        }
        if (T.Nanoseconds % 1000000 != 0) Refuse(SFinerThanMs, StampText(T), "");
        TDateTime Date = 0, Time = 0;
        if (Column.Type.DataType != ftTime && !TryEncodeDate(T.Year, T.Month, T.Day, Date))
          Refuse(SBadColumnValue, StampText(T), "date");
        if (!TryEncodeTime(T.Hour, T.Minute, T.Second, int(T.Nanoseconds / 1000000), Time))
          Refuse(SBadColumnValue, StampText(T), "time");
        Cell.Kind = TCellKind::Date;
        Cell.D = Column.Type.DataType == ftDate ? Date : Column.Type.DataType == ftTime ? Time : JoinDateTime(Date, Time);
        break;
      }
      case ftString: case ftFixedChar: {
        bool Truncated = false;
        const std::string_view Text = S.AsText(Row, Col, &Truncated);
        const int Size = Column.Type.Size;
        // A text with more characters than the column declares (a data source
        // that does not enforce the size) is refused rather than cut.
        if (Truncated) DatabaseError(Format(SValueOverflow, {Column.Name, Size}), this);
        if (Text.size() > std::size_t(Size) && CharLength(Text) > std::size_t(Size))
          DatabaseError(Format(dbmsg::SValueTooLong, {std::int32_t(CharLength(Text)), Column.Name, Size}), this);
        Cell.Kind = TCellKind::Text;
        Cell.Offset = Into.AddText(Text);
        Cell.Length = std::uint32_t(Text.size());
        break;
      }
      default: {
        const std::string_view Text = S.AsText(Row, Col);
        Cell.Kind = TCellKind::Text;
        Cell.Offset = Into.AddText(Text);
        Cell.Length = std::uint32_t(Text.size());
        break;
      }
    }
  }
}

int TCustomADODataSet::ReadBlock(TReader& R, TRowStore& Into, bool Front, int MaxRows) const {
  if (!R.Error.empty()) throw EDatabaseError(R.Error);
  while (!R.Done) {
    if (!R.Statement) {
      if (R.Pending.empty()) {
        R.Done = true;
        break;
      }
      SuspendReaders(&R);
      auto Segment = std::move(R.Pending.front());
      R.Pending.erase(R.Pending.begin());
      if (Conn_->PrefersLiterals()) {
        R.Statement = std::make_unique<TOdbcStatement>(*Conn_, WithLiterals(*Conn_, Segment.first, Segment.second));
      } else {
        R.Statement = std::make_unique<TOdbcStatement>(*Conn_, Segment.first);
        for (std::size_t I = 0; I < Segment.second.size(); ++I)
          R.Statement->BindParam(int(I + 1), Segment.second[I].first, Segment.second[I].second);
      }
      R.Statement->Execute();
    }
    const int Want = MaxRows > 0 ? MaxRows : std::min(R.Block, CacheSize_);
    R.Block = std::min(CacheSize_, R.Block * 2);
    const int N = R.Statement->Fetch(Want);
    if (N == 0) {
      // The last statement is kept (a query runs it again at its next open).
      if (R.Pending.empty()) R.Done = true;
      else R.Statement.reset();
      continue;
    }
    for (int I = 0; I < N; ++I) {
      TCell* Cells = Front ? Into.BeginFront() : Into.BeginBack();
      try {
        DecodeRow(*R.Statement, I, Cells, Into);
      } catch (const EDatabaseError& E) {
        // The rows before it stay; reading stops here, so no row is skipped.
        Into.DropLast(Front);
        R.Error = E.Message();
        R.Done = true;
        throw;
      }
    }
    return N;
  }
  return 0;
}

bool TCustomADODataSet::FetchNext() const {
  if (Forward_.Suspended) {
    if (Rows_.Size() > 0) KeySegments(FullKeyOf(Rows_.Row(Rows_.Size() - 1), Rows_), true, false, Forward_);
    else StartReader(Forward_, false);
  }
  return ReadBlock(Forward_, Rows_, false) > 0;
}

void TCustomADODataSet::FetchAll() const {
  while (FetchNext()) {
  }
}

bool TCustomADODataSet::FetchPrior() const {
  if (AtStart_) return false;
  if (!Backward_.Started || Backward_.Suspended) {
    if (Rows_.Size() == 0) return false;
    KeySegments(FullKeyOf(Rows_.Row(0), Rows_), true, true, Backward_);
  }
  const int N = ReadBlock(Backward_, Rows_, true);
  Base_ -= N;
  if (N == 0) AtStart_ = true;
  return N > 0;
}

void TCustomADODataSet::StartWindow() {
  Rows_.Clear();
  Rows_.SetColumns(Columns_.size());
  Base_ = 0;
  Cursor_ = -1;
  AtStart_ = true;
  ++Generation_;
  Backward_ = TReader();
  if (IsTableCommand()) StartReader(Forward_, false);
}

void TCustomADODataSet::DescribeColumns(TOdbcStatement& S) {
  std::vector<TOdbcColumn> Columns = S.Columns();
  for (const TOdbcColumn& C : Columns)
    if (C.Type.DataType == ftUnknown) DatabaseError(Format(dbmsg::SFieldTypeNotSupported, {C.Name}), this);
  Columns_ = std::move(Columns);
}

std::string TCustomADODataSet::CommandSQL() const { return Utf16ToUtf8(CommandText_); }

void TCustomADODataSet::OpenQuery(TOdbcConnection& C) {
  std::vector<std::u16string> References;
  const std::string Engine = Parameters_->ParseSQL(CommandText_, false, &References);
  std::unique_ptr<TOdbcStatement> S;
  if (Prepared_ && PreparedText_ == Engine) S = std::move(Prepared_);
  else S = std::make_unique<TOdbcStatement>(C, Engine);
  Prepared_.reset();
  S->ClearParams();
  for (std::size_t I = 0; I < References.size(); ++I) {
    const TParameter* P = Parameters_->FindParam(References[I]);
    if (!P || P->GetValue().IsEmpty()) DatabaseError(Format(SNoParamValue, {Utf16ToUtf8(References[I])}), this);
    S->BindParam(int(I + 1), P->GetValue(), P->GetDataType());
  }
  S->Execute();
  DescribeColumns(*S);
  PreparedText_ = Engine;
  Forward_ = TReader();
  Forward_.Statement = std::move(S);
  Forward_.Started = true;
  Forward_.Done = false;
}

void TCustomADODataSet::InternalOpen() {
  if (CommandType_ == cmdStoredProc || CommandType_ == cmdFile)
    DatabaseError(Format(SCommandTypeNotSupported, {GetEnumName(FyndraTypeInfo(static_cast<TCommandType*>(nullptr)), CommandType_)}), this);
  if (CommandText_.empty()) DatabaseError(SNoCommandText, this);
  TOdbcConnection& C = RequireConnection();
  Conn_ = &C;
  try {
    if (IsTableCommand()) OpenTable(C);
    else OpenQuery(C);
  } catch (const EDatabaseError& E) {
    Forward_ = TReader();
    Conn_ = nullptr;
    if (E.Message().rfind(GetName() + ": ", 0) == 0 || GetName().empty()) throw;
    DatabaseError(E.Message(), this);
  }
  StartWindow();
  CursorOpen_ = true;
}

void TCustomADODataSet::InternalClose() {
  // A query keeps its prepared statement for the next open.
  if (!IsTableCommand() && Forward_.Statement) {
    Forward_.Statement->CloseCursor();
    Prepared_ = std::move(Forward_.Statement);
  }
  Forward_ = TReader();
  Backward_ = TReader();
  Rows_.Clear();
  Base_ = 0;
  Cursor_ = -1;
  AtStart_ = true;
  Order_.clear();
  IndexKeyCount_ = 0;
  Total_ = false;
  Conn_ = nullptr;
  CursorOpen_ = false;
}

void TCustomADODataSet::InternalInitFieldDefs() {
  // Definitions asked for while closed come from a statement run just for them.
  if (!CursorOpen_) {
    TOdbcConnection& C = RequireConnection();
    std::unique_ptr<TOdbcStatement> S;
    try {
      if (IsTableCommand()) {
        S = std::make_unique<TOdbcStatement>(C, "SELECT * FROM " + TableRef() + " WHERE 1=0");
        S->Execute();
        DescribeColumns(*S);
      } else {
        Conn_ = &C;
        OpenQuery(C);
        Forward_ = TReader();
        Conn_ = nullptr;
      }
    } catch (const EDatabaseError& E) {
      Conn_ = nullptr;
      DatabaseError(E.Message(), this);
    }
  }
  TFieldDefs* Defs = GetFieldDefs();
  // Two columns of one name (a join) get distinct field names.
  std::vector<std::string> Names;
  for (const TOdbcColumn& C : Columns_) {
    std::string Name = C.Name;
    for (int N = 1; std::any_of(Names.begin(), Names.end(), [&](const std::string& X) { return AnsiSameText(X, Name); });
         ++N)
      Name = C.Name + "_" + std::to_string(N);
    Names.push_back(std::move(Name));
  }
  // Opening again finds the definitions it made last time; they are kept.
  bool Same = Defs->Count() == static_cast<int>(Columns_.size());
  for (std::size_t I = 0; Same && I < Columns_.size(); ++I) {
    const TFieldDef* D = Defs->GetItem(int(I));
    const TOdbcColumn& C = Columns_[I];
    Same = D->GetName() == Names[I] && D->GetDataType() == C.Type.DataType && D->GetSize() == C.Type.Size &&
           D->GetPrecision() == C.Type.Precision && D->GetRequired() == !C.Nullable;
  }
  if (Same) return;
  Defs->BeginUpdate();
  try {
    Defs->Clear();
    for (std::size_t I = 0; I < Columns_.size(); ++I) {
      const TOdbcColumn& C = Columns_[I];
      TFieldDef* D = Defs->Add(Names[I], C.Type.DataType, C.Type.Size, !C.Nullable);
      D->SetPrecision(C.Type.Precision);
    }
  } catch (...) {
    Defs->EndUpdate();
    throw;
  }
  Defs->EndUpdate();
}

TGetResult TCustomADODataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool /*DoCheck*/) {
  const auto End = [&] { return Base_ + std::int64_t(Rows_.Size()); };
  switch (GetMode) {
    case gmNext: {
      // From past the window's end, the next row is the first one not read yet.
      const std::int64_t Target = Cursor_ < Base_ - 1 ? Base_ : std::min(Cursor_ + 1, End());
      while (Target >= End())
        if (!FetchNext()) {
          Cursor_ = End();
          return grEOF;
        }
      Cursor_ = Target;
      break;
    }
    case gmPrior: {
      const std::int64_t Target = std::min(Cursor_, End()) - 1;
      // Rows read backwards are prepended; the target keeps its logical index.
      if (Target < Base_ && !FetchPrior()) {
        Cursor_ = Base_ - 1;
        return grBOF;
      }
      Cursor_ = Target;
      break;
    }
    case gmCurrent:
      if (Cursor_ < Base_) return grBOF;
      if (Cursor_ >= End()) return grEOF;
      break;
  }
  TRecord* R = static_cast<TRecord*>(Buffer);
  const TCell* Cells = Rows_.Row(std::size_t(Cursor_ - Base_));
  // Buffers keep their capacity, so copying rows of similar size allocates nothing.
  R->Cells.assign(Cells, Cells + Columns_.size());
  R->Text.clear();
  R->Others.clear();
  for (TCell& C : R->Cells) {
    if (C.Kind == TCellKind::Text) {
      const std::size_t At = R->Text.size();
      R->Text.append(Rows_.TextOf(C));
      C.Offset = At;
    } else if (C.Kind == TCellKind::Other) {
      R->Others.push_back(Rows_.Value(C));
      C.Offset = R->Others.size() - 1;
    }
  }
  R->Index = Cursor_;
  R->Generation = Generation_;
  return grOK;
}

void TCustomADODataSet::InternalFirst() {
  if (!AtStart_) StartWindow();
  Cursor_ = Base_ - 1;
}

void TCustomADODataSet::InternalLast() {
  if (IsTableCommand() && Total_ && !Forward_.Done) {
    // The last rows are read backwards by one statement; the rest is not read.
    Rows_.Clear();
    Base_ = 0;
    AtStart_ = false;
    ++Generation_;
    Forward_ = TReader();
    Forward_.Started = true;
    StartReader(Backward_, true);
  } else {
    FetchAll();
  }
  Cursor_ = Base_ + std::int64_t(Rows_.Size());
}

void TCustomADODataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  const TRecord* R = static_cast<TRecord*>(Buffer);
  if (R && R->Index >= 0 && R->Generation == Generation_) Cursor_ = R->Index;
}

int TCustomADODataSet::InternalGetRecordCount() const {
  if (IsTableCommand()) {
    SuspendReaders(nullptr);
    TOdbcStatement S(*Conn_, "SELECT COUNT(*) FROM " + TableRef());
    S.Execute();
    // A driver may describe the count as text (SQLite's, stepping lazily).
    const bool Text = FieldTypeIsText(S.Columns()[0].Type.DataType);
    if (S.Fetch(1) != 1) return 0;
    return Text ? StrToInt(std::string(S.AsText(0, 0))) : int(S.AsInt64(0, 0));
  }
  FetchAll();
  return static_cast<int>(Rows_.Size());
}

int TCustomADODataSet::InternalGetRecNo() const {
  const TRecord* R = static_cast<const TRecord*>(ActiveBuffer());
  // Known only while the window starts at the first row.
  if (!R || R->Index < 0 || R->Generation != Generation_ || !AtStart_) return -1;
  return static_cast<int>(R->Index - Base_ + 1);
}

bool TCustomADODataSet::GetFieldData(TField* Field, void* Buffer) const {
  const TRecord* R = static_cast<const TRecord*>(CurrentRecordBuffer());
  const int Index = Field->GetFieldNo() - 1;
  if (!R || Index < 0 || Index >= static_cast<int>(R->Cells.size())) return false;
  const TCell& C = R->Cells[std::size_t(Index)];
  if (C.Kind == TCellKind::Null) return false;
  if (!Buffer) return true;
  const TFieldType Type = Field->GetDataType();
  // The common cells are written as they are; the rest through the shared codec.
  switch (C.Kind) {
    case TCellKind::Text:
      if (Type == ftString || Type == ftFixedChar || Type == ftGuid) {
        TextToNative(Field, std::string_view(R->Text).substr(C.Offset, C.Length), Buffer);
        return true;
      }
      if (Type == ftMemo || Type == ftBlob || Type == ftFmtMemo || Type == ftGraphic) {
        static_cast<std::string*>(Buffer)->assign(R->Text, C.Offset, C.Length);
        return true;
      }
      break;
    case TCellKind::Int:
      if (Type == ftLargeint) { *static_cast<std::int64_t*>(Buffer) = C.I; return true; }
      if (Type == ftInteger || Type == ftAutoInc) { *static_cast<std::int32_t*>(Buffer) = std::int32_t(C.I); return true; }
      if (Type == ftSmallint) { *static_cast<std::int16_t*>(Buffer) = std::int16_t(C.I); return true; }
      break;
    case TCellKind::Double:
      if (Type == ftFloat) { *static_cast<double*>(Buffer) = C.D; return true; }
      break;
    case TCellKind::Date:
      if (Type == ftDate || Type == ftTime || Type == ftDateTime) { *static_cast<double*>(Buffer) = C.D; return true; }
      break;
    case TCellKind::Currency:
      if (Type == ftBCD) { *static_cast<Currency*>(Buffer) = Currency::FromScaled(C.I); return true; }
      break;
    default:
      break;
  }
  VariantToNative(Field, R->Value(C), Buffer);
  return true;
}

void TCustomADODataSet::SetFieldData(TField* /*Field*/, const void* /*Buffer*/) {
  DatabaseError(dbmsg::SDataSetReadOnly, this);
}

TOwned<TIndexDef> TCustomADODataSet::PSGetDefaultOrder() const {
  if (!IsTableCommand()) return GetIndexForOrderBy(CommandSQL());
  const TIndexDef* From = nullptr;
  if (!IndexName_.empty()) {
    IndexDefs_->Update();
    const int I = IndexDefs_->IndexOf(IndexName_);
    if (I >= 0) From = IndexDefs_->GetItem(I);
  }
  TOwned<TIndexDef> Def = CreateOwned<TIndexDef>(static_cast<TCollection*>(nullptr));
  if (From) {
    Def->Assign(const_cast<TIndexDef*>(From));
    return Def;
  }
  if (!IndexFieldNames_.empty()) {
    Def->SetFields(IndexFieldNames_);
    return Def;
  }
  IndexDefs_->Update();
  for (int I = 0; I < IndexDefs_->Count(); ++I)
    if (IndexDefs_->GetItem(I)->GetOptions().Contains(ixPrimary)) {
      Def->Assign(IndexDefs_->GetItem(I));
      return Def;
    }
  return nullptr;
}

// ---------------------------------------------------------------------------
// TADODataSet, TADOQuery, TADOTable

FYNDRA_PUBLISHED(TADODataSet, P) {
  P.Property("CommandType", &TADODataSet::GetCommandType, &TADODataSet::SetCommandType).Default(cmdText);
  P.Property("CommandText", &TADODataSet::GetCommandText, &TADODataSet::SetCommandText);
  P.Property("Parameters", &TADODataSet::GetParameters, &TADODataSet::SetParameters);
  P.Property("IndexName", &TADODataSet::GetIndexName, &TADODataSet::SetIndexName);
  P.Property("IndexFieldNames", &TADODataSet::GetIndexFieldNames, &TADODataSet::SetIndexFieldNames);
}
static const bool TADODataSetRegistered = (RegisterClass(TADODataSet::StaticClass()), true);

TADODataSet::TADODataSet(TComponent* Owner) : TCustomADODataSet(Owner) {}

FYNDRA_PUBLISHED(TADOQuery, P) {
  P.Property("SQL", &TADOQuery::GetSQL, &TADOQuery::SetSQL);
  P.Property("Parameters", &TADOQuery::GetParameters, &TADOQuery::SetParameters);
}
static const bool TADOQueryRegistered = (RegisterClass(TADOQuery::StaticClass()), true);

TADOQuery::TADOQuery(TComponent* Owner) : TCustomADODataSet(Owner) {}

void TADOQuery::AfterConstruction() {
  TCustomADODataSet::AfterConstruction();
  SQL_ = CreateOwned<TStringList>();
  SQL_->SetOnChange(TNotifyEvent(this, &TADOQuery::SQLChanged));
}

void TADOQuery::SetSQL(TStrings* Value) { SQL_->Assign(Value); }

void TADOQuery::SetCommandText(const std::u16string& Value) { SQL_->SetText(Utf16ToUtf8(Value)); }

void TADOQuery::SQLChanged(TObject* /*Sender*/) {
  if (GetActive()) Close();
  StoreCommandText(Utf8ToUtf16(SQL_->GetText()));
}

int TADOQuery::ExecSQL() {
  TOdbcConnection& C = RequireConnection();
  std::vector<std::u16string> References;
  const std::string Engine = GetParameters()->ParseSQL(GetCommandText(), false, &References);
  try {
    TOdbcStatement S(C, Engine);
    for (std::size_t I = 0; I < References.size(); ++I) {
      const TParameter* P = GetParameters()->FindParam(References[I]);
      if (!P || P->GetValue().IsEmpty()) DatabaseError(Format(SNoParamValue, {Utf16ToUtf8(References[I])}));
      S.BindParam(int(I + 1), P->GetValue(), P->GetDataType());
    }
    S.Execute();
    RowsAffected_ = int(S.RowsAffected());
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
  return RowsAffected_;
}

FYNDRA_PUBLISHED(TADOTable, P) {
  P.Property("TableName", &TADOTable::GetTableName, &TADOTable::SetTableName);
  P.Property("TableDirect", &TADOTable::GetTableDirect, &TADOTable::SetTableDirect).Default(false);
  P.Property("IndexName", &TADOTable::GetIndexName, &TADOTable::SetIndexName);
  P.Property("IndexFieldNames", &TADOTable::GetIndexFieldNames, &TADOTable::SetIndexFieldNames);
}
static const bool TADOTableRegistered = (RegisterClass(TADOTable::StaticClass()), true);

TADOTable::TADOTable(TComponent* Owner) : TCustomADODataSet(Owner, cmdTable) {}

std::string TADOTable::GetTableName() const { return Utf16ToUtf8(GetCommandText()); }

void TADOTable::SetTableName(const std::string& Value) { SetCommandText(Utf8ToUtf16(Value)); }

}  // namespace fyndra
