#include <fyndra/platform/ib/ibdatabase.h>

#include <algorithm>

#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/ib/ibcustomdataset.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SDatabaseOpen = "Cannot perform this operation on an open database";
constexpr const char* SDatabaseClosed = "Cannot perform this operation on a closed database";
constexpr const char* SNoDatabaseName = "No database name given";
constexpr const char* SBadDatabaseParam = "Unknown database parameter '%s'";
constexpr const char* SBadParamValue = "Invalid value '%s' for database parameter %s";
constexpr const char* SCharSetUtf8 = "The connection character set must be UTF8 (texts are UTF-8), not '%s'";
constexpr const char* STransactionActive = "Cannot perform this operation on an active transaction";
constexpr const char* STransactionInactive = "Transaction is not active";
constexpr const char* SNoDefaultDatabase = "No database: set DefaultDatabase";

}  // namespace

// ---------------------------------------------------------------------------
// TIBDatabase

FYNDRA_PUBLISHED(TIBDatabase, P) {
  P.Property("DatabaseName", &TIBDatabase::GetDatabaseName, &TIBDatabase::SetDatabaseName);
  P.Property("Params", &TIBDatabase::GetParams, &TIBDatabase::SetParams);
  P.Property("LoginPrompt", &TIBDatabase::GetLoginPrompt, &TIBDatabase::SetLoginPrompt).Default(true);
  P.Property("DefaultTransaction", &TIBDatabase::GetDefaultTransaction, &TIBDatabase::SetDefaultTransaction);
  P.Property("Connected", &TIBDatabase::GetConnected, &TIBDatabase::SetConnected).Default(false);
  P.Property("OnLogin", &TIBDatabase::OnLogin);
  P.Property("AfterConnect", &TIBDatabase::AfterConnect);
  P.Property("BeforeDisconnect", &TIBDatabase::BeforeDisconnect);
}
static const bool TIBDatabaseRegistered = (RegisterClass(TIBDatabase::StaticClass()), true);

TIBDatabase::TIBDatabase(TComponent* Owner) : TComponent(Owner) {}

void TIBDatabase::AfterConstruction() {
  TComponent::AfterConstruction();
  Params_ = CreateOwned<TStringList>();
}

void TIBDatabase::BeforeDestruction() {
  Disconnect();
  for (TComponent* C : std::vector<TComponent*>(Clients_)) UnregisterClient(C);
  SetDefaultTransaction(nullptr);
  TComponent::BeforeDestruction();
}

void TIBDatabase::SetDatabaseName(const std::string& Value) {
  if (Value == DatabaseName_) return;
  if (GetConnected()) IBError(SDatabaseOpen, this);
  DatabaseName_ = Value;
}

void TIBDatabase::SetParams(TStrings* Value) { Params_->Assign(Value); }

void TIBDatabase::SetDefaultTransaction(TIBTransaction* Value) {
  if (Value == DefaultTransaction_) return;
  DefaultTransaction_ = Value;
  if (DefaultTransaction_) {
    FreeNotification(DefaultTransaction_);
    if (!DefaultTransaction_->GetDefaultDatabase() && !DefaultTransaction_->GetActive())
      DefaultTransaction_->SetDefaultDatabase(this);
  }
}

TIBConnectOptions TIBDatabase::ConnectOptions() const {
  TOwned<TStringList> Lines = CreateOwned<TStringList>();
  Lines->Assign(Params_.get());
  if (LoginPrompt_ && OnLogin) OnLogin(const_cast<TIBDatabase*>(this), Lines.get());
  TIBConnectOptions O;
  for (int I = 0; I < Lines->Count(); ++I) {
    if (Trim(Lines->Get(I)).empty()) continue;
    const std::string Name = Trim(Lines->GetName(I)), Value = Lines->GetValueFromIndex(I);
    const std::string Key = AnsiLowerCase(Name.empty() ? Trim(Lines->Get(I)) : Name);
    if (Key == "user_name") O.UserName = Value;
    else if (Key == "password") O.Password = Value;
    else if (Key == "sql_role_name") O.Role = Value;
    else if (Key == "lc_ctype") {
      if (!AnsiSameText(Trim(Value), "UTF8") && !AnsiSameText(Trim(Value), "UTF-8"))
        IBError(Format(SCharSetUtf8, {Value}), this);
    } else if (Key == "page_size") {
      std::int32_t Size = 0;
      if (!TryStrToInt(Trim(Value), Size) || Size <= 0) IBError(Format(SBadParamValue, {Value, Name}), this);
      O.PageSize = Size;
    } else {
      IBError(Format(SBadDatabaseParam, {Name.empty() ? Lines->Get(I) : Name}), this);
    }
  }
  return O;
}

