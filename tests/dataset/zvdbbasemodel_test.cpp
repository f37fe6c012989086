// The dataset-bound model: activation and layout with their event order, items
// following the fields, type mapping, the operator registry, and the adapter's
// index choice and key search.
#include <fyndra/dataset/zvdbbasemodel.h>

#include <gtest/gtest.h>

#include <fyndra/core/zvmodelcalculate.h>
#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/core/zvmodelconverter.h>
#include <fyndra/modeldataset/zvmodeldataset.h>
#include "dataset/dstest.h"

namespace fyndra {
namespace {

using dstest::People;
using dstest::SixPeople;
using dstest::TLogFindModel;

std::vector<std::string> ItemNames(TzvBaseModel* M) {
  std::vector<std::string> Names;
  for (int i = 0; i < M->GetCompareItems()->Count(); ++i) Names.push_back(M->GetCompareItems()->GetItem(i)->GetName());
  return Names;
}

struct Bound {
  TOwned<TClientDataSet> DS;
  TOwned<TDataSource> Src;
  TOwned<TLogFindModel> M;
  explicit Bound(TOwned<TClientDataSet> Data) : DS(std::move(Data)) {
    Src = CreateOwned<TDataSource>(nullptr);
    Src->SetDataSet(DS.get());
    M = CreateOwned<TLogFindModel>(nullptr);
    M->SetName("Find");
    M->SetDataSource(Src.get());
  }
  TzvFieldItem* Item(const std::string& Name) const {
    return static_cast<TzvFieldItem*>(M->GetCompareItems()->FindByName(Name));
  }
};

TEST(DBBaseModel, DefaultItemsFollowOpenCloseAndReopen) {
  Bound B(People("People", SixPeople()));
  EXPECT_TRUE(B.M->GetActive());
  EXPECT_EQ(ItemNames(B.M.get()), (std::vector<std::string>{"ID", "NAME", "CITY", "AMOUNT"}));
  EXPECT_EQ(B.Item("NAME")->GetField(), B.DS->FieldByName("NAME"));
  B.DS->Close();
  EXPECT_FALSE(B.M->GetActive());
  EXPECT_TRUE(ItemNames(B.M.get()).empty());
  EXPECT_FALSE(B.M->Apply());
  B.DS->Open();
  EXPECT_EQ(ItemNames(B.M.get()), (std::vector<std::string>{"ID", "NAME", "CITY", "AMOUNT"}));
  EXPECT_EQ(B.Item("ID")->GetField(), B.DS->FieldByName("ID"));
}

TEST(DBBaseModel, CustomItemsKeepTheirNamesAndLoseTheirFieldWhenClosed) {
  Bound B(People("People", SixPeople()));
  B.M->SetItemsOption(ioCustom);
  B.M->GetCompareItems()->Clear();
  auto* Item = static_cast<TzvFieldItem*>(B.M->GetCompareItems()->Add());
  Item->SetName("Who");
  Item->SetFieldName("NAME");
  auto* Missing = static_cast<TzvFieldItem*>(B.M->GetCompareItems()->Add());
  Missing->SetFieldName("NOSUCH");
  EXPECT_EQ(Item->GetField(), B.DS->FieldByName("NAME"));
  EXPECT_EQ(Missing->GetField(), nullptr);
  Missing->SetAsString("x");
  EXPECT_FALSE(Missing->GetActive());
  B.DS->Close();
  EXPECT_EQ(Item->GetField(), nullptr);
  EXPECT_EQ(ItemNames(B.M.get()), (std::vector<std::string>{"Who", "NOSUCH"}));
  B.DS->Open();
  EXPECT_EQ(Item->GetField(), B.DS->FieldByName("NAME"));
  EXPECT_EQ(Item->GetDataType(), varString);
  EXPECT_EQ(Item->GetDisplayLabel(), "NAME");
  B.DS->FieldByName("NAME")->SetDisplayLabel("Customer");
  EXPECT_EQ(Item->GetDisplayLabel(), "Customer");
}

TEST(DBBaseModel, SwitchingDataSetsTellsTheOldOneFirstWhileTheAdapterStillReportsIt) {
  Bound B(People("X", SixPeople()));
  auto Y = People("Y", {{7, "Yann", "Oslo", 1}});
  B.M->Log.clear();
  B.Src->SetDataSet(Y.get());
  EXPECT_EQ(B.M->Log, (std::vector<std::string>{"OldActive(X)", "Active(-)", "Active(Y)"}));
  EXPECT_EQ(B.M->GetLinkedDataSet(), Y.get());
  EXPECT_EQ(B.Item("ID")->GetField(), Y->FieldByName("ID"));
  B.M->Log.clear();
  Y->Close();
  Y->Open();
  EXPECT_EQ(B.M->Log, (std::vector<std::string>{"Active(Y)", "Active(Y)"}));
}

// A model that fails to undo its work on the dataset it leaves still follows
// the link: it keeps nothing of the old dataset, reports the failure, and
// works on the next dataset.
TEST(DBBaseModel, FailureLeavingADataSetStillFollowsTheLink) {
  Bound B(People("X", SixPeople()));
  B.M->SetItemsOption(ioCustom);
  auto* Item = B.Item("NAME");
  auto Y = People("Y", {{7, "Yann", "Oslo", 1}});
  B.M->RefuseLeaving = true;
  try {
    B.Src->SetDataSet(Y.get());
    FAIL() << "no error";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), "Find: cannot leave");
  }
  EXPECT_NE(B.M->GetLinkedDataSet(), B.DS.get());
  EXPECT_EQ(Item->GetField(), nullptr);
  B.DS.reset();  // the dataset left can go: nothing points at its fields
  EXPECT_EQ(Item->GetDisplayLabel(), "NAME");
  B.M->RefuseLeaving = false;
  B.Src->SetDataSet(nullptr);
  B.Src->SetDataSet(Y.get());
  EXPECT_TRUE(B.M->GetActive());
  EXPECT_EQ(Item->GetField(), Y->FieldByName("NAME"));
}

