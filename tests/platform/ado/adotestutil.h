// Helpers of the ODBC family's tests: a private ODBC driver configuration,
// a PostgreSQL server started for the test program, and the two data sources
// every family test runs on (SQLite's ODBC driver on a file, PostgreSQL's).
//
// The driver configuration lives in a private folder named by ODBCSYSINI, so
// that the machine's own settings (and a driver's communication log) play no
// part. The PostgreSQL server runs as the postgres system user when the tests
// run as root (the server refuses root), with its data and socket in a private
// temporary folder and a free port; it is started once per program, on first
// use, and stopped when the program ends, also when it crashes (a watchdog
// process stops it when the program's end of a pipe closes). Benchmarks
// use the same helpers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <fyndra/platform/db/dbtypes.h>

namespace fyndra::adotest {

enum class TSource { SQLite, PostgreSQL };
std::string SourceName(TSource Source);

// A temporary folder, removed with its content.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return Path_; }
  std::string File(const std::string& Name) const { return Path_ + "/" + Name; }

 private:
  std::string Path_;
};

// Points ODBCSYSINI at the private driver configuration (made once).
void UsePrivateDriverConfig();

class PostgresServer {
 public:
  // The server of this program, started on first use. Raises std::runtime_error
  // with the server's log when it does not start.
  static PostgresServer& Shared();
  // Stops the shared server if it runs (the test environment calls it at the end).
  static void StopShared();

  // A connection string to database Database (created with UTF-8 encoding on first use).
  std::string ConnectionString(const std::string& Database = "fyndra");
  int Port() const { return Port_; }
  // Stops the server (as an administrator would); Start brings it back on the same port.
  void Stop();
  void Start();
  ~PostgresServer();

 private:
  PostgresServer();
  std::string Run(const std::string& Command, bool AsServerUser) const;
  std::string Dir_;
  int Port_ = 0;
  bool Running_ = false;
  bool Created_ = false;
  int WatchdogPipe_ = -1;
};

// A data source of the given kind for one test: SQLite on a fresh file, or a
// fresh schema-free database on the shared PostgreSQL server (tables are
// dropped by the test itself or vanish with the server).
class DataSource {
 public:
  explicit DataSource(TSource Source);
  ~DataSource();
  TSource Kind() const { return Kind_; }
  const std::string& ConnectionString() const { return ConnectionString_; }
  // SQL for a column type by its role, written for this data source.
  std::string Blob() const { return Kind_ == TSource::SQLite ? "BLOB" : "BYTEA"; }
  std::string Double() const { return Kind_ == TSource::SQLite ? "REAL" : "DOUBLE PRECISION"; }

 private:
  TSource Kind_;
  std::unique_ptr<TempDir> Dir_;
  std::string ConnectionString_;
};

// The message of the EDatabaseError that Action raises, or "<no error>".
std::string DbErrorOf(const std::function<void()>& Action);

}  // namespace fyndra::adotest
