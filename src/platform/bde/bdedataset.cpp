#include <fyndra/platform/bde/bdedataset.h>

#include <algorithm>
#include <cstring>

#include <fyndra/platform/db/sqltokens.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SNoDatabase = "No database: set Database or DatabaseName";
constexpr const char* SDatabaseNotFound = "Database '%s' not found";
constexpr const char* SNoParamValue = "No value for parameter '%s'";
constexpr const char* SParamMismatch =
    "The SQL text has %d engine parameters but %d named ones; write parameters as :name";

void PutIndex(std::int64_t Index, std::vector<std::uint8_t>& Data) {
  Data.resize(8);
  // Big-endian, so that byte order is row order.
  for (int I = 7; I >= 0; --I, Index >>= 8) Data[std::size_t(I)] = std::uint8_t(Index & 0xFF);
}

std::int64_t GetIndex(const std::vector<std::uint8_t>& Data) {
  if (Data.size() != 8) return -1;
  std::int64_t Index = 0;
  for (std::uint8_t B : Data) Index = (Index << 8) | B;
  return Index;
}

}  // namespace

TTextKeyOrder TextKeyOrderOfCollation(std::string_view Collation) {
  if (AnsiSameText(Collation, "BINARY")) return TTextKeyOrder::Bytes;
  if (AnsiSameText(Collation, "NOCASE")) return TTextKeyOrder::AsciiFolded;
  if (IsCurrentCaseInsensitiveCollation(Collation)) return TTextKeyOrder::CaseInsensitive;
  return TTextKeyOrder::Other;
}

// ---------------------------------------------------------------------------
// TBDEDataSet

FYNDRA_PUBLISHED(TBDEDataSet, P) {
  P.Property("DatabaseName", &TBDEDataSet::GetDatabaseName, &TBDEDataSet::SetDatabaseName);
}

TBDEDataSet::TBDEDataSet(TComponent* Owner) : TDataSet(Owner) {}

void TBDEDataSet::BeforeDestruction() {
  ReleaseStatements();
  if (Registered_) Registered_->UnregisterDataSet(this);
  Registered_ = nullptr;
  if (Database_) RemoveFreeNotification(Database_);
  Database_ = nullptr;
  TDataSet::BeforeDestruction();
}

TDatabase* TBDEDataSet::GetDatabase() const {
  return Database_ ? Database_ : TDatabase::FindDatabase(DatabaseName_);
}

void TBDEDataSet::SetDatabase(TDatabase* Value) {
  if (Value == Database_) return;
  CheckInactive();
  if (Database_) RemoveFreeNotification(Database_);
  Database_ = Value;
  if (Database_) FreeNotification(Database_);
}

void TBDEDataSet::SetDatabaseName(const std::string& Value) {
  if (Value == DatabaseName_) return;
  CheckInactive();
  DatabaseName_ = Value;
}

void TBDEDataSet::Notification(TComponent* Component, TOperation Operation) {
  TDataSet::Notification(Component, Operation);
  if (Operation != opRemove) return;
  if (Component == Database_) Database_ = nullptr;
  if (Component == Registered_) Registered_ = nullptr;
}

TDatabase& TBDEDataSet::RequireDatabase() {
  TDatabase* Db = GetDatabase();
  if (!Db) {
    if (DatabaseName_.empty()) DatabaseError(SNoDatabase, this);
    DatabaseError(Format(SDatabaseNotFound, {DatabaseName_}), this);
  }
  if (!Db->GetConnected()) Db->Open();
  if (Registered_ != Db) {
    if (Registered_) Registered_->UnregisterDataSet(this);
    Db->RegisterDataSet(this);
    Registered_ = Db;
  }
  return *Db;
}

void TBDEDataSet::ReleaseStatements() {
  if (GetActive()) Close();
}

TRecordBuffer TBDEDataSet::AllocRecordBuffer() {
  auto* R = new TRecord;
  R->Values.assign(std::size_t(GetFieldDefs()->Count()), Null());
  return R;
}

void TBDEDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete RecordOf(Buffer);
  Buffer = nullptr;
}

void TBDEDataSet::InternalOpen() {
  TDatabase& Db = RequireDatabase();
  TypesKnown_ = false;
  StartWindow(nullptr);
  Statement_ = &OpenStatement(Db);
  CursorOpen_ = true;
}

void TBDEDataSet::StartWindow(TSQLiteStatement* Forward) {
  Rows_.clear();
  Base_ = 0;
  Cursor_ = -1;
  Done_ = false;
  Statement_ = Forward;
}

void TBDEDataSet::InternalFirst() {
  if (!WindowAtStart()) RestartAtStart();
  Cursor_ = Base_ - 1;
}

void TBDEDataSet::InternalClose() {
  Rows_.clear();
  Base_ = 0;
  Cursor_ = -1;
  Done_ = false;
  TypesKnown_ = false;
  Statement_ = nullptr;
  CloseStatement();
  CursorOpen_ = false;
}

