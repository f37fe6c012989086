#include <fyndra/platform/db/dataset.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

// Whether V begins with Key ignoring case: its first characters equal to Key
// by the locale's case-insensitive comparison, or its upper-case form begins
// with Key's. Upper case can change a text's length ("ß" is "SS"), so
// "STRAS" is a beginning of "Straße" that counting characters misses.
bool StartsIgnoringCase(std::string_view V, std::string_view Key) {
  const std::size_t N = CharLength(Key);
  if (CharLength(V) >= N && AnsiCompareTextN(V, Key, N) == 0) return true;
  const std::string UpperKey = AnsiUpperCase(Key);
  // Every character maps to at least one: that many of V are enough.
  const std::string UpperV = AnsiUpperCase(CharLeft(V, CharLength(UpperKey)));
  return UpperV.compare(0, UpperKey.size(), UpperKey) == 0 && UpperV.size() >= UpperKey.size();
}

}  // namespace

FYNDRA_PUBLISHED(TDataSet, P) {
  P.Property("FieldDefs", &TDataSet::GetFieldDefs, &TDataSet::SetFieldDefs);
  P.Property("Active", &TDataSet::GetActive, &TDataSet::SetActive).Default(false);
  P.Property("Filtered", &TDataSet::GetFiltered, &TDataSet::SetFiltered).Default(false);
  P.Property("ReadOnly", &TDataSet::GetReadOnly, &TDataSet::SetReadOnly).Default(false);
  P.Property("OnFilterRecord", &TDataSet::GetOnFilterRecord, &TDataSet::SetOnFilterRecord);
  P.Property("BeforeOpen", &TDataSet::BeforeOpen);
  P.Property("AfterOpen", &TDataSet::AfterOpen);
  P.Property("BeforeClose", &TDataSet::BeforeClose);
  P.Property("AfterClose", &TDataSet::AfterClose);
  P.Property("BeforeInsert", &TDataSet::BeforeInsert);
  P.Property("AfterInsert", &TDataSet::AfterInsert);
  P.Property("BeforeEdit", &TDataSet::BeforeEdit);
  P.Property("AfterEdit", &TDataSet::AfterEdit);
  P.Property("BeforePost", &TDataSet::BeforePost);
  P.Property("AfterPost", &TDataSet::AfterPost);
  P.Property("BeforeCancel", &TDataSet::BeforeCancel);
  P.Property("AfterCancel", &TDataSet::AfterCancel);
  P.Property("BeforeDelete", &TDataSet::BeforeDelete);
  P.Property("AfterDelete", &TDataSet::AfterDelete);
  P.Property("BeforeScroll", &TDataSet::BeforeScroll);
  P.Property("AfterScroll", &TDataSet::AfterScroll);
  P.Property("OnNewRecord", &TDataSet::OnNewRecord);
}

namespace {

std::atomic<std::uint64_t> NextSerial{1};

// The dataset in dsFilter over one buffer while a record that is not the
// current one is examined, and back whatever happens.
struct TFilterScope {
  TRestore<TDataSetState> State;
  TRestore<TRecordBuffer> Buffer;
};

}  // namespace

TDataSet::TDataSet(TComponent* Owner) : TComponent(Owner), Fields_(this), Serial_(NextSerial++) {}

void TDataSet::AfterConstruction() {
  TComponent::AfterConstruction();
  FieldDefs_ = CreateOwned<TFieldDefs>(this);
}

void TDataSet::BeforeDestruction() {
  if (GetActive()) {
    try {
      DoClose();
    } catch (...) {
    }
  }
  for (TDataSource* S : std::vector<TDataSource*>(DataSources_)) S->Detach();
  DataSources_.clear();
  // Default fields are ours; persistent ones belong to their owner and are
  // only let go.
  for (TField* F : std::vector<TField*>(Fields_.List_)) {
    if (!F->Persistent_ && F->GetOwner() == this) fyndra::Free(F);
    else F->Detach();
  }
  TComponent::BeforeDestruction();
}

TDataSet::~TDataSet() {
  for (TDataSource* S : std::vector<TDataSource*>(DataSources_)) S->Detach();
  for (TField* F : std::vector<TField*>(Fields_.List_)) F->Detach();
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (StreamedActive_) {
    StreamedActive_ = false;
    SetActive(true);
  }
}

