// The first screen of the fyndra command, as a user feels it: a new process
// that reads the example form, opens the sample database read-only, applies
// the criteria and prints its result, on sample databases of 20k, 200k and
// 1M customers. The baseline, in the same run, is the sqlite3 shell started
// the same way and answering the same question with hand-written SQL.
//
//  - Find: the customers find form (a table ordered by its name index), the
//    first customer whose name starts with a name from the middle of the
//    order, minding case. The name index keeps our case-insensitive
//    collation, whose order a case-sensitive test cannot follow, so the model
//    walks the table testing each record; the shell's SQL, which cannot use
//    the index either, reads the table too.
//  - FindIgnoringCase: the same search ignoring case (the form's setting):
//    the family's key search seeks the name index. The shell lacks the
//    collation and cannot seek it; its baseline reads one customer by
//    primary key, the same kind of indexed seek.
//  - Filter: the customers filter form (a query with its own condition, a
//    join to the countries and ORDER BY name), the first screen of 20
//    customers whose name starts with that middle name: the rewritten query
//    reads the table (the name index keeps our collation, not the byte
//    order of ORDER BY name) and sorts what agrees, as the shell's query with
//    the same condition does.
//  - Client: the client dataset filter form, the same criterion; the program
//    reads the whole client dataset file first (a client dataset lives in
//    memory) and builds the file's indexes, which is most of its time, then
//    filters within a range of the name index. Its baseline is the shell
//    answering the question from the SQLite file.
//
// The databases are generated once into the temporary folder (a million
// customers take about a minute on a busy machine) and reused by later runs,
// since the same options always give the same file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <fyndra/platform/bde/sampledb.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace fyndra;