void TBDEDataSet::DetermineColumnTypes(const TSQLiteStatement& S) const {
  // Called with the first row current (or none when there is no row).
  const bool HasRow = !Rows_.empty() || !Done_;
  ColumnTypes_.clear();
  DeclCache_.resize(std::size_t(std::max(0, S.ColumnCount() - HiddenColumns())));
  for (int C = HiddenColumns(); C < S.ColumnCount(); ++C) {
    std::string Decl = S.ColumnDeclType(C);
    // A statement opened again declares the same types: the last parse is reused.
    auto& Cached = DeclCache_[std::size_t(C - HiddenColumns())];
    if (!Decl.empty() && Cached.first != Decl) Cached = {Decl, ColumnTypeFromDecl(Decl)};
    if (!Decl.empty()) ColumnTypes_.push_back(Cached.second);
    else ColumnTypes_.push_back({FieldTypeFromStorage(HasRow ? S.ColumnStorage(C) : TStorage::Null), 0, 0});
  }
  TypesKnown_ = true;
}

namespace {

// Whether the engine hands values of Type over as their text (or blob) bytes
// unchanged: the types TSQLiteStatement::ColumnValue reads as a plain string.
bool ReadsAsBytes(TFieldType Type) {
  switch (Type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: case ftBoolean:
    case ftFloat: case ftCurrency: case ftBCD: case ftFMTBcd:
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
    case ftWideString:
      return false;
    default:
      return true;
  }
}

}  // namespace

Variant TBDEDataSet::TCells::Value(const TCell& C) const {
  switch (C.Kind) {
    case TCellKind::Null: return Null();
    case TCellKind::Int32: return Variant(static_cast<std::int32_t>(C.I));
    case TCellKind::Int64: return Variant(C.I);
    case TCellKind::Boolean: return Variant(C.I != 0);
    case TCellKind::Double: return Variant(C.D);
    case TCellKind::Date: return Variant::FromDateTime(C.D);
    case TCellKind::Currency: return Variant(Currency::FromScaled(C.I));
    case TCellKind::Text: return Variant(std::string(TextOf(C)));
    case TCellKind::Other: return Others[C.Offset];
  }
  return Null();
}

// Decodes the usual cases of integer and currency columns straight into
// Cell, as TSQLiteStatement::ColumnValue would convert them; false leaves the
// value to ColumnValue. Raw is the column's non-Null value.
bool TBDEDataSet::TRowStore::DecodeInline(const TSQLiteCell& Raw, TFieldType Type, TCell& Cell) {
  using K = TCellKind;
  switch (Type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: case ftBoolean: {
      if (Raw.Storage != TStorage::Integer) return false;
      const std::int64_t I = Raw.Integer;
      if (Type == ftLargeint) {
        Cell.Kind = K::Int64;
        Cell.I = I;
      } else if (Type == ftBoolean) {
        Cell.Kind = K::Boolean;
        Cell.I = I != 0;
      } else {
        if (I < INT32_MIN || I > INT32_MAX) return false;  // ColumnValue refuses it
        Cell.Kind = K::Int32;
        Cell.I = I;
      }
      return true;
    }
    case ftCurrency: case ftBCD: {
      // Currency holds whole numbers up to this bound exactly.
      constexpr std::int64_t MaxWhole = INT64_MAX / 10000;
      Currency C;
      if (Raw.Storage == TStorage::Integer) {
        if (Raw.Integer < -MaxWhole || Raw.Integer > MaxWhole) return false;
        C = Currency::FromScaled(Raw.Integer * 10000);
      } else if (Raw.Storage == TStorage::Real || Raw.Storage == TStorage::Text) {
        // The engine's own text of a real: exact to the digits it keeps.
        if (!TryPlainTextToCurrency(Raw.Bytes, C)) return false;
      } else {
        return false;
      }
      Cell.Kind = K::Currency;
      Cell.I = C.Scaled();
      return true;
    }
    default:
      return false;
  }
}

Variant TBDEDataSet::TRowRef::Value(std::size_t Column) const { return Store->Value(Cells[Column]); }

void TBDEDataSet::TRowStore::clear() {
  Columns_ = 0;
  FrontIds_.clear();
  BackIds_.clear();
  // Give the memory back: a window may have held a whole table.
  std::vector<TCell>().swap(Front_);
  std::vector<TCell>().swap(Back_);
  std::string().swap(Data_.Text);
  std::vector<Variant>().swap(Data_.Others);
}

TBDEDataSet::TRowRef TBDEDataSet::TRowStore::operator[](std::size_t I) const {
  if (I < FrontIds_.size()) {
    const std::size_t J = FrontIds_.size() - 1 - I;
    return {this, Front_.data() + J * Columns_, FrontIds_[J]};
  }
  I -= FrontIds_.size();
  return {this, Back_.data() + I * Columns_, BackIds_[I]};
}

