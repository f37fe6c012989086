// The CLX edition's data-aware bound controls, headless, over client
// datasets: binding to the model dataset while the model's dataset is open,
// each control's value reaching its item (and the item's reaching the
// control without an echo), the list box's refusal, the check box's rules,
// the lookup controls with uvAuto and uvExit, form files, and freeing in any
// order.
#include <gtest/gtest.h>

#include <string>

#include <fyndra/controls/zvmodelqdbctrls.h>
#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/modeldataset/zvmodeldataset.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/streaming/filer.h>

namespace fyndra {
namespace {

using namespace clx;

// A query form: people (searched by a find model), a country list, the
// seven data-aware bound controls and a plain edit to move the focus to.
struct TChoiceForm {
  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  TClientDataSet* People = Create<TClientDataSet>(Form.get());
  TDataSource* Source = Create<TDataSource>(Form.get());
  TClientDataSet* Countries = Create<TClientDataSet>(Form.get());
  TDataSource* CountrySource = Create<TDataSource>(Form.get());
  TzvDBFindModel* Find = Create<TzvDBFindModel>(Form.get());
  TzvDBModelEdit* Name = Create<TzvDBModelEdit>(Form.get());
  TzvDBModelListBox* Kind = Create<TzvDBModelListBox>(Form.get());
  TzvDBModelComboBox* City = Create<TzvDBModelComboBox>(Form.get());
  TzvDBModelCheckBox* Active = Create<TzvDBModelCheckBox>(Form.get());
  TzvDBModelRadioGroup* Grade = Create<TzvDBModelRadioGroup>(Form.get());
  TzvDBModelLookupListBox* CountryList = Create<TzvDBModelLookupListBox>(Form.get());
  TzvDBModelLookupComboBox* Country = Create<TzvDBModelLookupComboBox>(Form.get());
  TEdit* Other = Create<TEdit>(Form.get());

