// The thin layer between the Firebird dataset family and Firebird's client
// library: attachments, transactions and prepared statements over the
// library's object interface, the layout of their messages, and the engine's
// set-up for embedded use. It is the only unit that includes the client
// library's headers; everything above it sees plain C++ types.
//
// Ownership: each handle class owns its engine object and releases it in its
// destructor (a transaction still open is rolled back, an open cursor
// closed). A statement must be destroyed before its transaction's attachment,
// a transaction before its attachment. Every engine failure raises EIBError
// carrying the engine's own message and codes.
//
// Values, by engine type (the field types are those of the dataset layer):
//   SMALLINT, INTEGER, BIGINT          ftSmallint, ftInteger, ftLargeint
//   NUMERIC/DECIMAL(p,s)               scaled integers; ftBCD (Currency) when
//                                      every value of the storage fits four
//                                      places exactly, else ftFMTBcd: never a double
//   FLOAT, DOUBLE PRECISION            ftFloat
//   DATE, TIME, TIMESTAMP              ftDate, ftTime, ftDateTime (milliseconds)
//   BOOLEAN                            ftBoolean
//   CHAR(n), VARCHAR(n)                ftFixedChar, ftString (n characters, UTF-8);
//                                      with CHARACTER SET OCTETS ftBytes, ftVarBytes
//   BLOB SUB_TYPE TEXT / BINARY        ftMemo / ftBlob
// Texts travel as UTF-8: a connection's character set is always UTF8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/systypes.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

// The family's error: an engine failure, or a refusal of the family's own
// (an unknown parameter name). SQLCode and IBErrorCode are the engine's codes,
// 0 for a refusal that did not come from the engine.
class EIBError : public EDatabaseError {
 public:
  explicit EIBError(const std::string& Message, int SQLCode = 0, int IBErrorCode = 0)
      : EDatabaseError(Message), SQLCode_(SQLCode), IBErrorCode_(IBErrorCode) {}
  int GetSQLCode() const { return SQLCode_; }
  int GetIBErrorCode() const { return IBErrorCode_; }

 private:
  int SQLCode_;
  int IBErrorCode_;
};

// Raises EIBError with Message, prefixed with "Name: " when Component has a name.
[[noreturn]] void IBError(const std::string& Message, const class TComponent* Component = nullptr,
                          int SQLCode = 0, int IBErrorCode = 0);
// Raises E again with "Name: " of Component in front of its message, keeping its codes.
[[noreturn]] void IBReraise(const EIBError& E, const class TComponent* Component);

// Prepares Folder for the embedded engine of this process: a firebird.conf
// that lets several processes open databases at once (ServerMode =
// SuperClassic) and a writable lock folder, named to the engine through the
// FIREBIRD and FIREBIRD_LOCK environment variables. Returns false (changing
// nothing) once the engine has been started in this process, since it reads
// its configuration only then. Raises EIBError when the folder cannot be written.
bool IBSetupEmbeddedEngine(const std::string& Folder);

// Whether the client library has been started in this process.
bool IBEngineStarted();

// Connection parameters (the NAME=VALUE lines of a TIBDatabase's Params).
struct TIBConnectOptions {
  std::string UserName, Password, Role;
  int PageSize = 0;  // for CreateDatabase; 0 leaves the engine's default
};

class TIBClientAttachment {
 public:
  // Attaches to Name (a file path, or host:path for a server). Raises EIBError
  // ("<Name>: <engine message>") for a missing, damaged or locked file.
  static std::unique_ptr<TIBClientAttachment> Attach(const std::string& Name, const TIBConnectOptions& Options);
  // Creates the database file (refused when it exists) with UTF8 as its default
  // character set and attaches to it.
  static std::unique_ptr<TIBClientAttachment> Create(const std::string& Name, const TIBConnectOptions& Options);
  ~TIBClientAttachment();
  TIBClientAttachment(const TIBClientAttachment&) = delete;
  TIBClientAttachment& operator=(const TIBClientAttachment&) = delete;