void TBDEDataSet::TRowStore::Push(std::vector<TCell>& Side, const TSQLiteStatement& S, int Hidden,
                                  const std::vector<TColumnType>& Types) {
  Columns_ = Types.size();
  const std::size_t Start = Side.size();
  Side.resize(Start + Columns_);
  TSQLiteCell Raw;
  try {
    for (std::size_t C = 0; C < Columns_; ++C) {
      TCell& Cell = Side[Start + C];
      const int Col = Hidden + int(C);
      const TFieldType Type = Types[C].DataType;
      const bool AsBytes = ReadsAsBytes(Type);
      const bool Decimal = Type == ftCurrency || Type == ftBCD;
      S.ReadCell(Col, Raw, AsBytes ? TCellText::Always : Decimal ? TCellText::ForReal : TCellText::Never);
      if (Raw.Storage == TStorage::Null) {
        Cell.Kind = TCellKind::Null;
        continue;
      }
      if (AsBytes) {
        // Text is copied straight into the shared buffer: no string, no variant.
        Cell.Kind = TCellKind::Text;
        Cell.Offset = Data_.Text.size();
        Cell.Length = static_cast<std::uint32_t>(Raw.Bytes.size());
        Data_.Text.append(Raw.Bytes);
        continue;
      }
      if (DecodeInline(Raw, Type, Cell)) continue;
      // Everything else goes through the engine layer's conversions (which
      // also raise for a value that does not fit); the common results are
      // kept inline.
      Variant Value = S.ColumnValue(Col, Type);
      switch (Value.VarType()) {
        case varNull: Cell.Kind = TCellKind::Null; break;
        case varInteger: Cell.Kind = TCellKind::Int32; Cell.I = Value.AsInteger(); break;
        case varInt64: Cell.Kind = TCellKind::Int64; Cell.I = Value.AsInt64(); break;
        case varBoolean: Cell.Kind = TCellKind::Boolean; Cell.I = Value.AsBoolean() ? 1 : 0; break;
        case varDouble: Cell.Kind = TCellKind::Double; Cell.D = Value.AsDouble(); break;
        case varDate: Cell.Kind = TCellKind::Date; Cell.D = Value.AsDateTime(); break;
        case varCurrency: Cell.Kind = TCellKind::Currency; Cell.I = Value.AsCurrency().Scaled(); break;
        default:
          Cell.Kind = TCellKind::Other;
          Cell.Offset = Data_.Others.size();
          Data_.Others.push_back(std::move(Value));
          break;
      }
    }
  } catch (...) {
    Side.resize(Start);  // the row is not added
    throw;
  }
}

void TBDEDataSet::TRowStore::PushBack(const TSQLiteStatement& S, int Hidden, const std::vector<TColumnType>& Types,
                                      std::int64_t RowId) {
  Push(Back_, S, Hidden, Types);
  BackIds_.push_back(RowId);
}

void TBDEDataSet::TRowStore::PushFront(const TSQLiteStatement& S, int Hidden, const std::vector<TColumnType>& Types,
                                       std::int64_t RowId) {
  Push(Front_, S, Hidden, Types);
  FrontIds_.push_back(RowId);
}

void TBDEDataSet::TRowStore::Erase(std::size_t I) {
  // The row's text and other values stay in the shared buffers until clear.
  if (I < FrontIds_.size()) {
    const std::size_t J = FrontIds_.size() - 1 - I;
    Front_.erase(Front_.begin() + std::ptrdiff_t(J * Columns_), Front_.begin() + std::ptrdiff_t((J + 1) * Columns_));
    FrontIds_.erase(FrontIds_.begin() + std::ptrdiff_t(J));
    return;
  }
  I -= FrontIds_.size();
  Back_.erase(Back_.begin() + std::ptrdiff_t(I * Columns_), Back_.begin() + std::ptrdiff_t((I + 1) * Columns_));
  BackIds_.erase(BackIds_.begin() + std::ptrdiff_t(I));
}

void TBDEDataSet::TRowStore::CopyCellData(TCell& C, const TCells& From, TCells& To) {
  if (C.Kind == TCellKind::Text) {
    const std::size_t At = To.Text.size();
    To.Text.append(From.Text, C.Offset, C.Length);
    C.Offset = At;
  } else if (C.Kind == TCellKind::Other) {
    To.Others.push_back(From.Others[C.Offset]);
    C.Offset = To.Others.size() - 1;
  }
}

