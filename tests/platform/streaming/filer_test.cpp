#include <fyndra/platform/streaming/filer.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <fyndra/platform/classes/datamodule.h>

namespace fyndra {
namespace {

// ---------------------------------------------------------------------------
// Test components: a form (the root, with published methods) and widgets with
// published properties of every kind, a sub-object, a collection, a string
// list, an event and custom properties.

std::vector<std::string>& Log() {
  static std::vector<std::string> L;
  return L;
}

int& LiveComponents() {
  static int N = 0;
  return N;
}

std::string Flags(const TComponent* C) {
  std::string S;
  if (C->ComponentState().Contains(csLoading)) S += " loading";
  if (C->ComponentState().Contains(csReading)) S += " reading";
  return S;
}

enum TShape : std::uint8_t { shCircle, shSquare, shTriangle };
FYNDRA_ENUM_NAMES(TShape, shCircle, shSquare, shTriangle)
enum TStyle : std::uint8_t { stBold, stItalic, stUnderline };
FYNDRA_ENUM_NAMES(TStyle, stBold, stItalic, stUnderline)
using TStyles = TSet<TStyle>;

class TSettings : public TPersistent {
  FYNDRA_CLASS(TSettings, TPersistent)
 public:
  bool ChangeCursor = true;
  bool AutoUpdate = true;
  std::int32_t Level = 0;

 protected:
  TSettings() = default;
};

FYNDRA_PUBLISHED(TSettings, P) {
  P.Property("ChangeCursor", &TSettings::ChangeCursor).Default(true);
  P.Property("AutoUpdate", &TSettings::AutoUpdate).Default(true);
  P.Property("Level", &TSettings::Level).Default(0);
}
FYNDRA_REGISTER_CLASS(TSettings);

class TThing : public TCollectionItem {
  FYNDRA_CLASS(TThing, TCollectionItem)
 public:
  std::string Caption;
  std::int32_t Size = 0;
  TComponent* Link = nullptr;

 protected:
  explicit TThing(TCollection* Collection) : TCollectionItem(Collection) {}
};

FYNDRA_PUBLISHED(TThing, P) {
  P.Property("Caption", &TThing::Caption);
  P.Property("Size", &TThing::Size).Default(0);
  P.Property("Link", &TThing::Link);
}

class TRefHolder : public TComponent {
  FYNDRA_CLASS(TRefHolder, TComponent)
 public:
  ~TRefHolder() override { --LiveComponents(); }
  TComponent* GetBuddy() const { return Buddy_; }
  void SetBuddy(TComponent* Value) {
    if (Buddy_) Buddy_->RemoveFreeNotification(this);
    Buddy_ = Value;
    if (Buddy_) Buddy_->FreeNotification(this);
  }

 protected:
  explicit TRefHolder(TComponent* Owner) : TComponent(Owner) { ++LiveComponents(); }
  void Notification(TComponent* C, TOperation Op) override {
    inherited::Notification(C, Op);
    if (Op == opRemove && C == Buddy_) Buddy_ = nullptr;
  }

 private:
  TComponent* Buddy_ = nullptr;
};
FYNDRA_IMPLEMENT_CLASS(TRefHolder);

class TWidget : public TRefHolder {
  FYNDRA_CLASS(TWidget, TRefHolder)
 public:
  void AfterConstruction() override {
    inherited::AfterConstruction();
    Settings_ = CreateOwned<TSettings>();
    Things_ = CreateOwned<TOwnedCollection>(this, TThing::StaticClass());
    Lines_ = CreateOwned<TStringList>();
  }

  std::int32_t GetCount() const { return Count_; }
  void SetCount(std::int32_t Value) {
    Log().push_back(GetName() + ".Count" + Flags(this));
    if (Value < 0) throw EComponentError("Count must not be negative");
    Count_ = Value;
  }
  TSettings* GetSettings() const { return Settings_.get(); }
  TCollection* GetThings() const { return Things_.get(); }
  TStringList* GetLines() const { return Lines_.get(); }
  TThing* Thing(int I) const { return static_cast<TThing*>(Things_->GetItem(I)); }
  bool IsExpressionStored() const { return StoreExpression; }

