// The data-aware controls headless, on real datasets: each shows its field,
// refuses the user's change when the field cannot be edited, and writes the
// field when the user leaves it; the lookup controls read their list a
// screen at a time and never behind the user's back.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/dbctrls/dbctrls.h>

namespace fyndra {
namespace {

TEST(ExtractFieldNameTest, SplitsAtSemicolonsAndTrimsBlanks) {
  const std::string List = " Yes ; Y;;ja ";
  std::size_t Pos = 1;
  std::vector<std::string> Got;
  while (Pos <= List.size()) Got.push_back(ExtractFieldName(List, Pos));
  EXPECT_EQ(Got, (std::vector<std::string>{"Yes", "Y", "", "ja"}));
  Pos = 1;
  EXPECT_EQ(ExtractFieldName("", Pos), "");
  EXPECT_GT(Pos, 0u);
  EXPECT_TRUE(TDBCheckBox::ValueMatch("Yes;Y", "y")) << "any alternative, ignoring case";
  EXPECT_TRUE(TDBCheckBox::ValueMatch("Yes;Y", "YES"));
  EXPECT_FALSE(TDBCheckBox::ValueMatch("Yes;Y", "Ye"));
  EXPECT_FALSE(TDBCheckBox::ValueMatch("", "")) << "an empty list never matches";
  EXPECT_EQ(TDBCheckBox::FirstValue(" Yes ;Y"), "Yes");
}

// A people dataset (id, name, city, active as Boolean, flag as text, kind)
// with a data source, on a shown form with a plain edit to move the focus to.
class DBControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* D = People->GetFieldDefs();
    D->Add("ID", ftInteger);
    D->Add("NAME", ftString, 20);
    D->Add("CITY", ftString, 20);
    D->Add("ACTIVE", ftBoolean);
    D->Add("FLAG", ftString, 5);
    D->Add("KIND", ftString, 5);
    People->CreateDataSet();
    People->AppendRecord({Variant(1), Variant("Anna"), Variant("Oslo"), Variant(true), Variant("y"), Variant("P")});
    People->AppendRecord({Variant(2), Variant("Bert"), Null(), Null(), Null(), Variant("C")});
    People->First();
    Source->SetDataSet(People);
    Other->SetParent(Form.get());
    Form->Show();
  }
  template <class T>
  T* Make(const char* Field) {
    T* C = Create<T>(Form.get());
    C->SetParent(Form.get());
    C->SetDataSource(Source);
    C->SetDataField(Field);
    return C;
  }
  TField* Field(const char* Name) const { return People->FieldByName(Name); }

  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  TClientDataSet* People = Create<TClientDataSet>(Form.get());
  TDataSource* Source = Create<TDataSource>(Form.get());
  TEdit* Other = Create<TEdit>(Form.get());
};

TEST_F(DBControlsTest, EditShowsItsFieldAndWritesItWhenTheUserLeaves) {
  auto* Edit = Make<TDBEdit>("NAME");
  EXPECT_EQ(Edit->GetText(), "Anna");
  EXPECT_FALSE(Edit->TCustomEdit::GetReadOnly());
  Edit->SetFocus();
  Edit->PeerTextEdited("Anne", 4);
  EXPECT_EQ(People->GetState(), dsEdit) << "the user's change puts the dataset into edit mode";
  EXPECT_EQ(Field("NAME")->AsString(), "Anna") << "written only on leaving";
  Other->SetFocus();
  EXPECT_EQ(Field("NAME")->AsString(), "Anne");
  // Moving to another record shows it; setting the text from code writes nothing.
  People->Post();
  People->Next();
  EXPECT_EQ(Edit->GetText(), "Bert");
  Edit->SetText("Code");
  Edit->SetFocus();
  Other->SetFocus();
  EXPECT_EQ(Field("NAME")->AsString(), "Bert");
  // Escape takes the user's change back.
  Edit->SetFocus();
  Edit->PeerTextEdited("Bernd", 5);
  std::uint16_t Key = VK_ESCAPE;
  Edit->KeyDown(Key, {});
  EXPECT_EQ(Edit->GetText(), "Bert");
  Other->SetFocus();
  EXPECT_EQ(Field("NAME")->AsString(), "Bert");
}