void TBDEDataSet::TRowStore::DropFront(std::size_t N) {
  N = std::min(N, size());
  TRowStore Kept;
  Kept.Columns_ = Columns_;
  // The window fills up again to about its old size: room for that is made
  // once, not grown row by row.
  Kept.Back_.reserve(Front_.size() + Back_.capacity());
  Kept.BackIds_.reserve(FrontIds_.size() + BackIds_.capacity());
  Kept.Data_.Text.reserve(Data_.Text.capacity());
  for (std::size_t I = N; I < size(); ++I) {
    const TRowRef Row = (*this)[I];
    for (std::size_t C = 0; C < Columns_; ++C) {
      Kept.Back_.push_back(Row.Cells[C]);
      CopyCellData(Kept.Back_.back(), Data_, Kept.Data_);
    }
    Kept.BackIds_.push_back(Row.RowId);
  }
  *this = std::move(Kept);
}

void TBDEDataSet::TRowStore::CopyRow(std::size_t I, TCells& Out) const {
  const TRowRef Row = (*this)[I];
  // Buffers keep their capacity, so copying rows of similar size allocates nothing.
  Out.Cells.assign(Row.Cells, Row.Cells + Columns_);
  Out.Text.clear();
  Out.Others.clear();
  for (TCell& C : Out.Cells) CopyCellData(C, Data_, Out);
}

void TBDEDataSet::Materialize(TRecord& R) {
  if (R.InValues) return;
  R.Values.resize(R.Row.Cells.size());
  for (std::size_t I = 0; I < R.Row.Cells.size(); ++I) R.Values[I] = R.Row.Value(R.Row.Cells[I]);
  R.InValues = true;
}

std::int64_t TBDEDataSet::ReadRowInto(const TSQLiteStatement& S, std::vector<Variant>& Values) const {
  const int Hidden = HiddenColumns();
  Values.resize(ColumnTypes_.size());
  for (std::size_t C = 0; C < ColumnTypes_.size(); ++C)
    Values[C] = S.ColumnValue(Hidden + int(C), ColumnTypes_[C].DataType);
  return Hidden > 0 ? S.ColumnInt64(0) : 0;
}

void TBDEDataSet::PrependRow(const TSQLiteStatement& S) const {
  const int Hidden = HiddenColumns();
  Rows_.PushFront(S, Hidden, ColumnTypes_, Hidden > 0 ? S.ColumnInt64(0) : 0);
}

TBDEDataSet::TRow TBDEDataSet::ReadRow(const TSQLiteStatement& S) const {
  TRow R;
  R.RowId = ReadRowInto(S, R.Values);
  return R;
}

bool TBDEDataSet::FetchRow() const {
  if (Done_ || !Statement_) return false;
  while (!Statement_->Step()) {
    if (!TypesKnown_) DetermineColumnTypes(*Statement_);
    if (TSQLiteStatement* More = NextForwardStatement()) {
      Statement_ = More;
      continue;
    }
    Done_ = true;
    return false;
  }
  if (!TypesKnown_) DetermineColumnTypes(*Statement_);
  const int Hidden = HiddenColumns();
  Rows_.PushBack(*Statement_, Hidden, ColumnTypes_, Hidden > 0 ? Statement_->ColumnInt64(0) : 0);
  return true;
}

void TBDEDataSet::FetchAll() const {
  while (FetchRow()) {
  }
}

void TBDEDataSet::InternalInitFieldDefs() {
  // The definitions of an open dataset do not change.
  if (CursorOpen_ && TypesKnown_ && GetFieldDefs()->Count() > 0) return;
  // Definitions asked for while closed come from a statement run just for them.
  const bool Temporary = !CursorOpen_;
  if (Temporary) InternalOpen();
  try {
    TSQLiteStatement& S = *Statement_;
    if (!TypesKnown_) {
      bool NeedsRow = false;
      for (int C = HiddenColumns(); C < S.ColumnCount(); ++C) NeedsRow = NeedsRow || S.ColumnDeclType(C).empty();
      if (NeedsRow) FetchRow();  // a computed column is typed by its first value
      else DetermineColumnTypes(S);
    }
    // What each column gives: a distinct name, the type, whether it is required.
    struct TDefInfo {
      std::string Name;
      bool Required;
    };
    TFieldDefs* Defs = GetFieldDefs();
    std::vector<TDefInfo> Infos;
    Infos.reserve(ColumnTypes_.size());
    auto Taken = [&](const std::string& Name) {
      for (const TDefInfo& I : Infos)
        if (AnsiSameText(I.Name, Name)) return true;
      return false;
    };
    for (std::size_t C = 0; C < ColumnTypes_.size(); ++C) {
      const int Col = HiddenColumns() + int(C);
      std::string Name = S.ColumnName(Col);
      // Two columns of one name (a join) get distinct field names.
      for (int N = 1; Taken(Name); ++N) Name = S.ColumnName(Col) + "_" + std::to_string(N);
      bool Required = false;
      std::string Table = S.ColumnTable(Col), Origin = S.ColumnOrigin(Col);
      TSQLiteColumnInfo Info;
      if (!Table.empty() && !Origin.empty() && S.Connection().ColumnInfo(Table, Origin, Info)) {
        // The row id alias gets its value from the engine when left Null.
        const bool RowIdAlias = Info.PrimaryKey && AnsiSameText(Info.DeclType, "INTEGER");
        Required = Info.NotNull && !RowIdAlias;
      }
      Infos.push_back({std::move(Name), Required});
    }
    // Opening the same statement again finds the definitions it made last
    // time; they are kept rather than made anew.
    bool Same = Defs->Count() == static_cast<int>(Infos.size());
    for (std::size_t C = 0; Same && C < Infos.size(); ++C) {
      const TFieldDef* D = Defs->GetItem(int(C));
      const TColumnType& T = ColumnTypes_[C];
      Same = D->GetName() == Infos[C].Name && D->GetDataType() == T.DataType && D->GetSize() == T.Size &&
             D->GetPrecision() == T.Precision && D->GetRequired() == Infos[C].Required;
    }
    if (!Same) {
      InUpdate(*Defs, [&] {
        Defs->Clear();
        for (std::size_t C = 0; C < Infos.size(); ++C) {
          const TColumnType& T = ColumnTypes_[C];
          TFieldDef* D = Defs->Add(Infos[C].Name, T.DataType, T.Size, Infos[C].Required);
          D->SetPrecision(T.Precision);
        }
      });
    }
  } catch (...) {
    if (Temporary) InternalClose();
    throw;
  }
  if (Temporary) InternalClose();
}

