// The Firebird family's package: what its adapter reports for each kind of
// dataset, the family check and registration, filtering a table by record
// test, a query through SQL and a select dataset through SelectSQL, finds
// through an index with Locate, failures that leave the query as it was, and
// the SQL means against the record test on a thousand random criteria.
#include <fyndra/adapters/ib/zvibmodel.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <fyndra/platform/classes/palette.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/ib/ibtable.h>
#include "platform/ib/ibtestutil.h"

namespace fyndra {
namespace {

using ibtest::DbErrorOf;

std::vector<int> Ids(TDataSet* DS) {
  std::vector<int> Out;
  for (DS->First(); !DS->Eof(); DS->Next()) Out.push_back(DS->FieldByName("ID")->AsInteger());
  std::sort(Out.begin(), Out.end());
  return Out;
}

// A model of the family bound to a dataset through a data source.
template <class TModel>
struct Bound {
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TModel> M = CreateOwned<TModel>(nullptr);
  explicit Bound(TDataSet* DS) {
    Src->SetDataSet(DS);
    M->SetName("Model");
    M->SetDataSource(Src.get());
  }
  TzvCompareItem* Item(const std::string& Name) const { return M->GetCompareItems()->FindByName(Name); }
};

class ZvIBModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    T.Exec("CREATE TABLE people (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), CITY VARCHAR(20))");
    T.Exec("CREATE INDEX people_name ON people (NAME)");
    const char* Rows[][2] = {{"Anna", "Berlin"}, {"Bert", "Paris"}, {"Carl", "Berlin"},
                             {"Dora", "Rome"},   {"Anton", "Rome"}, {"Bär", "Berlin"}};
    int Id = 0;
    for (const auto& R : Rows)
      T.Exec("INSERT INTO people VALUES (" + std::to_string(++Id) + ", '" + R[0] + "', '" + R[1] + "')");
    for (TIBCustomDataSet* D : std::initializer_list<TIBCustomDataSet*>{Table.get(), Query.get(), Select.get()}) {
      D->SetName("People");
      D->SetDatabase(T.Db.get());
    }
    Table->SetTableName("PEOPLE");
    Query->GetSQL()->SetText("SELECT * FROM people ORDER BY ID");
    Select->GetSelectSQL()->SetText("SELECT * FROM people ORDER BY ID");
  }
  ibtest::TestDatabase T;
  TOwned<TIBTable> Table = CreateOwned<TIBTable>(nullptr);
  TOwned<TIBQuery> Query = CreateOwned<TIBQuery>(nullptr);
  TOwned<TIBDataSet> Select = CreateOwned<TIBDataSet>(nullptr);
};

TEST_F(ZvIBModelTest, TheAdapterReportsWhatEachKindOfDatasetOffers) {
  Bound<TzvIBFilterModel> B(Table.get());
  TzvExtDataSetModel* Ext = B.M->GetExtDataSetModel();
  Table->SetIndexFieldNames("NAME");
  EXPECT_TRUE(Ext->IsSupported(dsDefaultIndex));
  EXPECT_FALSE(Ext->IsSupported(dsSQL));
  EXPECT_FALSE(Ext->IsSupported(dsIndexRange));
  EXPECT_FALSE(Ext->IsSupported(dsMultiCaseInsIndexSearch));
  EXPECT_EQ(Ext->GetIndexDefs(), Table->GetIndexDefs());
  EXPECT_EQ(Ext->GetIndexFieldNames(), "NAME");
  EXPECT_EQ(Ext->GetQuerySQL(), "");
  Ext->SetParam("anything", Variant(1));  // nothing for a table

  for (TIBCustomDataSet* D : std::initializer_list<TIBCustomDataSet*>{Query.get(), Select.get()}) {
    B.Src->SetDataSet(D);
    EXPECT_TRUE(Ext->IsSupported(dsSQL));
    EXPECT_TRUE(Ext->IsSupported(dsDefaultIndex));
    EXPECT_FALSE(Ext->IsSupported(dsIndexRange));
    EXPECT_EQ(Ext->GetIndexDefs(), nullptr);
    EXPECT_EQ(Ext->GetIndexName(), "");
    EXPECT_EQ(Ext->GetQuerySQL(), "SELECT * FROM people ORDER BY ID\n");
  }
  // A query skips a parameter it lacks; a select dataset's lookup raises.
  B.Src->SetDataSet(Query.get());
  Ext->SetParam("nope", Variant(1));
  B.Src->SetDataSet(Select.get());
  EXPECT_THROW(Ext->SetParam("nope", Variant(1)), EIBError);

  // Without a dataset of the family there is no statement to rewrite.
  B.Src->SetDataSet(nullptr);
  EXPECT_FALSE(Ext->IsSupported(dsSQL));
}

