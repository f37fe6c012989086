// TADOConnection and the parameters of the ODBC family.
#include <fyndra/platform/ado/adodb.h>

#include <algorithm>

#include <fyndra/platform/db/params.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SConnectionOpen = "Cannot perform this operation on an open connection";
constexpr const char* SConnectionClosed = "Cannot perform this operation on a closed connection";
constexpr const char* SNoConnectionString = "No connection string given";
constexpr const char* SNoLoginPrompt =
    "There is no login dialog: set LoginPrompt to false and put the user and password in ConnectionString";
constexpr const char* STransActive = "A transaction is already active";
constexpr const char* SNoTransaction = "No transaction is active";
constexpr const char* SParameterNotFound = "Parameter '%s' not found";

}  // namespace

// ---------------------------------------------------------------------------
// TADOConnection

FYNDRA_PUBLISHED(TADOConnection, P) {
  P.Property("ConnectionString", &TADOConnection::GetConnectionString, &TADOConnection::SetConnectionString);
  P.Property("LoginPrompt", &TADOConnection::GetLoginPrompt, &TADOConnection::SetLoginPrompt).Default(false);
  P.Property("Connected", &TADOConnection::GetConnected, &TADOConnection::SetConnected).Default(false);
}
static const bool TADOConnectionRegistered = (RegisterClass(TADOConnection::StaticClass()), true);

TADOConnection::TADOConnection(TComponent* Owner) : TComponent(Owner) {}

void TADOConnection::BeforeDestruction() {
  // Datasets finish their statements before the connection goes.
  CloseDataSets();
  Connection_.reset();
  TComponent::BeforeDestruction();
}

void TADOConnection::SetConnectionString(const std::string& Value) {
  if (Value == ConnectionString_) return;
  if (GetConnected()) DatabaseError(SConnectionOpen, this);
  ConnectionString_ = Value;
}

void TADOConnection::SetConnected(bool Value) {
  if (ComponentState().Contains(csLoading)) {
    // Connected in Loaded, once every streamed property is in place.
    StreamedConnected_ = Value;
    return;
  }
  if (Value == GetConnected()) return;
  if (Value) {
    if (LoginPrompt_) DatabaseError(SNoLoginPrompt, this);
    if (ConnectionString_.empty()) DatabaseError(SNoConnectionString, this);
    try {
      Connection_ = std::make_unique<TOdbcConnection>(ConnectionString_);
    } catch (const EDatabaseError& E) {
      DatabaseError(E.Message(), this);
    }
    InTransaction_ = false;
    if (AfterConnect) AfterConnect(this);
  } else {
    if (BeforeDisconnect) BeforeDisconnect(this);
    CloseDataSets();
    Connection_.reset();  // rolls back a transaction still open
    InTransaction_ = false;
  }
}

void TADOConnection::Loaded() {
  TComponent::Loaded();
  if (StreamedConnected_) {
    StreamedConnected_ = false;
    SetConnected(true);
  }
}

TOdbcConnection& TADOConnection::Connection() const {
  if (!Connection_) DatabaseError(SConnectionClosed, this);
  return *Connection_;
}

