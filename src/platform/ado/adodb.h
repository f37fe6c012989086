// The ODBC dataset family: TADOConnection, one connection to a data source
// named by an ODBC connection string, and its datasets TCustomADODataSet with
// TADODataSet (any command), TADOQuery (SQL text) and TADOTable (one table in
// index order, with Seek). Parameters are TParameters/TParameter.
//
// Connection strings are ODBC's own ("Driver=SQLite3;Database=/tmp/a.db",
// "Driver=...;Server=...;Database=...;UID=..."). Text is UTF-8 throughout
// (see odbcengine.h). For a PostgreSQL data source through its ODBC driver,
// put UseDeclareFetch=1 into the string, so that the driver reads rows from
// the server as the dataset asks for them instead of the whole result at
// open, and BoolsAsChar=0, so that booleans arrive as booleans.
//
// Rows are read lazily in blocks that grow from one row to CacheSize rows:
// opening a dataset over a million rows reads its first row. Rows already read are kept, so
// Prior, bookmarks and RecNo work over them; Last and RecordCount of a query
// read to the end.
//
// A table (CommandType cmdTable or cmdTableDirect) is read in the order of its
// index (IndexName, from the driver's statistics, or IndexFieldNames), ended by
// its primary key so that the order is total. Seek, Last and a bookmark of a
// record no longer in the window each run one keyed statement over that order,
// which the data source answers through the index: none of them reads the
// table from its start. A table without a primary key is read from its start
// only and cannot seek; Supports tells which cursor options a dataset offers.
//
// The family reads; it does not write records (a dataset refuses edits as
// read-only). Statements that change data run through TADOQuery::ExecSQL or
// TADOConnection::Execute.
//
// Parameters are written :name in the command text; "::" stands for one
// literal colon. Each reference becomes a '?' bound by position through the
// driver, as the parameter's DataType wants (texts as UTF-8, exact decimals as
// decimal text, dates and time stamps as their ODBC structures).
//
// Ownership: components freed by their owner. A dataset does not own its
// connection; it registers with it while open and is closed by it. A dataset
// owns its Parameters, its IndexDefs and its statements.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <fyndra/platform/ado/odbcengine.h>
#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/events.h>
#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/db/indexdefs.h>

namespace fyndra {

enum TCommandType : std::uint8_t { cmdUnknown, cmdText, cmdTable, cmdStoredProc, cmdFile, cmdTableDirect };
FYNDRA_ENUM_NAMES(TCommandType, cmdUnknown, cmdText, cmdTable, cmdStoredProc, cmdFile, cmdTableDirect)

enum TCursorOption : std::uint8_t {
  coHoldRecords, coMovePrevious, coAddNew, coDelete, coUpdate, coBookmark, coApproxPosition,
  coUpdateBatch, coResync, coNotify, coFind, coSeek, coIndex
};
FYNDRA_ENUM_NAMES(TCursorOption, coHoldRecords, coMovePrevious, coAddNew, coDelete, coUpdate, coBookmark,
                  coApproxPosition, coUpdateBatch, coResync, coNotify, coFind, coSeek, coIndex)
using TCursorOptions = TSet<TCursorOption>;

enum TSeekOption : std::uint8_t { soFirstEQ, soLastEQ, soAfterEQ, soAfter, soBeforeEQ, soBefore };
FYNDRA_ENUM_NAMES(TSeekOption, soFirstEQ, soLastEQ, soAfterEQ, soAfter, soBeforeEQ, soBefore)

enum TParameterDirection : std::uint8_t { pdUnknown, pdInput, pdOutput, pdInputOutput, pdReturnValue };
FYNDRA_ENUM_NAMES(TParameterDirection, pdUnknown, pdInput, pdOutput, pdInputOutput, pdReturnValue)

class TCustomADODataSet;

class TADOConnection : public TComponent {
  FYNDRA_CLASS(TADOConnection, TComponent)