  explicit TChoiceForm(bool Open = true) {
    Form->SetName("ChoiceForm");
    People->SetName("People");
    Source->SetName("PeopleSource");
    Countries->SetName("Countries");
    CountrySource->SetName("CountrySource");
    Find->SetName("Find");
    Name->SetName("NameEdit");
    Kind->SetName("KindList");
    City->SetName("CityCombo");
    Active->SetName("ActiveCheck");
    Grade->SetName("GradeGroup");
    CountryList->SetName("CountryList");
    Country->SetName("CountryCombo");
    Other->SetName("Other");
    auto* D = People->GetFieldDefs();
    D->Add("ID", ftInteger);
    D->Add("NAME", ftString, 20);
    D->Add("KIND", ftString, 10);
    D->Add("CITY", ftString, 20);
    D->Add("ACTIVE", ftBoolean);
    D->Add("GRADE", ftInteger);
    D->Add("COUNTRY", ftString, 2);
    People->CreateDataSet();
    int Id = 0;
    for (auto [N, K, C, A, G, Co] : {std::tuple{"Anna", "P", "Oslo", true, 1, "NO"},
                                     std::tuple{"Bert", "C", "Roma", false, 2, "IT"},
                                     std::tuple{"Carl", "P", "Bergen", false, 3, "NO"},
                                     std::tuple{"Dora", "C", "Lyon", true, 2, "FR"}})
      People->AppendRecord({Variant(++Id), Variant(N), Variant(K), Variant(C), Variant(A), Variant(G), Variant(Co)});
    People->First();
    auto* L = Countries->GetFieldDefs();
    L->Add("ISO", ftString, 2);
    L->Add("COUNTRY_NAME", ftString, 20);
    Countries->CreateDataSet();
    for (auto [I, N] : {std::pair{"FR", "France"}, std::pair{"IT", "Italy"}, std::pair{"NO", "Norway"}})
      Countries->AppendRecord({Variant(I), Variant(N)});
    Countries->First();
    CountrySource->SetDataSet(Countries);
    if (!Open) People->Close();
    Source->SetDataSet(People);
    Find->SetDataSource(Source);

    Kind->GetItems()->SetText("P\nC\n");
    City->GetItems()->SetText("Bergen\nLyon\nOslo\nRoma\n");
    Grade->GetItems()->SetText("Good\nFair\nPoor\n");
    Grade->GetValues()->SetText("1\n2\n3\n");
    for (auto* L2 : {static_cast<TDBLookupControl*>(CountryList), static_cast<TDBLookupControl*>(Country)}) {
      L2->SetListSource(CountrySource);
      L2->SetKeyField("ISO");
      L2->SetListField("COUNTRY_NAME");
    }
    Bind(Name, "name");
    Bind(Kind, "KIND");
    Bind(City, "CITY");
    Bind(Active, "ACTIVE");
    Bind(Grade, "GRADE");
    Bind(CountryList, "COUNTRY");
    Bind(Country, "COUNTRY");
    for (TControl* C : std::initializer_list<TControl*>{Name, Kind, City, Active, Grade, CountryList, Country, Other})
      C->SetParent(Form.get());
    Form->Show();
  }
  template <class T>
  void Bind(T* Control, const char* ItemName) {
    Control->GetModelSource()->SetBaseModel(Find);
    Control->GetModelSource()->SetItemName(ItemName);
  }
  TzvCompareItem* Item(const char* Name) const { return Find->GetCompareItems()->FindItem(Name); }
  int CurrentId() const { return People->FieldByName("ID")->AsInteger(); }
  // Each control's (data source, data field) pair, in declaration order.
  template <class F>
  void ForEachControl(F&& Fn) {
    Fn(Name->GetDataSource(), Name->GetDataField());
    Fn(Kind->GetDataSource(), Kind->GetDataField());
    Fn(City->GetDataSource(), City->GetDataField());
    Fn(Active->GetDataSource(), Active->GetDataField());
    Fn(Grade->GetDataSource(), Grade->GetDataField());
    Fn(CountryList->GetDataSource(), CountryList->GetDataField());
    Fn(Country->GetDataSource(), Country->GetDataField());
  }
};

TEST(DBModelControlsTest, OpeningTheDatasetBindsEveryControlAndClosingUnbindsIt) {
  TChoiceForm Q(false);
  Q.ForEachControl([](TDataSource* S, const std::string& F) {
    EXPECT_EQ(S, nullptr);
    EXPECT_EQ(F, "");
  });
  Q.Kind->PeerItemSelected(0);  // the model's dataset is closed: nothing reaches an item
  Q.Active->PeerToggled();
  EXPECT_EQ(Q.Find->GetCompareItems()->GetCount(), 0);
  Q.People->Open();
  std::vector<std::string> Fields;
  Q.ForEachControl([&](TDataSource* S, const std::string& F) {
    EXPECT_EQ(S, Q.Find->GetInternalDataSource());
    Fields.push_back(F);
  });
  EXPECT_EQ(Fields, (std::vector<std::string>{"NAME", "KIND", "CITY", "ACTIVE", "GRADE", "COUNTRY", "COUNTRY"}))
      << "bound to the item's own name (the source matched it ignoring case)";
  EXPECT_NE(Q.Name->GetField(), nullptr);
  EXPECT_EQ(Q.Name->GetField()->GetDataSet(), Q.Find->GetModelDataSet());
  for (const char* Item : {"NAME", "KIND", "CITY", "ACTIVE", "GRADE", "COUNTRY"})
    EXPECT_TRUE(Q.Item(Item)->IsEmpty()) << Item << ": binding wrote nothing";
  // The published binding reads empty whatever the control is bound to.
  EXPECT_EQ(GetStrProp(Q.City, "DataSource"), "");
  EXPECT_EQ(GetStrProp(Q.City, "DataField"), "");
  Q.People->Close();
  Q.ForEachControl([](TDataSource* S, const std::string& F) {
    EXPECT_EQ(S, nullptr);
    EXPECT_EQ(F, "");
  });
  // An item without a dataset field leaves its control unbound.
  Q.People->Open();
  Q.City->GetModelSource()->SetItemName("nothing such");
  EXPECT_EQ(Q.City->GetDataSource(), nullptr);
  Q.City->GetModelSource()->SetItemName("city");
  EXPECT_EQ(Q.City->GetDataField(), "CITY");
  Free(Q.Item("CITY"));  // the bound item goes
  EXPECT_EQ(Q.City->GetDataSource(), nullptr);
  EXPECT_EQ(Q.City->GetDataField(), "");
}

TEST(DBModelControlsTest, EditAndComboWriteTheirTextWhileTheUserTypes) {
  TChoiceForm Q;
  Q.Name->SetFocus();
  Q.Name->PeerTextEdited("C", 1);
  EXPECT_EQ(Q.Item("NAME")->GetAsString(), "C");
  EXPECT_EQ(Q.CurrentId(), 3) << "the find model follows the typing";
  Q.City->SetFocus();  // leaving writes the field, which holds the same value
  EXPECT_EQ(Q.Item("NAME")->GetAsString(), "C");
  Q.City->PeerTextEdited("Ly");
  EXPECT_EQ(Q.Item("CITY")->GetAsVariant().VarType(), varString);
  EXPECT_EQ(Q.Item("CITY")->GetAsString(), "Ly");
  Q.City->PeerItemSelected(3);
  EXPECT_EQ(Q.Item("CITY")->GetAsString(), "Roma");
  // An item set from code shows in the controls and is not written back.
  int Changes = 0;
  Q.City->OnChange = TNotifyEvent::FromCallable([&](TObject*) { ++Changes; });
  Q.Item("CITY")->SetAsString("Oslo");
  EXPECT_EQ(Q.City->GetText(), "Oslo");
  EXPECT_EQ(Q.City->GetItemIndex(), 2);
  Q.Item("NAME")->SetAsString("Dora");
  EXPECT_EQ(Q.Name->GetText(), "Dora");
  EXPECT_EQ(Q.CurrentId(), 4);
  // With uvExit nothing is written until the user leaves; then the platform
  // writes the model dataset field, which writes the item.
  Q.City->GetModelSource()->SetUpdateValue(uvExit);
  Q.City->SetFocus();
  Q.City->PeerTextEdited("Bergen");
  EXPECT_EQ(Q.Item("CITY")->GetAsString(), "Oslo");
  Q.Other->SetFocus();
  EXPECT_EQ(Q.Item("CITY")->GetAsString(), "Bergen");
}

TEST(DBModelControlsTest, ListBoxWritesTheSelectedEntryAndClearsARefusedOne) {
  TChoiceForm Q;
  Q.Item("KIND")->SetAsString("X");
  EXPECT_EQ(Q.Kind->GetItemIndex(), -1) << "a text that is not among the entries";
  Q.Kind->SetFocus();
  Q.Kind->PeerItemSelected(1);
  EXPECT_EQ(Q.Item("KIND")->GetAsString(), "C");
  EXPECT_EQ(Q.CurrentId(), 2);
  // An integer item refuses an entry that is no number: with the source asked
  // to report, the click raises and the list shows no selection.
  Q.Kind->GetModelSource()->SetItemName("GRADE");
  Q.Kind->GetModelSource()->SetShowConvertMessageError(true);
  try {
    Q.Kind->PeerItemSelected(0);
    ADD_FAILURE() << "no refusal";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), "'P' is not a valid value for item 'GRADE' ");
  }
  EXPECT_EQ(Q.Kind->GetItemIndex(), -1);
  EXPECT_TRUE(Q.Item("GRADE")->IsEmpty());
  // Without reporting the entry is skipped silently.
  Q.Kind->GetModelSource()->SetShowConvertMessageError(false);
  Q.Kind->PeerItemSelected(1);
  EXPECT_EQ(Q.Kind->GetItemIndex(), 1);
  EXPECT_TRUE(Q.Item("GRADE")->IsEmpty());
}

