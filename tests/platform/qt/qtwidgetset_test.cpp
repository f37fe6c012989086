// The Qt edition with real widgets on Qt's offscreen platform: keys typed with
// QTest travel from the line edit through the bound edit and its model source
// to the find model and the grid; focus changes run the exit handling; masked
// edits type through their mask; messages and errors appear as message boxes;
// the example form file behaves as the form built in code; a screenshot of it
// is not blank; freeing parts in any order leaves nothing behind.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <fyndra/controls/zvmodelqdbctrls.h>
#include <fyndra/controls/zvmodelqmask.h>
#include <fyndra/controls/zvmodelqstdctrls.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/controls/extctrls.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/dbctrls/dbgrids.h>
#include <fyndra/platform/qt/qtwidgetset.h>
#include <fyndra/platform/streaming/dfmtext.h>
#include <fyndra/platform/streaming/filer.h>

namespace fyndra {
namespace {

using clx::TzvModelEdit;
using clx::TzvModelMaskEdit;

constexpr std::uint64_t Seed = 11;

// Made on first use and removed at exit (the path outlives every static).
const std::string& SampleDb() {
  static const std::string* Path = [] {
    auto* P = new std::string(
        (std::filesystem::temp_directory_path() / ("qt_tests_" + std::to_string(::getpid()) + ".db")).string());
    GenerateSampleDatabase(*P, {.Customers = 3000, .MaxOrdersPerCustomer = 0, .Seed = Seed});
    std::atexit([] { std::remove(SampleDb().c_str()); });
    return P;
  }();
  return *Path;
}

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

// The example form file, pointed at the test database.
TComponent* LoadExampleForm(const char* Name) {
  const char* Source = std::getenv("FYNDRA_SOURCE_DIR");
  TDfmObject Tree = ParseDfmText(ReadFile(std::string(Source ? Source : ".") + "/examples/forms/" + Name));
  std::vector<TDfmObject*> Todo{&Tree};
  while (!Todo.empty()) {
    TDfmObject* O = Todo.back();
    Todo.pop_back();
    for (TDfmProperty& P : O->Properties)
      if (P.Name == "DatabaseName") P.Value.Text = SampleDb();
    for (TDfmObject& C : O->Children) Todo.push_back(&C);
  }
  return ReadComponentFromTree(Tree, nullptr);
}

class QtTest : public ::testing::Test {
 protected:
  QtTest() {
    Application()->OnException = TExceptionEvent::FromCallable(
        [this](TObject*, const std::exception& E) { Errors.push_back(E.what()); });
  }
  ~QtTest() override { Application()->OnException = nullptr; }
  static QLineEdit* LineEdit(TControl* C) { return qobject_cast<QLineEdit*>(TQtWidgetSet::WidgetOf(C)); }
  // Lets Qt deliver what is pending (posted focus moves, paints).
  static void Settle() {
    for (int I = 0; I < 3; ++I) QApplication::processEvents();
  }

  TQtWidgetSet Widgets;
  std::vector<std::string> Errors;
};

// A customers form built in code: find model over the table in name order,
// two bound edits and a grid.
struct TCustomersForm {
  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  TDatabase* Db = Create<TDatabase>(Form.get());
  TTable* Customers = Create<TTable>(Form.get());
  TDataSource* Source = Create<TDataSource>(Form.get());
  TzvDBFindModel* Find = Create<TzvDBFindModel>(Form.get());
  TzvModelEdit* NameEdit = Create<TzvModelEdit>(Form.get());
  TzvModelEdit* IdEdit = Create<TzvModelEdit>(Form.get());
  TDBGrid* Grid = Create<TDBGrid>(Form.get());

