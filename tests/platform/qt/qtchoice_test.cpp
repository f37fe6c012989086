// The choice controls with real Qt widgets on the offscreen platform: mouse
// clicks and keys given with QTest reach the data-aware bound controls, their
// items and the find model; a refused pick shows the control's own state
// again; the lookup combo reads its first screen as it drops down.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <fyndra/controls/zvmodelqdbctrls.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/qt/qtwidgetset.h>

namespace fyndra {
namespace {

using namespace clx;

const std::string& ChoiceDb() {
  static const std::string* Path = [] {
    auto* P = new std::string(
        (std::filesystem::temp_directory_path() / ("qtchoice_tests_" + std::to_string(::getpid()) + ".db")).string());
    GenerateSampleDatabase(*P, {.Customers = 2000, .MaxOrdersPerCustomer = 0, .Seed = 5});
    std::atexit([] { std::remove(ChoiceDb().c_str()); });
    return P;
  }();
  return *Path;
}

class QtChoiceTest : public ::testing::Test {
 protected:
  QtChoiceTest() {
    Application()->OnException = TExceptionEvent::FromCallable(
        [this](TObject*, const std::exception& E) { Errors.push_back(E.what()); });
    Form->SetClientWidth(500);
    Form->SetClientHeight(420);
    Db->SetDatabaseName(ChoiceDb());
    for (TTable* T : {Customers, Countries}) T->SetDatabase(Db);
    Customers->SetTableName("customers");
    Countries->SetTableName("countries");
    Countries->SetIndexName("");
    Source->SetDataSet(Customers);
    CountrySource->SetDataSet(Countries);
    Find->SetDataSource(Source);
    City->GetItems()->SetText("Berlin\nOslo\nParis\nWien\n");
    City->SetBounds(10, 10, 200, 26);
    Active->SetCaption("Active");
    Active->SetBounds(10, 44, 200, 24);
    Region->SetCaption("Country");
    Region->GetItems()->SetText("Germany\nPoland\nFrance\n");
    Region->GetValues()->SetText("DE\nPL\nFR\n");
    Region->SetBounds(10, 76, 200, 110);
    Kind->GetItems()->SetText("Oslo\nParis\n");
    Kind->SetBounds(220, 10, 200, 80);
    Country->SetListSource(CountrySource);
    Country->SetKeyField("iso");
    Country->SetListField("country_name");
    Country->SetDropDownRows(4);
    Country->SetBounds(10, 200, 200, 26);
    Other->SetBounds(10, 240, 200, 24);
    auto Bind = [&](auto* Control, const char* Item) {
      Control->SetParent(Form.get());
      Control->GetModelSource()->SetBaseModel(Find);
      Control->GetModelSource()->SetItemName(Item);
    };
    Bind(City, "city");
    Bind(Active, "active");
    Bind(Region, "country");
    Bind(Kind, "city");
    Bind(Country, "country");
    Other->SetParent(Form.get());
    Countries->Open();
    Customers->Open();
    Form->Show();
    Settle();
  }
  ~QtChoiceTest() override { Application()->OnException = nullptr; }
  static void Settle() {
    for (int I = 0; I < 3; ++I) QApplication::processEvents();
  }
  template <class T>
  static T* Widget(TControl* C) {
    return qobject_cast<T*>(TQtWidgetSet::WidgetOf(C));
  }
  TzvCompareItem* Item(const char* Name) const { return Find->GetCompareItems()->FindItem(Name); }
  std::string Current(const char* Field) const { return Customers->FieldByName(Field)->AsString(); }

