#include <fyndra/platform/db/dbclient.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <sstream>

#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

FYNDRA_PUBLISHED(TCustomClientDataSet, P) {
  P.Property("IndexDefs", &TCustomClientDataSet::GetIndexDefs, &TCustomClientDataSet::SetIndexDefs);
  P.Property("IndexName", &TCustomClientDataSet::GetIndexName, &TCustomClientDataSet::SetIndexName);
  P.Property("IndexFieldNames", &TCustomClientDataSet::GetIndexFieldNames,
             &TCustomClientDataSet::SetIndexFieldNames);
  P.Property("FileName", &TCustomClientDataSet::GetFileName, &TCustomClientDataSet::SetFileName);
}
FYNDRA_IMPLEMENT_CLASS(TClientDataSet)
static const bool TClientDataSetRegistered = (RegisterClass(TClientDataSet::StaticClass()), true);

using cds::TRecordIndex;
using cds::TRecordStore;
using cds::TRowImage;
using cds::TRowView;

namespace {

constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;
constexpr const char* kDefaultOrder = "DEFAULT_ORDER";

// Splits a semicolon-separated list, skipping empty names.
std::vector<std::string> SplitNames(const std::string& List) {
  std::vector<std::string> Out;
  std::size_t Start = 0;
  while (Start <= List.size()) {
    std::size_t End = List.find(';', Start);
    if (End == std::string::npos) End = List.size();
    std::string N = Trim(List.substr(Start, End - Start));
    if (!N.empty()) Out.push_back(N);
    Start = End + 1;
  }
  return Out;
}

bool InList(const std::vector<std::string>& L, const std::string& Name) {
  for (const std::string& S : L)
    if (AnsiSameText(S, Name)) return true;
  return false;
}

}  // namespace

struct TCustomClientDataSet::TBuffer {
  std::uint32_t Slot = kNoSlot;
  bool Own = false;  // values live in Image (an edit, an insert, a key)
  std::int64_t Pos = -1;
  std::uint64_t Version = 0;
  TRowImage Image;
};

TCustomClientDataSet::TCustomClientDataSet(TComponent* Owner) : TKeyedDataSet<TDataSet>(Owner) {}

TClientDataSet::TClientDataSet(TComponent* Owner) : TCustomClientDataSet(Owner) {}

void TCustomClientDataSet::AfterConstruction() {
  TDataSet::AfterConstruction();
  IndexDefs_ = CreateOwned<TIndexDefs>(this);
  IndexDefs_->SetUpdater([this](TIndexDefs& Defs) { SyncIndexDefs(Defs); });
}

TCustomClientDataSet::~TCustomClientDataSet() = default;

// ---------------------------------------------------------------- buffers

TRecordBuffer TCustomClientDataSet::AllocRecordBuffer() { return new TBuffer(); }

void TCustomClientDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete Buf(Buffer);
  Buffer = nullptr;
}

TCustomClientDataSet::TBuffer* TCustomClientDataSet::StateBuffer() const {
  return Buf(State() == dsFilter ? FilterBuffer() : ActiveBuffer());
}

int TCustomClientDataSet::ColumnOf(const TField* Field) const {
  int Col = Field->GetFieldNo() - 1;
  if (!Store_ || Field->GetDataSet() != this || Col < 0 || Col >= Store_->ColumnCount()) return -1;
  return Col;
}

bool TCustomClientDataSet::GetFieldData(TField* Field, void* Buffer) const {
  if (State() == dsSetKey) return KeySearch().GetFieldData(Field, Buffer);
  int Col = ColumnOf(Field);
  if (Col < 0) return false;
  const TBuffer* B = StateBuffer();
  if (!B) return false;
  const cds::TColumn& C = Store_->Columns()[std::size_t(Col)];
  const TRowView Row = B->Own ? B->Image.View(*Store_) : B->Slot != kNoSlot ? Store_->View(B->Slot) : TRowView();
  if (!Row.Valid()) return false;
  if (C.Kind == cds::TColKind::Text && cds::FixedText(C.Type)) {
    // Into the field's own buffer, by the rule every family shares.
    if (Row.IsNull(Col)) return false;
    if (Buffer) TextToNative(Field, Row.Var(Col), Buffer);
    return true;
  }
  return cds::ReadNative(C, Row, Col, Buffer);
}

void TCustomClientDataSet::SetFieldData(TField* Field, const void* Buffer) {
  if (State() == dsSetKey) {
    KeySearch().SetFieldData(Field, Buffer);
    return;
  }
  int Col = ColumnOf(Field);
  if (Col < 0) DatabaseError(Format(dbmsg::SFieldNotFound, {Field->GetFieldName()}), this);
  TBuffer* B = StateBuffer();
  if (!B || !B->Own) DatabaseError(dbmsg::SNotEditing, this);
  cds::WriteNative(Store_->Columns()[std::size_t(Col)], B->Image, Col, Buffer);
}

// ---------------------------------------------------------------- cursor

TGetResult TCustomClientDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool /*DoCheck*/) {
  const std::int64_t Lo = std::int64_t(Lo_), Hi = std::int64_t(Hi_);
  switch (GetMode) {
    case gmCurrent:
      if (Pos_ < Lo || Pos_ >= Hi) return grError;
      break;
    case gmNext:
      if (Pos_ < Lo - 1) Pos_ = Lo - 1;
      if (Pos_ >= Hi - 1) {
        Pos_ = Hi;
        return grEOF;
      }
      ++Pos_;
      break;
    case gmPrior:
      if (Pos_ > Hi) Pos_ = Hi;
      if (Pos_ <= Lo) {
        Pos_ = Lo - 1;
        return grBOF;
      }
      --Pos_;
      break;
  }
  TBuffer* B = Buf(Buffer);
  B->Slot = Current().Order[std::size_t(Pos_)];
  B->Own = false;
  B->Pos = Pos_;
  B->Version = Version_;
  return grOK;
}

void TCustomClientDataSet::InternalFirst() { Pos_ = std::int64_t(Lo_) - 1; }
void TCustomClientDataSet::InternalLast() { Pos_ = std::int64_t(Hi_); }

void TCustomClientDataSet::SetCursorToSlot(std::uint32_t Slot) {
  std::size_t P = Slot == kNoSlot ? TRecordIndex::npos : Current().PositionOf(*Store_, Slot);
  Pos_ = P == TRecordIndex::npos ? std::int64_t(Hi_) : std::int64_t(P);
}

void TCustomClientDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  TBuffer* B = Buf(Buffer);
  if (!B || B->Slot == kNoSlot) return;
  if (B->Version == Version_) Pos_ = B->Pos;
  else SetCursorToSlot(B->Slot);
}

std::uint32_t TCustomClientDataSet::ActiveSlot() const {
  const TBuffer* B = Buf(ActiveBuffer());
  return B ? B->Slot : kNoSlot;
}

int TCustomClientDataSet::InternalGetRecordCount() const { return int(Hi_ - Lo_); }

int TCustomClientDataSet::InternalGetRecNo() const {
  const TBuffer* B = Buf(ActiveBuffer());
  if (!B || B->Slot == kNoSlot) return 0;
  std::size_t P = B->Version == Version_ ? std::size_t(B->Pos) : Current().PositionOf(*Store_, B->Slot);
  if (P == TRecordIndex::npos || P < Lo_) return -1;
  return int(P - Lo_ + 1);
}

bool TCustomClientDataSet::InternalSetRecNo(int Value) {
  if (Value < 1 || std::size_t(Value) > Hi_ - Lo_) return false;
  Pos_ = std::int64_t(Lo_) + Value - 1;
  return true;
}

