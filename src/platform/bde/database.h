// TDatabase: one connection to a database file of the engine family. The
// datasets of the family (TBDEDataSet and its descendants) name their database
// and share its connection; closing the database closes its datasets first.
//
// Ownership: a TDatabase is a component freed by its owner; it owns its Params
// list and its connection. It does not own its datasets: each dataset registers
// itself while attached and unregisters when it detaches or is freed.
//
// Params (NAME=VALUE lines, names ignoring case):
//   CREATE=TRUE        create the file when it does not exist (default: a
//                      missing file is an error)
//   READONLY=TRUE      open for reading only
//   BUSY TIMEOUT=<ms>  wait that long for another connection's lock (default 0)
#pragma once

#include <string>
#include <vector>

#include <fyndra/platform/bde/sqliteengine.h>
#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/events.h>

namespace fyndra {

class TDataSet;

class TDatabase : public TComponent {
  FYNDRA_CLASS(TDatabase, TComponent)

 public:
  // A file path, or ":memory:" for a private in-memory database.
  // REQUIRES: not connected (EDatabaseError otherwise).
  const std::string& GetDatabaseName() const { return DatabaseName_; }
  void SetDatabaseName(const std::string& Value);
  TStrings* GetParams() const { return Params_.get(); }
  void SetParams(TStrings* Value);  // copies the lines

  // Opening raises EDatabaseError with the engine's message (missing, locked or
  // damaged file) and leaves the database closed.
  bool GetConnected() const { return Connection_ != nullptr; }
  void SetConnected(bool Value);
  void Open() { SetConnected(true); }
  // Closes the datasets, rolls back an open transaction, then disconnects.
  void Close() { SetConnected(false); }

  // Transactions. StartTransaction raises when one is already open; Commit and
  // Rollback raise when none is. A Commit that fails (a lock held by another
  // connection) leaves the transaction open for a retry or Rollback.
  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const;

  // Runs SQL that returns no rows on the connection (schema changes, bulk
  // statements). REQUIRES: connected.
  void Execute(const std::string& SQL);

  // The engine connection. REQUIRES: connected (EDatabaseError otherwise).
  TSQLiteConnection& Connection() const;

  int DataSetCount() const { return static_cast<int>(DataSets_.size()); }
  TDataSet* GetDataSet(int Index) const { return DataSets_.at(static_cast<std::size_t>(Index)); }
  void CloseDataSets();

  // The database whose DatabaseName is Name (exact text), among all that exist;
  // null when none.
  static TDatabase* FindDatabase(const std::string& Name);

  TNotifyEvent AfterConnect, BeforeDisconnect;

  // Called by the family's datasets when they attach and detach.
  void RegisterDataSet(TDataSet* DataSet);
  void UnregisterDataSet(TDataSet* DataSet);

  void AfterConstruction() override;
  void BeforeDestruction() override;
  ~TDatabase() override;

 protected:
  explicit TDatabase(TComponent* Owner);
  void Loaded() override;
  void Notification(TComponent* Component, TOperation Operation) override;

 private:
  void CheckInactive() const;
  TSQLiteOpenOptions OpenOptions() const;

  std::string DatabaseName_;
  TOwned<TStringList> Params_;
  std::unique_ptr<TSQLiteConnection> Connection_;
  std::vector<TDataSet*> DataSets_;
  bool StreamedConnected_ = false;
};

}  // namespace fyndra