void TDataSet::SetFieldDefs(TFieldDefs* Value) {
  CheckInactive();
  FieldDefs_->Assign(Value);
}

// ---------------------------------------------------------------- open state

void TDataSet::CheckActive() const {
  if (State_ == dsInactive) DatabaseError(dbmsg::SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (State_ != dsInactive) DatabaseError(dbmsg::SDataSetOpen, this);
}

void TDataSet::SetActive(bool Value) {
  if (Value == GetActive()) return;
  if (GetComponentState().Contains(csLoading)) {
    StreamedActive_ = Value;
    return;
  }
  bool Destroying = GetComponentState().Contains(csDestroying);
  if (Value) {
    Fire(BeforeOpen);
    DoOpen();
    Fire(AfterOpen);
    Fire(AfterScroll);
  } else {
    if (!Destroying) Fire(BeforeClose);
    DoClose();
    if (!Destroying) Fire(AfterClose);
  }
}

void TDataSet::DoOpen() {
  try {
    OpenCursor();
    ActiveBuf_ = AllocRecordBuffer();
    ScratchBuf_ = AllocRecordBuffer();
    SavedBuf_ = AllocRecordBuffer();
    RecordValid_ = false;
    Modified_ = false;
    State_ = dsBrowse;
    InternalFirst();
    bool Found = FetchFromEnd(gmNext);
    if (Found) SwapToScratch();
    Bof_ = true;
    Eof_ = !Found;
  } catch (...) {
    State_ = dsInactive;
    try {
      CloseCursor();
    } catch (...) {
    }
    InternalHandleException();
    throw;
  }
  NotifySources(deUpdateState, 0);
}

void TDataSet::DoClose() {
  if (State_ == dsEdit || State_ == dsInsert) {
    // An unposted edit is discarded, as Cancel would.
    try {
      InternalCancel();
    } catch (...) {
    }
  }
  State_ = dsInactive;
  Modified_ = false;
  NotifySources(deUpdateState, 0);
  CloseCursor();
}

void TDataSet::OpenCursor() {
  InternalOpen();
  InternalInitFieldDefs();
  if (Fields_.Count() == 0) {
    DefaultFields_ = true;
    CreateFields();
  } else {
    DefaultFields_ = false;
  }
  BindFields(true);
}

void TDataSet::CloseCursor() {
  ClearBuffers();
  BindFields(false);
  if (DefaultFields_) DestroyFields();
  if (IsCursorOpen()) InternalClose();
}

void TDataSet::ClearBuffers() {
  if (ActiveBuf_) FreeRecordBuffer(ActiveBuf_);
  if (ScratchBuf_) FreeRecordBuffer(ScratchBuf_);
  if (SavedBuf_) FreeRecordBuffer(SavedBuf_);
  ActiveBuf_ = ScratchBuf_ = SavedBuf_ = nullptr;
  RecordValid_ = false;
  Bof_ = Eof_ = true;
}

void TDataSet::InitFieldDefs() { InternalInitFieldDefs(); }

void TDataSet::CreateFields() {
  for (int I = 0; I < FieldDefs_->Count(); ++I) {
    TFieldDef* D = FieldDefs_->GetItem(I);
    if (!FieldClassOf(D->GetDataType())) continue;  // a type without a field class has no field
    TField* F = D->CreateField(this);
    F->Persistent_ = false;
  }
}

void TDataSet::DestroyFields() {
  for (TField* F : std::vector<TField*>(Fields_.List_))
    if (!F->Persistent_) fyndra::Free(F);
}

void TDataSet::BindFields(bool Binding) {
  if (!Binding) return;
  for (TField* F : Fields_) {
    TFieldDef* D = FieldDefs_->FindDef(F->GetFieldName());
    if (!D) DatabaseError(Format(dbmsg::SFieldNotFound, {F->GetFieldName()}), this);
    TClass Want = FieldClassOf(D->GetDataType());
    if (!Want || !F->InheritsFrom(Want) ||
        (F->GetDataType() != D->GetDataType() && F->ClassType() == Want && F->Persistent_ &&
         !(FieldClassOf(F->GetDataType()) == Want)))
      DatabaseError(Format(dbmsg::SFieldTypeMismatch, {F->GetFieldName(), std::string(FieldTypeName(D->GetDataType())),
                                                       std::string(FieldTypeName(F->GetDataType()))}),
                    this);
    F->DataType_ = D->GetDataType();
    F->FieldNo_ = D->GetFieldNo();
    if (D->GetDataType() == ftString || D->GetDataType() == ftFixedChar || D->GetDataType() == ftGuid ||
        D->GetDataType() == ftWideString || D->GetDataType() == ftBytes || D->GetDataType() == ftVarBytes)
      F->Size_ = D->GetSize();
    if (D->GetRequired()) F->Required_ = true;
  }
}

// ---------------------------------------------------------------- fields

void TDataSet::GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const {
  std::size_t Start = 0;
  while (Start <= FieldNames.size()) {
    std::size_t End = FieldNames.find(';', Start);
    if (End == std::string::npos) End = FieldNames.size();
    std::string Name = FieldNames.substr(Start, End - Start);
    if (!Name.empty()) List.push_back(FieldByName(Name));
    Start = End + 1;
  }
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& FieldNames) const {
  std::vector<TField*> L;
  GetFieldList(L, FieldNames);
  return L;
}

void TDataSet::GetFieldNames(TStrings* List) const {
  List->Clear();
  for (const std::string& N : GetFieldNames()) List->Add(N);
}

std::vector<std::string> TDataSet::GetFieldNames() const {
  std::vector<std::string> Names;
  if (Fields_.Count() > 0) {
    for (TField* F : Fields_) Names.push_back(F->GetFieldName());
  } else {
    for (int I = 0; I < FieldDefs_->Count(); ++I) Names.push_back(FieldDefs_->GetItem(I)->GetName());
  }
  return Names;
}

// ---------------------------------------------------------------- buffers and fetching

TRecordBuffer TDataSet::CurrentRecordBuffer() const {
  if (State_ == dsFilter) return FilterBuf_;
  return RecordValid_ ? ActiveBuf_ : nullptr;
}

bool TDataSet::RecordFilterAccepts(TRecordBuffer Buffer) const {
  if (!Filtering()) return true;
  auto* Self = const_cast<TDataSet*>(this);
  TFilterScope Scope{{Self->State_, dsFilter}, {Self->FilterBuf_, Buffer}};
  bool Accept = true;
  OnFilterRecord_(Self, Accept);
  return Accept;
}

bool TDataSet::FetchFromEnd(TGetMode Mode) {
  if (FetchVisible(Mode)) return true;
  // A family whose cursor never leaves its one record answers only gmCurrent.
  return GetRecord(ScratchBuf_, gmCurrent, false) == grOK && RecordFilterAccepts(ScratchBuf_);
}

bool TDataSet::FetchVisible(TGetMode Mode) {
  for (;;) {
    if (GetRecord(ScratchBuf_, Mode, true) != grOK) return false;
    if (!Filtering() || RecordFilterAccepts(ScratchBuf_)) return true;
  }
}

void TDataSet::SwapToScratch() {
  std::swap(ActiveBuf_, ScratchBuf_);
  RecordValid_ = true;
}

void TDataSet::RestoreCursor() {
  if (RecordValid_ && ActiveBuf_) InternalSetToRecord(ActiveBuf_);
}

void TDataSet::SetState(TDataSetState Value) {
  if (State_ == Value) return;
  State_ = Value;
  Modified_ = false;
  DataEvent(deUpdateState, 0);
}

void TDataSet::Resync() {
  if (GetRecord(ScratchBuf_, gmCurrent, false) == grOK && RecordFilterAccepts(ScratchBuf_)) {
    SwapToScratch();
    Bof_ = Eof_ = false;
    return;
  }
  if (FetchVisible(gmNext)) {
    SwapToScratch();
    Bof_ = Eof_ = false;
    return;
  }
  InternalLast();
  if (FetchVisible(gmPrior)) {
    SwapToScratch();
    Bof_ = false;
    Eof_ = true;
    return;
  }
  RecordValid_ = false;
  Bof_ = Eof_ = true;
}

bool TDataSet::SyncToCursor() {
  if (GetRecord(ScratchBuf_, gmCurrent, false) != grOK || !RecordFilterAccepts(ScratchBuf_)) {
    RestoreCursor();
    return false;
  }
  SwapToScratch();
  Bof_ = Eof_ = false;
  DataEvent(deDataSetChange, 0);
  Fire(AfterScroll);
  return true;
}

bool TDataSet::MoveToCursorOrAfter(const std::function<bool()>* StillMatches) {
  bool Found = false;
  try {
    for (TGetResult R = GetRecord(ScratchBuf_, gmCurrent, false); R == grOK;
         R = GetRecord(ScratchBuf_, gmNext, true)) {
      if (StillMatches && !(*StillMatches)()) break;
      if (RecordFilterAccepts(ScratchBuf_)) {
        Found = true;
        break;
      }
    }
  } catch (...) {
    RestoreCursor();
    throw;
  }
  if (!Found) {
    RestoreCursor();
    return false;
  }
  Fire(BeforeScroll);
  SwapToScratch();
  Bof_ = Eof_ = false;
  DataEvent(deDataSetChange, 0);
  Fire(AfterScroll);
  return true;
}

// ---------------------------------------------------------------- navigation

void TDataSet::First() { MoveToEnd(true); }

void TDataSet::Last() { MoveToEnd(false); }

// First and Last: the cursor goes to one end and the record next to it is read;
// Bof (Eof) is set at the start (end), and Eof (Bof) too when there is none.
void TDataSet::MoveToEnd(bool Start) {
  CheckBrowseMode();
  Fire(BeforeScroll);
  if (Start) InternalFirst();
  else InternalLast();
  bool Found;
  try {
    Found = FetchFromEnd(Start ? gmNext : gmPrior);
  } catch (...) {
    Resync();
    throw;
  }
  if (Found) SwapToScratch();
  else RecordValid_ = false;
  Bof_ = Start || !Found;
  Eof_ = !Start || !Found;
  DataEvent(deDataSetChange, 0);
  Fire(AfterScroll);
}

int TDataSet::MoveBy(int Distance) {
  CheckBrowseMode();
  if (Distance == 0 || !RecordValid_) return 0;
  if ((Distance > 0 && Eof_) || (Distance < 0 && Bof_)) return 0;
  Fire(BeforeScroll);
  const int Step = Distance > 0 ? 1 : -1;
  const TGetMode Mode = Distance > 0 ? gmNext : gmPrior;
  int Moved = 0;
  try {
    while (Moved != Distance) {
      if (!FetchVisible(Mode)) {
        RestoreCursor();
        if (Step > 0) Eof_ = true;
        else Bof_ = true;
        break;
      }
      SwapToScratch();
      Moved += Step;
      if (Step > 0) Bof_ = false;
      else Eof_ = false;
    }
  } catch (...) {
    RestoreCursor();
    if (Moved) DataEvent(deDataSetScroll, Moved);
    throw;
  }
  if (Moved) DataEvent(deDataSetScroll, Moved);
  Fire(AfterScroll);
  return Moved;
}

bool TDataSet::IsEmpty() const {
  if (State_ == dsInactive) return true;
  if (State_ == dsInsert) return false;
  return !RecordValid_;
}

int TDataSet::CountRecordsByScan() const {
  auto* Self = const_cast<TDataSet*>(this);
  Self->InternalFirst();
  int N = 0;
  try {
    while (Self->GetRecord(ScratchBuf_, gmNext, false) == grOK)
      if (RecordFilterAccepts(ScratchBuf_)) ++N;
    if (N == 0 && Self->GetRecord(ScratchBuf_, gmCurrent, false) == grOK && RecordFilterAccepts(ScratchBuf_)) N = 1;
  } catch (...) {
    Self->RestoreCursor();
    throw;
  }
  Self->RestoreCursor();
  return N;
}

int TDataSet::GetRecordCount() const {
  CheckActive();
  if (!Filtering()) {
    int N = InternalGetRecordCount();
    if (N >= 0) return N;
  }
  return CountRecordsByScan();
}

int TDataSet::GetRecNo() const {
  CheckActive();
  if (State_ == dsInsert) return -1;
  if (!RecordValid_) return 0;
  if (!Filtering()) {
    int N = InternalGetRecNo();
    if (N >= 0) return N;
  }
  // Count the visible records up to the current one.
  auto* Self = const_cast<TDataSet*>(this);
  std::vector<std::uint8_t> Here, There;
  GetBookmarkData(ActiveBuf_, Here);
  if (Here.empty()) return Bof_ ? 1 : -1;
  Self->InternalFirst();
  int N = 0;
  try {
    while (Self->GetRecord(ScratchBuf_, gmNext, false) == grOK) {
      if (!RecordFilterAccepts(ScratchBuf_)) continue;
      ++N;
      There.clear();
      GetBookmarkData(ScratchBuf_, There);
      if (There == Here) break;
    }
  } catch (...) {
    Self->RestoreCursor();
    throw;
  }
  Self->RestoreCursor();
  return N;
}

void TDataSet::SetRecNo(int Value) {
  CheckBrowseMode();
  if (Value < 1) return;
  if (!Filtering() && InternalSetRecNo(Value)) {
    Fire(BeforeScroll);
    if (SyncToCursor()) return;
  }
  WithControlsDisabled([&] {
    First();
    MoveBy(Value - 1);
  });
}

// ---------------------------------------------------------------- bookmarks

TBookmark TDataSet::GetBookmark() const {
  CheckActive();
  TBookmark B;
  if (!RecordValid_ || State_ == dsInsert) return B;
  GetBookmarkData(ActiveBuf_, B.Data_);
  if (!B.Data_.empty()) B.Owner_ = Serial_;
  return B;
}

bool TDataSet::BookmarkValid(const TBookmark& Bookmark) const {
  if (State_ == dsInactive || Bookmark.IsEmpty() || Bookmark.Owner_ != Serial_) return false;
  return InternalBookmarkValid(Bookmark.Data_);
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
  CheckBrowseMode();
  if (Bookmark.IsEmpty() || Bookmark.Owner_ != Serial_) DatabaseError(dbmsg::SBookmarkInvalid, this);
  Fire(BeforeScroll);
  if (!InternalGotoBookmark(Bookmark.Data_)) {
    RestoreCursor();
    DatabaseError(dbmsg::SRecordNotFound, this);
  }
  bool Ok;
  try {
    Ok = GetRecord(ScratchBuf_, gmCurrent, false) == grOK && RecordFilterAccepts(ScratchBuf_);
  } catch (...) {
    RestoreCursor();
    throw;
  }
  if (!Ok) {
    RestoreCursor();
    DatabaseError(dbmsg::SRecordNotFound, this);
  }
  SwapToScratch();
  Bof_ = Eof_ = false;
  DataEvent(deDataSetChange, 0);
  Fire(AfterScroll);
}

int TDataSet::CompareBookmarks(const TBookmark& A, const TBookmark& B) const {
  if (A.IsEmpty() || B.IsEmpty()) return int(!A.IsEmpty()) - int(!B.IsEmpty());
  if (A.Owner_ != Serial_ || B.Owner_ != Serial_) DatabaseError(dbmsg::SBookmarkInvalid, this);
  return InternalCompareBookmarks(A.Data_, B.Data_);
}

int TDataSet::InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                                       const std::vector<std::uint8_t>& B) const {
  if (A == B) return 0;
  return A < B ? -1 : 1;
}

