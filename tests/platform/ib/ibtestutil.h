// Helpers of the Firebird family's tests: the embedded engine set up once per
// test process in a private folder, and a fresh database file per test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <fyndra/platform/ib/ibcustomdataset.h>
#include <fyndra/platform/ib/ibdatabase.h>
#include <fyndra/platform/rtl/textservice.h>
#include "platform/bde/bdetestutil.h"

namespace fyndra::ibtest {

using bdetest::DbErrorOf;
using bdetest::TempDir;

// The environment variable that tells a test process started by another one
// to share its parent's engine folder (inherited through FIREBIRD and
// FIREBIRD_LOCK) instead of making its own.
inline constexpr const char* ChildVariable = "FYNDRA_IB_CHILD_DATABASE";

// Sets up the engine folder of this process (once, before the first
// connection); the folder goes when the process ends.
inline void PrepareEngine() {
  if (std::getenv(ChildVariable)) return;
  static TempDir Folder;
  static const bool Done = IBSetupEmbeddedEngine(Folder.File("engine"));
  (void)Done;
}

// A database file of its own, connected, with a default transaction.
class TestDatabase {
 public:
  explicit TestDatabase(const std::string& Name = "test.fdb") {
    PrepareEngine();
    SetDefaultLocale("en_US");
    Db->SetDatabaseName(Dir.File(Name));
    Db->GetParams()->Add("user_name=SYSDBA");
    Db->SetLoginPrompt(false);
    // Read committed, so that work committed by ExecuteImmediate is seen at once.
    Tr->GetParams()->SetText("read_committed\nrec_version\nnowait\n");
    Tr->SetDefaultDatabase(Db.get());
    Db->SetDefaultTransaction(Tr.get());
    Db->CreateDatabase();
  }
  void Exec(const std::string& SQL) { Db->ExecuteImmediate(SQL); }
  std::string File(const std::string& Name) const { return Dir.File(Name); }

  TempDir Dir;
  TOwned<TIBDatabase> Db = CreateOwned<TIBDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TIBTransaction> Tr = CreateOwned<TIBTransaction>(static_cast<TComponent*>(nullptr));
};

}  // namespace fyndra::ibtest
