// The sample databases the benchmarks read: generated once per size into the
// temporary folder (under a temporary name, renamed when complete) and kept
// for later runs, since the generated rows are deterministic. The name says
// which schema the file has ("ci": name and city indexes on the
// case-insensitive collation).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/sqliteengine.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::benchdb {

// Whether Path holds the customers table of that many rows.
inline bool HasSampleTable(const std::string& Path, std::int64_t Rows) {
  sqlite3* D = nullptr;
  bool Ok = false;
  if (sqlite3_open_v2(Path.c_str(), &D, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* S = nullptr;
    if (sqlite3_prepare_v2(D, "SELECT max(id) FROM customers", -1, &S, nullptr) == SQLITE_OK &&
        sqlite3_step(S) == SQLITE_ROW)
      Ok = sqlite3_column_int64(S, 0) == Rows;
    sqlite3_finalize(S);
  }
  sqlite3_close(D);
  return Ok;
}

// The sample database of Rows customers without orders (a million take
// about 15 s to generate the first time).
inline const std::string& SampleDatabaseFile(std::int64_t Rows) {
  static std::map<std::int64_t, std::string> Files;
  auto It = Files.find(Rows);
  if (It != Files.end()) return It->second;
  const std::string Path =
      (std::filesystem::temp_directory_path() / ("fyndra-sample-ci-" + std::to_string(Rows) + ".db")).string();
  if (!HasSampleTable(Path, Rows)) {
    const std::string Part = Path + ".part";
    GenerateSampleDatabase(Part, {.Customers = Rows, .MaxOrdersPerCustomer = 0});
    std::filesystem::rename(Part, Path);
  }
  return Files.emplace(Rows, Path).first->second;
}

// Makes the case-insensitive collation of the current text locale known to
// a connection opened with the sqlite3 API, so that a hand-written baseline
// can use the sample's name and city indexes.
inline void RegisterCaseInsensitiveCollation(sqlite3* Db) {
  static const std::string Locale = TextLocale();
  sqlite3_create_collation_v2(Db, CaseInsensitiveCollation(Locale).c_str(), SQLITE_UTF8,
                              const_cast<std::string*>(&Locale), &CompareCaseInsensitiveCollation, nullptr);
}

}  // namespace fyndra::benchdb