TEST(DBModelControlsTest, CheckBoxWritesBooleansTextsAndNullWhenGrayed) {
  TChoiceForm Q;
  EXPECT_EQ(Q.Active->GetState(), cbGrayed) << "an empty item is null";
  Q.Active->SetFocus();
  Q.Active->PeerToggled();  // grayed -> unchecked
  EXPECT_EQ(Q.Item("ACTIVE")->GetAsVariant().VarType(), varBoolean);
  EXPECT_FALSE(Q.Item("ACTIVE")->GetAsBoolean());
  EXPECT_EQ(Q.CurrentId(), 2);
  Q.Active->PeerToggled();
  EXPECT_TRUE(Q.Item("ACTIVE")->GetAsBoolean());
  Q.Active->SetAllowGrayed(true);
  Q.Active->PeerToggled();
  EXPECT_EQ(Q.Active->GetState(), cbGrayed);
  EXPECT_TRUE(Q.Item("ACTIVE")->IsEmpty()) << "grayed writes null";
  // On a text item the first alternative is written and any is recognised.
  Q.Active->GetModelSource()->SetItemName("KIND");
  Q.Active->SetValueChecked("Yes;Y");
  Q.Active->SetValueUnchecked("No");
  Q.Active->SetAllowGrayed(false);
  EXPECT_EQ(Q.Active->GetState(), cbUnchecked);
  Q.Active->PeerToggled();
  EXPECT_EQ(Q.Item("KIND")->GetAsString(), "Yes");
  Q.Item("KIND")->SetAsString("y");
  EXPECT_EQ(Q.Active->GetState(), cbChecked) << "the second alternative, ignoring case";
  Q.Item("KIND")->SetAsString("perhaps");
  EXPECT_EQ(Q.Active->GetState(), cbGrayed);
}

