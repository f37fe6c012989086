// The engine layer: its value conventions, the transaction parameters, and
// the embedded engine shared by two processes at once.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <fyndra/platform/ib/ibclient.h>
#include <fyndra/platform/rtl/sysutils.h>
#include "platform/ib/ibtestutil.h"

extern char** environ;

namespace fyndra {
namespace {

TEST(IBValues, EngineDatesAndTimesBecomeDateTimesToTheMillisecond) {
  struct Case {
    std::int32_t Days;
    std::uint32_t Ticks;
    TDateTime Expected;
  } Cases[] = {
      {IBDateOffset, 0, 0.0},                                    // 30 December 1899
      {IBDateOffset + 1, IBTimeTicksPerDay / 4, 1.25},           // 31 December, 6:00
      {IBDateOffset - 1, IBTimeTicksPerDay / 4, -1.25},          // 29 December, 6:00
      {0, 0, -IBDateOffset},                                     // 17 November 1858
      {IBDateOffset, 5, 1.0 / 86400000.0},                      // half a millisecond rounds up
      {IBDateOffset, IBTimeTicksPerDay - 1, 86399999.0 / 86400000.0},  // never the next day
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Days);
    EXPECT_DOUBLE_EQ(IBDateTime(C.Days, C.Ticks), C.Expected);
  }
  EXPECT_EQ(IBDateTime(IBDateOffset + 45000, 0), EncodeDate(2023, 3, 15));
}

TEST(IBValues, ScaledIntegersBecomeExactDecimals) {
  struct Case {
    std::int64_t Scaled;
    int Places;
    const char* Expected;
  } Cases[] = {
      {1234, 2, "12.34"},
      {-5, 2, "-0.05"},
      {0, 3, "0.000"},
      {INT64_MAX, 4, "922337203685477.5807"},
      {INT64_MIN, 2, "-92233720368547758.08"},
      {7, 0, "7"},
  };
  TFormatSettings Point = FormatSettings();
  Point.DecimalSeparator = '.';
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Expected);
    EXPECT_EQ(BcdToStr(IBScaledToBcd(C.Scaled, C.Places), Point), C.Expected);
  }
}

TEST(IBValues, FixedCharKeepsTheBlanksOfItsDeclaredWidthOnly) {
  // A CHAR(n) value arrives padded to n × 4 bytes.
  EXPECT_EQ(IBTrimFixedChar("\xC3\xA4          ", 3), "\xC3\xA4  ");
  EXPECT_EQ(IBTrimFixedChar("ab  ", 2), "ab");
  EXPECT_EQ(IBTrimFixedChar("a b ", 4), "a b ");
  EXPECT_EQ(IBTrimFixedChar("    ", 2), "  ");
}

TEST(IBTransactionParameters, KnownWordsBecomeTagsAndOthersAreRefused) {
  EXPECT_TRUE(IBTransactionParameters({}).empty());
  EXPECT_EQ(IBTransactionParameters({"read_committed", " REC_VERSION ", "nowait", ""}).size(), 4u);
  EXPECT_EQ(ibtest::DbErrorOf([] { IBTransactionParameters({"read_commited"}); }),
            "Unknown transaction parameter 'read_commited'");
}

// Run by the test below in a second process: opens the database its parent
// holds open, reads it and adds a row.
TEST(IBEngineChild, OpensTheDatabaseOfItsParent) {
  const char* Path = std::getenv(ibtest::ChildVariable);
  if (!Path) GTEST_SKIP() << "runs only as the second process of SeveralProcessesOpenOneDatabaseAtOnce";
  auto Db = CreateOwned<TIBDatabase>(static_cast<TComponent*>(nullptr));
  auto Tr = CreateOwned<TIBTransaction>(static_cast<TComponent*>(nullptr));
  Db->SetDatabaseName(Path);
  Db->GetParams()->Add("user_name=SYSDBA");
  Tr->SetDefaultDatabase(Db.get());
  Db->SetDefaultTransaction(Tr.get());
  auto Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(Db.get());
  Q->GetSQL()->SetText("INSERT INTO seen (who) VALUES ('child')");
  Q->ExecSQL();
  Tr->Commit();
}

TEST(IBEngine, SeveralProcessesOpenOneDatabaseAtOnce) {
  ibtest::TestDatabase T;
  T.Exec("CREATE TABLE seen (who VARCHAR(10))");
  // The parent keeps a connection with an open transaction while the child works.
  auto Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(T.Db.get());
  Q->GetSQL()->SetText("INSERT INTO seen (who) VALUES ('parent')");
  Q->ExecSQL();
  T.Tr->Commit();
  T.Tr->StartTransaction();

  const std::string Path = T.Db->GetDatabaseName();
  std::vector<std::string> Env;
  for (char** E = environ; *E; ++E) Env.emplace_back(*E);
  Env.push_back(std::string(ibtest::ChildVariable) + "=" + Path);
  std::vector<char*> EnvP;
  for (std::string& E : Env) EnvP.push_back(E.data());
  EnvP.push_back(nullptr);
  std::string Self = "/proc/self/exe", Filter = "--gtest_filter=IBEngineChild.*";
  char* Argv[] = {Self.data(), Filter.data(), nullptr};
  pid_t Pid = 0;
  ASSERT_EQ(posix_spawn(&Pid, Self.c_str(), nullptr, nullptr, Argv, EnvP.data()), 0);
  int Status = 0;
  ASSERT_EQ(waitpid(Pid, &Status, 0), Pid);
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 0);

  T.Tr->Commit();
  Q->GetSQL()->SetText("SELECT who FROM seen ORDER BY who");
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 2);
  EXPECT_EQ(Q->FieldByName("who")->AsString(), "child");
}

}  // namespace
}  // namespace fyndra
