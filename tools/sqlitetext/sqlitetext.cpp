// fyndra_sqlitetext: a SQLite extension that a program loads into a SQLite
// connection it does not open itself (SQLite's ODBC driver loads it with
// "LoadExt=/path/libfyndra_sqlitetext.so" in the connection string). It makes
// the connection compare text as Fyndra's record tests do:
//  - UPPER and LOWER map case through the platform text service (full
//    Unicode mapping: straße becomes STRASSE), not ASCII letters only;
//  - LIKE respects case, so that a case-sensitive criterion stays one, and a
//    case-insensitive one compares UPPER( F ) with an upper-case pattern.
// Our own SQLite family does the same on every connection it opens.
#include <sqlite3ext.h>

#include <exception>
#include <string>
#include <string_view>

#include <fyndra/platform/rtl/textservice.h>

SQLITE_EXTENSION_INIT1

namespace {

template <std::string (*Map)(std::string_view)>
void CaseFunction(sqlite3_context* Ctx, int /*Argc*/, sqlite3_value** Argv) {
  if (sqlite3_value_type(Argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(Ctx);
    return;
  }
  const auto* Text = reinterpret_cast<const char*>(sqlite3_value_text(Argv[0]));
  const int Bytes = sqlite3_value_bytes(Argv[0]);
  try {
    const std::string Out = Map(std::string_view(Text ? Text : "", static_cast<std::size_t>(Bytes)));
    sqlite3_result_text(Ctx, Out.data(), static_cast<int>(Out.size()), SQLITE_TRANSIENT);
  } catch (const std::exception& E) {
    sqlite3_result_error(Ctx, E.what(), -1);
  }
}

std::string Upper(std::string_view S) { return fyndra::AnsiUpperCase(S); }
std::string Lower(std::string_view S) { return fyndra::AnsiLowerCase(S); }

int Init(sqlite3* Db, char** Error, const sqlite3_api_routines* Api) {
  SQLITE_EXTENSION_INIT2(Api);
  const int Flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  int Rc = sqlite3_create_function_v2(Db, "upper", 1, Flags, nullptr, &CaseFunction<&Upper>, nullptr, nullptr, nullptr);
  if (Rc == SQLITE_OK)
    Rc = sqlite3_create_function_v2(Db, "lower", 1, Flags, nullptr, &CaseFunction<&Lower>, nullptr, nullptr, nullptr);
  if (Rc == SQLITE_OK) Rc = sqlite3_exec(Db, "PRAGMA case_sensitive_like = ON", nullptr, nullptr, Error);
  return Rc;
}

}  // namespace

// SQLite looks for the entry point named after the file, then for the generic one.
extern "C" int sqlite3_fyndrasqlitetext_init(sqlite3* Db, char** Error, const sqlite3_api_routines* Api) {
  return Init(Db, Error, Api);
}
extern "C" int sqlite3_extension_init(sqlite3* Db, char** Error, const sqlite3_api_routines* Api) {
  return Init(Db, Error, Api);
}
