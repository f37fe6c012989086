#include <fyndra/platform/classes/typinfo.h>

#include <gtest/gtest.h>

#include <fyndra/platform/classes/classes.h>

namespace fyndra {

enum TTiKind : std::uint8_t { tiPlain, tiFancy, tiOdd };
FYNDRA_ENUM_NAMES(TTiKind, tiPlain, tiFancy, tiOdd)
using TTiKinds = TSet<TTiKind>;

namespace {

// A sub-object published as a property, as a model publishes its options.
class TTiSettings : public TPersistent {
  FYNDRA_CLASS(TTiSettings, TPersistent)
 public:
  bool GetAuto() const { return Auto_; }
  void SetAuto(bool V) { Auto_ = V; }
  void Assign(TPersistent* Source) override {
    if (auto* S = dynamic_cast<TTiSettings*>(Source)) {
      Auto_ = S->Auto_;
      return;
    }
    TPersistent::Assign(Source);
  }

 protected:
  TTiSettings() = default;

 private:
  bool Auto_ = true;
};

class TTiItem : public TCollectionItem {
  FYNDRA_CLASS(TTiItem, TCollectionItem)
 protected:
  explicit TTiItem(TCollection* C) : TCollectionItem(C) {}
};

class TTiFoo : public TComponent {
  FYNDRA_CLASS(TTiFoo, TComponent)
 public:
  void AfterConstruction() override {
    TComponent::AfterConstruction();
    Settings_ = CreateOwned<TTiSettings>();
    Items_ = CreateOwned<TOwnedCollection>(this, TTiItem::StaticClass());
  }
  std::int32_t GetCount() const { return Count_; }
  void SetCount(std::int32_t V) { Count_ = V; }
  TTiKind GetKind() const { return Kind_; }
  void SetKind(TTiKind V) { Kind_ = V; }
  TTiKinds GetKinds() const { return Kinds_; }
  void SetKinds(TTiKinds V) { Kinds_ = V; }
  std::string GetText() const { return Text_; }
  void SetText(const std::string& V) { Text_ = V; }
  bool IsTextStored() const { return Text_ != "implicit"; }
  TTiSettings* GetSettings() const { return Settings_.get(); }
  void SetSettings(TTiSettings* V) { Settings_->Assign(V); }
  TCollection* GetItems() const { return Items_.get(); }
  void SetItems(TCollection* V) { Items_->Assign(V); }
  void Handler(TObject* Sender) { LastSender = Sender; }
  void OtherHandler(TObject*) {}

  bool Active = false;
  double Ratio = 0;
  std::int64_t Big = 0;
  std::u16string Wide;
  Variant Value;
  char Letter = 'a';
  TComponent* Buddy = nullptr;
  TNotifyEvent OnChange;
  TObject* LastSender = nullptr;

 protected:
  explicit TTiFoo(TComponent* Owner) : TComponent(Owner) {}

 private:
  std::int32_t Count_ = 0;
  TTiKind Kind_ = tiPlain;
  TTiKinds Kinds_{tiFancy};
  std::string Text_;
  TOwned<TTiSettings> Settings_;
  TOwned<TCollection> Items_;
};

// A descendant that publishes one more property and changes an inherited default.
class TTiBar : public TTiFoo {
  FYNDRA_CLASS(TTiBar, TTiFoo)
 public:
  std::int32_t Extra = 0;

