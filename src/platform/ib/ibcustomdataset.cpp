#include <fyndra/platform/ib/ibcustomdataset.h>

#include <cstring>

#include <fyndra/platform/db/sqltokens.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SNoTransaction = "No transaction: set Transaction or the database's DefaultTransaction";
constexpr const char* SNoDatabase = "No database: set Database or the transaction's DefaultDatabase";
constexpr const char* SNoParamValue = "No value for parameter '%s'";
constexpr const char* SParamNotFound = "Parameter '%s' not found";
constexpr const char* SParamMismatch =
    "The SQL text has %d engine parameters but %d named ones; write parameters as :name";

std::int64_t Pow10(int N) {
  std::int64_t P = 1;
  while (N-- > 0) P *= 10;
  return P;
}

void PutIndex(std::int64_t Index, std::vector<std::uint8_t>& Data) {
  Data.resize(sizeof Index);
  std::memcpy(Data.data(), &Index, sizeof Index);
}

std::int64_t IndexOf(const std::vector<std::uint8_t>& Data) {
  std::int64_t Index = -1;
  if (Data.size() == sizeof Index) std::memcpy(&Index, Data.data(), sizeof Index);
  return Index;
}

}  // namespace

// ---------------------------------------------------------------------------
// TIBCustomDataSet

FYNDRA_PUBLISHED(TIBCustomDataSet, P) {
  P.Property("Database", &TIBCustomDataSet::GetDatabase, &TIBCustomDataSet::SetDatabase);
  P.Property("Transaction", &TIBCustomDataSet::GetTransaction, &TIBCustomDataSet::SetTransaction);
}

TIBCustomDataSet::TIBCustomDataSet(TComponent* Owner) : TDataSet(Owner) {}

void TIBCustomDataSet::BeforeDestruction() {
  ReleaseStatements();
  Detach();
  SetTransaction(nullptr);
  SetDatabase(nullptr);
  TDataSet::BeforeDestruction();
}

void TIBCustomDataSet::SetDatabase(TIBDatabase* Value) {
  if (Value == Database_) return;
  CheckInactive();
  Database_ = Value;
  if (Database_) FreeNotification(Database_);
  StatementChanged();
}

void TIBCustomDataSet::SetTransaction(TIBTransaction* Value) {
  if (Value == Transaction_) return;
  CheckInactive();
  Transaction_ = Value;
  if (Transaction_) FreeNotification(Transaction_);
}

void TIBCustomDataSet::Notification(TComponent* Component, TOperation Operation) {
  TDataSet::Notification(Component, Operation);
  if (Operation != opRemove) return;
  if (Component == AttachedTransaction_ || Component == AttachedDatabase_) {
    // Its engine objects are gone with it.
    Statement_.reset();
    PreparedOn_ = nullptr;
    if (GetActive()) Close();
    if (Component == AttachedTransaction_) AttachedTransaction_ = nullptr;
    if (Component == AttachedDatabase_) AttachedDatabase_ = nullptr;
  }
  if (Component == Database_) Database_ = nullptr;
  if (Component == Transaction_) Transaction_ = nullptr;
}

TIBTransaction& TIBCustomDataSet::RequireTransaction() {
  TIBTransaction* T = Transaction_ ? Transaction_ : Database_ ? Database_->GetDefaultTransaction() : nullptr;
  if (!T) IBError(SNoTransaction, this);
  if (!T->GetDefaultDatabase()) {
    if (!Database_) IBError(SNoDatabase, this);
    T->SetDefaultDatabase(Database_);
  }
  if (!T->GetActive()) T->StartTransaction();
  Attach(*T);
  return *T;
}