  std::int64_t Big = 0;
  TShape Shape = shCircle;
  TStyles Styles{stBold};
  bool Active = false;
  double Ratio = 0;
  char Letter = 0;
  std::string Caption;
  std::u16string Title;
  Variant Value;
  std::string Expression;
  bool StoreExpression = true;
  std::string Hidden;
  TNotifyEvent OnChange;
  // Streamed through DefineProperties.
  std::string Secret;
  std::vector<std::uint8_t> Blob;
  std::vector<std::int32_t> Pairs;

  void DefineProperties(TFiler* Filer) override {
    inherited::DefineProperties(Filer);
    Filer->DefineProperty(
        "Secret", [this](TReader& R) { Secret = R.ReadString(); }, [this](TWriter& W) { W.WriteString(Secret); },
        !Secret.empty());
    Filer->DefineBinaryProperty(
        "Blob", [this](const std::vector<std::uint8_t>& D) { Blob = D; },
        [this](std::vector<std::uint8_t>& D) { D = Blob; }, !Blob.empty());
    Filer->DefineProperty(
        "Pairs",
        [this](TReader& R) {
          Pairs.clear();
          R.ReadListBegin();
          while (!R.EndOfList()) Pairs.push_back(R.ReadInteger());
          R.ReadListEnd();
        },
        [this](TWriter& W) {
          W.WriteListBegin();
          for (std::int32_t P : Pairs) W.WriteInteger(P);
          W.WriteListEnd();
        },
        !Pairs.empty());
  }

 protected:
  explicit TWidget(TComponent* Owner) : TRefHolder(Owner) {}
  void Loaded() override {
    Log().push_back(GetName() + ".Loaded" + Flags(this) + (GetBuddy() ? " buddy=" + GetBuddy()->GetName() : ""));
    inherited::Loaded();
    if (GetTag() == 666) throw EComponentError("Widget refuses to load");
  }

 private:
  std::int32_t Count_ = 0;
  TOwned<TSettings> Settings_;
  TOwned<TOwnedCollection> Things_;
  TOwned<TStringList> Lines_;
};

FYNDRA_PUBLISHED(TWidget, P) {
  P.Property("Count", &TWidget::GetCount, &TWidget::SetCount).Default(0);
  P.Property("Big", &TWidget::Big).Default(0);
  P.Property("Shape", &TWidget::Shape).Default(shCircle);
  P.Property("Styles", &TWidget::Styles).Default(TStyles{stBold});
  P.Property("Active", &TWidget::Active).Default(false);
  P.Property("Ratio", &TWidget::Ratio);
  P.Property("Letter", &TWidget::Letter).Default(0);
  P.Property("Caption", &TWidget::Caption);
  P.Property("Title", &TWidget::Title);
  P.Property("Value", &TWidget::Value);
  P.Property("Expression", &TWidget::Expression).Stored(&TWidget::IsExpressionStored);
  P.Property("Hidden", &TWidget::Hidden).Stored(false);
  P.Property("Buddy", &TWidget::GetBuddy, &TWidget::SetBuddy);
  P.ReadOnlyProperty("Settings", &TWidget::GetSettings);
  P.ReadOnlyProperty("Things", &TWidget::GetThings);
  // Another name for the same collection, read but never written.
  P.ReadOnlyProperty("SameThings", &TWidget::GetThings).Stored(false);
  P.ReadOnlyProperty("Lines", &TWidget::GetLines);
  P.Property("OnChange", &TWidget::OnChange);
}
FYNDRA_REGISTER_CLASS(TWidget);

class TGadgetForm : public TRefHolder {
  FYNDRA_CLASS(TGadgetForm, TRefHolder)
 public:
  std::string Caption;
  void ButtonClick(TObject*) {}
  void OtherClick(TObject*) {}