  TCustomersForm() {
    Form->SetClientWidth(600);
    Form->SetClientHeight(400);
    Db->SetDatabaseName(SampleDb());
    Customers->SetDatabase(Db);
    Customers->SetTableName("customers");
    Customers->SetIndexName("customers_name");
    Source->SetDataSet(Customers);
    Find->SetDataSource(Source);
    NameEdit->SetName("NameEdit");
    IdEdit->SetName("IdEdit");
    for (TzvModelEdit* E : {NameEdit, IdEdit}) {
      E->SetParent(Form.get());
      E->SetBounds(10, E == NameEdit ? 10 : 40, 200, 24);
      E->GetModelSource()->SetBaseModel(Find);
    }
    NameEdit->GetModelSource()->SetItemName("name");
    IdEdit->GetModelSource()->SetItemName("id");
    Grid->SetParent(Form.get());
    Grid->SetBounds(10, 80, 580, 300);
    Grid->SetDataSource(Source);
    Customers->Open();
  }
  std::string CurrentName() const { return Customers->FieldByName("name")->AsString(); }
};

TEST_F(QtTest, ATypedCharacterTravelsFromTheKeyToTheDatasetAndTheGrid) {
  TCustomersForm F;
  std::vector<std::string> SeenByOnChange;
  F.NameEdit->OnChange = TNotifyEvent::FromCallable([&](TObject*) {
    SeenByOnChange.push_back(F.Find->GetCompareItems()->FindItem("name")->GetAsString());
  });
  F.Form->Show();
  Settle();
  QLineEdit* Line = LineEdit(F.NameEdit);
  ASSERT_NE(Line, nullptr);
  EXPECT_TRUE(Line->hasFocus()) << "the first tab stop has the focus";
  const std::string Target = SampleCustomerName(Seed, 1700);
  const std::string Typed = Target.substr(0, 4);
  QTest::keyClicks(Line, QString::fromStdString(Typed));
  EXPECT_EQ(F.NameEdit->GetText(), Typed);
  EXPECT_EQ(Line->text().toStdString(), Typed);
  ASSERT_EQ(SeenByOnChange.size(), std::size_t(QString::fromStdString(Typed).size())) << "one change per key";
  EXPECT_EQ(QString::fromStdString(SeenByOnChange.back()), QString::fromStdString(Typed).chopped(1))
      << "OnChange runs before the item is written";
  EXPECT_EQ(F.CurrentName().substr(0, 4), Typed);
  // The grid shows the record found as its current row.
  ASSERT_GE(F.Grid->CurrentRow(), 0);
  auto* View = qobject_cast<QTableView*>(TQtWidgetSet::WidgetOf(F.Grid));
  ASSERT_NE(View, nullptr);
  EXPECT_EQ(View->currentIndex().row(), F.Grid->CurrentRow());
  const QString Shown = View->model()->index(F.Grid->CurrentRow(), 0).data().toString();
  EXPECT_EQ(Shown.toStdString(), std::to_string(F.Customers->FieldByName("id")->AsInteger()));
  EXPECT_TRUE(Errors.empty());
}

TEST_F(QtTest, LeavingWithAValueThatDoesNotConvertShowsTheRefusalAndKeepsTheFocus) {
  TCustomersForm F;
  std::vector<std::string> Log;
  F.IdEdit->OnExit = TNotifyEvent::FromCallable([&](TObject*) { Log.push_back("OnExit"); });
  F.Form->Show();
  Settle();
  QLineEdit* Id = LineEdit(F.IdEdit);
  Id->setFocus();
  Settle();
  ASSERT_TRUE(F.IdEdit->Focused());
  QTest::keyClicks(Id, "abc");
  EXPECT_TRUE(Errors.empty()) << "skipped silently while typing";
  QTest::keyClick(Id, Qt::Key_Tab);
  Settle();
  EXPECT_EQ(Log, (std::vector<std::string>{"OnExit"}));
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "'abc' is not a valid value for item 'id' ");
  EXPECT_TRUE(F.IdEdit->Focused());
  EXPECT_TRUE(Id->hasFocus()) << "the native focus came back";
  // Corrected, the edit may be left, and shows the item's own text form.
  Id->selectAll();
  QTest::keyClicks(Id, "0042");
  QTest::keyClick(Id, Qt::Key_Tab);
  Settle();
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_FALSE(F.IdEdit->Focused());
  EXPECT_EQ(Id->text().toStdString(), "42");
  EXPECT_EQ(F.Customers->FieldByName("id")->AsInteger(), 42);
}

TEST_F(QtTest, AnItemSetFromCodeShowsInTheLineEdit) {
  TCustomersForm F;
  F.Form->Show();
  int Changes = 0;
  F.NameEdit->OnChange = TNotifyEvent::FromCallable([&](TObject*) { ++Changes; });
  F.Find->GetCompareItems()->FindItem("name")->SetAsString("Zz");
  EXPECT_EQ(LineEdit(F.NameEdit)->text().toStdString(), "Zz");
  EXPECT_EQ(Changes, 1);
}

TEST_F(QtTest, AMaskedEditTypesThroughItsOwnMask) {
  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  auto* Edit = Create<TMaskEdit>(Form.get());
  Edit->SetParent(Form.get());
  Edit->SetBounds(0, 0, 200, 24);
  Edit->SetEditMask("000-0000;0;_");
  Form->Show();
  Settle();
  QLineEdit* Line = LineEdit(Edit);
  EXPECT_TRUE(Line->inputMask().isEmpty()) << "never Qt's own mask";
  EXPECT_EQ(Line->text().toStdString(), "___-____");
  QTest::keyClicks(Line, "55x51234");
  EXPECT_EQ(Line->text().toStdString(), "555-1234");
  EXPECT_EQ(Edit->GetText(), "5551234");
  QTest::keyClick(Line, Qt::Key_Backspace);
  EXPECT_EQ(Line->text().toStdString(), "555-123_");
  EXPECT_EQ(Line->cursorPosition(), 7);
  QTest::keyClick(Line, Qt::Key_Home);
  QTest::keyClick(Line, Qt::Key_Delete);
  EXPECT_EQ(Edit->GetEditText(), "_55-123_");
}

TEST_F(QtTest, MessagesAndErrorsAppearAsMessageBoxes) {
  std::vector<std::string> Boxes;
  auto CloseBox = [&] {
    if (auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      Boxes.push_back(Box->text().toStdString());
      Box->accept();
    }
  };
  QTimer::singleShot(0, CloseBox);
  ShowMessage("Record not found");
  EXPECT_EQ(Boxes, (std::vector<std::string>{"Record not found"}));
  // An error handled without OnException is shown once the event is done.
  Application()->OnException = nullptr;
  try {
    throw Exception("Something went wrong");
  } catch (...) {
    Application()->HandleException(nullptr);
  }
  QTimer Closer;
  QObject::connect(&Closer, &QTimer::timeout, CloseBox);
  Closer.start(5);
  for (int I = 0; I < 50 && Boxes.size() < 2; ++I) QTest::qWait(5);
  EXPECT_EQ(Boxes.size(), 2u);
  if (Boxes.size() == 2) {
    EXPECT_EQ(Boxes[1], "Something went wrong");
  }
}

TEST_F(QtTest, TheExampleFormFileBehavesAsTheFormBuiltInCode) {
  TOwned<TComponent> Root(LoadExampleForm("customers-window.dfm"));
  auto* Form = dynamic_cast<TForm*>(Root.get());
  ASSERT_NE(Form, nullptr);
  auto* Name = dynamic_cast<TzvModelEdit*>(Form->FindComponent("NameEdit"));
  auto* Code = dynamic_cast<TzvModelMaskEdit*>(Form->FindComponent("CodeEdit"));
  auto* Grid = dynamic_cast<TDBGrid*>(Form->FindComponent("Grid"));
  auto* Customers = dynamic_cast<TTable*>(Form->FindComponent("Customers"));
  ASSERT_TRUE(Name && Code && Grid && Customers);
  Form->Show();
  Settle();
  EXPECT_EQ(Form->GetActiveControl(), Name);
  EXPECT_EQ(Grid->GetWidth(), Form->GetClientWidth()) << "aligned to the client area";
  const std::string Target = SampleCustomerName(Seed, 2222);
  QTest::keyClicks(LineEdit(Name), QString::fromStdString(Target.substr(0, 5)));
  EXPECT_EQ(Customers->FieldByName("name")->AsString().substr(0, 5), Target.substr(0, 5));
  // The code edit types through its mask; the item gets the typed prefix.
  LineEdit(Code)->setFocus();
  Settle();
  QTest::keyClicks(LineEdit(Code), "c00012");
  EXPECT_EQ(Code->GetEditText(), "C00012__");
  EXPECT_EQ(Customers->FieldByName("code")->AsString().substr(0, 6), "C00012");
  EXPECT_TRUE(Errors.empty()) << (Errors.empty() ? "" : Errors[0]);
}

// The filter road: a character typed into a bound edit of a filter window
// restricts the grid at once by rewriting the query's condition, and deleting
// it widens the grid again.
TEST_F(QtTest, ATypedCharacterFiltersTheGridOfAFilterWindow) {
  for (const char* File : {"customers-filter-window.dfm"}) {
    SCOPED_TRACE(File);
    TOwned<TComponent> Root(LoadExampleForm(File));
    auto* Form = dynamic_cast<TForm*>(Root.get());
    ASSERT_NE(Form, nullptr);
    auto* Name = dynamic_cast<TzvModelEdit*>(Form->FindComponent("NameEdit"));
    auto* Grid = dynamic_cast<TDBGrid*>(Form->FindComponent("Grid"));
    auto* Query = dynamic_cast<TQuery*>(Form->FindComponent("Customers"));
    ASSERT_TRUE(Name && Grid && Query);
    Form->Show();
    Settle();
    const int Unfiltered = Grid->RowCount();
    auto* View = qobject_cast<QTableView*>(TQtWidgetSet::WidgetOf(Grid));
    ASSERT_NE(View, nullptr);
    const QString Target = QString::fromStdString(SampleCustomerName(Seed, 1234));
    // Key by key, as the keyboard gives text (names hold letters beyond ASCII).
    auto Type = [&](const QString& Text) {
      for (QChar C : Text) {
        QKeyEvent Press(QEvent::KeyPress, 0, Qt::NoModifier, QString(C));
        QApplication::sendEvent(LineEdit(Name), &Press);
      }
    };
    auto ShownNames = [&] {
      std::vector<QString> Names;
      for (int R = 0; R < View->model()->rowCount(); ++R) Names.push_back(View->model()->index(R, 1).data().toString());
      return Names;
    };
    auto AllStartWith = [&](const QString& Prefix) {
      const std::vector<QString> Names = ShownNames();
      for (const QString& N : Names)
        if (!N.startsWith(Prefix, Qt::CaseInsensitive)) return N.toStdString();
      return Names.empty() ? std::string("<no row>") : std::string();
    };
    Type(Target.left(2));
    EXPECT_EQ(LineEdit(Name)->text(), Target.left(2));
    EXPECT_EQ(AllStartWith(Target.left(2)), "");
    EXPECT_EQ(View->model()->rowCount(), Grid->RowCount());
    EXPECT_NE(Query->GetSQL()->GetText().find("WHERE"), std::string::npos) << "the condition rewritten";
    // Typed on to the whole name: the customer is among the rows, all of them
    // in the window.
    Type(Target.mid(2));
    EXPECT_EQ(LineEdit(Name)->text(), Target);
    EXPECT_EQ(AllStartWith(Target), "");
    const std::vector<QString> Names = ShownNames();
    EXPECT_NE(std::find(Names.begin(), Names.end(), Target), Names.end());
    EXPECT_TRUE(Grid->AtStart() && Grid->AtEnd());
    // Deleting every character brings every record back.
    for (qsizetype I = 0; I < Target.size(); ++I) QTest::keyClick(LineEdit(Name), Qt::Key_Backspace);
    EXPECT_EQ(Name->GetText(), "");
    EXPECT_EQ(Grid->RowCount(), Unfiltered);
    EXPECT_TRUE(Errors.empty()) << (Errors.empty() ? "" : Errors[0]);
  }
}

TEST_F(QtTest, TheExampleFormsChoiceControlsDriveTheFind) {
  TOwned<TComponent> Root(LoadExampleForm("customers-window.dfm"));
  auto* Form = dynamic_cast<TForm*>(Root.get());
  ASSERT_NE(Form, nullptr);
  auto* City = dynamic_cast<clx::TzvDBModelComboBox*>(Form->FindComponent("CityCombo"));
  auto* Active = dynamic_cast<clx::TzvDBModelCheckBox*>(Form->FindComponent("ActiveCheck"));
  auto* Country = dynamic_cast<clx::TzvDBModelLookupComboBox*>(Form->FindComponent("CountryCombo"));
  auto* Region = dynamic_cast<clx::TzvDBModelRadioGroup*>(Form->FindComponent("RegionGroup"));
  auto* Customers = dynamic_cast<TTable*>(Form->FindComponent("Customers"));
  ASSERT_TRUE(City && Active && Country && Region && Customers);
  Form->Show();
  Settle();
  EXPECT_NE(City->GetDataSource(), nullptr) << "bound once the customers are open";
  auto* CityBox = qobject_cast<QComboBox*>(TQtWidgetSet::WidgetOf(City));
  ASSERT_NE(CityBox, nullptr);
  CityBox->setFocus();
  QTest::keyClicks(CityBox->lineEdit(), "Wi");
  EXPECT_EQ(Customers->FieldByName("city")->AsString(), "Wien");
  auto* Check = qobject_cast<QCheckBox*>(TQtWidgetSet::WidgetOf(Active));
  ASSERT_NE(Check, nullptr);
  QTest::mouseClick(Check, Qt::LeftButton, {}, QPoint(8, Check->height() / 2));  // grayed -> unchecked
  EXPECT_EQ(Active->GetState(), cbUnchecked);
  EXPECT_FALSE(Customers->FieldByName("active")->AsBoolean());
  EXPECT_EQ(Customers->FieldByName("city")->AsString(), "Wien");
  // Picking a country in the radio group shows in the lookup combo too.
  auto* Group = qobject_cast<QGroupBox*>(TQtWidgetSet::WidgetOf(Region));
  ASSERT_NE(Group, nullptr);
  CityBox->lineEdit()->selectAll();
  QTest::keyClick(CityBox->lineEdit(), Qt::Key_Backspace);  // the city criterion is cleared
  QRadioButton* Poland = Group->findChildren<QRadioButton*>().value(2);
  ASSERT_NE(Poland, nullptr);
  QTest::mouseClick(Poland, Qt::LeftButton, {}, QPoint(8, Poland->height() / 2));
  Settle();
  EXPECT_EQ(Customers->FieldByName("country")->AsString(), "PL");
  EXPECT_EQ(Country->GetKeyValue().AsString(), "PL");
  EXPECT_EQ(Country->GetDisplayText(), "Poland");
  EXPECT_TRUE(Errors.empty()) << (Errors.empty() ? "" : Errors[0]);
}

TEST_F(QtTest, AScreenshotOfTheExampleFormShowsItsEditsAndGrid) {
  TOwned<TComponent> Root(LoadExampleForm("customers-window.dfm"));
  auto* Form = dynamic_cast<TForm*>(Root.get());
  Form->Show();
  Settle();
  const QImage Image = TQtWidgetSet::WidgetOf(Form)->grab().toImage();
  ASSERT_FALSE(Image.isNull());
  const QColor Background = Image.pixelColor(Form->GetClientWidth() - 4, 30);  // the criteria panel
  auto DiffersInside = [&](TControl* C) {
    int Differing = 0;
    QPoint Origin = TQtWidgetSet::WidgetOf(C)->mapTo(TQtWidgetSet::WidgetOf(Form), QPoint(0, 0));
    for (int Y = 2; Y < C->GetHeight() - 2; Y += 3)
      for (int X = 2; X < C->GetWidth() - 2; X += 3)
        if (Image.pixelColor(Origin + QPoint(X, Y)) != Background) ++Differing;
    return Differing;
  };
  EXPECT_GT(DiffersInside(dynamic_cast<TControl*>(Form->FindComponent("NameEdit"))), 10);
  EXPECT_GT(DiffersInside(dynamic_cast<TControl*>(Form->FindComponent("Grid"))), 100);
}

TEST_F(QtTest, FreeingDatasetModelAndControlsInAnyOrderLeavesNothingBehind) {
  for (int Order = 0; Order < 3; ++Order) {
    SCOPED_TRACE(Order);
    TCustomersForm F;
    F.Form->Show();
    Settle();
    QTest::keyClicks(LineEdit(F.NameEdit), "An");
    switch (Order) {
      case 0:
        Free(F.Customers);
        QTest::keyClicks(LineEdit(F.NameEdit), "n");
        Free(F.Find);
        break;
      case 1:
        Free(F.Find);
        Free(F.Grid);
        QTest::keyClicks(LineEdit(F.NameEdit), "n");
        break;
      case 2:
        Free(F.NameEdit);
        Free(F.Source);
        break;
    }
    Settle();
  }
  EXPECT_TRUE(Errors.empty()) << (Errors.empty() ? "" : Errors[0]);
}

}  // namespace
}  // namespace fyndra
