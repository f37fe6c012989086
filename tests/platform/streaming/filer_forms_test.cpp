// Forms as an IDE saves them: inherited forms over three levels, frames,
// order indexes, Unicode names, legacy code pages, and re-saving an
// unchanged form byte for byte.
#include <fyndra/platform/streaming/filer.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

namespace fyndra {
namespace {

// ---------------------------------------------------------------------------
// Components shaped like the controls of real forms.

std::vector<std::string>& Loads() {
  static std::vector<std::string> L;
  return L;
}

int& Live() {
  static int N = 0;
  return N;
}

enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
FYNDRA_ENUM_NAMES(TAlign, alNone, alTop, alBottom, alLeft, alRight, alClient)
enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline };
FYNDRA_ENUM_NAMES(TFontStyle, fsBold, fsItalic, fsUnderline)
using TFontStyles = TSet<TFontStyle>;

// Holds a reference and lets go of it when the target goes.
class TLinked : public TComponent {
  FYNDRA_CLASS(TLinked, TComponent)
 public:
  ~TLinked() override { --Live(); }
  TComponent* GetLink() const { return Link_; }
  void SetLink(TComponent* Value) {
    if (Link_) Link_->RemoveFreeNotification(this);
    Link_ = Value;
    if (Link_) Link_->FreeNotification(this);
  }

 protected:
  explicit TLinked(TComponent* Owner) : TComponent(Owner) { ++Live(); }
  void Notification(TComponent* C, TOperation Op) override {
    inherited::Notification(C, Op);
    if (Op == opRemove && C == Link_) Link_ = nullptr;
  }
  void Loaded() override {
    Loads().push_back(GetName());
    inherited::Loaded();
  }

 private:
  TComponent* Link_ = nullptr;
};
FYNDRA_IMPLEMENT_CLASS(TLinked)

class TControl : public TLinked {
  FYNDRA_CLASS(TControl, TLinked)
 public:
  std::int32_t Left = 0, Top = 0, Width = 0, Height = 0, TabOrder = -1;
  TAlign Align = alNone;
  std::string Caption;
  TNotifyEvent OnClick;

 protected:
  explicit TControl(TComponent* Owner) : TLinked(Owner) {}
};
FYNDRA_PUBLISHED(TControl, P) {
  P.Property("Left", &TControl::Left);
  P.Property("Top", &TControl::Top);
  P.Property("Width", &TControl::Width);
  P.Property("Height", &TControl::Height);
  P.Property("Align", &TControl::Align).Default(alNone);
  P.Property("Caption", &TControl::Caption);
  P.Property("TabOrder", &TControl::TabOrder).Default(-1);
  P.Property("OnClick", &TControl::OnClick);
}

#define FYNDRA_TEST_CONTROL(Cls)                              \
  class Cls : public TControl {                               \
    FYNDRA_CLASS(Cls, TControl)                               \
   protected:                                                 \
    explicit Cls(TComponent* Owner) : TControl(Owner) {}      \
  };                                                          \
  FYNDRA_IMPLEMENT_CLASS(Cls)                                 \
  FYNDRA_REGISTER_CLASS(Cls);

FYNDRA_TEST_CONTROL(TPanel)
FYNDRA_TEST_CONTROL(TLabel)

class TButton : public TControl {
  FYNDRA_CLASS(TButton, TControl)
 public:
  bool Default = false;

 protected:
  explicit TButton(TComponent* Owner) : TControl(Owner) {}
};
FYNDRA_PUBLISHED(TButton, P) { P.Property("Default", &TButton::Default).Default(false); }
FYNDRA_REGISTER_CLASS(TButton);

// FocusControl, DataSource: references.
class TEdit : public TControl {
  FYNDRA_CLASS(TEdit, TControl)
 public:
  std::string Text;

 protected:
  explicit TEdit(TComponent* Owner) : TControl(Owner) {}
};
FYNDRA_PUBLISHED(TEdit, P) {
  P.Property("Text", &TEdit::Text);
  P.Property("DataSource", &TEdit::GetLink, &TEdit::SetLink);
}
FYNDRA_REGISTER_CLASS(TEdit);

class TFocusLabel : public TControl {
  FYNDRA_CLASS(TFocusLabel, TControl)
 protected:
  explicit TFocusLabel(TComponent* Owner) : TControl(Owner) {}
};
FYNDRA_PUBLISHED(TFocusLabel, P) { P.Property("FocusControl", &TFocusLabel::GetLink, &TFocusLabel::SetLink); }
FYNDRA_REGISTER_CLASS(TFocusLabel);

class TMemo : public TControl {
  FYNDRA_CLASS(TMemo, TControl)
 public:
  void AfterConstruction() override {
    inherited::AfterConstruction();
    Lines_ = CreateOwned<TStringList>();
  }
  TStringList* GetLines() const { return Lines_.get(); }

 protected:
  explicit TMemo(TComponent* Owner) : TControl(Owner) {}

 private:
  TOwned<TStringList> Lines_;
};
FYNDRA_PUBLISHED(TMemo, P) { P.ReadOnlyProperty("Lines", &TMemo::GetLines); }
FYNDRA_REGISTER_CLASS(TMemo);

class TChartAxis : public TPersistent {
  FYNDRA_CLASS(TChartAxis, TPersistent)
 public:
  double Maximum = 0, Minimum = 0, Increment = 0;

 protected:
  TChartAxis() = default;
};
FYNDRA_PUBLISHED(TChartAxis, P) {
  P.Property("Maximum", &TChartAxis::Maximum);
  P.Property("Minimum", &TChartAxis::Minimum);
  P.Property("Increment", &TChartAxis::Increment);
}

class TChart : public TControl {
  FYNDRA_CLASS(TChart, TControl)
 public:
  void AfterConstruction() override {
    inherited::AfterConstruction();
    LeftAxis_ = CreateOwned<TChartAxis>();
    BottomAxis_ = CreateOwned<TChartAxis>();
  }
  TChartAxis* GetLeftAxis() const { return LeftAxis_.get(); }
  TChartAxis* GetBottomAxis() const { return BottomAxis_.get(); }

 protected:
  explicit TChart(TComponent* Owner) : TControl(Owner) {}