void TIBDatabase::Connect(bool Create) {
  if (GetConnected()) IBError(SDatabaseOpen, this);
  if (DatabaseName_.empty()) IBError(SNoDatabaseName, this);
  const TIBConnectOptions Options = ConnectOptions();
  try {
    Attachment_ = Create ? TIBClientAttachment::Create(DatabaseName_, Options)
                         : TIBClientAttachment::Attach(DatabaseName_, Options);
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
  if (AfterConnect) AfterConnect(this);
}

void TIBDatabase::Disconnect() {
  if (!GetConnected()) return;
  if (BeforeDisconnect) BeforeDisconnect(this);
  // Datasets give up their statements, then transactions end: nothing of
  // the engine outlives the attachment.
  for (TComponent* C : std::vector<TComponent*>(Clients_))
    if (auto* D = dynamic_cast<TIBCustomDataSet*>(C)) D->ReleaseStatements();
  for (TComponent* C : std::vector<TComponent*>(Clients_))
    if (auto* T = dynamic_cast<TIBTransaction*>(C)) T->DatabaseClosing();
  Attachment_.reset();
}

void TIBDatabase::SetConnected(bool Value) {
  if (ComponentState().Contains(csLoading)) {
    StreamedConnected_ = Value;
    return;
  }
  if (Value == GetConnected()) return;
  if (Value) Connect(false);
  else Disconnect();
}

void TIBDatabase::Loaded() {
  TComponent::Loaded();
  if (StreamedConnected_) {
    StreamedConnected_ = false;
    SetConnected(true);
  }
}

void TIBDatabase::CreateDatabase() { Connect(true); }

void TIBDatabase::DropDatabase() {
  if (!GetConnected()) IBError(SDatabaseClosed, this);
  if (BeforeDisconnect) BeforeDisconnect(this);
  for (TComponent* C : std::vector<TComponent*>(Clients_))
    if (auto* D = dynamic_cast<TIBCustomDataSet*>(C)) D->ReleaseStatements();
  for (TComponent* C : std::vector<TComponent*>(Clients_))
    if (auto* T = dynamic_cast<TIBTransaction*>(C)) T->DatabaseClosing();
  try {
    Attachment_->Drop();
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
  Attachment_.reset();
}

TIBClientAttachment& TIBDatabase::Attachment() const {
  if (!Attachment_) IBError(SDatabaseClosed, this);
  return *Attachment_;
}

void TIBDatabase::ExecuteImmediate(const std::string& SQL) {
  try {
    TIBClientTransaction T(Attachment(), {});
    {
      TIBClientStatement S(T, SQL);
      S.Execute(T);
    }
    T.Commit();
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
}

void TIBDatabase::RegisterClient(TComponent* Client) {
  if (std::find(Clients_.begin(), Clients_.end(), Client) != Clients_.end()) return;
  Clients_.push_back(Client);
  FreeNotification(Client);
}

void TIBDatabase::UnregisterClient(TComponent* Client) {
  auto It = std::find(Clients_.begin(), Clients_.end(), Client);
  if (It == Clients_.end()) return;
  Clients_.erase(It);
}

int TIBDatabase::DataSetCount() const {
  return static_cast<int>(std::count_if(Clients_.begin(), Clients_.end(),
                                        [](TComponent* C) { return dynamic_cast<TDataSet*>(C) != nullptr; }));
}

int TIBDatabase::TransactionCount() const {
  return static_cast<int>(std::count_if(Clients_.begin(), Clients_.end(),
                                        [](TComponent* C) { return dynamic_cast<TIBTransaction*>(C) != nullptr; }));
}

void TIBDatabase::Notification(TComponent* Component, TOperation Operation) {
  TComponent::Notification(Component, Operation);
  if (Operation != opRemove) return;
  Clients_.erase(std::remove(Clients_.begin(), Clients_.end(), Component), Clients_.end());
  if (Component == DefaultTransaction_) DefaultTransaction_ = nullptr;
}

// ---------------------------------------------------------------------------
// TIBTransaction

FYNDRA_PUBLISHED(TIBTransaction, P) {
  P.Property("DefaultDatabase", &TIBTransaction::GetDefaultDatabase, &TIBTransaction::SetDefaultDatabase);
  P.Property("Params", &TIBTransaction::GetParams, &TIBTransaction::SetParams);
  P.Property("Active", &TIBTransaction::GetActive, &TIBTransaction::SetActive).Default(false);
}
static const bool TIBTransactionRegistered = (RegisterClass(TIBTransaction::StaticClass()), true);

TIBTransaction::TIBTransaction(TComponent* Owner) : TComponent(Owner) {}

void TIBTransaction::AfterConstruction() {
  TComponent::AfterConstruction();
  Params_ = CreateOwned<TStringList>();
}

void TIBTransaction::BeforeDestruction() {
  CloseDataSets();
  Transaction_.reset();  // rolls back
  for (TDataSet* D : std::vector<TDataSet*>(DataSets_)) UnregisterDataSet(D);
  SetDefaultDatabase(nullptr);
  TComponent::BeforeDestruction();
}

void TIBTransaction::SetDefaultDatabase(TIBDatabase* Value) {
  if (Value == DefaultDatabase_) return;
  if (GetActive()) IBError(STransactionActive, this);
  if (DefaultDatabase_) DefaultDatabase_->UnregisterClient(this);
  DefaultDatabase_ = Value;
  if (DefaultDatabase_) {
    FreeNotification(DefaultDatabase_);
    DefaultDatabase_->RegisterClient(this);
  }
}

void TIBTransaction::SetParams(TStrings* Value) { Params_->Assign(Value); }

void TIBTransaction::SetActive(bool Value) {
  if (ComponentState().Contains(csLoading)) {
    StreamedActive_ = Value;
    return;
  }
  if (Value == GetActive()) return;
  if (Value) StartTransaction();
  else Rollback();
}

void TIBTransaction::Loaded() {
  TComponent::Loaded();
  if (StreamedActive_) {
    StreamedActive_ = false;
    SetActive(true);
  }
}

void TIBTransaction::StartTransaction() {
  if (GetActive()) IBError(STransactionActive, this);
  if (!DefaultDatabase_) IBError(SNoDefaultDatabase, this);
  std::vector<std::string> Lines;
  for (int I = 0; I < Params_->Count(); ++I) Lines.push_back(Params_->Get(I));
  try {
    const std::vector<std::uint8_t> Tpb = IBTransactionParameters(Lines);
    DefaultDatabase_->Open();
    Transaction_ = std::make_unique<TIBClientTransaction>(DefaultDatabase_->Attachment(), Tpb);
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
}

void TIBTransaction::CheckActive() const {
  if (!GetActive()) IBError(STransactionInactive, this);
}

TIBClientTransaction& TIBTransaction::Handle() const {
  CheckActive();
  return *Transaction_;
}

void TIBTransaction::CloseDataSets() {
  for (TDataSet* D : std::vector<TDataSet*>(DataSets_)) {
    if (auto* IB = dynamic_cast<TIBCustomDataSet*>(D)) IB->ReleaseStatements();
    else if (D->GetActive()) D->Close();
  }
}

void TIBTransaction::EndTransaction(bool Commit) {
  CheckActive();
  // The engine ends the transaction first: a Commit that fails changes nothing.
  // Cursors do not survive it, so the datasets close.
  try {
    if (Commit) Transaction_->Commit();
    else Transaction_->Rollback();
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
  Transaction_.reset();
  CloseDataSets();
}

void TIBTransaction::Commit() { EndTransaction(true); }
void TIBTransaction::Rollback() { EndTransaction(false); }

void TIBTransaction::CommitRetaining() {
  CheckActive();
  try {
    Transaction_->CommitRetaining();
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
}

void TIBTransaction::RollbackRetaining() {
  CheckActive();
  try {
    Transaction_->RollbackRetaining();
  } catch (const EIBError& E) {
    IBReraise(E, this);
  }
}

void TIBTransaction::DatabaseClosing() {
  CloseDataSets();
  Transaction_.reset();  // rolls back
}

void TIBTransaction::RegisterDataSet(TDataSet* DataSet) {
  if (std::find(DataSets_.begin(), DataSets_.end(), DataSet) != DataSets_.end()) return;
  DataSets_.push_back(DataSet);
  FreeNotification(DataSet);
}

void TIBTransaction::UnregisterDataSet(TDataSet* DataSet) {
  auto It = std::find(DataSets_.begin(), DataSets_.end(), DataSet);
  if (It == DataSets_.end()) return;
  DataSets_.erase(It);
}

void TIBTransaction::Notification(TComponent* Component, TOperation Operation) {
  TComponent::Notification(Component, Operation);
  if (Operation != opRemove) return;
  DataSets_.erase(std::remove(DataSets_.begin(), DataSets_.end(), Component), DataSets_.end());
  if (Component == DefaultDatabase_) {
    Transaction_.reset();
    DefaultDatabase_ = nullptr;
  }
}

}  // namespace fyndra
