// The in-memory client dataset.
//
// TCustomClientDataSet keeps its records in a TRecordStore (clientstore.h):
// one compact fixed-size row per record plus a shared text heap, so a record
// costs little more than its values. Indexes (IndexDefs, IndexName,
// IndexFieldNames) are sorted vectors of record slots, maintained on every
// post and delete; a unique index refuses a duplicate key before anything is
// written. Key search and ranges follow the shared protocol of keysearch.h;
// here they are binary searches on the current index, and a range is a window
// of positions in it. Bookmarks name record slots, so they survive
// re-indexing, ranges and edits.
//
// File format (SaveToFile/LoadFromFile), little-endian:
//   "FYCDSET\0"            8-byte magic
//   u32 version            currently 1
//   u32 field count, then per field: str name, u8 TFieldType, i32 size, u8 required
//   u32 index count, then per index: str name, str fields, str descending fields,
//                          str case-insensitive fields, u8 options (TIndexOptions bits)
//   u64 record count, then per record: the null bitmap (one bit per field,
//                          field 0 in bit 0, rounded up to bytes), then each
//                          non-null value: fixed types at their native width,
//                          texts and byte values as u32 length + bytes
//   u32 CRC-32 (IEEE) of every byte before it
// where str is u32 length + UTF-8 bytes. A file that fails any check (magic,
// version, counts, sizes, values out of range, indexes naming fields the file
// lacks or unique indexes its records break, checksum, trailing bytes) is
// refused with EDatabaseError and the dataset stays as it was. A text or byte
// field may be at most 1,048,576 long in a file, a BCD field have 4 decimals,
// an FMTBcd field 64.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include <fyndra/platform/db/clientstore.h>
#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/db/indexdefs.h>
#include <fyndra/platform/db/keysearch.h>

namespace fyndra {

class TCustomClientDataSet : public TKeyedDataSet<TDataSet> {
  FYNDRA_CLASS(TCustomClientDataSet, TDataSet)

 public:
  // Makes empty storage from FieldDefs (or the persistent fields when there
  // are no definitions) and the indexes of IndexDefs, and opens. Refused, the
  // dataset keeps the records it held.
  void CreateDataSet();
  // Removes every record (the dataset stays open).
  void EmptyDataSet();
  // Replaces definitions and records with those of Source (read from its
  // first record; Source's position is kept) and opens. The dataset's index
  // definitions stay and are built over the new records; auto-increment
  // numbering goes on after the largest value copied. Refused (an index on a
  // field Source lacks, a unique index its records break, a value that does
  // not fit), the dataset stays as it was.
  void LoadFromDataSet(TDataSet* Source);

  // The file the records come from: opening a dataset that holds no storage
  // yet reads it (as LoadFromFile, without a second open). Nothing is ever
  // written to it by itself; saving stays explicit (SaveToFile). Closing keeps
  // the records, so opening again does not read the file again.
  const std::string& GetFileName() const { return FileName_; }
  void SetFileName(const std::string& Value) { FileName_ = Value; }

  void SaveToFile(const std::string& FileName) const;
  void SaveToStream(std::ostream& Stream) const;
  // Refused (EDatabaseError) when damaged; the dataset then stays as it was.
  void LoadFromFile(const std::string& FileName);
  void LoadFromStream(std::istream& Stream);

  // ---- indexes
  TIndexDefs* GetIndexDefs() const { return IndexDefs_.get(); }
  void SetIndexDefs(TIndexDefs* Value) { IndexDefs_->Assign(Value); }
  const std::string& GetIndexName() const { return IndexName_; }
  // Selects the index of that name ("" = default order); clears IndexFieldNames.
  void SetIndexName(const std::string& Value);
  const std::string& GetIndexFieldNames() const { return IndexFieldNames_; }
  // Orders by these fields (semicolon-separated, ascending); clears IndexName.
  void SetIndexFieldNames(const std::string& Value);
  // Makes an index at once (also listed in IndexDefs).
  void AddIndex(const std::string& Name, const std::string& Fields, TIndexOptions Options,
                const std::string& DescFields = "", const std::string& CaseInsFields = "");
  void DeleteIndex(const std::string& Name);

  // Bytes of record storage held (rows, text heap, index vectors).
  std::size_t StorageBytes() const;

  // Overrides of the dataset base.
  bool GetFieldData(TField* Field, void* Buffer) const override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  bool IsSequenced() const override { return !Filtering(); }
  // Uses the current index when the key fields lead it (exact keys, texts
  // respecting case on keys that do, no filter); otherwise the base's scan.
  bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) override;

 public:
  void AfterConstruction() override;

 protected:
  explicit TCustomClientDataSet(TComponent* Owner);

 public:
  ~TCustomClientDataSet() override;