TEST(DBBaseModel, ForgetsDataSourceAndDataSetsThatAreFreed) {
  Bound B(People("X", SixPeople()));
  B.Src.reset();
  EXPECT_EQ(B.M->GetDataSource(), nullptr);
  EXPECT_FALSE(B.M->GetActive());
  // A dataset freed while closed sends nothing through the link.
  auto Src = CreateOwned<TDataSource>(nullptr);
  B.M->SetDataSource(Src.get());
  Src->SetDataSet(B.DS.get());
  EXPECT_EQ(B.M->GetLinkedDataSet(), B.DS.get());
  B.DS->Close();
  B.DS.reset();
  EXPECT_EQ(B.M->GetLinkedDataSet(), nullptr);
  EXPECT_FALSE(B.M->Apply());
}

TEST(DBBaseModel, RefusedDataSetLeavesTheModelInactiveAndReachesWhoOpened) {
  auto DS = People("X", SixPeople());
  DS->Close();
  auto Src = CreateOwned<TDataSource>(nullptr);
  Src->SetDataSet(DS.get());
  auto M = CreateOwned<TLogFindModel>(nullptr);
  M->SetName("Find");
  M->SetDataSource(Src.get());
  M->RefuseDataSets = true;
  try {
    DS->Open();
    FAIL() << "no error";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), "Find: wrong family");
  }
  EXPECT_FALSE(M->GetDataSetActive());
  EXPECT_FALSE(M->GetActive());
  // Corrected, the next activation works.
  M->RefuseDataSets = false;
  DS->Close();
  DS->Open();
  EXPECT_TRUE(M->GetActive());
  EXPECT_EQ(M->GetCompareItems()->Count(), 4);
}

TEST(DBBaseModel, LayoutChangeRebuildsItemsAndChoosesTheIndexAgain) {
  Bound B(People("People", SixPeople()));
  B.DS->AddIndex("ByName", "NAME", {});
  B.DS->SetIndexName("ByName");
  B.M->Log.clear();
  TzvCompareItem* Before = B.M->GetCompareItems()->GetItem(0);
  B.DS->DataEvent(deLayoutChange);
  EXPECT_EQ(B.M->Log, (std::vector<std::string>{"Layout"}));
  EXPECT_EQ(ItemNames(B.M.get()), (std::vector<std::string>{"ID", "NAME", "CITY", "AMOUNT"}));
  EXPECT_NE(B.M->GetCompareItems()->GetItem(0), Before);
  ASSERT_EQ(B.M->GetIndexModel()->GetCount(), 1);
  EXPECT_EQ(B.M->GetIndexModel()->GetItem(0).Field, B.DS->FieldByName("NAME"));
}

TEST(DBBaseModel, ExpressionNamingAFieldThatIsGoneRaisesAndRecovers) {
  Bound B(People("People", SixPeople()));
  B.M->SetExpression("NAME and CITY");
  B.DS->Close();
  B.DS->GetFieldDefs()->Delete(B.DS->GetFieldDefs()->IndexOf("CITY"));
  try {
    B.DS->CreateDataSet();
    FAIL() << "no error";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message().rfind("Find: ", 0), 0u) << E.Message();
    EXPECT_NE(E.Message().find("CITY"), std::string::npos) << E.Message();
  }
  EXPECT_FALSE(B.M->GetActive());
  B.M->SetExpression("NAME");
  B.DS->Close();
  B.DS->CreateDataSet();
  B.DS->AppendRecord({Variant(std::int32_t(9)), Variant("Carla"), Variant(1.0)});
  EXPECT_TRUE(B.M->GetActive());
  B.Item("NAME")->SetAsString("car");
  EXPECT_EQ(dstest::IdOf(B.DS.get()), 9);
}

