#include <fyndra/platform/ib/ibclient.h>

#include <firebird/Interface.h>
#include <ibase.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

using Firebird::FbException;
using Firebird::IAttachment;
using Firebird::IBlob;
using Firebird::IMessageMetadata;
using Firebird::IMetadataBuilder;
using Firebird::IResultSet;
using Firebird::IStatement;
using Firebird::IStatus;
using Firebird::ITransaction;
using Firebird::IXpbBuilder;

namespace {

constexpr unsigned Dialect = SQL_DIALECT_V6;
constexpr unsigned CharSetNone = 0, CharSetOctets = 1, CharSetUnicodeFss = 3, CharSetUtf8 = 4;
// The longest text a VARCHAR parameter carries.
constexpr std::size_t MaxVaryingBytes = 32765;

std::atomic<bool> EngineStarted{false};

struct TClient {
  Firebird::IMaster* Master;
  Firebird::IProvider* Provider;
  Firebird::IUtil* Util;
};

TClient& Client() {
  static TClient C = [] {
    EngineStarted = true;
    Firebird::IMaster* M = Firebird::fb_get_master_interface();
    return TClient{M, M->getDispatcher(), M->getUtilInterface()};
  }();
  return C;
}

// A status vector for one call (or one object's calls); engine failures
// throw FbException.
class TStatus : public Firebird::ThrowStatusWrapper {
 public:
  TStatus() : ThrowStatusWrapper(Client().Master->getStatus()) {}
  ~TStatus() { dispose(); }
  TStatus(const TStatus&) = delete;
  TStatus& operator=(const TStatus&) = delete;
};

// The engine's message as one line: its parts joined by "; ".
std::string StatusText(IStatus* S) {
  char Buf[4096];
  Client().Util->formatStatus(Buf, sizeof Buf, S);
  std::string Out;
  std::string_view Rest(Buf);
  while (!Rest.empty()) {
    const std::size_t End = std::min(Rest.find('\n'), Rest.size());
    std::string_view L = Rest.substr(0, End);
    Rest.remove_prefix(std::min(End + 1, Rest.size()));
    if (!L.empty() && L.front() == '-') L.remove_prefix(1);
    if (L.empty()) continue;
    if (!Out.empty()) Out += "; ";
    Out += L;
  }
  return Out;
}

[[noreturn]] void RaiseStatus(IStatus* S, const std::string& Prefix) {
  const intptr_t* E = S->getErrors();
  const int Gds = (E && E[0] == isc_arg_gds) ? static_cast<int>(E[1]) : 0;
  const int Sql = E ? static_cast<int>(isc_sqlcode(reinterpret_cast<const ISC_STATUS*>(E))) : 0;
  throw EIBError(Prefix + StatusText(S), Sql, Gds);
}

// Runs F, turning an engine failure into EIBError with Prefix before the
// engine's message.
template <class F>
auto Call(const std::string& Prefix, F&& Fn) -> decltype(Fn()) {
  try {
    return Fn();
  } catch (const FbException& E) {
    RaiseStatus(E.getStatus(), Prefix);
  }
}

IAttachment* Att(void* P) { return static_cast<IAttachment*>(P); }
ITransaction* Tra(void* P) { return static_cast<ITransaction*>(P); }
IMessageMetadata* Meta(void* P) { return static_cast<IMessageMetadata*>(P); }

const TFormatSettings& PointFormat() {
  static const TFormatSettings Settings = [] {
    TFormatSettings S = FormatSettings();
    S.DecimalSeparator = '.';
    S.ThousandSeparator = '\0';
    return S;
  }();
  return Settings;
}

std::int64_t Pow10(int N) {
  std::int64_t P = 1;
  while (N-- > 0) P *= 10;
  return P;
}

std::vector<std::uint8_t> BuildDpb(const TIBConnectOptions& O, bool Create) {
  TStatus St;
  IXpbBuilder* B = Client().Util->getXpbBuilder(&St, IXpbBuilder::DPB, nullptr, 0);
  std::vector<std::uint8_t> Out;
  try {
    // Texts are UTF-8 on our side, so the connection always speaks UTF8;
    // file names are UTF-8 too.
    B->insertString(&St, isc_dpb_lc_ctype, "UTF8");
    B->insertTag(&St, isc_dpb_utf8_filename);
    if (!O.UserName.empty()) B->insertString(&St, isc_dpb_user_name, O.UserName.c_str());
    if (!O.Password.empty()) B->insertString(&St, isc_dpb_password, O.Password.c_str());
    if (!O.Role.empty()) B->insertString(&St, isc_dpb_sql_role_name, O.Role.c_str());
    if (Create) {
      B->insertString(&St, isc_dpb_set_db_charset, "UTF8");
      if (O.PageSize > 0) B->insertInt(&St, isc_dpb_page_size, O.PageSize);
    }
    const std::uint8_t* P = B->getBuffer(&St);
    Out.assign(P, P + B->getBufferLength(&St));
  } catch (...) {
    B->dispose();
    throw;
  }
  B->dispose();
  return Out;
}

// The engine's date and time (ticks) of a TDateTime, to the millisecond.
void SplitDateTime(TDateTime V, std::int32_t& Days, std::uint32_t& Ticks) {
  // TDateTime keeps the time as the fraction's distance from the day, also
  // before 1899 (-1.25 is 29 December 1899, 6:00).
  double Day = std::trunc(V);
  std::int64_t Ms = std::llround(std::fabs(V - Day) * 86400000.0);
  if (Ms >= 86400000) {
    Ms -= 86400000;
    Day += V < 0 ? -1 : 1;
  }
  Days = static_cast<std::int32_t>(Day) + IBDateOffset;
  Ticks = static_cast<std::uint32_t>(Ms * 10);
}

TIBStorage StorageOf(unsigned Type) {
  switch (Type) {
    case SQL_TEXT: return TIBStorage::Text;
    case SQL_VARYING: return TIBStorage::Varying;
    case SQL_SHORT: return TIBStorage::Short;
    case SQL_LONG: return TIBStorage::Long;
    case SQL_INT64: return TIBStorage::Int64;
    case SQL_FLOAT: return TIBStorage::Float;
    case SQL_DOUBLE: case SQL_D_FLOAT: return TIBStorage::Double;
    case SQL_TYPE_DATE: return TIBStorage::Date;
    case SQL_TYPE_TIME: return TIBStorage::Time;
    case SQL_TIMESTAMP: return TIBStorage::TimeStamp;
    case SQL_BOOLEAN: return TIBStorage::Boolean;
    case SQL_BLOB: return TIBStorage::Blob;
    case SQL_NULL: return TIBStorage::Null;
    default: return TIBStorage::Other;
  }
}

// The dataset layer's type, size and precision of a column.
void MapFieldType(TIBColumn& C) {
  auto Scaled = [&](TFieldType Whole, int Digits, bool FitsCurrency) {
    C.Precision = Digits;
    if (C.Scale == 0) {
      C.DataType = Whole;
      C.Precision = 0;
    } else {
      // Currency keeps four places in 64 bits: a scaled value fits it exactly
      // when its storage holds fewer integer digits than Currency does.
      C.DataType = (C.Scale >= -4 && FitsCurrency) ? ftBCD : ftFMTBcd;
      C.Size = -C.Scale;
    }
  };
  switch (C.Storage) {
    case TIBStorage::Text:
    case TIBStorage::Varying: {
      const bool Fixed = C.Storage == TIBStorage::Text;
      if (C.Binary) {
        C.DataType = Fixed ? ftBytes : ftVarBytes;
        C.Size = static_cast<int>(C.Length);
      } else {
        C.DataType = Fixed ? ftFixedChar : ftString;
        C.Size = static_cast<int>(C.Length / C.BytesPerChar);
      }
      break;
    }
    case TIBStorage::Short: Scaled(ftSmallint, 4, true); break;
    case TIBStorage::Long: Scaled(ftInteger, 9, true); break;
    case TIBStorage::Int64: Scaled(ftLargeint, 18, C.Scale == -4); break;
    case TIBStorage::Float: case TIBStorage::Double: C.DataType = ftFloat; break;
    case TIBStorage::Date: C.DataType = ftDate; break;
    case TIBStorage::Time: C.DataType = ftTime; break;
    case TIBStorage::TimeStamp: C.DataType = ftDateTime; break;
    case TIBStorage::Boolean: C.DataType = ftBoolean; break;
    case TIBStorage::Blob: C.DataType = C.SubType == 1 ? ftMemo : ftBlob; break;
    default: C.DataType = ftUnknown; break;
  }
}

std::vector<TIBColumn> Describe(IMessageMetadata* M) {
  TStatus St;
  std::vector<TIBColumn> Out;
  const unsigned N = M->getCount(&St);
  Out.reserve(N);
  for (unsigned I = 0; I < N; ++I) {
    TIBColumn C;
    C.Name = M->getAlias(&St, I);
    C.Relation = M->getRelation(&St, I);
    C.Field = M->getField(&St, I);
    C.Storage = StorageOf(M->getType(&St, I));
    C.Scale = M->getScale(&St, I);
    C.SubType = M->getSubType(&St, I);
    C.Length = M->getLength(&St, I);
    C.Nullable = M->isNullable(&St, I);
    C.Offset = M->getOffset(&St, I);
    C.NullOffset = M->getNullOffset(&St, I);
    const unsigned CharSet = M->getCharSet(&St, I);
    C.Binary = CharSet == CharSetOctets;
    C.BytesPerChar = CharSet == CharSetUtf8 ? 4 : CharSet == CharSetUnicodeFss ? 3 : 1;
    MapFieldType(C);
    Out.push_back(std::move(C));
  }
  return Out;
}

template <class T>
T Load(const std::uint8_t* P) {
  T V;
  std::memcpy(&V, P, sizeof V);
  return V;
}

template <class T>
void Store(std::uint8_t* P, T V) {
  std::memcpy(P, &V, sizeof V);
}

// The value a parameter carries, converted to the type it is bound as.
Variant Coerce(const Variant& V, TFieldType Type) {
  switch (Type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: return Variant(V.AsInt64());
    case ftBoolean: return Variant(V.AsBoolean());
    case ftFloat: return Variant(V.AsDouble());
    case ftCurrency: case ftBCD: return VarIsFMTBcd(V) ? V : Variant(V.AsCurrency());
    case ftFMTBcd: return V.VarType() == varCurrency ? V : VarFMTBcdCreate(V.AsBcd());
    case ftDate: case ftTime: case ftDateTime:
      return VarIsSQLTimeStamp(V) ? V : Variant::FromDateTime(V.AsDateTime());
    case ftTimeStamp: return Variant(V.AsSQLTimeStamp());
    case ftString: case ftFixedChar: case ftMemo: case ftFmtMemo: case ftGuid: case ftWideString:
    case ftBlob: case ftBytes: case ftVarBytes: case ftGraphic: case ftTypedBinary:
      return Variant(V.AsString());
    default: return V;
  }
}

bool IsBinaryType(TFieldType T) {
  return T == ftBlob || T == ftBytes || T == ftVarBytes || T == ftGraphic || T == ftTypedBinary;
}

// An exact decimal as a scaled integer with its own places; false when it
// has more digits than 64 bits hold.
bool BcdToScaled(const TBcd& B, std::int64_t& Scaled, int& Places) {
  const std::string S = BcdToStr(B, PointFormat());
  Places = 0;
  std::string Digits;
  bool Fraction = false;
  for (char C : S) {
    if (C == '.') Fraction = true;
    else if (C >= '0' && C <= '9') {
      Digits += C;
      Places += Fraction;
    }
  }
  Digits.erase(0, std::min(Digits.find_first_not_of('0'), Digits.size()));
  if (Digits.size() > 18 || Places > 18) return false;
  Scaled = Digits.empty() ? 0 : std::stoll(Digits);
  if (!S.empty() && S[0] == '-') Scaled = -Scaled;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------

void IBError(const std::string& Message, const TComponent* Component, int SQLCode, int IBErrorCode) {
  if (Component && !Component->GetName().empty())
    throw EIBError(Component->GetName() + ": " + Message, SQLCode, IBErrorCode);
  throw EIBError(Message, SQLCode, IBErrorCode);
}

void IBReraise(const EIBError& E, const TComponent* Component) {
  // An error that already names the component (raised by it further down) keeps its text.
  if (Component && !Component->GetName().empty() && E.Message().rfind(Component->GetName() + ": ", 0) == 0)
    throw E;
  IBError(E.Message(), Component, E.GetSQLCode(), E.GetIBErrorCode());
}

bool IBEngineStarted() { return EngineStarted; }

bool IBSetupEmbeddedEngine(const std::string& Folder) {
  if (EngineStarted) return false;
  namespace fs = std::filesystem;
  std::error_code Ec;
  const fs::path Root(Folder), Lock = fs::path(Folder) / "lock";
  fs::create_directories(Lock, Ec);
  if (Ec) throw EIBError("Cannot create the engine folder '" + Lock.string() + "': " + Ec.message());
  {
    std::ofstream Conf(Root / "firebird.conf", std::ios::trunc);
    // Super (the default) gives one process a database file for itself;
    // SuperClassic lets several processes share files and the lock folder.
    Conf << "ServerMode = SuperClassic\n";
    if (!Conf) throw EIBError("Cannot write '" + (Root / "firebird.conf").string() + "'");
  }
  ::setenv("FIREBIRD", Root.c_str(), 1);
  ::setenv("FIREBIRD_LOCK", Lock.c_str(), 1);
  return true;
}

// ---------------------------------------------------------------------------
// TIBClientAttachment

std::unique_ptr<TIBClientAttachment> TIBClientAttachment::Attach(const std::string& Name,
                                                                 const TIBConnectOptions& Options) {
  const std::vector<std::uint8_t> Dpb = BuildDpb(Options, false);
  return Call(Name + ": ", [&] {
    TStatus St;
    IAttachment* A = Client().Provider->attachDatabase(&St, Name.c_str(), static_cast<unsigned>(Dpb.size()), Dpb.data());
    return std::unique_ptr<TIBClientAttachment>(new TIBClientAttachment(A));
  });
}

std::unique_ptr<TIBClientAttachment> TIBClientAttachment::Create(const std::string& Name,
                                                                 const TIBConnectOptions& Options) {
  const std::vector<std::uint8_t> Dpb = BuildDpb(Options, true);
  return Call(Name + ": ", [&] {
    TStatus St;
    IAttachment* A = Client().Provider->createDatabase(&St, Name.c_str(), static_cast<unsigned>(Dpb.size()), Dpb.data());
    return std::unique_ptr<TIBClientAttachment>(new TIBClientAttachment(A));
  });
}

TIBClientAttachment::~TIBClientAttachment() {
  if (!Att_) return;
  try {
    TStatus St;
    Att(Att_)->detach(&St);
  } catch (const FbException&) {
    // Detaching cannot fail usefully here; the handle is released below.
  }
  if (Att_) Att(Att_)->release();
}

void TIBClientAttachment::Detach() {
  if (!Att_) return;
  Call("", [&] {
    TStatus St;
    Att(Att_)->detach(&St);  // releases the interface when it succeeds
  });
  Att_ = nullptr;
}

void TIBClientAttachment::Drop() {
  if (!Att_) return;
  Call("", [&] {
    TStatus St;
    Att(Att_)->dropDatabase(&St);
  });
  Att_ = nullptr;
}

// ---------------------------------------------------------------------------
// TIBClientTransaction

std::vector<std::uint8_t> IBTransactionParameters(const std::vector<std::string>& Lines) {
  static const struct {
    const char* Name;
    std::uint8_t Tag;
  } Known[] = {
      {"concurrency", isc_tpb_concurrency},   {"consistency", isc_tpb_consistency},
      {"read_committed", isc_tpb_read_committed}, {"rec_version", isc_tpb_rec_version},
      {"no_rec_version", isc_tpb_no_rec_version}, {"wait", isc_tpb_wait},
      {"nowait", isc_tpb_nowait},             {"read", isc_tpb_read},
      {"write", isc_tpb_write},
  };
  std::vector<std::uint8_t> Tags;
  for (const std::string& Raw : Lines) {
    const std::string Line = Trim(Raw);
    if (Line.empty()) continue;
    bool Found = false;
    for (const auto& K : Known)
      if (AnsiSameText(Line, K.Name)) {
        Tags.push_back(K.Tag);
        Found = true;
      }
    if (!Found) throw EIBError("Unknown transaction parameter '" + Line + "'");
  }
  if (Tags.empty()) return {};
  std::vector<std::uint8_t> Tpb{isc_tpb_version3};
  Tpb.insert(Tpb.end(), Tags.begin(), Tags.end());
  return Tpb;
}

TIBClientTransaction::TIBClientTransaction(TIBClientAttachment& Attachment, const std::vector<std::uint8_t>& Tpb)
    : Att_(&Attachment) {
  Tra_ = Call("", [&] {
    TStatus St;
    return Att(Attachment.Handle())
        ->startTransaction(&St, static_cast<unsigned>(Tpb.size()), Tpb.empty() ? nullptr : Tpb.data());
  });
}

TIBClientTransaction::~TIBClientTransaction() {
  if (!Tra_) return;
  try {
    TStatus St;
    Tra(Tra_)->rollback(&St);  // releases the interface when it succeeds
    Tra_ = nullptr;
  } catch (const FbException&) {
  }
  if (Tra_) Tra(Tra_)->release();
}

void TIBClientTransaction::Commit() {
  Call("", [&] {
    TStatus St;
    Tra(Tra_)->commit(&St);
  });
  Tra_ = nullptr;
}

void TIBClientTransaction::Rollback() {
  Call("", [&] {
    TStatus St;
    Tra(Tra_)->rollback(&St);
  });
  Tra_ = nullptr;
}

void TIBClientTransaction::CommitRetaining() {
  Call("", [&] {
    TStatus St;
    Tra(Tra_)->commitRetaining(&St);
  });
}

void TIBClientTransaction::RollbackRetaining() {
  Call("", [&] {
    TStatus St;
    Tra(Tra_)->rollbackRetaining(&St);
  });
}

// ---------------------------------------------------------------------------
// TIBClientStatement

struct TIBClientStatement::TPrepared {
  IStatement* Stmt = nullptr;
  IMessageMetadata* InMeta = nullptr;
  IMessageMetadata* OutMeta = nullptr;
  std::vector<TIBColumn> Params, Columns;
  bool Cursored = false;

  TPrepared(TIBClientTransaction& Transaction, const std::string& SQL) {
    Call("", [&] {
      TStatus St;
      Stmt = Att(Transaction.Attachment().Handle())
                 ->prepare(&St, Tra(Transaction.Handle()), static_cast<unsigned>(SQL.size()), SQL.c_str(), Dialect,
                           IStatement::PREPARE_PREFETCH_METADATA);
      try {
        Cursored = (Stmt->getFlags(&St) & IStatement::FLAG_HAS_CURSOR) != 0;
        InMeta = Stmt->getInputMetadata(&St);
        OutMeta = Stmt->getOutputMetadata(&St);
        Params = Describe(InMeta);
        Columns = Describe(OutMeta);
      } catch (...) {
        Release();
        throw;
      }
    });
  }
  ~TPrepared() { Release(); }
  TPrepared(const TPrepared&) = delete;
  TPrepared& operator=(const TPrepared&) = delete;

  void Release() {
    if (InMeta) InMeta->release();
    if (OutMeta) OutMeta->release();
    InMeta = OutMeta = nullptr;
    if (!Stmt) return;
    try {
      TStatus St;
      Stmt->free(&St);  // releases the interface when it succeeds
      Stmt = nullptr;
    } catch (const FbException&) {
    }
    if (Stmt) Stmt->release();
    Stmt = nullptr;
  }
};

namespace {

// The offsets of the '?' parameter markers of SQL, in order: those outside
// quoted texts, quoted names and comments.
std::vector<std::size_t> ParamMarkers(std::string_view SQL) {
  std::vector<std::size_t> Out;
  for (std::size_t I = 0; I < SQL.size(); ++I) {
    const char C = SQL[I];
    if (C == '\'' || C == '"') {
      for (++I; I < SQL.size(); ++I)
        if (SQL[I] == C) {
          if (I + 1 < SQL.size() && SQL[I + 1] == C) ++I;  // a doubled quote
          else break;
        }
    } else if (C == '-' && I + 1 < SQL.size() && SQL[I + 1] == '-') {
      while (I < SQL.size() && SQL[I] != '\n') ++I;
    } else if (C == '/' && I + 1 < SQL.size() && SQL[I + 1] == '*') {
      const std::size_t End = SQL.find("*/", I + 2);
      I = End == std::string_view::npos ? SQL.size() : End + 1;
    } else if (C == '?') {
      Out.push_back(I);
    }
  }
  return Out;
}

// Whether Value, bound as Type, is a text with more characters than the text
// parameter P takes (trailing blanks aside, which the engine drops).
bool TooLongForText(const TIBColumn& P, const Variant& Value, TFieldType Type) {
  if ((P.Storage != TIBStorage::Text && P.Storage != TIBStorage::Varying) || P.Binary) return false;
  if (Value.IsNull() || Value.IsEmpty() || IsBinaryType(Type)) return false;
  const TVarType VT = Value.VarType();
  if (VT != varString && VT != varOleStr) return false;
  const std::string Text = TrimRight(Value.AsString());
  return CharLength(Text) > std::size_t(P.Size);
}

}  // namespace

TIBClientStatement::TIBClientStatement(TIBClientTransaction& Transaction, const std::string& SQL) : SQL_(SQL) {
  Main_ = std::make_unique<TPrepared>(Transaction, SQL);
  Cursored_ = Main_->Cursored;
  Params_ = Main_->Params;
  Columns_ = Main_->Columns;
  Call("", [&] {
    TStatus St;
    RowBuffer_.assign(Main_->OutMeta->getMessageLength(&St), 0);
  });
  Values_.assign(Params_.size(), {Variant(), ftUnknown});
  Status_ = new TStatus;
}

TIBClientStatement::~TIBClientStatement() {
  Close();
  Wide_.reset();
  Main_.reset();
  delete static_cast<TStatus*>(Status_);
}

TIBClientStatement::TPrepared& TIBClientStatement::ForValues(TIBClientTransaction& Transaction) {
  std::vector<bool> Wide(Params_.size(), false);
  bool Any = false;
  for (std::size_t I = 0; I < Params_.size(); ++I)
    if (TooLongForText(Params_[I], Values_[I].first, Values_[I].second)) Wide[I] = Any = true;
  if (!Any) return *Main_;
  if (Wide_ && Wide == WideParams_) return *Wide_;
  // The same text with each such marker cast to the longest VARCHAR.
  const std::vector<std::size_t> Markers = ParamMarkers(SQL_);
  if (Markers.size() != Params_.size()) return *Main_;  // let the engine say what it thinks
  std::string Text;
  std::size_t From = 0;
  for (std::size_t I = 0; I < Markers.size(); ++I) {
    Text.append(SQL_, From, Markers[I] - From);
    Text += Wide[I] ? "CAST(? AS VARCHAR(8191) CHARACTER SET UTF8)" : "?";
    From = Markers[I] + 1;
  }
  Text.append(SQL_, From, std::string::npos);
  auto P = std::make_unique<TPrepared>(Transaction, Text);
  // The rows must come in the layout the columns describe.
  bool Same = P->Columns.size() == Columns_.size() && P->Cursored == Cursored_;
  for (std::size_t I = 0; Same && I < Columns_.size(); ++I)
    Same = P->Columns[I].Offset == Columns_[I].Offset && P->Columns[I].Storage == Columns_[I].Storage &&
           P->Columns[I].Length == Columns_[I].Length && P->Columns[I].Scale == Columns_[I].Scale;
  if (!Same) return *Main_;
  Wide_ = std::move(P);
  WideParams_ = Wide;
  return *Wide_;
}

void TIBClientStatement::SetParam(int Index, const Variant& Value, TFieldType Type) {
  Values_.at(static_cast<std::size_t>(Index)) = {Value, Type};
}

void TIBClientStatement::ClearParams() {
  for (auto& V : Values_) V = {Variant(), ftUnknown};
}

void TIBClientStatement::BuildInputMessage(const TPrepared& Prepared, std::vector<std::uint8_t>& Buffer,
                                           void*& Metadata, TIBClientTransaction& Transaction) {
  Metadata = nullptr;
  Buffer.clear();
  const std::vector<TIBColumn>& Params = Prepared.Params;
  if (Params.empty()) return;
  // What each parameter is sent as: the described type for Null, otherwise a
  // type that carries the value exactly.
  struct TSend {
    unsigned Type = 0;
    int Scale = 0, SubType = 0;
    unsigned Length = 0, CharSet = 0;
    bool Null = false;
    Variant Value;
  };
  std::vector<TSend> Send(Params.size());
  TStatus St;
  for (std::size_t I = 0; I < Params.size(); ++I) {
    const TIBColumn& P = Params[I];
    TSend& S = Send[I];
    const Variant& Raw = Values_[I].first;
    const TFieldType Type = Values_[I].second;
    if (Raw.IsNull() || Raw.IsEmpty()) {
      S.Null = true;
      continue;
    }
    Variant V;
    try {
      V = Coerce(Raw, Type);
    } catch (const Exception& E) {
      throw EIBError("Parameter " + std::to_string(I + 1) + ": " + E.Message());
    }
    S.Value = V;
    const TVarType VT = V.VarType();
    if (VT == varBoolean) {
      S.Type = SQL_BOOLEAN, S.Length = 1;
    } else if (VT == varSmallint || VT == varInteger || VT == varShortInt || VT == varByte || VT == varWord ||
               VT == varLongWord || VT == varInt64) {
      S.Type = SQL_INT64, S.Length = 8;
    } else if (VT == varSingle || VT == varDouble) {
      S.Type = SQL_DOUBLE, S.Length = 8;
    } else if (VT == varCurrency) {
      S.Type = SQL_INT64, S.Length = 8, S.Scale = -4;
    } else if (VT == VarFMTBcd()) {
      std::int64_t Scaled = 0;
      int Places = 0;
      if (BcdToScaled(V.AsBcd(), Scaled, Places)) {
        S.Type = SQL_INT64, S.Length = 8, S.Scale = -Places;
      } else {
        // More digits than a scaled integer holds: the engine reads the text.
        S.Value = Variant(BcdToStr(V.AsBcd(), PointFormat()));
        S.Type = SQL_VARYING, S.CharSet = CharSetUtf8;
        S.Length = static_cast<unsigned>(S.Value.AsString().size());
      }
    } else if (VT == varDate || VT == VarSQLTimeStamp()) {
      const TIBStorage Want = Type == ftDate ? TIBStorage::Date
                            : Type == ftTime ? TIBStorage::Time
                            : Type == ftUnknown ? P.Storage
                                                : TIBStorage::TimeStamp;
      if (Want == TIBStorage::Date) S.Type = SQL_TYPE_DATE, S.Length = 4;
      else if (Want == TIBStorage::Time) S.Type = SQL_TYPE_TIME, S.Length = 4;
      else S.Type = SQL_TIMESTAMP, S.Length = 8;
    } else {
      // Text (wide text as UTF-8) or bytes.
      std::string Bytes = V.AsString();
      const bool Binary = IsBinaryType(Type) || P.Binary || (P.Storage == TIBStorage::Blob && P.SubType != 1);
      if (P.Storage == TIBStorage::Blob) {
        S.Type = SQL_BLOB, S.Length = 8, S.SubType = P.SubType;
      } else {
        if (Bytes.size() > MaxVaryingBytes)
          throw EIBError("Parameter " + std::to_string(I + 1) + ": a text of " + std::to_string(Bytes.size()) +
                         " bytes is longer than a parameter holds (" + std::to_string(MaxVaryingBytes) + ")");
        S.Type = SQL_VARYING, S.Length = static_cast<unsigned>(Bytes.size());
        S.CharSet = Binary ? CharSetOctets : CharSetUtf8;
      }
      S.Value = Variant(std::move(Bytes));
    }
  }
  IMessageMetadata* M = Call("", [&] {
    IMetadataBuilder* B = Prepared.InMeta->getBuilder(&St);
    try {
      for (std::size_t I = 0; I < Send.size(); ++I) {
        const TSend& S = Send[I];
        if (S.Null) continue;
        const unsigned U = static_cast<unsigned>(I);
        B->setType(&St, U, S.Type + 1);  // nullable
        B->setSubType(&St, U, S.SubType);
        B->setLength(&St, U, S.Length);
        B->setScale(&St, U, S.Scale);
        B->setCharSet(&St, U, S.CharSet);
      }
      IMessageMetadata* Out = B->getMetadata(&St);
      B->release();
      return Out;
    } catch (...) {
      B->release();
      throw;
    }
  });
  Metadata = M;
  try {
    Call("", [&] {
      Buffer.assign(M->getMessageLength(&St), 0);
      for (std::size_t I = 0; I < Send.size(); ++I) {
        const unsigned U = static_cast<unsigned>(I);
        TSend& S = Send[I];
        std::uint8_t* Null = Buffer.data() + M->getNullOffset(&St, U);
        if (S.Null) {
          Store<std::int16_t>(Null, -1);
          continue;
        }
        std::uint8_t* P = Buffer.data() + M->getOffset(&St, U);
        switch (S.Type) {
          case SQL_BOOLEAN: *P = S.Value.AsBoolean() ? 1 : 0; break;
          case SQL_DOUBLE: Store<double>(P, S.Value.AsDouble()); break;
          case SQL_INT64:
            if (S.Value.VarType() == varCurrency) {
              Store<std::int64_t>(P, S.Value.AsCurrency().Scaled());
            } else if (S.Scale != 0) {
              std::int64_t Scaled = 0;
              int Places = 0;
              BcdToScaled(S.Value.AsBcd(), Scaled, Places);
              Store<std::int64_t>(P, Scaled);
            } else {
              Store<std::int64_t>(P, S.Value.AsInt64());
            }
            break;
          case SQL_TYPE_DATE: case SQL_TYPE_TIME: case SQL_TIMESTAMP: {
            const TDateTime DT = S.Value.VarType() == VarSQLTimeStamp()
                                     ? SQLTimeStampToDateTime(S.Value.AsSQLTimeStamp())
                                     : S.Value.AsDateTime();
            std::int32_t Days = 0;
            std::uint32_t Ticks = 0;
            SplitDateTime(DT, Days, Ticks);
            if (S.Type == SQL_TYPE_DATE) Store<std::int32_t>(P, Days);
            else if (S.Type == SQL_TYPE_TIME) Store<std::uint32_t>(P, Ticks);
            else {
              Store<std::int32_t>(P, Days);
              Store<std::uint32_t>(P + 4, Ticks);
            }
            break;
          }
          case SQL_VARYING: {
            const std::string Text = S.Value.AsString();
            Store<std::uint16_t>(P, static_cast<std::uint16_t>(Text.size()));
            std::memcpy(P + 2, Text.data(), Text.size());
            break;
          }
          case SQL_BLOB: {
            const std::string Bytes = S.Value.AsString();
            ISC_QUAD Id{};
            IBlob* Blob = Att(Transaction.Attachment().Handle())
                              ->createBlob(&St, Tra(Transaction.Handle()), &Id, 0, nullptr);
            try {
              for (std::size_t At = 0; At < Bytes.size(); At += 32768) {
                const std::size_t N = std::min<std::size_t>(32768, Bytes.size() - At);
                Blob->putSegment(&St, static_cast<unsigned>(N), Bytes.data() + At);
              }
              Blob->close(&St);  // releases the interface when it succeeds
            } catch (...) {
              Blob->release();
              throw;
            }
            std::memcpy(P, &Id, sizeof Id);
            break;
          }
          default: break;
        }
        Store<std::int16_t>(Null, 0);
      }
    });
  } catch (const Exception& E) {
    M->release();
    Metadata = nullptr;
    if (const auto* IB = dynamic_cast<const EIBError*>(&E)) throw EIBError(*IB);
    throw EIBError(E.Message());
  }
}

void TIBClientStatement::Open(TIBClientTransaction& Transaction) {
  Close();
  if (!Cursored_) throw EIBError("The statement returns no rows; run it with ExecSQL");
  TPrepared& P = ForValues(Transaction);
  std::vector<std::uint8_t> In;
  void* InMeta = nullptr;
  BuildInputMessage(P, In, InMeta, Transaction);
  try {
    Call("", [&] {
      TStatus& St = *static_cast<TStatus*>(Status_);
      Cursor_ = P.Stmt->openCursor(&St, Tra(Transaction.Handle()), Meta(InMeta), In.empty() ? nullptr : In.data(),
                                   P.OutMeta, 0);
    });
  } catch (...) {
    if (InMeta) Meta(InMeta)->release();
    throw;
  }
  if (InMeta) Meta(InMeta)->release();
  Current_ = &Transaction;
}

bool TIBClientStatement::Fetch() {
  if (!Cursor_) return false;
  const int Rc = Call("", [&] {
    TStatus& St = *static_cast<TStatus*>(Status_);
    return static_cast<IResultSet*>(Cursor_)->fetchNext(&St, RowBuffer_.data());
  });
  if (Rc == IStatus::RESULT_OK) return true;
  Close();
  return false;
}

void TIBClientStatement::Close() {
  if (!Cursor_) return;
  auto* R = static_cast<IResultSet*>(Cursor_);
  Cursor_ = nullptr;
  try {
    TStatus St;
    R->close(&St);  // releases the interface when it succeeds
    return;
  } catch (const FbException&) {
    // The transaction may have ended under the cursor; the handle is freed anyway.
  }
  R->release();
}

std::int64_t TIBClientStatement::Execute(TIBClientTransaction& Transaction) {
  Close();
  TPrepared& P = ForValues(Transaction);
  std::vector<std::uint8_t> In;
  void* InMeta = nullptr;
  BuildInputMessage(P, In, InMeta, Transaction);
  Current_ = &Transaction;
  std::int64_t Affected = 0;
  try {
    Call("", [&] {
      TStatus St;
      IStatement* S = P.Stmt;
      S->execute(&St, Tra(Transaction.Handle()), Meta(InMeta), In.empty() ? nullptr : In.data(), P.OutMeta,
                 RowBuffer_.data());
      Affected = static_cast<std::int64_t>(S->getAffectedRecords(&St));
    });
  } catch (...) {
    if (InMeta) Meta(InMeta)->release();
    throw;
  }
  if (InMeta) Meta(InMeta)->release();
  return Affected;
}

bool TIBClientStatement::IsNull(int Col) const {
  return Load<std::int16_t>(RowBuffer_.data() + Columns_[std::size_t(Col)].NullOffset) != 0;
}

std::string TIBClientStatement::ReadBlob(const std::uint8_t* Id) const {
  if (!Current_) throw EIBError("No transaction to read a blob in");
  TIBClientTransaction* T = Current_;
  return Call("", [&] {
    TStatus St;
    ISC_QUAD Quad;
    std::memcpy(&Quad, Id, sizeof Quad);
    IBlob* Blob = Att(T->Attachment().Handle())->openBlob(&St, Tra(T->Handle()), &Quad, 0, nullptr);
    std::string Out;
    try {
      char Buf[32768];
      for (;;) {
        unsigned Got = 0;
        const int Rc = Blob->getSegment(&St, sizeof Buf, Buf, &Got);
        if (Rc == IStatus::RESULT_NO_DATA) break;
        Out.append(Buf, Got);
      }
      Blob->close(&St);
    } catch (...) {
      Blob->release();
      throw;
    }
    return Out;
  });
}

void TIBClientStatement::DecodeRow(TIBCell* Cells, std::string& Text) const {
  const std::uint8_t* Row = RowBuffer_.data();
  auto AppendText = [&](TIBCell& Cell, const char* P, std::size_t N) {
    if (Text.size() + N > 0xFFFFFFFEu)
      throw EIBError("The result holds more than 4 GB of text; read it in parts");
    Cell.Offset = static_cast<std::uint32_t>(Text.size());
    Cell.Length = static_cast<std::uint32_t>(N);
    Text.append(P, N);
  };
  for (std::size_t C = 0; C < Columns_.size(); ++C) {
    const TIBColumn& Col = Columns_[C];
    TIBCell& Cell = Cells[C];
    Cell.I = 0;
    Cell.Offset = 0;
    Cell.Length = 0;
    if (Load<std::int16_t>(Row + Col.NullOffset) != 0) {
      Cell.Length = TIBCell::NullLength;
      continue;
    }
    const std::uint8_t* P = Row + Col.Offset;
    switch (Col.Storage) {
      case TIBStorage::Text: {
        std::string_view S(reinterpret_cast<const char*>(P), Col.Length);
        if (!Col.Binary) S = IBTrimFixedChar(S, Col.Size);
        AppendText(Cell, S.data(), S.size());
        break;
      }
      case TIBStorage::Varying:
        AppendText(Cell, reinterpret_cast<const char*>(P + 2), Load<std::uint16_t>(P));
        break;
      case TIBStorage::Short: Cell.I = Load<std::int16_t>(P); break;
      case TIBStorage::Long: Cell.I = Load<std::int32_t>(P); break;
      case TIBStorage::Int64: Cell.I = Load<std::int64_t>(P); break;
      case TIBStorage::Float: Cell.D = Load<float>(P); break;
      case TIBStorage::Double: Cell.D = Load<double>(P); break;
      case TIBStorage::Date: Cell.I = Load<std::int32_t>(P); break;
      case TIBStorage::Time: Cell.I = Load<std::uint32_t>(P); break;
      case TIBStorage::TimeStamp:
        Cell.I = std::int64_t(Load<std::int32_t>(P)) * IBTimeTicksPerDay + Load<std::uint32_t>(P + 4);
        break;
      case TIBStorage::Boolean: Cell.I = *P != 0; break;
      case TIBStorage::Blob: {
        const std::string Content = ReadBlob(P);
        AppendText(Cell, Content.data(), Content.size());
        break;
      }
      default:
        throw EIBError("Column '" + Col.Name + "' is of a type the dataset cannot read");
    }
  }
}

Variant TIBClientStatement::Value(int Col) const {
  std::vector<TIBCell> Cells(Columns_.size());
  std::string Text;
  DecodeRow(Cells.data(), Text);
  return IBCellValue(Columns_.at(std::size_t(Col)), Cells[std::size_t(Col)], Text);
}

// ---------------------------------------------------------------------------

Variant IBCellValue(const TIBColumn& Col, const TIBCell& Cell, std::string_view Text) {
  if (Cell.IsNull()) return Null();
  switch (Col.DataType) {
    case ftSmallint: case ftInteger: return Variant(static_cast<std::int32_t>(Cell.I));
    case ftLargeint: return Variant(Cell.I);
    case ftBCD: return Variant(Currency::FromScaled(Cell.I * Pow10(4 + Col.Scale)));
    case ftFMTBcd: return VarFMTBcdCreate(IBScaledToBcd(Cell.I, -Col.Scale));
    case ftFloat: return Variant(Cell.D);
    case ftBoolean: return Variant(Cell.I != 0);
    case ftDate: return Variant::FromDateTime(IBDateTime(static_cast<std::int32_t>(Cell.I), 0));
    case ftTime: return Variant::FromDateTime(IBDateTime(IBDateOffset, static_cast<std::uint32_t>(Cell.I)));
    case ftDateTime: {
      // Floor division: days before 17 November 1858 are negative.
      std::int64_t Days = Cell.I / IBTimeTicksPerDay, Ticks = Cell.I % IBTimeTicksPerDay;
      if (Ticks < 0) Ticks += IBTimeTicksPerDay, --Days;
      return Variant::FromDateTime(IBDateTime(static_cast<std::int32_t>(Days), static_cast<std::uint32_t>(Ticks)));
    }
    default: return Variant(std::string(Text.substr(Cell.Offset, Cell.Length)));
  }
}

TDateTime IBDateTime(std::int32_t Days, std::uint32_t Ticks) {
  const double Day = static_cast<double>(Days - IBDateOffset);
  std::uint32_t Ms = (Ticks + 5) / 10;
  if (Ms > 86399999) Ms = 86399999;
  const double Time = Ms / 86400000.0;
  return Day < 0 ? Day - Time : Day + Time;
}

TBcd IBScaledToBcd(std::int64_t Scaled, int Places) {
  const bool Negative = Scaled < 0;
  // The magnitude as digits; INT64_MIN has no positive counterpart.
  std::string Digits = std::to_string(Scaled);
  if (Negative) Digits.erase(0, 1);
  if (Places > 0) {
    if (Digits.size() <= std::size_t(Places)) Digits.insert(0, std::size_t(Places) - Digits.size() + 1, '0');
    Digits.insert(Digits.size() - std::size_t(Places), ".");
  }
  return StrToBcd((Negative ? "-" : "") + Digits, PointFormat());
}

std::string_view IBTrimFixedChar(std::string_view Text, int Chars) {
  std::size_t End = Text.size();
  while (End > 0 && Text[End - 1] == ' ') --End;
  // Keep the blanks that belong to the value's declared width.
  std::size_t Count = CharLength(Text.substr(0, End));
  while (End < Text.size() && Count < std::size_t(Chars)) ++End, ++Count;
  return Text.substr(0, End);
}

}  // namespace fyndra
