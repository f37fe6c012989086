#include "tools/cli/clitest.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <fyndra/platform/bde/sqliteengine.h>

extern char** environ;

namespace fyndra::clitest {

namespace fs = std::filesystem;

namespace {

int Counter = 0;

std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> Env = {"LC_ALL=en_US.UTF-8", "PATH=/usr/bin:/bin"};
  for (const char* Keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TMPDIR"})
    if (const char* Value = std::getenv(Keep)) Env.push_back(std::string(Keep) + "=" + Value);
  return Env;
}

}  // namespace

std::string ReadWholeFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& Path, const std::string& Text) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out << Text;
  if (!Out) throw std::runtime_error("cannot write " + Path);
}

TempDir::TempDir() {
  Path_ = (fs::temp_directory_path() /
           ("fyndra-cli-" + std::to_string(::getpid()) + "-" + std::to_string(Counter++)))
              .string();
  fs::create_directories(Path_);
}

TempDir::~TempDir() {
  std::error_code Ignored;
  fs::remove_all(Path_, Ignored);
}

std::string TempDir::File(const std::string& Name) const { return (fs::path(Path_) / Name).string(); }

TResult RunProgram(const std::string& Program, const std::vector<std::string>& Args, const std::string& Input,
                   const std::string& WorkingFolder) {
  static TempDir Streams;
  const std::string In = Streams.File("in"), Out = Streams.File("out"), Err = Streams.File("err");
  WriteWholeFile(In, Input);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 0, In.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&Actions, 1, Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&Actions, 2, Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> Words{Program};
  Words.insert(Words.end(), Args.begin(), Args.end());
  // A working folder other than ours: run through the shell's cd.
  if (!WorkingFolder.empty()) {
    std::string Script = "cd \"$0\" && exec \"$@\"";
    Words.insert(Words.begin(), {"/bin/sh", "-c", Script, WorkingFolder});
  }
  std::vector<char*> Argv;
  for (std::string& W : Words) Argv.push_back(W.data());
  Argv.push_back(nullptr);
  std::vector<std::string> Env = ChildEnvironment();
  std::vector<char*> Envp;
  for (std::string& E : Env) Envp.push_back(E.data());
  Envp.push_back(nullptr);
  pid_t Pid = 0;
  const int Rc = posix_spawn(&Pid, Argv[0], &Actions, nullptr, Argv.data(), Envp.data());
  posix_spawn_file_actions_destroy(&Actions);
  if (Rc != 0) throw std::runtime_error("cannot start " + Words[0]);
  int Status = 0;
  while (waitpid(Pid, &Status, 0) < 0) {
  }
  TResult R;
  R.Out = ReadWholeFile(Out);
  R.Err = ReadWholeFile(Err);
  R.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  return R;
}

TResult Fyndra(const std::vector<std::string>& Args, const std::string& Input, const std::string& WorkingFolder) {
  return RunProgram(FYNDRA_PROGRAM, Args, Input, WorkingFolder);
}

namespace {

struct TSample {
  TempDir Dir;
  std::string Database = Dir.File("sample.db");
  std::string Client = Dir.File("customers.cds");
  TSample() {
    const TResult R = RunProgram(FYNDRA_GENSAMPLE, {"--customers", "2000", "--client", Client, Database});
    if (R.Status != 0) throw std::runtime_error("fyndra-gensample failed: " + R.Err);
  }
};

const TSample& Sample() {
  static const TSample S;
  return S;
}

}  // namespace

const std::string& SampleDatabase() { return Sample().Database; }
const std::string& SampleClientFile() { return Sample().Client; }

TFormFile::TFormFile(const std::string& Text, const std::string& Name) : Path(Dir.File(Name)) {
  WriteWholeFile(Path, Text);
}

std::vector<std::string> SqlLines(const std::string& SQL) {
  TSQLiteConnection Db(SampleDatabase());
  TSQLiteStatement S(Db, SQL);
  std::vector<std::string> Lines;
  while (S.Step()) {
    std::string Line;
    for (int I = 0; I < S.ColumnCount(); ++I) {
      if (I) Line += ',';
      Line += S.ColumnIsNull(I) ? std::string() : std::string(S.ColumnText(I));
    }
    Lines.push_back(Line);
  }
  return Lines;
}

std::string Joined(const std::vector<std::string>& Lines) {
  std::string Text;
  for (const std::string& Line : Lines) Text += Line + "\n";
  return Text;
}

std::string ExampleForm(const std::string& Name) {
  return (fs::path(FYNDRA_SOURCE_FOLDER) / "examples" / "forms" / Name).string();
}

}  // namespace fyndra::clitest