TEST_F(ZvIBModelTest, ADatasetOfAnotherFamilyIsRefusedAndTheComponentsRegister) {
  auto Other = CreateOwned<TClientDataSet>(nullptr);
  Other->SetName("Memory");
  Other->GetFieldDefs()->Add("ID", ftInteger);
  Bound<TzvIBFindModel> B(Other.get());
  std::string Error;
  try {
    Other->CreateDataSet();
  } catch (const Exception& E) {
    Error = E.Message();
  }
  EXPECT_EQ(Error, "Model: 'Memory' is not descendant of TIBCustomDataSet component");

  zvibmodel::Register();
  const std::vector<TClass> Access = PaletteClasses("Fyndra Access");
  auto Filter = std::find(Access.begin(), Access.end(), TzvIBFilterModel::StaticClass());
  auto Find = std::find(Access.begin(), Access.end(), TzvIBFindModel::StaticClass());
  ASSERT_NE(Filter, Access.end());
  ASSERT_NE(Find, Access.end());
  EXPECT_LT(Filter, Find);
}

TEST_F(ZvIBModelTest, ATableIsFilteredByTheRecordTestWithoutARange) {
  Table->SetIndexFieldNames("NAME");
  Table->Open();
  Bound<TzvIBFilterModel> B(Table.get());
  B.M->GetCompareItems()->BeginUpdate();
  B.Item("NAME")->SetCompareKey(6);  // starts with
  B.Item("NAME")->SetValue("A");
  B.M->GetCompareItems()->EndUpdate();
  B.M->SetFiltered(true);
  EXPECT_TRUE(Table->GetFiltered());
  EXPECT_TRUE(bool(Table->GetOnFilterRecord()));
  EXPECT_EQ(Ids(Table.get()), (std::vector<int>{1, 5}));
  EXPECT_EQ(Table->GetIndexFieldNames(), "NAME");
  B.M->SetFiltered(false);
  EXPECT_FALSE(Table->GetFiltered());
  EXPECT_EQ(Ids(Table.get()).size(), 6u);
}

TEST_F(ZvIBModelTest, AQueryIsRewrittenThroughSQLAndASelectDatasetThroughSelectSQL) {
  struct Case {
    TIBCustomDataSet* DS;
    TStrings* Text;
  } Cases[] = {{Query.get(), Query->GetSQL()}, {Select.get(), Select->GetSelectSQL()}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.DS->ClassName());
    C.DS->Open();
    Bound<TzvIBFilterModel> B(C.DS);
    B.M->GetCompareItems()->BeginUpdate();
    B.Item("CITY")->SetValue("berlin");
    B.Item("CITY")->SetOptions({ciCaseInsensitive});
    B.Item("ID")->SetCompareKey(4);  // the record's value is greater
    B.Item("ID")->SetValue("1");
    B.M->GetCompareItems()->EndUpdate();
    B.M->SetFiltered(true);
    EXPECT_FALSE(C.DS->GetFiltered());
    EXPECT_NE(C.Text->GetText().find("WHERE"), std::string::npos) << C.Text->GetText();
    EXPECT_NE(C.Text->GetText().find(":DFyndra_ID"), std::string::npos) << C.Text->GetText();
    EXPECT_EQ(Ids(C.DS), (std::vector<int>{3, 6})) << C.Text->GetText();
    B.M->SetFiltered(false);
    EXPECT_EQ(C.Text->GetText(), "SELECT * FROM people  ORDER BY ID\n");
    EXPECT_EQ(Ids(C.DS).size(), 6u);
  }
}

TEST_F(ZvIBModelTest, FindsLocateThroughAnIndexAndOtherwiseScan) {
  for (const char* Order : {"NAME", ""}) {
    SCOPED_TRACE(Order);
    Table->Close();
    Table->SetIndexFieldNames(Order);
    Table->Open();
    Bound<TzvIBFindModel> B(Table.get());
    B.M->GetCompareItems()->BeginUpdate();
    B.Item("NAME")->SetCompareKey(6);  // starts with
    B.Item("NAME")->SetValue("B");
    B.M->GetCompareItems()->EndUpdate();
    B.M->Apply();
    EXPECT_EQ(Table->FieldByName("NAME")->AsString(), "Bert");
  }
}

