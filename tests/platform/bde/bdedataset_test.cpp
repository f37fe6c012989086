#include <gtest/gtest.h>

#include <string>

#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/rtl/sysutils.h>
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

using bdetest::DbErrorOf;
using bdetest::TempDir;

class BDEDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Db->SetDatabaseName(Dir.File("d.db"));
    Db->GetParams()->Add("CREATE=TRUE");
    Db->Open();
    Q->SetDatabase(Db.get());
    T->SetDatabase(Db.get());
  }
  void Select(const std::string& SQL) {
    Q->Close();
    Q->GetSQL()->SetText(SQL);
    Q->Open();
  }
  // Rows 1..N of every kind of value: texts of growing length, exact
  // decimals, time stamps, blobs with zero bytes, and Nulls in every third row.
  void MakeMixedTable(int N) {
    Db->Execute("CREATE TABLE m (id INTEGER PRIMARY KEY, name VARCHAR(40), qty INT, price NUMERIC(12,2), "
                "big DECIMAL(30,10), seen TIMESTAMP, ok BOOLEAN, data BLOB, note TEXT)");
    Db->Execute(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(N) +
        ") INSERT INTO m SELECT i, CASE WHEN i % 3 = 0 THEN NULL ELSE 'n' || substr('ääääääääää', 1, i % 11) || i END, "
        "i * 1000, i + 0.25, '1234567890.' || i, '2020-01-02 03:04:' || printf('%02d', i % 60), i % 2, "
        "CASE WHEN i % 3 = 0 THEN NULL ELSE x'00ff' || zeroblob(i % 4) END, NULL FROM n");
  }
  void ExpectRow(TDataSet* D, int I) {
    SCOPED_TRACE(I);
    ASSERT_EQ(D->FieldByName("id")->GetAsInteger(), I);
    if (I % 3 == 0) {
      EXPECT_TRUE(D->FieldByName("name")->IsNull());
      EXPECT_TRUE(D->FieldByName("data")->IsNull());
    } else {
      std::string Name = "n";
      for (int K = 0; K < I % 11; ++K) Name += "ä";
      EXPECT_EQ(D->FieldByName("name")->GetAsString(), Name + std::to_string(I));
      EXPECT_EQ(D->FieldByName("data")->GetAsString(), std::string("\0\xff", 2) + std::string(std::size_t(I % 4), '\0'));
    }
    EXPECT_EQ(D->FieldByName("qty")->GetAsInteger(), I * 1000);
    EXPECT_EQ(D->FieldByName("price")->GetAsCurrency(), Currency::FromScaled(I * 10000LL + 2500));
    EXPECT_EQ(BcdCompare(D->FieldByName("big")->GetAsBCD(),
                         StrToBcd("1234567890." + std::to_string(I), FormatSettingsForLocale("en_US"))),
              0);
    TSQLTimeStamp Seen{2020, 1, 2, 3, 4, 0, 0};
    Seen.Second = decltype(Seen.Second)(I % 60);
    EXPECT_EQ(D->FieldByName("seen")->GetAsSQLTimeStamp(), Seen);
    EXPECT_EQ(D->FieldByName("ok")->GetAsBoolean(), I % 2 == 1);
    EXPECT_TRUE(D->FieldByName("note")->IsNull());
  }

  TempDir Dir;
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TQuery> Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
  TOwned<TTable> T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
};

// Rows read forwards (a query) and backwards (a table from its end) keep
// every value, however the text and other values of the rows interleave.
TEST_F(BDEDataSetTest, EveryValueSurvivesTheRowWindowBothWays) {
  constexpr int N = 40;
  MakeMixedTable(N);
  Select("SELECT * FROM m ORDER BY id");
  for (int I = 1; I <= N; ++I, Q->Next()) ExpectRow(Q.get(), I);
  EXPECT_TRUE(Q->Eof());
  for (int I = N; I >= 1; --I, Q->Prior()) ExpectRow(Q.get(), I);
  EXPECT_TRUE(Q->Bof());

  T->SetTableName("m");
  T->Open();
  T->Last();
  for (int I = N; I >= 1; --I, T->Prior()) ExpectRow(T.get(), I);
  for (int I = 1; I <= N; ++I, T->Next()) ExpectRow(T.get(), I);
}