 protected:

  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return CursorOpen_; }
  void InternalInitFieldDefs() override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void InternalEdit() override;
  void InternalInsert(bool Append) override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const override;
  bool InternalGotoBookmark(const std::vector<std::uint8_t>& Data) override;
  bool InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const override;
  int InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                               const std::vector<std::uint8_t>& B) const override;
  int InternalGetRecordCount() const override;
  int InternalGetRecNo() const override;
  bool InternalSetRecNo(int Value) override;
  bool FamilyCanModify() const override { return true; }
  void BindFields(bool Binding) override;

  // Key search and ranges.
  void GetKeyFields(std::vector<TField*>& Fields) const override;
  bool SeekKey(std::span<const Variant> Key) override;
  bool CursorHasKey(std::span<const Variant> Key) const override;
  void SetKeyRange(std::span<const Variant> Start, std::span<const Variant> End) override;
  void CancelKeyRange() override;

 private:
  struct TBuffer;
  TBuffer* Buf(TRecordBuffer B) const { return static_cast<TBuffer*>(B); }
  TBuffer* StateBuffer() const;  // the buffer the state addresses
  int ColumnOf(const TField* Field) const;
  cds::TRecordIndex& Current() const { return *Indexes_[CurrentIndex_]; }
  void BuildStorageFromDefs();
  void RebuildIndexes();
  int FindIndex(const std::string& Name) const;
  std::unique_ptr<cds::TRecordIndex> MakeIndex(const cds::TRecordStore& Store, const std::string& Name,
                                               const std::string& Fields, TIndexOptions Options,
                                               const std::string& DescFields, const std::string& CaseInsFields) const;
  // MakeIndex, built over Store; a unique index that Store's records break is refused.
  std::unique_ptr<cds::TRecordIndex> BuildIndex(const cds::TRecordStore& Store, const std::string& Name,
                                                const std::string& Fields, TIndexOptions Options,
                                                const std::string& DescFields, const std::string& CaseInsFields) const;
  void SelectIndex(int Index);
  void SyncIndexDefs(TIndexDefs& Defs);
  void EnsureIndexesFromDefs();
  void RecalcRange();
  // A key of the current index as a row: the leading key columns take Key.
  void KeyToImage(std::span<const Variant> Key, cds::TRowImage& Image) const;
  void SetCursorToSlot(std::uint32_t Slot);
  // Reads a whole file and replaces definitions and records; Reopen closes the
  // dataset first and opens it after (false: called while opening). A file
  // is read and checked completely, its indexes built, before anything of
  // the dataset changes; whatever refuses it leaves the dataset as it was.
  void ReadFile(std::istream& Stream, const std::string& Name, bool Reopen = true);
  struct TFieldDefData {
    std::string Name;
    TFieldType Type = ftUnknown;
    int Size = 0;
    bool Required = false;
    int Precision = 0;
  };
  struct TIndexDefData {
    std::string Name, Fields, Desc, CaseIns;
    TIndexOptions Options;
  };
  struct TFileImage;
  struct TSavedState;
  static std::vector<TFieldDefData> DefinitionsOf(const TFieldDefs& Defs);
  // Empty storage for Defs; refused for no, nameless, duplicate or unsupported columns.
  std::unique_ptr<cds::TRecordStore> MakeStore(const std::vector<TFieldDefData>& Defs) const;
  TFileImage ParseFile(const std::string& Data, const std::string& Name) const;
  // Builds F's indexes over its store (the default order first): one that
  // names a field the store lacks, or a unique one its records break, is refused.
  void BuildIndexes(TFileImage& F) const;
  // F takes the dataset's own index definitions (not the one describing
  // IndexFieldNames) and their indexes built over F's store.
  void KeepOwnIndexDefs(TFileImage& F) const;
  // Refuses what opening with F would refuse: persistent fields or
  // IndexFieldNames naming fields F lacks, and an IndexName that F lacks when
  // IndexNameRequired. Returns whether IndexName is among F's indexes.
  bool CheckNewState(const TFileImage& F, bool IndexNameRequired) const;
  // Checks F, closes, installs it and opens. Whatever refuses it leaves the
  // dataset as it was: definitions, indexes, records, index name, and the
  // record it was on when it was open.
  void ReplaceStorage(TFileImage& F, bool IndexNameRequired);
  TSavedState TakeState();
  void RestoreState(TSavedState& S);
  void InstallFile(TFileImage& F);
  void PutFieldDefinitions(const std::vector<TFieldDefData>& Fields);
  void PutIndexDefinitions(const std::vector<TIndexDefData>& Indexes);
  // The part of InternalOpen after the storage is there.
  void OpenStorage();
  void CheckDefsMatchStore() const;
  void AfterStorageChange(std::uint32_t KeepSlot);
  std::uint32_t ActiveSlot() const;
  void CheckBrowseModeIfActive() {
    if (GetActive()) CheckBrowseMode();
  }
  std::unique_ptr<cds::TRecordStore> Store_;
  std::vector<std::unique_ptr<cds::TRecordIndex>> Indexes_;  // [0] = default order
  std::size_t CurrentIndex_ = 0;
  TOwned<TIndexDefs> IndexDefs_;
  std::string IndexName_, IndexFieldNames_;
  std::string FileName_;
  // The cursor: a position in the current index's order within [Lo_, Hi_);
  // Lo_ - 1 is before the first record, Hi_ after the last.
  std::int64_t Pos_ = -1;
  std::size_t Lo_ = 0, Hi_ = 0;
  bool CursorOpen_ = false;
  bool RangeApplied_ = false;
  std::uint32_t Epoch_ = 0;  // changes when the storage is replaced
  std::uint64_t Version_ = 0;  // changes when positions in the current order change
  std::int64_t InsertPos_ = 0;
  std::string TempDefName_;  // the definition that describes IndexFieldNames
  // The next auto-increment value; beyond the 32-bit range once the last one
  // is taken, and then refused.
  std::int64_t NextAutoInc_ = 1;
  // The key of the last seek, and the range in force (key columns, and how
  // many leading ones each end bounds).
  cds::TRowImage SeekImage_;
  int SeekLength_ = 0;
  cds::TRowImage RangeStart_, RangeEnd_;
  int RangeStartLength_ = 0, RangeEndLength_ = 0;
  bool InsertAppend_ = false;
};

class TClientDataSet : public TCustomClientDataSet {
  FYNDRA_CLASS(TClientDataSet, TCustomClientDataSet)

 protected:
  explicit TClientDataSet(TComponent* Owner);
};

}  // namespace fyndra
