// The engine family's datasets: TBDEDataSet, the common base that reads rows of
// a SQLite statement into the dataset layer, and TQuery, a dataset over any SQL
// text with :name parameters.
//
// Rows are fetched on demand: opening runs the statement and fetches only what
// the first record needs; Next fetches one more row. Rows read are kept in a
// bounded window around the current record (see TTable and TQuery for how each
// reads a row again once it left the window). Field types come from the
// declared column types (ColumnTypeFromDecl in sqliteengine.h); a computed
// column takes its type from its value in the first row. Values keep their
// exact decimal and date values (see sqliteengine.h).
//
// Ownership: datasets are components freed by their owner. A dataset does not
// own its TDatabase; it registers with it while attached and is closed by it.
// TQuery owns its SQL list, its Params and its prepared statement.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sqliteengine.h>
#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/db/indexdefs.h>
#include <fyndra/platform/db/params.h>

namespace fyndra {

// How the engine orders the values of one text key field of a dataset's
// default order: the models can follow an order only if they can compare as
// it does.
enum class TTextKeyOrder : std::uint8_t {
  Bytes,            // the engine's byte order (BINARY), also for non-text keys
  AsciiFolded,      // bytes with ASCII letters folded (NOCASE)
  CaseInsensitive,  // the case-insensitive order of the current text locale (AnsiCompareUpperText)
  Other             // any other rule (another collation, an expression)
};
// The order a collation gives text; an empty (unknown) name gives Other.
TTextKeyOrder TextKeyOrderOfCollation(std::string_view Collation);

class TBDEDataSet : public TDataSet {
  FYNDRA_CLASS(TBDEDataSet, TDataSet)

 public:
  // The database the dataset reads: the one set with SetDatabase, else the
  // TDatabase whose DatabaseName equals this dataset's DatabaseName.
  TDatabase* GetDatabase() const;
  // REQUIRES: closed.
  void SetDatabase(TDatabase* Value);
  const std::string& GetDatabaseName() const { return DatabaseName_; }
  void SetDatabaseName(const std::string& Value);

  bool GetFieldData(TField* Field, void* Buffer) const override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  bool IsSequenced() const override { return true; }
  // Rows the window holds now (rows are read on demand, and dropped again
  // once the window is full).
  int FetchedRowCount() const { return static_cast<int>(Rows_.size()); }
  // The most rows a window holds unless a dataset is told otherwise.
  static constexpr std::size_t DefaultWindowLimit = 1024;

  // The index definition of the dataset's default order (the caller owns it),
  // or null when the order is unknown.
  virtual TOwned<TIndexDef> PSGetDefaultOrder() const { return nullptr; }
  // The order of each key field of PSGetDefaultOrder(), in its order.
  virtual std::vector<TTextKeyOrder> DefaultOrderTextKeys() const { return {}; }

  // Called by the database before it disconnects: the dataset closes and
  // gives up every engine statement it holds.
  virtual void ReleaseStatements();

  void BeforeDestruction() override;

 protected:
  explicit TBDEDataSet(TComponent* Owner);
  void Notification(TComponent* Component, TOperation Operation) override;

  // ---- what a descendant supplies
  // The statement whose rows the dataset shows, executed from its start (bound
  // and reset). The descendant owns it; it stays valid until CloseStatement.
  virtual TSQLiteStatement& OpenStatement(TDatabase& Database) = 0;
  virtual void CloseStatement() = 0;
  // Leading result columns that are not fields (a table's row id).
  virtual int HiddenColumns() const { return 0; }

  // ---- the dataset hooks
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
  void InternalEdit() override;
  void GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const override;
  bool InternalGotoBookmark(const std::vector<std::uint8_t>& Data) override;
  bool InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const override;
  int InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                               const std::vector<std::uint8_t>& B) const override;
  int InternalGetRecordCount() const override;
  int InternalGetRecNo() const override;

  // One row read on its own: a value per field definition, and the engine row
  // id for descendants that have one (else 0).
  struct TRow {
    std::vector<Variant> Values;
    std::int64_t RowId = 0;
  };

