#include <fyndra/platform/bde/database.h>

#include <algorithm>

#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SDatabaseOpen = "Cannot perform this operation on an open database";
constexpr const char* SDatabaseClosed = "Cannot perform this operation on a closed database";
constexpr const char* SNoDatabaseName = "No database name given";
constexpr const char* STransActive = "A transaction is already active";
constexpr const char* SNoTransaction = "No transaction is active";
constexpr const char* SBadParam = "Invalid value '%s' for database parameter %s";

// Every database in existence, so datasets can find theirs by name.
std::vector<TDatabase*>& AllDatabases() {
  static std::vector<TDatabase*> List;
  return List;
}

bool ParamIsTrue(const std::string& Value, const std::string& Name, const TComponent* Db) {
  if (Value.empty()) return false;
  bool B = false;
  if (!TryStrToBool(Value, B))
    DatabaseError(Format(SBadParam, {Value, Name}), Db);
  return B;
}

}  // namespace

FYNDRA_PUBLISHED(TDatabase, P) {
  P.Property("DatabaseName", &TDatabase::GetDatabaseName, &TDatabase::SetDatabaseName);
  P.Property("Params", &TDatabase::GetParams, &TDatabase::SetParams);
  P.Property("Connected", &TDatabase::GetConnected, &TDatabase::SetConnected).Default(false);
}
static const bool TDatabaseRegistered = (RegisterClass(TDatabase::StaticClass()), true);

TDatabase::TDatabase(TComponent* Owner) : TComponent(Owner) {}

void TDatabase::AfterConstruction() {
  TComponent::AfterConstruction();
  Params_ = CreateOwned<TStringList>();
  AllDatabases().push_back(this);
}

void TDatabase::BeforeDestruction() {
  // Datasets finish their statements before the connection goes.
  CloseDataSets();
  Connection_.reset();
  TComponent::BeforeDestruction();
}

TDatabase::~TDatabase() {
  auto& All = AllDatabases();
  All.erase(std::remove(All.begin(), All.end(), this), All.end());
  // Datasets still attached forget this database through the free
  // notification the component base sends.
}

void TDatabase::CheckInactive() const {
  if (GetConnected()) DatabaseError(SDatabaseOpen, this);
}

void TDatabase::SetDatabaseName(const std::string& Value) {
  if (Value == DatabaseName_) return;
  CheckInactive();
  DatabaseName_ = Value;
}

void TDatabase::SetParams(TStrings* Value) { Params_->Assign(Value); }

TSQLiteOpenOptions TDatabase::OpenOptions() const {
  TSQLiteOpenOptions O;
  O.Create = ParamIsTrue(Params_->GetValue("CREATE"), "CREATE", this);
  O.ReadOnly = ParamIsTrue(Params_->GetValue("READONLY"), "READONLY", this);
  std::string Timeout = Params_->GetValue("BUSY TIMEOUT");
  if (!Timeout.empty()) {
    std::int32_t Ms = 0;
    if (!TryStrToInt(Timeout, Ms) || Ms < 0) DatabaseError(Format(SBadParam, {Timeout, std::string("BUSY TIMEOUT")}), this);
    O.BusyTimeoutMs = Ms;
  }
  return O;
}

void TDatabase::SetConnected(bool Value) {
  if (ComponentState().Contains(csLoading)) {
    // Opened in Loaded, once every streamed property is in place.
    StreamedConnected_ = Value;
    return;
  }
  if (Value == GetConnected()) return;
  if (Value) {
    if (DatabaseName_.empty()) DatabaseError(SNoDatabaseName, this);
    try {
      Connection_ = std::make_unique<TSQLiteConnection>(DatabaseName_, OpenOptions());
    } catch (const EDatabaseError& E) {
      DatabaseError(E.Message(), this);
    }
    if (AfterConnect) AfterConnect(this);
  } else {
    if (BeforeDisconnect) BeforeDisconnect(this);
    CloseDataSets();
    Connection_.reset();  // rolls back a transaction still open
  }
}

void TDatabase::Loaded() {
  TComponent::Loaded();
  if (StreamedConnected_) {
    StreamedConnected_ = false;
    SetConnected(true);
  }
}

TSQLiteConnection& TDatabase::Connection() const {
  if (!Connection_) DatabaseError(SDatabaseClosed, this);
  return *Connection_;
}

void TDatabase::Execute(const std::string& SQL) {
  try {
    Connection().Exec(SQL);
  } catch (const EDatabaseError& E) {
    // A failed statement inside BEGIN … COMMIT text must not leave a
    // transaction open that the caller never started.
    DatabaseError(E.Message(), this);
  }
}

bool TDatabase::InTransaction() const { return Connection_ && Connection_->InTransaction(); }

void TDatabase::StartTransaction() {
  if (InTransaction()) DatabaseError(STransActive, this);
  Connection().Exec("BEGIN");
}

void TDatabase::Commit() {
  if (!InTransaction()) DatabaseError(SNoTransaction, this);
  try {
    Connection_->Exec("COMMIT");
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
}

void TDatabase::Rollback() {
  if (!InTransaction()) DatabaseError(SNoTransaction, this);
  Connection_->Exec("ROLLBACK");
}

void TDatabase::RegisterDataSet(TDataSet* DataSet) {
  if (std::find(DataSets_.begin(), DataSets_.end(), DataSet) != DataSets_.end()) return;
  DataSets_.push_back(DataSet);
  FreeNotification(DataSet);
}

void TDatabase::UnregisterDataSet(TDataSet* DataSet) {
  auto It = std::find(DataSets_.begin(), DataSets_.end(), DataSet);
  if (It == DataSets_.end()) return;
  DataSets_.erase(It);
  RemoveFreeNotification(DataSet);
}

void TDatabase::CloseDataSets() {
  // Closing may make a dataset detach; walk a copy. The family's datasets
  // also give up their prepared statements, which must not outlive the
  // connection.
  std::vector<TDataSet*> Open = DataSets_;
  for (TDataSet* D : Open) {
    if (auto* B = dynamic_cast<TBDEDataSet*>(D)) B->ReleaseStatements();
    else if (D->GetActive()) D->Close();
  }
}

void TDatabase::Notification(TComponent* Component, TOperation Operation) {
  TComponent::Notification(Component, Operation);
  if (Operation == opRemove) {
    auto It = std::find(DataSets_.begin(), DataSets_.end(), Component);
    if (It != DataSets_.end()) DataSets_.erase(It);
  }
}

TDatabase* TDatabase::FindDatabase(const std::string& Name) {
  for (TDatabase* D : AllDatabases())
    if (!Name.empty() && D->DatabaseName_ == Name) return D;
  return nullptr;
}

}  // namespace fyndra
