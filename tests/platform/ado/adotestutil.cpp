#include "platform/ado/adotestutil.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <fyndra/platform/ado/odbcengine.h>

namespace fyndra::adotest {
namespace fs = std::filesystem;

std::string SourceName(TSource Source) { return Source == TSource::SQLite ? "SQLite" : "PostgreSQL"; }

TempDir::TempDir() {
  std::string Pattern = (fs::temp_directory_path() / "fyndra-ado-XXXXXX").string();
  if (!::mkdtemp(Pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  Path_ = Pattern;
}

TempDir::~TempDir() {
  std::error_code Ignored;
  fs::remove_all(Path_, Ignored);
}

namespace {

// The folder of a driver library, among the places Debian and others use.
std::string FindDriver(const std::string& Library) {
  std::vector<fs::path> Candidates = {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
                                      "/usr/lib/odbc", "/usr/lib64", "/usr/lib", "/usr/local/lib"};
  std::error_code E;
  for (const auto& Entry : fs::directory_iterator("/usr/lib", E))
    if (Entry.is_directory(E)) Candidates.push_back(Entry.path() / "odbc");
  for (const fs::path& C : Candidates)
    if (fs::exists(C / Library, E)) return (C / Library).string();
  return Library;
}

std::string ServerBin() {
  // The newest installed server.
  std::string Best;
  std::error_code E;
  for (const auto& Entry : fs::directory_iterator("/usr/lib/postgresql", E)) {
    const fs::path Bin = Entry.path() / "bin";
    if (fs::exists(Bin / "pg_ctl", E) && (Best.empty() || Entry.path().filename().string() > fs::path(Best).parent_path().filename().string()))
      Best = Bin.string();
  }
  return Best.empty() ? std::string("/usr/bin") : Best;
}

int FreePort() {
  const int S = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = 0;
  socklen_t L = sizeof A;
  if (S < 0 || ::bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 ||
      ::getsockname(S, reinterpret_cast<sockaddr*>(&A), &L) != 0)
    throw std::runtime_error("cannot find a free port");
  const int Port = ntohs(A.sin_port);
  ::close(S);
  return Port;
}

std::string Quote(const std::string& S) {
  std::string Out = "'";
  for (char C : S) {
    if (C == '\'') Out += "'\\''";
    else Out += C;
  }
  return Out + "'";
}

std::unique_ptr<PostgresServer>& SharedSlot() {
  static std::unique_ptr<PostgresServer> Server;
  return Server;
}

}  // namespace

void UsePrivateDriverConfig() {
  // The folder goes when the program ends.
  struct TFolder {
    std::string Path;
    ~TFolder() {
      std::error_code Ignored;
      fs::remove_all(Path, Ignored);
    }
  };
  static const TFolder Config{[] {
    std::string Pattern = (fs::temp_directory_path() / "fyndra-odbc-XXXXXX").string();
    if (!::mkdtemp(Pattern.data())) throw std::runtime_error("cannot make the driver folder");
    std::ofstream Ini(Pattern + "/odbcinst.ini");
    Ini << "[ODBC]\nTrace=No\n\n"
        << "[SQLite3]\nDriver=" << FindDriver("libsqlite3odbc.so") << "\n\n"
        // The narrow driver exchanges the database's UTF-8; its logs stay off.
        << "[PostgreSQL]\nDriver=" << FindDriver("psqlodbca.so") << "\nCommLog=0\nDebug=0\n";
    std::ofstream(Pattern + "/odbc.ini") << "";
    return Pattern;
  }()};
  const std::string& Folder = Config.Path;
  ::setenv("ODBCSYSINI", Folder.c_str(), 1);
  ::setenv("ODBCINI", (Folder + "/odbc.ini").c_str(), 1);
}

// ---------------------------------------------------------------------------
// PostgresServer

PostgresServer& PostgresServer::Shared() {
  auto& Slot = SharedSlot();
  if (!Slot) Slot.reset(new PostgresServer());
  return *Slot;
}

void PostgresServer::StopShared() { SharedSlot().reset(); }

std::string PostgresServer::Run(const std::string& Command, bool AsServerUser) const {
  std::string Line = Command;
  if (AsServerUser && ::geteuid() == 0) Line = "runuser -u postgres -- " + Command;
  Line += " 2>&1";
  std::string Output;
  FILE* P = ::popen(Line.c_str(), "r");
  if (!P) throw std::runtime_error("cannot run " + Command);
  char Buffer[4096];
  while (std::size_t N = std::fread(Buffer, 1, sizeof Buffer, P)) Output.append(Buffer, N);
  const int Status = ::pclose(P);
  if (Status != 0) throw std::runtime_error(Command + " failed:\n" + Output);
  return Output;
}

PostgresServer::PostgresServer() {
  UsePrivateDriverConfig();
  std::string Pattern = (fs::temp_directory_path() / "fyndra-pg-XXXXXX").string();
  if (!::mkdtemp(Pattern.data())) throw std::runtime_error("cannot make the server folder");
  Dir_ = Pattern;
  if (::geteuid() == 0) {
    const passwd* Pw = ::getpwnam("postgres");
    if (!Pw) throw std::runtime_error("the postgres system user is missing (run tools/install-deps)");
    if (::chown(Dir_.c_str(), Pw->pw_uid, Pw->pw_gid) != 0) throw std::runtime_error("cannot hand the folder over");
  }
  const std::string Bin = ServerBin();
  Run(Bin + "/initdb -D " + Quote(Dir_ + "/data") + " -E UTF8 --locale=C.UTF-8 -A trust -U postgres --no-sync", true);
  Port_ = FreePort();
  // The watchdog stops the server and removes its folder when this process
  // ends in any way: its end of the pipe then reads end-of-file.
  int Fds[2];
  if (::pipe2(Fds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make the watchdog pipe");
  const std::string Stop = (::geteuid() == 0 ? "runuser -u postgres -- " : "") + Bin + "/pg_ctl -D " +
                           Quote(Dir_ + "/data") + " -m immediate stop >/dev/null 2>&1; rm -rf " + Quote(Dir_);
  const pid_t Child = ::fork();
  if (Child == 0) {
    ::close(Fds[1]);
    char Byte;
    while (::read(Fds[0], &Byte, 1) > 0) {
    }
    ::execl("/bin/sh", "sh", "-c", ("[ -d " + Quote(Dir_) + " ] && { " + Stop + "; }; exit 0").c_str(),
            static_cast<char*>(nullptr));
    ::_exit(0);
  }
  ::close(Fds[0]);
  WatchdogPipe_ = Fds[1];
  Start();
}

void PostgresServer::Start() {
  if (Running_) return;
  const std::string Options = "-p " + std::to_string(Port_) + " -k " + Dir_ +
                              " -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off"
                              " -c full_page_writes=off";
  Run(ServerBin() + "/pg_ctl -D " + Quote(Dir_ + "/data") + " -l " + Quote(Dir_ + "/log") + " -w -t 60 -o " +
          Quote(Options) + " start",
      true);
  Running_ = true;
}

void PostgresServer::Stop() {
  if (!Running_) return;
  Run(ServerBin() + "/pg_ctl -D " + Quote(Dir_ + "/data") + " -m immediate -w stop", true);
  Running_ = false;
}

PostgresServer::~PostgresServer() {
  try {
    Stop();
  } catch (...) {
  }
  std::error_code Ignored;
  fs::remove_all(Dir_, Ignored);
  if (WatchdogPipe_ >= 0) ::close(WatchdogPipe_);
  int Status = 0;
  ::wait(&Status);
}

std::string PostgresServer::ConnectionString(const std::string& Database) {
  Start();
  const std::string Base = "Driver=PostgreSQL;Server=" + Dir_ + ";Port=" + std::to_string(Port_) +
                           ";UID=postgres;UseDeclareFetch=1;Fetch=100;BoolsAsChar=0;Database=";
  if (!Created_ && Database != "postgres") {
    TOdbcConnection Admin(Base + "postgres");
    Admin.Exec("CREATE DATABASE " + Database + " ENCODING 'UTF8' TEMPLATE template0");
    Created_ = true;
  }
  return Base + Database;
}

// ---------------------------------------------------------------------------
// DataSource

DataSource::DataSource(TSource Source) : Kind_(Source) {
  UsePrivateDriverConfig();
  if (Source == TSource::SQLite) {
    Dir_ = std::make_unique<TempDir>();
    // StepAPI: the driver steps through a result as it is fetched instead of
    // reading all of it at execute.
    ConnectionString_ = "Driver=SQLite3;StepAPI=1;Database=" + Dir_->File("test.db");
    return;
  }
  ConnectionString_ = PostgresServer::Shared().ConnectionString();
  // Every test starts from an empty schema.
  TOdbcConnection C(ConnectionString_);
  C.Exec("DROP SCHEMA public CASCADE");
  C.Exec("CREATE SCHEMA public");
}

DataSource::~DataSource() = default;

std::string DbErrorOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EDatabaseError& E) {
    return E.Message();
  }
  return "<no error>";
}

}  // namespace fyndra::adotest
