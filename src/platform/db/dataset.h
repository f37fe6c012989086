// TDataSet: the dataset base. It owns its field definitions and its default
// fields (free a dataset with Free, so that its family's buffers are released
// while the object is whole), keeps the current record, the state machine (browse, edit, insert,
// set key, filter), navigation with the Bof/Eof rules, bookmarks, Locate and
// Lookup, the record filter and the notifications to data sources.
//
// A dataset family supplies storage by overriding hooks; the base does the rest.
// The base keeps exactly two record buffers (the current record and a scratch
// buffer for fetching and filtering) whose content only the family knows.
//
// Hooks every family overrides:
//   AllocRecordBuffer/FreeRecordBuffer   make and free one record buffer
//   GetRecord(Buffer, gmCurrent/gmNext/gmPrior, DoCheck)
//                                        fetch a record into Buffer, moving the
//                                        cursor; on grEOF/grBOF the cursor stands
//                                        past the end / before the start
//   GetFieldData/SetFieldData            read/write a field of the record the
//                                        dataset's state addresses (ActiveBuffer,
//                                        or FilterBuffer in dsFilter)
//   InternalOpen/InternalClose/IsCursorOpen, InternalInitFieldDefs
//   InternalFirst/InternalLast           put the cursor before the first / after
//                                        the last record (a family whose cursor
//                                        never leaves its one record may ignore
//                                        them and answer only gmCurrent)
// Hooks of a family with editable, positionable storage (client dataset, SQL
// tables): InternalSetToRecord, InternalInitRecord, InternalEdit, InternalInsert,
// InternalPost, InternalCancel, InternalDelete, GetBookmarkData,
// InternalGotoBookmark, BookmarkValid, CompareBookmarks, GetRecordCount,
// GetRecNo/SetRecNo. A family is read-only unless it answers FamilyCanModify
// with true, and the base's InternalPost and InternalDelete refuse with the
// read-only error, so a family without write support never reports an edit
// as stored; a family whose SetFieldData stores at once (the model dataset)
// overrides InternalPost to do nothing. A SQL cursor family fetches lazily by answering gmNext
// from its cursor; only GetRecordCount and Last need to read to the end.
// Optional: CheckInactive (a family whose fields may change while open makes it
// do nothing), InternalHandleException, CreateFields/BindFields, Locate/Lookup
// (the base scans).
//
// The one-record model dataset overrides GetRecord, GetFieldData,
// SetFieldData, InternalOpen, InternalClose, IsCursorOpen,
// InternalInitFieldDefs, InternalHandleException and CheckInactive.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/events.h>
#include <fyndra/platform/classes/scopes.h>
#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/db/fields.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

class TDataSource;

// Opaque handle of a dataset's record buffer.
using TRecordBuffer = void*;

enum TGetMode : std::uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : std::uint8_t { grOK, grBOF, grEOF, grError };

enum TLocateOption : std::uint8_t { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

// A position in one dataset. Opaque: only the dataset that made it can go
// back to it (another dataset refuses it with EDatabaseError). An empty
// bookmark (from an empty dataset) is refused too.
class TBookmark {
 public:
  TBookmark() = default;
  bool IsEmpty() const { return Data_.empty(); }
  explicit operator bool() const { return !IsEmpty(); }
  friend bool operator==(const TBookmark&, const TBookmark&) = default;

 private:
  friend class TDataSet;
  std::uint64_t Owner_ = 0;
  std::vector<std::uint8_t> Data_;
};

using TDataSetNotifyEvent = TEvent<void(TDataSet* DataSet)>;
using TFilterRecordEvent = TEvent<void(TDataSet* DataSet, bool& Accept)>;

class TDataSet : public TComponent {
  FYNDRA_CLASS(TDataSet, TComponent)

 public:
  // ---- open state
  bool GetActive() const { return State_ != dsInactive; }
  void SetActive(bool Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return State_; }
  TDataSetState GetState() const { return State_; }
  bool Modified() const { return Modified_; }