// ---------------------------------------------------------------- search

namespace {

struct TKeyTest {
  TField* Field;
  bool Text;
  Variant Key;
  std::string TextKey;
  std::size_t KeyChars;
};

}  // namespace

bool TDataSet::MatchesKeys(const std::vector<TField*>& Fields, const std::vector<Variant>& Keys,
                           TLocateOptions Options) const {
  const bool CaseIns = Options.Contains(loCaseInsensitive);
  const bool Partial = Options.Contains(loPartialKey);
  for (std::size_t I = 0; I < Fields.size(); ++I) {
    TField* F = Fields[I];
    const Variant& K = Keys[I];
    bool KeyNull = K.IsNull() || K.IsEmpty();
    if (F->IsNull()) {
      if (KeyNull) continue;
      // An empty text key matches an empty (null) text value.
      if (FieldTypeIsText(F->GetDataType()) && VarToStr(K).empty()) continue;
      return false;
    }
    if (KeyNull) return false;
    if (FieldTypeIsText(F->GetDataType())) {
      std::string V = F->GetAsString();
      const std::string& Key = K.RawString();
      if (Partial) {
        if (CaseIns) {
          if (!StartsIgnoringCase(V, Key)) return false;
        } else if (V.compare(0, Key.size(), Key) != 0) {
          return false;
        }
      } else if (CaseIns ? !AnsiSameText(V, Key) : V != Key) {
        return false;
      }
    } else if (VarCompareValue(F->GetAsVariant(), K) != vrEqual) {
      return false;
    }
  }
  return true;
}