TEST_F(DBControlsTest, AControlIsReadOnlyWhileItsFieldCannotBeEdited) {
  auto* Edit = Make<TDBEdit>("NAME");
  auto* Box = Make<TDBCheckBox>("ACTIVE");
  auto* Unbound = Make<TDBEdit>("NO_SUCH_FIELD");
  EXPECT_TRUE(Unbound->TCustomEdit::GetReadOnly()) << "no field";
  EXPECT_EQ(Unbound->GetText(), "");
  Edit->SetReadOnly(true);
  EXPECT_TRUE(Edit->TCustomEdit::GetReadOnly());
  Edit->SetReadOnly(false);
  Field("NAME")->SetReadOnly(true);
  Edit->SetDataField("");
  Edit->SetDataField("NAME");
  EXPECT_TRUE(Edit->TCustomEdit::GetReadOnly()) << "a read-only field";
  char32_t Ch = U'x';
  Edit->KeyPress(Ch);
  EXPECT_EQ(Ch, 0u) << "typing is refused";
  People->SetReadOnly(true);
  Box->PeerToggled();
  EXPECT_TRUE(Box->GetChecked()) << "the toggle is refused";
  EXPECT_EQ(People->GetState(), dsBrowse);
  People->Close();
  EXPECT_EQ(Edit->GetText(), "") << "a closed dataset shows nothing";
  EXPECT_EQ(Box->GetState(), cbUnchecked);
}

TEST_F(DBControlsTest, ListAndComboBoxesPickEntriesOfTheirItems) {
  auto* List = Make<TDBListBox>("CITY");
  auto* Combo = Make<TDBComboBox>("CITY");
  for (auto* Items : {List->GetItems(), Combo->GetItems()}) Items->SetText("Bergen\nOSLO\nRoma\n");
  // Items set after binding: the list finds the field's entry ignoring case.
  People->First();
  EXPECT_EQ(List->GetItemIndex(), 1);
  EXPECT_EQ(Combo->GetText(), "Oslo");
  List->SetFocus();
  List->PeerItemSelected(2);
  EXPECT_EQ(List->SelectedText(), "Roma");
  Combo->SetFocus();  // the list box's choice is written on leaving
  EXPECT_EQ(Field("CITY")->AsString(), "Roma");
  EXPECT_EQ(Combo->GetText(), "Roma") << "the combo follows the field";
  Combo->PeerItemSelected(0);
  Combo->PeerTextEdited("Bergen an See");
  Other->SetFocus();
  EXPECT_EQ(Field("CITY")->AsString(), "Bergen an See");
  EXPECT_EQ(List->GetItemIndex(), -1) << "a text that is no entry selects nothing";
  // A list-only combo shows only entries.
  Combo->SetStyle(csDropDownList);
  Combo->PeerTextEdited("typed");
  EXPECT_EQ(Combo->GetText(), "Bergen an See");
  People->Next();  // Null city
  EXPECT_EQ(Combo->GetText(), "");
  EXPECT_EQ(List->GetItemIndex(), -1);
  // A read-only list refuses the user's pick and keeps showing the field.
  List->SetReadOnly(true);
  List->PeerItemSelected(0);
  EXPECT_EQ(List->GetItemIndex(), -1);
  EXPECT_TRUE(Field("CITY")->IsNull());
}

TEST_F(DBControlsTest, CheckBoxReadsAndWritesBooleanAndTextFields) {
  auto* Active = Make<TDBCheckBox>("ACTIVE");
  auto* Flag = Make<TDBCheckBox>("FLAG");
  Flag->SetValueChecked("Yes;Y");
  Flag->SetValueUnchecked("No;N");
  EXPECT_EQ(Active->GetState(), cbChecked);
  EXPECT_EQ(Flag->GetState(), cbChecked) << "y matches the second alternative";
  Flag->SetFocus();
  Flag->PeerToggled();
  Active->SetFocus();
  EXPECT_EQ(Field("FLAG")->AsString(), "No") << "the first alternative is written";
  Active->PeerToggled();
  Other->SetFocus();
  EXPECT_FALSE(Field("ACTIVE")->AsBoolean());
  EXPECT_FALSE(Field("ACTIVE")->IsNull());
  Field("FLAG")->SetAsString("maybe");
  EXPECT_EQ(Flag->GetState(), cbGrayed) << "a text of neither list";
  People->Post();
  People->Next();  // Nulls
  EXPECT_EQ(Active->GetState(), cbGrayed);
  EXPECT_EQ(Flag->GetState(), cbGrayed);
  // Grayed only with AllowGrayed; a grayed box writes Null.
  Active->SetFocus();
  Active->PeerToggled();
  EXPECT_EQ(Active->GetState(), cbUnchecked);
  Active->SetAllowGrayed(true);
  Active->PeerToggled();
  Active->PeerToggled();
  EXPECT_EQ(Active->GetState(), cbGrayed);
  Other->SetFocus();
  EXPECT_TRUE(Field("ACTIVE")->IsNull());
}