void TIBCustomDataSet::Attach(TIBTransaction& Transaction) {
  if (AttachedTransaction_ != &Transaction) {
    if (AttachedTransaction_) AttachedTransaction_->UnregisterDataSet(this);
    AttachedTransaction_ = &Transaction;
    Transaction.RegisterDataSet(this);
    FreeNotification(&Transaction);
  }
  TIBDatabase* Db = Transaction.GetDefaultDatabase();
  if (AttachedDatabase_ != Db) {
    if (AttachedDatabase_) AttachedDatabase_->UnregisterClient(this);
    AttachedDatabase_ = Db;
    Db->RegisterClient(this);
    FreeNotification(Db);
  }
}

void TIBCustomDataSet::Detach() {
  if (AttachedTransaction_) {
    AttachedTransaction_->UnregisterDataSet(this);
    AttachedTransaction_ = nullptr;
  }
  if (AttachedDatabase_) {
    AttachedDatabase_->UnregisterClient(this);
    AttachedDatabase_ = nullptr;
  }
}

TIBClientStatement& TIBCustomDataSet::PreparedStatement() {
  TIBTransaction& T = RequireTransaction();
  TIBClientTransaction& Handle = T.Handle();
  // A statement belongs to the attachment it was prepared on.
  if (Statement_ && PreparedOn_ != &Handle.Attachment()) StatementChanged();
  if (!Statement_) {
    try {
      Statement_ = std::make_unique<TIBClientStatement>(Handle, SelectText());
    } catch (const EIBError& E) {
      IBReraise(E, this);
    }
    PreparedOn_ = &Handle.Attachment();
  }
  return *Statement_;
}

void TIBCustomDataSet::StatementChanged() {
  if (GetActive()) Close();
  Statement_.reset();
  PreparedOn_ = nullptr;
}

void TIBCustomDataSet::Prepare() { PreparedStatement(); }
void TIBCustomDataSet::Unprepare() { StatementChanged(); }

void TIBCustomDataSet::ReleaseStatements() {
  if (GetActive()) Close();
  Statement_.reset();
  PreparedOn_ = nullptr;
}

std::string TIBCustomDataSet::QuoteIdentifier(const std::string& Name) {
  std::string Out = "\"";
  for (char C : Name) {
    Out += C;
    if (C == '"') Out += '"';
  }
  return Out + "\"";
}

void TIBCustomDataSet::ParseSelectText(const std::string& SQL, TParams& Params, std::string& Engine,
                                       std::vector<std::string>& References) {
  StatementChanged();
  References.clear();
  Engine = Params.ParseSQL(SQL, true, &References);
}

void TIBCustomDataSet::BindReferences(const TParams& Params, const std::vector<std::string>& References,
                                      TIBClientStatement& Statement) const {
  if (Statement.ParamCount() != static_cast<int>(References.size()))
    IBError(Format(SParamMismatch, {Statement.ParamCount(), static_cast<std::int32_t>(References.size())}), this);
  Statement.ClearParams();
  for (std::size_t I = 0; I < References.size(); ++I) {
    const TParam* P = Params.FindParam(References[I]);
    if (!P || !P->GetBound()) IBError(Format(SNoParamValue, {References[I]}), this);
    Statement.SetParam(static_cast<int>(I), P->GetValue(), P->GetDataType());
  }
}

TRecordBuffer TIBCustomDataSet::AllocRecordBuffer() { return new TRecord; }

void TIBCustomDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete static_cast<TRecord*>(Buffer);
  Buffer = nullptr;
}