bool TDataSet::ScanFor(const std::vector<TField*>& Fields, const std::vector<Variant>& Keys,
                       TLocateOptions Options, bool MoveThere, const std::vector<TField*>* Results,
                       Variant* ResultValue) {
  InternalFirst();
  bool Found = false;
  try {
    while (GetRecord(ScratchBuf_, gmNext, true) == grOK) {
      if (!RecordFilterAccepts(ScratchBuf_)) continue;
      TFilterScope Scope{{State_, dsFilter}, {FilterBuf_, ScratchBuf_}};
      if (MatchesKeys(Fields, Keys, Options)) {
        Found = true;
        if (Results) {
          if (Results->size() == 1) {
            *ResultValue = (*Results)[0]->GetAsVariant();
          } else {
            std::vector<Variant> Vals;
            for (TField* R : *Results) Vals.push_back(R->GetAsVariant());
            *ResultValue = VarArrayOf(std::move(Vals));
          }
        }
        break;
      }
    }
  } catch (...) {
    RestoreCursor();
    throw;
  }
  if (Found && MoveThere) {
    Fire(BeforeScroll);
    SwapToScratch();
    Bof_ = Eof_ = false;
    DataEvent(deDataSetChange, 0);
    Fire(AfterScroll);
  } else {
    RestoreCursor();
  }
  return Found;
}