TEST_F(DBControlsTest, RadioGroupChecksTheButtonOfTheValue) {
  auto* Kind = Make<TDBRadioGroup>("KIND");
  int Changes = 0;
  Kind->GetItems()->SetText("Person\nCompany\nOther\n");
  Kind->GetValues()->SetText("P\nC\n");  // Other stands for its caption
  EXPECT_EQ(Kind->GetItemIndex(), 0);
  EXPECT_EQ(Kind->GetValue(), "P");
  EXPECT_EQ(Kind->ButtonValue(2), "Other");
  Kind->OnChange = TNotifyEvent::FromCallable([&](TObject*) { ++Changes; });
  Kind->SetFocus();
  Kind->PeerButtonClicked(2);
  EXPECT_EQ(Kind->GetValue(), "Other");
  EXPECT_EQ(Changes, 1);
  Other->SetFocus();
  EXPECT_EQ(Field("KIND")->AsString(), "Other");
  Field("KIND")->SetAsString("X");  // no button stands for it
  EXPECT_EQ(Kind->GetItemIndex(), -1);
  EXPECT_EQ(Kind->GetValue(), "X");
  Kind->SetReadOnly(true);
  Kind->PeerButtonClicked(1);
  EXPECT_EQ(Kind->GetItemIndex(), -1) << "a read-only group refuses the click";
}

TEST_F(DBControlsTest, FreeingControlsSourcesAndDatasetsInAnyOrderLeavesNothingBehind) {
  for (int Order = 0; Order < 3; ++Order) {
    SCOPED_TRACE(Order);
    auto* Box = Make<TDBComboBox>("CITY");
    auto* Lookup = Make<TDBLookupComboBox>("CITY");
    Lookup->SetListSource(Source);  // the same source twice
    Lookup->SetKeyField("CITY");
    Lookup->SetListField("NAME");
    switch (Order) {
      case 0:
        Free(Box);
        Free(Lookup);
        break;
      case 1:
        Free(Source);
        EXPECT_EQ(Box->GetDataSource(), nullptr);
        EXPECT_EQ(Lookup->GetListSource(), nullptr);
        Free(Box);
        Free(Lookup);
        Source = Create<TDataSource>(Form.get());
        Source->SetDataSet(People);
        break;
      case 2:
        Lookup->SetDataSource(nullptr);  // the list source keeps its link
        Free(People);
        EXPECT_EQ(Box->GetField(), nullptr);
        EXPECT_FALSE(Lookup->ListActive());
        Free(Lookup);
        Free(Box);
        break;
    }
  }
}

// The lookup controls over a list of real size: the sample database's
// customers, read through a SQLite table.
class LookupTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Path() = (std::filesystem::temp_directory_path() / ("dbctrls_test_" + std::to_string(::getpid()) + ".db")).string();
    GenerateSampleDatabase(Path(), {.Customers = 3000, .MaxOrdersPerCustomer = 0, .Seed = 3});
  }
  static void TearDownTestSuite() { std::remove(Path().c_str()); }
  static std::string& Path() {
    static std::string P;
    return P;
  }
  void SetUp() override {
    Db->SetDatabaseName(Path());
    List->SetDatabase(Db);
    List->SetTableName("customers");
    ListSource->SetDataSet(List);
    List->Open();
    auto* D = Criteria->GetFieldDefs();
    D->Add("CUSTOMER", ftInteger);
    Criteria->CreateDataSet();
    Criteria->AppendRecord({Null()});
    DataSource->SetDataSet(Criteria);
    Other->SetParent(Form.get());
    Form->Show();
  }
  template <class T>
  T* Make() {
    T* C = Create<T>(Form.get());
    C->SetParent(Form.get());
    C->SetListSource(ListSource);
    C->SetKeyField("id");
    C->SetListField("name;city");
    return C;
  }

  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  TDatabase* Db = Create<TDatabase>(Form.get());
  TTable* List = Create<TTable>(Form.get());
  TDataSource* ListSource = Create<TDataSource>(Form.get());
  TClientDataSet* Criteria = Create<TClientDataSet>(Form.get());
  TDataSource* DataSource = Create<TDataSource>(Form.get());
  TEdit* Other = Create<TEdit>(Form.get());
};