  // A value of a row in compact form, so that reading and copying rows
  // allocates nothing per value: numbers inline, text (and blobs) as a span
  // of the owner's text buffer, anything else (exact decimals, time stamps,
  // wide text) as an entry of the owner's variant list.
  enum class TCellKind : std::uint8_t { Null, Int32, Int64, Boolean, Double, Date, Currency, Text, Other };
  struct TCell {
    union {
      std::int64_t I;  // Int32, Int64, Boolean, Currency (scaled)
      double D;        // Double, Date
    };
    std::size_t Offset;   // Text: start in the text buffer; Other: index in the variant list
    std::uint32_t Length; // Text: bytes
    TCellKind Kind;
  };
  // Cells with the text buffer and variant list they refer to.
  struct TCells {
    std::vector<TCell> Cells;
    std::string Text;
    std::vector<Variant> Others;
    Variant Value(const TCell& C) const;
    std::string_view TextOf(const TCell& C) const { return {Text.data() + C.Offset, C.Length}; }
  };

  class TRowStore;
  // A row of the window; valid until the window changes.
  struct TRowRef {
    const TRowStore* Store;
    const TCell* Cells;
    std::int64_t RowId;
    Variant Value(std::size_t Column) const;
  };
  // The window's rows, stored flat (no allocation per row or value): rows
  // added at the front in one cell vector (in reverse), rows added at the back
  // in another; their text and other values in buffers shared by both.
  class TRowStore {
   public:
    std::size_t size() const { return FrontIds_.size() + BackIds_.size(); }
    bool empty() const { return size() == 0; }
    void clear();
    TRowRef operator[](std::size_t I) const;
    TRowRef front() const { return (*this)[0]; }
    // Reads the current row of S (the columns after Hidden, as Types wants)
    // as the last / first row. A value that does not fit its type raises and
    // adds nothing.
    void PushBack(const TSQLiteStatement& S, int Hidden, const std::vector<TColumnType>& Types, std::int64_t RowId);
    void PushFront(const TSQLiteStatement& S, int Hidden, const std::vector<TColumnType>& Types, std::int64_t RowId);
    void Erase(std::size_t I);
    // Drops the first N rows; the text and other values of the rows kept are
    // moved into buffers of their own, so the memory of the dropped ones goes.
    void DropFront(std::size_t N);
    // Copies row I into Out (its text and other values included).
    void CopyRow(std::size_t I, TCells& Out) const;
    Variant Value(const TCell& C) const { return Data_.Value(C); }

   private:
    static bool DecodeInline(const TSQLiteCell& Raw, TFieldType Type, TCell& Cell);
    // Copies the text or other value C refers to from From to the end of To
    // and points C there.
    static void CopyCellData(TCell& C, const TCells& From, TCells& To);
    void Push(std::vector<TCell>& Side, const TSQLiteStatement& S, int Hidden, const std::vector<TColumnType>& Types);
    std::size_t Columns_ = 0;
    std::vector<TCell> Front_, Back_;
    TCells Data_;  // the text and other values of both sides (Data_.Cells unused)
    std::vector<std::int64_t> FrontIds_, BackIds_;
  };
  // A record buffer: the row's values and its logical index (NewRow for a
  // record being inserted). A record read from the window keeps the row's
  // cells; it moves its values into Values (InValues) when it is edited,
  // initialised for an insert, or used as a key.
  static constexpr std::int64_t NewRow = INT64_MIN;
  struct TRecord {
    std::vector<Variant> Values;
    TCells Row;
    bool InValues = true;
    std::int64_t RowId = 0;
    std::int64_t Index = NewRow;
  };
  // Moves R's cells into its Values (no-op when they are there already).
  static void Materialize(TRecord& R);