 protected:
  explicit TGadgetForm(TComponent* Owner) : TRefHolder(Owner) {}
  void Loaded() override {
    Log().push_back(GetName() + ".Loaded" + Flags(this));
    inherited::Loaded();
  }
};

FYNDRA_PUBLISHED(TGadgetForm, P) {
  P.Property("Caption", &TGadgetForm::Caption);
  P.Property("Main", &TGadgetForm::GetBuddy, &TGadgetForm::SetBuddy);
  P.Method("ButtonClick", &TGadgetForm::ButtonClick);
  P.Method("OtherClick", &TGadgetForm::OtherClick);
}
FYNDRA_REGISTER_CLASS(TGadgetForm);

// A root with a sub-component: a component it owns and publishes as a property.
class TPanelForm : public TComponent {
  FYNDRA_CLASS(TPanelForm, TComponent)
 public:
  void AfterConstruction() override {
    inherited::AfterConstruction();
    Inner_ = static_cast<TWidget*>(CreateComponent(TWidget::StaticClass(), this));
    Inner_->SetName("Inner");
    Inner_->SetSubComponent(true);
  }
  TWidget* GetInner() const { return Inner_; }

 protected:
  explicit TPanelForm(TComponent* Owner) : TComponent(Owner) {}

 private:
  TWidget* Inner_ = nullptr;  // owned as a component
};

FYNDRA_PUBLISHED(TPanelForm, P) { P.ReadOnlyProperty("Inner", &TPanelForm::GetInner); }
FYNDRA_REGISTER_CLASS(TPanelForm);

TGadgetForm* NewForm(const std::string& Name, TComponent* Owner = nullptr) {
  auto* F = static_cast<TGadgetForm*>(CreateComponent(TGadgetForm::StaticClass(), Owner));
  F->SetName(Name);
  return F;
}

TWidget* NewWidget(TComponent* Owner, const std::string& Name) {
  auto* W = static_cast<TWidget*>(CreateComponent(TWidget::StaticClass(), Owner));
  W->SetName(Name);
  return W;
}

TWidget* Widget(TComponent* Form, const std::string& Name) {
  return dynamic_cast<TWidget*>(Form->FindComponent(Name));
}

// A form using every kind of property; W1 refers forward to W2.
TGadgetForm* BuildSampleForm() {
  TGadgetForm* F = NewForm("Form1");
  F->Caption = "Query form";
  TWidget* W1 = NewWidget(F, "W1");
  TWidget* W2 = NewWidget(F, "W2");
  F->SetBuddy(W2);
  W1->SetCount(7);
  W1->Big = -9000000000LL;
  W1->Shape = shTriangle;
  W1->Styles = TStyles{stItalic, stUnderline};
  W1->Active = true;
  W1->Ratio = 0.1;
  W1->Letter = 'x';
  W1->Caption = "It's caf\xC3\xA9\r\n";
  W1->Title = u"\u20AC100";
  W1->Value = Variant(std::int32_t{42});
  W1->Expression = "A and B";
  W1->Hidden = "not streamed";
  W1->SetBuddy(W2);
  W1->GetSettings()->AutoUpdate = false;
  W1->GetSettings()->Level = 3;
  auto* T1 = static_cast<TThing*>(W1->GetThings()->Add());
  T1->Caption = "first";
  T1->Size = 10;
  T1->Link = W2;
  static_cast<TThing*>(W1->GetThings()->Add())->Caption = "second";
  W1->GetLines()->Add("one");
  W1->GetLines()->Add("two 'quoted'");
  W1->OnChange = TNotifyEvent(F, &TGadgetForm::ButtonClick);
  W1->Secret = "s3cret";
  W1->Blob = {0x00, 0x7F, 0xFF};
  W1->Pairs = {1, -2, 3};
  W2->SetTag(5);
  W2->Ratio = -0.0;
  W2->Value = Null();
  W2->SetBuddy(F);
  return F;
}

const char* const kSampleText =
    "object Form1: TGadgetForm\n"
    "  Caption = 'Query form'\n"
    "  Main = W2\n"
    "  object W1: TWidget\n"
    "    Count = 7\n"
    "    Big = -9000000000\n"
    "    Shape = shTriangle\n"
    "    Styles = [stItalic, stUnderline]\n"
    "    Active = True\n"
    "    Ratio = 0.1\n"
    "    Letter = 'x'\n"
    "    Caption = 'It''s caf'#233#13#10\n"
    "    Title = #8364'100'\n"
    "    Value = 42\n"
    "    Expression = 'A and B'\n"
    "    Buddy = W2\n"
    "    Settings.AutoUpdate = False\n"
    "    Settings.Level = 3\n"
    "    Things = <\n"
    "      item\n"
    "        Caption = 'first'\n"
    "        Size = 10\n"
    "        Link = W2\n"
    "      end\n"
    "      item\n"
    "        Caption = 'second'\n"
    "      end>\n"
    "    Lines.Strings = (\n"
    "      'one'\n"
    "      'two ''quoted''')\n"
    "    OnChange = ButtonClick\n"
    "    Secret = 's3cret'\n"
    "    Blob = {\n"
    "      007FFF}\n"
    "    Pairs = (\n"
    "      1\n"
    "      -2\n"
    "      3)\n"
    "  end\n"
    "  object W2: TWidget\n"
    "    Tag = 5\n"
    "    Ratio = -0.0\n"
    "    Value = Null\n"
    "    Buddy = Form1\n"
    "  end\n"
    "end\n";

class FilerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log().clear();
    Baseline_ = LiveComponents();
  }
  void TearDown() override { EXPECT_EQ(LiveComponents(), Baseline_) << "components leaked"; }
  int Baseline_ = 0;
};