TEST(DBBaseModel, FieldTypesMapToItemTypesAndSizes) {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  struct Row {
    const char* Name;
    TFieldType Type;
    int Size;
    TVarType Want;
    int WantSize;
  };
  const std::vector<Row> Rows = {
      {"S", ftString, 10, varString, 41},       {"M", ftMemo, 0, varString, 0},
      {"FC", ftFixedChar, 4, varString, 17},    {"WS", ftWideString, 10, varOleStr, 0},
      {"SI", ftSmallint, 0, varSmallint, 0},    {"I", ftInteger, 0, varInteger, 0},
      {"AI", ftAutoInc, 0, varInteger, 0},      {"W", ftWord, 0, varWord, 0},
      {"L", ftLargeint, 0, varInt64, 0},        {"B", ftBoolean, 0, varBoolean, 0},
      {"F", ftFloat, 0, varDouble, 0},          {"C", ftCurrency, 0, varCurrency, 0},
      {"BCD", ftBCD, 4, varCurrency, 8},        {"D", ftDate, 0, varDate, 0},
      {"T", ftTime, 0, varDate, 0},             {"DT", ftDateTime, 0, varDate, 0},
      {"TS", ftTimeStamp, 0, VarSQLTimeStamp(), 0}, {"BL", ftBlob, 0, varEmpty, 0},
  };
  for (const Row& R : Rows) DS->GetFieldDefs()->Add(R.Name, R.Type, R.Size);
  DS->GetFieldDefs()->Add("FB", ftFMTBcd, 4);
  DS->CreateDataSet();
  auto Src = CreateOwned<TDataSource>(nullptr);
  Src->SetDataSet(DS.get());
  auto M = CreateOwned<TzvDBFindModel>(nullptr);
  M->SetDataSource(Src.get());
  for (const Row& R : Rows) {
    auto* Item = static_cast<TzvFieldItem*>(M->GetCompareItems()->FindByName(R.Name));
    EXPECT_EQ(Item->GetDataType(), R.Want) << R.Name;
    EXPECT_EQ(Item->GetDataSize(), R.WantSize) << R.Name;
    EXPECT_EQ(DataTypeIsStr(R.Type), VarTypeIsStr(R.Want)) << R.Name;
  }
  auto* FB = M->GetCompareItems()->FindByName("FB");
  EXPECT_EQ(FB->GetDataType(), VarFMTBcd());
  EXPECT_EQ(FB->GetDataSize(), DS->FieldByName("FB")->GetDataSize());
  // A blob item has no type and is never active, whatever its value.
  auto* Blob = M->GetCompareItems()->FindByName("BL");
  Blob->SetAsString("x");
  EXPECT_FALSE(Blob->GetActive());
}

TEST(DBBaseModel, RegistersTheSixteenOperatorsWithTheirCaptions) {
  auto M = CreateOwned<TzvDBFindModel>(nullptr);
  TzvCompareModelList* L = M->GetCompareModelList();
  ASSERT_EQ(L->GetCount(), 16);
  const int Captions[16] = {65522, 65523, 65524, 65525, 65526, 65527, 65528, 65529,
                            65530, 65531, 65532, 65533, 65534, 65535, 65504, 65505};
  for (int Key = 0; Key < 16; ++Key) {
    EXPECT_EQ(L->GetKey(Key), Key);
    EXPECT_EQ(L->GetValue(Key).Caption, LoadResString(Captions[Key])) << Key;
  }
  EXPECT_EQ(L->GetValue(12).Caption, "contains (wildcard: *, ?)");
}

// ---------------------------------------------------------------------------
// Index choice

struct Indexed : Bound {
  explicit Indexed(bool Optimization = true) : Bound(People("People", SixPeople())) {
    M->GetOptions()->SetOptimization(Optimization);
  }
  std::string KeyFields() const {
    std::string S;
    TzvDBIndexModel* I = M->GetIndexModel();
    for (int i = 0; i < I->GetCount(); ++i) {
      const TIndexFieldDef& D = I->GetItem(i);
      S += (S.empty() ? "" : ";") + D.Field->GetFieldName() + (D.CaseInsensitive ? "/ci" : "") + (D.Descending ? "/desc" : "");
    }
    return S;
  }
};