TEST_F(LookupTest, DropDownReadsOnlyItsFirstScreenAndMoreOnlyWhenAsked) {
  auto* Combo = Make<TDBLookupComboBox>();
  Combo->SetDropDownRows(12);
  EXPECT_TRUE(Combo->ListActive());
  EXPECT_TRUE(Combo->Rows().empty()) << "nothing is read before the list drops down";
  Combo->PeerDropDown();
  ASSERT_EQ(Combo->Rows().size(), 12u);
  EXPECT_EQ(Combo->Rows()[0].Key.AsInteger(), 1);
  EXPECT_EQ(Combo->Rows()[0].Text, SampleCustomerName(3, 1)) << "the first list field is shown";
  EXPECT_LE(List->FetchedRowCount(), 14) << "no more than a screen read from the engine";
  EXPECT_EQ(List->FieldByName("id")->AsInteger(), 1) << "the list dataset keeps its record";
  EXPECT_EQ(Combo->FetchRows(5), 5);
  EXPECT_EQ(Combo->Rows()[16].Key.AsInteger(), 17);
  // A key beyond the rows read shows its text without reading the list.
  Combo->SetKeyValue(Variant(2500));
  EXPECT_EQ(Combo->GetDisplayText(), SampleCustomerName(3, 2500));
  EXPECT_EQ(Combo->KeyRow(), -1);
  Combo->SetKeyValue(Variant(99999));
  EXPECT_EQ(Combo->GetDisplayText(), "") << "no such key";
  // Without a data field the pick becomes the key value.
  int Clicks = 0;
  Combo->OnClick = TNotifyEvent::FromCallable([&](TObject*) { ++Clicks; });
  Combo->PeerRowSelected(3);
  EXPECT_EQ(Combo->GetKeyValue().AsInteger(), 4);
  EXPECT_EQ(Combo->GetText(), SampleCustomerName(3, 4));
  EXPECT_EQ(Combo->KeyRow(), 3);
  EXPECT_EQ(Clicks, 1);
  // Reading to the end is possible and reported.
  while (Combo->FetchRows(1000) > 0) {
  }
  EXPECT_TRUE(Combo->AllRowsRead());
  EXPECT_EQ(Combo->Rows().size(), 3000u);
  // Closing the list drops what was read.
  List->Close();
  EXPECT_FALSE(Combo->ListActive());
  EXPECT_TRUE(Combo->Rows().empty());
  EXPECT_EQ(Combo->GetDisplayText(), "");
}

TEST_F(LookupTest, APickIsWrittenIntoTheDataFieldAndTheKeyFollowsIt) {
  auto* Box = Make<TDBLookupListBox>();
  Box->SetDataSource(DataSource);
  Box->SetDataField("CUSTOMER");
  Box->FirstScreen();
  EXPECT_EQ(Box->Rows().size(), 7u);
  EXPECT_TRUE(VarIsNull(Box->GetKeyValue()));
  Box->SetFocus();
  Box->PeerRowSelected(5);
  EXPECT_EQ(Criteria->FieldByName("CUSTOMER")->AsInteger(), 6) << "written at once";
  EXPECT_EQ(Box->GetKeyValue().AsInteger(), 6);
  Criteria->FieldByName("CUSTOMER")->SetAsInteger(2);
  EXPECT_EQ(Box->GetKeyValue().AsInteger(), 2) << "the key follows the field";
  EXPECT_EQ(Box->KeyRow(), 1);
  Criteria->Post();
  // Picking the shown key itself: entering edit mode shows the field again,
  // the key picked is still the one written.
  Box->SetKeyValue(Variant(5));
  Box->SelectKeyValue(Box->GetKeyValue());
  EXPECT_EQ(Criteria->FieldByName("CUSTOMER")->AsInteger(), 5);
  Criteria->Post();
  Box->SetReadOnly(true);
  Box->PeerRowSelected(0);
  EXPECT_EQ(Box->GetKeyValue().AsInteger(), 5) << "a read-only lookup refuses the pick";
  EXPECT_EQ(Criteria->FieldByName("CUSTOMER")->AsInteger(), 5);
}

}  // namespace
}  // namespace fyndra