  // Reads one more row at the end of the window; false at the end.
  bool FetchRow() const;
  void FetchAll() const;
  // Reads one more row before the start of the window (prepending it); false
  // when the window already starts at the first row. A table positioned by
  // key reads backwards from there (a query reads again from its start, see
  // TQuery::GetRecord).
  virtual bool FetchPriorRow() const { return false; }
  // Called when the forward statement has no more rows: a descendant that
  // reads the rest of its order with another statement returns it (owned by
  // the descendant), and the window reads on from it.
  virtual TSQLiteStatement* NextForwardStatement() const { return nullptr; }
  // Whether the window starts at the first row; InternalFirst otherwise asks
  // RestartAtStart to read from the first row again.
  virtual bool WindowAtStart() const { return true; }
  virtual void RestartAtStart() {}
  // Called before the cursor moves one row: a descendant that reads rows
  // again by key keeps the window bounded here.
  virtual void LimitWindow() {}
  // Copies the row under the cursor (which the window holds) into Buffer.
  void CopyCursorRow(TRecordBuffer Buffer) const;
  // Starts a new window read by Forward (owned by the descendant): no rows,
  // the cursor before the first one.
  void StartWindow(TSQLiteStatement* Forward);
  // Marks the forward statement as finished (a window that begins past the end).
  void SetForwardDone() { Done_ = true; }
  // Whether the forward statement has no more rows.
  bool ForwardDone() const { return Done_; }
  TSQLiteStatement* ForwardStatement() const { return Statement_; }
  // Converts the current row of S (same columns as the dataset's statement).
  TRow ReadRow(const TSQLiteStatement& S) const;
  // Reads the current row of S (same columns) into the window before its
  // first row; returns nothing, raises as FetchRow does.
  void PrependRow(const TSQLiteStatement& S) const;
  // The same into Values (resized to the column count); returns the row id.
  std::int64_t ReadRowInto(const TSQLiteStatement& S, std::vector<Variant>& Values) const;
  std::int64_t WindowEnd() const { return Base_ + static_cast<std::int64_t>(Rows_.size()); }
  TRowRef RowAt(std::int64_t Logical) const { return Rows_[std::size_t(Logical - Base_)]; }
  TRecord* RecordOf(TRecordBuffer Buffer) const { return static_cast<TRecord*>(Buffer); }
  // The record that field reads and writes address: the current one (the
  // filter candidate while filtering).
  TRecord* AddressedRecord() const { return RecordOf(CurrentRecordBuffer()); }
  // The connected database (connecting it when needed); raises without one.
  TDatabase& RequireDatabase();
  // The field types of the result columns (after the hidden ones).
  const std::vector<TColumnType>& ColumnTypes() const { return ColumnTypes_; }

  // The window of rows read so far. Rows are numbered by logical index:
  // Rows_[0] is Base_; the cursor is a logical index, Base_ - 1 before the
  // window and WindowEnd() past it.
  mutable TRowStore Rows_;
  mutable std::int64_t Base_ = 0;
  mutable std::int64_t Cursor_ = -1;

 private:
  void DetermineColumnTypes(const TSQLiteStatement& S) const;

  TDatabase* Database_ = nullptr;     // set explicitly
  TDatabase* Registered_ = nullptr;   // the database this dataset is registered with
  std::string DatabaseName_;
  mutable TSQLiteStatement* Statement_ = nullptr;  // owned by the descendant while open
  mutable bool Done_ = false;              // the statement has no more rows
  mutable bool TypesKnown_ = false;
  mutable std::vector<TColumnType> ColumnTypes_;
  mutable std::vector<std::pair<std::string, TColumnType>> DeclCache_;  // declared type and its field type, by column
  bool CursorOpen_ = false;
};

// The window of a query. Rows are numbered by their position in the result
// (RecNo - 1, which is also the bookmark). Reading forwards appends rows; once
// the window holds WindowLimit rows the oldest are dropped, keeping a quarter
// of the limit behind the newest. A row before the window (Prior, First,
// RecNo, a bookmark, the record a Locate comes back to) is read by executing
// the statement again from its start, with the parameter values it was opened
// with, stepping over the rows before the window without reading their values;
// the new window ends at the wanted row and holds up to half the limit before
// it (all but one of the limit when moving backwards, so that a backward scan
// executes once per that many rows). A jump far ahead steps over the rows
// between the same way. First executes again only when the window does not
// start at the first row.
//
// Executing again shows the result as it is then, as Close and Open would: if
// the database was written meanwhile (on the same connection), positions
// address the rows the statement returns now. A position past the new end is
// no record: a bookmark there is invalid (GotoBookmark raises), and a cursor
// there moves to the last record. A statement that writes (INSERT …
// RETURNING) is never executed twice: its window keeps every row.
class TQuery : public TBDEDataSet {
  FYNDRA_CLASS(TQuery, TBDEDataSet)

 public:
  // The most rows the window holds (from 4 to INT32_MAX; a value beyond is
  // taken as the nearest); a change applies from the next row read.
  std::size_t GetWindowLimit() const { return WindowLimit_; }
  void SetWindowLimit(std::size_t Value) { WindowLimit_ = std::clamp<std::size_t>(Value, 4, INT32_MAX); }

