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
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

using dstest::IdOf;

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
    // Letters whose upper case is longer (ß, ﬁ), dotted and dotless i, the
    // Greek sigmas, accented letters in both cases, a CJK character and the
    // characters a prefix range's end is padded against.
    const std::vector<std::string> Letters = {"a", "A", "e", "é", "É", "i", "I", "İ", "ı", "s", "S", "ß", "ẞ",
                                              "ﬁ", "ü", "Ü", "ö", "Ö", "σ", "Σ", "ς", "字", "z", " ", "~"};
    std::vector<std::string> Names = {"Anna", "Straße", "Strasser", "STRASSE", "zéß", "Émile", "Ölaf", "élan",
                                      "ırmak", "IRMA", "İzmir"};
    std::mt19937 Rng(11);
    std::uniform_int_distribution<std::size_t> Len(1, 5), Pick(0, Letters.size() - 1);
    while (Names.size() < 260) {
      std::string N;
      for (std::size_t K = Len(Rng); K > 0; --K) N += Letters[Pick(Rng)];
      Names.push_back(N);
    }
    TSQLiteStatement Insert(Db->Connection(), "INSERT INTO words(name) VALUES (?)");
    for (const std::string& N : Names) {
      Insert.Reset();
      Insert.Bind(1, Variant(N), ftString);
      while (Insert.Step()) {
      }
    }
    // Criteria: prefixes of the names typed in every case.
    for (int K = 0; K < 90; ++K) {
      const std::string& N = Names[std::uniform_int_distribution<std::size_t>(0, Names.size() - 1)(Rng)];
      std::string P = CharLeft(N, std::uniform_int_distribution<std::size_t>(1, CharLength(N))(Rng));
      if (K % 3 == 1) P = AnsiUpperCase(P);
      if (K % 3 == 2) P = AnsiLowerCase(P);
      Criteria.push_back(P);
    }
    Criteria.insert(Criteria.end(), {"stras", "straß", "STRASSE", "zéß", "é", "É", "i", "I", "ı", "σ", "ς"});
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

  // Every record a find visits, first and then each next, with the index in
  // use or not.
  static std::vector<int> FindAll(TzvBdeFindModel* Find, TDataSet* DS, bool Optimization, bool& UsedIndex) {
    Find->GetOptions()->SetOptimization(Optimization);
    Find->GetOptions()->SetRestart(true);
    std::vector<int> Out;
    UsedIndex = false;
    if (Find->Apply()) {
      UsedIndex = Find->GetIndexModel()->GetIndexState() == isNearest;
      Find->GetOptions()->SetRestart(false);
      do {
        Out.push_back(IdOf(DS));
      } while (Find->Apply());
    }
    return Out;
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
      for (bool CaseInsensitive : {true, false}) {
        Name->SetOptions(CaseInsensitive ? TzvCompareItemOptions{ciConvertValue, ciCaseInsensitive}
                                         : TzvCompareItemOptions{ciConvertValue});
        for (std::int32_t Key : {ckStarts, ckEqual}) {
          Name->SetCompareKey(Key);
          for (const std::string& C : Criteria) {
            SCOPED_TRACE(std::string(Index) + (AsQuery ? " query" : " table") + " '" + C + "' ci " +
                         std::to_string(CaseInsensitive) + " key " + std::to_string(Key));
            Name->SetAsString(C);
            bool Used = false, Unused = false;
            const std::vector<int> Scan = FindAll(Find.get(), Src->GetDataSet(), false, Unused);
            const std::vector<int> Indexed = FindAll(Find.get(), Src->GetDataSet(), true, Used);
            ASSERT_EQ(Indexed, Scan);
            if (Used && !AsQuery) ++Served;
            // Only the orders that agree with the item's test are used.
            if (Used && CaseInsensitive) {
              EXPECT_STREQ(Index, "words_ci");
            }
          }
        }
      }
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
    for (bool CaseInsensitive : {true, false}) {
      Name->SetOptions(CaseInsensitive ? TzvCompareItemOptions{ciConvertValue, ciCaseInsensitive}
                                       : TzvCompareItemOptions{ciConvertValue});
      for (std::int32_t Key : {ckStarts, ckEqual}) {
        Name->SetCompareKey(Key);
        for (const std::string& C : Criteria) {
          SCOPED_TRACE(std::string(Index) + " '" + C + "' ci " + std::to_string(CaseInsensitive) + " key " +
                       std::to_string(Key));
          Name->SetAsString(C);
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
        }
      }
    }
    Filter.reset();
  }
}

}  // namespace
}  // namespace fyndra