 private:
  TOwned<TChartAxis> LeftAxis_, BottomAxis_;
};
FYNDRA_PUBLISHED(TChart, P) {
  P.ReadOnlyProperty("LeftAxis", &TChart::GetLeftAxis);
  P.ReadOnlyProperty("BottomAxis", &TChart::GetBottomAxis);
}
FYNDRA_REGISTER_CLASS(TChart);

// Picture.Data: binary data of its own.
class TPicture : public TPersistent {
  FYNDRA_CLASS(TPicture, TPersistent)
 public:
  std::vector<std::uint8_t> Data;
  void DefineProperties(TFiler* Filer) override {
    inherited::DefineProperties(Filer);
    Filer->DefineBinaryProperty(
        "Data", [this](const std::vector<std::uint8_t>& D) { Data = D; },
        [this](std::vector<std::uint8_t>& D) { D = Data; }, !Data.empty());
  }

 protected:
  TPicture() = default;
};
FYNDRA_IMPLEMENT_CLASS(TPicture)

class TImage : public TControl {
  FYNDRA_CLASS(TImage, TControl)
 public:
  void AfterConstruction() override {
    inherited::AfterConstruction();
    Picture_ = CreateOwned<TPicture>();
  }
  TPicture* GetPicture() const { return Picture_.get(); }

 protected:
  explicit TImage(TComponent* Owner) : TControl(Owner) {}

 private:
  TOwned<TPicture> Picture_;
};
FYNDRA_PUBLISHED(TImage, P) { P.ReadOnlyProperty("Picture", &TImage::GetPicture); }
FYNDRA_REGISTER_CLASS(TImage);

class TColumnTitle : public TPersistent {
  FYNDRA_CLASS(TColumnTitle, TPersistent)
 public:
  std::string Caption;

 protected:
  TColumnTitle() = default;
};
FYNDRA_PUBLISHED(TColumnTitle, P) { P.Property("Caption", &TColumnTitle::Caption); }

class TColumn : public TCollectionItem {
  FYNDRA_CLASS(TColumn, TCollectionItem)
 public:
  void AfterConstruction() override {
    inherited::AfterConstruction();
    Title_ = CreateOwned<TColumnTitle>();
  }
  std::string FieldName;
  std::int32_t Width = 64;
  TColumnTitle* GetTitle() const { return Title_.get(); }

 protected:
  explicit TColumn(TCollection* Collection) : TCollectionItem(Collection) {}

 private:
  TOwned<TColumnTitle> Title_;
};
FYNDRA_PUBLISHED(TColumn, P) {
  P.Property("FieldName", &TColumn::FieldName);
  P.ReadOnlyProperty("Title", &TColumn::GetTitle);
  P.Property("Width", &TColumn::Width).Default(64);
}

class TDBGrid : public TControl {
  FYNDRA_CLASS(TDBGrid, TControl)
 public:
  void AfterConstruction() override {
    inherited::AfterConstruction();
    Columns_ = CreateOwned<TOwnedCollection>(this, TColumn::StaticClass());
  }
  TCollection* GetColumns() const { return Columns_.get(); }

 protected:
  explicit TDBGrid(TComponent* Owner) : TControl(Owner) {}

 private:
  TOwned<TOwnedCollection> Columns_;
};
FYNDRA_PUBLISHED(TDBGrid, P) {
  P.Property("DataSource", &TDBGrid::GetLink, &TDBGrid::SetLink);
  P.ReadOnlyProperty("Columns", &TDBGrid::GetColumns);
}
FYNDRA_REGISTER_CLASS(TDBGrid);

// A non-visual component: its place on the form is data of its own.
class TDataSource : public TLinked {
  FYNDRA_CLASS(TDataSource, TLinked)
 public:
  std::int32_t Left = 0, Top = 0;
  void DefineProperties(TFiler* Filer) override {
    inherited::DefineProperties(Filer);
    Filer->DefineProperty(
        "Left", [this](TReader& R) { Left = R.ReadInteger(); }, [this](TWriter& W) { W.WriteInteger(Left); }, true);
    Filer->DefineProperty(
        "Top", [this](TReader& R) { Top = R.ReadInteger(); }, [this](TWriter& W) { W.WriteInteger(Top); }, true);
  }

 protected:
  explicit TDataSource(TComponent* Owner) : TLinked(Owner) {}
};
FYNDRA_IMPLEMENT_CLASS(TDataSource)
FYNDRA_REGISTER_CLASS(TDataSource);

class TFont : public TPersistent {
  FYNDRA_CLASS(TFont, TPersistent)
 public:
  std::int32_t Height = 0;
  std::string Name;
  TFontStyles Style;

 protected:
  TFont() = default;
};
FYNDRA_PUBLISHED(TFont, P) {
  P.Property("Height", &TFont::Height).Default(0);
  P.Property("Name", &TFont::Name);
  P.Property("Style", &TFont::Style).Default(TFontStyles{});
}

// Forms and frames.
class TTestForm : public TLinked {
  FYNDRA_CLASS(TTestForm, TLinked)
 public:
  void AfterConstruction() override {
    inherited::AfterConstruction();
    Font_ = CreateOwned<TFont>();
  }
  std::int32_t Left = 0, Top = 0, ClientHeight = 0, ClientWidth = 0, Color = 0, PixelsPerInch = 0, TextHeight = 0;
  std::string Caption;
  bool OldCreateOrder = true;
  TFont* GetFont() const { return Font_.get(); }

 protected:
  explicit TTestForm(TComponent* Owner) : TLinked(Owner) {}

 private:
  TOwned<TFont> Font_;
};
FYNDRA_PUBLISHED(TTestForm, P) {
  P.Property("Left", &TTestForm::Left);
  P.Property("Top", &TTestForm::Top);
  P.Property("Caption", &TTestForm::Caption);
  P.Property("ClientHeight", &TTestForm::ClientHeight);
  P.Property("ClientWidth", &TTestForm::ClientWidth);
  P.Property("Color", &TTestForm::Color).Default(0);
  P.ReadOnlyProperty("Font", &TTestForm::GetFont);
  P.Property("OldCreateOrder", &TTestForm::OldCreateOrder);
  P.Property("PixelsPerInch", &TTestForm::PixelsPerInch);
  P.Property("TextHeight", &TTestForm::TextHeight);
}

class TBaseForm : public TTestForm {
  FYNDRA_CLASS(TBaseForm, TTestForm)
 public:
  void OkButtonClick(TObject*) {}