  // The SQL text. Changing it closes the query, unprepares it and parses its
  // parameters again (values of names that stay are kept).
  TStrings* GetSQL() const { return SQL_.get(); }
  void SetSQL(TStrings* Value);
  TParams* GetParams() const { return Params_.get(); }
  void SetParams(TParams* Value);  // copies the values by name
  int ParamCount() const { return Params_->Count(); }
  TParam* ParamByName(const std::string& Name) const { return Params_->ParamByName(Name); }

  // Compiles the text once for repeated Open/ExecSQL; raises EDatabaseError
  // with the engine's message for invalid SQL.
  void Prepare();
  void Unprepare();
  bool GetPrepared() const { return Prepared_ != nullptr; }
  void SetPrepared(bool Value) { Value ? Prepare() : Unprepare(); }

  // Runs a statement that returns no rows (INSERT, UPDATE, DDL …).
  void ExecSQL();
  // Rows changed by the last ExecSQL; -1 before any.
  int GetRowsAffected() const { return RowsAffected_; }

  // The order of the query's ORDER BY clause.
  TOwned<TIndexDef> PSGetDefaultOrder() const override;
  // Upper- or lower-cased columns, and columns whose collation is unknown,
  // have no order the models can follow (Other).
  std::vector<TTextKeyOrder> DefaultOrderTextKeys() const override;
  void ReleaseStatements() override;

  void AfterConstruction() override;

 protected:
  explicit TQuery(TComponent* Owner);
  // The engine counts the rows without handing them over, unless all are
  // read already; a statement that cannot be counted so (a PRAGMA) is read.
  int InternalGetRecordCount() const override;
  TSQLiteStatement& OpenStatement(TDatabase& Database) override;
  void CloseStatement() override;

  // The window (see above).
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  bool WindowAtStart() const override { return Base_ == 0 && !Interrupted_; }
  void RestartAtStart() override;
  void InternalLast() override;
  bool InternalGotoBookmark(const std::vector<std::uint8_t>& Data) override;
  bool InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const override;
  int InternalGetRecNo() const override;
  bool InternalSetRecNo(int Value) override;

 private:
  using TBindings = std::vector<std::pair<Variant, TFieldType>>;
  void SQLChanged(TObject* Sender);
  // The current parameter values in the order of the statement's '?'.
  TBindings ParamValues(const TSQLiteStatement& S) const;
  void Bind(TSQLiteStatement& S, const TBindings& Values) const;
  std::unique_ptr<TSQLiteStatement> MakeStatement(TDatabase& Database) const;

  // Makes the window hold row Row of the result; false when the result has
  // no such row (the window then ends at the result's end). A row before the
  // window executes the statement again, keeping up to Before rows before Row.
  bool EnsureRow(std::int64_t Row, std::int64_t Before);
  // Executes the statement again and reads rows max(0, Row - Before) … Row.
  bool RestartAt(std::int64_t Row, std::int64_t Before);
  // Executes the statement again from its start: an empty window at row 0.
  void Reexecute();
  // Empties the window and steps over the rows up to First without reading
  // them; false when the result ends before.
  bool SkipTo(std::int64_t First);
  // Reads one more row at the end of the window, dropping the oldest rows when
  // it is full.
  bool FetchNext();
  // Rows of a fresh execution of the statement, stepping at most Most rows.
  std::int64_t CountRows(std::int64_t Most) const;

  TOwned<TStringList> SQL_;
  TOwned<TParams> Params_;
  std::string EngineText_;               // the text with each :name replaced by ?
  std::vector<std::string> References_;  // the parameter of each ?, in order
  std::unique_ptr<TSQLiteStatement> Prepared_;
  std::unique_ptr<TSQLiteStatement> Running_;  // made by Open when not prepared
  int RowsAffected_ = -1;
  std::size_t WindowLimit_ = DefaultWindowLimit;
  TBindings Bound_;          // the values the open statement was executed with
  bool Rereadable_ = false;  // the open statement may be executed again (it only reads)
  // A read failed half-way (a step or a value that does not fit): the
  // statement's position no longer follows the window, so the next read
  // executes it again.
  bool Interrupted_ = false;
};

}  // namespace fyndra