TEST_F(ZvIBModelTest, AnUnknownParameterOfASelectDatasetEndsTheApplyAndKeepsItsStatement) {
  // No FROM: the rewriting leaves the text as it is, so the parameter the
  // condition names does not exist.
  Select->GetSelectSQL()->SetText("EXECUTE BLOCK RETURNS (ID INTEGER, NAME VARCHAR(5)) AS BEGIN ID = 1; NAME = 'x'; SUSPEND; END");
  Select->Open();
  Bound<TzvIBFilterModel> B(Select.get());
  B.M->GetCompareItems()->BeginUpdate();
  B.Item("ID")->SetValue("1");
  B.M->GetCompareItems()->EndUpdate();
  try {
    B.M->SetFiltered(true);
    FAIL() << "no error";
  } catch (const EIBError& E) {
    EXPECT_EQ(E.Message(), "Parameter 'DFyndra_ID' not found");
  }
  EXPECT_TRUE(Select->GetActive());
  EXPECT_EQ(B.M->GetCurrentWhereClause(), "");
  EXPECT_EQ(Select->FieldByName("NAME")->AsString(), "x");
}

// ---------------------------------------------------------------------------
// The SQL means against the record test

// Texts with accents and letters whose case mapping is one letter to one
// (Firebird's UPPER maps letter by letter, so ß, whose upper case is SS in
// memory, is left out), quotes, LIKE's own characters and an empty text.
const char* const Names[] = {"Anna", "anna", "ANNA", "Änne", "änne", "Émile", "émile", "Zoë", "Øyvind",
                             "Łukasz", "O'Brien", "100%", "under_score", "Bär", "BÄR", "x", "", "Anton",
                             "Ann", "a'b%c_d"};
const char* const Cities[] = {"Berlin", "berlin", "München", "MÜNCHEN", "Paris", "Köln", ""};