  // ---- fields
  TFieldDefs* GetFieldDefs() const { return FieldDefs_.get(); }
  void SetFieldDefs(TFieldDefs* Value);
  TFields& Fields() { return Fields_; }
  const TFields& Fields() const { return Fields_; }
  int FieldCount() const { return Fields_.Count(); }
  // Null for an unknown name.
  TField* FindField(const std::string& FieldName) const { return Fields_.FindField(FieldName); }
  // Raise EDatabaseError for an unknown name.
  TField* FieldByName(const std::string& FieldName) const { return Fields_.FieldByName(FieldName); }
  // The fields named by a semicolon-separated list (empty names skipped).
  void GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const;
  std::vector<TField*> GetFieldList(const std::string& FieldNames) const;
  void GetFieldNames(TStrings* List) const;
  std::vector<std::string> GetFieldNames() const;
  // Whether the fields are the default ones made from the definitions.
  bool DefaultFields() const { return DefaultFields_; }

  // ---- navigation; REQUIRES: open (EDatabaseError otherwise)
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves Distance records (negative: backwards); returns how many were moved.
  int MoveBy(int Distance);
  // True when a step forward found no record; the dataset stays on its last
  // record. Also true on an empty dataset.
  bool GetEof() const { return Eof_; }
  bool Eof() const { return Eof_; }
  bool GetBof() const { return Bof_; }
  bool Bof() const { return Bof_; }
  bool IsEmpty() const;
  // Records visible through the range and filter; -1 when the family cannot tell.
  int GetRecordCount() const;
  int RecordCount() const { return GetRecordCount(); }
  // 1-based position of the current record; -1 when unknown.
  int GetRecNo() const;
  void SetRecNo(int Value);
  // Whether the family keeps records in a known numbered order.
  virtual bool IsSequenced() const { return false; }

  // ---- bookmarks
  TBookmark GetBookmark() const;
  // Moves to exactly the record the bookmark was taken on. Raises EDatabaseError
  // for a bookmark of another dataset and for a record that is gone or hidden.
  void GotoBookmark(const TBookmark& Bookmark);
  void FreeBookmark(TBookmark& Bookmark) { Bookmark = TBookmark(); }
  virtual bool BookmarkValid(const TBookmark& Bookmark) const;
  // <0, 0, >0 by position; an empty bookmark sorts first.
  virtual int CompareBookmarks(const TBookmark& A, const TBookmark& B) const;

  // ---- search
  // Moves to the first record whose fields (semicolon-separated) equal
  // KeyValues (a scalar for one field, a variant array for several) and
  // returns true; false (and no move) when none does. Text fields compare
  // ignoring case with loCaseInsensitive, and as prefixes with loPartialKey.
  virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  // The ResultFields value(s) of the first record matching the keys exactly,
  // without moving; Null when none matches.
  virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields);