void TIBCustomDataSet::InternalOpen() {
  TIBClientStatement& S = PreparedStatement();
  TIBTransaction& T = *AttachedTransaction_;
  try {
    BindParams(S);
    S.Open(T.Handle());
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
  Cells_.clear();
  Text_.clear();
  RowCount_ = 0;
  Done_ = false;
  Cursor_ = -1;
  Columns_ = S.Columns().size();
  CursorOpen_ = true;
}

void TIBCustomDataSet::InternalClose() {
  if (Statement_) Statement_->Close();
  // Give the memory back: a window may have held a whole table.
  std::vector<TIBCell>().swap(Cells_);
  std::string().swap(Text_);
  RowCount_ = 0;
  Done_ = false;
  Cursor_ = -1;
  CursorOpen_ = false;
}

void TIBCustomDataSet::InternalInitFieldDefs() {
  // The description comes from the prepared statement; nothing is run.
  TIBClientStatement& S = PreparedStatement();
  const std::vector<TIBColumn>& Columns = S.Columns();
  auto Required = [](const TIBColumn& C) { return !C.Nullable && !C.Relation.empty(); };
  auto Matches = [&](const TFieldDef* D, const TIBColumn& C, const std::string& Name) {
    return D->GetName() == Name && D->GetDataType() == C.DataType && D->GetSize() == C.Size &&
           D->GetPrecision() == C.Precision && D->GetRequired() == Required(C);
  };
  TFieldDefs* Defs = GetFieldDefs();
  // Opening the same statement again finds the definitions it made last
  // time; they are kept rather than made anew (checked first by the
  // columns' own names, the common case).
  bool Same = Defs->Count() == static_cast<int>(Columns.size());
  for (std::size_t I = 0; Same && I < Columns.size(); ++I)
    Same = Matches(Defs->GetItem(int(I)), Columns[I], Columns[I].Name);
  if (Same) return;
  std::vector<std::string> Names;
  Names.reserve(Columns.size());
  auto Taken = [&](const std::string& Name) {
    for (const std::string& N : Names)
      if (AnsiSameText(N, Name)) return true;
    return false;
  };
  for (const TIBColumn& C : Columns) {
    std::string Name = C.Name;
    // Two columns of one name (a join) get distinct field names.
    for (int N = 1; Taken(Name); ++N) Name = C.Name + "_" + std::to_string(N);
    Names.push_back(std::move(Name));
  }
  Same = Defs->Count() == static_cast<int>(Columns.size());
  for (std::size_t I = 0; Same && I < Columns.size(); ++I) Same = Matches(Defs->GetItem(int(I)), Columns[I], Names[I]);
  if (Same) return;
  Defs->BeginUpdate();
  try {
    Defs->Clear();
    for (std::size_t I = 0; I < Columns.size(); ++I) {
      const TIBColumn& C = Columns[I];
      if (C.DataType == ftUnknown) DatabaseError(Format(dbmsg::SFieldTypeNotSupported, {Names[I]}), this);
      TFieldDef* D = Defs->Add(Names[I], C.DataType, C.Size, Required(C));
      D->SetPrecision(C.Precision);
    }
  } catch (...) {
    Defs->EndUpdate();
    throw;
  }
  Defs->EndUpdate();
}

bool TIBCustomDataSet::FetchRow() const {
  if (Done_ || !Statement_) return false;
  try {
    if (!Statement_->Fetch()) {
      Done_ = true;
      return false;
    }
    const std::size_t Start = Cells_.size();
    Cells_.resize(Start + Columns_);
    try {
      Statement_->DecodeRow(Cells_.data() + Start, Text_);
    } catch (...) {
      Cells_.resize(Start);  // the row is not added
      throw;
    }
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
  ++RowCount_;
  return true;
}

void TIBCustomDataSet::FetchAll() const {
  while (FetchRow()) {
  }
}

TGetResult TIBCustomDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool /*DoCheck*/) {
  switch (GetMode) {
    case gmNext: {
      const std::int64_t Target = std::min(Cursor_ + 1, RowCount_);
      while (Target >= RowCount_)
        if (!FetchRow()) {
          Cursor_ = RowCount_;
          return grEOF;
        }
      Cursor_ = Target;
      break;
    }
    case gmPrior:
      if (std::min(Cursor_, RowCount_) - 1 < 0) {
        Cursor_ = -1;
        return grBOF;
      }
      Cursor_ = std::min(Cursor_, RowCount_) - 1;
      break;
    case gmCurrent:
      if (Cursor_ < 0) return grBOF;
      if (Cursor_ >= RowCount_) return grEOF;
      break;
  }
  static_cast<TRecord*>(Buffer)->Index = Cursor_;
  return grOK;
}

void TIBCustomDataSet::InternalLast() {
  FetchAll();
  Cursor_ = RowCount_;
}

void TIBCustomDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  if (const auto* R = static_cast<const TRecord*>(Buffer)) Cursor_ = R->Index;
}

