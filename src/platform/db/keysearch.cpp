#include <fyndra/platform/db/keysearch.h>

#include <algorithm>
#include <utility>

namespace fyndra {

// ---------------------------------------------------------------- key fields

const std::vector<TField*>& TKeySearch::KeyFields() const {
  // Fields exist only while the dataset is open; the list is asked for once
  // per opening and index.
  if (!DataSet_.GetActive()) {
    Fields_.clear();
    FieldsKnown_ = false;
  } else if (!FieldsKnown_) {
    Fields_.clear();
    Hooks_.GetKeyFields(Fields_);
    FieldsKnown_ = true;
  }
  return Fields_;
}

const std::vector<TField*>& TKeySearch::CheckKeyed() const {
  DataSet_.CheckActive();
  const std::vector<TField*>& Fields = KeyFields();
  if (Fields.empty()) DatabaseError(dbmsg::SNoIndex, &DataSet_);
  return Fields;
}

TField* TKeySearch::GetIndexField(int Index) const {
  const std::vector<TField*>& Fields = KeyFields();
  if (Index < 0 || std::size_t(Index) >= Fields.size())
    DatabaseError(Format(dbmsg::SIndexFieldRange, {Index, int(Fields.size())}), &DataSet_);
  return Fields[std::size_t(Index)];
}

int TKeySearch::KeyPosition(const TField* Field) const {
  const std::vector<TField*>& Fields = KeyFields();
  auto It = std::find(Fields.begin(), Fields.end(), Field);
  return It == Fields.end() ? -1 : int(It - Fields.begin());
}

void TKeySearch::IndexChanged() {
  for (TKeyBuffer* B : {&Buffers_[0], &Buffers_[1], &Buffers_[2], &Spare_[0], &Spare_[1], &Spare_[2]}) {
    B->Values.clear();
    B->Assigned.clear();
    B->Length = 0;
  }
  Editing_ = &Buffers_[kbLookup];
  Ranged_ = false;
  FieldsKnown_ = false;
}

// ---------------------------------------------------------------- the key buffers

void TKeySearch::TKeyBuffer::Reset(std::size_t Count) {
  Values.assign(Count, Null());
  Assigned.assign(Count, false);
  Length = 0;
}

void TKeySearch::BeginKeyEdit(TKeyBufferKind Kind, bool Clear) {
  const std::vector<TField*>& Fields = CheckKeyed();
  DataSet_.CheckBrowseMode();
  TKeyBuffer& B = Buffers_[Kind];
  if (Clear || B.Values.size() != Fields.size()) B.Reset(Fields.size());
  Editing_ = &B;
  DataSet_.SetState(dsSetKey);
}

void TKeySearch::LeaveKeyEdit() {
  if (DataSet_.GetState() == dsSetKey) DataSet_.SetState(dsBrowse);
  Editing_ = &Buffers_[kbLookup];
}

bool TKeySearch::GetFieldData(const TField* Field, void* Buffer) const {
  const int P = KeyPosition(Field);
  const TKeyBuffer& B = *Editing_;
  if (P < 0 || std::size_t(P) >= B.Values.size() || !B.Assigned[std::size_t(P)] || B.Values[std::size_t(P)].IsNull())
    return false;
  if (Buffer) VariantToNative(Field, B.Values[std::size_t(P)], Buffer);
  return true;
}

void TKeySearch::SetFieldData(const TField* Field, const void* Buffer) {
  const int P = KeyPosition(Field);
  if (P < 0) DatabaseError(Format(dbmsg::SNotIndexField, {Field->GetDisplayName()}), &DataSet_);
  TKeyBuffer& B = *Editing_;
  if (B.Values.size() != Fields_.size()) B.Reset(Fields_.size());
  B.Values[std::size_t(P)] = Buffer ? NativeToVariant(Field, Buffer) : Null();
  B.Assigned[std::size_t(P)] = true;
  B.Length = std::max(B.Length, std::size_t(P) + 1);
}

void TKeySearch::AssignKeyValues(TKeyBufferKind Kind, std::span<const Variant> Values) {
  const std::vector<TField*>& Fields = CheckKeyed();
  // The values go to a spare buffer, which the caller swaps in once every
  // value was taken: a value that does not fit leaves the key as it was.
  TKeyBuffer& B = Spare_[Kind];
  B.Reset(Fields.size());
  Editing_ = &B;
  DataSet_.SetState(dsSetKey);
  try {
    for (std::size_t I = 0; I < Values.size(); ++I)
      if (!Values[I].IsEmpty()) Fields[I]->SetAsVariant(Values[I]);
  } catch (...) {
    LeaveKeyEdit();
    throw;
  }
}

void TKeySearch::CheckValueCount(std::size_t Count) const {
  const std::size_t Fields = CheckKeyed().size();
  if (Count > Fields) DatabaseError(Format(dbmsg::STooManyKeyValues, {int(Count), int(Fields)}), &DataSet_);
}

// ---------------------------------------------------------------- key search

bool TKeySearch::Seek(bool Exact) {
  CheckKeyed();
  LeaveKeyEdit();
  DataSet_.CheckBrowseMode();
  const std::span<const Variant> Key = Buffers_[kbLookup].Key();
  bool OnRecord;
  try {
    OnRecord = Hooks_.SeekKey(Key);
  } catch (...) {
    DataSet_.RestoreCursor();
    throw;
  }
  if (!OnRecord) {
    DataSet_.RestoreCursor();
    return false;
  }
  if (!Exact) return DataSet_.MoveToCursorOrAfter(nullptr);
  const std::function<bool()> SameKey = [&] { return Hooks_.CursorHasKey(Key); };
  return DataSet_.MoveToCursorOrAfter(&SameKey);
}

bool TKeySearch::GotoKey() { return Seek(true); }

void TKeySearch::GotoNearest() {
  CheckKeyed();
  if (Buffers_[kbLookup].Length == 0) {
    LeaveKeyEdit();
    DataSet_.First();
    return;
  }
  if (!Seek(false)) DataSet_.Last();
}

bool TKeySearch::Find(std::span<const Variant> KeyValues, bool Exact) {
  CheckValueCount(KeyValues.size());
  DataSet_.CheckBrowseMode();
  AssignKeyValues(kbLookup, KeyValues);
  std::swap(Buffers_[kbLookup], Spare_[kbLookup]);
  Editing_ = &Buffers_[kbLookup];
  try {
    if (Exact) return GotoKey();
    GotoNearest();
    return true;
  } catch (...) {
    std::swap(Buffers_[kbLookup], Spare_[kbLookup]);
    LeaveKeyEdit();
    throw;
  }
}

// ---------------------------------------------------------------- ranges

void TKeySearch::ApplyRange() {
  CheckKeyed();
  LeaveKeyEdit();
  DataSet_.CheckBrowseMode();
  Hooks_.SetKeyRange(Buffers_[kbRangeStart].Key(), Buffers_[kbRangeEnd].Key());
  Ranged_ = true;
  DataSet_.First();
}

void TKeySearch::SetRange(std::span<const Variant> StartValues, std::span<const Variant> EndValues) {
  CheckValueCount(std::max(StartValues.size(), EndValues.size()));
  DataSet_.CheckBrowseMode();
  AssignKeyValues(kbRangeStart, StartValues);
  AssignKeyValues(kbRangeEnd, EndValues);
  auto SwapBoth = [this] {
    std::swap(Buffers_[kbRangeStart], Spare_[kbRangeStart]);
    std::swap(Buffers_[kbRangeEnd], Spare_[kbRangeEnd]);
  };
  SwapBoth();
  Editing_ = &Buffers_[kbLookup];
  try {
    ApplyRange();
  } catch (...) {
    SwapBoth();
    LeaveKeyEdit();
    throw;
  }
}

void TKeySearch::CancelRange() {
  DataSet_.CheckActive();
  LeaveKeyEdit();
  if (!Ranged_) return;
  DataSet_.CheckBrowseMode();
  Hooks_.CancelKeyRange();
  Ranged_ = false;
  if (!DataSet_.SyncToCursor()) DataSet_.First();
}

}  // namespace fyndra