  // Detaches; the object is unusable afterwards. REQUIRES: no transaction open.
  void Detach();
  // Deletes the database file and detaches.
  void Drop();
  void* Handle() const { return Att_; }

 private:
  explicit TIBClientAttachment(void* Att) : Att_(Att) {}
  void* Att_;  // Firebird::IAttachment
};

// Transaction parameters (the lines of a TIBTransaction's Params): the
// isolation (concurrency, consistency, read_committed with rec_version or
// no_rec_version), the lock resolution (wait, nowait) and the access mode
// (read, write). Raises EIBError for an unknown line.
std::vector<std::uint8_t> IBTransactionParameters(const std::vector<std::string>& Lines);

class TIBClientTransaction {
 public:
  TIBClientTransaction(TIBClientAttachment& Attachment, const std::vector<std::uint8_t>& Tpb);
  // Rolls back when still open.
  ~TIBClientTransaction();
  TIBClientTransaction(const TIBClientTransaction&) = delete;
  TIBClientTransaction& operator=(const TIBClientTransaction&) = delete;

  // End the transaction; the object is unusable afterwards. A failed Commit
  // leaves the transaction open for a retry or a rollback.
  void Commit();
  void Rollback();
  // End the work but keep the transaction's context, so open cursors stay valid.
  void CommitRetaining();
  void RollbackRetaining();
  bool Active() const { return Tra_ != nullptr; }
  TIBClientAttachment& Attachment() const { return *Att_; }
  void* Handle() const { return Tra_; }

 private:
  TIBClientAttachment* Att_;
  void* Tra_;  // Firebird::ITransaction
};

// How a column's value sits in a message.
enum class TIBStorage : std::uint8_t {
  Text, Varying, Short, Long, Int64, Float, Double, Date, Time, TimeStamp, Boolean, Blob, Null, Other
};

// One column of a statement's output (or one parameter of its input).
struct TIBColumn {
  std::string Name;      // the alias: what a query calls the column
  std::string Relation;  // the table it comes from; empty for an expression
  std::string Field;     // the table column it comes from
  TIBStorage Storage = TIBStorage::Other;
  int Scale = 0;             // negative: decimal places of a scaled integer
  int SubType = 0;           // blobs: 1 text, 0 binary
  unsigned Length = 0;       // bytes in the message (texts: characters × bytes per character)
  unsigned BytesPerChar = 1; // of the column's character set (4 for UTF8)
  bool Binary = false;       // OCTETS text: bytes, not characters
  bool Nullable = true;
  unsigned Offset = 0, NullOffset = 0;
  // The dataset layer's view: type, size (characters; decimal places for
  // exact decimals), precision (digits of exact decimals).
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
};

class TIBClientStatement {
 public:
  // Prepares SQL (one statement, '?' parameters) in Transaction. Raises EIBError
  // with the engine's message for invalid SQL.
  TIBClientStatement(TIBClientTransaction& Transaction, const std::string& SQL);
  ~TIBClientStatement();
  TIBClientStatement(const TIBClientStatement&) = delete;
  TIBClientStatement& operator=(const TIBClientStatement&) = delete;

  // Whether the statement returns rows through a cursor (a SELECT).
  bool ReturnsRows() const { return Cursored_; }
  int ParamCount() const { return static_cast<int>(Params_.size()); }
  const std::vector<TIBColumn>& Params() const { return Params_; }
  const std::vector<TIBColumn>& Columns() const { return Columns_; }

  // Sets parameter Index (0-based) for the next Open or Execute. Type is the
  // type the value is bound as (ftUnknown: the variant's own); the value goes
  // to the engine in its exact form (texts as UTF-8, decimals as scaled
  // integers, dates and times as the engine's) and the engine converts it to
  // what the statement needs, raising for a value that does not convert.
  // A text longer than the text the engine expects there (a value compared
  // with a shorter column) is compared as it is: the statement is prepared
  // once more with that parameter cast to a long VARCHAR, because the engine
  // would otherwise refuse the value instead of finding it unequal.
  void SetParam(int Index, const Variant& Value, TFieldType Type = ftUnknown);
  void ClearParams();

