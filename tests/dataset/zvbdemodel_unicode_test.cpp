// Unicode names on the local engine's indexes: whatever key search starts a
// find or bounds a filter's range selects exactly the records the items' own
// tests accept, on the case-insensitive collation (which the models use for
// case-insensitive criteria), on NOCASE and on byte order (which they use only
// for case-sensitive ones), for tables and for queries ordered the same way.
#include <fyndra/dataset/zvbdemodel.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sqliteengine.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/rtl/textservice.h>
#include "dataset/dstest.h"
#include "dataset/unicodewords.h"
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

class BdeUnicode : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultLocale("en_US");
    Db->SetDatabaseName(Dir.File("words.db"));
    Db->GetParams()->Add("CREATE=TRUE");
    Db->Open();
    CI = CollateClause(CaseInsensitiveCollation());
    Db->Execute("CREATE TABLE words(id INTEGER PRIMARY KEY, name VARCHAR(12));"
                "CREATE INDEX words_ci ON words(name" + CI + ");"
                "CREATE INDEX words_nocase ON words(name COLLATE NOCASE);"
                "CREATE INDEX words_bytes ON words(name);");
    std::mt19937 Rng(11);
    const std::vector<std::string> Names = unicodewords::Names(Rng, 260);
    TSQLiteStatement Insert(Db->Connection(), "INSERT INTO words(name) VALUES (?)");
    for (const std::string& N : Names) {
      Insert.Reset();
      Insert.Bind(1, Variant(N), ftString);
      while (Insert.Step()) {
      }
    }
    Criteria = unicodewords::Criteria(Rng, Names, 90);
  }

  // Opens the table on Index, or a query in its order, as the models' dataset.
  TDataSet* Open(const char* Index, bool AsQuery) {
    T.reset();
    Q.reset();
    if (AsQuery) {
      Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
      Q->SetDatabase(Db.get());
      const std::string Collate = std::string(Index) == "words_ci"       ? CI
                                  : std::string(Index) == "words_nocase" ? " COLLATE NOCASE"
                                                                         : "";
      Q->GetSQL()->SetText("SELECT id, name FROM words ORDER BY name" + Collate + ", id");
      Src->SetDataSet(Q.get());
      Q->Open();
      return Q.get();
    }
    T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
    T->SetDatabase(Db.get());
    T->SetTableName("words");
    T->SetIndexName(Index);
    Src->SetDataSet(T.get());
    T->Open();
    return T.get();
  }

  bdetest::TempDir Dir;
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TTable> T;
  TOwned<TQuery> Q;
  std::string CI;
  std::vector<std::string> Criteria;
};

// Find-first and find-next with the index agree with a scan in the dataset's
// order; the case-insensitive collation serves case-insensitive criteria.
TEST_F(BdeUnicode, FindThroughAnyIndexVisitsWhatAScanVisits) {
  auto Find = CreateOwned<TzvBdeFindModel>(nullptr);
  Find->SetName("Find");
  Find->GetOptions()->SetAutoUpdate(false);
  Find->GetOptions()->SetUnlessFoundOption(ufNotMove);
  Find->SetDataSource(Src.get());
  for (const char* Index : {"words_ci", "words_nocase", "words_bytes"}) {
    for (bool AsQuery : {false, true}) {
      Open(Index, AsQuery);
      TzvCompareItem* Name = Find->GetCompareItems()->FindByName("name");
      ASSERT_NE(Name, nullptr);
      int Served = 0;
      SCOPED_TRACE(std::string(Index) + (AsQuery ? " query" : " table"));
      unicodewords::ForEachCriterion(Name, Criteria, [&](const std::string&, bool CaseInsensitive, std::int32_t) {
        bool Used = false, Unused = false;
        const std::vector<int> Scan = unicodewords::FindAll(Find.get(), Src->GetDataSet(), false, Unused);
        const std::vector<int> Indexed = unicodewords::FindAll(Find.get(), Src->GetDataSet(), true, Used);
        ASSERT_EQ(Indexed, Scan);
        if (Used && !AsQuery) ++Served;
        // Only the orders that agree with the item's test are used.
        if (Used && CaseInsensitive) {
          EXPECT_STREQ(Index, "words_ci");
        }
      });
      // A table's key search serves the criteria its order agrees with.
      if (!AsQuery) {
        EXPECT_GT(Served, 100) << Index;
      }
    }
  }
}

// A filter on a table bounds its range through the index and selects what
// the filter event alone selects.
TEST_F(BdeUnicode, FilterRangeThroughAnyIndexSelectsWhatTheEventSelects) {
  std::vector<std::vector<int>> Expected;  // by case, compare key and criterion
  for (const char* Index : {"", "words_ci", "words_nocase", "words_bytes"}) {
    Open(Index, false);
    auto Filter = CreateOwned<TzvBdeFilterModel>(nullptr);
    Filter->SetName("Filter");
    Filter->SetDataSource(Src.get());
    Filter->SetFiltered(true);
    TzvCompareItem* Name = Filter->GetCompareItems()->FindByName("name");
    ASSERT_NE(Name, nullptr);
    std::size_t N = 0;
    SCOPED_TRACE(Index);
    unicodewords::ForEachCriterion(Name, Criteria, [&](const std::string&, bool CaseInsensitive, std::int32_t) {
      std::vector<int> Got = dstest::Ids(T.get());
      std::sort(Got.begin(), Got.end());
      if (!*Index) {
        EXPECT_FALSE(T->GetRanged());  // the primary key: the event alone
        Expected.push_back(Got);
      } else {
        EXPECT_EQ(Got, Expected[N]);
        // A range only where the index orders as the item compares.
        EXPECT_EQ(T->GetRanged(), CaseInsensitive == (std::string(Index) == "words_ci"));
      }
      ++N;
    });
    Filter.reset();
  }
}

}  // namespace
}  // namespace fyndra