 public:
  // REQUIRES: not connected (EDatabaseError otherwise).
  const std::string& GetConnectionString() const { return ConnectionString_; }
  void SetConnectionString(const std::string& Value);
  // There is no login dialog: user and password belong in the connection
  // string, and connecting with LoginPrompt true is refused.
  bool GetLoginPrompt() const { return LoginPrompt_; }
  void SetLoginPrompt(bool Value) { LoginPrompt_ = Value; }

  // Connecting raises EDatabaseError with the driver's message and leaves the
  // connection closed; disconnecting closes the datasets first and rolls back
  // an open transaction.
  bool GetConnected() const { return Connection_ != nullptr; }
  void SetConnected(bool Value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  // Transactions (one level). BeginTrans raises when one is open, CommitTrans
  // and RollbackTrans when none is; a failed commit leaves it open.
  int BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  bool GetInTransaction() const { return InTransaction_; }

  // Runs SQL that returns no rows; returns the rows changed (-1 when unknown).
  // REQUIRES: connected.
  std::int64_t Execute(const std::string& SQL);

  // The engine connection. REQUIRES: connected (EDatabaseError otherwise).
  TOdbcConnection& Connection() const;

  int DataSetCount() const { return static_cast<int>(DataSets_.size()); }
  TCustomADODataSet* GetDataSet(int Index) const { return DataSets_.at(static_cast<std::size_t>(Index)); }
  void CloseDataSets();

  TNotifyEvent AfterConnect, BeforeDisconnect;

  // Called by the datasets when they attach and detach.
  void RegisterDataSet(TCustomADODataSet* DataSet);
  void UnregisterDataSet(TCustomADODataSet* DataSet);

  void BeforeDestruction() override;

 protected:
  explicit TADOConnection(TComponent* Owner);
  void Loaded() override;
  void Notification(TComponent* Component, TOperation Operation) override;

 private:
  std::string ConnectionString_;
  bool LoginPrompt_ = false;
  bool InTransaction_ = false;
  bool StreamedConnected_ = false;
  std::unique_ptr<TOdbcConnection> Connection_;
  std::vector<TCustomADODataSet*> DataSets_;
};

class TParameters;

class TParameter : public TCollectionItem {
 public:
  const std::u16string& GetName() const { return Name_; }
  void SetName(const std::u16string& Value) { Name_ = Value; }
  // The type the value is bound as; ftUnknown binds by the value's own type.
  TFieldType GetDataType() const { return DataType_; }
  void SetDataType(TFieldType Value) { DataType_ = Value; }
  TParameterDirection GetDirection() const { return Direction_; }
  void SetDirection(TParameterDirection Value) { Direction_ = Value; }
  int GetSize() const { return Size_; }
  void SetSize(int Value) { Size_ = Value; }
  int GetPrecision() const { return Precision_; }
  void SetPrecision(int Value) { Precision_ = Value; }
  int GetNumericScale() const { return NumericScale_; }
  void SetNumericScale(int Value) { NumericScale_ = Value; }
  // The value as given; setting it takes the data type from the value while
  // the parameter has none (ftUnknown).
  const Variant& GetValue() const { return Value_; }
  void SetValue(const Variant& Value);

  void Assign(TPersistent* Source) override;
  std::string GetDisplayName() const override;

 protected:
  explicit TParameter(TCollection* Collection);
  FYNDRA_CLASS(TParameter, TCollectionItem)
  friend class TParameters;

 private:
  std::u16string Name_;
  TFieldType DataType_ = ftUnknown;
  TParameterDirection Direction_ = pdInput;
  int Size_ = 0, Precision_ = 0, NumericScale_ = 0;
  Variant Value_;
};

class TParameters : public TOwnedCollection {
 public:
  TParameter* GetItem(int Index) const;
  TParameter* AddParameter();
  TParameter* CreateParameter(const std::u16string& Name, TFieldType DataType, TParameterDirection Direction,
                              int Size, const Variant& Value);
  // Null when no parameter has that name (compared without regard to case).
  TParameter* FindParam(const std::u16string& Name) const;
  // Raises EDatabaseError when no parameter has that name.
  TParameter* ParamByName(const std::u16string& Name) const;
  // Reads the :name references of SQL (see the header comment). With DoCreate,
  // a parameter is made for every new name in order of first use and those no
  // longer named are removed; values of names that stay are kept. Returns the
  // text with each reference replaced by '?'; References receives the name of
  // each '?' in order.
  std::string ParseSQL(const std::u16string& SQL, bool DoCreate,
                       std::vector<std::u16string>* References = nullptr);