// Values the column's type cannot hold raise the engine layer's message;
// values of another storage that convert exactly are read.
TEST_F(BDEDataSetTest, StoredValuesAreConvertedExactlyOrRefused) {
  struct Case {
    const char* Decl;
    const char* Stored;   // SQL literal
    const char* Expect;   // the value as text, or a part of the error
    bool Refused;
  } Cases[] = {
      {"INT", "3000000000", "not a valid INT value", true},  // beyond 32 bits
      {"INT", "'42'", "42", false},
      {"INT", "'4x'", "not a valid INT value", true},
      {"INTEGER", "9007199254740993", "9007199254740993", false},  // not through a double
      {"BOOLEAN", "'true'", "True", false},
      {"NUMERIC(12,2)", "0.1", "0.1", false},
      {"NUMERIC(12,2)", "-7", "-7", false},
      {"NUMERIC(12,2)", "922337203685477", "922337203685477", false},  // the largest whole Currency
      {"NUMERIC(12,2)", "922337203685478", "NUMERIC(12,2) value", true},
      {"MONEY", "'12.3456'", "12.3456", false},
      {"MONEY", "'-0.0001'", "-0.0001", false},
      {"VARCHAR(3)", "'abc'", "abc", false},
      {"VARCHAR(1)", "'abcdef'", "too long for field 'v'", true},  // the file does not enforce the size
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Decl) + " " + C.Stored);
    Q->Close();
    Db->Execute("DROP TABLE IF EXISTS c; CREATE TABLE c (v " + std::string(C.Decl) + "); INSERT INTO c VALUES (" +
                C.Stored + ")");
    std::string Got = DbErrorOf([&] {
      Select("SELECT v FROM c");
      Q->First();
      const std::string V = Q->FieldByName("v")->GetAsString();
      throw EDatabaseError("value " + V);
    });
    if (C.Refused) {
      EXPECT_NE(Got.find(C.Expect), std::string::npos) << Got;
      EXPECT_EQ(Got.find("value "), std::string::npos) << Got;
    } else {
      EXPECT_EQ(Got, std::string("value ") + C.Expect);
    }
  }
}

// A record browsed to and then edited keeps the values it was not given:
// they are written back unchanged, and Cancel shows the stored ones again.
TEST_F(BDEDataSetTest, EditingABrowsedRecordKeepsItsOtherValues) {
  MakeMixedTable(5);
  T->SetTableName("m");
  T->Open();
  T->Next();
  T->Next();  // id 3: Nulls
  T->Next();  // id 4
  T->Edit();
  T->FieldByName("qty")->SetAsInteger(-1);
  EXPECT_EQ(T->FieldByName("name")->GetAsString(), "nääää4");
  T->Post();
  T->Edit();
  T->FieldByName("name")->SetAsString("changed");
  T->Cancel();
  EXPECT_EQ(T->FieldByName("name")->GetAsString(), "nääää4");
  EXPECT_EQ(T->FieldByName("qty")->GetAsInteger(), -1);
  T->Close();
  Select("SELECT * FROM m WHERE id = 4");
  EXPECT_EQ(Q->FieldByName("qty")->GetAsInteger(), -1);
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "nääää4");
  EXPECT_EQ(Q->FieldByName("price")->GetAsCurrency(), Currency::FromScaled(42500));
  EXPECT_EQ(BcdCompare(Q->FieldByName("big")->GetAsBCD(), StrToBcd("1234567890.4", FormatSettingsForLocale("en_US"))),
            0);
  EXPECT_EQ(Q->FieldByName("seen")->GetAsSQLTimeStamp(), (TSQLTimeStamp{2020, 1, 2, 3, 4, 4, 0}));
  EXPECT_EQ(Q->FieldByName("data")->GetAsString(), std::string("\0\xff", 2));
  EXPECT_TRUE(Q->FieldByName("note")->IsNull());
  Select("SELECT count(*) AS n FROM m WHERE qty <> id * 1000");
  EXPECT_EQ(Q->FieldByName("n")->GetAsInteger(), 1);
}

// Opening the same text again gives the definitions of what the columns now
// are: a table made anew, a computed column whose first value changed type.
TEST_F(BDEDataSetTest, ReopeningFollowsChangedColumns) {
  Db->Execute("CREATE TABLE r (v INT NOT NULL); INSERT INTO r VALUES (1)");
  Select("SELECT * FROM r");
  ASSERT_EQ(Q->FieldCount(), 1);
  EXPECT_EQ(Q->FieldByName("v")->GetDataType(), ftInteger);
  EXPECT_TRUE(Q->GetFieldDefs()->Find("v")->GetRequired());
  Q->Close();
  Db->Execute("DROP TABLE r; CREATE TABLE r (v VARCHAR(5), w REAL); INSERT INTO r VALUES ('a', 1.5)");
  Q->Open();
  ASSERT_EQ(Q->FieldCount(), 2);
  EXPECT_EQ(Q->FieldByName("v")->GetDataType(), ftString);
  EXPECT_EQ(Q->FieldByName("v")->GetSize(), 5);
  EXPECT_FALSE(Q->GetFieldDefs()->Find("v")->GetRequired());
  EXPECT_EQ(Q->FieldByName("v")->GetAsString(), "a");
  EXPECT_EQ(Q->FieldByName("w")->GetAsFloat(), 1.5);

  Select("SELECT max(w) AS m FROM r");
  EXPECT_EQ(Q->FieldByName("m")->GetDataType(), ftFloat);
  Q->Close();
  Db->Execute("UPDATE r SET w = 'text'");
  Q->Open();
  EXPECT_EQ(Q->FieldByName("m")->GetDataType(), ftMemo);
  EXPECT_EQ(Q->FieldByName("m")->GetAsString(), "text");
}

}  // namespace
}  // namespace fyndra
