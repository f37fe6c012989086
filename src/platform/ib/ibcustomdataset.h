// The Firebird family's datasets: TIBCustomDataSet, the common base that
// reads the rows of a statement into the dataset layer; TIBQuery, a dataset
// over SQL text with :name parameters in a TParams; TIBDataSet, a dataset over
// a select statement whose parameters are set through SQLParams. TIBTable is
// in ibtable.h.
//
// Rows are fetched on demand: opening runs the statement and fetches only what
// the first record needs; Next fetches one more row; rows already read are kept
// (compactly, one cell per value and one text buffer), so Prior, bookmarks and
// RecNo work over them; Last and RecordCount read to the end. Field types come
// from the statement's output description (see ibclient.h). The family reads
// only: edits are refused with the dataset layer's read-only error.
//
// Every dataset reads in a transaction: its Transaction, else its
// Database's DefaultTransaction; opening starts that transaction (and connects
// the database) when needed. Ending the transaction with Commit or Rollback
// closes the dataset, the retaining forms keep it open.
//
// Ownership: datasets are components freed by their owner. A dataset owns
// its SQL lists, its parameters and its prepared statement; it does not own
// its database or transaction, which it registers with while attached and
// which close it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/db/indexdefs.h>
#include <fyndra/platform/db/params.h>
#include <fyndra/platform/ib/ibclient.h>
#include <fyndra/platform/ib/ibdatabase.h>

namespace fyndra {

class TIBCustomDataSet : public TDataSet {
  FYNDRA_CLASS(TIBCustomDataSet, TDataSet)

 public:
  TIBDatabase* GetDatabase() const { return Database_; }
  // REQUIRES: closed.
  void SetDatabase(TIBDatabase* Value);
  TIBTransaction* GetTransaction() const { return Transaction_; }
  // REQUIRES: closed.
  void SetTransaction(TIBTransaction* Value);

  bool GetFieldData(TField* Field, void* Buffer) const override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  bool IsSequenced() const override { return true; }
  // Rows read from the engine so far (rows are read on demand).
  int FetchedRowCount() const { return static_cast<int>(RowCount_); }

  // Compiles the select text once for repeated opening; raises EIBError with
  // the engine's message for invalid SQL.
  void Prepare();
  void Unprepare();
  bool GetPrepared() const { return Statement_ != nullptr; }

  // The index definition of the dataset's default order (the caller owns it),
  // or null when the order is unknown.
  virtual TOwned<TIndexDef> PSGetDefaultOrder() const { return nullptr; }

  // Called by the transaction and the database before the engine objects
  // go: the dataset closes and gives up its prepared statement.
  void ReleaseStatements();

  void BeforeDestruction() override;

 protected:
  explicit TIBCustomDataSet(TComponent* Owner);
  void Notification(TComponent* Component, TOperation Operation) override;

  // ---- what a descendant supplies
  // The engine text of the statement (with '?' parameters).
  virtual std::string SelectText() = 0;
  // Sets the statement's parameters for the next run; raises for a missing value.
  virtual void BindParams(TIBClientStatement& Statement) const = 0;

  // ---- for descendants
  // The transaction the dataset reads in, started (and its database
  // connected) when needed. Raises EIBError without one.
  TIBTransaction& RequireTransaction();
  // The prepared statement (prepared now when needed).
  TIBClientStatement& PreparedStatement();
  // Forgets the prepared statement (the select text changed).
  void StatementChanged();
  // Quotes an identifier for SQL text ("Name", with inner quotes doubled).
  static std::string QuoteIdentifier(const std::string& Name);
  // Closes and unprepares the dataset and parses the :name parameters of SQL
  // into Params (values of names that stay are kept), Engine and References.
  void ParseSelectText(const std::string& SQL, TParams& Params, std::string& Engine,
                       std::vector<std::string>& References);
  // Binds the values of Params in the order of References; raises EIBError for
  // a parameter never given a value.
  void BindReferences(const TParams& Params, const std::vector<std::string>& References,
                      TIBClientStatement& Statement) const;

  // ---- the dataset hooks
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return CursorOpen_; }
  void InternalInitFieldDefs() override;
  void InternalFirst() override { Cursor_ = -1; }
  void InternalLast() override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void GetBookmarkData(TRecordBuffer Buffer, std::vector<std::uint8_t>& Data) const override;
  bool InternalGotoBookmark(const std::vector<std::uint8_t>& Data) override;
  bool InternalBookmarkValid(const std::vector<std::uint8_t>& Data) const override;
  int InternalCompareBookmarks(const std::vector<std::uint8_t>& A,
                               const std::vector<std::uint8_t>& B) const override;
  int InternalGetRecordCount() const override;
  int InternalGetRecNo() const override;
  bool InternalSetRecNo(int Value) override;