void TIBCustomDataSet::GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const {
  const auto* R = static_cast<const TRecord*>(Buffer);
  if (R && R->Index >= 0) PutIndex(R->Index, Data);
}

bool TIBCustomDataSet::InternalGotoBookmark(const std::vector<std::uint8_t>& Data) {
  if (!InternalBookmarkValid(Data)) return false;
  Cursor_ = IndexOf(Data);
  return true;
}

bool TIBCustomDataSet::InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const {
  const std::int64_t Index = IndexOf(Data);
  return Index >= 0 && Index < RowCount_;
}

int TIBCustomDataSet::InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                                               const std::vector<std::uint8_t>& B) const {
  const std::int64_t X = IndexOf(A), Y = IndexOf(B);
  return X < Y ? -1 : X > Y ? 1 : 0;
}

int TIBCustomDataSet::InternalGetRecordCount() const {
  FetchAll();
  return static_cast<int>(RowCount_);
}

int TIBCustomDataSet::InternalGetRecNo() const {
  const auto* R = static_cast<const TRecord*>(ActiveBuffer());
  return R && R->Index >= 0 ? static_cast<int>(R->Index + 1) : -1;
}

bool TIBCustomDataSet::InternalSetRecNo(int Value) {
  while (RowCount_ < Value && FetchRow()) {
  }
  if (Value < 1 || Value > RowCount_) return false;
  Cursor_ = Value - 1;
  return true;
}

bool TIBCustomDataSet::GetFieldData(TField* Field, void* Buffer) const {
  const auto* R = static_cast<const TRecord*>(CurrentRecordBuffer());
  const int Col = Field->GetFieldNo() - 1;
  if (!R || R->Index < 0 || R->Index >= RowCount_ || Col < 0 || std::size_t(Col) >= Columns_) return false;
  const TIBCell& Cell = Cells_[std::size_t(R->Index) * Columns_ + std::size_t(Col)];
  if (Cell.IsNull()) return false;
  if (!Buffer) return true;
  const TIBColumn& Column = Statement_->Columns()[std::size_t(Col)];
  const std::string_view Text(Text_.data() + (Cell.IsNull() ? 0 : Cell.Offset), Cell.IsNull() ? 0 : Cell.Length);
  switch (Field->GetDataType()) {
    case ftString: case ftFixedChar: case ftGuid:
      TextToNative(Field, Text, Buffer);
      return true;
    case ftMemo: case ftFmtMemo: case ftBlob: case ftGraphic: case ftBytes: case ftVarBytes:
      static_cast<std::string*>(Buffer)->assign(Text.data(), Text.size());
      return true;
    case ftSmallint: *static_cast<std::int16_t*>(Buffer) = std::int16_t(Cell.I); return true;
    case ftInteger: *static_cast<std::int32_t*>(Buffer) = std::int32_t(Cell.I); return true;
    case ftLargeint: *static_cast<std::int64_t*>(Buffer) = Cell.I; return true;
    case ftBoolean: *static_cast<std::uint16_t*>(Buffer) = Cell.I ? 1 : 0; return true;
    case ftFloat: *static_cast<double*>(Buffer) = Cell.D; return true;
    case ftBCD:
      *static_cast<Currency*>(Buffer) = Currency::FromScaled(Cell.I * Pow10(4 + Column.Scale));
      return true;
    default:
      // Exact decimals, dates and times through their variant form.
      VariantToNative(Field, IBCellValue(Column, Cell, Text_), Buffer);
      return true;
  }
}