 protected:
  explicit TBaseForm(TComponent* Owner) : TTestForm(Owner) {}
};
FYNDRA_PUBLISHED(TBaseForm, P) { P.Method("OkButtonClick", &TBaseForm::OkButtonClick); }
FYNDRA_REGISTER_CLASS(TBaseForm);

class TEditForm : public TBaseForm {
  FYNDRA_CLASS(TEditForm, TBaseForm)
 public:
  void SaveButtonClick(TObject*) {}

 protected:
  explicit TEditForm(TComponent* Owner) : TBaseForm(Owner) {}
};
FYNDRA_PUBLISHED(TEditForm, P) { P.Method("SaveButtonClick", &TEditForm::SaveButtonClick); }
FYNDRA_REGISTER_CLASS(TEditForm);

class TCustomerForm : public TEditForm {
  FYNDRA_CLASS(TCustomerForm, TEditForm)
 protected:
  explicit TCustomerForm(TComponent* Owner) : TEditForm(Owner) {}
};
FYNDRA_IMPLEMENT_CLASS(TCustomerForm)
FYNDRA_REGISTER_CLASS(TCustomerForm);

class TOrdersForm : public TTestForm {
  FYNDRA_CLASS(TOrdersForm, TTestForm)
 protected:
  explicit TOrdersForm(TComponent* Owner) : TTestForm(Owner) {}
};
FYNDRA_IMPLEMENT_CLASS(TOrdersForm)
FYNDRA_REGISTER_CLASS(TOrdersForm);

class TФормаКлиентов : public TTestForm {
  FYNDRA_CLASS(TФормаКлиентов, TTestForm)
 protected:
  explicit TФормаКлиентов(TComponent* Owner) : TTestForm(Owner) {}
};
FYNDRA_IMPLEMENT_CLASS(TФормаКлиентов)
FYNDRA_REGISTER_CLASS(TФормаКлиентов);

class TFrame : public TLinked {
  FYNDRA_CLASS(TFrame, TLinked)
 public:
  std::int32_t Left = 0, Top = 0, Width = 0, Height = 0, TabOrder = -1;

 protected:
  explicit TFrame(TComponent* Owner) : TLinked(Owner) {}
};
FYNDRA_PUBLISHED(TFrame, P) {
  P.Property("Left", &TFrame::Left);
  P.Property("Top", &TFrame::Top);
  P.Property("Width", &TFrame::Width);
  P.Property("Height", &TFrame::Height);
  P.Property("TabOrder", &TFrame::TabOrder).Default(-1);
}

class TAddressFrame : public TFrame {
  FYNDRA_CLASS(TAddressFrame, TFrame)
 public:
  void CityEditClick(TObject*) {}

