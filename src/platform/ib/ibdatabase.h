// TIBDatabase and TIBTransaction: one attachment to a Firebird database (a
// file opened by the embedded engine, or host:path on a server) and the
// transactions the family's datasets read in.
//
// Ownership: both are components freed by their owner. A database owns its
// attachment and Params; a transaction owns its engine transaction and
// Params. Neither owns the other nor the datasets: datasets register with
// the transaction they read in and the database they read from, and are closed
// by them; a transaction is linked to its DefaultDatabase by a free
// notification, and the database ends its transactions before it detaches.
//
// Database Params (NAME=VALUE lines, names ignoring case):
//   user_name, password, sql_role_name   the login
//   lc_ctype                             must be UTF8 (texts are UTF-8 here)
//   page_size                            for CreateDatabase
// Transaction Params: one word a line, see IBTransactionParameters
// (ibclient.h); none gives the engine's default (concurrency, wait, write).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/events.h>
#include <fyndra/platform/ib/ibclient.h>

namespace fyndra {

class TDataSet;
class TIBTransaction;

// Called before connecting while LoginPrompt is true: fills LoginParams
// (user_name, password) from the user.
using TIBLoginEvent = TEvent<void(class TIBDatabase* Database, TStrings* LoginParams)>;

class TIBDatabase : public TComponent {
  FYNDRA_CLASS(TIBDatabase, TComponent)

 public:
  // A file path, or host:path. REQUIRES: not connected (EIBError otherwise).
  const std::string& GetDatabaseName() const { return DatabaseName_; }
  void SetDatabaseName(const std::string& Value);
  TStrings* GetParams() const { return Params_.get(); }
  void SetParams(TStrings* Value);  // copies the lines
  // When true, OnLogin (if assigned) supplies the login before connecting;
  // without a handler the Params are used as they are.
  bool GetLoginPrompt() const { return LoginPrompt_; }
  void SetLoginPrompt(bool Value) { LoginPrompt_ = Value; }
  // The transaction of datasets that name none.
  TIBTransaction* GetDefaultTransaction() const { return DefaultTransaction_; }
  void SetDefaultTransaction(TIBTransaction* Value);

  // Connecting raises EIBError with the engine's message (missing, damaged or
  // locked file, bad login) and leaves the database closed.
  bool GetConnected() const { return Attachment_ != nullptr; }
  void SetConnected(bool Value);
  void Open() { SetConnected(true); }
  // Closes the datasets, rolls back the open transactions, then detaches.
  void Close() { SetConnected(false); }

  // Creates the database file named by DatabaseName (refused when it exists),
  // with UTF8 as its default character set, and stays connected to it.
  void CreateDatabase();
  // Deletes the database file; the database is closed afterwards.
  // REQUIRES: connected.
  void DropDatabase();

  // Runs SQL that returns no rows in a transaction of its own, committed at
  // once (schema changes, bulk statements). REQUIRES: connected.
  void ExecuteImmediate(const std::string& SQL);

  // REQUIRES: connected (EIBError otherwise).
  TIBClientAttachment& Attachment() const;

  TIBLoginEvent OnLogin;
  TNotifyEvent AfterConnect, BeforeDisconnect;

  // Called by the family's datasets and transactions when they attach and detach.
  void RegisterClient(TComponent* Client);
  void UnregisterClient(TComponent* Client);
  int DataSetCount() const;
  int TransactionCount() const;

  void AfterConstruction() override;
  void BeforeDestruction() override;

 protected:
  explicit TIBDatabase(TComponent* Owner);
  void Loaded() override;
  void Notification(TComponent* Component, TOperation Operation) override;

 private:
  TIBConnectOptions ConnectOptions() const;
  void Connect(bool Create);
  void Disconnect();

  std::string DatabaseName_;
  TOwned<TStringList> Params_;
  bool LoginPrompt_ = true;
  TIBTransaction* DefaultTransaction_ = nullptr;
  std::unique_ptr<TIBClientAttachment> Attachment_;
  std::vector<TComponent*> Clients_;  // datasets and transactions
  bool StreamedConnected_ = false;
};

class TIBTransaction : public TComponent {
  FYNDRA_CLASS(TIBTransaction, TComponent)

 public:
  TIBDatabase* GetDefaultDatabase() const { return DefaultDatabase_; }
  // REQUIRES: not active.
  void SetDefaultDatabase(TIBDatabase* Value);
  TStrings* GetParams() const { return Params_.get(); }
  void SetParams(TStrings* Value);

  bool GetActive() const { return Transaction_ != nullptr; }
  void SetActive(bool Value);
  bool InTransaction() const { return GetActive(); }
  // Connects the database when needed. Raises when already active.
  void StartTransaction();
  // Commit and Rollback end the transaction and close the datasets reading in
  // it; the retaining forms keep the transaction's context and the datasets
  // open. Each raises when no transaction is active; a Commit that fails leaves
  // the transaction active for a retry or Rollback.
  void Commit();
  void Rollback();
  void CommitRetaining();
  void RollbackRetaining();

  // REQUIRES: active (EIBError otherwise).
  TIBClientTransaction& Handle() const;

  // Called by the family's datasets when they attach and detach.
  void RegisterDataSet(TDataSet* DataSet);
  void UnregisterDataSet(TDataSet* DataSet);
  // Called by the database before it detaches: rolls back.
  void DatabaseClosing();

  void AfterConstruction() override;
  void BeforeDestruction() override;

 protected:
  explicit TIBTransaction(TComponent* Owner);
  void Loaded() override;
  void Notification(TComponent* Component, TOperation Operation) override;

 private:
  void CheckActive() const;
  void CloseDataSets();
  void EndTransaction(bool Commit);

  TIBDatabase* DefaultDatabase_ = nullptr;
  TOwned<TStringList> Params_;
  std::unique_ptr<TIBClientTransaction> Transaction_;
  std::vector<TDataSet*> DataSets_;
  bool StreamedActive_ = false;
};

}  // namespace fyndra