void TIBCustomDataSet::SetFieldData(TField* /*Field*/, const void* /*Buffer*/) {
  DatabaseError(dbmsg::SDataSetReadOnly, this);
}

// ---------------------------------------------------------------------------
// TIBQuery

FYNDRA_PUBLISHED(TIBQuery, P) {
  P.Property("SQL", &TIBQuery::GetSQL, &TIBQuery::SetSQL);
  P.Property("Params", &TIBQuery::GetParams, &TIBQuery::SetParams);
}
static const bool TIBQueryRegistered = (RegisterClass(TIBQuery::StaticClass()), true);

TIBQuery::TIBQuery(TComponent* Owner) : TIBCustomDataSet(Owner) {}

void TIBQuery::AfterConstruction() {
  TIBCustomDataSet::AfterConstruction();
  SQL_ = CreateOwned<TStringList>();
  Params_ = CreateOwned<TParams>(static_cast<TPersistent*>(this));
  SQL_->SetOnChange(TNotifyEvent(this, &TIBQuery::SQLChanged));
}

void TIBQuery::SetSQL(TStrings* Value) { SQL_->Assign(Value); }

void TIBQuery::SetParams(TParams* Value) {
  if (Value) Params_->AssignValues(*Value);
}

void TIBQuery::SQLChanged(TObject* /*Sender*/) {
  ParseSelectText(SQL_->GetText(), *Params_, EngineText_, References_);
}

void TIBQuery::BindParams(TIBClientStatement& Statement) const { BindReferences(*Params_, References_, Statement); }

void TIBQuery::ExecSQL() {
  TIBClientStatement& S = PreparedStatement();
  try {
    BindParams(S);
    RowsAffected_ = static_cast<int>(S.Execute(RequireTransaction().Handle()));
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
}

TOwned<TIndexDef> TIBQuery::PSGetDefaultOrder() const { return GetIndexForOrderBy(SQL_->GetText()); }

// ---------------------------------------------------------------------------
// TIBSQLParams, TIBDataSet

TIBSQLParams::TIBSQLParams() : Params_(CreateOwned<TParams>(static_cast<TPersistent*>(nullptr))) {}
TIBSQLParams::~TIBSQLParams() = default;

TParam* TIBSQLParams::ByName(const std::string& Name) const {
  TParam* P = Params_->FindParam(Name);
  if (!P) IBError(Format(SParamNotFound, {Name}));
  return P;
}

FYNDRA_PUBLISHED(TIBDataSet, P) {
  P.Property("SelectSQL", &TIBDataSet::GetSelectSQL, &TIBDataSet::SetSelectSQL);
}
static const bool TIBDataSetRegistered = (RegisterClass(TIBDataSet::StaticClass()), true);

TIBDataSet::TIBDataSet(TComponent* Owner) : TIBCustomDataSet(Owner) {}

void TIBDataSet::AfterConstruction() {
  TIBCustomDataSet::AfterConstruction();
  SelectSQL_ = CreateOwned<TStringList>();
  SQLParams_ = std::make_unique<TIBSQLParams>();
  SelectSQL_->SetOnChange(TNotifyEvent(this, &TIBDataSet::SQLChanged));
}

void TIBDataSet::SetSelectSQL(TStrings* Value) { SelectSQL_->Assign(Value); }

void TIBDataSet::SQLChanged(TObject* /*Sender*/) {
  ParseSelectText(SelectSQL_->GetText(), SQLParams_->List(), EngineText_, References_);
}

void TIBDataSet::BindParams(TIBClientStatement& Statement) const {
  BindReferences(SQLParams_->List(), References_, Statement);
}

TOwned<TIndexDef> TIBDataSet::PSGetDefaultOrder() const { return GetIndexForOrderBy(SelectSQL_->GetText()); }

}  // namespace fyndra