// ---------------------------------------------------------------------------

TEST_F(FilerTest, WritesEveryKindOfPropertyInPublishedOrder) {
  TOwned<TGadgetForm> F(BuildSampleForm());
  EXPECT_EQ(WriteComponentToText(F.get()), kSampleText);
}

TEST_F(FilerTest, WriteReadWriteIsByteIdentical) {
  TOwned<TComponent> Read(ReadComponentFromText(kSampleText));
  ASSERT_NE(Read, nullptr);
  EXPECT_EQ(WriteComponentToText(Read.get()), kSampleText);

  auto* F = dynamic_cast<TGadgetForm*>(Read.get());
  ASSERT_NE(F, nullptr);
  EXPECT_EQ(F->GetName(), "Form1");
  TWidget* W1 = Widget(F, "W1");
  TWidget* W2 = Widget(F, "W2");
  ASSERT_TRUE(W1 && W2);
  EXPECT_EQ(F->GetBuddy(), W2);
  EXPECT_EQ(W1->GetCount(), 7);
  EXPECT_EQ(W1->Big, -9000000000LL);
  EXPECT_EQ(W1->Shape, shTriangle);
  EXPECT_EQ(W1->Styles, (TStyles{stItalic, stUnderline}));
  EXPECT_TRUE(W1->Active);
  EXPECT_EQ(W1->Letter, 'x');
  EXPECT_EQ(W1->Caption, "It's caf\xC3\xA9\r\n");
  EXPECT_EQ(W1->Title, u"\u20AC100");
  EXPECT_EQ(W1->Value.VarType(), varInteger);
  EXPECT_EQ(W1->Value.AsInteger(), 42);
  EXPECT_EQ(W1->Hidden, "");
  EXPECT_EQ(W1->GetBuddy(), W2);
  EXPECT_FALSE(W1->GetSettings()->AutoUpdate);
  EXPECT_TRUE(W1->GetSettings()->ChangeCursor);
  EXPECT_EQ(W1->GetSettings()->Level, 3);
  ASSERT_EQ(W1->GetThings()->Count(), 2);
  EXPECT_EQ(W1->Thing(0)->Link, W2);
  EXPECT_EQ(W1->Thing(1)->Caption, "second");
  EXPECT_EQ(W1->GetLines()->GetText(), "one\ntwo 'quoted'\n");
  EXPECT_TRUE(W1->OnChange == TNotifyEvent(F, &TGadgetForm::ButtonClick));
  EXPECT_EQ(W1->Secret, "s3cret");
  EXPECT_EQ(W1->Blob, (std::vector<std::uint8_t>{0x00, 0x7F, 0xFF}));
  EXPECT_EQ(W1->Pairs, (std::vector<std::int32_t>{1, -2, 3}));
  EXPECT_EQ(W2->GetTag(), 5);
  EXPECT_TRUE(std::signbit(W2->Ratio));
  EXPECT_TRUE(W2->Value.IsNull());
  EXPECT_EQ(W2->GetBuddy(), F);
  for (TComponent* C : {static_cast<TComponent*>(F), static_cast<TComponent*>(W1), static_cast<TComponent*>(W2)})
    EXPECT_EQ(Flags(C), "") << C->GetName();
}

