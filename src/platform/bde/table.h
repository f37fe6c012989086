// TTable: a dataset over one table of the database, ordered by an index, with
// key search, ranges and editing that writes through to the file.
//
// The order is the index named by IndexName, else the fields of
// IndexFieldNames, else the primary key, else the row id; the row id always
// ends the order so that it is total. Index definitions are read from the
// schema: the primary key (also the INTEGER PRIMARY KEY row id alias) as
// ixPrimary, unique indexes as ixUnique, key columns with the case-insensitive
// collation of the current text locale (sqliteengine.h) as case-insensitive
// fields, and DESC key columns as descending fields. A NOCASE key column is
// not taken for case-insensitive: NOCASE orders bytes with ASCII letters
// folded, which disagrees with the case-insensitive comparisons as soon as a
// text holds anything beyond ASCII letters ("é" after "z", "ß" far from
// "SS"). The table still orders, searches and bounds by it, by the engine's
// rules; DefaultOrderTextKeys tells which order each text key has.
//
// The table is read through a window of rows that grows on demand in both
// directions: a key search or Last runs one indexed statement and starts the
// window there, so they cost a lookup, not a scan. The window is bounded:
// once it holds WindowLimit rows, reading on forwards drops the rows far
// behind the current one while the same statement reads on, and any other
// move starts the window again at the current row (one indexed statement), so
// scanning a million rows keeps memory flat; rows left behind are read again
// by key when needed. Bookmarks are row ids and
// survive re-positioning. RecNo is known while the window starts at the first
// row. Key search and ranges follow the shared protocol of keysearch.h; here
// they are conditions on the index columns that the engine evaluates with the
// index.
//
// Editing writes INSERT, UPDATE and DELETE by row id at Post and Delete; a
// refused statement (constraint, lock) raises with the engine's message and
// leaves the record in its edit state. Tables without a row id (views,
// WITHOUT ROWID tables) are read with TQuery.
//
// Ownership: TTable owns its IndexDefs and its statements.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/db/keysearch.h>

namespace fyndra {

class TTable : public TKeyedDataSet<TBDEDataSet> {
  FYNDRA_CLASS(TTable, TBDEDataSet)

 public:
  // The most rows the window holds before it starts again at the current row.
  static constexpr std::size_t WindowLimit = DefaultWindowLimit;

  const std::string& GetTableName() const { return TableName_; }
  void SetTableName(const std::string& Value);  // REQUIRES: closed

  // The table's indexes, read from the schema (Update reads them again).
  TIndexDefs* GetIndexDefs() const { return IndexDefs_.get(); }
  void SetIndexDefs(TIndexDefs* Value) { IndexDefs_->Assign(Value); }
  // Choosing an index (by name or by fields; setting one clears the other)
  // cancels a range and keeps the current record.
  const std::string& GetIndexName() const { return IndexName_; }
  void SetIndexName(const std::string& Value);
  const std::string& GetIndexFieldNames() const { return IndexFieldNames_; }
  void SetIndexFieldNames(const std::string& Value);

  // In dsSetKey the fields address the key being edited.
  bool GetFieldData(TField* Field, void* Buffer) const override;
  void SetFieldData(TField* Field, const void* Buffer) override;

  TOwned<TIndexDef> PSGetDefaultOrder() const override;
  std::vector<TTextKeyOrder> DefaultOrderTextKeys() const override;

  // Moves to the first record after the current one, in the order and the
  // range, whose first key column (ascending, a text) starts ignoring case
  // with UpperPrefix (an upper-case text: the upper-case form of the record's
  // first characters begins with it) and is at most End in the index's
  // order. The engine tests the index entries; no row before that record is
  // read. Without such a record the table moves to the first record beyond
  // End, else past the last. False (nothing moved) when the table cannot
  // tell: not browsing, no current record, or another kind of first key.
  bool SkipToStartingUpper(const std::string& UpperPrefix, const Variant& End);
  // The next range set (SetRange, ApplyRange) also keeps only the records
  // whose first key column (ascending, on the case-insensitive collation)
  // starts ignoring case with UpperPrefix, as SkipToStartingUpper tests; for a
  // filter whose record test is that comparison, the engine then drops the
  // records on the index that the test would refuse. Holds for that one range.
  void SetRangeStartsUpper(const std::string& UpperPrefix) { NextRangePrefix_ = UpperPrefix; }