TEST(DBBaseModelIndex, ChoosesNamedThenFieldsThenPrimaryThenUnique) {
  Indexed X;
  EXPECT_EQ(X.KeyFields(), "");  // no index at all
  X.DS->AddIndex("ByCity", "CITY;NAME", {ixCaseInsensitive}, "NAME");
  X.DS->AddIndex("Uniq", "NAME", {ixUnique});
  X.DS->SetIndexName("ByCity");
  EXPECT_EQ(X.KeyFields(), "CITY/ci;NAME/ci/desc");
  X.DS->SetIndexFieldNames("AMOUNT");
  EXPECT_EQ(X.KeyFields(), "AMOUNT");
  X.DS->SetIndexFieldNames("");
  EXPECT_EQ(X.KeyFields(), "NAME");  // first unique index
  X.DS->AddIndex("Prim", "ID", {ixPrimary});
  X.DS->Close();
  X.DS->Open();
  EXPECT_EQ(X.KeyFields(), "ID");
}

TEST(DBBaseModelIndex, NoIndexWhenSwitchedOffOrUnusable) {
  Indexed Off(false);
  Off.DS->AddIndex("ByName", "NAME", {});
  Off.DS->SetIndexName("ByName");
  EXPECT_EQ(Off.KeyFields(), "");
  Off.M->GetOptions()->SetOptimization(true);
  EXPECT_EQ(Off.KeyFields(), "NAME");
  Off.M->GetOptions()->SetOptimization(false);
  EXPECT_EQ(Off.KeyFields(), "");
  EXPECT_EQ(Off.M->GetIndexModel()->GetIndexState(), isNone);

  // The plain adapter offers nothing: no index, no range, no SQL.
  auto Plain = CreateOwned<TzvDBFindModel>(nullptr);
  for (auto O : {dsDefaultIndex, dsMultiCaseInsIndexSearch, dsIndexRange, dsSQL})
    EXPECT_FALSE(Plain->GetExtDataSetModel()->IsSupported(O));
  EXPECT_EQ(Plain->GetExtDataSetModel()->GetIndexDef(), nullptr);
}

TEST(DBBaseModelIndex, AKeyFieldTheDataSetLacksEndsTheKeyList) {
  Indexed X;
  // An index over a field the dataset does not show is never chosen by name...
  X.DS->GetIndexDefs()->Add("Ghost", "GHOST", {ixPrimary});
  X.DS->GetIndexDefs()->Add("Uniq", "CITY;GHOST", {ixUnique});
  TOwned<TIndexDef> Def = X.M->GetExtDataSetModel()->GetIndexDef();
  EXPECT_EQ(Def, nullptr);
  // ...and a definition reported as it is ends its key list before that field.
  X.M->Adapter()->ReportedFields = "NAME;;GHOST;ID";
  X.M->GetIndexModel()->UpdateIndex();
  EXPECT_EQ(X.KeyFields(), "NAME");
  X.M->Adapter()->ReportedFields = "GHOST;ID";
  X.M->GetIndexModel()->UpdateIndex();
  EXPECT_EQ(X.KeyFields(), "");
}

TEST(DBBaseModelIndex, IndexChosenAgainOnlyWhenTheDataSetChangesIt) {
  Indexed X;
  X.DS->AddIndex("ByName", "NAME", {});
  X.DS->AddIndex("ByCity", "CITY", {});
  X.DS->SetIndexName("ByName");
  EXPECT_FALSE(X.M->GetIndexModel()->IsUpdateIndex());
  EXPECT_EQ(X.KeyFields(), "NAME");
  X.DS->SetIndexName("ByCity");  // the change reaches the model as a data change
  EXPECT_EQ(X.KeyFields(), "CITY");
  EXPECT_EQ(X.M->GetIndexModel()->GetIndexName(), "ByCity");
}

TEST(DBBaseModelIndex, FindRecordLocatesWithScalarOrArrayAndCaseOption) {
  Indexed X;
  X.DS->AddIndex("CityName", "CITY;NAME", {}, "", "CITY");
  X.DS->SetIndexName("CityName");
  ASSERT_EQ(X.KeyFields(), "CITY/ci;NAME");
  TzvExtDataSetModel* A = X.M->GetExtDataSetModel();
  EXPECT_TRUE(A->FindRecord(VarArrayOf({Variant("paris")}), false));
  EXPECT_EQ(dstest::IdOf(X.DS.get()), 2);
  EXPECT_TRUE(A->FindRecord(VarArrayOf({Variant("PARIS"), Variant("BERTA")}), true));
  EXPECT_EQ(dstest::IdOf(X.DS.get()), 6);
  EXPECT_TRUE(A->FindRecord(VarArrayOf({Variant("berlin"), Variant("C")}), false));
  EXPECT_EQ(dstest::IdOf(X.DS.get()), 3);
  EXPECT_FALSE(A->FindRecord(VarArrayOf({Variant("Oslo")}), false));
  EXPECT_EQ(dstest::IdOf(X.DS.get()), 3);
}

}  // namespace
}  // namespace fyndra