TEST_F(FilerTest, DefaultsAndUnstoredPropertiesAreNotWritten) {
  TOwned<TGadgetForm> F(NewForm("Form1"));
  TWidget* W = NewWidget(F.get(), "W");
  EXPECT_EQ(WriteComponentToText(F.get()), "object Form1: TGadgetForm\n  object W: TWidget\n  end\nend\n");

  W->Expression = "x";
  W->StoreExpression = false;
  W->Hidden = "y";
  W->Styles = TStyles{};  // differs from the default {stBold}
  W->OnChange = TNotifyEvent::FromCallable([](TObject*) {});  // installed by code, not a form method
  EXPECT_EQ(WriteComponentToText(F.get()),
            "object Form1: TGadgetForm\n  object W: TWidget\n    Styles = []\n  end\nend\n");
}

TEST_F(FilerTest, ReadingMarksComponentsThenCallsLoadedInCreationOrder) {
  const std::string Text =
      "object Form1: TGadgetForm\n"
      "  Main = W2\n"
      "  object W1: TWidget\n"
      "    Count = 1\n"
      "    Buddy = W2\n"
      "  end\n"
      "  object W2: TWidget\n"
      "    Count = 2\n"
      "    object W3: TWidget\n"
      "      Count = 3\n"
      "    end\n"
      "  end\n"
      "end\n";
  TOwned<TComponent> F(ReadComponentFromText(Text));
  const std::vector<std::string> Expected = {
      "W1.Count loading reading",
      "W2.Count loading reading",
      "W3.Count loading reading",
      // References are in place before the first Loaded; each Loaded sees
      // its own csLoading still set, and no component is reading any more.
      "Form1.Loaded loading",
      "W1.Loaded loading buddy=W2",
      "W2.Loaded loading",
      "W3.Loaded loading",
  };
  EXPECT_EQ(Log(), Expected);
  // Nested objects are owned by the root too.
  EXPECT_EQ(F->ComponentCount(), 3);
  EXPECT_EQ(Widget(F.get(), "W3")->Owner(), F.get());
}

TEST_F(FilerTest, ReadIntoExistingRootReusesTheComponentsItOwns) {
  TOwned<TGadgetForm> F(NewForm("Form1"));
  TWidget* W1 = NewWidget(F.get(), "W1");
  ReadComponentTextInto(
      "object Form1: TGadgetForm\n  Caption = 'again'\n  object W1: TWidget\n    Count = 4\n  end\n"
      "  object W2: TWidget\n    Buddy = W1\n  end\nend\n",
      F.get());
  EXPECT_EQ(F->Caption, "again");
  EXPECT_EQ(F->ComponentCount(), 2);
  EXPECT_EQ(Widget(F.get(), "W1"), W1);
  EXPECT_EQ(W1->GetCount(), 4);
  EXPECT_EQ(Widget(F.get(), "W2")->GetBuddy(), W1);
  // A text of an ancestor class may be read into a descendant.
  ReadComponentTextInto("object Form1: TRefHolder\nend\n", F.get());
  EXPECT_EQ(F->ComponentCount(), 2);
}

TEST_F(FilerTest, RootIsCreatedForItsOwner) {
  TOwned<TGadgetForm> Owner(NewForm("App"));
  TComponent* Root = ReadComponentFromText("object Form7: TGadgetForm\nend\n", Owner.get());
  EXPECT_EQ(Root->Owner(), Owner.get());
  EXPECT_EQ(Owner->FindComponent("Form7"), Root);
}

