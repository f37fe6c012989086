// fyndra-gensample: writes the deterministic sample database.
//   fyndra-gensample [--customers N] [--orders M] [--seed S] [--client FILE] DATABASE
// N customers (default 1000), each with 0..M orders (default 3); the same
// options always give the same database. --client also writes the customers
// as a client dataset file. Both files are written under a temporary name and
// renamed into place, so an interrupted run never leaves a partial file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include <fyndra/platform/bde/sampledb.h>

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: fyndra-gensample [--customers N] [--orders M] [--seed S] [--client FILE] DATABASE\n");
  return 2;
}

bool ParseCount(const char* Text, long long& Out) {
  char* End = nullptr;
  errno = 0;
  Out = std::strtoll(Text, &End, 10);
  return errno == 0 && End && *End == '\0' && End != Text && Out >= 0;
}

// Runs Write on Path + ".part", then renames the result to Path.
template <class F>
void WriteInPlace(const std::string& Path, F&& Write) {
  const std::string Part = Path + ".part";
  try {
    Write(Part);
    std::filesystem::rename(Part, Path);
  } catch (...) {
    std::error_code Ignored;
    std::filesystem::remove(Part, Ignored);
    throw;
  }
}

}  // namespace

int main(int argc, char** argv) {
  fyndra::TSampleDatabaseOptions Options;
  std::string Path, ClientPath;
  for (int I = 1; I < argc; ++I) {
    std::string Arg = argv[I];
    long long Value = 0;
    if ((Arg == "--customers" || Arg == "--orders" || Arg == "--seed") && I + 1 < argc) {
      if (!ParseCount(argv[++I], Value)) return Usage();
      if (Arg == "--customers") Options.Customers = Value;
      else if (Arg == "--orders" && Value <= 1000) Options.MaxOrdersPerCustomer = static_cast<int>(Value);
      else if (Arg == "--seed") Options.Seed = static_cast<unsigned long long>(Value);
      else return Usage();
    } else if (Arg == "--client" && I + 1 < argc && argv[I + 1][0] != '\0') {
      ClientPath = argv[++I];
    } else if (!Arg.empty() && Arg[0] != '-' && Path.empty()) {
      Path = Arg;
    } else {
      return Usage();
    }
  }
  if (Path.empty()) return Usage();
  try {
    WriteInPlace(Path, [&](const std::string& File) { fyndra::GenerateSampleDatabase(File, Options); });
    if (!ClientPath.empty())
      WriteInPlace(ClientPath, [&](const std::string& File) { fyndra::WriteSampleClientFile(Path, File); });
  } catch (const std::exception& E) {
    std::fprintf(stderr, "fyndra-gensample: %s\n", E.what());
    return 1;
  }
  return 0;
}
