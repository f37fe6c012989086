// Key ranges derived from the expression: leaf and node rules, leading key
// fields, descending keys, case agreement, and the dataset range calls.
#include <gtest/gtest.h>

#include <fyndra/dataset/zvdbbasemodel.h>
#include "dataset/dstest.h"

namespace fyndra {
namespace {

using dstest::TLogFindModel;

// A client dataset with integer keys A and B and texts S (case-insensitive
// in the index) and T, indexed on the key the test names.
struct Keys {
  TOwned<TClientDataSet> DS = CreateOwned<TClientDataSet>(nullptr);
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TLogFindModel> M = CreateOwned<TLogFindModel>(nullptr);

  Keys(const std::string& Fields, TIndexOptions Options = {}, const std::string& Desc = "",
       const std::string& CaseIns = "") {
    auto* D = DS->GetFieldDefs();
    D->Add("A", ftInteger);
    D->Add("B", ftInteger);
    D->Add("S", ftString, 10);
    D->Add("T", ftString, 10);
    DS->CreateDataSet();
    DS->AddIndex("Key", Fields, Options, Desc, CaseIns);
    DS->SetIndexName("Key");
    Src->SetDataSet(DS.get());
    M->GetOptions()->SetAutoUpdate(false);
    M->SetDataSource(Src.get());
    M->SetItemsOption(ioCustom);
    M->GetCompareItems()->Clear();
  }
  // An item named Name on Field with operator Key and value V.
  TzvCompareItem* Add(const std::string& Name, const std::string& Field, int Key, const Variant& V,
                      TzvCompareItemOptions Options = {ciCaseInsensitive, ciConvertValue}) {
    auto* Item = M->GetCompareItems()->Add();
    Item->SetName(Name);
    Item->SetFieldName(Field);
    Item->SetOptions(Options);
    Item->SetCompareKey(Key);
    Item->SetAsVariant(V);
    return Item;
  }
  // The ranges as "field:top..bottom" (an open end is empty).
  std::string Ranges(const std::string& Expression) {
    M->SetExpression(Expression);
    M->UpdateDataBeforeApply();
    TzvDBIndexModel* I = M->GetIndexModel();
    std::string S;
    for (std::size_t i = 0; i < I->GetBoundsList().size(); ++i) {
      const TIndexFieldBound& B = I->GetBoundsList()[i];
      S += (S.empty() ? "" : " ") + I->GetItem(int(i)).Field->GetFieldName() + ":" +
           (B.TopItem ? B.TopItem->GetName() + "=" + VarToStr(B.TopValue) : "") + ".." +
           (B.BottomItem ? B.BottomItem->GetName() + "=" + VarToStr(B.BottomValue) : "");
    }
    return S;
  }
};

// Operator keys: 0 equal, 2 greater (record below the value: an end),
// 3 greater or equal, 4 less (record above the value: a start), 5 less or equal.
TEST(IndexBounds, EqualLeadingFieldLetsTheNextFieldTakePart) {
  Keys K("A;B");
  K.Add("x", "A", 0, 5);
  K.Add("y", "B", 4, 7);
  EXPECT_EQ(K.Ranges("x and y"), "A:x=5..x=5 B:y=7..");
  TzvDBIndexModel* I = K.M->GetIndexModel();
  EXPECT_EQ(I->GetIndexState(), isNearest);
  EXPECT_EQ(VarArrayHighBound(I->GetKeyValues(), 1), 1);
  EXPECT_EQ(I->GetKeyValues()[0].AsInteger(), 5);
  EXPECT_EQ(I->GetKeyValues()[1].AsInteger(), 7);
}

TEST(IndexBounds, NodeRulesForAndOr) {
  Keys K("A;B");
  K.Add("lo1", "A", 4, 1);   // start 1
  K.Add("hi9", "A", 2, 9);   // end 9
  K.Add("b3", "B", 0, 3);
  K.Add("eq3", "A", 0, 3);
  K.Add("lo5", "A", 4, 5);   // start 5, no end
  K.Add("lo3", "A", 4, 3);   // start 3
  struct Row {
    const char* Expression;
    const char* Want;
  } Rows[] = {
      {"lo1 and hi9 and b3", "A:lo1=1..hi9=9"},  // A not fixed: B takes no part
      {"eq3 or lo5", "A:eq3=3.."},                // a side without end removes the end
      {"lo3 and lo5", "A:lo5=5.."},               // and: the later start
      {"lo3 or lo5", "A:lo3=3.."},                // or: the earlier start
      {"eq3 and lo3", "A:eq3=3..eq3=3"},          // equal starts: and keeps the left one
      {"lo5 or b3", ""},                          // no range on A under or
      {"b3", ""},                                 // nothing on the leading field
      {"", "A:lo5=5..eq3=3"},                     // default: all items joined by and
  };
  for (const Row& R : Rows) EXPECT_EQ(K.Ranges(R.Expression), R.Want) << R.Expression;
  K.Ranges("b3");
  EXPECT_EQ(K.M->GetIndexModel()->GetIndexState(), isNone);
  EXPECT_TRUE(VarIsNull(K.M->GetIndexModel()->GetKeyValues()));
}

// A long expression is a deep tree; its ranges come out as for a short one.
TEST(IndexBounds, DeepExpressionGivesItsRangeWithoutRecursion) {
  Keys K("A");
  K.Add("lo1", "A", 4, 1);
  K.Add("hi9", "A", 2, 9);
  std::string Text = "lo1";
  for (int I = 0; I < 200000; ++I) Text += I % 2 ? " and lo1" : " and hi9";
  EXPECT_EQ(K.Ranges(Text), "A:lo1=1..hi9=9");
}

// On a descending key the highest matching value comes first: an operator's
// lower limit ends the range and its upper limit starts it, and every order
// decision is reversed. Finds through such an index give what a scan gives.
TEST(IndexBounds, DescendingKeyReversesEveryOrder) {
  Keys K("A", {ixDescending});
  K.Add("lo3", "A", 4, 3);  // records above 3
  K.Add("lo5", "A", 4, 5);
  K.Add("hi4", "A", 2, 4);  // records below 4
  EXPECT_EQ(K.Ranges("lo3 and lo5"), "A:..lo5=5");
  EXPECT_EQ(K.Ranges("lo3 or lo5"), "A:..lo3=3");
  EXPECT_EQ(K.Ranges("hi4 and lo3"), "A:hi4=4..lo3=3");
  TzvDBIndexModel* I = K.M->GetIndexModel();
  EXPECT_EQ(I->CompareValue(I->GetItem(0), 1, 2), 2);
  EXPECT_EQ(I->CompareValue(I->GetItem(0), 2, 2), 0);

  for (int A : {1, 2, 3, 5, 7}) K.DS->AppendRecord({Variant(std::int32_t(A)), Null(), Null(), Null()});
  struct Row {
    const char* Expression;
    bool Restart;
    std::vector<int> Want;  // the A of each record found, in index order
  } Rows[] = {{"lo3", true, {7, 5}}, {"hi4", true, {3, 2, 1}}, {"hi4 and lo3", true, {}}, {"lo5 or hi4", true, {7, 3, 2, 1}}};
  for (const Row& R : Rows) {
    K.M->SetExpression(R.Expression);
    K.M->GetOptions()->SetRestart(true);
    K.DS->Last();
    std::vector<int> Found;
    while (K.M->Apply()) {
      Found.push_back(K.DS->FieldByName("A")->AsInteger());
      K.M->GetOptions()->SetRestart(false);
    }
    EXPECT_EQ(Found, R.Want) << R.Expression;
  }
}

TEST(IndexBounds, TextItemsMustAgreeWithTheKeyOnCase) {
  Keys K("S;T", {}, "", "S");
  K.Add("ci", "S", 0, "abc");  // case-insensitive (the default option)
  K.Add("cs", "S", 0, "abc", {ciConvertValue});
  K.Add("t", "T", 0, "X", {ciConvertValue});
  EXPECT_EQ(K.Ranges("cs"), "");
  EXPECT_EQ(K.Ranges("ci"), "S:ci=ABC..ci=ABC");
  // S is case-insensitive and T is not: one key search cannot mix them...
  EXPECT_EQ(K.Ranges("ci and t"), "S:ci=ABC..ci=ABC");
  // ...unless the adapter says it can.
  K.M->Adapter()->Supported.Include(dsMultiCaseInsIndexSearch);
  EXPECT_EQ(K.Ranges("ci and t"), "S:ci=ABC..ci=ABC T:t=X..t=X");
}

TEST(IndexBounds, ValueThatDoesNotConvertGivesNoRange) {
  Keys K("A");
  auto* Item = K.Add("x", "A", 0, 1);
  Item->SetOptions({});  // stored as typed, no conversion
  Item->SetAsString("abc");
  EXPECT_EQ(K.Ranges("x"), "");
}

// Null keys sort first in the index: a record with a Null key lies before
// every range start, and neither stops a scan nor hides the records after it.
TEST(IndexBounds, NullKeysLieBeforeTheRangeAndDoNotEndTheScan) {
  Keys K("A");
  for (const Variant& A : {Null(), Variant(std::int32_t(1)), Variant(std::int32_t(2)), Variant(std::int32_t(5)),
                           Variant(std::int32_t(7))})
    K.DS->AppendRecord({A, Null(), Null(), Null()});
  K.M->SetItemsOption(ioDefault);
  auto* A = K.M->GetCompareItems()->FindByName("A");
  TzvDBIndexModel* I = K.M->GetIndexModel();
  ASSERT_EQ(I->GetCount(), 1);
  EXPECT_EQ(I->CompareValue(I->GetItem(0), Null(), 1), 1);
  EXPECT_EQ(I->CompareValue(I->GetItem(0), 1, Null()), 2);
  EXPECT_EQ(I->CompareValue(I->GetItem(0), Null(), Null()), 0);
  struct Row {
    int Key;       // 2: records below the value (an end only); 4: records above it (a start)
    int Value;
    bool Restart;
    int Want;      // the A of the record found
  } Rows[] = {{2, 3, true, 1}, {4, 3, true, 5}, {4, 3, false, 5}, {0, 7, false, 7}};
  for (const Row& R : Rows) {
    A->SetCompareKey(R.Key);
    A->SetAsInteger(R.Value);
    K.M->GetOptions()->SetRestart(R.Restart);
    K.DS->First();  // the record with the Null key
    ASSERT_TRUE(K.DS->FieldByName("A")->IsNull());
    EXPECT_TRUE(K.M->Apply()) << R.Key << " " << R.Value << " " << R.Restart;
    EXPECT_EQ(K.DS->FieldByName("A")->AsInteger(), R.Want) << R.Key << " " << R.Value << " " << R.Restart;
  }
}

// The filter index model sets the dataset's range through the adapter, and
// only when the adapter offers ranges.
class TFilterModel : public TLogFindModel {
  FYNDRA_CLASS(TFilterModel, TLogFindModel)
 public:
  TzvFilterIndexModel* Filter() const { return static_cast<TzvFilterIndexModel*>(GetIndexModel()); }
  void AfterConstruction() override {
    TLogFindModel::AfterConstruction();
    SetIndexModel(Create<TzvFilterIndexModel>(this));
    Adapter()->Supported.Include(dsIndexRange);
    GetIndexModel()->SetActive(true);
  }

