// Unicode names on the client dataset's indexes: whatever key search starts a
// find or bounds a filter's range selects exactly the records the items' own
// tests accept, in the dataset's order, on indexes that ignore case and on
// those that respect it, ascending and descending, on 8-bit and wide texts.
#include <fyndra/adapters/client/zvclientmodel.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/core/zvstrutils.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/rtl/textservice.h>
#include "dataset/unicodewords.h"

namespace fyndra {
namespace {

struct TIndexCase {
  const char* Name;
  const char* Fields;
  TIndexOptions Options;
  bool CaseInsensitive;
};

// The indexes the tests order by: "" is the order of insertion.
const TIndexCase kIndexes[] = {
    {"", "", {}, false},
    {"NameCi", "NAME", {ixCaseInsensitive}, true},
    {"NameCs", "NAME", {}, false},
    {"NameCiDesc", "NAME", {ixCaseInsensitive, ixDescending}, true},
    {"NameCiId", "NAME;ID", {ixCaseInsensitive}, true},
    {"WideCi", "WNAME", {ixCaseInsensitive}, true},
    {"WideCs", "WNAME", {}, false},
};

class ClientUnicode : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultLocale("en_US");
    std::mt19937 Rng(11);
    Names = unicodewords::Names(Rng, 260);
    Criteria = unicodewords::Criteria(Rng, Names, 90);
    DS = Make(Names);
    Src->SetDataSet(DS.get());
  }

  // ID, NAME (text 12) and WNAME (wide text 12) holding the same name, with
  // every index of kIndexes.
  static TOwned<TClientDataSet> Make(const std::vector<std::string>& Values) {
    auto Out = CreateOwned<TClientDataSet>(nullptr);
    Out->SetName("Words");
    Out->GetFieldDefs()->Add("ID", ftInteger);
    Out->GetFieldDefs()->Add("NAME", ftString, 12);
    Out->GetFieldDefs()->Add("WNAME", ftWideString, 12);
    Out->CreateDataSet();
    for (const TIndexCase& I : kIndexes)
      if (*I.Name) Out->AddIndex(I.Name, I.Fields, I.Options);
    int Id = 0;
    for (const std::string& N : Values)
      Out->AppendRecord({Variant(std::int32_t(++Id)), Variant(N), Variant(Utf8ToUtf16(N))});
    return Out;
  }

  // A find model on Src that finds when asked (Apply), not as values change.
  TOwned<TzvClientFindModel> MakeFind() const {
    auto Find = CreateOwned<TzvClientFindModel>(nullptr);
    Find->SetName("Find");
    Find->GetOptions()->SetAutoUpdate(false);
    Find->SetDataSource(Src.get());
    return Find;
  }

  std::vector<std::string> Names;
  std::vector<std::string> Criteria;
  TOwned<TClientDataSet> DS;
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
};

// The names users typed: with the case-insensitive index in use a find lands
// on Straße, the first match in the index's order, as it does without it.
TEST_F(ClientUnicode, TypingStrasLandsOnTheFirstMatch) {
  auto Three = Make({"Anna", "Straße", "Strasser"});
  Src->SetDataSet(Three.get());
  Three->SetIndexName("NameCi");
  TOwned<TzvClientFindModel> Find = MakeFind();
  TzvCompareItem* Name = Find->GetCompareItems()->FindByName("NAME");
  for (const char* Typed : {"stras", "straß", "STRASSE", "STRAS"}) {
    SCOPED_TRACE(Typed);
    Name->SetAsString(Typed);
    bool Used = false, Unused = false;
    EXPECT_EQ(unicodewords::FindAll(Find.get(), Three.get(), true, Used, "ID"),
              unicodewords::FindAll(Find.get(), Three.get(), false, Unused, "ID"));
    EXPECT_TRUE(Used);
    Find->GetOptions()->SetRestart(true);
    ASSERT_TRUE(Find->Apply());
    EXPECT_EQ(Three->FieldByName("NAME")->AsString(), "Straße");
  }
  // The dataset's own key search: upper-case forms are its keys.
  EXPECT_TRUE(Three->FindKey({Variant("STRASSE")}));
  EXPECT_EQ(Three->FieldByName("NAME")->AsString(), "Straße");
  Three->FindNearest({Variant("STRAS")});
  EXPECT_EQ(Three->FieldByName("NAME")->AsString(), "Straße");
  Three->SetRange({Variant("STRASSE")}, {Variant("STRASSE")});
  EXPECT_EQ(Three->RecordCount(), 1);
  Three->CancelRange();
  EXPECT_TRUE(Three->Locate("NAME", Variant("STRASSER"), {loCaseInsensitive}));
  EXPECT_EQ(Three->FieldByName("ID")->AsInteger(), 3);
}