TEST_F(FilerTest, DataModuleKeepsItsDesignerPropertiesAndReadsFromAnAdjustedTree) {
  const std::string Text =
      "object Module: TDataModule\n  OldCreateOrder = True\n  Left = 40\n  Height = 300\n  Width = 420\nend\n";
  TOwned<TComponent> M(ReadComponentFromText(Text));
  ASSERT_NE(dynamic_cast<TDataModule*>(M.get()), nullptr);
  EXPECT_EQ(WriteComponentToText(M.get()), Text);

  // A tree adjusted before reading keeps the lines of the text it came from.
  TDfmObject Tree = ParseDfmText(Text);
  Tree.Properties.erase(Tree.Properties.begin());
  Tree.Properties.back().Value = TDfmValue::OfString("wide");
  Tree.Properties.back().Value.Line = 5;
  try {
    ReadComponentFromTree(Tree);
    ADD_FAILURE() << "a text where a number belongs was read";
  } catch (const EReadError& E) {
    EXPECT_EQ(std::string(E.what()).rfind("line 5: expected", 0), 0u) << E.what();
  }
  Tree.Properties.pop_back();
  TOwned<TComponent> Back(ReadComponentFromTree(Tree));
  EXPECT_EQ(static_cast<TDataModule*>(Back.get())->GetHeight(), 300);
  EXPECT_FALSE(static_cast<TDataModule*>(Back.get())->GetOldCreateOrder());
  EXPECT_EQ(static_cast<TDataModule*>(Back.get())->GetWidth(), 215);
}

TEST_F(FilerTest, SubComponentsStreamTheirPropertiesUnderTheirPropertyName) {
  TOwned<TComponent> F(CreateComponent(TPanelForm::StaticClass(), nullptr));
  auto* Inner = static_cast<TPanelForm*>(F.get())->GetInner();
  Inner->SetCount(3);
  Inner->GetSettings()->Level = 2;
  const std::string Text = WriteComponentToText(F.get());
  EXPECT_EQ(Text, "object TPanelForm\n  Inner.Count = 3\n  Inner.Settings.Level = 2\nend\n");
  TOwned<TComponent> Back(ReadComponentFromText(Text));
  auto* BackInner = static_cast<TPanelForm*>(Back.get())->GetInner();
  EXPECT_EQ(BackInner->GetCount(), 3);
  EXPECT_EQ(BackInner->GetSettings()->Level, 2);
  EXPECT_EQ(Back->ComponentCount(), 1);
  EXPECT_EQ(Flags(BackInner), "");
}

TEST_F(FilerTest, ReadingACollectionAgainDropsReferencesOfItsFormerItems) {
  TOwned<TComponent> F(ReadComponentFromText(
      "object Form1: TGadgetForm\n  object W: TWidget\n    Things = <\n      item\n        Link = W\n      end>\n"
      "    SameThings = <\n      item\n        Caption = 'new'\n      end>\n  end\nend\n"));
  TWidget* W = Widget(F.get(), "W");
  ASSERT_EQ(W->GetThings()->Count(), 1);
  EXPECT_EQ(W->Thing(0)->Caption, "new");
  EXPECT_EQ(W->Thing(0)->Link, nullptr);
}

struct TMalformed {
  const char* Body;      // the text inside "object Form1: TGadgetForm ... end"
  const char* Message;   // exact message, or its start when it ends with '*'
};

