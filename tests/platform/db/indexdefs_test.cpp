#include <fyndra/platform/db/indexdefs.h>

#include <gtest/gtest.h>

#include <string>

#include <fyndra/platform/db/dbtypes.h>

namespace fyndra {
namespace {

// An index collection filled with a typical set of definitions.
class IndexDefsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Defs->Add("PK", "ID", {ixPrimary, ixUnique});
    Defs->Add("ByNameCity", "Name;City", {});
    Defs->Add("ByNameCI", "Name", {ixCaseInsensitive});
    Defs->Add("ByCity", "City;Name", {});
    Defs->Add("ByExpr", "Name", {ixExpression});
    TIndexDef* Mixed = Defs->AddIndexDef();
    Mixed->SetName("Mixed");
    Mixed->SetFields("Zip;Name;Amount");
    Mixed->SetCaseInsFields("Name");
    Mixed->SetDescFields("Amount");
  }
  TOwned<TIndexDefs> Defs = CreateOwned<TIndexDefs>(static_cast<TPersistent*>(nullptr));
};

std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EDatabaseError& E) {
    return E.Message();
  }
  return "<no EDatabaseError>";
}

TEST_F(IndexDefsTest, FindsByNameIgnoringCaseAndRaisesForAnUnknownName) {
  EXPECT_EQ(Defs->Find("bynamecity")->GetFields(), "Name;City");
  EXPECT_EQ(Defs->IndexOf("PK"), 0);
  EXPECT_EQ(Defs->IndexOf("Nope"), -1);
  EXPECT_EQ(MessageOf([&] { Defs->Find("Nope"); }), "Index 'Nope' not found");
}

TEST_F(IndexDefsTest, FindIndexForFieldsPrefersAnExactCaseSensitiveKey) {
  struct Row {
    const char* Fields;
    const char* Expected;  // index name, or nullptr when nothing fits
  } Rows[] = {
      {"ID", "PK"},
      {"id", "PK"},                // field names ignore case
      {"Name", "ByNameCity"},      // a case-sensitive prefix beats an exact case-insensitive key
      {"Name;City", "ByNameCity"},
      {"City", "ByCity"},          // a prefix of a longer key
      {"City;Name", "ByCity"},
      {"Zip", "Mixed"},
      {"Zip;Name", nullptr},       // Name is case-insensitive there: mixed keys only as a whole
      {"Name;Zip", nullptr},
      {"Amount", nullptr},         // not a leading field
      {"", nullptr},
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Fields);
    if (R.Expected) {
      EXPECT_EQ(Defs->FindIndexForFields(R.Fields)->GetName(), R.Expected);
    } else {
      EXPECT_EQ(MessageOf([&] { Defs->FindIndexForFields(R.Fields); }),
                std::string("No index for fields '") + R.Fields + "'");
    }
  }
  // Only case-insensitive keys when asked for them; expression indexes never.
  EXPECT_EQ(Defs->GetIndexForFields("Name", true)->GetName(), "ByNameCI");
  EXPECT_EQ(Defs->GetIndexForFields("City", true), nullptr);
  Defs->Delete(Defs->IndexOf("ByNameCity"));
  EXPECT_EQ(Defs->FindIndexForFields("Name")->GetName(), "ByNameCI");  // falls back to case-insensitive
}

TEST_F(IndexDefsTest, FieldMarkersComeFromTheListsOrElseFromTheOptions) {
  TIndexDef* Mixed = Defs->Find("Mixed");
  EXPECT_TRUE(Mixed->IsCaseInsensitiveField("name"));
  EXPECT_FALSE(Mixed->IsCaseInsensitiveField("Zip"));
  EXPECT_TRUE(Mixed->IsDescendingField("AMOUNT"));
  EXPECT_FALSE(Mixed->IsDescendingField("Name"));
  TIndexDef* CI = Defs->Find("ByNameCI");
  EXPECT_TRUE(CI->IsCaseInsensitiveField("Name"));
  EXPECT_FALSE(CI->IsCaseInsensitiveField("City"));  // not a key field
  EXPECT_FALSE(CI->IsDescendingField("Name"));
}

TEST_F(IndexDefsTest, AssignCopiesEveryPropertyIntoAFreeStandingDefinition) {
  TOwned<TIndexDef> Copy = CreateOwned<TIndexDef>(static_cast<TCollection*>(nullptr));
  Copy->Assign(Defs->Find("Mixed"));
  EXPECT_EQ(Copy->GetCollection(), nullptr);
  EXPECT_EQ(Copy->GetName(), "Mixed");
  EXPECT_EQ(Copy->GetFields(), "Zip;Name;Amount");
  EXPECT_EQ(Copy->GetCaseInsFields(), "Name");
  EXPECT_EQ(Copy->GetDescFields(), "Amount");
  // The copy outlives its source.
  Defs->Clear();
  EXPECT_EQ(Copy->GetFields(), "Zip;Name;Amount");

  TOwned<TIndexDefs> Other = CreateOwned<TIndexDefs>(static_cast<TPersistent*>(nullptr));
  Other->Add("PK", "ID", {ixPrimary});
  Other->Add("X", "A;B", {ixUnique, ixDescending});
  Defs->Assign(Other.get());
  ASSERT_EQ(Defs->Count(), 2);
  EXPECT_EQ(Defs->GetItem(1)->GetOptions(), (TIndexOptions{ixUnique, ixDescending}));
}

TEST_F(IndexDefsTest, UpdateAsksTheOwnerToRefreshTheDefinitions) {
  EXPECT_FALSE(Defs->GetUpdated());
  Defs->Update();  // no updater: the definitions stay as they are
  EXPECT_EQ(Defs->Count(), 6);
  EXPECT_TRUE(Defs->GetUpdated());
  int Calls = 0;
  Defs->SetUpdater([&](TIndexDefs& D) {
    ++Calls;
    D.Clear();
    D.Add("Fresh", "A", {ixPrimary});
  });
  Defs->Update();
  EXPECT_EQ(Calls, 1);
  EXPECT_TRUE(Defs->GetUpdated());
  ASSERT_EQ(Defs->Count(), 1);
  EXPECT_EQ(Defs->GetItem(0)->GetName(), "Fresh");
}

}  // namespace
}  // namespace fyndra