TEST(DBModelControlsTest, RadioGroupWritesTheCheckedButtonsValue) {
  TChoiceForm Q;
  EXPECT_EQ(Q.Grade->GetItemIndex(), -1);
  Q.Grade->SetFocus();
  Q.Grade->PeerButtonClicked(2);
  EXPECT_EQ(Q.Item("GRADE")->GetAsInteger(), 3);
  EXPECT_EQ(Q.CurrentId(), 3);
  Q.Grade->SetItemIndex(-1);  // clearing the selection writes nothing
  EXPECT_EQ(Q.Item("GRADE")->GetAsInteger(), 3);
  Q.Item("GRADE")->SetAsInteger(2);
  EXPECT_EQ(Q.Grade->GetItemIndex(), 1);
  Q.Item("GRADE")->SetAsInteger(9);  // no button stands for it
  EXPECT_EQ(Q.Grade->GetItemIndex(), -1);
  EXPECT_EQ(Q.Item("GRADE")->GetAsInteger(), 9) << "not written back";
}

TEST(DBModelControlsTest, LookupPicksReachTheItemAtOnceOrOnLeaving) {
  TChoiceForm Q;
  Q.Country->PeerDropDown();
  ASSERT_EQ(Q.Country->Rows().size(), 3u);
  Q.Country->SetFocus();
  Q.Country->PeerRowSelected(1);
  EXPECT_EQ(Q.Item("COUNTRY")->GetAsString(), "IT") << "uvAuto: at once";
  EXPECT_EQ(Q.Country->GetText(), "Italy");
  EXPECT_EQ(Q.CurrentId(), 2);
  EXPECT_EQ(Q.CountryList->GetKeyValue().AsString(), "IT") << "the other lookup shows the item";
  Q.CountryList->GetModelSource()->SetUpdateValue(uvExit);
  Q.CountryList->SetFocus();
  Q.CountryList->FirstScreen();
  Q.CountryList->PeerRowSelected(0);
  EXPECT_EQ(Q.CountryList->GetKeyValue().AsString(), "FR");
  EXPECT_EQ(Q.Item("COUNTRY")->GetAsString(), "IT") << "uvExit: not yet";
  Q.Other->SetFocus();
  EXPECT_EQ(Q.Item("COUNTRY")->GetAsString(), "FR");
  EXPECT_EQ(Q.CurrentId(), 4);
  EXPECT_EQ(Q.Country->GetDisplayText(), "France");
}