// New definitions and records (from a file, another dataset or the field
// definitions), checked completely, with their indexes built: the dataset
// takes them over only when nothing is left that could refuse them.
struct TCustomClientDataSet::TFileImage {
  std::vector<TFieldDefData> Fields;
  std::vector<TIndexDefData> IndexDefs;
  // Whether Fields and IndexDefs replace the dataset's definitions; when
  // not, its own definitions already describe the new storage.
  bool PutFieldDefs = true, PutIndexDefs = true;
  std::unique_ptr<cds::TRecordStore> Store;
  std::vector<std::unique_ptr<cds::TRecordIndex>> Indexes;  // [0] = default order
  std::int64_t NextAutoInc = 1;
};

// What a load replaces, kept until the new state is open.
struct TCustomClientDataSet::TSavedState {
  std::unique_ptr<cds::TRecordStore> Store;
  std::vector<std::unique_ptr<cds::TRecordIndex>> Indexes;
  std::size_t CurrentIndex = 0;
  std::vector<TFieldDefData> Fields;
  std::vector<TIndexDefData> IndexDefs;
  std::string IndexName, TempDefName;
  std::uint32_t Epoch = 0;
  std::int64_t NextAutoInc = 1;
};

// ---------------------------------------------------------------- open and close

std::vector<TCustomClientDataSet::TFieldDefData> TCustomClientDataSet::DefinitionsOf(const TFieldDefs& Defs) {
  std::vector<TFieldDefData> Out;
  for (int I = 0; I < Defs.Count(); ++I) {
    TFieldDef* D = Defs.GetItem(I);
    Out.push_back({D->GetName(), D->GetDataType(), D->GetSize(), D->GetRequired(), D->GetPrecision()});
  }
  return Out;
}

std::unique_ptr<TRecordStore> TCustomClientDataSet::MakeStore(const std::vector<TFieldDefData>& Defs) const {
  if (Defs.empty()) DatabaseError(dbmsg::SNoFieldDefs, this);
  std::vector<cds::TColumn> Cols;
  for (const TFieldDefData& D : Defs) {
    if (D.Name.empty()) DatabaseError(dbmsg::SNoFieldDefs, this);
    for (const cds::TColumn& C : Cols)
      if (AnsiSameText(C.Name, D.Name)) DatabaseError(Format(dbmsg::SDuplicateFieldName, {D.Name}), this);
    cds::TColumn C;
    C.Name = D.Name;
    C.Type = D.Type;
    C.Size = D.Size;
    try {
      cds::KindOfType(C.Type);
    } catch (const EDatabaseError&) {
      DatabaseError(Format(dbmsg::SFieldTypeNotSupported, {D.Name}), this);
    }
    Cols.push_back(std::move(C));
  }
  auto Store = std::make_unique<TRecordStore>();
  Store->Define(std::move(Cols));
  return Store;
}

void TCustomClientDataSet::BuildStorageFromDefs() {
  auto Store = MakeStore(DefinitionsOf(*GetFieldDefs()));
  auto Default = std::make_unique<TRecordIndex>();
  Default->Name = kDefaultOrder;
  Store_ = std::move(Store);
  Indexes_.clear();
  Indexes_.push_back(std::move(Default));
  CurrentIndex_ = 0;
  ++Epoch_;
  ++Version_;
  NextAutoInc_ = 1;
  RangeApplied_ = false;
}

void TCustomClientDataSet::CheckDefsMatchStore() const {
  TFieldDefs* Defs = GetFieldDefs();
  bool Same = Defs->Count() == Store_->ColumnCount();
  for (int I = 0; Same && I < Defs->Count(); ++I) {
    const cds::TColumn& C = Store_->Columns()[std::size_t(I)];
    TFieldDef* D = Defs->GetItem(I);
    Same = AnsiSameText(C.Name, D->GetName()) && C.Type == D->GetDataType() && C.Size == D->GetSize();
  }
  if (!Same)
    DatabaseError("Field definitions do not match the stored records; call CreateDataSet to start over", this);
}

void TCustomClientDataSet::CreateDataSet() {
  CheckInactive();
  // The empty storage is made aside: records kept while closed stay until
  // it is open.
  TFileImage New;
  New.Fields = DefinitionsOf(*GetFieldDefs());
  New.PutFieldDefs = New.Fields.empty();
  if (New.PutFieldDefs) {
    // Persistent fields describe the columns when there are no definitions.
    for (TField* F : Fields()) New.Fields.push_back({F->GetFieldName(), F->GetDataType(), F->GetSize(), F->GetRequired()});
  }
  New.Store = MakeStore(New.Fields);
  KeepOwnIndexDefs(New);
  ReplaceStorage(New, true);
}

void TCustomClientDataSet::InternalOpen() {
  if (!Store_ && !FileName_.empty()) {
    std::ifstream F(FileName_, std::ios::binary);
    if (!F) throw EDatabaseError(Format(dbmsg::SFileError, {FileName_, "cannot open the file"}));
    TSavedState Old = TakeState();
    try {
      ReadFile(F, FileName_, false);
      OpenStorage();
    } catch (...) {
      RestoreState(Old);
      throw;
    }
    return;
  }
  OpenStorage();
}

void TCustomClientDataSet::OpenStorage() {
  if (!Store_) BuildStorageFromDefs();
  else if (Store_->LiveCount() == 0) {
    // Empty storage follows the definitions as they are now.
    bool Same = true;
    try {
      CheckDefsMatchStore();
    } catch (const EDatabaseError&) {
      Same = false;
    }
    if (!Same) BuildStorageFromDefs();
  } else {
    CheckDefsMatchStore();
  }
  EnsureIndexesFromDefs();
  int Index = 0;
  if (!IndexFieldNames_.empty()) {
    auto Idx = MakeIndex(*Store_, "", IndexFieldNames_, TIndexOptions(), "", "");
    Idx->Build(*Store_);
    // Replace an earlier temporary index.
    for (std::size_t I = 1; I < Indexes_.size(); ++I)
      if (Indexes_[I]->Name.empty()) {
        Indexes_.erase(Indexes_.begin() + std::ptrdiff_t(I));
        break;
      }
    Indexes_.push_back(std::move(Idx));
    Index = int(Indexes_.size()) - 1;
  } else if (!IndexName_.empty()) {
    Index = FindIndex(IndexName_);
    if (Index < 0) DatabaseError(Format(dbmsg::SIndexNotFound, {IndexName_}), this);
  }
  CurrentIndex_ = std::size_t(Index);
  RangeApplied_ = false;
  KeySearch().IndexChanged();
  ++Version_;
  RecalcRange();
  Pos_ = std::int64_t(Lo_) - 1;
  CursorOpen_ = true;
}

void TCustomClientDataSet::InternalClose() {
  // The records stay: closing and opening again shows the same data.
  CursorOpen_ = false;
  RangeApplied_ = false;
}

void TCustomClientDataSet::InternalInitFieldDefs() {}

void TCustomClientDataSet::BindFields(bool Binding) {
  TDataSet::BindFields(Binding);
  if (!Binding || !Store_) return;
  for (TField* F : Fields()) {
    int Col = Store_->IndexOfColumn(F->GetFieldName());
    if (Col < 0) DatabaseError(Format(dbmsg::SFieldNotFound, {F->GetFieldName()}), this);
    SetFieldNumber(F, Col + 1);
  }
}

// ---------------------------------------------------------------- indexes

int TCustomClientDataSet::FindIndex(const std::string& Name) const {
  if (Name.empty() || AnsiSameText(Name, kDefaultOrder)) return 0;
  for (std::size_t I = 1; I < Indexes_.size(); ++I)
    if (!Indexes_[I]->Name.empty() && AnsiSameText(Indexes_[I]->Name, Name)) return int(I);
  return -1;
}

