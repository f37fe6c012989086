// Helpers of the fyndra command's tests: running the built program in a
// child process with a given standard input and environment, a temporary
// folder, and one sample database (with its client dataset file) made once
// for the whole test program by the built generator.
#pragma once

#include <string>
#include <vector>

namespace fyndra::clitest {

struct TResult {
  std::string Out;
  std::string Err;
  int Status = -1;  // exit status; 128 + signal when killed by one
};

// Runs Program with Args (without the program name); Input is its standard
// input. The environment is fixed (an en_US locale, no terminal) apart from
// the sanitizer options, so output does not depend on the machine.
TResult RunProgram(const std::string& Program, const std::vector<std::string>& Args,
                   const std::string& Input = std::string(), const std::string& WorkingFolder = std::string());
// The fyndra program.
TResult Fyndra(const std::vector<std::string>& Args, const std::string& Input = std::string(),
               const std::string& WorkingFolder = std::string());

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& Name) const;
  const std::string& Path() const { return Path_; }

 private:
  std::string Path_;
};

// A form in a folder of its own.
struct TFormFile {
  TempDir Dir;
  std::string Path;
  explicit TFormFile(const std::string& Text, const std::string& Name = "form.dfm");
};

// The sample database of the tests (2000 customers, seed 1) and its client
// dataset file, generated on first use by fyndra-gensample.
const std::string& SampleDatabase();
const std::string& SampleClientFile();
// The example forms' folder in the source tree, and one form in it.
std::string ExampleForm(const std::string& Name);
// Rows of SQL run on the sample database, each as one CSV line (values as
// fyndra's csv format writes them: the SQL must convert them alike).
std::vector<std::string> SqlLines(const std::string& SQL);
// The lines joined, each ended by a line break.
std::string Joined(const std::vector<std::string>& Lines);
std::string ReadWholeFile(const std::string& Path);
void WriteWholeFile(const std::string& Path, const std::string& Text);

}  // namespace fyndra::clitest