 protected:
  explicit TAddressFrame(TComponent* Owner) : TFrame(Owner) {}
};
FYNDRA_PUBLISHED(TAddressFrame, P) { P.Method("CityEditClick", &TAddressFrame::CityEditClick); }
FYNDRA_REGISTER_CLASS(TAddressFrame);

// A frame class no form text is registered for, and one whose text holds itself.
class TBareFrame : public TFrame {
  FYNDRA_CLASS(TBareFrame, TFrame)
 protected:
  explicit TBareFrame(TComponent* Owner) : TFrame(Owner) {}
};
FYNDRA_IMPLEMENT_CLASS(TBareFrame)
FYNDRA_REGISTER_CLASS(TBareFrame);

// ---------------------------------------------------------------------------
// Form texts

const char* const kBaseForm =
    "object BaseForm: TBaseForm\n"
    "  Left = 192\n"
    "  Top = 107\n"
    "  Caption = 'Base form'\n"
    "  ClientHeight = 300\n"
    "  ClientWidth = 400\n"
    "  OldCreateOrder = False\n"
    "  PixelsPerInch = 96\n"
    "  TextHeight = 13\n"
    "  object ButtonPanel: TPanel\n"
    "    Left = 0\n"
    "    Top = 259\n"
    "    Width = 400\n"
    "    Height = 41\n"
    "    Align = alBottom\n"
    "    TabOrder = 0\n"
    "  end\n"
    "  object OkButton: TButton\n"
    "    Left = 232\n"
    "    Top = 268\n"
    "    Width = 75\n"
    "    Height = 25\n"
    "    Caption = 'OK'\n"
    "    TabOrder = 1\n"
    "    OnClick = OkButtonClick\n"
    "    Default = True\n"
    "  end\n"
    "  object CancelButton: TButton\n"
    "    Left = 316\n"
    "    Top = 268\n"
    "    Width = 75\n"
    "    Height = 25\n"
    "    Caption = 'Cancel'\n"
    "    TabOrder = 2\n"
    "  end\n"
    "  object DataSource1: TDataSource\n"
    "    Left = 16\n"
    "    Top = 16\n"
    "  end\n"
    "end\n";

const char* const kAddressFrame =
    "object AddressFrame: TAddressFrame\n"
    "  Left = 0\n"
    "  Top = 0\n"
    "  Width = 320\n"
    "  Height = 64\n"
    "  TabOrder = 0\n"
    "  object StreetLabel: TFocusLabel\n"
    "    Left = 8\n"
    "    Top = 8\n"
    "    Width = 31\n"
    "    Height = 13\n"
    "    Caption = 'Street'\n"
    "    FocusControl = StreetEdit\n"
    "  end\n"
    "  object StreetEdit: TEdit\n"
    "    Left = 64\n"
    "    Top = 4\n"
    "    Width = 249\n"
    "    Height = 21\n"
    "    TabOrder = 0\n"
    "  end\n"
    "  object CityEdit: TEdit\n"
    "    Left = 64\n"
    "    Top = 32\n"
    "    Width = 249\n"
    "    Height = 21\n"
    "    TabOrder = 1\n"
    "    OnClick = CityEditClick\n"
    "  end\n"
    "end\n";

// Built on the base form: a new panel placed first, inherited buttons moved,
// a frame.
const char* const kEditForm =
    "inherited EditForm: TEditForm\n"
    "  Caption = 'Edit form'\n"
    "  ClientHeight = 420\n"
    "  object HeaderPanel: TPanel [0]\n"
    "    Left = 0\n"
    "    Top = 0\n"
    "    Width = 400\n"
    "    Height = 41\n"
    "    Align = alTop\n"
    "    Caption = 'Header'\n"
    "    TabOrder = 3\n"
    "  end\n"
    "  inherited ButtonPanel: TPanel\n"
    "    Top = 379\n"
    "  end\n"
    "  inherited OkButton: TButton\n"
    "    Top = 388\n"
    "    OnClick = SaveButtonClick\n"
    "  end\n"
    "  inherited CancelButton: TButton\n"
    "    Top = 388\n"
    "  end\n"
    "  object NameEdit: TEdit\n"
    "    Left = 8\n"
    "    Top = 56\n"
    "    Width = 384\n"
    "    Height = 21\n"
    "    TabOrder = 4\n"
    "    DataSource = DataSource1\n"
    "  end\n"
    "  inline AddressFrame1: TAddressFrame\n"
    "    Left = 8\n"
    "    Top = 88\n"
    "    TabOrder = 5\n"
    "    inherited CityEdit: TEdit\n"
    "      Text = 'Lisboa'\n"
    "    end\n"
    "  end\n"
    "end\n";

// The third level: it reorders a child with [n] and changes one inside the
// frame it inherits.
const char* const kCustomerForm =
    "inherited CustomerForm: TCustomerForm\n"
    "  Caption = 'Customer'\n"
    "  inherited HeaderPanel: TPanel\n"
    "    Caption = 'Customers'\n"
    "  end\n"
    "  inherited CancelButton: TButton [1]\n"
    "  end\n"
    "  inherited AddressFrame1: TAddressFrame\n"
    "    inherited StreetEdit: TEdit\n"
    "      Text = 'Rua Augusta'\n"
    "      DataSource = DataSource1\n"
    "    end\n"
    "  end\n"
    "  object CustomerLabel: TFocusLabel\n"
    "    Left = 8\n"
    "    Top = 40\n"
    "    Width = 77\n"
    "    Height = 13\n"
    "    Caption = 'Customer name'\n"
    "    FocusControl = AddressFrame1.StreetEdit\n"
    "  end\n"
    "end\n";

// A plain form in the styles IDEs save: a caption with a code, a long
// caption split where that IDE splits, floats with 18 decimals, a one-line
// binary block, properties in the IDE's order, a collection, a set.
const char* const kOrdersForm =
    "object OrdersForm: TOrdersForm\n"
    "  Left = 245\n"
    "  Top = 132\n"
    "  Caption = 'Pedidos de Rel'#243'gios'\n"
    "  ClientHeight = 412\n"
    "  ClientWidth = 630\n"
    "  Color = 15790320\n"
    "  Font.Height = -11\n"
    "  Font.Name = 'MS Sans Serif'\n"
    "  Font.Style = [fsBold]\n"
    "  OldCreateOrder = False\n"
    "  PixelsPerInch = 96\n"
    "  TextHeight = 13\n"
    "  object HintLabel: TLabel\n"
    "    Left = 8\n"
    "    Top = 8\n"
    "    Width = 613\n"
    "    Height = 26\n"
    "    Caption = \n"
    "      'Enter the customer name, the city and the order date to look up' +\n"
    "      ' the orders; use * as a wildcard. Press F3 to find the next match' +\n"
    "      '.'\n"
    "  end\n"
    "  object SqlMemo: TMemo\n"
    "    Left = 8\n"
    "    Top = 40\n"
    "    Width = 613\n"
    "    Height = 89\n"
    "    Lines.Strings = (\n"
    "      'SELECT O.ID, O.AMOUNT, C.NAME FROM ORDERS O JOIN CUSTOMERS C ON C.I' +\n"
    "        'D = O.CUSTOMER_ID'\n"
    "      'WHERE C.NAME LIKE :NAME')\n"
    "    TabOrder = 0\n"
    "  end\n"
    "  object Chart1: TChart\n"
    "    Left = 8\n"
    "    Top = 136\n"
    "    Width = 300\n"
    "    Height = 200\n"
    "    LeftAxis.Maximum = 100.000000000000000000\n"
    "    LeftAxis.Minimum = 0.000002400000000000\n"
    "    BottomAxis.Increment = 0.500000000000000000\n"
    "  end\n"
    "  object Logo: TImage\n"
    "    Left = 316\n"
    "    Top = 136\n"
    "    Width = 32\n"
    "    Height = 32\n"
    "    Picture.Data = {0A544269746D617000000000}\n"
    "  end\n"
    "  object OrdersGrid: TDBGrid\n"
    "    Left = 316\n"
    "    Top = 176\n"
    "    Width = 305\n"
    "    Height = 160\n"
    "    DataSource = OrdersSource\n"
    "    TabOrder = 1\n"
    "    Columns = <\n"
    "      item\n"
    "        FieldName = 'NAME'\n"
    "        Title.Caption = 'Nome do cliente'\n"
    "        Width = 180\n"
    "      end\n"
    "      item\n"
    "        FieldName = 'AMOUNT'\n"
    "        Title.Caption = 'Valor ('#8364')'\n"
    "      end>\n"
    "  end\n"
    "  object OrdersSource: TDataSource\n"
    "    Left = 560\n"
    "    Top = 8\n"
    "  end\n"
    "end\n";

// Names in Cyrillic, saved as UTF-8 with a byte order mark.
const char* const kUnicodeForm =
    "\xEF\xBB\xBF"
    "object ФормаКлиентов: TФормаКлиентов\n"
    "  Left = 10\n"
    "  Top = 10\n"
    "  Caption = #1050#1083#1080#1077#1085#1090#1099\n"
    "  ClientHeight = 200\n"
    "  ClientWidth = 300\n"
    "  OldCreateOrder = False\n"
    "  PixelsPerInch = 96\n"
    "  TextHeight = 13\n"
    "  object ПолеИмени: TEdit\n"
    "    Left = 8\n"
    "    Top = 8\n"
    "    Width = 200\n"
    "    Height = 21\n"
    "    TabOrder = 0\n"
    "    DataSource = ИсточникДанных\n"
    "  end\n"
    "  object ИсточникДанных: TDataSource\n"
    "    Left = 16\n"
    "    Top = 48\n"
    "  end\n"
    "end\n";

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Loads().clear();
    Baseline_ = Live();
    Resources_.Add(TBaseForm::StaticClass(), kBaseForm);
    Resources_.Add(TEditForm::StaticClass(), kEditForm);
    Resources_.Add(TAddressFrame::StaticClass(), kAddressFrame);
    Options_.Resources = &Resources_;
  }
  void TearDown() override { EXPECT_EQ(Live(), Baseline_) << "components leaked"; }

  TOwned<TComponent> Read(const std::string& Text) { return TOwned<TComponent>(ReadComponentFromText(Text, nullptr, Options_)); }
  // Writes the form as read from Text, keeping Text's spelling.
  std::string Resave(TComponent* Form, const std::string& Text) {
    TFormTextOptions O = Options_;
    O.Original = Text;
    return WriteComponentToText(Form, O);
  }
  template <class T = TControl>
  static T* Find(TComponent* Owner, const std::string& Name) {
    return dynamic_cast<T*>(Owner->FindComponent(Name));
  }
  static std::string Order(TComponent* Owner) {
    std::string S;
    for (int I = 0; I < Owner->ComponentCount(); ++I) S += (I ? " " : "") + Owner->GetComponent(I)->GetName();
    return S;
  }

  TFormResources Resources_;
  TFormTextOptions Options_;
  int Baseline_ = 0;
};