// A record named exactly zéß among 10,000 is found at every keystroke of its
// name, in any case, with the index in use.
TEST_F(ClientUnicode, ARecordAmongTenThousandIsFoundWhileItsNameIsTyped) {
  std::mt19937 Rng(7);
  std::vector<std::string> Many = unicodewords::Names(Rng, 10000);
  auto Big = Make(Many);
  Src->SetDataSet(Big.get());
  Big->SetIndexName("NameCi");
  TOwned<TzvClientFindModel> Find = MakeFind();
  TzvCompareItem* Name = Find->GetCompareItems()->FindByName("NAME");
  const int Wanted = int(std::find(Many.begin(), Many.end(), "zéß") - Many.begin()) + 1;
  for (const char* Typed : {"z", "zé", "zéß", "ZÉSS", "ZÉß", "zéss"}) {
    SCOPED_TRACE(Typed);
    Name->SetAsString(Typed);
    bool Used = false;
    std::vector<int> Visited = unicodewords::FindAll(Find.get(), Big.get(), true, Used, "ID");
    EXPECT_TRUE(Used);
    EXPECT_NE(std::find(Visited.begin(), Visited.end(), Wanted), Visited.end());
    // Every record visited starts with what was typed, and none is missed.
    int Agreeing = 0;
    for (const std::string& N : Many) Agreeing += AnsiStartsText(Typed, N) ? 1 : 0;
    EXPECT_EQ(int(Visited.size()), Agreeing);
  }
}

// Find-first and find-next with the index agree with a scan in the dataset's
// order, and the index is used where its order is the item's comparison.
TEST_F(ClientUnicode, FindThroughAnyIndexVisitsWhatAScanVisits) {
  TOwned<TzvClientFindModel> Find = MakeFind();
  Find->GetOptions()->SetUnlessFoundOption(ufNotMove);
  for (const TIndexCase& Index : kIndexes) {
    if (!*Index.Name) continue;
    DS->SetIndexName(Index.Name);
    const char* Field = std::string(Index.Fields).starts_with("W") ? "WNAME" : "NAME";
    TzvCompareItem* Name = Find->GetCompareItems()->FindByName(Field);
    ASSERT_NE(Name, nullptr);
    int Served = 0;
    SCOPED_TRACE(Index.Name);
    unicodewords::ForEachCriterion(Name, Criteria, [&](const std::string&, bool CaseInsensitive, std::int32_t) {
      bool Used = false, Unused = false;
      const std::vector<int> Scan = unicodewords::FindAll(Find.get(), DS.get(), false, Unused, "ID");
      const std::vector<int> Indexed = unicodewords::FindAll(Find.get(), DS.get(), true, Used, "ID");
      ASSERT_EQ(Indexed, Scan);
      if (Used) {
        ++Served;
        EXPECT_EQ(CaseInsensitive, Index.CaseInsensitive);
      }
    });
    EXPECT_GT(Served, 100);
    Name->SetAsString("");
  }
}