TGetResult TBDEDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool /*DoCheck*/) {
  if (GetMode != gmCurrent) LimitWindow();
  switch (GetMode) {
    case gmNext: {
      // From past the window's end, the next row is the first one not read yet.
      std::int64_t Target = Cursor_ < Base_ - 1 ? Base_ : std::min(Cursor_ + 1, WindowEnd());
      while (Target >= WindowEnd())
        if (!FetchRow()) {
          Cursor_ = WindowEnd();
          return grEOF;
        }
      Cursor_ = Target;
      break;
    }
    case gmPrior: {
      std::int64_t Target = std::min(Cursor_, WindowEnd()) - 1;
      if (Target < Base_) {
        // A row read backwards is prepended: it becomes logical index Base_ - 1.
        if (!FetchPriorRow()) {
          Cursor_ = Base_ - 1;
          return grBOF;
        }
        Target = Base_;
      }
      Cursor_ = Target;
      break;
    }
    case gmCurrent:
      if (Cursor_ < Base_) return grBOF;
      if (Cursor_ >= WindowEnd()) return grEOF;
      break;
  }
  CopyCursorRow(Buffer);
  return grOK;
}

void TBDEDataSet::CopyCursorRow(TRecordBuffer Buffer) const {
  TRecord* R = RecordOf(Buffer);
  const std::size_t I = std::size_t(Cursor_ - Base_);
  Rows_.CopyRow(I, R->Row);
  R->InValues = false;
  R->RowId = Rows_[I].RowId;
  R->Index = Cursor_;
}

void TBDEDataSet::InternalLast() {
  FetchAll();
  Cursor_ = WindowEnd();
}

void TBDEDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  const TRecord* R = RecordOf(Buffer);
  if (R && R->Index != NewRow) Cursor_ = R->Index;
}

void TBDEDataSet::InternalEdit() {
  // The record being edited holds its own values from here on.
  if (TRecord* R = RecordOf(ActiveBuffer())) Materialize(*R);
}

void TBDEDataSet::GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const {
  const TRecord* R = RecordOf(Buffer);
  if (R && R->Index != NewRow) PutIndex(R->Index, Data);
}

bool TBDEDataSet::InternalGotoBookmark(const std::vector<std::uint8_t>& Data) {
  std::int64_t Index = GetIndex(Data);
  if (Index < Base_ || Index >= WindowEnd()) return false;
  Cursor_ = Index;
  return true;
}

bool TBDEDataSet::InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const {
  std::int64_t Index = GetIndex(Data);
  return Index >= Base_ && Index < WindowEnd();
}

int TBDEDataSet::InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                                          const std::vector<std::uint8_t>& B) const {
  std::int64_t X = GetIndex(A), Y = GetIndex(B);
  return X < Y ? -1 : X > Y ? 1 : 0;
}

int TBDEDataSet::InternalGetRecordCount() const {
  FetchAll();
  return static_cast<int>(Rows_.size());
}

int TBDEDataSet::InternalGetRecNo() const {
  const TRecord* R = RecordOf(ActiveBuffer());
  // Known only while the window starts at the first row.
  return R && R->Index != NewRow && WindowAtStart() ? static_cast<int>(R->Index - Base_ + 1) : -1;
}

