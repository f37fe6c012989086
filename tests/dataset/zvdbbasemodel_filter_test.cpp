// The filter model's standard means on client datasets: the record test with
// the application's own test first, the model's Filtered and the dataset's
// kept in step, index ranges set and removed, and nothing left behind on a
// dataset the model leaves.
#include <gtest/gtest.h>

#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/streaming/filer.h>
#include "dataset/dstest.h"

namespace fyndra {
namespace {

using dstest::Ids;
using dstest::People;
using dstest::SixPeople;

template <class TModel>
struct Filtered {
  TOwned<TClientDataSet> DS = People("People", SixPeople());
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TModel> M = CreateOwned<TModel>(nullptr);
  Filtered() {
    Src->SetDataSet(DS.get());
    M->SetName("Filter");
    M->SetDataSource(Src.get());
  }
  TzvCompareItem* Item(const std::string& Name) const { return M->GetCompareItems()->FindByName(Name); }
  // The application's own record test: refuses Dora (ID 4) and counts calls.
  void RefuseDora() {
    M->SetOnFilterRecord(TFilterRecordEvent::FromCallable([this](TDataSet* DataSet, bool& Accept) {
      ++AppCalls;
      Accept = DataSet->FieldByName("ID")->AsInteger() != 4;
    }));
  }
  int AppCalls = 0;
};

TEST(FilterModel, CriteriaRestrictTheDataSetAsTheUserTypes) {
  Filtered<TzvDBFilterModel> F;
  F.M->SetFiltered(true);
  EXPECT_TRUE(F.DS->GetFiltered());
  EXPECT_EQ(Ids(F.DS.get()), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  struct Step {
    const char* Name;
    std::vector<int> Want;
  } Steps[] = {{"b", {2, 6}}, {"ber", {2, 6}}, {"bertA", {6}}, {"x", {}}, {"", {1, 2, 3, 4, 5, 6}}};
  for (const Step& S : Steps) {
    F.Item("NAME")->SetAsString(S.Name);  // AutoUpdate applies
    EXPECT_EQ(Ids(F.DS.get()), S.Want) << S.Name;
  }
  // Two criteria joined by the default expression.
  F.Item("NAME")->SetAsString("b");
  F.Item("CITY")->SetAsString("par");
  EXPECT_EQ(Ids(F.DS.get()), (std::vector<int>{2, 6}));
  F.M->SetExpression("NAME or CITY");
  F.Item("CITY")->SetAsString("ber");
  EXPECT_EQ(Ids(F.DS.get()), (std::vector<int>{1, 2, 3, 6}));
}

TEST(FilterModel, NoActiveCriteria) {
  // Without criteria and without a test of the application's: no record is
  // refused and no filter event is installed.
  Filtered<TzvDBFilterModel> F;
  F.DS->Last();
  F.M->SetFiltered(true);
  EXPECT_TRUE(F.DS->GetFiltered());
  EXPECT_FALSE(F.DS->GetOnFilterRecord());
  EXPECT_EQ(dstest::IdOf(F.DS.get()), 1);  // moved to the first record
  // With one: that test itself is the dataset's filter event.
  F.RefuseDora();
  F.M->Apply();
  EXPECT_TRUE(F.DS->GetOnFilterRecord() == F.M->GetOnFilterRecord());
  EXPECT_EQ(Ids(F.DS.get()), (std::vector<int>{1, 2, 3, 5, 6}));
}

TEST(FilterModel, ApplicationTestAndCriteriaMustBothAccept) {
  Filtered<TzvDBFilterModel> F;
  F.RefuseDora();
  F.M->SetFiltered(true);
  F.Item("NAME")->SetCompareKey(10);  // contains
  F.Item("NAME")->SetAsString("a");
  F.AppCalls = 0;
  EXPECT_EQ(Ids(F.DS.get()), (std::vector<int>{1, 3, 5, 6}));
  EXPECT_GE(F.AppCalls, 6);
}

TEST(FilterModel, FilteredFollowsTheDataSetAndRepairsIt) {
  Filtered<TzvDBFilterModel> F;
  F.M->SetFiltered(true);
  F.Item("NAME")->SetAsString("a");
  EXPECT_EQ(Ids(F.DS.get()), (std::vector<int>{1, 5}));
  // The application switches the dataset's Filtered off directly: the model
  // follows at the next data change and removes its filter event.
  F.DS->SetFiltered(false);
  F.DS->Next();  // a data change reaches the model
  F.DS->First();
  EXPECT_FALSE(F.M->GetFiltered());
  EXPECT_FALSE(F.DS->GetOnFilterRecord());
  EXPECT_EQ(Ids(F.DS.get()).size(), 6u);
  // Switched on behind the model, the dataset brings the model along.
  F.M->SetFiltered(true);
  EXPECT_EQ(Ids(F.DS.get()), (std::vector<int>{1, 5}));
  // Setting the same value while both agree changes nothing; while they
  // disagree it applies again.
  F.M->SetFiltered(true);
  EXPECT_EQ(Ids(F.DS.get()), (std::vector<int>{1, 5}));
  F.M->SetFiltered(false);
  EXPECT_FALSE(F.DS->GetFiltered());
  EXPECT_FALSE(F.DS->GetOnFilterRecord());
  EXPECT_EQ(Ids(F.DS.get()).size(), 6u);
}

TEST(FilterModel, OperatorChangeAppliesEvenWithoutAutoUpdate) {
  Filtered<TzvDBFilterModel> F;
  F.M->SetFiltered(true);
  F.M->GetOptions()->SetAutoUpdate(false);
  F.Item("NAME")->SetAsString("a");
  EXPECT_EQ(Ids(F.DS.get()).size(), 6u);  // a value change waits for Apply
  F.Item("NAME")->SetCompareKey(8);        // ends on: applies at once
  EXPECT_EQ(Ids(F.DS.get()), (std::vector<int>{1, 4, 6}));
}

// The filter index model sets a range through the adapter where the adapter
// offers ranges, removes it when it is no longer needed, and never calls the
// adapter when there was and is no range.
TEST(FilterModel, IndexRangeIsSetAndRemoved) {
  Filtered<dstest::TTestFilterModel> F;
  F.M->GetFilterIndexModel()->SetActive(false);
  F.M->Adapter()->Supported = {dsIndexRange};
  F.DS->SetIndexFieldNames("NAME");
  F.M->GetFilterIndexModel()->SetActive(true);
  TzvCompareItem* Name = F.Item("NAME");
  Name->SetOptions({ciConvertValue});  // the index is case-sensitive
  F.M->SetFiltered(true);
  EXPECT_TRUE(F.M->Adapter()->Ranges.empty());
  Name->SetAsString("Be");
  Name->SetAsString("Ber");
  F.Item("CITY")->SetAsString("P");  // no key field: the range stays
  ASSERT_EQ(F.M->Adapter()->Ranges.size(), 3u);
  EXPECT_EQ(F.M->Adapter()->Ranges[1].substr(0, 5), "Ber..");
  Name->SetAsString("");
  EXPECT_EQ(F.M->Adapter()->Ranges.back(), "none");
  F.Item("CITY")->SetAsString("");
  EXPECT_EQ(F.M->Adapter()->Ranges.size(), 4u);
  Name->SetAsString("Dora");
  F.M->SetFiltered(false);
  EXPECT_EQ(F.M->Adapter()->Ranges.back(), "none");
  EXPECT_FALSE(F.M->GetFilterIndexModel()->GetRangeApplied());
  // Switching IndexRange off removes the range at once.
  F.M->SetFiltered(true);
  EXPECT_TRUE(F.M->GetFilterIndexModel()->GetRangeApplied());
  F.M->GetOptions()->SetIndexRange(false);
  EXPECT_FALSE(F.M->GetFilterIndexModel()->GetRangeApplied());
  EXPECT_EQ(F.M->Adapter()->Ranges.back(), "none");
}

// Leaving a dataset leaves it as the model found it: no filter event, not
// filtered, no range; also when the model itself goes first.
TEST(FilterModel, LeavingADataSetUndoesTheFilter) {
  Filtered<dstest::TTestFilterModel> F;
  F.M->Adapter()->Supported = {dsIndexRange};
  F.DS->SetIndexFieldNames("ID");
  F.M->GetFilterIndexModel()->UpdateIndex();
  F.Item("ID")->SetAsString("3");
  F.M->SetFiltered(true);
  EXPECT_EQ(Ids(F.DS.get()), std::vector<int>{3});
  ASSERT_TRUE(F.M->GetFilterIndexModel()->GetRangeApplied());
  auto Other = People("Other", {{7, "Yann", "Oslo", 1}});
  F.Src->SetDataSet(Other.get());
  EXPECT_FALSE(F.DS->GetFiltered());
  EXPECT_FALSE(F.DS->GetOnFilterRecord());
  EXPECT_EQ(F.M->Adapter()->Ranges.back(), "none");
  EXPECT_FALSE(F.M->GetFilterIndexModel()->GetRangeApplied());
  // Filtering the other dataset, then freeing the model: the dataset keeps
  // no record test of a model that is gone.
  F.M->Apply();
  EXPECT_TRUE(Other->GetFiltered());
  EXPECT_TRUE(Other->GetOnFilterRecord());
  F.M.reset();
  EXPECT_FALSE(Other->GetFiltered());
  EXPECT_FALSE(Other->GetOnFilterRecord());
  EXPECT_EQ(Ids(Other.get()), std::vector<int>{7});
}

TEST(FilterModel, GenericModelFollowsThePublishedProperties) {
  Filtered<TzvDBFilterModel> F;
  EXPECT_NE(F.M->GetFilteredPropInfo(), nullptr);
  EXPECT_NE(F.M->GetOnFilterRecordPropInfo(), nullptr);
  F.Src->SetDataSet(nullptr);
  EXPECT_EQ(F.M->GetFilteredPropInfo(), nullptr);
  F.M->SetFiltered(true);  // no dataset: only stored
  EXPECT_TRUE(F.M->GetFiltered());
  F.Src->SetDataSet(F.DS.get());
  F.Item("NAME")->SetAsString("C");
  EXPECT_EQ(Ids(F.DS.get()), std::vector<int>{3});
}

TEST(FilterModel, FormTextKeepsFilterSettings) {
  RegisterClasses({TDataSource::StaticClass(), TClientDataSet::StaticClass()});
  std::string Text;
  {
    TOwned<TComponent> Form(Create<TComponent>(static_cast<TComponent*>(nullptr)));
    Form->SetName("Form1");
    auto* Src = Create<TDataSource>(Form.get());
    Src->SetName("Source");
    auto* M = Create<TzvDBFilterModel>(Form.get());
    M->SetName("Filter");
    M->SetDataSource(Src);
    M->SetFiltered(true);
    M->GetOptions()->SetSQLWhere(false);
    Text = WriteComponentToText(Form.get());
  }
  EXPECT_NE(Text.find("Filtered = True"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Options.SQLWhere = False"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("IndexRange"), std::string::npos) << Text;          // default
  EXPECT_EQ(Text.find("CurrentWhereClause"), std::string::npos) << Text;  // empty
  TOwned<TComponent> Form(Create<TComponent>(static_cast<TComponent*>(nullptr)));
  ReadComponentTextInto(Text, Form.get());
  auto* M = dynamic_cast<TzvDBFilterModel*>(Form->FindComponent("Filter"));
  ASSERT_NE(M, nullptr);
  EXPECT_TRUE(M->GetFiltered());
  EXPECT_FALSE(M->GetOptions()->GetSQLWhere());
  EXPECT_TRUE(M->GetOptions()->GetIndexRange());
}

}  // namespace
}  // namespace fyndra