namespace {

// The key values for Fields out of a scalar or an array, each converted to
// what its field compares with (text for text fields).
std::vector<Variant> PrepareKeys(const TDataSet* DS, const std::vector<TField*>& Fields, const Variant& KeyValues) {
  // (kept here so that the messages name the dataset)
  std::vector<Variant> Keys;
  if (KeyValues.IsArray()) {
    int Lo = VarArrayLowBound(KeyValues, 1), Hi = VarArrayHighBound(KeyValues, 1);
    for (int I = Lo; I <= Hi; ++I) Keys.push_back(KeyValues[I]);
  } else {
    Keys.push_back(KeyValues);
  }
  if (Keys.size() != Fields.size())
    DatabaseError(Format(dbmsg::SLocateKeyMismatch, {int(Keys.size()), int(Fields.size())}), DS);
  for (std::size_t I = 0; I < Keys.size(); ++I) {
    Variant& K = Keys[I];
    if (K.IsNull() || K.IsEmpty()) continue;
    TField* F = Fields[I];
    try {
      switch (F->GetDataType()) {
        case ftString: case ftFixedChar: case ftMemo: case ftFmtMemo: case ftWideString: case ftGuid:
          K = Variant(VarToStr(K));
          break;
        case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
          K = VarAsType(K, varInt64);
          break;
        case ftFloat: case ftCurrency:
          K = VarAsType(K, varDouble);
          break;
        case ftBCD:
          K = VarAsType(K, varCurrency);
          break;
        case ftBoolean:
          K = VarAsType(K, varBoolean);
          break;
        case ftDate: case ftTime: case ftDateTime:
          K = Variant::FromDateTime(VarToDateTime(K));
          break;
        default:
          break;
      }
    } catch (const Exception& E) {
      DatabaseError(Format(dbmsg::SFieldTypeMismatch, {F->GetFieldName(), std::string(FieldTypeName(F->GetDataType())),
                                                       VarToStr(K)}),
                    DS);
    }
  }
  return Keys;
}

}  // namespace