// ---------------------------------------------------------------------------

TEST_F(FormsTest, ThreeLevelsOfInheritanceReadAncestorsFirst) {
  TOwned<TComponent> Form = Read(kCustomerForm);
  auto* F = dynamic_cast<TCustomerForm*>(Form.get());
  ASSERT_NE(F, nullptr);
  EXPECT_EQ(F->GetName(), "CustomerForm");
  EXPECT_EQ(F->Caption, "Customer");         // level 3
  EXPECT_EQ(F->ClientHeight, 420);          // level 2
  EXPECT_EQ(F->ClientWidth, 400);           // level 1
  EXPECT_FALSE(F->OldCreateOrder);
  EXPECT_EQ(Find(F, "ButtonPanel")->Top, 379);
  EXPECT_EQ(Find(F, "ButtonPanel")->Align, alBottom);
  EXPECT_EQ(Find(F, "HeaderPanel")->Caption, "Customers");
  EXPECT_EQ(Find(F, "HeaderPanel")->Align, alTop);
  // A handler overridden one level down, references into the ancestor.
  EXPECT_TRUE(Find(F, "OkButton")->OnClick == TNotifyEvent(static_cast<TEditForm*>(F), &TEditForm::SaveButtonClick));
  EXPECT_EQ(Find<TEdit>(F, "NameEdit")->GetLink(), F->FindComponent("DataSource1"));
  EXPECT_EQ(Find<TDataSource>(F, "DataSource1")->Left, 16);
  // The new panel first, the cancel button moved to 1, the new label last.
  EXPECT_EQ(Order(F), "HeaderPanel CancelButton ButtonPanel OkButton DataSource1 NameEdit AddressFrame1 CustomerLabel");
  // Every component loaded once, after all levels were read.
  std::vector<std::string> Loaded = Loads();
  std::sort(Loaded.begin(), Loaded.end());
  EXPECT_EQ(Loaded, (std::vector<std::string>{"AddressFrame1", "ButtonPanel", "CancelButton", "CityEdit",
                                              "CustomerForm", "CustomerLabel", "DataSource1", "HeaderPanel",
                                              "NameEdit", "OkButton", "StreetEdit", "StreetLabel"}));
  for (const TComponent* C : {static_cast<TComponent*>(F), F->FindComponent("AddressFrame1")})
    EXPECT_FALSE(C->ComponentState().Contains(csLoading));
}

TEST_F(FormsTest, FramesOwnTheirComponentsAndInlineBlocksOverrideThem) {
  TOwned<TComponent> Form = Read(kCustomerForm);
  auto* Frame = Find<TAddressFrame>(Form.get(), "AddressFrame1");
  ASSERT_NE(Frame, nullptr);
  EXPECT_TRUE(Frame->ComponentState().Contains(csInline));
  EXPECT_EQ(Frame->Owner(), Form.get());
  EXPECT_EQ(Frame->Left, 8);     // the inline block
  EXPECT_EQ(Frame->Width, 320);  // the frame's own text
  ASSERT_EQ(Frame->ComponentCount(), 3);
  EXPECT_EQ(Form->FindComponent("StreetEdit"), nullptr);  // the frame's, not the form's
  auto* Street = Find<TEdit>(Frame, "StreetEdit");
  EXPECT_EQ(Street->Text, "Rua Augusta");
  EXPECT_EQ(Find<TEdit>(Frame, "CityEdit")->Text, "Lisboa");
  // Inside the frame's text, names are the frame's; in the form's, a
  // frame's component is reached through the frame, a form's directly.
  EXPECT_EQ(Find<TFocusLabel>(Frame, "StreetLabel")->GetLink(), Street);
  EXPECT_EQ(Street->GetLink(), Form->FindComponent("DataSource1"));
  EXPECT_EQ(Find<TFocusLabel>(Form.get(), "CustomerLabel")->GetLink(), Street);
  EXPECT_TRUE(Find(Frame, "CityEdit")->OnClick == TNotifyEvent(Frame, &TAddressFrame::CityEditClick));
}

TEST_F(FormsTest, UnchangedFormsAreWrittenBackByteForByte) {
  for (const char* Text : {kCustomerForm, kEditForm, kBaseForm, kOrdersForm, kUnicodeForm}) {
    TOwned<TComponent> Form = Read(Text);
    EXPECT_EQ(Resave(Form.get(), Text), Text);
  }
  // CR LF line ends read the same; the text comes back with LF.
  std::string CrLf;
  for (const char* P = kOrdersForm; *P; ++P) CrLf += *P == '\n' ? std::string("\r\n") : std::string(1, *P);
  TOwned<TComponent> Form = Read(CrLf);
  EXPECT_EQ(Resave(Form.get(), CrLf), kOrdersForm);
}