  TQtWidgetSet Widgets;
  std::vector<std::string> Errors;
  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  TDatabase* Db = Create<TDatabase>(Form.get());
  TTable* Customers = Create<TTable>(Form.get());
  TTable* Countries = Create<TTable>(Form.get());
  TDataSource* Source = Create<TDataSource>(Form.get());
  TDataSource* CountrySource = Create<TDataSource>(Form.get());
  TzvDBFindModel* Find = Create<TzvDBFindModel>(Form.get());
  TzvDBModelComboBox* City = Create<TzvDBModelComboBox>(Form.get());
  TzvDBModelCheckBox* Active = Create<TzvDBModelCheckBox>(Form.get());
  TzvDBModelRadioGroup* Region = Create<TzvDBModelRadioGroup>(Form.get());
  TzvDBModelListBox* Kind = Create<TzvDBModelListBox>(Form.get());
  TzvDBModelLookupComboBox* Country = Create<TzvDBModelLookupComboBox>(Form.get());
  TEdit* Other = Create<TEdit>(Form.get());
};

TEST_F(QtChoiceTest, ComboTypedOrPickedDrivesTheFind) {
  auto* Box = Widget<QComboBox>(City);
  ASSERT_NE(Box, nullptr);
  ASSERT_TRUE(Box->isEditable());
  EXPECT_EQ(Box->count(), 4);
  Box->setFocus();
  Settle();
  QTest::keyClicks(Box->lineEdit(), "Wi");
  EXPECT_EQ(Item("city")->GetAsString(), "Wi");
  EXPECT_EQ(Current("city"), "Wien") << "the find model moved to the first match";
  Box->lineEdit()->clear();
  QTest::keyClicks(Box->lineEdit(), "Osl");
  EXPECT_EQ(Current("city"), "Oslo");
  // A pick from the list (keys on the closed combo pick the next entry).
  Box->setCurrentIndex(-1);
  QTest::keyClick(Box, Qt::Key_Down);
  EXPECT_EQ(City->GetText(), Box->currentText().toStdString());
  EXPECT_EQ(Item("city")->GetAsString(), City->GetText());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(QtChoiceTest, CheckBoxAndRadioButtonsAnswerClicks) {
  auto* Check = Widget<QCheckBox>(Active);
  ASSERT_NE(Check, nullptr);
  EXPECT_EQ(Check->checkState(), Qt::PartiallyChecked) << "an empty item shows grayed";
  // A check box answers clicks on its box and caption, not on the empty rest.
  const QPoint OnBox(8, Check->height() / 2);
  QTest::mouseClick(Check, Qt::LeftButton, {}, OnBox);
  Settle();
  EXPECT_EQ(Active->GetState(), cbUnchecked);
  EXPECT_EQ(Check->checkState(), Qt::Unchecked);
  EXPECT_FALSE(Item("active")->GetAsBoolean());
  EXPECT_FALSE(Customers->FieldByName("active")->AsBoolean());
  QTest::mouseClick(Check, Qt::LeftButton, {}, OnBox);
  EXPECT_TRUE(Item("active")->GetAsBoolean());
  EXPECT_TRUE(Customers->FieldByName("active")->AsBoolean());

  auto* Group = Widget<QGroupBox>(Region);
  ASSERT_NE(Group, nullptr);
  const QList<QRadioButton*> Buttons = Group->findChildren<QRadioButton*>();
  ASSERT_EQ(Buttons.size(), 3);
  QRadioButton* Poland = nullptr;
  for (QRadioButton* B : Buttons)
    if (B->text() == "Poland") Poland = B;
  ASSERT_NE(Poland, nullptr);
  QTest::mouseClick(Poland, Qt::LeftButton, {}, QPoint(8, Poland->height() / 2));
  Settle();
  EXPECT_EQ(Region->GetItemIndex(), 1);
  EXPECT_EQ(Item("country")->GetAsString(), "PL");
  EXPECT_EQ(Current("country"), "PL");
  // Another control of the same item shows it: the lookup combo's text.
  EXPECT_EQ(Country->GetKeyValue().AsString(), "PL");
  EXPECT_EQ(Widget<QComboBox>(Country)->placeholderText().toStdString(), Country->GetDisplayText());
  EXPECT_FALSE(Country->GetDisplayText().empty());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(QtChoiceTest, ARefusedListPickIsReportedAndLeavesNoSelection) {
  auto* List = Widget<QListWidget>(Kind);
  ASSERT_NE(List, nullptr);
  QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, List->visualItemRect(List->item(1)).center());
  Settle();
  EXPECT_EQ(Item("city")->GetAsString(), "Paris");
  EXPECT_EQ(Current("city"), "Paris");
  // Bound to an integer item that the entries cannot be, and asked to report.
  Kind->GetModelSource()->SetItemName("id");
  Kind->GetModelSource()->SetShowConvertMessageError(true);
  Settle();
  QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, List->visualItemRect(List->item(0)).center());
  Settle();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "'Oslo' is not a valid value for item 'id' ");
  EXPECT_EQ(Kind->GetItemIndex(), -1);
  EXPECT_EQ(List->currentRow(), -1) << "the widget shows the control's (empty) selection";
}

TEST_F(QtChoiceTest, LookupComboReadsItsFirstScreenWhenItDropsDown) {
  auto* Box = Widget<QComboBox>(Country);
  ASSERT_NE(Box, nullptr);
  EXPECT_TRUE(Country->Rows().empty());
  Box->setFocus();
  Box->showPopup();
  Settle();
  EXPECT_GE(Country->Rows().size(), 4u) << "the first screen";
  EXPECT_FALSE(Country->AllRowsRead()) << "not the whole list";
  EXPECT_EQ(Box->count(), static_cast<int>(Country->Rows().size()));
  Box->hidePopup();
  Settle();
  QTest::keyClick(Box, Qt::Key_Down);
  Settle();
  ASSERT_GE(Country->KeyRow(), 0);
  const std::string Picked = Country->Rows()[std::size_t(Country->KeyRow())].Key.AsString();
  EXPECT_EQ(Item("country")->GetAsString(), Picked) << "uvAuto: the pick reaches the item at once";
  EXPECT_EQ(Box->currentText().toStdString(), Country->GetDisplayText());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(QtChoiceTest, LookupListShowsItsFirstScreenAndAClickPicksAKey) {
  auto* Box = Create<TzvDBModelLookupListBox>(Form.get());
  Box->SetListSource(CountrySource);
  Box->SetKeyField("iso");
  Box->SetListField("country_name");
  Box->SetRowCount(5);
  Box->SetBounds(220, 100, 200, 34);  // room for fewer rows than a screen
  Box->SetParent(Form.get());
  Box->GetModelSource()->SetBaseModel(Find);
  Box->GetModelSource()->SetItemName("country");
  Settle();
  auto* View = Widget<QListView>(Box);
  ASSERT_NE(View, nullptr);
  EXPECT_EQ(Box->Rows().size(), 5u) << "one screen, read as the list was shown";
  EXPECT_EQ(View->model()->rowCount(), 5);
  const QModelIndex Third = View->model()->index(2, 0);
  QTest::mouseClick(View->viewport(), Qt::LeftButton, {}, View->visualRect(Third).center());
  Settle();
  const std::string Key = Box->Rows()[2].Key.AsString();
  EXPECT_EQ(Item("country")->GetAsString(), Key);
  EXPECT_EQ(Box->KeyRow(), 2);
  EXPECT_EQ(View->currentIndex().row(), 2);
  EXPECT_EQ(Country->GetKeyValue().AsString(), Key) << "the lookup combo shows the same item";
  EXPECT_TRUE(Errors.empty());
}

TEST_F(QtChoiceTest, FreeingControlsAndDatasetsInAnyOrderWithWidgetsShownLeavesNothingBehind) {
  Widget<QComboBox>(Country)->showPopup();
  Settle();
  Widget<QComboBox>(Country)->hidePopup();
  Free(Countries);
  Settle();
  EXPECT_EQ(Widget<QComboBox>(Country)->count(), 0);
  Free(Find);
  Free(Region);
  Free(Customers);
  Settle();
  QTest::mouseClick(Widget<QCheckBox>(Active), Qt::LeftButton, {}, QPoint(8, 12));
  Settle();
  EXPECT_TRUE(Errors.empty());
}

}  // namespace
}  // namespace fyndra