std::vector<Variant> TDataSet::PrepareLocateKeys(const std::vector<TField*>& Fields, const Variant& KeyValues) const {
  return PrepareKeys(this, Fields, KeyValues);
}

bool TDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  CheckBrowseMode();
  std::vector<TField*> Fields = GetFieldList(KeyFields);
  if (Fields.empty()) DatabaseError(Format(dbmsg::SFieldNotFound, {KeyFields}), this);
  std::vector<Variant> Keys = PrepareKeys(this, Fields, KeyValues);
  return ScanFor(Fields, Keys, Options, true, nullptr, nullptr);
}

Variant TDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) {
  CheckBrowseMode();
  std::vector<TField*> Fields = GetFieldList(KeyFields);
  if (Fields.empty()) DatabaseError(Format(dbmsg::SFieldNotFound, {KeyFields}), this);
  std::vector<TField*> Results = GetFieldList(ResultFields);
  if (Results.empty()) DatabaseError(Format(dbmsg::SFieldNotFound, {ResultFields}), this);
  std::vector<Variant> Keys = PrepareKeys(this, Fields, KeyValues);
  Variant Result = Null();
  ScanFor(Fields, Keys, TLocateOptions(), false, &Results, &Result);
  return Result;
}

// ---------------------------------------------------------------- editing

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (State_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (Modified_) Post();
      else Cancel();
      break;
    case dsSetKey:
      SetState(dsBrowse);
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (State_ != dsEdit && State_ != dsInsert && State_ != dsSetKey) DatabaseError(dbmsg::SNotEditing, this);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::Edit() {
  CheckActive();
  if (State_ == dsEdit || State_ == dsInsert) return;
  if (State_ == dsSetKey) SetState(dsBrowse);
  if (!RecordValid_) {
    Insert();
    return;
  }
  if (!CanModify()) DatabaseError(dbmsg::SDataSetReadOnly, this);
  Fire(BeforeEdit);
  InternalSetToRecord(ActiveBuf_);
  InternalEdit();
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  Fire(AfterEdit);
}

void TDataSet::Insert() { BeginInsert(false); }
void TDataSet::Append() { BeginInsert(true); }

void TDataSet::BeginInsert(bool Append) {
  CheckBrowseMode();
  if (!CanModify()) DatabaseError(dbmsg::SDataSetReadOnly, this);
  Fire(BeforeInsert);
  Fire(BeforeScroll);
  if (RecordValid_) InternalSetToRecord(ActiveBuf_);
  SavedValid_ = RecordValid_;
  std::swap(ActiveBuf_, SavedBuf_);
  try {
    InternalInitRecord(ActiveBuf_);
    InternalInsert(Append);
  } catch (...) {
    std::swap(ActiveBuf_, SavedBuf_);
    throw;
  }
  RecordValid_ = true;
  SetState(dsInsert);
  if (Append) Eof_ = true;
  DataEvent(deDataSetChange, 0);
  Fire(OnNewRecord);
  Modified_ = false;
  Fire(AfterInsert);
  Fire(AfterScroll);
}

void TDataSet::CheckRequiredFields() {
  for (TField* F : Fields_)
    if (F->GetRequired() && !F->GetReadOnly() && F->IsNull() && F->GetDataType() != ftAutoInc)
      DatabaseError(Format(dbmsg::SFieldRequired, {F->GetDisplayName()}), this);
}

void TDataSet::InternalPost() { DatabaseError(dbmsg::SDataSetReadOnly, this); }

void TDataSet::InternalDelete() { DatabaseError(dbmsg::SDataSetReadOnly, this); }

void TDataSet::Post() {
  CheckActive();
  if (State_ == dsSetKey) {
    SetState(dsBrowse);
    return;
  }
  if (State_ != dsEdit && State_ != dsInsert) return;
  UpdateRecord();
  CheckRequiredFields();
  Fire(BeforePost);
  InternalPost();  // refuses by raising; the dataset then stays in its edit state
  SetState(dsBrowse);
  Resync();
  DataEvent(deDataSetChange, 0);
  Fire(AfterPost);
}

void TDataSet::Cancel() {
  CheckActive();
  if (State_ == dsSetKey) {
    SetState(dsBrowse);
    return;
  }
  if (State_ != dsEdit && State_ != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforeCancel);
  bool WasInsert = State_ == dsInsert;
  InternalCancel();
  if (WasInsert) {
    std::swap(ActiveBuf_, SavedBuf_);
    RecordValid_ = SavedValid_;
    SetState(dsBrowse);
    if (RecordValid_) {
      InternalSetToRecord(ActiveBuf_);
      Resync();
    } else {
      Bof_ = Eof_ = true;
    }
  } else {
    SetState(dsBrowse);
    InternalSetToRecord(ActiveBuf_);
    Resync();
  }
  DataEvent(deDataSetChange, 0);
  Fire(AfterCancel);
}

void TDataSet::Delete() {
  CheckActive();
  if (State_ == dsInsert || State_ == dsSetKey) {
    Cancel();
    return;
  }
  if (!RecordValid_) DatabaseError(dbmsg::SDataSetEmpty, this);
  if (!CanModify()) DatabaseError(dbmsg::SDataSetReadOnly, this);
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforeDelete);
  Fire(BeforeScroll);
  if (State_ == dsEdit) InternalCancel();
  InternalSetToRecord(ActiveBuf_);
  try {
    InternalDelete();
  } catch (...) {
    if (State_ == dsEdit) SetState(dsBrowse);
    RestoreCursor();
    throw;
  }
  SetState(dsBrowse);
  Resync();
  DataEvent(deDataSetChange, 0);
  Fire(AfterDelete);
  Fire(AfterScroll);
}

