// The find model on client datasets: first and next, the not-found placement
// and messages, index start and stop, exceptions during the scan, and a name
// typed character by character.
#include <gtest/gtest.h>

#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include "dataset/dstest.h"

namespace fyndra {
namespace {

using dstest::IdOf;
using dstest::People;
using dstest::SixPeople;
using dstest::TLogFindModel;
using dstest::TMessageCatcher;

// Counts what the dataset's controls are told.
class TControlSpy : public TDataLink {
  FYNDRA_CLASS(TControlSpy, TDataLink)
 public:
  int Changes = 0;

 protected:
  TControlSpy() = default;
  void DataSetChanged() override { ++Changes; }
};
FYNDRA_IMPLEMENT_CLASS(TControlSpy)

struct Finder {
  TOwned<TClientDataSet> DS;
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TLogFindModel> M = CreateOwned<TLogFindModel>(nullptr);
  explicit Finder(TOwned<TClientDataSet> Data) : DS(std::move(Data)) {
    Src->SetDataSet(DS.get());
    M->SetName("Find");
    M->GetOptions()->SetAutoUpdate(false);
    M->SetDataSource(Src.get());
  }
  TzvCompareItem* Item(const std::string& Name) const { return M->GetCompareItems()->FindByName(Name); }
  TzvFindOptions* Opts() const { return M->GetOptions(); }
};

TEST(FindModel, RestartFindsFirstAndNextContinues) {
  Finder F(People("People", SixPeople()));
  F.Item("NAME")->SetAsString("b");  // starts with, ignoring case
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 2);
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 2);
  F.Opts()->SetRestart(false);
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 6);
  // Nothing after the last match: ufLast leaves the dataset on its last record.
  EXPECT_FALSE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 6);
  EXPECT_TRUE(F.DS->Eof());
}

TEST(FindModel, NotFoundPlacement) {
  struct Row {
    bool Restart;
    TUnlessFoundOption Unless;
    int StartId;
    int WantId;
  } Rows[] = {
      {true, ufLast, 3, 6},
      {true, ufNotMove, 3, 3},
      {false, ufLast, 2, 6},
      {false, ufNotMove, 2, 2},
      {false, ufNotMove, 6, 6},  // on the last record: nothing is tested
  };
  for (const Row& R : Rows) {
    Finder F(People("People", SixPeople()));
    F.Opts()->SetRestart(R.Restart);
    F.Opts()->SetUnlessFoundOption(R.Unless);
    F.Item("CITY")->SetAsString("Oslo");
    ASSERT_TRUE(F.DS->Locate("ID", R.StartId, {}));
    EXPECT_FALSE(F.M->Apply());
    EXPECT_EQ(IdOf(F.DS.get()), R.WantId) << R.Restart << " " << int(R.Unless) << " " << R.StartId;
  }
}

TEST(FindModel, NoActiveCriteriaMatchEveryRecord) {
  Finder F(People("People", SixPeople()));
  F.DS->Last();
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 1);
  F.Opts()->SetRestart(false);
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 2);
}

TEST(FindModel, NotFoundMessagesByRestartWithCustomTexts) {
  TMessageCatcher Catch;
  Finder F(People("Empty", {}));
  F.M->GetMessageOptions()->SetShowMessage(true);
  F.Item("NAME")->SetAsString("x");
  EXPECT_FALSE(F.M->Apply());
  F.Opts()->SetRestart(false);
  EXPECT_FALSE(F.M->Apply());
  F.M->GetMessageOptions()->SetRecordNotFound("Nobody");
  F.M->GetMessageOptions()->SetNextRecordNotFound("No more");
  EXPECT_FALSE(F.M->Apply());
  F.Opts()->SetRestart(true);
  EXPECT_FALSE(F.M->Apply());
  EXPECT_EQ(Catch.Messages, (std::vector<std::string>{"  The record is not found  ",
                                                       "The following record is not found", "No more", "Nobody"}));
  // Found, or messages off: nothing is shown.
  F.M->GetMessageOptions()->SetShowMessage(false);
  EXPECT_FALSE(F.M->Apply());
  EXPECT_EQ(Catch.Messages.size(), 4u);
}

TEST(FindModel, ControlsSeeOneChangeForTheWholeScan) {
  Finder F(People("People", SixPeople()));
  auto Spy = CreateOwned<TControlSpy>();
  Spy->SetDataSource(F.Src.get());
  F.Item("NAME")->SetAsString("Dora");
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 4);
  EXPECT_EQ(Spy->Changes, 1);
  EXPECT_FALSE(F.DS->ControlsDisabled());
}

// An item class whose record value fails on one record, as a broken
// conversion or a failing field would.
class TFailingItem : public TzvFieldItem {
  FYNDRA_CLASS(TFailingItem, TzvFieldItem)
 public:
  Variant GetCompareAsVariant() override { Check(); return TzvFieldItem::GetCompareAsVariant(); }
  std::string GetCompareAsString() override { Check(); return TzvFieldItem::GetCompareAsString(); }
  static inline std::string FailOn;

