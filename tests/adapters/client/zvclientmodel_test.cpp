// The client dataset package: what its adapter reports, the key search and
// the ranges on the client dataset's own indexes, the family check, and the
// package's registration.
#include <fyndra/adapters/client/zvclientmodel.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/classes/palette.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

// Ten people with a case-insensitive index on NAME and one on (CITY, NAME).
TOwned<TClientDataSet> People() {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  DS->SetName("People");
  DS->GetFieldDefs()->Add("ID", ftInteger);
  DS->GetFieldDefs()->Add("NAME", ftString, 20);
  DS->GetFieldDefs()->Add("CITY", ftString, 20);
  DS->CreateDataSet();
  DS->AddIndex("ByName", "NAME", {ixCaseInsensitive});
  DS->AddIndex("ByCityName", "CITY;NAME", {});
  const char* Rows[][2] = {{"Anna", "Berlin"}, {"Bert", "Paris"},   {"Carl", "Berlin"}, {"Dora", "Rome"},
                           {"Anton", "Rome"},  {"berta", "Paris"},  {"Bernd", "Wien"},  {"Émile", "Paris"},
                           {"Bär", "Berlin"},  {"Benedikt", "Rome"}};
  int Id = 0;
  for (const auto& R : Rows) DS->AppendRecord({Variant(std::int32_t(++Id)), Variant(R[0]), Variant(R[1])});
  DS->First();
  return DS;
}

std::vector<int> Ids(TDataSet* DS) {
  std::vector<int> Out;
  for (DS->First(); !DS->Eof(); DS->Next()) Out.push_back(DS->FieldByName("ID")->AsInteger());
  std::sort(Out.begin(), Out.end());
  return Out;
}

template <class TModel>
struct Bound {
  TOwned<TClientDataSet> DS = People();
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TModel> M = CreateOwned<TModel>(nullptr);
  Bound() {
    SetDefaultLocale("en_US");
    Src->SetDataSet(DS.get());
    M->SetName("Model");
    M->SetDataSource(Src.get());
  }
  TzvCompareItem* Item(const std::string& Name) const { return M->GetCompareItems()->FindByName(Name); }
};

TEST(ClientAdapter, ReportsWhatAClientDataSetOffers) {
  Bound<TzvClientFilterModel> B;
  TzvExtDataSetModel* Ext = B.M->GetExtDataSetModel();
  EXPECT_TRUE(Ext->IsSupported(dsDefaultIndex));
  EXPECT_TRUE(Ext->IsSupported(dsMultiCaseInsIndexSearch));
  EXPECT_TRUE(Ext->IsSupported(dsIndexRange));
  EXPECT_FALSE(Ext->IsSupported(dsSQL));
  EXPECT_EQ(Ext->GetIndexDefs(), B.DS->GetIndexDefs());
  B.DS->SetIndexName("ByName");
  EXPECT_EQ(Ext->GetIndexName(), "ByName");
  B.DS->SetIndexFieldNames("CITY");
  EXPECT_EQ(Ext->GetIndexFieldNames(), "CITY");
  EXPECT_EQ(Ext->GetQuerySQL(), "");
  // Without a dataset only the default index is claimed.
  B.Src->SetDataSet(nullptr);
  EXPECT_TRUE(Ext->IsSupported(dsDefaultIndex));
  EXPECT_FALSE(Ext->IsSupported(dsIndexRange));
  EXPECT_EQ(Ext->GetIndexDefs(), nullptr);
}

// Typing a name into a filter over the case-insensitive name index: the
// dataset is restricted to the range of the prefix and the filter event
// decides inside it; no SQL is ever involved.
TEST(ClientAdapter, FilterUsesTheIndexRangeAndTheFilterEvent) {
  Bound<TzvClientFilterModel> B;
  B.DS->SetIndexName("ByName");
  B.M->SetFiltered(true);
  struct Step {
    const char* Text;
    std::vector<int> Want;
  } Steps[] = {{"b", {2, 6, 7, 9, 10}}, {"be", {2, 6, 7, 10}}, {"ber", {2, 6, 7}}, {"bert", {2, 6}},
               {"é", {8}},              {"BÄ", {9}},            {"x", {}},           {"", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}};
  for (const Step& S : Steps) {
    B.Item("NAME")->SetAsString(S.Text);
    EXPECT_EQ(Ids(B.DS.get()), S.Want) << S.Text;
    EXPECT_EQ(B.DS->GetRanged(), *S.Text != '\0') << S.Text;
  }
  EXPECT_FALSE(B.M->IsSQLWhere());
  // A criterion on another field leaves the range to the name and the rest
  // to the filter event.
  B.Item("NAME")->SetAsString("b");
  B.Item("CITY")->SetAsString("par");
  EXPECT_EQ(Ids(B.DS.get()), (std::vector<int>{2, 6}));
  EXPECT_TRUE(B.DS->GetRanged());
  // Leaving the dataset removes range, event and Filtered.
  B.Src->SetDataSet(nullptr);
  EXPECT_FALSE(B.DS->GetRanged());
  EXPECT_FALSE(B.DS->GetFiltered());
  EXPECT_FALSE(B.DS->GetOnFilterRecord());
  EXPECT_EQ(Ids(B.DS.get()).size(), 10u);
}

