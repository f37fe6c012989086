// Key search and ranges on the current index of a dataset, written once for
// every indexed family (the client dataset, TTable, and each later family).
//
// TKeySearch holds the key state of one dataset: three key buffers (the
// search key, the range start and the range end), which of them the fields
// address in dsSetKey, and whether a range is in force. It runs the whole
// protocol:
//   SetKey / EditKey, then field assignments, then GotoKey / GotoNearest;
//   FindKey / FindNearest (the same in one call);
//   SetRangeStart / SetRangeEnd / EditRangeStart / EditRangeEnd, field
//   assignments, ApplyRange; SetRange (the same in one call); CancelRange.
// A family supplies only the hooks of TKeySearchHooks: its key fields, a seek,
// a key test of the record under the cursor, and setting and lifting a range.
// TKeyedDataSet<Base> publishes the protocol on the dataset class itself and
// forwards every call to the part it composes.
//
// The rules, the same for every family:
// - A key is made of the leading key fields up to the last one assigned; a
//   key field before it that was left unassigned counts as Null. Assigning
//   Null (Clear) searches or bounds at Null. A range end without any assigned
//   field is open.
// - The list forms (FindKey, FindNearest, SetRange) mean exactly the
//   key-edit protocol with the values assigned to the leading key fields in
//   order: an Empty (Unassigned) value leaves its field unassigned. More values
//   than key fields are refused (STooManyKeyValues) before anything changes.
// - In dsSetKey only key fields of the current index take values
//   (SNotIndexField); the key buffers are chosen anew with the index, and
//   choosing another index lifts the range.
// - Key search and ranges honour the record filter: GotoKey finds the first
//   visible record with the key, GotoNearest the first visible one at or after
//   it (the last record when there is none).
// - ApplyRange moves to the first record of the range; CancelRange keeps the
//   current record (and goes to the first record when the range was empty).
// - A refused call leaves everything as it was: key buffers, the range in
//   force, the state and the current record.
//
// Ownership: the dataset owns its TKeySearch (as a member); the part keeps
// references to the dataset and its hooks and owns only the key buffers.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include <fyndra/platform/db/dataset.h>

namespace fyndra {

// What a family tells and does for the shared key search. A key is passed as
// the values of the leading key fields, converted to the fields' types;
// Null stands for Null.
class TKeySearchHooks {
 public:
  // The key fields of the current index, in key order; none when the dataset
  // has no current index (key search and ranges are then refused).
  virtual void GetKeyFields(std::vector<TField*>& Fields) const = 0;
  // Puts the cursor on the first record of the range in force whose leading
  // key fields are at or after Key in the index's order; false when there is
  // none (the dataset puts the cursor back). An empty Key stands for the first
  // record.
  virtual bool SeekKey(std::span<const Variant> Key) = 0;
  // Whether the record under the cursor has exactly Key in its leading key
  // fields, by the index's own comparison (case rule, Null equal to Null).
  virtual bool CursorHasKey(std::span<const Variant> Key) const = 0;
  // Limits the records to those whose leading key fields lie between Start
  // and End (each as long as its assigned part; an empty one leaves that end
  // open). Raises leaving the previous range in force.
  virtual void SetKeyRange(std::span<const Variant> Start, std::span<const Variant> End) = 0;
  // Lifts the range and puts the cursor on the current record (ActiveBuffer).
  virtual void CancelKeyRange() = 0;

 protected:
  ~TKeySearchHooks() = default;
};

class TKeySearch {
 public:
  TKeySearch(TDataSet& DataSet, TKeySearchHooks& Hooks) : DataSet_(DataSet), Hooks_(Hooks) {}
  TKeySearch(const TKeySearch&) = delete;
  TKeySearch& operator=(const TKeySearch&) = delete;

  // ---- key search; REQUIRES: open, with a current index (raises otherwise)
  void SetKey() { BeginKeyEdit(kbLookup, true); }
  void EditKey() { BeginKeyEdit(kbLookup, false); }
  // Moves to the first visible record whose key equals the search key and
  // returns true; false, without moving, when there is none.
  bool GotoKey();
  // Moves to the first visible record at or after the search key; to the last
  // record when there is none.
  void GotoNearest();
  bool FindKey(std::span<const Variant> KeyValues) { return Find(KeyValues, true); }
  void FindNearest(std::span<const Variant> KeyValues) { Find(KeyValues, false); }

  // ---- ranges
  void SetRangeStart() { BeginKeyEdit(kbRangeStart, true); }
  void SetRangeEnd() { BeginKeyEdit(kbRangeEnd, true); }
  void EditRangeStart() { BeginKeyEdit(kbRangeStart, false); }
  void EditRangeEnd() { BeginKeyEdit(kbRangeEnd, false); }
  void ApplyRange();
  void CancelRange();
  void SetRange(std::span<const Variant> StartValues, std::span<const Variant> EndValues);
  bool GetRanged() const { return Ranged_; }