 protected:
  explicit TParameters(TPersistent* Owner);
  FYNDRA_CLASS(TParameters, TOwnedCollection)
};

class TCustomADODataSet : public TDataSet {
  FYNDRA_CLASS(TCustomADODataSet, TDataSet)

 public:
  TADOConnection* GetConnection() const { return Connection_; }
  // REQUIRES: closed.
  void SetConnection(TADOConnection* Value);
  // cmdText and cmdUnknown: CommandText is SQL; cmdTable and cmdTableDirect:
  // CommandText names a table. Stored procedures and files are refused at
  // open. Changing either closes the dataset.
  TCommandType GetCommandType() const { return CommandType_; }
  void SetCommandType(TCommandType Value);
  const std::u16string& GetCommandText() const { return CommandText_; }
  virtual void SetCommandText(const std::u16string& Value);
  TParameters* GetParameters() const { return Parameters_.get(); }
  void SetParameters(TParameters* Value);  // copies the values by name
  // Rows read from the driver per fetch (at least 1).
  int GetCacheSize() const { return CacheSize_; }
  void SetCacheSize(int Value);

  // The order of a table: an index by name (from IndexDefs) or a list of
  // fields; setting one clears the other. Changing the order of an open
  // table reads it again from its first record.
  const std::string& GetIndexName() const { return IndexName_; }
  void SetIndexName(const std::string& Value);
  const std::string& GetIndexFieldNames() const { return IndexFieldNames_; }
  void SetIndexFieldNames(const std::string& Value);
  // A table's indexes as the driver's statistics report them (Update reads
  // them again); empty for other commands.
  TIndexDefs* GetIndexDefs() const { return IndexDefs_.get(); }
  void SetIndexDefs(TIndexDefs* Value) { IndexDefs_->Assign(Value); }

  // Whether the open cursor offers every one of Options. coSeek and coIndex:
  // an open table ordered by an index, with a primary key.
  bool Supports(TCursorOptions Options) const;
  // Moves to the record that KeyValues (one value, or an array for the
  // leading fields of the current index) and Option select, and answers
  // true; answers false, without moving, when there is none. soFirstEQ and
  // soLastEQ: the first / last record whose key equals; soAfterEQ / soAfter:
  // the first record at or after / after the key; soBeforeEQ / soBefore: the
  // last record at or before / before it. Raises EDatabaseError when the
  // cursor does not support seeking or a key does not fit its field.
  bool Seek(const Variant& KeyValues, TSeekOption SeekOption = soFirstEQ);

  // The index definition of the dataset's order (the caller owns it): a
  // table's index, a query's ORDER BY; null when there is none.
  TOwned<TIndexDef> PSGetDefaultOrder() const;
  // Whether the data source orders the text column FieldName of an open
  // table by the bytes of its UTF-8 text (which is code point order). Asked
  // of the data source once per column and open: a few texts are sorted
  // through the column's own collation and their order compared. False for
  // other datasets and columns, and for any collation of another order.
  bool OrdersTextByBytes(const std::string& FieldName) const;

  bool GetFieldData(TField* Field, void* Buffer) const override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  bool IsSequenced() const override { return true; }
  // Rows read from the driver so far.
  int FetchedRowCount() const { return static_cast<int>(Rows_.Size()); }

  // Called by the connection before it disconnects: the dataset closes and
  // gives up its statements.
  void ReleaseStatements();

  void AfterConstruction() override;
  void BeforeDestruction() override;