// A filter bounds its range through the index and selects what the filter
// event alone selects; a range is set exactly where the index orders as the
// item compares: every comparison respecting case on an index that does,
// equal and "starts with" ignoring case on one that ignores it (the ordered
// comparisons order the texts themselves, not their upper-case forms).
TEST_F(ClientUnicode, FilterRangeThroughAnyIndexSelectsWhatTheEventSelects) {
  for (const char* Field : {"NAME", "WNAME"}) {
    std::vector<std::vector<int>> Expected;  // by case, compare key and criterion
    for (const TIndexCase& Index : kIndexes) {
      if (*Index.Name && std::string(Index.Fields).starts_with("W") != (Field[0] == 'W')) continue;
      DS->SetIndexName(Index.Name);
      auto Filter = CreateOwned<TzvClientFilterModel>(nullptr);
      Filter->SetName("Filter");
      Filter->SetDataSource(Src.get());
      Filter->SetFiltered(true);
      TzvCompareItem* Name = Filter->GetCompareItems()->FindByName(Field);
      ASSERT_NE(Name, nullptr);
      std::size_t N = 0;
      SCOPED_TRACE(std::string(Field) + " " + Index.Name);
      unicodewords::ForEachCriterion(Name, Criteria, [&](const std::string&, bool CaseInsensitive, std::int32_t Key) {
        std::vector<int> Got;
        for (DS->First(); !DS->Eof(); DS->Next()) Got.push_back(DS->FieldByName("ID")->AsInteger());
        std::sort(Got.begin(), Got.end());
        if (!*Index.Name) {
          EXPECT_FALSE(DS->GetRanged());  // no index: the event alone
          Expected.push_back(Got);
        } else {
          EXPECT_EQ(Got, Expected[N]);
          const bool Ordered = Key != ckStarts && Key != ckEqual;
          EXPECT_EQ(DS->GetRanged(), CaseInsensitive == Index.CaseInsensitive && !(CaseInsensitive && Ordered));
        }
        ++N;
      }, {ckStarts, ckEqual, ckGreater, ckLessOrEqual});
      Filter.reset();
    }
  }
}

// The dataset's own searches on its indexes against a scan of every record:
// FindKey and FindNearest land on the first record whose key is at or after
// the upper-case form, SetRange holds the records whose upper-case form lies
// between its ends, and Locate finds what a scan finds.
TEST_F(ClientUnicode, KeySearchRangesAndLocateAgreeWithAScan) {
  for (const TIndexCase& Index : kIndexes) {
    if (!*Index.Name || std::string(Index.Fields) == "NAME;ID") continue;
    SCOPED_TRACE(Index.Name);
    DS->SetIndexName(Index.Name);
    const char* Field = Index.Fields;
    const bool Desc = Index.Options.Contains(ixDescending);
    // The index's comparison of two names, as its order has it.
    auto Order = [&](const std::string& A, const std::string& B) {
      const int C = Index.CaseInsensitive ? AnsiCompareUpperText(A, B) : AnsiCompareStr(A, B);
      return Desc ? -C : C;
    };
    std::vector<std::string> InOrder;
    for (DS->First(); !DS->Eof(); DS->Next()) InOrder.push_back(DS->FieldByName("NAME")->AsString());
    for (std::size_t I = 1; I < InOrder.size(); ++I) ASSERT_LE(Order(InOrder[I - 1], InOrder[I]), 0) << I;
    for (const std::string& C : Criteria) {
      SCOPED_TRACE(C);
      const std::string Key = Index.CaseInsensitive ? AnsiUpperCase(C) : C;
      // The first record at or after the key in the index's order.
      const auto At = std::find_if(InOrder.begin(), InOrder.end(), [&](const std::string& N) {
        return Order(N, Key) >= 0;
      });
      const bool Equal = At != InOrder.end() && Order(*At, Key) == 0;
      EXPECT_EQ(DS->FindKey({Variant(Key)}), Equal);
      if (Equal) {
        EXPECT_EQ(DS->FieldByName("NAME")->AsString(), *At);
      }
      DS->FindNearest({Variant(Key)});
      EXPECT_EQ(DS->FieldByName("NAME")->AsString(), At != InOrder.end() ? *At : InOrder.back());
      DS->SetRange({Variant(Key)}, {Variant(Key)});
      const auto Same = std::count_if(InOrder.begin(), InOrder.end(), [&](const std::string& N) {
        return Order(N, Key) == 0;
      });
      EXPECT_EQ(DS->RecordCount(), int(Same));
      DS->CancelRange();
      // Locate by the dataset's own rule finds a record through the index
      // exactly when a scan in the order of insertion finds one.
      const TLocateOptions Options = Index.CaseInsensitive ? TLocateOptions{loCaseInsensitive} : TLocateOptions{};
      auto Matches = [&] {
        const std::string N = DS->FieldByName("NAME")->AsString();
        return Index.CaseInsensitive ? AnsiSameText(N, C) : N == C;
      };
      const bool Found = DS->Locate(Field, Variant(C), Options);
      if (Found) {
        EXPECT_TRUE(Matches());
      }
      DS->SetIndexName("");
      EXPECT_EQ(DS->Locate(Field, Variant(C), Options), Found);
      DS->SetIndexName(Index.Name);
    }
  }
}

}  // namespace
}  // namespace fyndra