 private:
  struct TRecord {
    std::int64_t Index = -1;  // the row in the window
  };
  // Reads one more row at the end of the window; false at the end.
  bool FetchRow() const;
  void FetchAll() const;
  void Attach(TIBTransaction& Transaction);
  void Detach();

  TIBDatabase* Database_ = nullptr;
  TIBTransaction* Transaction_ = nullptr;
  TIBTransaction* AttachedTransaction_ = nullptr;  // registered with while open
  TIBDatabase* AttachedDatabase_ = nullptr;
  std::unique_ptr<TIBClientStatement> Statement_;
  const void* PreparedOn_ = nullptr;  // the attachment the statement belongs to
  bool CursorOpen_ = false;
  // The window: RowCount_ rows of one cell per column, their texts in Text_.
  mutable std::vector<TIBCell> Cells_;
  mutable std::string Text_;
  mutable std::int64_t RowCount_ = 0;
  mutable bool Done_ = false;
  std::int64_t Cursor_ = -1;  // -1 before the first row, RowCount_ past the last
  std::size_t Columns_ = 0;
};

class TIBQuery : public TIBCustomDataSet {
  FYNDRA_CLASS(TIBQuery, TIBCustomDataSet)

 public:
  // The SQL text. Changing it closes the query, unprepares it and parses its
  // parameters again (values of names that stay are kept).
  TStrings* GetSQL() const { return SQL_.get(); }
  void SetSQL(TStrings* Value);
  TParams* GetParams() const { return Params_.get(); }
  void SetParams(TParams* Value);  // copies the values by name
  int ParamCount() const { return Params_->Count(); }
  TParam* ParamByName(const std::string& Name) const { return Params_->ParamByName(Name); }
  TParam* FindParam(const std::string& Name) const { return Params_->FindParam(Name); }

  // Runs a statement that returns no rows (in the query's transaction, which
  // is not committed here). Raises EIBError with the engine's message.
  void ExecSQL();
  int GetRowsAffected() const { return RowsAffected_; }

  TOwned<TIndexDef> PSGetDefaultOrder() const override;

  void AfterConstruction() override;

 protected:
  explicit TIBQuery(TComponent* Owner);
  std::string SelectText() override { return EngineText_; }
  void BindParams(TIBClientStatement& Statement) const override;

 private:
  void SQLChanged(TObject* Sender);

  TOwned<TStringList> SQL_;
  TOwned<TParams> Params_;
  std::string EngineText_;
  std::vector<std::string> References_;  // parameter names in text order
  int RowsAffected_ = -1;
};

// The parameters of a TIBDataSet's select statement, found by name. Unlike a
// query's Params, asking for a name the statement does not have is an error.
// Owned by its dataset.
class TIBSQLParams {
 public:
  TIBSQLParams();
  ~TIBSQLParams();
  int Count() const { return Params_->Count(); }
  TParam* GetItem(int Index) const { return Params_->GetItem(Index); }
  // Raises EIBError ("Parameter 'X' not found") for an unknown name.
  TParam* ByName(const std::string& Name) const;
  std::string GetParamNames() const { return Params_->GetParamNames(); }
  TParams& List() { return *Params_; }
  const TParams& List() const { return *Params_; }

 private:
  TOwned<TParams> Params_;
};

class TIBDataSet : public TIBCustomDataSet {
  FYNDRA_CLASS(TIBDataSet, TIBCustomDataSet)

 public:
  // The select statement. Changing it closes the dataset, unprepares it and
  // parses its parameters again (values of names that stay are kept).
  TStrings* GetSelectSQL() const { return SelectSQL_.get(); }
  void SetSelectSQL(TStrings* Value);
  // The select statement's parameters; Params is the same object.
  TIBSQLParams* GetSQLParams() const { return SQLParams_.get(); }
  TIBSQLParams* GetParams() const { return SQLParams_.get(); }

  TOwned<TIndexDef> PSGetDefaultOrder() const override;

  void AfterConstruction() override;

 protected:
  explicit TIBDataSet(TComponent* Owner);
  std::string SelectText() override { return EngineText_; }
  void BindParams(TIBClientStatement& Statement) const override;

 private:
  void SQLChanged(TObject* Sender);

  TOwned<TStringList> SelectSQL_;
  std::unique_ptr<TIBSQLParams> SQLParams_;
  std::string EngineText_;
  std::vector<std::string> References_;
};

}  // namespace fyndra