 protected:
  explicit TFailingItem(TCollection* C) : TzvFieldItem(C) {}

 private:
  void Check() {
    if (GetField() && !FailOn.empty() && GetField()->GetDataSet()->FieldByName("NAME")->AsString() == FailOn)
      zvBaseModelError("cannot read " + FailOn, GetModel());
  }
};
FYNDRA_IMPLEMENT_CLASS(TFailingItem)

class TFailingModel : public TLogFindModel {
  FYNDRA_CLASS(TFailingModel, TLogFindModel)
 protected:
  explicit TFailingModel(TComponent* Owner) : TLogFindModel(Owner) {}
  void CreateCompareItems(TzvCompareItems*& Items) override {
    Items = Create<TzvFieldItems>(this, TFailingItem::StaticClass());
  }
};
FYNDRA_IMPLEMENT_CLASS(TFailingModel)

TEST(FindModel, ExceptionDuringScanEnablesControlsAndKeepsAValidRecord) {
  TMessageCatcher Catch;
  auto DS = People("People", SixPeople());
  auto Src = CreateOwned<TDataSource>(nullptr);
  Src->SetDataSet(DS.get());
  auto M = CreateOwned<TFailingModel>(nullptr);
  M->SetName("Find");
  M->GetOptions()->SetAutoUpdate(false);
  M->GetOptions()->SetUnlessFoundOption(ufNotMove);
  M->GetMessageOptions()->SetShowMessage(true);
  M->SetDataSource(Src.get());
  M->GetCompareItems()->FindByName("NAME")->SetAsString("Dora");
  TFailingItem::FailOn = "Carl";
  try {
    M->Apply();
    FAIL() << "no error";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), "Find: cannot read Carl");
  }
  EXPECT_FALSE(DS->ControlsDisabled());
  EXPECT_EQ(IdOf(DS.get()), 3);  // where the scan stopped
  EXPECT_TRUE(Catch.Messages.empty());
  TFailingItem::FailOn.clear();
  EXPECT_TRUE(M->Apply());
  EXPECT_EQ(IdOf(DS.get()), 4);
}

TEST(FindModel, UnknownItemInExpressionIsRefusedAndTheModelKeepsWorking) {
  Finder F(People("People", SixPeople()));
  try {
    F.M->SetExpression("NAME and NOSUCH");
    F.M->Apply();
    FAIL() << "no error";
  } catch (const EzvBaseModelError& E) {
    EXPECT_NE(E.Message().find("Find: "), std::string::npos) << E.Message();
  }
  // A value that does not convert to the item's type is refused, the old one kept.
  F.Item("ID")->SetAsInteger(3);
  EXPECT_THROW(F.Item("ID")->SetAsString("three"), EzvBaseModelError);
  EXPECT_EQ(F.Item("ID")->GetAsInteger(), 3);
  F.Item("ID")->SetAsString("");
  F.M->SetExpression("NAME or CITY");
  F.Item("NAME")->SetAsString("Zed");
  F.Item("CITY")->SetAsString("Rome");
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 5);
}

TEST(FindModel, AssignedOptionsAreCopiedIntoTheModelsOwn) {
  Finder F(People("People", SixPeople()));
  auto Other = CreateOwned<TzvDBFindModel>(nullptr);
  Other->GetOptions()->SetRestart(false);
  Other->GetOptions()->SetOptimization(false);
  Other->GetMessageOptions()->SetShowMessage(true);
  Other->GetMessageOptions()->SetRecordNotFound("none");
  TzvFindOptions* Own = F.M->GetOptions();
  F.M->SetOptions(Other->GetOptions());
  F.M->SetMessageOptions(Other->GetMessageOptions());
  Other.reset();  // the model does not keep the assigned objects
  EXPECT_EQ(F.M->GetOptions(), Own);
  EXPECT_FALSE(Own->GetRestart());
  EXPECT_FALSE(Own->GetOptimization());
  EXPECT_FALSE(F.M->GetIndexModel()->GetActive());
  EXPECT_TRUE(F.M->GetMessageOptions()->GetShowMessage());
  EXPECT_EQ(F.M->GetMessageOptions()->GetRecordNotFound(), "none");
}

// ---------------------------------------------------------------------------
// With an index

struct IndexedFinder : Finder {
  IndexedFinder() : Finder(People("People", SixPeople())) {
    DS->AddIndex("ByName", "NAME", {ixCaseInsensitive});
    DS->SetIndexName("ByName");  // Anna, Anton, Bert, Berta, Carl, Dora
  }
};

TEST(FindModelIndex, StartsAtTheFirstCandidateAndStopsAtTheRangeEnd) {
  IndexedFinder F;
  TMessageCatcher Catch;
  F.Item("NAME")->SetAsString("ber");
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 2);
  EXPECT_EQ(F.M->GetIndexModel()->GetIndexState(), isNearest);
  EXPECT_EQ(F.M->Adapter()->FindRecords, 1);
  // Past the range the scan stops; ufLast then moves to the last record.
  F.Item("CITY")->SetAsString("Rome");
  EXPECT_FALSE(F.M->Apply());
  EXPECT_EQ(IdOf(F.DS.get()), 4);
  EXPECT_TRUE(F.DS->Eof());
}