 protected:
  explicit TCustomADODataSet(TComponent* Owner, TCommandType CommandType = cmdText);
  void Notification(TComponent* Component, TOperation Operation) override;
  // Sets the command without the closing side effects (for descendants that
  // keep their own form of it).
  void StoreCommandText(const std::u16string& Value);

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
  void GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const override;
  bool InternalGotoBookmark(const std::vector<std::uint8_t>& Data) override;
  bool InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const override;
  int InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                               const std::vector<std::uint8_t>& B) const override;
  int InternalGetRecordCount() const override;
  int InternalGetRecNo() const override;

  // The connected connection (connecting it when needed); raises without one.
  TOdbcConnection& RequireConnection();
  bool IsTableCommand() const { return CommandType_ == cmdTable || CommandType_ == cmdTableDirect; }

 public:
  // ---- the window of rows (public for the family's own units only)
  enum class TCellKind : std::uint8_t { Null, Int, Bool, Double, Date, Currency, Text, Other };
  // One value in compact form: numbers inline, text and bytes as a span of the
  // store's text buffer, exact decimals as an entry of its variant list.
  struct TCell {
    union {
      std::int64_t I;
      double D;
    };
    std::size_t Offset;
    std::uint32_t Length;
    TCellKind Kind;
  };
  // Rows stored flat: rows added in front in one cell vector (in reverse),
  // rows added at the back in another, their texts and variants shared.
  class TRowStore {
   public:
    std::size_t Size() const { return FrontRows_ + BackRows_; }
    void Clear();
    void SetColumns(std::size_t Columns) { Columns_ = Columns; }
    // The cells of row I (0 = first); valid until the store changes.
    const TCell* Row(std::size_t I) const;
    std::string_view TextOf(const TCell& C) const { return {Text_.data() + C.Offset, C.Length}; }
    Variant Value(const TCell& C) const;
    // A new row at the back / front, filled by the caller; Drop removes the
    // row last begun (a row that could not be read).
    TCell* BeginBack();
    TCell* BeginFront();
    void DropLast(bool Front);
    std::size_t AddText(std::string_view S);
    std::size_t AddOther(Variant V);

   private:
    std::size_t Columns_ = 0, FrontRows_ = 0, BackRows_ = 0;
    std::vector<TCell> Front_, Back_;
    std::string Text_;
    std::vector<Variant> Others_;
  };
  struct TCondition;

 private:
  // A record buffer: a copy of one row's cells (with the texts and variants
  // they refer to), its logical index and the window it was read from.
  struct TRecord {
    std::vector<TCell> Cells;
    std::string Text;
    std::vector<Variant> Others;
    std::int64_t Index = -1;
    std::uint64_t Generation = 0;
    Variant Value(const TCell& C) const;
  };
  // One column of a table's order.
  struct TOrderColumn {
    std::string Name;  // as the driver names it
    int Field = -1;    // index into the field definitions
    TFieldType Type = ftUnknown;
    bool Descending = false;
  };
  // Statements read one after another in one direction.
  struct TReader {
    std::unique_ptr<TOdbcStatement> Statement;
    std::vector<std::pair<std::string, std::vector<std::pair<Variant, TFieldType>>>> Pending;
    bool Started = false;
    bool Done = true;
    bool Suspended = false;  // its statement was given up; it resumes from the window's edge
    int Block = 1;           // rows of the next fetch: the first screen comes fast, then blocks grow
    std::string Error;  // a row that could not be read stops the reader
  };

  // ---- reading
  void DescribeColumns(TOdbcStatement& S);
  // Reads up to a block of rows from R into Into (at the front when Front);
  // returns how many.
  int ReadBlock(TReader& R, TRowStore& Into, bool Front, int MaxRows = 0) const;
  void DecodeRow(TOdbcStatement& S, int Row, TCell* Cells, TRowStore& Into) const;
  bool FetchNext() const;
  bool FetchPrior() const;
  void FetchAll() const;
  void StartWindow();
  std::string CommandSQL() const;
  void OpenQuery(TOdbcConnection& C);
  void OpenTable(TOdbcConnection& C);

