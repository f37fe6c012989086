// fyndra-gensample: writes the deterministic sample database.
//   fyndra-gensample [--customers N] [--orders M] [--seed S] FILE
// N customers (default 1000), each with 0..M orders (default 3).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <fyndra/platform/bde/sampledb.h>

namespace {

int Usage() {
  std::fprintf(stderr, "usage: fyndra-gensample [--customers N] [--orders M] [--seed S] FILE\n");
  return 2;
}

bool ParseCount(const char* Text, long long& Out) {
  char* End = nullptr;
  Out = std::strtoll(Text, &End, 10);
  return End && *End == '\0' && End != Text && Out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  fyndra::TSampleDatabaseOptions Options;
  std::string Path;
  for (int I = 1; I < argc; ++I) {
    std::string Arg = argv[I];
    long long Value = 0;
    if ((Arg == "--customers" || Arg == "--orders" || Arg == "--seed") && I + 1 < argc) {
      if (!ParseCount(argv[++I], Value)) return Usage();
      if (Arg == "--customers") Options.Customers = Value;
      else if (Arg == "--orders") Options.MaxOrdersPerCustomer = static_cast<int>(Value);
      else Options.Seed = static_cast<unsigned long long>(Value);
    } else if (!Arg.empty() && Arg[0] != '-' && Path.empty()) {
      Path = Arg;
    } else {
      return Usage();
    }
  }
  if (Path.empty()) return Usage();
  try {
    fyndra::GenerateSampleDatabase(Path, Options);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "fyndra-gensample: %s\n", E.what());
    return 1;
  }
  return 0;
}