// A range bound longer than the key field is cut to its size, which the
// client dataset accepts: a long prefix still filters.
TEST(ClientAdapter, LongCriteriaStillFilterThroughTheRange) {
  Bound<TzvClientFilterModel> B;
  B.DS->SetIndexName("ByName");
  B.M->SetFiltered(true);
  B.Item("NAME")->SetAsString("Benedikt");
  EXPECT_EQ(Ids(B.DS.get()), std::vector<int>{10});
  B.Item("NAME")->SetAsString("Benedikt and twenty more letters");
  EXPECT_EQ(Ids(B.DS.get()), std::vector<int>{});
  B.Item("NAME")->SetCompareKey(0);
  B.Item("NAME")->SetAsString("BENEDIKT");
  EXPECT_EQ(Ids(B.DS.get()), std::vector<int>{10});
}

// The find model jumps to the first key candidate with the client dataset's
// key search and stops where the records leave the range.
TEST(ClientAdapter, FindSearchesByKey) {
  Bound<TzvClientFindModel> B;
  B.DS->SetIndexName("ByName");
  B.M->GetOptions()->SetAutoUpdate(false);
  B.Item("NAME")->SetAsString("ber");
  EXPECT_TRUE(B.M->Apply());
  EXPECT_EQ(B.DS->FieldByName("NAME")->AsString(), "Bernd");
  B.M->GetOptions()->SetRestart(false);
  EXPECT_TRUE(B.M->Apply());
  EXPECT_EQ(B.DS->FieldByName("NAME")->AsString(), "Bert");
  EXPECT_TRUE(B.M->Apply());
  EXPECT_EQ(B.DS->FieldByName("NAME")->AsString(), "berta");
  EXPECT_FALSE(B.M->Apply());
  // A key shorter than the index: the further key fields are searched as
  // Null, and the search lands on the first record at or after the key.
  B.DS->SetIndexName("ByCityName");
  B.M->GetOptions()->SetRestart(true);
  B.Item("NAME")->SetAsString("");
  B.Item("CITY")->SetOptions({ciConvertValue});
  B.Item("CITY")->SetCompareKey(0);
  B.Item("CITY")->SetAsString("Rome");
  EXPECT_TRUE(B.M->GetExtDataSetModel()->FindRecord(VarArrayOf({Variant("Rome")}), false));
  EXPECT_EQ(B.DS->FieldByName("NAME")->AsString(), "Anton");
  EXPECT_TRUE(B.M->Apply());
  EXPECT_EQ(B.DS->FieldByName("NAME")->AsString(), "Anton");
  EXPECT_FALSE(B.M->GetExtDataSetModel()->FindRecord(VarArrayOf({Variant("Rome"), Variant("Zed")}), true));
  EXPECT_TRUE(B.M->GetExtDataSetModel()->FindRecord(VarArrayOf({Variant("Rome"), Variant("Dora")}), true));
  EXPECT_EQ(B.DS->FieldByName("ID")->AsInteger(), 4);
}

TEST(ClientAdapter, DataSetsOfAnotherFamilyAreRefused) {
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  Db->SetDatabaseName(":memory:");
  Db->Open();
  Db->Execute("CREATE TABLE people(id INTEGER PRIMARY KEY, name TEXT)");
  auto Table = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
  Table->SetName("PeopleTable");
  Table->SetDatabase(Db.get());
  Table->SetTableName("people");
  auto Src = CreateOwned<TDataSource>(nullptr);
  Src->SetDataSet(Table.get());
  auto Find = CreateOwned<TzvClientFindModel>(nullptr);
  Find->SetName("Finder");
  Find->SetDataSource(Src.get());
  // A table still gets the answer every dataset gets: a default index.
  EXPECT_TRUE(Find->GetExtDataSetModel()->IsSupported(dsDefaultIndex));
  try {
    Table->Open();
    FAIL() << "no error";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(),
              "Finder: 'PeopleTable' is not descendant of TCustomClientDataSet(TClientDataSet) component");
  }
  EXPECT_FALSE(Find->GetActive());
}

TEST(ClientAdapter, RegistersFilterThenFindOnTheAccessPage) {
  zvclientmodel::Register();
  zvclientmodel::Register();  // registering again changes nothing
  std::vector<TClass> Access = PaletteClasses("Fyndra Access");
  auto Filter = std::find(Access.begin(), Access.end(), TzvClientFilterModel::StaticClass());
  auto Find = std::find(Access.begin(), Access.end(), TzvClientFindModel::StaticClass());
  ASSERT_NE(Filter, Access.end());
  ASSERT_NE(Find, Access.end());
  EXPECT_LT(Filter, Find);
  EXPECT_EQ(std::count(Access.begin(), Access.end(), TzvClientFindModel::StaticClass()), 1);
  EXPECT_EQ(FindClass("TzvClientFilterModel"), TzvClientFilterModel::StaticClass());
}

}  // namespace
}  // namespace fyndra