 protected:
  explicit TFilterModel(TComponent* Owner) : TLogFindModel(Owner) {}
};
FYNDRA_IMPLEMENT_CLASS(TFilterModel)

TEST(FilterIndexModel, AppliesARangeOnlyWhenThereIsOneOrWas) {
  auto DS = dstest::People("People", dstest::SixPeople());
  DS->AddIndex("ByName", "NAME", {ixCaseInsensitive});
  DS->SetIndexName("ByName");
  auto Src = CreateOwned<TDataSource>(nullptr);
  Src->SetDataSet(DS.get());
  auto M = CreateOwned<TFilterModel>(nullptr);
  M->GetOptions()->SetAutoUpdate(false);
  M->SetDataSource(Src.get());
  TzvFilterIndexModel* F = M->Filter();
  M->UpdateDataBeforeApply();
  F->ApplyRange();
  F->ApplyRange();
  EXPECT_TRUE(M->Adapter()->Ranges.empty());
  M->GetCompareItems()->FindByName("NAME")->SetAsString("Ber");
  M->UpdateDataBeforeApply();
  F->ApplyRange();
  EXPECT_TRUE(F->GetRangeApplied());
  M->GetCompareItems()->FindByName("NAME")->SetAsString("");
  M->UpdateDataBeforeApply();
  F->ApplyRange();
  F->ApplyRange();
  F->CancelRange();
  ASSERT_EQ(M->Adapter()->Ranges.size(), 2u);
  EXPECT_EQ(M->Adapter()->Ranges[0].substr(0, 6), "BER..B");
  EXPECT_EQ(M->Adapter()->Ranges[1], "none");
  // Without range support the filter index model keeps no key fields.
  M->Adapter()->Supported.Exclude(dsIndexRange);
  F->UpdateIndex();
  EXPECT_EQ(F->GetCount(), 0);
  EXPECT_FALSE(F->IsUpdateIndex());
}

}  // namespace
}  // namespace fyndra