  // ---- the current index
  int IndexFieldCount() const { return int(KeyFields().size()); }
  // REQUIRES: 0 <= Index < IndexFieldCount() (raises otherwise).
  TField* GetIndexField(int Index) const;
  const std::vector<TField*>& IndexFields() const { return KeyFields(); }

  // ---- for the family
  // Field access in dsSetKey: the key buffer being edited. GetFieldData
  // answers false for an unassigned or Null key field; SetFieldData with a
  // null Buffer assigns Null, and refuses a field that is not a key field.
  bool GetFieldData(const TField* Field, void* Buffer) const;
  void SetFieldData(const TField* Field, const void* Buffer);
  // The family chose its index (again), or opened: the key buffers are
  // emptied and the range is gone (the family has already dropped its own).
  void IndexChanged();

 private:
  enum TKeyBufferKind { kbLookup, kbRangeStart, kbRangeEnd, kbCount };
  struct TKeyBuffer {
    std::vector<Variant> Values;  // per key field; Null when unassigned
    std::vector<bool> Assigned;
    std::size_t Length = 0;  // leading key fields up to the last one assigned
    std::span<const Variant> Key() const { return {Values.data(), Length}; }
    void Reset(std::size_t Count);
  };

  const std::vector<TField*>& KeyFields() const;
  const std::vector<TField*>& CheckKeyed() const;
  void CheckValueCount(std::size_t Count) const;
  void BeginKeyEdit(TKeyBufferKind Kind, bool Clear);
  void LeaveKeyEdit();
  // The list forms: the key-edit state over Spare_[Kind], with Values in the
  // leading key fields; the caller swaps it in.
  void AssignKeyValues(TKeyBufferKind Kind, std::span<const Variant> Values);
  bool Seek(bool Exact);
  bool Find(std::span<const Variant> KeyValues, bool Exact);
  int KeyPosition(const TField* Field) const;

  TDataSet& DataSet_;
  TKeySearchHooks& Hooks_;
  TKeyBuffer Buffers_[kbCount];
  // What a list form fills before it is swapped in, and what it swaps back
  // when the call is refused later; kept so that a call allocates nothing.
  TKeyBuffer Spare_[kbCount];
  TKeyBuffer* Editing_ = &Buffers_[kbLookup];  // the buffer dsSetKey addresses
  bool Ranged_ = false;
  mutable std::vector<TField*> Fields_;
  mutable bool FieldsKnown_ = false;
};

// The protocol published on a dataset class: Base is the family's dataset
// base (TDataSet, TBDEDataSet, …); the family derives from TKeyedDataSet<Base>
// and overrides the hooks. A family without a current index answers no key
// fields, and every call is refused with SNoIndex.
template <class Base>
class TKeyedDataSet : public Base, protected TKeySearchHooks {
 public:
  void SetKey() { KeySearch_.SetKey(); }
  void EditKey() { KeySearch_.EditKey(); }
  bool GotoKey() { return KeySearch_.GotoKey(); }
  void GotoNearest() { KeySearch_.GotoNearest(); }
  bool FindKey(std::initializer_list<Variant> KeyValues) { return KeySearch_.FindKey(Span(KeyValues)); }
  bool FindKey(const std::vector<Variant>& KeyValues) { return KeySearch_.FindKey(KeyValues); }
  void FindNearest(std::initializer_list<Variant> KeyValues) { KeySearch_.FindNearest(Span(KeyValues)); }
  void FindNearest(const std::vector<Variant>& KeyValues) { KeySearch_.FindNearest(KeyValues); }

  void SetRangeStart() { KeySearch_.SetRangeStart(); }
  void SetRangeEnd() { KeySearch_.SetRangeEnd(); }
  void EditRangeStart() { KeySearch_.EditRangeStart(); }
  void EditRangeEnd() { KeySearch_.EditRangeEnd(); }
  void ApplyRange() { KeySearch_.ApplyRange(); }
  void CancelRange() { KeySearch_.CancelRange(); }
  // An Empty value leaves that field unassigned (an open bound).
  void SetRange(const std::vector<Variant>& StartValues, const std::vector<Variant>& EndValues) {
    KeySearch_.SetRange(StartValues, EndValues);
  }
  bool GetRanged() const { return KeySearch_.GetRanged(); }

  // The key fields of the current index, in key order (none while closed).
  int IndexFieldCount() const { return KeySearch_.IndexFieldCount(); }
  TField* GetIndexField(int Index) const { return KeySearch_.GetIndexField(Index); }
  std::vector<TField*> IndexFields() const { return KeySearch_.IndexFields(); }

  TKeySearch& KeySearch() { return KeySearch_; }
  const TKeySearch& KeySearch() const { return KeySearch_; }

 protected:
  using Base::Base;

 private:
  static std::span<const Variant> Span(std::initializer_list<Variant> L) { return {L.begin(), L.size()}; }
  TKeySearch KeySearch_{*this, *this};
};

}  // namespace fyndra