TEST_F(FilerTest, MalformedStreamsNameTheLineAndLeaveNothingBehind) {
  const TMalformed Cases[] = {
      {"  object X: TNoSuch\n  end\n", "line 2: expected a registered class name, found 'TNoSuch'"},
      {"  object X: TSettings\n  end\n", "line 2: expected a component class, found 'TSettings'"},
      {"  object W: TWidget\n    Nope = 1\n  end\n", "line 3: expected a property of TWidget, found 'Nope'"},
      {"  object W: TWidget\n    Settings.Nope = 1\n  end\n",
       "line 3: expected a property of TSettings, found 'Settings.Nope'"},
      {"  object W: TWidget\n    Count = 'x'\n  end\n", "line 3: expected an integer for property Count, found a string"},
      {"  object W: TWidget\n    Count = 3000000000\n  end\n",
       "line 3: expected an integer from -2147483648 to 2147483647 for property Count, found number 3000000000"},
      {"  object W: TWidget\n    Count = -1\n  end\n",
       "line 3: expected a valid value for property Count: Count must not be negative"},
      {"  object W: TWidget\n    Shape = shOval\n  end\n",
       "line 3: expected a value of TShape for property Shape, found 'shOval'"},
      {"  object W: TWidget\n    Active = Maybe\n  end\n",
       "line 3: expected a value of Boolean for property Active, found 'Maybe'"},
      {"  object W: TWidget\n    Styles = [stBold, stNope]\n  end\n",
       "line 3: expected an element of TStyle for property Styles, found 'stNope'"},
      {"  object W: TWidget\n    Ratio = 'x'\n  end\n", "line 3: expected a number for property Ratio, found a string"},
      {"  object W: TWidget\n    Caption = 5\n  end\n", "line 3: expected a string for property Caption, found number 5"},
      {"  object W: TWidget\n    Value = [a]\n  end\n",
       "line 3: expected a number, string, True, False, Null or Unassigned for property Value, found a set"},
      {"  object W: TWidget\n    Caption = 'abc\n  end\n", "line 3: expected closing quote of string"},
      {"  object W: TWidget\n    Count = 1\n", "line 5: expected property name, 'object' or 'end', found end of text"},
      {"  object W: TWidget\n    Buddy = Ghost\n  end\n",
       "line 3: expected the name of a component of TGadgetForm for property Buddy, found 'Ghost'"},
      {"  object W: TWidget\n    Buddy.Count = 1\n  end\n",
       "line 3: expected an object owned by property Buddy, found none"},
      {"  object W: TWidget\n    OnChange = Nope\n  end\n",
       "line 3: expected a published method of TGadgetForm for property OnChange, found 'Nope'"},
      {"  object W: TWidget\n  end\n  object W: TWidget\n  end\n", "line 4: expected each component once, found 'W' again"},
      {"  object W: TWidget\n    Count = 1\n    count = 2\n  end\n",
       "line 4: expected each property once, found 'count' again"},
      {"  object W: TWidget\n    Things = <\n      item\n        Size = 'x'\n      end>\n  end\n",
       "line 5: expected an integer for property Size, found a string"},
      {"  object W: TWidget\n    Things = <\n      item\n        Link = Ghost\n      end>\n  end\n",
       "line 5: expected the name of a component of TGadgetForm for property Link, found 'Ghost'"},
      {"  object W: TWidget\n    Lines.Strings = ('a' 5)\n  end\n",
       "line 3: expected a string in the list of property Lines.Strings, found number 5"},
      {"  object W: TWidget\n    Secret = 5\n  end\n", "line 3: expected a string for property Secret, found number 5"},
      {"  object W: TWidget\n    Blob = 'x'\n  end\n", "line 3: expected binary data for property Blob, found a string"},
      {"  object W: TWidget\n    Pairs = (1 'x')\n  end\n",
       "line 3: expected a 32-bit integer for property Pairs, found a string"},
      {"  object W: TWidget\n    Settings = 1\n  end\n",
       "line 3: expected a component name or a collection for property Settings, found number 1"},
      {"  object W: TWidget\n    Tag = 666\n  end\n", "Widget refuses to load"},
  };
  TOwned<TGadgetForm> Owner(NewForm("App"));
  for (const TMalformed& C : Cases) {
    const std::string Text = std::string("object Form1: TGadgetForm\n") + C.Body + "end\n";
    std::string Got = "(no error)";
    try {
      TComponent* Root = ReadComponentFromText(Text, Owner.get());
      Free(Root);
    } catch (const Exception& E) {
      Got = E.Message();
      if (Got != "Widget refuses to load") {
        EXPECT_NE(dynamic_cast<const EReadError*>(&E), nullptr) << Got;
      }
    }
    EXPECT_EQ(Got, C.Message) << Text;
    EXPECT_EQ(Owner->ComponentCount(), 0) << Text;
    EXPECT_EQ(LiveComponents(), Baseline_ + 1) << Text;
  }
}

TEST_F(FilerTest, FailedReadIntoExistingRootFreesOnlyWhatItCreated) {
  TOwned<TGadgetForm> F(NewForm("Form1"));
  TWidget* W1 = NewWidget(F.get(), "W1");
  EXPECT_THROW(ReadComponentTextInto("object Form1: TGadgetForm\n  object W1: TWidget\n  end\n"
                                     "  object W2: TWidget\n    Buddy = Ghost\n  end\nend\n",
                                     F.get()),
               EReadError);
  EXPECT_EQ(F->ComponentCount(), 1);
  EXPECT_EQ(F->GetComponent(0), W1);
  EXPECT_EQ(Flags(F.get()), "");
  EXPECT_EQ(Flags(W1), "");
  try {
    ReadComponentTextInto("object Form1: TWidget\nend\n", F.get());
    ADD_FAILURE() << "class mismatch accepted";
  } catch (const EReadError& E) {
    EXPECT_EQ(E.Message(), "line 1: expected class TGadgetForm or an ancestor of it, found 'TWidget'");
  }
}