bool IsComplete(const std::string& Path, std::int64_t Customers) {
  sqlite3* D = nullptr;
  bool Ok = false;
  if (sqlite3_open_v2(Path.c_str(), &D, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* S = nullptr;
    if (sqlite3_prepare_v2(D, "SELECT max(id), (SELECT count(*) FROM countries) FROM customers", -1, &S, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(S) == SQLITE_ROW)
      Ok = sqlite3_column_int64(S, 0) == Customers && sqlite3_column_int64(S, 1) > 0;
    sqlite3_finalize(S);
  }
  sqlite3_close(D);
  return Ok;
}

const std::string& SampleDatabase(std::int64_t Customers) {
  static std::map<std::int64_t, std::string> Files;
  auto It = Files.find(Customers);
  if (It != Files.end()) return It->second;
  const std::string Path =
      (fs::temp_directory_path() / ("fyndra-cli-bench-ci-" + std::to_string(Customers) + ".db")).string();
  if (!IsComplete(Path, Customers)) {
    std::fprintf(stderr, "generating %lld customers into %s\n", static_cast<long long>(Customers), Path.c_str());
    GenerateSampleDatabase(Path + ".part", {.Customers = Customers});
    fs::rename(Path + ".part", Path);
  }
  return Files.emplace(Customers, Path).first->second;
}

// The customers of the sample database of that size as a client dataset
// file, written once beside it.
const std::string& SampleClientFile(std::int64_t Customers) {
  static std::map<std::int64_t, std::string> Files;
  auto It = Files.find(Customers);
  if (It != Files.end()) return It->second;
  const std::string Database = SampleDatabase(Customers);
  const std::string Path = Database.substr(0, Database.size() - 3) + ".cds";
  if (!fs::exists(Path)) {
    std::fprintf(stderr, "writing %lld customers into %s\n", static_cast<long long>(Customers), Path.c_str());
    WriteSampleClientFile(Database, Path + ".part");
    fs::rename(Path + ".part", Path);
  }
  return Files.emplace(Customers, Path).first->second;
}

// Runs the program with its output in a file; the output, checked once per
// benchmark so that a failing run is never timed as a fast one.
std::string Run(const std::vector<std::string>& Words) {
  static const std::string Output = (fs::temp_directory_path() / "fyndra-cli-bench.out").string();
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&Actions, 1, Output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> Copy = Words;
  std::vector<char*> Argv;
  for (std::string& W : Copy) Argv.push_back(W.data());
  Argv.push_back(nullptr);
  pid_t Pid = 0;
  if (posix_spawn(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + Words[0]);
  posix_spawn_file_actions_destroy(&Actions);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0) throw std::runtime_error(Words[0] + " failed");
  std::FILE* F = std::fopen(Output.c_str(), "rb");
  std::string Text;
  char Buffer[4096];
  for (std::size_t N; F && (N = std::fread(Buffer, 1, sizeof Buffer, F)) > 0;) Text.append(Buffer, N);
  if (F) std::fclose(F);
  return Text;
}

void Measure(benchmark::State& State, const std::vector<std::string>& Words) {
  const std::string Output = Run(Words);  // warms the file cache too
  if (Output.find('\n') == std::string::npos) {
    State.SkipWithError("no output");
    return;
  }
  for (auto _ : State) benchmark::DoNotOptimize(Run(Words));
}

std::string Form(const char* Name) { return std::string(FYNDRA_SOURCE_FOLDER) + "/examples/forms/" + Name; }

// A name from the middle of the order; its first customer is searched.
std::string MiddleName(std::int64_t Customers) { return SampleCustomerName(1, Customers / 2); }

// Text as a SQL literal's content (a name may hold a quote).
std::string SqlText(std::string Text) {
  for (std::size_t At = Text.find('\''); At != std::string::npos; At = Text.find('\'', At + 2)) Text.insert(At, 1, '\'');
  return Text;
}

// The fyndra command on an example form reading Data, searching for the
// middle name, with the further words More.
void MeasureFyndra(benchmark::State& State, const char* FormName, const std::string& Data,
                   const std::vector<std::string>& More) {
  std::vector<std::string> Words = {FYNDRA_PROGRAM, "run", Form(FormName), "--db", Data,
                                    "name=" + MiddleName(State.range(0)), "--format", "csv"};
  Words.insert(Words.end(), More.begin(), More.end());
  Measure(State, Words);
}

// The sqlite3 shell answering SQL on the sample database of that size.
void MeasureShell(benchmark::State& State, const std::string& SQL) {
  Measure(State, {"/usr/bin/sqlite3", "-readonly", "-csv", SampleDatabase(State.range(0)), SQL});
}

void BM_FyndraFind(benchmark::State& State) {
  MeasureFyndra(State, "customers-find.dfm", SampleDatabase(State.range(0)), {"--case-sensitive", "name"});
}

void BM_SqliteShellFind(benchmark::State& State) {
  MeasureShell(State, "SELECT * FROM customers WHERE name >= '" + SqlText(MiddleName(State.range(0))) +
                          "' ORDER BY name, id LIMIT 1");
}

void BM_FyndraFindIgnoringCase(benchmark::State& State) {
  MeasureFyndra(State, "customers-find.dfm", SampleDatabase(State.range(0)), {});
}

void BM_SqliteShellFindIgnoringCase(benchmark::State& State) {
  MeasureShell(State, "SELECT * FROM customers WHERE id = " + std::to_string(State.range(0) / 2));
}

void BM_FyndraFilter(benchmark::State& State) {
  MeasureFyndra(State, "customers-filter.dfm", SampleDatabase(State.range(0)), {"--limit", "20"});
}

// The first screen of customers whose name starts with the middle name, as
// the shell's own LIKE reads it (ASCII case folding; the middle name is
// spelt as stored, so it finds the same customers).
void BM_SqliteShellFilter(benchmark::State& State) {
  MeasureShell(State,
               "SELECT c.id, c.name, c.city, k.country_name, c.birth, c.balance FROM customers c LEFT JOIN "
               "countries k ON k.iso = c.country WHERE c.name LIKE '" + SqlText(MiddleName(State.range(0))) +
                   "%' AND c.active = 1 ORDER BY c.name, c.id LIMIT 21");
}

void BM_FyndraClient(benchmark::State& State) {
  MeasureFyndra(State, "customers-client.dfm", SampleClientFile(State.range(0)), {"--limit", "20"});
}

#define FIRST_SCREEN(Name) \
  BENCHMARK(Name)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)

FIRST_SCREEN(BM_FyndraFind);
FIRST_SCREEN(BM_SqliteShellFind);
FIRST_SCREEN(BM_FyndraFindIgnoringCase);
FIRST_SCREEN(BM_SqliteShellFindIgnoringCase);
FIRST_SCREEN(BM_FyndraFilter);
FIRST_SCREEN(BM_SqliteShellFilter);
// Reading a million-record file takes long enough that two runs tell.
BENCHMARK(BM_FyndraClient)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(2);

}  // namespace