void TDataSet::SetFieldValues(std::initializer_list<Variant> Values) {
  int I = 0;
  for (const Variant& V : Values) {
    if (I >= Fields_.Count()) break;
    TField* F = Fields_.GetField(I++);
    if (V.IsEmpty()) continue;
    if (V.IsNull()) F->Clear();
    else F->SetAsVariant(V);
  }
}

void TDataSet::AppendRecord(std::initializer_list<Variant> Values) {
  Append();
  try {
    SetFieldValues(Values);
    Post();
  } catch (...) {
    Cancel();
    throw;
  }
}

void TDataSet::InsertRecord(std::initializer_list<Variant> Values) {
  Insert();
  try {
    SetFieldValues(Values);
    Post();
  } catch (...) {
    Cancel();
    throw;
  }
}

void TDataSet::FieldChanged(TField* Field) {
  if (State_ == dsEdit || State_ == dsInsert) {
    Modified_ = true;
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
  }
}

// ---------------------------------------------------------------- filtering

void TDataSet::Refilter() {
  if (!GetActive()) return;
  CheckBrowseMode();
  // Stay on the current record when it is still visible, else go to the first.
  if (RecordValid_) {
    InternalSetToRecord(ActiveBuf_);
    if (GetRecord(ScratchBuf_, gmCurrent, false) == grOK && RecordFilterAccepts(ScratchBuf_)) {
      SwapToScratch();
      Bof_ = Eof_ = false;
      DataEvent(deDataSetChange, 0);
      return;
    }
    RestoreCursor();
  }
  First();
}