 protected:
  explicit TTiBar(TComponent* Owner) : TTiFoo(Owner) {}
};

}  // namespace

FYNDRA_IMPLEMENT_CLASS(TTiItem)

FYNDRA_PUBLISHED(TTiSettings, P) {
  P.Property("Auto", &TTiSettings::GetAuto, &TTiSettings::SetAuto).Default(true);
}

FYNDRA_PUBLISHED(TTiFoo, P) {
  P.Property("Count", &TTiFoo::GetCount, &TTiFoo::SetCount).Default(0);
  P.Property("Kind", &TTiFoo::GetKind, &TTiFoo::SetKind).Default(tiPlain);
  P.Property("Kinds", &TTiFoo::GetKinds, &TTiFoo::SetKinds).Default(TTiKinds{tiFancy});
  P.Property("Text", &TTiFoo::GetText, &TTiFoo::SetText).Stored(&TTiFoo::IsTextStored);
  P.Property("Active", &TTiFoo::Active).Default(false);
  P.Property("Ratio", &TTiFoo::Ratio);
  P.Property("Big", &TTiFoo::Big);
  P.Property("Wide", &TTiFoo::Wide);
  P.Property("Value", &TTiFoo::Value);
  P.Property("Letter", &TTiFoo::Letter);
  P.Property("Buddy", &TTiFoo::Buddy);
  P.Property("Settings", &TTiFoo::GetSettings, &TTiFoo::SetSettings);
  P.Property("Items", &TTiFoo::GetItems, &TTiFoo::SetItems);
  P.Property("OnChange", &TTiFoo::OnChange);
  P.Method("Handler", &TTiFoo::Handler);
}

FYNDRA_PUBLISHED(TTiBar, P) {
  P.Property("Count", &TTiBar::GetCount, &TTiBar::SetCount).Default(7);
  P.Property("Extra", &TTiBar::Extra).Default(0);
}

namespace {

struct TypInfoTest : ::testing::Test {
  TOwned<TTiFoo> Foo{Create<TTiFoo>(nullptr)};
};

TEST_F(TypInfoTest, PropertiesAreListedInStreamingOrderWithInheritedOnesFirst) {
  std::vector<std::string> Names;
  for (PPropInfo P : GetPropList(TTiBar::StaticClass())) Names.push_back(P->Name);
  std::vector<std::string> Expected{"Name",  "Tag",    "Count",  "Kind",     "Kinds", "Text",     "Active", "Ratio",
                                    "Big",   "Wide",   "Value",  "Letter",   "Buddy", "Settings", "Items",  "OnChange",
                                    "Extra"};
  EXPECT_EQ(Names, Expected);
  // The redeclared Count keeps its place but has the descendant's default.
  EXPECT_EQ(GetPropInfo(TTiBar::StaticClass(), "Count")->Default, 7);
  EXPECT_EQ(GetPropInfo(TTiFoo::StaticClass(), "Count")->Default, 0);
  EXPECT_EQ(GetPropInfo(TTiBar::StaticClass(), "count")->NameIndex, 2);
}

TEST_F(TypInfoTest, KindsFollowTheValueTypes) {
  const std::pair<const char*, TTypeKind> Cases[] = {
      {"Tag", tkInt64},     {"Count", tkInteger}, {"Kind", tkEnumeration}, {"Kinds", tkSet},
      {"Text", tkString},   {"Active", tkEnumeration}, {"Ratio", tkFloat},  {"Big", tkInt64},
      {"Wide", tkWString},  {"Value", tkVariant}, {"Letter", tkChar},      {"Buddy", tkClass},
      {"Settings", tkClass}, {"Items", tkClass},  {"OnChange", tkMethod},  {"Name", tkString},
  };
  for (auto [Name, Kind] : Cases) {
    PPropInfo P = GetPropInfo(Foo.get(), Name);
    ASSERT_NE(P, nullptr) << Name;
    EXPECT_EQ(P->Kind(), Kind) << Name;
  }
  EXPECT_EQ(GetPropInfo(Foo.get(), "Count", TTypeKinds{tkString}), nullptr);
  EXPECT_NE(GetPropInfo(Foo.get(), "Count", tkOrdinal()), nullptr);
  EXPECT_EQ(GetPropInfo(Foo.get(), "Nothing"), nullptr);
  EXPECT_EQ(GetPropInfo(Foo.get(), "Settings")->PropType->ClassType, TTiSettings::StaticClass());
  EXPECT_EQ(GetPropInfo(Foo.get(), "Kinds")->PropType->CompType, FyndraTypeInfo(static_cast<TTiKind*>(nullptr)));
}

TEST_F(TypInfoTest, OrdinalEnumerationAndSetValuesByNumberAndByName) {
  SetOrdProp(Foo.get(), "Count", 42);
  EXPECT_EQ(Foo->GetCount(), 42);
  EXPECT_EQ(GetOrdProp(Foo.get(), "Count"), 42);
  EXPECT_THROW(SetOrdProp(Foo.get(), "Count", std::int64_t{1} << 40), EPropertyConvertError);

  SetEnumProp(Foo.get(), "Kind", "TIFANCY");
  EXPECT_EQ(Foo->GetKind(), tiFancy);
  EXPECT_EQ(GetEnumProp(Foo.get(), "Kind"), "tiFancy");
  EXPECT_THROW(SetEnumProp(Foo.get(), "Kind", "tiNone"), EPropertyConvertError);
  EXPECT_THROW(SetOrdProp(Foo.get(), "Kind", 3), EPropertyConvertError);
  EXPECT_EQ(Foo->GetKind(), tiFancy);

  SetEnumProp(Foo.get(), "Active", "True");
  EXPECT_TRUE(Foo->Active);
  EXPECT_EQ(GetEnumProp(Foo.get(), "Active"), "True");

  SetSetProp(Foo.get(), "Kinds", "[ tiPlain , tiOdd ]");
  EXPECT_EQ(Foo->GetKinds(), (TTiKinds{tiPlain, tiOdd}));
  EXPECT_EQ(GetSetProp(Foo.get(), "Kinds"), "[tiPlain,tiOdd]");
  EXPECT_EQ(GetSetProp(Foo.get(), "Kinds", false), "tiPlain,tiOdd");
  SetSetProp(Foo.get(), "Kinds", "[]");
  EXPECT_TRUE(Foo->GetKinds().Empty());
  EXPECT_THROW(SetSetProp(Foo.get(), "Kinds", "[tiPlain,tiNone]"), EPropertyConvertError);
  EXPECT_THROW(SetSetProp(Foo.get(), "Kinds", "[tiPlain,]"), EPropertyConvertError);
  EXPECT_TRUE(Foo->GetKinds().Empty());  // a refused text changes nothing
  EXPECT_EQ(GetOrdProp(Foo.get(), "Kinds"), 0);

  SetOrdProp(Foo.get(), "Big", std::int64_t{1} << 40);
  EXPECT_EQ(Foo->Big, std::int64_t{1} << 40);
  SetStrProp(Foo.get(), "Letter", "z");
  EXPECT_EQ(Foo->Letter, 'z');
}

TEST_F(TypInfoTest, TextFloatVariantValues) {
  SetStrProp(Foo.get(), "Text", "h\xC3\xA9llo");
  EXPECT_EQ(Foo->GetText(), "h\xC3\xA9llo");
  EXPECT_EQ(GetWideStrProp(Foo.get(), "Text"), u"h\u00E9llo");
  SetWideStrProp(Foo.get(), "Wide", u"\u00FCber");
  EXPECT_EQ(Foo->Wide, u"\u00FCber");
  EXPECT_EQ(GetStrProp(Foo.get(), "Wide"), "\xC3\xBC" "ber");
  SetStrProp(Foo.get(), "Wide", "x");
  EXPECT_EQ(Foo->Wide, u"x");

  SetFloatProp(Foo.get(), "Ratio", 2.5);
  EXPECT_EQ(Foo->Ratio, 2.5);
  EXPECT_EQ(GetFloatProp(Foo.get(), "Ratio"), 2.5);

  SetVariantProp(Foo.get(), "Value", Variant(std::int32_t{12}));
  EXPECT_EQ(Foo->Value.VarType(), varInteger);
  EXPECT_EQ(GetVariantProp(Foo.get(), "Value").RawInt(), 12);
}

TEST_F(TypInfoTest, ObjectValuesCheckTheClass) {
  TOwned<TComponent> Other(Create<TComponent>(nullptr));
  SetObjectProp(Foo.get(), "Buddy", Other.get());
  EXPECT_EQ(Foo->Buddy, Other.get());
  EXPECT_EQ(GetObjectProp(Foo.get(), "Buddy"), Other.get());
  TOwned<TStringList> Wrong(Create<TStringList>());
  EXPECT_THROW(SetObjectProp(Foo.get(), "Buddy", Wrong.get()), EPropertyError);
  EXPECT_EQ(Foo->Buddy, Other.get());
  SetObjectProp(Foo.get(), "Buddy", nullptr);
  EXPECT_EQ(Foo->Buddy, nullptr);

  // A sub-object property is written through its setter, which assigns.
  TOwned<TTiSettings> S(Create<TTiSettings>());
  S->SetAuto(false);
  SetObjectProp(Foo.get(), "Settings", S.get());
  EXPECT_FALSE(Foo->GetSettings()->GetAuto());
  EXPECT_NE(GetObjectProp(Foo.get(), "Settings"), S.get());
  EXPECT_EQ(GetObjectProp(Foo.get(), "Items"), Foo->GetItems());
  EXPECT_EQ(GetEnumProp(Foo->GetSettings(), "Auto"), "False");
}

TEST_F(TypInfoTest, MethodValuesAndPublishedMethods) {
  TMethod M = MethodAddress(Foo.get(), "handler");
  ASSERT_FALSE(M.IsNull());
  SetMethodProp(Foo.get(), "OnChange", M);
  ASSERT_TRUE(Foo->OnChange);
  Foo->OnChange(Foo.get());
  EXPECT_EQ(Foo->LastSender, Foo.get());
  EXPECT_EQ(Foo->OnChange, TNotifyEvent(Foo.get(), &TTiFoo::Handler));
  EXPECT_EQ(MethodName(Foo.get(), GetMethodProp(Foo.get(), "OnChange")), "Handler");
  EXPECT_EQ(MethodName(Foo.get(), TNotifyEvent(Foo.get(), &TTiFoo::OtherHandler).Method()), "");
  EXPECT_TRUE(MethodAddress(Foo.get(), "Missing").IsNull());

  TEvent<void(int)> WrongSignature([](int) {});
  EXPECT_THROW(SetMethodProp(Foo.get(), "OnChange", WrongSignature.Method()), EPropertyError);
  SetMethodProp(Foo.get(), "OnChange", TMethod());
  EXPECT_FALSE(Foo->OnChange);
}

TEST_F(TypInfoTest, WrongKindsUnknownNamesAndForeignInstancesAreRefused) {
  EXPECT_THROW(GetOrdProp(Foo.get(), "Text"), EPropertyError);
  EXPECT_THROW(GetStrProp(Foo.get(), "Count"), EPropertyError);
  EXPECT_THROW(GetFloatProp(Foo.get(), "Count"), EPropertyError);
  EXPECT_THROW(GetEnumProp(Foo.get(), "Kinds"), EPropertyError);
  EXPECT_THROW(GetSetProp(Foo.get(), "Kind"), EPropertyError);
  EXPECT_THROW(GetObjectProp(Foo.get(), "OnChange"), EPropertyError);
  EXPECT_THROW(GetMethodProp(Foo.get(), "Buddy"), EPropertyError);
  EXPECT_THROW(GetVariantProp(Foo.get(), "Text"), EPropertyError);
  EXPECT_THROW(GetOrdProp(Foo.get(), "Missing"), EPropertyError);
  EXPECT_THROW(GetOrdProp(nullptr, "Count"), EPropertyError);
  TOwned<TComponent> Plain(Create<TComponent>(nullptr));
  EXPECT_THROW(GetOrdProp(Plain.get(), GetPropInfo(Foo.get(), "Count")), EPropertyError);
}

TEST_F(TypInfoTest, StoredTestsAndDefaults) {
  auto Stored = [&](const char* Name) { return IsStoredProp(Foo.get(), GetPropInfo(Foo.get(), Name)); };
  auto AtDefault = [&](const char* Name) { return IsDefaultPropValue(Foo.get(), GetPropInfo(Foo.get(), Name)); };
  EXPECT_FALSE(Stored("Name"));
  EXPECT_TRUE(Stored("Text"));
  Foo->SetText("implicit");
  EXPECT_FALSE(Stored("Text"));

  EXPECT_TRUE(AtDefault("Count"));
  Foo->SetCount(3);
  EXPECT_FALSE(AtDefault("Count"));
  EXPECT_TRUE(AtDefault("Kinds"));
  Foo->SetKinds({});
  EXPECT_FALSE(AtDefault("Kinds"));
  EXPECT_FALSE(AtDefault("Letter"));  // an ordinal without default is always written
  EXPECT_TRUE(AtDefault("Ratio"));
  EXPECT_TRUE(AtDefault("Wide"));
  EXPECT_TRUE(AtDefault("Value"));
  EXPECT_TRUE(AtDefault("Buddy"));
  EXPECT_TRUE(AtDefault("OnChange"));
  EXPECT_FALSE(AtDefault("Text"));
  Foo->Ratio = 1;
  EXPECT_FALSE(AtDefault("Ratio"));
  Foo->Ratio = -0.0;  // equal to 0 but not the same value: it must be stored
  EXPECT_FALSE(AtDefault("Ratio"));
  Foo->Ratio = 0.0;
  EXPECT_TRUE(AtDefault("Ratio"));
}

TEST_F(TypInfoTest, AnyValueAsVariant) {
  SetPropValue(Foo.get(), "Kind", Variant("tiOdd"));
  SetPropValue(Foo.get(), "Active", Variant(true));
  SetPropValue(Foo.get(), "Kinds", Variant("[tiPlain]"));
  SetPropValue(Foo.get(), "Count", Variant("17"));
  SetPropValue(Foo.get(), "Text", Variant(std::int32_t{5}));
  SetPropValue(Foo.get(), "Ratio", Variant(0.25));
  EXPECT_EQ(Foo->GetKind(), tiOdd);
  EXPECT_TRUE(Foo->Active);
  EXPECT_EQ(Foo->GetKinds(), TTiKinds{tiPlain});
  EXPECT_EQ(Foo->GetCount(), 17);
  EXPECT_EQ(Foo->GetText(), "5");
  EXPECT_EQ(GetPropValue(Foo.get(), "Kind").AsString(), "tiOdd");
  EXPECT_EQ(GetPropValue(Foo.get(), "Kinds").AsString(), "[tiPlain]");
  EXPECT_EQ(GetPropValue(Foo.get(), "Count").AsInteger(), 17);
  EXPECT_EQ(GetPropValue(Foo.get(), "Ratio").AsDouble(), 0.25);
  EXPECT_THROW(GetPropValue(Foo.get(), "Buddy"), EPropertyError);
  EXPECT_THROW(SetPropValue(Foo.get(), "Count", Variant("many")), EConvertError);
  EXPECT_EQ(Foo->GetCount(), 17);
}

TEST_F(TypInfoTest, NamePathsFollowOwnersAndPropertyNames) {
  Foo->SetName("Foo");
  TCollectionItem* Item = Foo->GetItems()->Add();
  EXPECT_EQ(Foo->GetItems()->GetNamePath(), "Foo.Items");
  EXPECT_EQ(Item->GetNamePath(), "Foo.Items[0]");
  EXPECT_EQ(Foo->GetSettings()->GetNamePath(), "TTiSettings");  // a plain sub-object has no owner
  try {
    Foo->GetSettings()->Assign(nullptr);
    FAIL();
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message(), "Cannot assign a nil to a TTiSettings");
  }
}

TEST(EnumTypeInfoTest, NamesAndValues) {
  PTypeInfo T = FyndraTypeInfo(static_cast<TTiKind*>(nullptr));
  EXPECT_EQ(T->Name, "TTiKind");
  EXPECT_EQ(T->EnumNames, (std::vector<std::string>{"tiPlain", "tiFancy", "tiOdd"}));
  EXPECT_EQ(GetEnumName(T, 2), "tiOdd");
  EXPECT_EQ(GetEnumName(T, 3), "");
  EXPECT_EQ(GetEnumValue(T, "TIODD"), 2);
  EXPECT_EQ(GetEnumValue(T, "x"), -1);
  EXPECT_EQ(GetEnumName(BooleanTypeInfo(), 1), "True");
  EXPECT_EQ(GetEnumValue(FyndraTypeInfo(static_cast<TOperation*>(nullptr)), "opRemove"), 1);
}

}  // namespace
}  // namespace fyndra