  void AfterConstruction() override;
  void ReleaseStatements() override;

 protected:
  explicit TTable(TComponent* Owner);

  TSQLiteStatement& OpenStatement(TDatabase& Database) override;
  void CloseStatement() override;
  int HiddenColumns() const override { return 1; }
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalInitFieldDefs() override;
  bool FetchPriorRow() const override;
  bool WindowAtStart() const override { return AtStart_; }
  TSQLiteStatement* NextForwardStatement() const override;
  void RestartAtStart() override;
  void LimitWindow() override;
  void InternalLast() override;
  int InternalGetRecordCount() const override;
  bool FamilyCanModify() const override { return true; }
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void InternalPost() override;
  void InternalDelete() override;
  void GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const override;
  bool InternalGotoBookmark(const std::vector<std::uint8_t>& Data) override;
  bool InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const override;
  int InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                               const std::vector<std::uint8_t>& B) const override;

  // Key search and ranges (the row id is not a key field).
  void GetKeyFields(std::vector<TField*>& Fields) const override;
  bool SeekKey(std::span<const Variant> Key) override;
  bool CursorHasKey(std::span<const Variant> Key) const override;
  void SetKeyRange(std::span<const Variant> Start, std::span<const Variant> End) override;
  void CancelKeyRange() override;

 private:
  // One column of the order.
  struct TOrderColumn {
    std::string Name;
    int FieldIndex = -1;  // into the field definitions
    TFieldType Type = ftUnknown;
    bool Descending = false;
    bool CaseInsensitive = false;  // the case-insensitive collation of the text locale
    std::string Collation;         // the index's collation of the column; empty for integers
  };
  // A condition text with its values in the order of their '?'.
  struct TCondition {
    std::string Text;
    std::vector<std::pair<Variant, TFieldType>> Values;
    void Add(const std::string& More, const TCondition& Other);
  };
  enum class TRelation { After, AtOrAfter, Before, AtOrBefore, Same };