std::unique_ptr<TRecordIndex> TCustomClientDataSet::MakeIndex(const cds::TRecordStore& Store, const std::string& Name,
                                                              const std::string& Fields, TIndexOptions Options,
                                                              const std::string& DescFields,
                                                              const std::string& CaseInsFields) const {
  auto Idx = std::make_unique<TRecordIndex>();
  Idx->Name = Name;
  Idx->FieldNames = Fields;
  Idx->Unique = Options.Contains(ixUnique) || Options.Contains(ixPrimary);
  Idx->Primary = Options.Contains(ixPrimary);
  std::vector<std::string> Desc = SplitNames(DescFields), CaseIns = SplitNames(CaseInsFields);
  std::vector<std::string> Names = SplitNames(Fields);
  if (Names.empty()) DatabaseError(Format(dbmsg::SNoIndexForFields, {Fields}), this);
  for (const std::string& N : Names) {
    int Col = Store.IndexOfColumn(N);
    if (Col < 0) DatabaseError(Format(dbmsg::SFieldNotFound, {N}), this);
    cds::TKeyPart K;
    K.Col = Col;
    K.Descending = Desc.empty() ? Options.Contains(ixDescending) : InList(Desc, N);
    K.CaseInsensitive = CaseIns.empty() ? Options.Contains(ixCaseInsensitive) : InList(CaseIns, N);
    Idx->Keys.push_back(K);
  }
  return Idx;
}

std::unique_ptr<TRecordIndex> TCustomClientDataSet::BuildIndex(const cds::TRecordStore& Store, const std::string& Name,
                                                               const std::string& Fields, TIndexOptions Options,
                                                               const std::string& DescFields,
                                                               const std::string& CaseInsFields) const {
  auto Idx = MakeIndex(Store, Name, Fields, Options, DescFields, CaseInsFields);
  Idx->Build(Store);
  if (Idx->Unique)
    for (std::size_t P = 1; P < Idx->Order.size(); ++P)
      if (cds::CompareRows(Store, Idx->Keys, Store.View(Idx->Order[P - 1]), Store.View(Idx->Order[P])) == 0)
        DatabaseError(Format(dbmsg::SKeyViolation, {Name}), this);
  return Idx;
}

void TCustomClientDataSet::EnsureIndexesFromDefs() {
  for (int I = 0; I < IndexDefs_->Count(); ++I) {
    TIndexDef* D = IndexDefs_->GetItem(I);
    if (D->GetName().empty() || AnsiSameText(D->GetName(), TempDefName_) || FindIndex(D->GetName()) >= 0) continue;
    if (D->GetOptions().Contains(ixExpression)) continue;
    Indexes_.push_back(
        BuildIndex(*Store_, D->GetName(), D->GetFields(), D->GetOptions(), D->GetDescFields(), D->GetCaseInsFields()));
  }
}

void TCustomClientDataSet::SyncIndexDefs(TIndexDefs& Defs) {
  // Describe the IndexFieldNames order too, so that whoever asks the
  // definitions which index orders the records finds it.
  if (!TempDefName_.empty()) {
    int I = Defs.IndexOf(TempDefName_);
    if (I >= 0) Defs.Delete(I);
    TempDefName_.clear();
  }
  if (!IndexFieldNames_.empty()) {
    bool Covered = false;
    for (int I = 0; I < Defs.Count() && !Covered; ++I) {
      TIndexDef* D = Defs.GetItem(I);
      Covered = AnsiSameText(D->GetFields(), IndexFieldNames_) && D->GetDescFields().empty() &&
                D->GetCaseInsFields().empty() && !D->GetOptions().Contains(ixDescending) &&
                !D->GetOptions().Contains(ixCaseInsensitive);
    }
    if (!Covered) {
      TempDefName_ = IndexFieldNames_;
      Defs.Add(TempDefName_, IndexFieldNames_, TIndexOptions());
    }
  }
}

void TCustomClientDataSet::SelectIndex(int Index) {
  std::uint32_t Slot = GetActive() ? ActiveSlot() : kNoSlot;
  CurrentIndex_ = std::size_t(Index);
  RangeApplied_ = false;
  KeySearch().IndexChanged();
  ++Version_;
  RecalcRange();
  if (!GetActive()) return;
  if (Slot != kNoSlot) {
    SetCursorToSlot(Slot);
    if (SyncToCursor()) return;
  }
  First();
}

void TCustomClientDataSet::SetIndexName(const std::string& Value) {
  if (!GetActive() || !Store_) {
    IndexName_ = Value;
    IndexFieldNames_.clear();
    return;
  }
  CheckBrowseMode();
  int I = FindIndex(Value);
  if (I < 0) {
    int D = IndexDefs_->IndexOf(Value);
    if (D < 0) DatabaseError(Format(dbmsg::SIndexNotFound, {Value}), this);
    EnsureIndexesFromDefs();
    I = FindIndex(Value);
    if (I < 0) DatabaseError(Format(dbmsg::SIndexNotFound, {Value}), this);
  }
  IndexName_ = Value;
  IndexFieldNames_.clear();
  SelectIndex(I);
}

void TCustomClientDataSet::SetIndexFieldNames(const std::string& Value) {
  if (!GetActive() || !Store_) {
    IndexFieldNames_ = Value;
    IndexName_.clear();
    return;
  }
  CheckBrowseMode();
  if (Value.empty()) {
    IndexFieldNames_.clear();
    IndexName_.clear();
    SelectIndex(0);
    return;
  }
  auto Idx = MakeIndex(*Store_, "", Value, TIndexOptions(), "", "");  // raises for an unknown field
  Idx->Build(*Store_);
  std::uint32_t Slot = ActiveSlot();
  for (std::size_t I = 1; I < Indexes_.size(); ++I)
    if (Indexes_[I]->Name.empty()) {
      Indexes_.erase(Indexes_.begin() + std::ptrdiff_t(I));
      break;
    }
  Indexes_.push_back(std::move(Idx));
  IndexFieldNames_ = Value;
  IndexName_.clear();
  // SelectIndex reads the current record's slot; keep it across the erase.
  CurrentIndex_ = 0;
  (void)Slot;
  SelectIndex(int(Indexes_.size()) - 1);
}

void TCustomClientDataSet::AddIndex(const std::string& Name, const std::string& Fields, TIndexOptions Options,
                                    const std::string& DescFields, const std::string& CaseInsFields) {
  if (Name.empty()) DatabaseError(Format(dbmsg::SIndexNotFound, {Name}), this);
  if (IndexDefs_->IndexOf(Name) >= 0 || (Store_ && FindIndex(Name) > 0))
    DatabaseError(Format("Index '%s' already exists", {Name}), this);
  if (GetActive()) {
    auto Idx = MakeIndex(*Store_, Name, Fields, Options, DescFields, CaseInsFields);
    Idx->Build(*Store_);
    if (Idx->Unique)
      for (std::size_t P = 1; P < Idx->Order.size(); ++P)
        if (cds::CompareRows(*Store_, Idx->Keys, Store_->View(Idx->Order[P - 1]), Store_->View(Idx->Order[P])) == 0)
          DatabaseError(Format(dbmsg::SKeyViolation, {Name}), this);
    Indexes_.push_back(std::move(Idx));
  }
  TIndexDef* D = IndexDefs_->AddIndexDef();
  D->SetName(Name);
  D->SetFields(Fields);
  D->SetOptions(Options);
  D->SetDescFields(DescFields);
  D->SetCaseInsFields(CaseInsFields);
}

void TCustomClientDataSet::DeleteIndex(const std::string& Name) {
  int D = IndexDefs_->IndexOf(Name);
  int I = Store_ ? FindIndex(Name) : -1;
  if (D < 0 && I <= 0) DatabaseError(Format(dbmsg::SIndexNotFound, {Name}), this);
  if (I > 0) {
    bool WasCurrent = std::size_t(I) == CurrentIndex_;
    if (WasCurrent && GetActive()) CheckBrowseMode();
    std::uint32_t Slot = GetActive() ? ActiveSlot() : kNoSlot;
    Indexes_.erase(Indexes_.begin() + I);
    if (WasCurrent) {
      IndexName_.clear();
      CurrentIndex_ = 0;
      (void)Slot;
      if (GetActive()) SelectIndex(0);
    } else if (std::size_t(I) < CurrentIndex_) {
      --CurrentIndex_;
    }
  }
  if (D >= 0) IndexDefs_->Delete(D);
}

