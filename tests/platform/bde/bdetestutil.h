// Helpers of the engine family's tests: a temporary folder for database files.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include <fyndra/platform/db/dbtypes.h>
#include "platform/db/dbtest.h"

namespace fyndra::bdetest {

class TempDir {
 public:
  TempDir() {
    Path_ = std::filesystem::temp_directory_path() /
            ("fyndra-bde-" + std::to_string(::getpid()) + "-" + std::to_string(Counter()++));
    std::filesystem::create_directories(Path_);
  }
  ~TempDir() { std::filesystem::remove_all(Path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& Name) const { return (Path_ / Name).string(); }

 private:
  static int& Counter() {
    static int N = 0;
    return N;
  }
  std::filesystem::path Path_;
};

// The message of the EDatabaseError an action raises (shared with the
// dataset layer's tests).
using test::DbErrorOf;

}  // namespace fyndra::bdetest