TEST_F(FormsTest, ChangedValuesAreWrittenCanonicallyTheRestAsBefore) {
  TOwned<TComponent> Form = Read(kOrdersForm);
  Find<TChart>(Form.get(), "Chart1")->GetLeftAxis()->Maximum = 50;
  Find(Form.get(), "HintLabel")->Caption = "Type a name.";
  Find<TImage>(Form.get(), "Logo")->GetPicture()->Data.push_back(0xFF);
  const std::string Text = Resave(Form.get(), kOrdersForm);
  EXPECT_NE(Text.find("    LeftAxis.Maximum = 50.0\n    LeftAxis.Minimum = 0.000002400000000000\n"), std::string::npos)
      << Text;
  EXPECT_NE(Text.find("    Caption = 'Type a name.'\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    Picture.Data = {\n      0A544269746D617000000000FF}\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    Lines.Strings = (\n      'SELECT O.ID, O.AMOUNT, C.NAME FROM ORDERS O JOIN CUSTOMERS C ON C.I' +\n"),
            std::string::npos)
      << Text;
  // Without the original text: the one canonical form, read back the same.
  const std::string Canonical = WriteComponentToText(Form.get(), Options_);
  EXPECT_NE(Canonical.find("    LeftAxis.Minimum = 2.4E-06\n"), std::string::npos) << Canonical;
  TOwned<TComponent> Again = Read(Canonical);
  EXPECT_EQ(WriteComponentToText(Again.get(), Options_), Canonical);
  EXPECT_EQ(Find<TChart>(Again.get(), "Chart1")->GetLeftAxis()->Minimum, 0.0000024);
}

TEST_F(FormsTest, InheritedFormsAreWrittenAsTheirDifferencesFromTheAncestor) {
  TOwned<TComponent> Form = Read(kEditForm);
  TComponent* F = Form.get();
  EXPECT_EQ(WriteComponentToText(F, Options_), kEditForm);

  Find(F, "OkButton")->OnClick = TNotifyEvent();            // the ancestor has a handler
  Find(F, "ButtonPanel")->Align = alNone;                   // back at the default
  Find<TButton>(F, "CancelButton")->Top = 268;              // back at the ancestor's value
  Find<TDataSource>(F, "DataSource1")->Top = 99;            // data of its own
  Find<TEdit>(Find<TAddressFrame>(F, "AddressFrame1"), "StreetEdit")->SetLink(F->FindComponent("DataSource1"));
  const std::string Text = WriteComponentToText(F, Options_);
  EXPECT_EQ(Text,
            "inherited EditForm: TEditForm\n"
            "  Caption = 'Edit form'\n"
            "  ClientHeight = 420\n"
            "  object HeaderPanel: TPanel [0]\n"
            "    Left = 0\n"
            "    Top = 0\n"
            "    Width = 400\n"
            "    Height = 41\n"
            "    Align = alTop\n"
            "    Caption = 'Header'\n"
            "    TabOrder = 3\n"
            "  end\n"
            "  inherited ButtonPanel: TPanel\n"
            "    Top = 379\n"
            "    Align = alNone\n"
            "  end\n"
            "  inherited OkButton: TButton\n"
            "    Top = 388\n"
            "    OnClick = nil\n"
            "  end\n"
            "  inherited DataSource1: TDataSource\n"
            "    Top = 99\n"
            "  end\n"
            "  object NameEdit: TEdit\n"
            "    Left = 8\n"
            "    Top = 56\n"
            "    Width = 384\n"
            "    Height = 21\n"
            "    TabOrder = 4\n"
            "    DataSource = DataSource1\n"
            "  end\n"
            "  inline AddressFrame1: TAddressFrame\n"
            "    Left = 8\n"
            "    Top = 88\n"
            "    TabOrder = 5\n"
            "    inherited StreetEdit: TEdit\n"
            "      DataSource = DataSource1\n"
            "    end\n"
            "    inherited CityEdit: TEdit\n"
            "      Text = 'Lisboa'\n"
            "    end\n"
            "  end\n"
            "end\n");
  // What was written reads back as it was.
  TOwned<TComponent> Back = Read(Text);
  EXPECT_TRUE(Find(Back.get(), "OkButton")->OnClick.IsNull());
  EXPECT_EQ(Find(Back.get(), "ButtonPanel")->Align, alNone);
  EXPECT_EQ(Find<TDataSource>(Back.get(), "DataSource1")->Top, 99);
  EXPECT_EQ(Find<TDataSource>(Back.get(), "DataSource1")->Left, 16);
  EXPECT_EQ(WriteComponentToText(Back.get(), Options_), Text);
}

TEST_F(FormsTest, ReorderingAloneIsWrittenAsOrderIndexes) {
  const std::string Text =
      "inherited EditForm: TEditForm\n"
      "  inherited DataSource1: TDataSource [0]\n"
      "  end\n"
      "  inherited CancelButton: TButton [1]\n"
      "  end\n"
      "end\n";
  // Only the base form as ancestor; the edit form's own text is not used.
  TFormResources Base;
  Base.Add(TBaseForm::StaticClass(), kBaseForm);
  TFormTextOptions O;
  O.Resources = &Base;
  TOwned<TComponent> Form(ReadComponentFromText(Text, nullptr, O));
  EXPECT_EQ(Order(Form.get()), "DataSource1 CancelButton ButtonPanel OkButton");
  EXPECT_EQ(WriteComponentToText(Form.get(), O), Text);
  // Moved by code: the indexes say where each one goes.
  Form->FindComponent("OkButton")->SetComponentIndex(0);
  const std::string Moved = WriteComponentToText(Form.get(), O);
  EXPECT_EQ(Moved,
            "inherited EditForm: TEditForm\n"
            "  inherited OkButton: TButton [0]\n"
            "  end\n"
            "  inherited DataSource1: TDataSource [1]\n"
            "  end\n"
            "  inherited CancelButton: TButton [2]\n"
            "  end\n"
            "end\n");
  TOwned<TComponent> Back(ReadComponentFromText(Moved, nullptr, O));
  EXPECT_EQ(Order(Back.get()), "OkButton DataSource1 CancelButton ButtonPanel");
}