TEST(ZvIBRandomCriteria, TheSQLMeansAgreesWithTheRecordTest) {
  ibtest::TestDatabase T;
  // UNICODE collations order texts as the text service does (ICU, case
  // counts); the record test runs in en_US.
  T.Exec("CREATE TABLE rc (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20) COLLATE UNICODE, "
         "CITY VARCHAR(20) COLLATE UNICODE, AMOUNT NUMERIC(10,2), BORN DATE, OK BOOLEAN)");
  std::mt19937 Data(42);
  auto Pick = [&](std::mt19937& G, int N) { return int(G() % unsigned(N)); };
  {
    auto Tr = CreateOwned<TIBTransaction>(nullptr);
    Tr->SetDefaultDatabase(T.Db.get());
    auto Ins = CreateOwned<TIBQuery>(nullptr);
    Ins->SetDatabase(T.Db.get());
    Ins->SetTransaction(Tr.get());
    Ins->GetSQL()->SetText("INSERT INTO rc VALUES (:id, :name, :city, :amount, :born, :ok)");
    for (int Id = 1; Id <= 80; ++Id) {
      Ins->ParamByName("id")->SetAsInteger(Id);
      auto Maybe = [&](TParam* P, auto Set) { Pick(Data, 8) == 0 ? P->Clear() : Set(P); };
      Maybe(Ins->ParamByName("name"), [&](TParam* P) { P->SetAsString(Names[Pick(Data, std::size(Names))]); });
      Maybe(Ins->ParamByName("city"), [&](TParam* P) { P->SetAsString(Cities[Pick(Data, std::size(Cities))]); });
      Maybe(Ins->ParamByName("amount"),
            [&](TParam* P) { P->SetAsBCD(Currency::FromScaled((std::int64_t(Pick(Data, 2001)) - 1000) * 100)); });
      Maybe(Ins->ParamByName("born"), [&](TParam* P) { P->SetAsDate(EncodeDate(1990, 1, 1) + Pick(Data, 40)); });
      Maybe(Ins->ParamByName("ok"), [&](TParam* P) { P->SetAsBoolean(Pick(Data, 2) == 1); });
      Ins->ExecSQL();
    }
    Tr->Commit();
  }
  // The same rows twice: one query filtered by SQL, one by the record test.
  auto BySQL = CreateOwned<TIBQuery>(nullptr);
  auto ByTest = CreateOwned<TIBQuery>(nullptr);
  for (TIBQuery* Q : {BySQL.get(), ByTest.get()}) {
    Q->SetDatabase(T.Db.get());
    Q->GetSQL()->SetText("SELECT * FROM rc ORDER BY ID");
    Q->Open();
  }
  Bound<TzvIBFilterModel> S(BySQL.get()), R(ByTest.get());
  R.M->GetOptions()->SetSQLWhere(false);
  const char* const Fields[] = {"NAME", "CITY", "AMOUNT", "BORN", "OK", "ID"};
  int Compared = 0;
  for (unsigned Seed = 1; Seed <= 1000; ++Seed) {
    std::mt19937 G(Seed);
    // One to three criteria on random fields, with random operators, values and case option.
    struct TCriterion {
      std::string Field;
      int Key;
      std::string Value;
      bool CaseIns;
    };
    std::vector<TCriterion> Crit;
    const int N = 1 + Pick(G, 3);
    for (int I = 0; I < N; ++I) {
      TCriterion C;
      C.Field = Fields[Pick(G, std::size(Fields))];
      const bool Text = C.Field == "NAME" || C.Field == "CITY";
      // The string operators are drawn for text fields only: the engine's
      // text of a date, a decimal or a boolean is not the locale's.
      static const int Typed[] = {0, 1, 2, 3, 4, 5, 14, 15};
      C.Key = Text ? Pick(G, 16) : Typed[Pick(G, 8)];
      C.CaseIns = Pick(G, 2) == 1;
      if (C.Field == "NAME") C.Value = Names[Pick(G, std::size(Names))];
      else if (C.Field == "CITY") C.Value = Cities[Pick(G, std::size(Cities))];
      else if (C.Field == "AMOUNT") C.Value = std::to_string(Pick(G, 2001) - 1000);
      else if (C.Field == "BORN") C.Value = DateToStr(EncodeDate(1990, 1, 1) + Pick(G, 40));
      else if (C.Field == "OK") C.Value = Pick(G, 2) ? "True" : "False";
      else C.Value = std::to_string(Pick(G, 90));
      // Shorter texts and wildcards for the string operators.
      if (Text && !C.Value.empty() && Pick(G, 2)) {
        // A prefix of whole characters.
        std::size_t End = 1 + std::size_t(Pick(G, int(C.Value.size())));
        while (End < C.Value.size() && (static_cast<unsigned char>(C.Value[End]) & 0xC0) == 0x80) ++End;
        C.Value = C.Value.substr(0, End);
      }
      if (C.Key >= 12 && C.Key <= 13 && Pick(G, 2)) C.Value += Pick(G, 2) ? "*" : "?";
      Crit.push_back(C);
    }
    std::string Expression;
    for (int I = 0; I < N; ++I) {
      if (I > 0) Expression += Pick(G, 2) ? " and " : " or ";
      Expression += "C" + std::to_string(I);
    }
    SCOPED_TRACE("seed " + std::to_string(Seed) + ": " + Expression);
    for (auto* B : {&S, &R}) {
      TzvCompareItems* Items = B->M->GetCompareItems();
      Items->BeginUpdate();
      B->M->SetItemsOption(ioCustom);
      B->M->SetExpression("");
      Items->Clear();
      for (int I = 0; I < N; ++I) {
        TzvCompareItem* Item = Items->Add();
        Item->SetName("C" + std::to_string(I));
        Item->SetFieldName(Crit[std::size_t(I)].Field);
        Item->SetCompareKey(Crit[std::size_t(I)].Key);
        Item->SetOptions(Crit[std::size_t(I)].CaseIns ? TzvCompareItemOptions{ciCaseInsensitive} : TzvCompareItemOptions{});
        Item->SetValue(Crit[std::size_t(I)].Value);
      }
      B->M->SetExpression(Expression);
      Items->EndUpdate();
      B->M->SetFiltered(true);
    }
    const std::vector<int> A = Ids(BySQL.get()), Bv = Ids(ByTest.get());
    if (A != Bv) {
      std::string Where = S.M->GetCurrentWhereClause();
      ADD_FAILURE() << "SQL: " << Where;
    }
    ++Compared;
  }
  EXPECT_EQ(Compared, 1000);
}

}  // namespace
}  // namespace fyndra