void TCustomClientDataSet::RecalcRange() {
  if (!Store_) {
    Lo_ = Hi_ = 0;
    return;
  }
  const TRecordIndex& Idx = Current();
  Lo_ = 0;
  Hi_ = Idx.Order.size();
  if (!RangeApplied_ || !Idx.Keyed()) return;
  if (RangeStartLength_ > 0) Lo_ = Idx.Bound(*Store_, RangeStart_.View(*Store_), RangeStartLength_, false);
  if (RangeEndLength_ > 0) Hi_ = Idx.Bound(*Store_, RangeEnd_.View(*Store_), RangeEndLength_, true);
  if (Hi_ < Lo_) Hi_ = Lo_;
}

// ---------------------------------------------------------------- editing

void TCustomClientDataSet::InternalInitRecord(TRecordBuffer Buffer) {
  TBuffer* B = Buf(Buffer);
  B->Image.Reset(*Store_);
  B->Own = true;
  B->Slot = kNoSlot;
}

void TCustomClientDataSet::InternalEdit() {
  TBuffer* B = Buf(ActiveBuffer());
  B->Image.LoadFrom(*Store_, B->Slot);
  B->Own = true;
}

void TCustomClientDataSet::InternalInsert(bool Append) {
  InsertAppend_ = Append;
  InsertPos_ = std::clamp<std::int64_t>(Pos_, std::int64_t(Lo_), std::int64_t(Hi_));
}

void TCustomClientDataSet::InternalCancel() {
  if (TBuffer* B = Buf(ActiveBuffer())) B->Own = false;
}

void TCustomClientDataSet::AfterStorageChange(std::uint32_t KeepSlot) {
  ++Version_;
  RecalcRange();
  SetCursorToSlot(KeepSlot);
  if (Store_->HeapGarbage() > (std::size_t(1) << 20) && Store_->HeapGarbage() * 2 > Store_->BytesUsed())
    Store_->CompactHeap();
}

void TCustomClientDataSet::InternalPost() {
  TBuffer* B = Buf(ActiveBuffer());
  TRowImage& Img = B->Image;
  const TRowView New = Img.View(*Store_);
  if (State() == dsInsert) {
    // Number the auto-increment fields left empty.
    for (int C = 0; C < Store_->ColumnCount(); ++C)
      if (Store_->Columns()[std::size_t(C)].Type == ftAutoInc && Img.IsNull(C)) {
        if (NextAutoInc_ > std::numeric_limits<std::int32_t>::max())
          DatabaseError(Format(dbmsg::SAutoIncExhausted, {Store_->Columns()[std::size_t(C)].Name}), this);
        const auto V = static_cast<std::int32_t>(NextAutoInc_);
        cds::WriteNative(Store_->Columns()[std::size_t(C)], Img, C, &V);
      }
    // Refuse before anything is written.
    for (const auto& Idx : Indexes_)
      if (Idx->Unique && Idx->FindDuplicate(*Store_, New, kNoSlot) != TRecordIndex::npos)
        DatabaseError(Format(dbmsg::SKeyViolation, {Idx->Name}), this);
    std::uint32_t Slot = Store_->AddRow(Img);
    for (std::size_t I = 0; I < Indexes_.size(); ++I) {
      TRecordIndex& Idx = *Indexes_[I];
      if (Idx.Keyed()) {
        Idx.InsertSorted(*Store_, Slot);
      } else if (I == CurrentIndex_ && !InsertAppend_ && InsertPos_ < std::int64_t(Idx.Order.size())) {
        Idx.Order.insert(Idx.Order.begin() + InsertPos_, Slot);
        Idx.SlotSorted = false;
      } else {
        Idx.Append(Slot);
      }
    }
    for (int C = 0; C < Store_->ColumnCount(); ++C)
      if (Store_->Columns()[std::size_t(C)].Type == ftAutoInc && !Img.IsNull(C)) {
        std::int32_t V;
        std::memcpy(&V, Img.Fixed(Store_->Columns()[std::size_t(C)]), 4);
        if (V >= NextAutoInc_) NextAutoInc_ = std::int64_t{V} + 1;
      }
    B->Slot = Slot;
    B->Own = false;
    AfterStorageChange(Slot);
    return;
  }
  // dsEdit
  const std::uint32_t Slot = B->Slot;
  for (const auto& Idx : Indexes_)
    if (Idx->Unique && Idx->FindDuplicate(*Store_, New, Slot) != TRecordIndex::npos)
      DatabaseError(Format(dbmsg::SKeyViolation, {Idx->Name}), this);
  const TRowView Old = Store_->View(Slot);
  std::vector<std::size_t> Moved(Indexes_.size(), TRecordIndex::npos);
  for (std::size_t I = 0; I < Indexes_.size(); ++I) {
    TRecordIndex& Idx = *Indexes_[I];
    if (Idx.Keyed() && cds::CompareRows(*Store_, Idx.Keys, Old, New) != 0) Moved[I] = Idx.PositionOf(*Store_, Slot);
  }
  Store_->WriteRow(Slot, Img);
  for (std::size_t I = 0; I < Indexes_.size(); ++I) {
    if (Moved[I] == TRecordIndex::npos) continue;
    TRecordIndex& Idx = *Indexes_[I];
    Idx.Order.erase(Idx.Order.begin() + std::ptrdiff_t(Moved[I]));
    Idx.InsertSorted(*Store_, Slot);
  }
  B->Own = false;
  AfterStorageChange(Slot);
}

void TCustomClientDataSet::InternalDelete() {
  TBuffer* B = Buf(ActiveBuffer());
  const std::uint32_t Slot = B->Slot;
  std::size_t Here = Hi_;
  for (std::size_t I = 0; I < Indexes_.size(); ++I) {
    TRecordIndex& Idx = *Indexes_[I];
    std::size_t P = Idx.PositionOf(*Store_, Slot);
    if (P == TRecordIndex::npos) continue;
    Idx.Order.erase(Idx.Order.begin() + std::ptrdiff_t(P));
    if (I == CurrentIndex_) Here = P;
  }
  Store_->DeleteRow(Slot);
  B->Slot = kNoSlot;
  ++Version_;
  RecalcRange();
  Pos_ = std::int64_t(std::max(Here, Lo_));
}

void TCustomClientDataSet::EmptyDataSet() {
  CheckActive();
  if (State() == dsEdit || State() == dsInsert) Cancel();
  Store_->Clear();
  for (auto& Idx : Indexes_) {
    Idx->Order.clear();
    Idx->SlotSorted = true;
  }
  ++Epoch_;
  ++Version_;
  RecalcRange();
  First();
}

// ---------------------------------------------------------------- bookmarks

namespace {
struct TMark {
  std::uint32_t Epoch, Slot;
};
bool ParseMark(const std::vector<std::uint8_t>& D, TMark& M) {
  if (D.size() != sizeof(TMark)) return false;
  std::memcpy(&M, D.data(), sizeof M);
  return true;
}
}  // namespace

void TCustomClientDataSet::GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const {
  const TBuffer* B = Buf(Buffer);
  if (!B || B->Slot == kNoSlot) return;
  TMark M{Epoch_, B->Slot};
  Data.resize(sizeof M);
  std::memcpy(Data.data(), &M, sizeof M);
}

bool TCustomClientDataSet::InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const {
  TMark M;
  return ParseMark(Data, M) && Store_ && M.Epoch == Epoch_ && M.Slot < Store_->SlotCount() &&
         !Store_->IsDeleted(M.Slot);
}