TEST_F(FormsTest, WriterRefusesFormsItCouldNotReadBack) {
  {
    TOwned<TComponent> Form = Read(kEditForm);
    Free(Form->FindComponent("CancelButton"));
    EXPECT_THROW(WriteComponentToText(Form.get(), Options_), EWriteError);
  }
  {
    TOwned<TComponent> Form = Read(kEditForm);
    auto* Frame = Find<TAddressFrame>(Form.get(), "AddressFrame1");
    CreateComponent(TEdit::StaticClass(), Frame)->SetName("ZipEdit");
    EXPECT_THROW(WriteComponentToText(Form.get(), Options_), EWriteError);
  }
  {
    TOwned<TComponent> Form = Read(kOrdersForm);
    CreateComponent(TBareFrame::StaticClass(), Form.get())->SetInline(true);
    EXPECT_THROW(WriteComponentToText(Form.get(), Options_), EWriteError);
  }
  // An inherited form whose ancestor text is not at hand.
  TOwned<TComponent> Form = Read(kEditForm);
  TFormTextOptions NoAncestors;
  NoAncestors.Original = kEditForm;
  EXPECT_THROW(WriteComponentToText(Form.get(), NoAncestors), EWriteError);
}

TEST_F(FormsTest, AFramePlacedByCodeIsWrittenInline) {
  TOwned<TComponent> Form = Read(kOrdersForm);
  auto* Frame = static_cast<TAddressFrame*>(CreateComponent(TAddressFrame::StaticClass(), Form.get()));
  Frame->SetName("Address");
  Frame->SetInline(true);
  ASSERT_TRUE(ReadComponentResource(Frame, Options_));
  EXPECT_FALSE(Frame->ComponentState().Contains(csLoading));
  Frame->Top = 340;
  Find<TEdit>(Frame, "StreetEdit")->Text = "Main Street";
  const std::string Text = WriteComponentToText(Form.get(), Options_);
  EXPECT_NE(Text.find("  inline Address: TAddressFrame\n"
                      "    Top = 340\n"
                      "    inherited StreetEdit: TEdit\n"
                      "      Text = 'Main Street'\n"
                      "    end\n"
                      "  end\n"),
            std::string::npos)
      << Text;
  TOwned<TComponent> Back = Read(Text);
  EXPECT_EQ(Find<TEdit>(Find<TAddressFrame>(Back.get(), "Address"), "StreetEdit")->Text, "Main Street");
  EXPECT_EQ(Find<TAddressFrame>(Back.get(), "Address")->Width, 320);
  EXPECT_FALSE(ReadComponentResource(Form->FindComponent("Logo"), Options_));
}

TEST_F(FormsTest, UnreadableFormsNameTheLineAndLeaveNothingBehind) {
  Resources_.Add("TBareFrame", "object BareFrame: TBaseForm\nend\n");
  struct Case {
    std::string Text;
    std::string Message;
  };
  const std::string Edit = "inherited EditForm: TEditForm\n";
  const Case Cases[] = {
      {"inherited OrdersForm: TOrdersForm\nend\n",
       "line 1: expected the form text of an ancestor of TOrdersForm (registered, or a form file in a folder "
       "searched), found none"},
      {Edit + "  inherited Ghost: TButton\n  end\nend\n",
       "line 2: expected a component 'Ghost' that the ancestor of TEditForm made, found none"},
      {Edit + "  object OkButton: TButton\n  end\nend\n",
       "line 2: expected 'inherited' for the component 'OkButton' that the ancestor made, found 'object'"},
      {Edit + "  inherited OkButton: TPanel\n  end\nend\n",
       "line 2: expected class TButton for the inherited component 'OkButton', found 'TPanel'"},
      {"inherited CustomerForm: TCustomerForm\n  inherited AddressFrame1: TAddressFrame\n    inherited Ghost: TEdit\n"
       "    end\n  end\nend\n",
       "line 3: expected a component 'Ghost' that the ancestor of TAddressFrame made, found none"},
      {Edit + "  inline Extra: TOrdersForm\n  end\nend\n",
       "line 2: expected the form text of the frame class TOrdersForm (registered, or a form file in a folder "
       "searched), found none"},
      {Edit + "  inline Extra: TBareFrame\n  end\nend\n",
       "line 2: expected a valid form text of TBareFrame: line 1: expected the form text of TBareFrame, found one "
       "of 'TBaseForm'"},
      {"inline EditForm: TEditForm\nend\n", "line 1: expected 'object' or 'inherited' to start a form, found 'inline'"},
  };
  for (const Case& C : Cases) {
    std::string Got = "(no error)";
    try {
      Read(C.Text);
    } catch (const EReadError& E) {
      Got = E.Message();
    }
    EXPECT_EQ(Got, C.Message) << C.Text;
    EXPECT_EQ(Live(), Baseline_) << C.Text;
  }
  // Errors inside an ancestor's text are reported at the line that needed it.
  Resources_.Add(TBaseForm::StaticClass(), "object BaseForm: TBaseForm\n  Nope = 1\nend\n");
  try {
    Read(kCustomerForm);
    ADD_FAILURE() << "a broken ancestor was read";
  } catch (const EReadError& E) {
    EXPECT_EQ(E.Message(),
              "line 1: expected a valid form text of TEditForm: line 1: expected a valid form text of TBaseForm: "
              "line 2: expected a property of TCustomerForm, found 'Nope'");
  }
  // A frame whose text holds the frame itself.
  Resources_.Add(TBareFrame::StaticClass(), "object BareFrame: TBareFrame\n  inline Inner: TBareFrame\n  end\nend\n");
  try {
    Read("object OrdersForm: TOrdersForm\n  inline Bare: TBareFrame\n  end\nend\n");
    ADD_FAILURE() << "a frame inside itself was read";
  } catch (const EReadError& E) {
    EXPECT_NE(E.Message().find("a frame that does not contain itself, found TBareFrame inside its own form text"),
              std::string::npos)
        << E.Message();
  }
  EXPECT_EQ(Live(), Baseline_);
}