  // ---- table order and keyed statements
  std::string QuotedName(const std::string& Name) const;
  std::string TableRef() const;
  void ReadIndexDefs(TIndexDefs& Defs);
  void BuildOrder();
  std::string OrderBy(bool Reverse) const;
  bool OrderIsTotal() const { return Total_; }
  // Statements that read, in order (reversed when Reverse), the rows after
  // (Strict) or at and after Key, a prefix of the order's values.
  void KeySegments(const std::vector<Variant>& Key, bool Strict, bool Reverse, TReader& Into) const;
  void StartReader(TReader& R, bool Reverse) const;
  std::vector<Variant> FullKeyOf(const TCell* Cells, const TRowStore& Store) const;
  // Restarts the window at the row whose full order key is Key; false (the
  // window then empty) when there is none.
  bool PositionAt(const std::vector<Variant>& Key);
  // Gives up the open statements of a table's readers (except Keep) before
  // another statement runs, where the driver steps through only one result
  // at a time and would read the rest of the others into memory.
  void SuspendReaders(const TReader* Keep) const;
  bool KeyEquals(const TCell* Cells, const TRowStore& Store, const std::vector<Variant>& Key) const;

  TADOConnection* Connection_ = nullptr;
  TADOConnection* Registered_ = nullptr;
  TCommandType CommandType_;
  std::u16string CommandText_;
  TOwned<TParameters> Parameters_;
  TOwned<TIndexDefs> IndexDefs_;
  std::string IndexName_, IndexFieldNames_;
  int CacheSize_ = 100;

  // A query's statement, kept prepared between opens of the same text.
  std::unique_ptr<TOdbcStatement> Prepared_;
  std::string PreparedText_;

  // Open state.
  bool CursorOpen_ = false;
  TOdbcConnection* Conn_ = nullptr;
  std::vector<TOdbcColumn> Columns_;
  std::vector<TOrderColumn> Order_;
  std::size_t IndexKeyCount_ = 0;  // leading order columns that belong to the index
  bool Total_ = false;
  bool NullsHigh_ = true;
  mutable TReader Forward_, Backward_;
  mutable TRowStore Rows_;
  mutable std::int64_t Base_ = 0;    // logical index of the window's first row
  mutable std::int64_t Cursor_ = -1;
  mutable bool AtStart_ = true;      // the window starts at the first row
  std::uint64_t Generation_ = 0;     // changes whenever the window restarts
  // Answers of OrdersTextByBytes for this open, by column.
  mutable std::vector<std::pair<int, bool>> TextOrder_;
};

// A dataset over any command, publishing CommandType and CommandText.
class TADODataSet : public TCustomADODataSet {
  FYNDRA_CLASS(TADODataSet, TCustomADODataSet)

 protected:
  explicit TADODataSet(TComponent* Owner);
};

class TADOQuery : public TCustomADODataSet {
  FYNDRA_CLASS(TADOQuery, TCustomADODataSet)

 public:
  // The SQL text (CommandText as lines). Changing it closes the query and
  // parses its parameters again (values of names that stay are kept).
  TStrings* GetSQL() const { return SQL_.get(); }
  void SetSQL(TStrings* Value);
  // Runs a statement that returns no rows; returns the rows changed (-1 when
  // the driver cannot tell).
  int ExecSQL();
  int GetRowsAffected() const { return RowsAffected_; }
  // Sets the SQL text (CommandText and SQL are one text).
  void SetCommandText(const std::u16string& Value) override;

  void AfterConstruction() override;

 protected:
  explicit TADOQuery(TComponent* Owner);

 private:
  void SQLChanged(TObject* Sender);
  TOwned<TStringList> SQL_;
  int RowsAffected_ = -1;
};

class TADOTable : public TCustomADODataSet {
  FYNDRA_CLASS(TADOTable, TCustomADODataSet)

 public:
  std::string GetTableName() const;
  void SetTableName(const std::string& Value);  // closes the table
  // cmdTableDirect rather than cmdTable; both read the table the same way.
  bool GetTableDirect() const { return GetCommandType() == cmdTableDirect; }
  void SetTableDirect(bool Value) { SetCommandType(Value ? cmdTableDirect : cmdTable); }

 protected:
  explicit TADOTable(TComponent* Owner);
};

}  // namespace fyndra