void TDataSet::SetFiltered(bool Value) {
  if (Value == Filtered_) return;
  if (GetActive()) CheckBrowseMode();
  Filtered_ = Value;
  Refilter();
}

void TDataSet::SetOnFilterRecord(const TFilterRecordEvent& Value) {
  if (GetActive()) CheckBrowseMode();
  bool Was = Filtering();
  OnFilterRecord_ = Value;
  if (Filtered_ && (Was || Filtering())) Refilter();
}

// ---------------------------------------------------------------- notifications

void TDataSet::DisableControls() {
  if (DisableCount_++ == 0) {
    DisableState_ = State_;
    HeldChange_ = false;
  }
}

void TDataSet::EnableControls() {
  if (DisableCount_ == 0) return;
  if (--DisableCount_ > 0) return;
  if (DisableState_ != State_) NotifySources(deUpdateState, 0);
  if (State_ != dsInactive && HeldChange_) NotifySources(deDataSetChange, 0);
  HeldChange_ = false;
}

void TDataSet::DataEvent(TDataEvent Event, std::intptr_t Info) {
  if (DisableCount_ > 0) {
    bool Immediate = Event == deLayoutChange || Event == deFieldListChange || Event == deUpdateRecord ||
                     Event == deCheckBrowseMode || Event == deFocusControl ||
                     (Event == deUpdateState && (State_ != dsInactive) != NotifiedActive_);
    if (!Immediate) {
      HeldChange_ = true;
      return;
    }
  }
  NotifySources(Event, Info);
}

void TDataSet::NotifySources(TDataEvent Event, std::intptr_t Info) {
  if (Event == deUpdateState) NotifiedActive_ = State_ != dsInactive;
  if (DataSources_.empty()) return;
  // A handler may detach or free sources: each is looked up again before it is told.
  const std::vector<TDataSource*> Sources(DataSources_);
  for (TDataSource* S : Sources)
    if (std::find(DataSources_.begin(), DataSources_.end(), S) != DataSources_.end()) S->DataEvent(Event, Info);
}

}  // namespace fyndra