TEST_F(FormsTest, AncestorsAreFoundAsFormFilesBesideTheForm) {
  namespace fs = std::filesystem;
  const fs::path Dir = fs::temp_directory_path() / ("fyndra_forms_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  auto Save = [&](const std::string& Name, const std::string& Text) {
    std::ofstream(Dir / Name, std::ios::binary) << Text;
  };
  // File names need not follow the classes: the headers say which is which.
  Save("ubase.dfm", kBaseForm);
  Save("uedit.DFM", kEditForm);
  Save("frames.dfm", kAddressFrame);
  Save("customer.dfm", kCustomerForm);
  Save("notes.txt", "inherited Nothing: TEditForm\n");
  TOwned<TComponent> Form(ReadComponentFromFile((Dir / "customer.dfm").string()));
  EXPECT_EQ(Find(Form.get(), "HeaderPanel")->Caption, "Customers");
  EXPECT_EQ(Find<TEdit>(Find<TAddressFrame>(Form.get(), "AddressFrame1"), "CityEdit")->Text, "Lisboa");
  // The same through the folders of the options, and for writing.
  TFormTextOptions O;
  O.Folders.push_back(Dir.string());
  EXPECT_EQ(WriteComponentToText(Form.get(), O), kCustomerForm);
  EXPECT_THROW(ReadComponentFromFile((Dir / "missing.dfm").string()), EReadError);
  fs::remove_all(Dir);
}

TEST_F(FormsTest, ApplicationRegistryServesWhenTheOptionsNameNone) {
  FormResources().Add(TBaseForm::StaticClass(), kBaseForm);
  TOwned<TComponent> Form(Create<TEditForm>(static_cast<TComponent*>(nullptr)));
  EXPECT_TRUE(ReadComponentResource(Form.get()));
  EXPECT_EQ(Find(Form.get(), "OkButton")->Caption, "OK");
  FormResources().Remove("TBASEFORM");
  EXPECT_FALSE(FormResources().Find("TBaseForm"));
}

TEST_F(FormsTest, UnicodeNamesReadAndResolve) {
  TOwned<TComponent> Form = Read(kUnicodeForm);
  ASSERT_NE(dynamic_cast<TФормаКлиентов*>(Form.get()), nullptr);
  EXPECT_EQ(Form->GetName(), "ФормаКлиентов");
  EXPECT_EQ(static_cast<TTestForm*>(Form.get())->Caption, "Клиенты");
  EXPECT_EQ(Find<TEdit>(Form.get(), "полеимени")->GetLink(), Form->FindComponent("ИСТОЧНИКДАННЫХ"));
  // Without the original text: the same, the mark added since names need it.
  EXPECT_EQ(WriteComponentToText(Form.get()), kUnicodeForm);
}

TEST_F(FormsTest, LegacyCodePageFormsAreReadWithTheOptionOnly) {
  const std::string Legacy =
      "object OrdersForm: TOrdersForm\n"
      "  Caption = 'Rel\xF3gios e \x80'\n"
      "  OldCreateOrder = False\n"
      "end\n";
  try {
    Read(Legacy);
    ADD_FAILURE() << "raw 8-bit text was read";
  } catch (const EReadError& E) {
    EXPECT_EQ(E.Message(),
              "line 2: expected UTF-8 text, found byte $F3 (text in an 8-bit code page is read with its code page given)");
  }
  Options_.CodePage = "windows-1252";
  TOwned<TComponent> Form = Read(Legacy);
  EXPECT_EQ(static_cast<TTestForm*>(Form.get())->Caption, "Relógios e €");
  // Written back 7-bit: no code page needed to read it again.
  const std::string Text = Resave(Form.get(), Legacy);
  EXPECT_NE(Text.find("  Caption = 'Rel'#243'gios e '#8364\n"), std::string::npos) << Text;
  Options_.CodePage.clear();
  EXPECT_EQ(static_cast<TTestForm*>(Read(Text).get())->Caption, "Relógios e €");
}

// Random edits of inherited forms with frames: the reader either builds a
// form whose text, written and read again, writes the same, or raises
// EReadError; nothing leaks and no error escapes as another kind.
TEST_F(FormsTest, RandomEditsOfInheritedFormsNeverCrashOrLeak) {
  const char* const Words[] = {"inherited ", "object ", "inline ", " [0]", " [3]", "OkButton", "AddressFrame1",
                               "StreetEdit", "TEdit", "TAddressFrame", "DataSource1", "end\n", "Frame1.", "nil"};
  const std::string Alphabet = "[]=:.'0123456789 \n";
  std::mt19937 Rng(1812);
  int Built = 0, Refused = 0;
  for (int I = 0; I < 1500; ++I) {
    std::string Text = I % 2 ? kCustomerForm : kEditForm;
    for (int E = 1 + static_cast<int>(Rng() % 3); E > 0; --E) {
      const std::size_t At = Rng() % Text.size();
      switch (Rng() % 3) {
        case 0: Text.erase(At, 1 + Rng() % 12); break;
        case 1: Text.insert(At, Words[Rng() % std::size(Words)]); break;
        default: Text[At] = Alphabet[Rng() % Alphabet.size()]; break;
      }
      if (Text.empty()) Text = "x";
    }
    try {
      TOwned<TComponent> Form = Read(Text);
      const std::string Again = WriteComponentToText(Form.get(), Options_);
      Form.reset();
      TOwned<TComponent> Second = Read(Again);
      ASSERT_EQ(WriteComponentToText(Second.get(), Options_), Again) << Text;
      ++Built;
    } catch (const EReadError& E) {
      ASSERT_EQ(E.Message().rfind("line ", 0), 0u) << E.Message();
      ++Refused;
    } catch (const EWriteError&) {
      ++Refused;  // e.g. an inherited component renamed away: the form lost it
    }
    ASSERT_EQ(Live(), Baseline_) << Text;
  }
  EXPECT_GT(Built, 50);
  EXPECT_GT(Refused, 100);
}

}  // namespace
}  // namespace fyndra