bool TCustomClientDataSet::InternalGotoBookmark(const std::vector<std::uint8_t>& Data) {
  if (!InternalBookmarkValid(Data)) return false;
  TMark M;
  ParseMark(Data, M);
  std::size_t P = Current().PositionOf(*Store_, M.Slot);
  if (P == TRecordIndex::npos || P < Lo_ || P >= Hi_) return false;
  Pos_ = std::int64_t(P);
  return true;
}

int TCustomClientDataSet::InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                                                   const std::vector<std::uint8_t>& B) const {
  TMark MA, MB;
  if (!ParseMark(A, MA) || !ParseMark(B, MB)) return TDataSet::InternalCompareBookmarks(A, B);
  if (MA.Slot == MB.Slot) return 0;
  auto Where = [&](std::uint32_t S) {
    if (S >= Store_->SlotCount() || Store_->IsDeleted(S)) return std::numeric_limits<std::size_t>::max();
    return Current().PositionOf(*Store_, S);
  };
  std::size_t PA = Where(MA.Slot), PB = Where(MB.Slot);
  return PA < PB ? -1 : (PA > PB ? 1 : 0);
}

// ---------------------------------------------------------------- key search and ranges

void TCustomClientDataSet::GetKeyFields(std::vector<TField*>& Fields) const {
  if (!Store_) return;
  for (const cds::TKeyPart& K : Current().Keys)
    Fields.push_back(FieldByName(Store_->Columns()[std::size_t(K.Col)].Name));
}

void TCustomClientDataSet::KeyToImage(std::span<const Variant> Key, TRowImage& Image) const {
  Image.Reset(*Store_);
  const auto& Parts = Current().Keys;
  for (std::size_t I = 0; I < Key.size() && I < Parts.size(); ++I) {
    const int Col = Parts[I].Col;
    cds::WriteVariant(Store_->Columns()[std::size_t(Col)], Image, Col, Key[I]);
  }
}

bool TCustomClientDataSet::SeekKey(std::span<const Variant> Key) {
  KeyToImage(Key, SeekImage_);
  SeekLength_ = int(Key.size());
  const std::size_t P = std::max(Current().Bound(*Store_, SeekImage_.View(*Store_), SeekLength_, false), Lo_);
  if (P >= Hi_) return false;
  Pos_ = std::int64_t(P);
  return true;
}

bool TCustomClientDataSet::CursorHasKey(std::span<const Variant> Key) const {
  // The seek left the key in SeekImage_.
  if (int(Key.size()) != SeekLength_ || Pos_ < std::int64_t(Lo_) || Pos_ >= std::int64_t(Hi_)) return false;
  const TRecordIndex& Idx = Current();
  return cds::CompareKeys(*Store_, Idx.Keys, Store_->View(Idx.Order[std::size_t(Pos_)]), SeekImage_.View(*Store_),
                          SeekLength_) == 0;
}

void TCustomClientDataSet::SetKeyRange(std::span<const Variant> Start, std::span<const Variant> End) {
  // Converted first, so that a value that does not fit leaves the range as it was.
  TRowImage NewStart, NewEnd;
  KeyToImage(Start, NewStart);
  KeyToImage(End, NewEnd);
  RangeStart_ = std::move(NewStart);
  RangeEnd_ = std::move(NewEnd);
  RangeStartLength_ = int(Start.size());
  RangeEndLength_ = int(End.size());
  RangeApplied_ = true;
  RecalcRange();
}

void TCustomClientDataSet::CancelKeyRange() {
  const std::uint32_t Slot = ActiveSlot();
  RangeApplied_ = false;
  RecalcRange();
  SetCursorToSlot(Slot);
}

std::size_t TCustomClientDataSet::StorageBytes() const {
  if (!Store_) return 0;
  std::size_t N = Store_->BytesUsed();
  for (const auto& Idx : Indexes_) N += Idx->Order.capacity() * sizeof(std::uint32_t);
  return N;
}

// ---------------------------------------------------------------- Locate on the index

bool TCustomClientDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  if (!GetActive() || Options.Contains(loPartialKey) || Filtering() || !Current().Keyed())
    return TDataSet::Locate(KeyFields, KeyValues, Options);
  CheckBrowseMode();
  std::vector<TField*> Fields = GetFieldList(KeyFields);
  const TRecordIndex& Idx = Current();
  // Ignoring case, Locate holds texts equal that the collator holds equal
  // ignoring case ("öß" and "öẞ"), which a case-insensitive index does not
  // keep together: it orders by upper-case forms ("ÖSS", "Öẞ"). Such a key
  // is searched by the scan; a case-sensitive text key keeps identical texts
  // together.
  const bool CaseIns = Options.Contains(loCaseInsensitive);
  bool Leads = !Fields.empty() && Fields.size() <= Idx.Keys.size();
  for (std::size_t I = 0; Leads && I < Fields.size(); ++I) {
    int Col = ColumnOf(Fields[I]);
    const cds::TColumn* C = Col >= 0 ? &Store_->Columns()[std::size_t(Col)] : nullptr;
    Leads = C && Col == Idx.Keys[I].Col &&
            (C->Kind != cds::TColKind::Text || (!CaseIns && !Idx.Keys[I].CaseInsensitive)) &&
            C->Kind != cds::TColKind::Wide && C->Kind != cds::TColKind::Bytes;
  }
  if (!Leads) return TDataSet::Locate(KeyFields, KeyValues, Options);
  std::vector<Variant> Keys = PrepareLocateKeys(Fields, KeyValues);
  TRowImage Key;
  Key.Reset(*Store_);
  for (std::size_t I = 0; I < Fields.size(); ++I) {
    int Col = Idx.Keys[I].Col;
    cds::WriteVariant(Store_->Columns()[std::size_t(Col)], Key, Col, Keys[I]);
  }
  const int K = int(Fields.size());
  const TRowView KeyView = Key.View(*Store_);
  // The records Locate's rule accepts lie among the keys the index holds
  // equal to the key; each is confirmed by that rule.
  auto Matches = [&](const TRowView& Row) {
    for (int I = 0; I < K; ++I) {
      int Col = Idx.Keys[std::size_t(I)].Col;
      const cds::TColumn& C = Store_->Columns()[std::size_t(Col)];
      if (Row.IsNull(Col) || KeyView.IsNull(Col)) {
        if (Row.IsNull(Col) != KeyView.IsNull(Col)) return false;
        continue;
      }
      if (C.Kind == cds::TColKind::Text) {
        if (Row.Var(Col) != KeyView.Var(Col)) return false;
      } else if (cds::CompareKeyPart(*Store_, cds::TKeyPart{Col, false, false}, Row, KeyView) != 0) {
        return false;
      }
    }
    return true;
  };
  for (std::size_t P = std::max(Idx.Bound(*Store_, KeyView, K, false), Lo_); P < Hi_; ++P) {
    TRowView Row = Store_->View(Idx.Order[P]);
    if (cds::CompareKeys(*Store_, Idx.Keys, Row, KeyView, K) != 0) break;
    if (!Matches(Row)) continue;
    if (BeforeScroll) BeforeScroll(this);
    Pos_ = std::int64_t(P);
    return SyncToCursor();
  }
  return false;
}

// ---------------------------------------------------------------- loading from a dataset