TEST(DBModelControlsTest, ANewDataTypeRebindsWithoutLosingTheValue) {
  TChoiceForm Q;
  Q.City->PeerTextEdited("Roma");
  TField* Before = Q.City->GetField();
  ASSERT_NE(Before, nullptr);
  Q.Item("CITY")->SetDataType(varOleStr, 20);
  EXPECT_EQ(Q.City->GetDataField(), "CITY");
  EXPECT_NE(Q.City->GetField(), nullptr);
  EXPECT_EQ(Q.Item("CITY")->GetAsString(), "Roma") << "letting go of the old field wrote nothing";
}

TEST(DBModelControlsTest, AFormFileBindsTheControlsAsCodeDoes) {
  TChoiceForm Built;
  Built.Country->GetModelSource()->SetUpdateValue(uvExit);
  const std::string Text = WriteComponentToText(Built.Form.get());
  EXPECT_NE(Text.find("ModelSource.ItemName = 'COUNTRY'"), std::string::npos) << Text;
  EXPECT_NE(Text.find("ListSource = CountrySource"), std::string::npos);
  EXPECT_EQ(Text.find("DataSource ="), Text.rfind("DataSource =")) << "only the model's: the binding is never stored";
  EXPECT_EQ(Text.find("DataField ="), std::string::npos);

  TOwned<TComponent> Read(ReadComponentFromText(Text, nullptr));
  auto* Find = dynamic_cast<TzvDBFindModel*>(Read->FindComponent("Find"));
  auto* Country = dynamic_cast<TzvDBModelLookupComboBox*>(Read->FindComponent("CountryCombo"));
  auto* Grade = dynamic_cast<TzvDBModelRadioGroup*>(Read->FindComponent("GradeGroup"));
  ASSERT_TRUE(Find && Country && Grade);
  EXPECT_EQ(Country->GetModelSource()->GetUpdateValue(), uvExit);
  EXPECT_EQ(Country->GetListField(), "COUNTRY_NAME");
  EXPECT_EQ(Grade->GetValues()->GetCount(), 3);
}

TEST(DBModelControlsTest, FreeingControlsModelsSourcesAndDatasetsInAnyOrderLeavesNothingDangling) {
  for (int Order = 0; Order < 5; ++Order) {
    SCOPED_TRACE(Order);
    TChoiceForm Q;
    Q.Country->PeerDropDown();
    TzvCompareItems* Items = Q.Find->GetCompareItems();
    const int Listeners = Items->ListenerCount();
    switch (Order) {
      case 0:
        Free(Q.City);
        Free(Q.Country);
        EXPECT_EQ(Items->ListenerCount(), Listeners - 2);
        break;
      case 1:
        Free(Q.Find);  // its model dataset and data source go with it
        EXPECT_EQ(Q.City->GetDataSource(), nullptr);
        EXPECT_EQ(Q.City->GetModelSource()->GetBaseModel(), nullptr);
        Q.City->PeerTextEdited("still typing");
        Q.Active->PeerToggled();
        Q.Country->PeerRowSelected(0);
        break;
      case 2:
        Free(Q.People);
        EXPECT_EQ(Q.Kind->GetDataSource(), nullptr);
        Q.Kind->PeerItemSelected(0);
        break;
      case 3:
        Free(Q.Countries);
        EXPECT_FALSE(Q.Country->ListActive());
        Q.Country->PeerDropDown();
        EXPECT_TRUE(Q.Country->Rows().empty());
        break;
      case 4:
        Free(Q.Source);
        Free(Q.CountrySource);
        EXPECT_EQ(Q.Country->GetListSource(), nullptr);
        break;
    }
  }
}

}  // namespace
}  // namespace fyndra