  void ReadIndexDefs(TIndexDefs& Defs);
  // The order for an index name or field list; field positions are filled in
  // when the field definitions are known (ResolveOrder).
  std::vector<TOrderColumn> BuildOrder(const std::string& IndexName, const std::string& FieldNames) const;
  void ResolveOrder(std::vector<TOrderColumn>& Order) const;
  void ChangeOrder(const std::string& IndexName, const std::string& FieldNames);
  // The logical index of the row in the window, or NewRow.
  std::int64_t FindInWindow(std::int64_t RowId, std::int64_t Hint) const;
  std::string QuotedTable() const;
  std::string ColumnRef(const TOrderColumn& C) const;
  std::string OrderBy(bool Reverse) const;
  // The rows whose key (the first Values.size() order columns, then the row id
  // when Values holds one more) stands in Relation to Values.
  //
  // The first key column's bound is stated on its own, so that the engine
  // starts (or ends) its index scan there. Moving towards the end of the
  // order where Nulls stand (the start of an ascending column, the end of a
  // descending one), the rows in Relation are those on the near side of the
  // value and the Nulls: stated as one condition ("c <= ? OR c IS NULL") the
  // engine cannot bound its scan by it, and reads every row from the far end
  // of the index to the value. ExcludeNulls leaves the Nulls out ("c <= ?",
  // a bounded scan) where the caller knows they are not wanted or reads them
  // with NullsOf separately.
  TCondition KeyCondition(const std::vector<Variant>& Values, TRelation Relation, bool ExcludeNulls = false) const;
  // Whether KeyCondition(Values, Relation) holds Nulls of the first key
  // column apart from the rows on the near side of its value.
  bool ReachesNulls(const std::vector<Variant>& Values, TRelation Relation) const;
  // The rows whose first key column is Null.
  TCondition NullsOf() const;
  // The rows whose first key column starts ignoring case with UpperPrefix
  // (fyndra_starts_upper); empty unless that column is an ascending key on
  // the case-insensitive collation.
  TCondition StartsUpperCondition(const std::string& UpperPrefix) const;
  // Which bound of the range a position makes redundant: a position at a row
  // of the window lies inside the range, so reading on from it needs only
  // the range's far bound. Stating both lower bounds would let the engine
  // start its index scan at the range's start and pass over every row before
  // the position again, on each restart of the window.
  enum class TRangeBound { None, Start, End };
  // The range's condition (without the bound Inside names) and Position.
  TCondition Where(const TCondition* Position, TRangeBound Inside = TRangeBound::None) const;
  // A statement of SQL with Where's condition, bound. A statement given up
  // with Recycle is reset and kept for the next Prepare of the same text:
  // preparing took about half of a key search (a keystroke of a find).
  std::unique_ptr<TSQLiteStatement> Prepare(const std::string& SQL, const TCondition& Where) const;
  // Resets Statement (ending its read) and keeps it for Prepare; Statement is
  // then null.
  void Recycle(std::unique_ptr<TSQLiteStatement>& Statement) const;
  // Frees the kept statements (before the connection may close).
  void ClearRecycled() const;
  std::vector<Variant> FullKeyOf(const Variant* Values, std::int64_t RowId) const;
  std::vector<Variant> FullKeyOf(const TRow& Row) const { return FullKeyOf(Row.Values.data(), Row.RowId); }
  std::vector<Variant> FullKeyOf(const TRowRef& Row) const;
  // Starts the window at the first row at or after Key (a full key with row
  // id, or a prefix); the cursor stands on that row, or past the end.
  // InRange: Key is a row inside the range, so the range's start is not
  // stated again.
  void PositionAt(const std::vector<Variant>& Key, TRelation Relation, bool InRange = false);
  // Reads the row with that row id (within the range); false when absent.
  bool ReadRowById(std::int64_t RowId, TRow& Row) const;
  void Reposition(std::int64_t RowId);
  void CheckExactFit(const TFieldDef* Def, const Variant& Value) const;
  static TTextKeyOrder TextKeyOrderOf(const TOrderColumn& C);
  // Whether two texts are the same key of column C, by the engine's rules.
  bool SameKeyText(const TOrderColumn& C, const std::string& A, const std::string& B) const;

  std::string TableName_;
  std::string IndexName_;
  std::string IndexFieldNames_;
  TOwned<TIndexDefs> IndexDefs_;
  // The collation of each key column, by index name (IndexDefs carry only
  // which key columns compare ignoring case).
  std::vector<std::pair<std::string, std::vector<std::string>>> IndexCollations_;
  std::vector<TOrderColumn> Order_;
  // Statements kept by Recycle, by text, the latest last.
  mutable std::vector<std::unique_ptr<TSQLiteStatement>> Recycled_;
  static constexpr std::size_t RecycledLimit = 8;
  mutable std::unique_ptr<TSQLiteStatement> Forward_;
  mutable std::unique_ptr<TSQLiteStatement> Backward_;
  // The window's readers were bounded by ExcludeNulls; once one ends, the
  // rows whose first key column is Null follow (read by a statement of their
  // own, in the same direction).
  mutable bool ForwardNullsPending_ = false;
  mutable bool BackwardNullsPending_ = false;
  mutable bool AtStart_ = true;
  bool Ranged_ = false;
  TCondition Range_;                   // both bounds
  TCondition RangeStart_, RangeEnd_;   // each bound alone
  std::optional<std::string> NextRangePrefix_;  // see SetRangeStartsUpper
};

}  // namespace fyndra