TEST_F(FilerTest, WriterRefusesWhatCouldNotBeReadBack) {
  TOwned<TGadgetForm> F(NewForm("Form1"));
  TOwned<TGadgetForm> Other(NewForm("Form2"));
  TWidget* Outside = NewWidget(Other.get(), "Far");
  TWidget* W = NewWidget(F.get(), "W");
  W->SetBuddy(Outside);
  EXPECT_THROW(WriteComponentToText(F.get()), EWriteError);
  W->SetBuddy(NewWidget(F.get(), ""));
  EXPECT_THROW(WriteComponentToText(F.get()), EWriteError);
  EXPECT_EQ(Flags(W), "");
  EXPECT_FALSE(F->ComponentState().Contains(csWriting));

  // A wide text with an unpaired surrogate has no form text that reads back;
  // a surrogate pair does.
  W->SetBuddy(nullptr);
  W->Title = std::u16string(u"a") + char16_t(0xD800);
  EXPECT_THROW(WriteComponentToText(F.get()), EWriteError);
  W->Title = u"😀";
  W->Value = Variant(std::u16string(1, char16_t(0xDC00)));
  EXPECT_THROW(WriteComponentToText(F.get()), EWriteError);
  W->Value = Variant(u"😀");
  TOwned<TComponent> Back(ReadComponentFromText(WriteComponentToText(F.get())));
  EXPECT_EQ(Widget(Back.get(), "W")->Title, u"😀");
  EXPECT_EQ(Widget(Back.get(), "W")->Value.AsWideString(), u"😀");
}

// Random edits of a valid form: the reader either builds a form that writes
// and reads again, or raises EReadError; it never crashes and never leaks.
TEST_F(FilerTest, RandomAndTruncatedStreamsNeverCrashOrLeak) {
  const std::string Sample = kSampleText;
  const std::string Alphabet = "object end item W1W2=:[](){}<>,+-#$'0123456789.\n ";
  const char* const Words[] = {"Count", "Buddy", "Form1", "W1", "TWidget", "Things", "Lines.Strings",
                               "Settings.Level", "True", "nil", "Null", "ButtonClick", "Secret", "Pairs"};
  TOwned<TGadgetForm> Owner(NewForm("App"));
  std::mt19937 Rng(4242);
  int Built = 0, Refused = 0;
  auto Try = [&](const std::string& Text) {
    try {
      TOwned<TComponent> Root(ReadComponentFromText(Text, Owner.get()));
      const std::string Again = WriteComponentToText(Root.get());
      Root.reset();
      TOwned<TComponent> Second(ReadComponentFromText(Again, Owner.get()));
      ASSERT_EQ(WriteComponentToText(Second.get()), Again);
      ++Built;
    } catch (const EReadError& E) {
      ASSERT_EQ(E.Message().rfind("line ", 0), 0u) << E.Message();
      ++Refused;
    }
    ASSERT_EQ(Owner->ComponentCount(), 0) << Text;
  };
  for (std::size_t N = 0; N < Sample.size(); N += 3) Try(Sample.substr(0, N));
  for (int I = 0; I < 2000; ++I) {
    std::string Text = Sample;
    const int Edits = 1 + static_cast<int>(Rng() % 3);
    for (int E = 0; E < Edits; ++E) {
      const std::size_t At = Rng() % Text.size();
      switch (Rng() % 4) {
        case 0: Text[At] = Alphabet[Rng() % Alphabet.size()]; break;
        case 1: Text.erase(At, 1 + Rng() % 6); break;
        case 2: Text.insert(At, Words[Rng() % std::size(Words)]); break;
        default: Text.insert(At, 1, Alphabet[Rng() % Alphabet.size()]); break;
      }
      if (Text.empty()) Text = "x";
    }
    Try(Text);
  }
  EXPECT_GT(Built, 100);
  EXPECT_GT(Refused, 100);
}

}  // namespace
}  // namespace fyndra