void TCustomClientDataSet::LoadFromDataSet(TDataSet* Source) {
  if (!Source || Source == this) DatabaseError("A client dataset cannot load from itself or from nothing", this);
  Source->CheckActive();
  // Read whole into new storage first; the dataset keeps its own records,
  // indexes and position until the new ones are complete and open.
  TFileImage New;
  std::vector<TField*> From;
  for (TField* F : Source->Fields()) {
    TFieldDefData D;
    D.Name = F->GetFieldName();
    D.Type = F->GetDataType();
    D.Size = (D.Type == ftString || D.Type == ftFixedChar || D.Type == ftGuid || D.Type == ftWideString ||
              D.Type == ftBytes || D.Type == ftVarBytes || D.Type == ftBCD || D.Type == ftFMTBcd)
                 ? F->GetSize()
                 : 0;
    D.Required = F->GetRequired();
    try {
      cds::KindOfType(D.Type);
    } catch (const EDatabaseError&) {
      continue;  // a column this storage cannot hold is left out
    }
    New.Fields.push_back(std::move(D));
    From.push_back(F);
  }
  New.Store = MakeStore(New.Fields);
  const auto& Columns = New.Store->Columns();
  TRowImage Img;
  Source->WithControlsDisabled([&] {
    TBookmark Mark = Source->GetBookmark();
    try {
      Source->First();
      while (!Source->Eof()) {
        Img.Reset(*New.Store);
        for (std::size_t I = 0; I < From.size(); ++I) {
          const Variant V = From[I]->GetAsVariant();
          cds::WriteVariant(Columns[I], Img, int(I), V);
          // Numbering goes on after the largest value copied.
          if (Columns[I].Type == ftAutoInc && !Img.IsNull(int(I))) {
            std::int32_t X;
            std::memcpy(&X, Img.Fixed(Columns[I]), 4);
            New.NextAutoInc = std::max(New.NextAutoInc, std::int64_t{X} + 1);
          }
        }
        New.Store->AddRow(Img);
        Source->Next();
      }
      if (Mark) Source->GotoBookmark(Mark);
    } catch (...) {
      try {
        if (Mark && Source->BookmarkValid(Mark)) Source->GotoBookmark(Mark);
      } catch (...) {
      }
      throw;
    }
  });
  // The dataset's own indexes are built over the new records: one on a field
  // the source lacks, or a unique one its records break, refuses the load.
  KeepOwnIndexDefs(New);
  ReplaceStorage(New, true);
}

// ---------------------------------------------------------------- file format