std::int64_t TADOConnection::Execute(const std::string& SQL) {
  TOdbcConnection& C = Connection();
  try {
    TOdbcStatement S(C, SQL);
    S.Execute();
    return S.RowsAffected();
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
}

int TADOConnection::BeginTrans() {
  if (InTransaction_) DatabaseError(STransActive, this);
  TOdbcConnection& C = Connection();
  try {
    C.SetAutoCommit(false);
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
  InTransaction_ = true;
  return 1;
}

void TADOConnection::CommitTrans() {
  if (!InTransaction_) DatabaseError(SNoTransaction, this);
  try {
    Connection_->EndTransaction(true);
    Connection_->SetAutoCommit(true);
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
  InTransaction_ = false;
}

void TADOConnection::RollbackTrans() {
  if (!InTransaction_) DatabaseError(SNoTransaction, this);
  try {
    Connection_->EndTransaction(false);
    Connection_->SetAutoCommit(true);
  } catch (const EDatabaseError& E) {
    DatabaseError(E.Message(), this);
  }
  InTransaction_ = false;
}

void TADOConnection::RegisterDataSet(TCustomADODataSet* DataSet) {
  if (std::find(DataSets_.begin(), DataSets_.end(), DataSet) != DataSets_.end()) return;
  DataSets_.push_back(DataSet);
  FreeNotification(DataSet);
}

void TADOConnection::UnregisterDataSet(TCustomADODataSet* DataSet) {
  auto It = std::find(DataSets_.begin(), DataSets_.end(), DataSet);
  if (It == DataSets_.end()) return;
  DataSets_.erase(It);
  RemoveFreeNotification(DataSet);
}

void TADOConnection::CloseDataSets() {
  // Closing may make a dataset detach; walk a copy.
  std::vector<TCustomADODataSet*> Open = DataSets_;
  for (TCustomADODataSet* D : Open) D->ReleaseStatements();
}

void TADOConnection::Notification(TComponent* Component, TOperation Operation) {
  TComponent::Notification(Component, Operation);
  if (Operation != opRemove) return;
  auto It = std::find(DataSets_.begin(), DataSets_.end(), Component);
  if (It != DataSets_.end()) DataSets_.erase(It);
}

// ---------------------------------------------------------------------------
// TParameter, TParameters

FYNDRA_PUBLISHED(TParameter, P) {
  P.Property("Name", &TParameter::GetName, &TParameter::SetName);
  P.Property("DataType", &TParameter::GetDataType, &TParameter::SetDataType).Default(ftUnknown);
  P.Property("Direction", &TParameter::GetDirection, &TParameter::SetDirection).Default(pdInput);
  P.Property("NumericScale", &TParameter::GetNumericScale, &TParameter::SetNumericScale).Default(0);
  P.Property("Precision", &TParameter::GetPrecision, &TParameter::SetPrecision).Default(0);
  P.Property("Size", &TParameter::GetSize, &TParameter::SetSize).Default(0);
  P.Property("Value", &TParameter::GetValue, &TParameter::SetValue);
}
FYNDRA_IMPLEMENT_CLASS(TParameters)

TParameter::TParameter(TCollection* Collection) : TCollectionItem(Collection) {}

void TParameter::SetValue(const Variant& Value) {
  if (DataType_ == ftUnknown && !Value.IsNull() && !Value.IsEmpty()) DataType_ = OdbcFieldTypeOfVariant(Value);
  Value_ = Value;
}

void TParameter::Assign(TPersistent* Source) {
  if (auto* Other = dynamic_cast<TParameter*>(Source)) {
    Name_ = Other->Name_;
    DataType_ = Other->DataType_;
    Direction_ = Other->Direction_;
    Size_ = Other->Size_;
    Precision_ = Other->Precision_;
    NumericScale_ = Other->NumericScale_;
    Value_ = Other->Value_;
    return;
  }
  TCollectionItem::Assign(Source);
}

std::string TParameter::GetDisplayName() const {
  return Name_.empty() ? TCollectionItem::GetDisplayName() : Utf16ToUtf8(Name_);
}

TParameters::TParameters(TPersistent* Owner) : TOwnedCollection(Owner, TParameter::StaticClass()) {}

TParameter* TParameters::GetItem(int Index) const {
  return static_cast<TParameter*>(TOwnedCollection::GetItem(Index));
}

TParameter* TParameters::AddParameter() { return static_cast<TParameter*>(TOwnedCollection::Add()); }

TParameter* TParameters::CreateParameter(const std::u16string& Name, TFieldType DataType,
                                         TParameterDirection Direction, int Size, const Variant& Value) {
  TParameter* P = AddParameter();
  P->SetName(Name);
  P->SetDataType(DataType);
  P->SetDirection(Direction);
  P->SetSize(Size);
  P->SetValue(Value);
  return P;
}

TParameter* TParameters::FindParam(const std::u16string& Name) const {
  for (int I = 0; I < Count(); ++I)
    if (WideCompareText(GetItem(I)->GetName(), Name) == 0) return GetItem(I);
  return nullptr;
}

TParameter* TParameters::ParamByName(const std::u16string& Name) const {
  TParameter* P = FindParam(Name);
  if (!P)
    DatabaseError(Format(SParameterNotFound, {Utf16ToUtf8(Name)}),
                  dynamic_cast<const TComponent*>(const_cast<TParameters*>(this)->GetOwner()));
  return P;
}

std::string TParameters::ParseSQL(const std::u16string& SQL, bool DoCreate,
                                  std::vector<std::u16string>* References) {
  // The dataset layer's parser reads the references, so quotes, comments and
  // "::" follow one set of rules in every family.
  TOwned<TParams> Scratch = CreateOwned<TParams>(static_cast<TPersistent*>(nullptr));
  std::vector<std::string> Names;
  std::string Engine = Scratch->ParseSQL(Utf16ToUtf8(SQL), false, &Names);
  if (References) {
    References->clear();
    for (const std::string& N : Names) References->push_back(Utf8ToUtf16(N));
  }
  if (!DoCreate) return Engine;
  // Distinct names in order of first use.
  std::vector<std::u16string> Wanted;
  for (const std::string& N : Names) {
    std::u16string W = Utf8ToUtf16(N);
    if (std::none_of(Wanted.begin(), Wanted.end(), [&](const std::u16string& X) { return WideCompareText(X, W) == 0; }))
      Wanted.push_back(std::move(W));
  }
  BeginUpdate();
  try {
    for (int I = Count() - 1; I >= 0; --I) {
      const std::u16string& Name = GetItem(I)->GetName();
      if (std::none_of(Wanted.begin(), Wanted.end(), [&](const std::u16string& X) { return WideCompareText(X, Name) == 0; }))
        Delete(I);
    }
    for (std::size_t I = 0; I < Wanted.size(); ++I) {
      TParameter* P = FindParam(Wanted[I]);
      if (!P) {
        P = AddParameter();
        P->SetName(Wanted[I]);
      }
      P->SetIndex(static_cast<int>(I));
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  return Engine;
}

}  // namespace fyndra