  // Opens a cursor in Transaction (the one the statement was prepared in, or
  // another one of the same attachment) with the parameters set. An open
  // cursor is closed first.
  void Open(TIBClientTransaction& Transaction);
  // Fetches the next row into the row buffer; false at the end (the cursor is
  // then closed).
  bool Fetch();
  void Close();
  bool CursorOpen() const { return Cursor_ != nullptr; }
  // Runs a statement that returns no cursor; the number of rows it changed.
  std::int64_t Execute(TIBClientTransaction& Transaction);

  // The current row (valid after a successful Fetch, until the next one).
  const std::uint8_t* Row() const { return RowBuffer_.data(); }
  bool IsNull(int Col) const;
  // Decodes the current row into one cell per column, appending texts and
  // blob contents (read from the engine) to Text.
  void DecodeRow(struct TIBCell* Cells, std::string& Text) const;
  // The value of Col in the current row as the column's field type wants
  // (Null for NULL). Blobs are read from the engine.
  Variant Value(int Col) const;
  // The content of the blob whose id is at Id (8 bytes of a row).
  std::string ReadBlob(const std::uint8_t* Id) const;

 private:
  // A prepared engine statement with its input and output descriptions.
  struct TPrepared;
  // The statement that takes the parameters set now: the one prepared from
  // the text, or one whose too-long text parameters are cast (prepared on demand).
  TPrepared& ForValues(TIBClientTransaction& Transaction);
  void BuildInputMessage(const TPrepared& P, std::vector<std::uint8_t>& Buffer, void*& Metadata,
                         TIBClientTransaction& Transaction);

  std::string SQL_;
  // The transaction of the last Open or Execute: blobs of its rows are read in it.
  TIBClientTransaction* Current_ = nullptr;
  std::unique_ptr<TPrepared> Main_, Wide_;
  std::vector<bool> WideParams_;  // the parameters Wide_ casts
  void* Cursor_ = nullptr;   // Firebird::IResultSet
  void* Status_ = nullptr;   // a status vector reused by Open and Fetch
  bool Cursored_ = false;
  std::vector<TIBColumn> Params_, Columns_;
  std::vector<std::pair<Variant, TFieldType>> Values_;
  std::vector<std::uint8_t> RowBuffer_;
};

// One decoded value of a row, compact so that rows are kept without an
// allocation per value: integers (scaled ones too), booleans, dates (days),
// times (ticks) and time stamps (days × ticks per day + ticks) in I, floats in
// D, texts and blob contents as a span of a text buffer.
struct TIBCell {
  static constexpr std::uint32_t NullLength = 0xFFFFFFFFu;
  union {
    std::int64_t I;
    double D;
  };
  std::uint32_t Offset;  // texts: start in the text buffer
  std::uint32_t Length;  // texts: bytes; NullLength for Null
  bool IsNull() const { return Length == NullLength; }
};

// The value of Cell of column Col as the column's field type wants.
Variant IBCellValue(const TIBColumn& Col, const TIBCell& Cell, std::string_view Text);

// ---- value conventions of the engine

// Days of the engine's DATE (counted from 17 November 1858) and TDateTime's
// day numbers (from 30 December 1899) differ by this much.
inline constexpr int IBDateOffset = 15018;
// The engine's TIME counts ten-thousandths of a second.
inline constexpr std::uint32_t IBTimeTicksPerDay = 864000000;

// TDateTime of an engine date and time (ticks), to the nearest millisecond.
TDateTime IBDateTime(std::int32_t Days, std::uint32_t Ticks);
// A scaled integer with Places decimals as an exact decimal.
TBcd IBScaledToBcd(std::int64_t Scaled, int Places);
// Text with its trailing blanks beyond Chars characters removed (a CHAR(n)
// value comes padded to its byte length).
std::string_view IBTrimFixedChar(std::string_view Text, int Chars);

}  // namespace fyndra