namespace {

constexpr char kMagic[8] = {'F', 'Y', 'C', 'D', 'S', 'E', 'T', '\0'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kMaxFileFields = 4096;
constexpr std::uint32_t kMaxFileIndexes = 4096;

// The largest Size a field may have in a file: what any field may have
// (MaxFieldSize), and for the decimals of a BCD field what its value type
// can hold.
int MaxFileFieldSize(TFieldType Type) {
  switch (Type) {
    case ftBCD: return 4;
    case ftFMTBcd: return MaxFMTBcdDigits;
    default: return MaxFieldSize;
  }
}

// Whether a stored value of a fixed-width kind is one the fields can show.
bool ValidFixedValue(const cds::TColumn& Col, const std::uint8_t* P) {
  switch (Col.Kind) {
    case cds::TColKind::Bool:
      return P[0] <= 1;
    case cds::TColKind::Double: {
      if (Col.Type != ftDate && Col.Type != ftTime && Col.Type != ftDateTime) return true;
      double V;
      std::memcpy(&V, P, sizeof V);
      return std::isfinite(V) && V >= MinDateTime && V <= MaxDateTime + 1;
    }
    case cds::TColKind::TimeStamp: {
      TSQLTimeStamp TS;
      std::memcpy(&TS, P, sizeof TS);
      return IsSQLTimeStampValid(TS);
    }
    case cds::TColKind::Bcd: {
      TBcd B;
      std::memcpy(&B, P, sizeof B);
      if (B.Precision < 1 || B.Precision > MaxFMTBcdDigits || B.Places() > B.Precision || (B.SignSpecialPlaces & 0x40))
        return false;
      for (int I = 0; I < B.Precision; ++I)
        if (B.Digit(I) > 9) return false;
      return true;
    }
    default:
      return true;
  }
}

std::uint32_t Crc32(const char* Data, std::size_t N, std::uint32_t Crc = 0) {
  static const auto Table = [] {
    std::array<std::uint32_t, 256> T{};
    for (std::uint32_t I = 0; I < 256; ++I) {
      std::uint32_t C = I;
      for (int K = 0; K < 8; ++K) C = (C & 1) ? 0xEDB88320u ^ (C >> 1) : C >> 1;
      T[I] = C;
    }
    return T;
  }();
  Crc = ~Crc;
  for (std::size_t I = 0; I < N; ++I) Crc = Table[(Crc ^ std::uint8_t(Data[I])) & 0xFF] ^ (Crc >> 8);
  return ~Crc;
}

class TFileWriter {
 public:
  template <class T>
  void Put(T V) {
    Buf.append(reinterpret_cast<const char*>(&V), sizeof V);
  }
  void Bytes(const void* P, std::size_t N) { Buf.append(static_cast<const char*>(P), N); }
  void Str(std::string_view S) {
    Put(std::uint32_t(S.size()));
    Buf.append(S);
  }
  std::string Buf;
};

class TFileReader {
 public:
  TFileReader(const std::string& Data, std::size_t End, const std::string& Name) : D_(Data), End_(End), Name_(Name) {}
  [[noreturn]] void Fail(const std::string& Why) const { throw EDatabaseError(Format(dbmsg::SFileError, {Name_, Why})); }
  void Need(std::size_t N) const {
    if (N > End_ - P_) Fail("unexpected end of data");
  }
  template <class T>
  T Get() {
    Need(sizeof(T));
    T V;
    std::memcpy(&V, D_.data() + P_, sizeof V);
    P_ += sizeof V;
    return V;
  }
  std::string_view Bytes(std::size_t N) {
    Need(N);
    std::string_view S(D_.data() + P_, N);
    P_ += N;
    return S;
  }
  std::string Str() { return std::string(Bytes(Get<std::uint32_t>())); }
  std::size_t Left() const { return End_ - P_; }

 private:
  const std::string& D_;
  std::size_t End_;
  const std::string& Name_;
  std::size_t P_ = 0;
};

}  // namespace

void TCustomClientDataSet::SaveToStream(std::ostream& Stream) const {
  if (!Store_) DatabaseError(dbmsg::SNoFieldDefs, this);
  const_cast<TCustomClientDataSet*>(this)->CheckBrowseModeIfActive();
  TFileWriter W;
  W.Bytes(kMagic, sizeof kMagic);
  W.Put(kVersion);
  const auto& Cols = Store_->Columns();
  W.Put(std::uint32_t(Cols.size()));
  for (std::size_t I = 0; I < Cols.size(); ++I) {
    TFieldDef* D = GetFieldDefs()->FindDef(Cols[I].Name);
    if (Cols[I].Size > MaxFileFieldSize(Cols[I].Type))
      throw EDatabaseError(Format(dbmsg::SFileWriteError,
                                  {"stream", Format("field '%s' has the size %d, beyond %d",
                                                    {Cols[I].Name, Cols[I].Size, MaxFileFieldSize(Cols[I].Type)})}));
    W.Str(Cols[I].Name);
    W.Put(std::uint8_t(Cols[I].Type));
    W.Put(std::int32_t(Cols[I].Size));
    W.Put(std::uint8_t(D && D->GetRequired() ? 1 : 0));
  }
  std::vector<TIndexDef*> Defs;
  for (int I = 0; I < IndexDefs_->Count(); ++I)
    if (!AnsiSameText(IndexDefs_->GetItem(I)->GetName(), TempDefName_)) Defs.push_back(IndexDefs_->GetItem(I));
  W.Put(std::uint32_t(Defs.size()));
  for (TIndexDef* D : Defs) {
    W.Str(D->GetName());
    W.Str(D->GetFields());
    W.Str(D->GetDescFields());
    W.Str(D->GetCaseInsFields());
    W.Put(std::uint8_t(D->GetOptions().Mask()));
  }
  // Records in insertion order (the default order).
  const TRecordIndex& Order = *Indexes_[0];
  W.Put(std::uint64_t(Order.Order.size()));
  const std::size_t MaskBytes = (Cols.size() + 7) / 8;
  std::vector<std::uint8_t> Mask(MaskBytes);
  for (std::uint32_t Slot : Order.Order) {
    TRowView V = Store_->View(Slot);
    std::fill(Mask.begin(), Mask.end(), 0);
    for (std::size_t C = 0; C < Cols.size(); ++C)
      if (V.IsNull(int(C))) Mask[C / 8] |= std::uint8_t(1u << (C % 8));
    W.Bytes(Mask.data(), MaskBytes);
    for (std::size_t C = 0; C < Cols.size(); ++C) {
      if (V.IsNull(int(C))) continue;
      const cds::TColumn& Col = Cols[C];
      if (Col.Kind == cds::TColKind::Text || Col.Kind == cds::TColKind::Wide || Col.Kind == cds::TColKind::Bytes)
        W.Str(V.Var(int(C)));
      else
        W.Bytes(V.Fixed(int(C)), Col.Width);
    }
  }
  W.Put(Crc32(W.Buf.data(), W.Buf.size()));
  Stream.write(W.Buf.data(), std::streamsize(W.Buf.size()));
  if (!Stream) throw EDatabaseError(Format(dbmsg::SFileWriteError, {"stream", "write failed"}));
}

void TCustomClientDataSet::SaveToFile(const std::string& FileName) const {
  std::ostringstream Out;
  SaveToStream(Out);
  // Written to a side file first, so that a failed write leaves an old file whole.
  std::string Tmp = FileName + ".tmp";
  {
    std::ofstream F(Tmp, std::ios::binary | std::ios::trunc);
    if (!F) throw EDatabaseError(Format(dbmsg::SFileWriteError, {FileName, "cannot create the file"}));
    const std::string Data = Out.str();
    F.write(Data.data(), std::streamsize(Data.size()));
    F.close();
    if (!F) {
      std::remove(Tmp.c_str());
      throw EDatabaseError(Format(dbmsg::SFileWriteError, {FileName, "write failed"}));
    }
  }
  if (std::rename(Tmp.c_str(), FileName.c_str()) != 0) {
    std::remove(Tmp.c_str());
    throw EDatabaseError(Format(dbmsg::SFileWriteError, {FileName, "cannot replace the file"}));
  }
}

void TCustomClientDataSet::LoadFromFile(const std::string& FileName) {
  std::ifstream F(FileName, std::ios::binary);
  if (!F) throw EDatabaseError(Format(dbmsg::SFileError, {FileName, "cannot open the file"}));
  ReadFile(F, FileName);
}

void TCustomClientDataSet::LoadFromStream(std::istream& Stream) { ReadFile(Stream, "stream"); }

TCustomClientDataSet::TFileImage TCustomClientDataSet::ParseFile(const std::string& Data,
                                                                 const std::string& Name) const {
  if (Data.size() < sizeof kMagic + 8) throw EDatabaseError(Format(dbmsg::SFileError, {Name, "the file is too short"}));
  if (std::memcmp(Data.data(), kMagic, sizeof kMagic) != 0)
    throw EDatabaseError(Format(dbmsg::SFileError, {Name, "not a client dataset file"}));
  std::uint32_t Stored;
  std::memcpy(&Stored, Data.data() + Data.size() - 4, 4);
  if (Crc32(Data.data(), Data.size() - 4) != Stored)
    throw EDatabaseError(Format(dbmsg::SFileError, {Name, "checksum mismatch (the file is damaged)"}));
  TFileReader R(Data, Data.size() - 4, Name);
  R.Bytes(sizeof kMagic);
  if (std::uint32_t V = R.Get<std::uint32_t>(); V != kVersion)
    R.Fail(Format("unsupported version %d", {int(V)}));
  TFileImage F;
  const std::uint32_t NF = R.Get<std::uint32_t>();
  if (NF == 0 || NF > kMaxFileFields) R.Fail(Format("bad field count %d", {std::int64_t(NF)}));
  std::vector<cds::TColumn> Cols;
  for (std::uint32_t I = 0; I < NF; ++I) {
    TFieldDefData D;
    D.Name = R.Str();
    const std::uint8_t T = R.Get<std::uint8_t>();
    D.Size = R.Get<std::int32_t>();
    const std::uint8_t Required = R.Get<std::uint8_t>();
    if (D.Name.empty() || T > ftFMTBcd || Required > 1) R.Fail("bad field definition");
    D.Type = TFieldType(T);
    D.Required = Required != 0;
    try {
      cds::KindOfType(D.Type);
    } catch (const EDatabaseError&) {
      R.Fail(Format("field '%s' has a type a client dataset cannot hold", {D.Name}));
    }
    if (D.Size < 0 || D.Size > MaxFileFieldSize(D.Type))
      R.Fail(Format("field '%s' has the size %d, beyond %d", {D.Name, D.Size, MaxFileFieldSize(D.Type)}));
    for (const TFieldDefData& O : F.Fields)
      if (AnsiSameText(O.Name, D.Name)) R.Fail(Format("duplicate field name '%s'", {D.Name}));
    cds::TColumn C;
    C.Name = D.Name;
    C.Type = D.Type;
    C.Size = D.Size;
    Cols.push_back(C);
    F.Fields.push_back(std::move(D));
  }
  const std::uint32_t NI = R.Get<std::uint32_t>();
  if (NI > kMaxFileIndexes) R.Fail(Format("bad index count %d", {std::int64_t(NI)}));
  constexpr std::uint64_t KnownOptions = TIndexOptions{ixPrimary, ixUnique, ixDescending, ixCaseInsensitive,
                                                       ixExpression, ixNonMaintained}.Mask();
  for (std::uint32_t I = 0; I < NI; ++I) {
    TIndexDefData X;
    X.Name = R.Str();
    X.Fields = R.Str();
    X.Desc = R.Str();
    X.CaseIns = R.Str();
    const std::uint8_t Options = R.Get<std::uint8_t>();
    if (Options & ~KnownOptions) R.Fail(Format("index '%s' has unknown options", {X.Name}));
    X.Options = TIndexOptions::FromMask(Options);
    for (const TIndexDefData& O : F.IndexDefs)
      if (!X.Name.empty() && AnsiSameText(O.Name, X.Name)) R.Fail(Format("duplicate index name '%s'", {X.Name}));
    F.IndexDefs.push_back(std::move(X));
  }
  F.Store = std::make_unique<TRecordStore>();
  F.Store->Define(Cols);
  const auto& SC = F.Store->Columns();
  const std::uint64_t NR = R.Get<std::uint64_t>();
  const std::size_t MaskBytes = (SC.size() + 7) / 8;
  // Every record takes its null bitmap at least; slots are 32-bit numbers.
  if (NR > R.Left() / std::max<std::size_t>(MaskBytes, 1) || NR >= kNoSlot)
    R.Fail(Format("bad record count %d", {std::int64_t(std::min<std::uint64_t>(NR, std::numeric_limits<std::int64_t>::max()))}));
  F.Store->Reserve(std::size_t(NR), 0);
  TRowImage Img;
  for (std::uint64_t N = 0; N < NR; ++N) {
    Img.Reset(*F.Store);
    std::string_view Mask = R.Bytes(MaskBytes);
    for (std::size_t C = 0; C < SC.size(); ++C) {
      if (std::uint8_t(Mask[C / 8]) >> (C % 8) & 1u) continue;
      const cds::TColumn& Col = SC[C];
      if (Col.Kind == cds::TColKind::Text || Col.Kind == cds::TColKind::Wide || Col.Kind == cds::TColKind::Bytes) {
        std::string S = R.Str();
        bool Fits = true;
        if (cds::FixedText(Col.Type))
          Fits = S.size() < std::size_t(StringBufferSize(Col.Size)) && CharLength(S) <= std::size_t(Col.Size);
        else if (Col.Kind == cds::TColKind::Wide)
          Fits = S.size() % 2 == 0 && (Col.Size == 0 || S.size() / 2 <= std::size_t(Col.Size));
        else if (Col.Type == ftBytes || Col.Type == ftVarBytes)
          Fits = Col.Size == 0 || S.size() <= std::size_t(Col.Size);
        if (!Fits) R.Fail(Format("a value of field '%s' does not fit its size", {Col.Name}));
        Img.SetVar(int(C), S);
      } else {
        std::string_view B = R.Bytes(Col.Width);
        if (!ValidFixedValue(Col, reinterpret_cast<const std::uint8_t*>(B.data())))
          R.Fail(Format("a value of field '%s' is out of range", {Col.Name}));
        std::memcpy(Img.Fixed(Col), B.data(), Col.Width);
        if (Col.Type == ftAutoInc) {
          std::int32_t X;
          std::memcpy(&X, B.data(), 4);
          F.NextAutoInc = std::max(F.NextAutoInc, std::int64_t{X} + 1);
        }
      }
      Img.SetNull(int(C), false);
    }
    F.Store->AddRow(Img);
  }
  if (R.Left() != 0) R.Fail("unexpected data after the records");
  // The indexes the definitions describe, built now: one that names a field
  // the file lacks, or a unique one the records break, refuses the file.
  try {
    BuildIndexes(F);
  } catch (const EDatabaseError& E) {
    R.Fail(E.Message());
  }
  return F;
}

void TCustomClientDataSet::BuildIndexes(TFileImage& F) const {
  auto Default = std::make_unique<TRecordIndex>();
  Default->Name = kDefaultOrder;
  Default->Build(*F.Store);
  F.Indexes.clear();
  F.Indexes.push_back(std::move(Default));
  for (const TIndexDefData& X : F.IndexDefs) {
    if (X.Name.empty() || X.Options.Contains(ixExpression)) continue;
    try {
      F.Indexes.push_back(BuildIndex(*F.Store, X.Name, X.Fields, X.Options, X.Desc, X.CaseIns));
    } catch (const EDatabaseError& E) {
      throw EDatabaseError(Format("index '%s': %s", {X.Name, E.Message()}));
    }
  }
}

void TCustomClientDataSet::KeepOwnIndexDefs(TFileImage& F) const {
  F.PutIndexDefs = false;
  F.IndexDefs.clear();
  for (int I = 0; I < IndexDefs_->Count(); ++I) {
    TIndexDef* D = IndexDefs_->GetItem(I);
    // The definition that describes IndexFieldNames is made again on open.
    if (!TempDefName_.empty() && AnsiSameText(D->GetName(), TempDefName_)) continue;
    F.IndexDefs.push_back({D->GetName(), D->GetFields(), D->GetDescFields(), D->GetCaseInsFields(), D->GetOptions()});
  }
  BuildIndexes(F);
}

TCustomClientDataSet::TSavedState TCustomClientDataSet::TakeState() {
  TSavedState S;
  S.Store = std::move(Store_);
  S.Indexes = std::move(Indexes_);
  S.CurrentIndex = CurrentIndex_;
  S.Fields = DefinitionsOf(*GetFieldDefs());
  for (int I = 0; I < IndexDefs_->Count(); ++I) {
    TIndexDef* D = IndexDefs_->GetItem(I);
    S.IndexDefs.push_back({D->GetName(), D->GetFields(), D->GetDescFields(), D->GetCaseInsFields(), D->GetOptions()});
  }
  S.IndexName = IndexName_;
  S.TempDefName = TempDefName_;
  S.Epoch = Epoch_;
  S.NextAutoInc = NextAutoInc_;
  return S;
}

void TCustomClientDataSet::PutFieldDefinitions(const std::vector<TFieldDefData>& Fields) {
  GetFieldDefs()->Clear();
  for (const TFieldDefData& D : Fields) GetFieldDefs()->Add(D.Name, D.Type, D.Size, D.Required)->SetPrecision(D.Precision);
}

void TCustomClientDataSet::PutIndexDefinitions(const std::vector<TIndexDefData>& Indexes) {
  IndexDefs_->Clear();
  for (const TIndexDefData& X : Indexes) {
    TIndexDef* D = IndexDefs_->AddIndexDef();
    D->SetName(X.Name);
    D->SetFields(X.Fields);
    D->SetDescFields(X.Desc);
    D->SetCaseInsFields(X.CaseIns);
    D->SetOptions(X.Options);
  }
}

void TCustomClientDataSet::RestoreState(TSavedState& S) {
  PutFieldDefinitions(S.Fields);
  PutIndexDefinitions(S.IndexDefs);
  Store_ = std::move(S.Store);
  Indexes_ = std::move(S.Indexes);
  CurrentIndex_ = S.CurrentIndex;
  IndexName_ = S.IndexName;
  TempDefName_ = S.TempDefName;
  Epoch_ = S.Epoch;
  ++Version_;
  NextAutoInc_ = S.NextAutoInc;
  RangeApplied_ = false;
}

void TCustomClientDataSet::InstallFile(TFileImage& F) {
  if (F.PutFieldDefs) PutFieldDefinitions(F.Fields);
  if (F.PutIndexDefs) {
    PutIndexDefinitions(F.IndexDefs);
    TempDefName_.clear();
  }
  Store_ = std::move(F.Store);
  Indexes_ = std::move(F.Indexes);
  CurrentIndex_ = 0;
  ++Epoch_;
  ++Version_;
  NextAutoInc_ = F.NextAutoInc;
  RangeApplied_ = false;
}

void TCustomClientDataSet::ReadFile(std::istream& Stream, const std::string& Name, bool Reopen) {
  std::string Data((std::istreambuf_iterator<char>(Stream)), std::istreambuf_iterator<char>());
  TFileImage F = ParseFile(Data, Name);
  // A file loaded on request replaces the indexes, so a chosen index it
  // lacks is dropped; a file read while opening must have the index asked for.
  if (Reopen) {
    ReplaceStorage(F, false);
    return;
  }
  // Called while opening (InternalOpen): the open goes on from here and puts
  // the earlier state back if it fails.
  CheckNewState(F, true);
  InstallFile(F);
}

bool TCustomClientDataSet::CheckNewState(const TFileImage& F, bool IndexNameRequired) const {
  bool KeepIndexName = IndexName_.empty() || AnsiSameText(IndexName_, kDefaultOrder);
  for (std::size_t I = 1; I < F.Indexes.size(); ++I)
    KeepIndexName = KeepIndexName || (!F.Indexes[I]->Name.empty() && AnsiSameText(F.Indexes[I]->Name, IndexName_));
  if (!KeepIndexName && IndexNameRequired) DatabaseError(Format(dbmsg::SIndexNotFound, {IndexName_}), this);
  // An order by field names, and persistent fields, need their fields.
  if (!IndexFieldNames_.empty()) MakeIndex(*F.Store, "", IndexFieldNames_, TIndexOptions(), "", "");
  if (!DefaultFields())
    for (TField* Field : Fields())
      if (F.Store->IndexOfColumn(Field->GetFieldName()) < 0)
        DatabaseError(Format(dbmsg::SFieldNotFound, {Field->GetFieldName()}), this);
  return KeepIndexName;
}

void TCustomClientDataSet::ReplaceStorage(TFileImage& F, bool IndexNameRequired) {
  // What the open afterwards would refuse is refused before anything changes.
  const bool KeepIndexName = CheckNewState(F, IndexNameRequired);
  const bool WasActive = GetActive();
  TBookmark Mark = WasActive ? GetBookmark() : TBookmark();
  Close();
  TSavedState Old = TakeState();
  try {
    InstallFile(F);
    if (!KeepIndexName) IndexName_.clear();
    Open();
  } catch (...) {
    // Something beyond the new state refused it (an event handler, say):
    // the dataset goes back to what it was.
    try {
      Close();
    } catch (...) {
    }
    RestoreState(Old);
    if (WasActive) {
      try {
        Open();
        if (Mark && BookmarkValid(Mark)) GotoBookmark(Mark);
      } catch (...) {
      }
    }
    throw;
  }
}

}  // namespace fyndra