TEST(FindModelIndex, RangeStartBetweenKeysAndNextFromBeforeTheRange) {
  IndexedFinder F;
  auto* Name = F.Item("NAME");
  Name->SetCompareKey(4);  // "less": records whose name is after the value
  Name->SetAsString("Bers");
  EXPECT_TRUE(F.M->Apply());  // no record holds "Bers": the start lies between keys
  EXPECT_EQ(F.DS->FieldByName("NAME")->AsString(), "Bert");
  // A find next from a record before the range jumps to its start.
  F.Opts()->SetRestart(false);
  F.DS->First();
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(F.DS->FieldByName("NAME")->AsString(), "Bert");
  EXPECT_TRUE(F.M->Apply());
  EXPECT_EQ(F.DS->FieldByName("NAME")->AsString(), "Berta");
}

TEST(FindModelIndex, OptimizationOffScansEveryRecordWithTheSameResults) {
  for (bool Optimization : {true, false}) {
    IndexedFinder F;
    F.Opts()->SetOptimization(Optimization);
    std::vector<int> Found;
    F.Opts()->SetRestart(true);
    F.Item("NAME")->SetAsString("an");
    while (F.M->Apply()) {
      Found.push_back(IdOf(F.DS.get()));
      F.Opts()->SetRestart(false);
    }
    EXPECT_EQ(Found, (std::vector<int>{1, 5})) << Optimization;
    EXPECT_EQ(F.M->Adapter()->FindRecords > 0, Optimization);
  }
}

// The key range follows the expression: a new expression between two finds
// gives the range of the new one, not of the old.
TEST(FindModelIndex, NewExpressionGivesItsOwnRange) {
  for (bool AutoUpdate : {false, true}) {
    IndexedFinder F;
    F.Item("NAME")->SetAsString("ber");
    F.Item("CITY")->SetAsString("Rome");
    F.M->SetExpression("NAME");
    ASSERT_TRUE(F.M->Apply());
    ASSERT_EQ(IdOf(F.DS.get()), 2);
    F.Opts()->SetAutoUpdate(AutoUpdate);
    F.M->SetExpression("CITY");
    if (!AutoUpdate) {
      EXPECT_TRUE(F.M->Apply());
    }
    EXPECT_EQ(IdOf(F.DS.get()), 5) << AutoUpdate;
    EXPECT_EQ(F.M->GetIndexModel()->GetIndexState(), isNone);
  }
}

// The range an item supplied goes with the item: deleting it (or all items)
// between two finds leaves no bound that points at it.
TEST(FindModelIndex, DeletingTheItemsThatGaveTheRangeDropsIt) {
  for (bool All : {false, true}) {
    IndexedFinder F;
    F.Item("NAME")->SetAsString("ber");
    ASSERT_TRUE(F.M->Apply());
    ASSERT_EQ(F.M->GetIndexModel()->GetIndexState(), isNearest);
    if (All)
      F.M->GetCompareItems()->Clear();
    else
      F.M->GetCompareItems()->Delete(F.Item("NAME")->GetIndex());
    EXPECT_EQ(F.M->GetIndexModel()->GetIndexState(), isNone);
    F.Opts()->SetRestart(false);
    F.DS->First();
    EXPECT_TRUE(F.M->Apply());  // no criteria left: the next record matches
    EXPECT_EQ(F.DS->FieldByName("NAME")->AsString(), "Anton") << All;
  }
}

// ---------------------------------------------------------------------------
// Typing

TEST(FindModel, TypingANameMovesTheDataSetAfterEachCharacter) {
  for (bool WithIndex : {false, true}) {
    Finder F(People("People", SixPeople()));
    if (WithIndex) {
      F.DS->AddIndex("ByName", "NAME", {ixCaseInsensitive});
      F.DS->SetIndexName("ByName");
    }
    F.Opts()->SetAutoUpdate(true);
    struct Step {
      const char* Text;
      const char* Want;
    } Steps[] = {{"b", "Bert"}, {"be", "Bert"}, {"ber", "Bert"}, {"bert", "Bert"}, {"berta", "Berta"},
                 {"bertx", nullptr}, {"bert", "Bert"}, {"", "Anna"}, {"d", "Dora"}};
    for (const Step& S : Steps) {
      F.Item("NAME")->SetAsString(S.Text);  // as an edit control does on each change
      const std::string Want = S.Want ? S.Want : (WithIndex ? "Dora" : "Berta");  // ufLast: the last record
      EXPECT_EQ(F.DS->FieldByName("NAME")->AsString(), Want) << S.Text << " index " << WithIndex;
    }
  }
}

}  // namespace
}  // namespace fyndra