bool TBDEDataSet::GetFieldData(TField* Field, void* Buffer) const {
  const TRecord* R = AddressedRecord();
  const int Index = Field->GetFieldNo() - 1;
  if (!R || Index < 0) return false;
  if (R->InValues) {
    if (Index >= static_cast<int>(R->Values.size())) return false;
    const Variant& V = R->Values[std::size_t(Index)];
    if (V.IsNull() || V.IsEmpty()) return false;
    if (Buffer) VariantToNative(Field, V, Buffer);
    return true;
  }
  if (Index >= static_cast<int>(R->Row.Cells.size())) return false;
  const TCell& C = R->Row.Cells[std::size_t(Index)];
  if (C.Kind == TCellKind::Null) return false;
  if (!Buffer) return true;
  const TFieldType Type = Field->GetDataType();
  if (C.Kind == TCellKind::Text && (Type == ftString || Type == ftFixedChar || Type == ftGuid)) {
    // Straight from the row's text into the field's buffer; a text longer
    // than the column's declared size (the file does not enforce it) is
    // refused rather than cut.
    TextToNative(Field, R->Row.TextOf(C), Buffer);
    return true;
  }
  // The common numeric cells are written as they are.
  switch (C.Kind) {
    case TCellKind::Int64:
      if (Type == ftLargeint) { *static_cast<std::int64_t*>(Buffer) = C.I; return true; }
      break;
    case TCellKind::Int32:
      if (Type == ftInteger || Type == ftAutoInc) { *static_cast<std::int32_t*>(Buffer) = std::int32_t(C.I); return true; }
      if (Type == ftSmallint) { *static_cast<std::int16_t*>(Buffer) = std::int16_t(C.I); return true; }
      if (Type == ftWord) { *static_cast<std::uint16_t*>(Buffer) = std::uint16_t(C.I); return true; }
      break;
    case TCellKind::Boolean:
      if (Type == ftBoolean) { *static_cast<std::uint16_t*>(Buffer) = C.I ? 1 : 0; return true; }
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
  VariantToNative(Field, R->Row.Value(C), Buffer);
  return true;
}

void TBDEDataSet::SetFieldData(TField* Field, const void* Buffer) {
  TRecord* R = AddressedRecord();
  const int Index = Field->GetFieldNo() - 1;
  if (R) Materialize(*R);
  if (!R || Index < 0 || Index >= static_cast<int>(R->Values.size())) DatabaseError(dbmsg::SNotEditing, this);
  R->Values[std::size_t(Index)] = Buffer ? NativeToVariant(Field, Buffer) : Null();
}

// ---------------------------------------------------------------------------
// TQuery

FYNDRA_PUBLISHED(TQuery, P) {
  P.Property("SQL", &TQuery::GetSQL, &TQuery::SetSQL);
  P.Property("Params", &TQuery::GetParams, &TQuery::SetParams);
}
static const bool TQueryRegistered = (RegisterClass(TQuery::StaticClass()), true);

TQuery::TQuery(TComponent* Owner) : TBDEDataSet(Owner) {}

void TQuery::AfterConstruction() {
  TBDEDataSet::AfterConstruction();
  SQL_ = CreateOwned<TStringList>();
  Params_ = CreateOwned<TParams>(static_cast<TPersistent*>(this));
  SQL_->SetOnChange(TNotifyEvent(this, &TQuery::SQLChanged));
}

void TQuery::SetSQL(TStrings* Value) { SQL_->Assign(Value); }

void TQuery::SetParams(TParams* Value) {
  if (Value) Params_->AssignValues(*Value);
}

void TQuery::SQLChanged(TObject* /*Sender*/) {
  if (GetActive()) Close();
  Prepared_.reset();
  Running_.reset();
  EngineText_.clear();
  References_.clear();
  // An unparsable text is kept as it is, so that opening it reports the
  // engine's own error.
  const std::string Text = SQL_->GetText();
  EngineText_ = Text;
  EngineText_ = Params_->ParseSQL(Text, true, &References_);
}

std::unique_ptr<TSQLiteStatement> TQuery::MakeStatement(TDatabase& Database) const {
  try {
    return std::make_unique<TSQLiteStatement>(Database.Connection(), EngineText_);
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
}

TQuery::TBindings TQuery::ParamValues(const TSQLiteStatement& S) const {
  if (S.ParamCount() != static_cast<int>(References_.size()))
    DatabaseError(Format(SParamMismatch, {S.ParamCount(), static_cast<std::int32_t>(References_.size())}), this);
  TBindings Values;
  for (const std::string& Name : References_) {
    const TParam* P = Params_->FindParam(Name);
    if (!P || !P->GetBound()) DatabaseError(Format(SNoParamValue, {Name}), this);
    Values.emplace_back(P->GetValue(), P->GetDataType());
  }
  return Values;
}

void TQuery::Bind(TSQLiteStatement& S, const TBindings& Values) const {
  S.ClearBindings();
  for (std::size_t I = 0; I < Values.size(); ++I) {
    try {
      S.Bind(static_cast<int>(I + 1), Values[I].first, Values[I].second);
    } catch (const EDatabaseError& E) {
      DatabaseError(Format("Parameter '%s': %s", {References_[I], E.Message()}), this);
    }
  }
}

void TQuery::Prepare() {
  if (Prepared_) return;
  TDatabase& Db = RequireDatabase();
  Prepared_ = MakeStatement(Db);
}

void TQuery::Unprepare() {
  if (GetActive()) Close();
  Prepared_.reset();
}

TSQLiteStatement& TQuery::OpenStatement(TDatabase& Database) {
  TSQLiteStatement* S = Prepared_.get();
  if (!S) {
    Running_ = MakeStatement(Database);
    S = Running_.get();
  }
  try {
    S->Reset();
    Bound_ = ParamValues(*S);
    Bind(*S, Bound_);
  } catch (...) {
    Running_.reset();
    throw;
  }
  Rereadable_ = S->ReadOnly();
  Interrupted_ = false;
  return *S;
}

void TQuery::CloseStatement() {
  if (Prepared_) Prepared_->Reset();
  Running_.reset();
  Bound_.clear();
}

void TQuery::ExecSQL() {
  TDatabase& Db = RequireDatabase();
  std::unique_ptr<TSQLiteStatement> Temporary;
  // While the query is open its prepared statement reads the window's rows.
  TSQLiteStatement* S = GetActive() ? nullptr : Prepared_.get();
  if (!S) {
    Temporary = MakeStatement(Db);
    S = Temporary.get();
  }
  S->Reset();
  Bind(*S, ParamValues(*S));
  try {
    RowsAffected_ = S->Execute();
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
}

TOwned<TIndexDef> TQuery::PSGetDefaultOrder() const { return GetIndexForOrderBy(SQL_->GetText()); }

std::vector<TTextKeyOrder> TQuery::DefaultOrderTextKeys() const {
  std::vector<TOrderByItem> Items;
  if (!ReadOrderBy(SQL_->GetText(), Items)) return {};
  // A column without COLLATE orders by its own collation, which the schema
  // tells for a result column read straight from a table.
  const TSQLiteStatement* S = Prepared_ ? Prepared_.get() : Running_.get();
  std::unique_ptr<TSQLiteStatement> Probe;
  TDatabase* Db = GetDatabase();
  if (!S && Db && Db->GetConnected()) {
    try {
      Probe = std::make_unique<TSQLiteStatement>(Db->Connection(), EngineText_);
      S = Probe.get();
    } catch (const EDatabaseError&) {
      // Unknown then: no text order is claimed.
    }
  }
  auto DeclaredCollation = [&](const std::string& Field) -> std::string {
    if (!S) return std::string();
    for (int C = 0; C < S->ColumnCount(); ++C) {
      if (!AnsiSameText(S->ColumnName(C), Field)) continue;
      TSQLiteColumnInfo Info;
      const std::string Table = S->ColumnTable(C), Origin = S->ColumnOrigin(C);
      if (Table.empty() || Origin.empty()) return "BINARY";  // an expression orders by bytes
      return S->Connection().ColumnInfo(Table, Origin, Info) ? Info.Collation : std::string();
    }
    return std::string();
  };
  std::vector<TTextKeyOrder> Out;
  for (const TOrderByItem& I : Items) {
    const std::string Collation = I.Collation.empty() ? DeclaredCollation(I.Field) : I.Collation;
    Out.push_back(I.CaseMapped ? TTextKeyOrder::Other : TextKeyOrderOfCollation(Collation));
  }
  return Out;
}

int TQuery::InternalGetRecordCount() const {
  if (ForwardDone() && !Interrupted_) return static_cast<int>(WindowEnd());
  if (TDatabase* Db = GetDatabase()) {
    try {
      // A new line ends a trailing comment before the closing parenthesis.
      TSQLiteStatement S(Db->Connection(), "SELECT count(*) FROM (" + EngineText_ + "\n)");
      Bind(S, Bound_);
      if (S.Step()) return static_cast<int>(S.ColumnInt64(0));
    } catch (const EDatabaseError&) {
      // Not a statement a count can enclose (a PRAGMA): it is executed once
      // more and its rows are counted, unless it writes.
    }
  }
  if (Rereadable_) return static_cast<int>(CountRows(INT64_MAX));
  return TBDEDataSet::InternalGetRecordCount();
}

std::int64_t TQuery::CountRows(std::int64_t Most) const {
  TDatabase* Db = GetDatabase();
  if (!Db) return 0;
  TSQLiteStatement S(Db->Connection(), EngineText_);
  Bind(S, Bound_);
  std::int64_t N = 0;
  while (N < Most && S.Step()) ++N;
  return N;
}

// ---- the window

void TQuery::Reexecute() {
  TSQLiteStatement* S = ForwardStatement();
  if (!S) DatabaseError(dbmsg::SDataSetClosed, this);
  const std::int64_t Cursor = Cursor_;
  S->Reset();
  Bind(*S, Bound_);
  StartWindow(S);
  Cursor_ = Cursor;
  Interrupted_ = false;
}

void TQuery::RestartAtStart() { Reexecute(); }

bool TQuery::SkipTo(std::int64_t First) {
  TSQLiteStatement* S = ForwardStatement();
  Base_ = WindowEnd();
  Rows_.clear();
  try {
    for (; Base_ < First; ++Base_) {
      if (!S->Step()) {
        SetForwardDone();
        return false;
      }
    }
  } catch (...) {
    Interrupted_ = true;
    throw;
  }
  return true;
}

bool TQuery::FetchNext() {
  if (ForwardDone()) return false;
  if (Rereadable_ && Rows_.size() >= WindowLimit_) {
    const std::size_t Keep = WindowLimit_ / 4;
    const std::size_t Drop = Rows_.size() - Keep;
    Rows_.DropFront(Drop);
    Base_ += static_cast<std::int64_t>(Drop);
  }
  try {
    return FetchRow();
  } catch (...) {
    // The statement may have stepped past a row the window does not hold; a
    // statement that writes is not executed again, and reads on as before.
    Interrupted_ = Rereadable_;
    throw;
  }
}

bool TQuery::RestartAt(std::int64_t Row, std::int64_t Before) {
  Reexecute();
  if (!SkipTo(std::max<std::int64_t>(0, Row - Before))) return false;
  while (WindowEnd() <= Row)
    if (!FetchNext()) return false;
  return true;
}

bool TQuery::EnsureRow(std::int64_t Row, std::int64_t Before) {
  if (Row < 0) return false;
  if (Interrupted_) return RestartAt(Row, Before);
  if (Row >= Base_ && Row < WindowEnd()) return true;
  if (Row < Base_) return RestartAt(Row, Before);
  if (ForwardDone()) return false;
  // Far ahead: the rows between are stepped over, not read.
  const std::int64_t Limit = static_cast<std::int64_t>(WindowLimit_);
  if (Rereadable_ && Row - WindowEnd() >= Limit && !SkipTo(Row - Limit / 2)) return false;
  while (WindowEnd() <= Row)
    if (!FetchNext()) return false;
  return true;
}

TGetResult TQuery::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool /*DoCheck*/) {
  const std::int64_t Limit = static_cast<std::int64_t>(WindowLimit_);
  std::int64_t Row = Cursor_;
  switch (GetMode) {
    case gmNext:
      Row = std::max<std::int64_t>(Cursor_, -1) + 1;
      if (!EnsureRow(Row, Limit / 2)) {
        Cursor_ = WindowEnd();
        return grEOF;
      }
      break;
    case gmPrior: {
      // Past the end of a result read to its end, the prior row is the last.
      Row = (ForwardDone() && !Interrupted_ ? std::min(Cursor_, WindowEnd()) : Cursor_) - 1;
      bool Found = Row >= 0 && EnsureRow(Row, Limit - 1);
      // A position past the end of the result as it is now: its last row.
      if (!Found && Row >= 0) {
        Row = WindowEnd() - 1;
        Found = Row >= 0 && EnsureRow(Row, Limit - 1);
      }
      if (!Found) {
        Cursor_ = -1;
        return grBOF;
      }
      break;
    }
    case gmCurrent:
      if (Cursor_ < 0) return grBOF;
      if (!EnsureRow(Cursor_, Limit / 2)) {
        Cursor_ = WindowEnd();
        return grEOF;
      }
      break;
  }
  Cursor_ = Row;
  CopyCursorRow(Buffer);
  return grOK;
}

void TQuery::InternalLast() {
  if (Interrupted_) RestartAt(WindowEnd(), 0);
  while (FetchNext()) {
  }
  Cursor_ = WindowEnd();
}

bool TQuery::InternalGotoBookmark(const std::vector<std::uint8_t>& Data) {
  const std::int64_t Row = GetIndex(Data);
  if (!EnsureRow(Row, static_cast<std::int64_t>(WindowLimit_ / 2))) return false;
  Cursor_ = Row;
  return true;
}

bool TQuery::InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const {
  const std::int64_t Row = GetIndex(Data);
  if (Row < 0) return false;
  // The execution the window reads has passed every row before its end.
  if (Row < WindowEnd()) return true;
  if (ForwardDone() && !Interrupted_) return false;
  return Rereadable_ ? CountRows(Row + 1) > Row : false;
}

int TQuery::InternalGetRecNo() const {
  const TRecord* R = RecordOf(ActiveBuffer());
  return R && R->Index != NewRow ? static_cast<int>(R->Index + 1) : -1;
}

bool TQuery::InternalSetRecNo(int Value) {
  if (!EnsureRow(Value - 1, static_cast<std::int64_t>(WindowLimit_ / 2))) return false;
  Cursor_ = Value - 1;
  return true;
}

void TQuery::ReleaseStatements() {
  TBDEDataSet::ReleaseStatements();
  Prepared_.reset();
  Running_.reset();
}

}  // namespace fyndra