  // ---- editing
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  // Posts a pending edit (when modified; else cancels it).
  void CheckBrowseMode();
  // Values of the fields in order (Null/Empty leaves a field as it is) as a new record.
  void AppendRecord(std::initializer_list<Variant> Values);
  void InsertRecord(std::initializer_list<Variant> Values);
  void UpdateRecord();  // asks data links to write pending control values
  bool CanModify() const { return !ReadOnly_ && FamilyCanModify(); }
  bool GetReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool Value) { ReadOnly_ = Value; }

  // ---- filtering
  bool GetFiltered() const { return Filtered_; }
  void SetFiltered(bool Value);
  const TFilterRecordEvent& GetOnFilterRecord() const { return OnFilterRecord_; }
  void SetOnFilterRecord(const TFilterRecordEvent& Value);

  // ---- data sources and controls
  // Counted: data-link notifications are held until the last EnableControls,
  // which then sends one DataSetChanged (and ActiveChanged/EditingChanged when
  // the state changed meanwhile). Opening and closing, and changes of the field
  // list, are always told at once.
  void DisableControls();
  void EnableControls();
  // Runs Body with the controls disabled and enables them after it, also when
  // it throws (Body's exception passes on). EnableControls notifies and may
  // throw, so it runs here rather than in a destructor.
  template <class FBody>
  void WithControlsDisabled(FBody&& Body) {
    RunBetween([this] { DisableControls(); }, [this] { EnableControls(); }, Body);
  }
  bool ControlsDisabled() const { return DisableCount_ > 0; }
  const std::vector<TDataSource*>& DataSources() const { return DataSources_; }

  // Events, in the usual order around each operation.
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnNewRecord;

  // Sends Event to every data source (held while controls are disabled).
  void DataEvent(TDataEvent Event, std::intptr_t Info = 0);

  // Creates the field definitions from the family's storage (InternalInitFieldDefs).
  void InitFieldDefs();

  // REQUIRES: the dataset is closed.
  virtual void CheckInactive() const;
  void CheckActive() const;

  // ---- hooks (see the header comment)
  virtual bool GetFieldData(TField* Field, void* Buffer) const = 0;
  virtual void SetFieldData(TField* Field, const void* Buffer) = 0;

 public:
  void AfterConstruction() override;
  void BeforeDestruction() override;

 protected:
  explicit TDataSet(TComponent* Owner);
  void Loaded() override;

 public:
  ~TDataSet() override;

 protected:

  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0;
  virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalFirst() {}
  virtual void InternalLast() {}
  virtual void InternalSetToRecord(TRecordBuffer /*Buffer*/) {}
  virtual void InternalInitRecord(TRecordBuffer /*Buffer*/) {}
  virtual void InternalEdit() {}
  // Append is true for Append/AppendRecord (the record goes to the end).
  virtual void InternalInsert(bool /*Append*/) {}
  // Writes ActiveBuffer to storage and leaves the cursor on the written record.
  // Raises (leaving storage untouched) to refuse it; the default refuses.
  virtual void InternalPost();
  virtual void InternalCancel() {}
  // Removes the current record and leaves the cursor on the record after it.
  virtual void InternalDelete();
  virtual void InternalHandleException() {}
  virtual void GetBookmarkData(TRecordBuffer /*Buffer*/, std::vector<std::uint8_t>& /*Data*/) const {}
  // Puts the cursor on the bookmarked record; false when it is gone.
  virtual bool InternalGotoBookmark(const std::vector<std::uint8_t>& /*Data*/) { return false; }
  virtual bool InternalBookmarkValid(const std::vector<std::uint8_t>& /*Data*/) const { return false; }
  virtual int InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                                       const std::vector<std::uint8_t>& B) const;
  virtual int InternalGetRecordCount() const { return -1; }
  virtual int InternalGetRecNo() const { return -1; }
  // Puts the cursor on the Value-th record (1-based, unfiltered) and answers
  // true; false when the family cannot, and the base then steps there.
  virtual bool InternalSetRecNo(int /*Value*/) { return false; }
  // Whether the family can store edits; read-only unless it says so.
  virtual bool FamilyCanModify() const { return false; }
  // Field objects: default fields from the definitions, persistent ones bound
  // to their definitions by name (FieldNo set; a type that does not fit raises).
  virtual void CreateFields();
  virtual void BindFields(bool Binding);
  void DestroyFields();
  // Runs around InternalOpen: definitions, fields, binding.
  virtual void OpenCursor();
  virtual void CloseCursor();
  // Posts: required fields must have values.
  virtual void CheckRequiredFields();

  // The record the current state addresses: the filter candidate in dsFilter,
  // otherwise the current record; null when there is none.
  TRecordBuffer ActiveBuffer() const { return RecordValid_ ? ActiveBuf_ : nullptr; }
  TRecordBuffer CurrentRecordBuffer() const;
  TRecordBuffer FilterBuffer() const { return FilterBuf_; }
  void SetState(TDataSetState Value);
  // Rebuilds the current record from the cursor after storage changed:
  // the record under the cursor, else the next one, else the prior one.
  void Resync();
  // Whether the record in Buffer passes the filter (always true unfiltered).
  bool RecordFilterAccepts(TRecordBuffer Buffer) const;
  // Counts records by scanning (with the filter); leaves the position as it was.
  int CountRecordsByScan() const;
  // Moves the cursor and the current record to the one under the cursor
  // (after a family's own positioning such as a key search), then notifies.
  // Returns false (nothing moved) when the cursor is on no visible record.
  bool SyncToCursor();
  // After the family has put its cursor on a record of its choosing (a key
  // search): moves to the first record from the cursor onward that the filter
  // lets through, as long as StillMatches (when given; asked with the cursor
  // on each candidate) holds, and answers true. When there is none, nothing
  // moves and the answer is false.
  bool MoveToCursorOrAfter(const std::function<bool()>* StillMatches);
  bool Filtering() const { return Filtered_ && bool(OnFilterRecord_); }
  void SetModified(bool Value) { Modified_ = Value; }
  // Called by TField::SetData after the family took a value.
  virtual void FieldChanged(TField* Field);
  std::uint64_t Serial() const { return Serial_; }
  // Locate's key values for Fields out of a scalar or an array, each converted
  // to what its field compares with; raises EDatabaseError for a key that does
  // not fit its field or a count that does not match.
  std::vector<Variant> PrepareLocateKeys(const std::vector<TField*>& Fields, const Variant& KeyValues) const;
  static void SetFieldNumber(TField* Field, int FieldNo) { Field->FieldNo_ = FieldNo; }

 private:
  friend class TField;
  friend class TDataSource;
  friend class TKeySearch;
  friend class TFieldDefs;
  friend class TFieldDef;
  void DoOpen();
  void DoClose();
  // Fetches the next visible record in Mode into the scratch buffer; true
  // when one was found (the cursor is then on it).
  bool FetchVisible(TGetMode Mode);
  // As FetchVisible from InternalFirst/InternalLast; when nothing is found
  // there, the record under the cursor (gmCurrent) is taken.
  bool FetchFromEnd(TGetMode Mode);
  void MoveToEnd(bool Start);
  void SwapToScratch();
  void RestoreCursor();
  void ClearBuffers();
  void NotifySources(TDataEvent Event, std::intptr_t Info);
  void Fire(const TDataSetNotifyEvent& E) { if (E) E(this); }
  void BeginInsert(bool Append);
  bool MatchesKeys(const std::vector<TField*>& Fields, const std::vector<Variant>& Keys,
                   TLocateOptions Options) const;
  bool ScanFor(const std::vector<TField*>& Fields, const std::vector<Variant>& Keys,
               TLocateOptions Options, bool MoveThere, const std::vector<TField*>* Results,
               Variant* ResultValue);
  void SetFieldValues(std::initializer_list<Variant> Values);
  void Refilter();

  TOwned<TFieldDefs> FieldDefs_;
  TFields Fields_;
  std::vector<TDataSource*> DataSources_;
  TDataSetState State_ = dsInactive;
  TDataSetState DisableState_ = dsInactive;
  TDataSetState SavedState_ = dsInactive;  // around dsFilter
  TRecordBuffer ActiveBuf_ = nullptr;
  TRecordBuffer ScratchBuf_ = nullptr;
  TRecordBuffer FilterBuf_ = nullptr;
  TRecordBuffer SavedBuf_ = nullptr;  // the browse record during an insert
  bool SavedValid_ = false;
  bool RecordValid_ = false;
  bool Bof_ = true, Eof_ = true;
  bool Modified_ = false;
  bool ReadOnly_ = false;
  bool Filtered_ = false;
  bool DefaultFields_ = false;
  bool HeldChange_ = false;
  bool NotifiedActive_ = false;  // what the sources were last told
  bool StreamedActive_ = false;
  int DisableCount_ = 0;
  TFilterRecordEvent OnFilterRecord_;
  std::uint64_t Serial_;
};

}  // namespace fyndra
