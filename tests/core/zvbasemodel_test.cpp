// The base model and its items, tested through a small concrete model whose
// items compare against an in-test record (field name -> value), with in-test
// operators so that these tests depend only on the spine itself (and on the
// real expression calculator, which every model owns).
#include <fyndra/core/zvbasemodel.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <fyndra/platform/rtl/textservice.h>
#include <fyndra/platform/streaming/filer.h>

namespace fyndra {
namespace {

using TLog = std::vector<std::string>;

std::string NameOf(TzvCompareItem* Item) { return Item ? Item->GetName() : "null"; }

// Key 0: agrees when the record's value is the same as the item's.
class TTestEqualOp : public TzvCompareModel {
  FYNDRA_CLASS(TTestEqualOp, TzvCompareModel)
 public:
  static inline int Refreshes = 0;
  static inline bool FailRefresh = false;
  void DataChanged() override {
    ++Refreshes;
    if (FailRefresh) throw EConvertError("refresh failed");
    SetConvertedValue(GetValue());
    SetIsConverted(true);
  }
  bool IsAgree() override { return VarSameValue(GetConvertedValue(), GetCompareAsVariant()); }

 protected:
  TTestEqualOp() = default;
};
FYNDRA_IMPLEMENT_CLASS(TTestEqualOp)

// Key 6: agrees when the record's text starts with the item's text.
class TTestStartsOp : public TzvCompareModel {
  FYNDRA_CLASS(TTestStartsOp, TzvCompareModel)
 public:
  bool IsAgree() override { return GetCompareAsString().starts_with(VarToStr(GetValue())); }

 protected:
  TTestStartsOp() = default;
};
FYNDRA_IMPLEMENT_CLASS(TTestStartsOp)

class TTestModel;

// Compares against the model's record under its field name; like a field
// item, it is named after its field when it has one.
class TzvTestItem : public TzvCompareItem {
  FYNDRA_CLASS(TzvTestItem, TzvCompareItem)
 public:
  Variant GetCompareAsVariant() override;
  std::string GetCompareAsString() override { return VarToStr(GetCompareAsVariant()); }
  void SetFieldName(const std::string& Text) override {
    FieldName_ = Text;
    UpdateData();
  }
  std::string GetFieldName() override { return FieldName_.empty() ? TzvCompareItem::GetFieldName() : FieldName_; }
  std::string DefaultName() override { return FieldName_.empty() ? TzvCompareItem::DefaultName() : FieldName_; }
  void LightUpdateData() override { ++LightUpdates; }

  int LightUpdates = 0;

 protected:
  explicit TzvTestItem(TCollection* Collection) : TzvCompareItem(Collection) {}

 private:
  std::string FieldName_;
};
FYNDRA_IMPLEMENT_CLASS(TzvTestItem)

class TTestModel : public TzvBaseModel {
  FYNDRA_CLASS(TTestModel, TzvBaseModel)
 public:
  std::map<std::string, Variant> Record;
  TLog* Log = nullptr;
  bool Active = true;
  bool FailApply = false;
  // The fields SetDefaultItemsData makes items for.
  std::vector<std::string> Fields;
  int DefaultItemsRuns = 0;
  int Applies = 0;

  TzvModelOptions* GetModelOptions() const { return GetOptions(); }
  void SetModelOptions(TzvModelOptions* Value) { GetOptions()->Assign(Value); }
  TzvTestItem* Item(int Index) const { return static_cast<TzvTestItem*>(GetCompareItems()->GetItem(Index)); }
  TzvTestItem* AddItem(const std::string& Name = "") {
    auto* I = static_cast<TzvTestItem*>(GetCompareItems()->Add());
    if (!Name.empty()) I->SetName(Name);
    return I;
  }

  bool GetActive() override { return Active && TzvBaseModel::GetActive(); }
  void UpdateItem(TzvCompareItem* Item) override {
    if (Log) Log->push_back("UpdateItem " + NameOf(Item));
    TzvBaseModel::UpdateItem(Item);
  }
  void SetDefaultItemsData() override {
    ++DefaultItemsRuns;
    GetCompareItems()->Clear();
    for (const std::string& F : Fields) GetCompareItems()->Add()->SetFieldName(F);
  }

 protected:
  explicit TTestModel(TComponent* Owner) : TzvBaseModel(Owner) {}
  bool InternalApply() override {
    ++Applies;
    if (Log) Log->push_back("InternalApply");
    if (FailApply) throw EConvertError("apply failed");
    return true;
  }
  void CreateCompareModelList(TzvCompareModelList*& List) override {
    List = Create<TzvCompareModelList>();
    List->Add(0, "equal", &zvCompareModelClassOf<TTestEqualOp>);
    List->Add(6, "starts with", &zvCompareModelClassOf<TTestStartsOp>);
  }
  void CreateCompareItems(TzvCompareItems*& Items) override {
    Items = Create<TzvCompareItems>(this, TzvTestItem::StaticClass());
  }
};
FYNDRA_PUBLISHED(TTestModel, P) { P.Property("Options", &TTestModel::GetModelOptions, &TTestModel::SetModelOptions); }
FYNDRA_REGISTER_CLASS(TTestModel);

Variant TzvTestItem::GetCompareAsVariant() {
  auto* M = static_cast<TTestModel*>(GetModel());
  auto It = M->Record.find(GetFieldName());
  return It == M->Record.end() ? Null() : It->second;
}

// Records every listener event in a shared log; can fail on one kind of
// event ("Deleting" refuses deletions and renames) and run a hook first.
class TSpy : public TObjectInterface, public IItemListener {
  FYNDRA_CLASS(TSpy, TObjectInterface)
 public:
  TLog* Log = nullptr;
  std::string Tag = "spy";
  std::string FailOn;
  std::function<void()> Hook;
  void ItemAdded(TzvCompareItem* Item) override { Event("Added", Item); }
  void ItemDeleting(TzvCompareItem* Item) override { Event("Deleting", Item); }
  void ItemValueChanged(TzvCompareItem* Item) override { Event("ValueChanged", Item); }
  void ItemDataTypeChanged(TzvCompareItem* Item) override { Event("DataTypeChanged", Item); }

 protected:
  TSpy() = default;
  void* GetInterface(const TGUID& IID) override {
    if (IID == IItemListener::IID) return static_cast<IItemListener*>(this);
    return TObjectInterface::GetInterface(IID);
  }

 private:
  void Event(const std::string& Kind, TzvCompareItem* Item) {
    Log->push_back(Tag + " " + Kind + " " + NameOf(Item));
    if (Hook) Hook();
    if (Kind == FailOn) throw EzvBaseModelError("refused");
  }
};
FYNDRA_IMPLEMENT_CLASS(TSpy)

class ZvBaseModel : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultLocale("en_US");
    Model.reset(Create<TTestModel>(nullptr));
    Spy.reset(Create<TSpy>());
    Spy->Log = &Log;
    Items()->AddItemListener(Spy.get());
  }
  void TearDown() override {
    if (Model) Items()->RemoveItemListener(Spy.get());
  }
  TzvCompareItems* Items() const { return Model->GetCompareItems(); }
  // Starts recording model calls and listener events from here on.
  void Record() {
    Log.clear();
    Model->Log = &Log;
  }
  std::string Raised(const std::function<void()>& Action) {
    try {
      Action();
    } catch (const EzvBaseModelError& E) {
      return E.Message();
    }
    return "(nothing raised)";
  }

  TLog Log;
  TOwned<TTestModel> Model;
  TOwned<TSpy> Spy;
};

// ---------------------------------------------------------------------------
// Names

TEST_F(ZvBaseModel, DefaultNamesCountUpAndFillTheGapLeftByARename) {
  Model->AddItem();
  Model->AddItem();
  Model->AddItem();
  EXPECT_EQ(Model->Item(0)->GetName(), "TzvTestItem");
  EXPECT_EQ(Model->Item(1)->GetName(), "TzvTestItem2");
  EXPECT_EQ(Model->Item(2)->GetName(), "TzvTestItem3");
  Model->Item(1)->SetName("Price");
  EXPECT_EQ(Model->AddItem()->GetName(), "TzvTestItem2");
  // A default name is not an explicit one: it is not marked as assigned.
  EXPECT_FALSE(Model->Item(0)->GetAssignedValues().Contains(civName));
  EXPECT_TRUE(Model->Item(1)->GetAssignedValues().Contains(civName));
}

TEST_F(ZvBaseModel, RenameToAnotherItemsNameIgnoringCaseIsRefusedAndChangesNothing) {
  Model->AddItem("Price");
  TzvTestItem* B = Model->AddItem("Amount");
  Record();
  EXPECT_EQ(Raised([&] { B->SetName("PRICE"); }), "Duplicate name \"PRICE\"");
  EXPECT_EQ(B->GetName(), "Amount");
  EXPECT_EQ(Log, TLog{});
}

TEST_F(ZvBaseModel, RenameToOwnNameInOtherCaseIsAnnouncedAsDeletionThenAddition) {
  TzvTestItem* A = Model->AddItem("Price");
  Model->GetOptions()->SetAutoUpdate(false);
  Record();
  A->SetName("PRICE");
  EXPECT_EQ(A->GetName(), "PRICE");
  EXPECT_EQ(Log, (TLog{"spy Deleting Price", "spy Added PRICE", "UpdateItem PRICE"}));
  Log.clear();
  A->SetName("PRICE");  // the very same text: nothing at all
  EXPECT_EQ(Log, TLog{});
}

TEST_F(ZvBaseModel, FindByNameIgnoresCaseAndPrefixesTheModelsNameWhenMissing) {
  TzvTestItem* A = Model->AddItem("Price");
  EXPECT_EQ(Items()->FindItem("pRICE"), A);
  EXPECT_EQ(Items()->FindByName("PRICE"), A);
  EXPECT_EQ(Items()->FindItem("X"), nullptr);
  EXPECT_EQ(Raised([&] { Items()->FindByName("X"); }), "Item 'X' not found");
  Model->SetName("Finder");
  EXPECT_EQ(Raised([&] { Items()->FindByName("X"); }), "Finder: Item 'X' not found");
}

// ---------------------------------------------------------------------------
// Operators, options and values

TEST_F(ZvBaseModel, UnregisteredKeyIsRefusedAndKeepsTheOperator) {
  TzvTestItem* A = Model->AddItem();
  TzvCompareModel* Before = A->GetCompareModel();
  EXPECT_EQ(Raised([&] { A->SetCompareKey(3); }), "CompareModel '3' not found");
  EXPECT_EQ(A->GetCompareKey(), 0);
  EXPECT_EQ(A->GetCompareModel(), Before);
  EXPECT_FALSE(A->GetAssignedValues().Contains(civCompareKey));

  A->SetCompareKey(6);
  EXPECT_NE(dynamic_cast<TTestStartsOp*>(A->GetCompareModel()), nullptr);
  EXPECT_EQ(A->GetCompareModel()->GetItem(), A);
  EXPECT_TRUE(VarIsNull(A->GetCompareModel()->GetValue()));  // not refreshed yet
  EXPECT_TRUE(A->IsCompareKeyStored());
  // The key follows the data type only while it was never chosen.
  A->SetDataType(varString, 20);
  EXPECT_FALSE(A->IsCompareKeyStored());  // 6 is the default of a text item
  Model->Item(0)->UpdateData();
  EXPECT_EQ(A->GetCompareKey(), 6);
  TzvTestItem* B = Model->AddItem();
  B->SetDataType(varString, 20);
  B->UpdateData();
  EXPECT_EQ(B->GetCompareKey(), 6);
  EXPECT_FALSE(B->IsCompareKeyStored());
}

TEST_F(ZvBaseModel, ConvertedValuesAndRefusedConversions) {
  TzvTestItem* A = Model->AddItem("Qty");
  A->SetDataType(varInteger, 0);
  A->SetAsString("12");
  EXPECT_EQ(A->GetAsVariant().VarType(), varInteger);
  EXPECT_EQ(A->GetAsInteger(), 12);
  // The message ends in a blank; the old value stays.
  EXPECT_EQ(Raised([&] { A->SetAsString("abc"); }), "'abc' is not a valid value for item 'Qty' ");
  EXPECT_EQ(A->GetAsInteger(), 12);
  A->SetDisplayLabel("Quantity");
  EXPECT_EQ(Raised([&] { A->SetAsString("x"); }), "'x' is not a valid value for item 'Quantity' ");
  A->SetAsString("");
  EXPECT_TRUE(VarIsNull(A->GetAsVariant()));
  EXPECT_EQ(A->GetAsInteger(), 0);
  EXPECT_TRUE(VarIsNull(A->GetAsVariant()));  // reading did not touch the value

  // Without ciConvertValue the text is kept as it is; adding the option
  // converts it, and a value that does not convert keeps the old options.
  A->SetOptions({});
  A->SetAsString("7");
  EXPECT_EQ(A->GetAsVariant().VarType(), varString);
  A->SetOptions({ciConvertValue});
  EXPECT_EQ(A->GetAsVariant().VarType(), varInteger);
  A->SetOptions({});
  A->SetAsString("seven");
  EXPECT_THROW(A->SetOptions({ciConvertValue}), EzvBaseModelError);
  EXPECT_EQ(A->GetOptions(), TzvCompareItemOptions{});
  EXPECT_EQ(A->GetAsString(), "seven");
}

TEST_F(ZvBaseModel, EmptinessAndActivityFollowTheDataType) {
  TzvTestItem* A = Model->AddItem();
  EXPECT_FALSE(A->GetActive());  // no data type, whatever the value
  A->SetAsString("x");
  EXPECT_FALSE(A->GetActive());
  A->SetDataType(varString, 10);
  EXPECT_TRUE(A->GetActive());
  A->SetOptions({});
  A->SetAsVariant(Variant(""));
  EXPECT_TRUE(A->IsEmpty());  // the empty text is empty for a text item
  EXPECT_FALSE(A->GetActive());
  A->SetAsString(" ");
  EXPECT_FALSE(A->IsEmpty());  // a blank is a value
  A->SetAsVariant(Null());
  EXPECT_TRUE(A->IsEmpty());
  A->SetOptions({ciCompareIfEmpty});
  EXPECT_TRUE(A->GetActive());
  A->SetDataType(varInteger, 0);
  A->SetAsVariant(Variant(""));
  EXPECT_FALSE(A->IsEmpty());  // only Null is empty for a non-text item
}

TEST_F(ZvBaseModel, RetypingKeepsConvertibleValuesAndTurnsTheRestIntoNull) {
  TzvTestItem* A = Model->AddItem("A");
  A->SetDataType(varString, 10);
  A->SetAsString("42");
  A->SetDataType(varInteger, 0);
  EXPECT_EQ(A->GetAsVariant().VarType(), varInteger);
  A->SetDataType(varString, 10);
  A->SetAsString("x");
  Record();
  A->SetDataType(varInteger, 0);  // never raises
  EXPECT_TRUE(VarIsNull(A->GetAsVariant()));
  ASSERT_FALSE(Log.empty());
  EXPECT_EQ(Log.back(), "spy DataTypeChanged A");
}

TEST_F(ZvBaseModel, TypedAccessorsGiveZeroForAnEmptyItem) {
  TzvTestItem* A = Model->AddItem();
  A->SetDataType(varCurrency, 0);
  EXPECT_EQ(A->GetAsCurrency(), Currency());
  EXPECT_EQ(A->GetAsFloat(), 0.0);
  EXPECT_FALSE(A->GetAsBoolean());
  EXPECT_EQ(A->GetAsLargeint(), 0);
  EXPECT_EQ(A->GetAsDateTime(), 0.0);
  EXPECT_EQ(BcdToStr(A->GetAsBCD()), BcdToStr(NullBcd()));
  A->SetAsBCD(StrToBcd("12.5"));
  EXPECT_EQ(A->GetAsCurrency(), Currency(12.5));
  EXPECT_EQ(BcdToStr(A->GetAsBCD()), "12.5000");  // four decimals
  A->SetAsFloat(2.25);
  EXPECT_EQ(A->GetAsVariant().VarType(), varCurrency);  // converted to the item's type
}

// ---------------------------------------------------------------------------
// Notifications

TEST_F(ZvBaseModel, EachChangeNotifiesOnceAndTheSameValueTwiceOnlyOnce) {
  Model->GetOptions()->SetAutoUpdate(false);
  TzvTestItem* A = Model->AddItem("A");
  Record();
  A->SetAsString("x");
  A->SetAsString("x");
  EXPECT_EQ(Log, (TLog{"spy ValueChanged A", "UpdateItem A"}));
  EXPECT_EQ(Model->GetUpdateLevel(), ulLow);
  Log.clear();
  A->SetCompareKey(6);  // no listener event for a new operator, but a high level
  EXPECT_EQ(Log, (TLog{"UpdateItem A"}));
  EXPECT_EQ(Model->GetUpdateLevel(), ulHigh);
  EXPECT_TRUE(Items()->GetUpdateOptions().Empty());
}

TEST_F(ZvBaseModel, ABatchGivesOneNotificationWithNoItem) {
  Model->GetOptions()->SetAutoUpdate(false);
  TzvTestItem* A = Model->AddItem("A");
  Model->SetUpdateLevel(ulNone);
  Record();
  Items()->BeginUpdate();
  A->SetAsString("x");
  A->SetCompareKey(6);
  EXPECT_EQ(Log, TLog{});
  Items()->EndUpdate();
  EXPECT_EQ(Log, (TLog{"spy ValueChanged null", "UpdateItem null"}));
  EXPECT_EQ(Model->GetUpdateLevel(), ulHigh);
}

TEST_F(ZvBaseModel, ListenersAreToldInRegistrationOrderAndRegisteredOnce) {
  TOwned<TSpy> Second(Create<TSpy>());
  Second->Log = &Log;
  Second->Tag = "second";
  Items()->AddItemListener(Second.get());
  Items()->AddItemListener(Second.get());
  Items()->AddItemListener(Spy.get());
  EXPECT_EQ(Items()->ListenerCount(), 3);  // the calculator, the spy, the second
  Items()->RemoveItemListener(nullptr);
  Record();
  Model->AddItem("A");
  Items()->RemoveItemListener(Second.get());
  Items()->RemoveItemListener(Second.get());  // no longer registered: nothing
  EXPECT_EQ(Log, (TLog{"spy Added TzvTestItem", "second Added TzvTestItem", "UpdateItem TzvTestItem",
                       "InternalApply", "spy Deleting TzvTestItem", "second Deleting TzvTestItem", "spy Added A",
                       "second Added A", "UpdateItem A", "InternalApply"}));
  EXPECT_EQ(Items()->ListenerCount(), 2);
}

TEST_F(ZvBaseModel, DeletionTellsListenersOnlyAndLeavesTheLevelAndTheModelAlone) {
  Model->AddItem("A");
  Model->AddItem("B");
  Model->SetUpdateLevel(ulNone);
  int Applies = Model->Applies;
  Record();
  Items()->Delete(0);
  EXPECT_EQ(Log, (TLog{"spy Deleting A"}));
  EXPECT_EQ(Model->GetUpdateLevel(), ulNone);
  EXPECT_EQ(Model->Applies, Applies);
  EXPECT_EQ(Items()->Count(), 1);
}

TEST_F(ZvBaseModel, ARefusingListenerKeepsTheItemAndItsName) {
  Model->AddItem("A");
  Spy->FailOn = "Deleting";
  EXPECT_THROW(Items()->Delete(0), EzvBaseModelError);
  EXPECT_EQ(Items()->Count(), 1);
  EXPECT_THROW(Model->Item(0)->SetName("B"), EzvBaseModelError);
  EXPECT_EQ(Model->Item(0)->GetName(), "A");
  Spy->FailOn = "";
}

TEST_F(ZvBaseModel, AnItemMovedToAnotherModelLeavesLikeADeletedOne) {
  Model->GetOptions()->SetAutoUpdate(false);
  TzvTestItem* A = Model->AddItem("A");
  Model->AddItem("B");
  A->SetDataType(varInteger, 4);
  A->SetAsInteger(1);
  Model->Record["A"] = 2;
  Model->Apply();
  EXPECT_FALSE(Model->CheckItems());  // the compiled tree asks A
  TOwned<TTestModel> Other(Create<TTestModel>(nullptr));

  // Named in the expression: the move is refused as a deletion would be.
  Model->SetExpression("A AND B");
  EXPECT_THROW(A->SetCollection(Other->GetCompareItems()), EzvBaseModelError);
  EXPECT_EQ(A->GetCollection(), Items());
  EXPECT_EQ(Other->GetCompareItems()->Count(), 0);
  Model->SetExpression("");
  Model->Apply();

  Record();
  A->SetCollection(Other->GetCompareItems());
  EXPECT_EQ(Log, (TLog{"spy Deleting A"}));
  EXPECT_EQ(A->GetModel(), Other.get());
  EXPECT_EQ(Items()->Count(), 1);
  // Freed with its new model, the item leaves nothing behind in the old one.
  Other.reset();
  EXPECT_TRUE(Model->CheckItems());
}

TEST_F(ZvBaseModel, FreeingTheModelTellsEveryListenerAndCannotBeRefused) {
  Model->AddItem("A");
  Model->AddItem("B");
  Model->SetExpression("A AND B");
  Spy->FailOn = "Deleting";
  Record();
  Model->Log = nullptr;
  Model.reset();
  EXPECT_EQ(Log, (TLog{"spy Deleting B", "spy Deleting A"}));
}

TEST_F(ZvBaseModel, AFailedNotificationLeavesNoPendingChangeBehind) {
  Model->GetOptions()->SetAutoUpdate(false);
  TzvTestItem* A = Model->AddItem("A");
  Spy->FailOn = "ValueChanged";
  EXPECT_THROW(A->SetAsString("x"), EzvBaseModelError);
  Spy->FailOn = "";
  EXPECT_TRUE(Items()->GetUpdateOptions().Empty());
  Record();
  A->SetCompareKey(6);  // announces the new operator only, not the old value change
  EXPECT_EQ(Log, (TLog{"UpdateItem A"}));
}

TEST_F(ZvBaseModel, AListenerRemovedWhileOthersAreToldIsNotCalledAnyMore) {
  TOwned<TSpy> Second(Create<TSpy>());
  Second->Log = &Log;
  Second->Tag = "second";
  Items()->AddItemListener(Second.get());
  Spy->Hook = [&] { Items()->RemoveItemListener(Second.get()); };
  Record();
  Model->AddItem("A");
  Spy->Hook = nullptr;
  Second.reset();
  EXPECT_EQ(Log.front(), "spy Added TzvTestItem");
  for (const std::string& E : Log) EXPECT_EQ(E.rfind("second", 0), std::string::npos) << E;
}

TEST_F(ZvBaseModel, RetypingKeepsTheConvertedValueWhenTheApplyAfterItFails) {
  TzvTestItem* A = Model->AddItem("A");
  A->SetDataType(varString, 10);
  A->SetAsString("42");
  Model->FailApply = true;
  EXPECT_THROW(A->SetDataType(varInteger, 0), EConvertError);
  Model->FailApply = false;
  EXPECT_EQ(A->GetAsVariant().VarType(), varInteger);
  EXPECT_EQ(A->GetAsInteger(), 42);
}

TEST_F(ZvBaseModel, AssignCopiesItemsWithWhatWasSetExplicitly) {
  TzvTestItem* A = Model->AddItem("Price");
  A->SetCompareKey(6);
  A->SetOptions({ciCompareIfEmpty});
  A->SetAsString("12");
  A->SetDisplayLabel("Unit price");
  Model->AddItem();
  TOwned<TTestModel> Other(Create<TTestModel>(nullptr));
  Other->SetCompareItems(Items());
  ASSERT_EQ(Other->GetCompareItems()->Count(), 2);
  TzvTestItem* B = Other->Item(0);
  EXPECT_EQ(B->GetName(), "Price");
  EXPECT_EQ(B->GetCompareKey(), 6);
  EXPECT_EQ(B->GetOptions(), TzvCompareItemOptions{ciCompareIfEmpty});
  EXPECT_EQ(B->GetAsString(), "12");
  EXPECT_EQ(B->GetDisplayLabel(), "Unit price");
  EXPECT_EQ(B->GetAssignedValues(), A->GetAssignedValues());
  EXPECT_EQ(Other->Item(1)->GetName(), "TzvTestItem");
  EXPECT_EQ(Other->GetItemsOption(), ioCustom);
}

TEST_F(ZvBaseModel, ClearValuesNotifiesOnceAndOnlyWhenSomethingWasSet) {
  Model->GetOptions()->SetAutoUpdate(false);
  Model->AddItem("A");
  Model->AddItem("B");
  Record();
  Items()->ClearValues();
  EXPECT_EQ(Log, TLog{});
  Model->Item(1)->SetAsString("x");
  Log.clear();
  Items()->ClearValues();
  EXPECT_EQ(Log, (TLog{"spy ValueChanged null", "UpdateItem null"}));
  EXPECT_TRUE(VarIsNull(Model->Item(1)->GetAsVariant()));
}

TEST_F(ZvBaseModel, ItemsForAForeignCollectionAreRefused) {
  TOwned<TOwnedCollection> Foreign(Create<TOwnedCollection>(nullptr, TzvTestItem::StaticClass()));
  try {
    Foreign->Add();
    FAIL() << "created";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), "Collection is not TCompareItems");
  }
  EXPECT_EQ(Foreign->Count(), 0);
}

// ---------------------------------------------------------------------------
// The model

TEST_F(ZvBaseModel, ErrorsCarryTheComponentsNameWhenItHasOne) {
  EXPECT_EQ(Raised([] { zvBaseModelError("boom"); }), "boom");
  EXPECT_EQ(Raised([&] { zvBaseModelError("boom", Model.get()); }), "boom");
  Model->SetName("Finder");
  EXPECT_EQ(Raised([&] { zvBaseModelErrorFmt(LoadResString(SItemNotFound), {"X"}, Model.get()); }),
            "Finder: Item 'X' not found");
  EXPECT_EQ(Raised([&] { zvBaseModelErrorFmt(LoadResString(SInvalidItemName), {"N", "Finder"}); }),
            "Item 'N' not found. Delete this name from expression, which is given in property Finder.Expression "
            "or add the element with name 'N' into collection Finder.CompareItems");
}

TEST_F(ZvBaseModel, ItemsOptionTurnsCustomOnOutsideChangesOnlyAndRebuildsWhenBackToDefault) {
  EXPECT_EQ(Model->GetItemsOption(), ioDefault);
  EXPECT_FALSE(Model->IsCompareItemsStored());
  Model->Fields = {"Name", "Price"};
  Model->SetItems();
  ASSERT_EQ(Items()->Count(), 2);
  EXPECT_EQ(Model->Item(0)->GetName(), "Name");
  EXPECT_EQ(Model->GetItemsOption(), ioDefault);  // items made by the model itself
  Model->SetItemsOption(ioDefault);
  EXPECT_EQ(Model->DefaultItemsRuns, 1);  // no rebuild for the same option

  Model->AddItem("Mine");
  EXPECT_EQ(Model->GetItemsOption(), ioCustom);
  EXPECT_TRUE(Model->IsCompareItemsStored());
  Model->SetItems();  // custom items are refreshed, not replaced
  EXPECT_EQ(Items()->Count(), 3);
  Model->SetItemsOption(ioDefault);
  EXPECT_EQ(Model->DefaultItemsRuns, 2);
  EXPECT_EQ(Items()->Count(), 2);
}

TEST_F(ZvBaseModel, ApplyRefreshesOperatorsOnlyAfterAChangeAndKeepsTheLevelWhenTheRefreshFails) {
  Model->GetOptions()->SetAutoUpdate(false);
  Model->AddItem("A")->SetDataType(varInteger, 0);
  Model->Item(0)->SetAsInteger(5);
  Model->Record["A"] = Variant(5);
  EXPECT_EQ(Model->GetUpdateLevel(), ulLow);

  Model->Active = false;
  EXPECT_FALSE(Model->Apply());
  EXPECT_EQ(Model->GetUpdateLevel(), ulLow);
  Model->Active = true;

  TTestEqualOp::Refreshes = 0;
  TTestEqualOp::FailRefresh = true;
  EXPECT_THROW(Model->Apply(), EConvertError);
  TTestEqualOp::FailRefresh = false;
  EXPECT_EQ(Model->GetUpdateLevel(), ulLow);
  EXPECT_FALSE(Model->GetState().Contains(bsApplying));

  EXPECT_TRUE(Model->Apply());
  EXPECT_EQ(Model->GetUpdateLevel(), ulNone);
  EXPECT_EQ(TTestEqualOp::Refreshes, 2);
  EXPECT_TRUE(Model->CheckItems());
  Model->Record["A"] = Variant(6);
  EXPECT_FALSE(Model->CheckItems());
  Model->Apply();
  EXPECT_EQ(TTestEqualOp::Refreshes, 2);  // nothing changed since
}

TEST_F(ZvBaseModel, AutoUpdateAppliesAfterTheListenersWereTold) {
  TzvTestItem* A = Model->AddItem("A");
  A->SetDataType(varInteger, 0);
  Record();
  A->SetAsInteger(1);
  EXPECT_EQ(Log, (TLog{"spy ValueChanged A", "UpdateItem A", "InternalApply"}));
}

TEST_F(ZvBaseModel, FullUpdatesStayDisabledUntilEveryDisableIsUndone) {
  Model->AddItem("A");
  Model->DisableFullUpdate();
  Model->DisableFullUpdate();
  Model->EnableFullUpdate();
  EXPECT_TRUE(Model->GetState().Contains(bsDisableFullUpdate));
  Model->SetItems();  // light refresh only
  EXPECT_EQ(Model->Item(0)->LightUpdates, 1);
  Model->EnableFullUpdate();
  EXPECT_FALSE(Model->GetState().Contains(bsDisableFullUpdate));
  Model->EnableFullUpdate();  // one too many: nothing
  EXPECT_EQ(Model->GetDisableFullUpdateCount(), 0);
  Model->DisableFullUpdate();
  EXPECT_TRUE(Model->GetState().Contains(bsDisableFullUpdate));
}

TEST_F(ZvBaseModel, ExpressionAppliesOnceWhenItChangesAndKeepsTheOldTextWhenInvalid) {
  Model->AddItem("a")->SetDataType(varInteger, 0);
  Model->AddItem("b")->SetDataType(varInteger, 0);
  Record();
  Model->SetExpression("a OR b");
  EXPECT_EQ(Log, (TLog{"UpdateItem null", "InternalApply"}));
  Log.clear();
  Model->SetExpression("a OR b");
  EXPECT_EQ(Log, TLog{});
  Model->SetName("Finder");
  EXPECT_EQ(Raised([&] { Model->SetExpression("a b"); }),
            "Finder: " + LoadResString(SInvalidExpression));
  EXPECT_EQ(Model->GetExpression(), "a OR b");
  EXPECT_EQ(Log, TLog{});
}

TEST_F(ZvBaseModel, AnItemNamedInTheExpressionCannotBeDeletedOrRenamed) {
  Model->SetName("Finder");
  Model->AddItem("x")->SetDataType(varInteger, 0);
  Model->AddItem("y")->SetDataType(varInteger, 0);
  Model->SetExpression("x AND y");
  const std::string Refusal =
      "Finder: Before removing the item 'x', delete the name of the item from expression, which is given in "
      "property Finder.Expression";
  EXPECT_EQ(Raised([&] { Items()->Delete(0); }), Refusal);
  EXPECT_EQ(Items()->Count(), 2);
  EXPECT_EQ(Raised([&] { Model->Item(0)->SetName("z"); }), Refusal);
  EXPECT_EQ(Model->Item(0)->GetName(), "x");

  Model->SetExpression("");
  Model->Item(0)->SetName("z");
  Items()->Delete(0);
  EXPECT_EQ(Items()->Count(), 1);
}

TEST_F(ZvBaseModel, LoadedBuildsTheItemsOnceAndClearsItsFlag) {
  Model->Fields = {"F"};
  Model->BeginLoading();
  Model->SetItems();  // deferred while loading
  EXPECT_EQ(Model->DefaultItemsRuns, 0);
  Model->EndLoading();
  EXPECT_EQ(Model->DefaultItemsRuns, 1);
  EXPECT_TRUE(Model->GetState().Empty());
}

// ---------------------------------------------------------------------------
// Streaming

bool Has(const std::string& Text, const std::string& Part) { return Text.find(Part) != std::string::npos; }

TEST_F(ZvBaseModel, AModelAndItsCustomItemsStreamToTextAndBack) {
  Model->SetName("Finder");
  Model->GetOptions()->SetAutoUpdate(false);
  TzvTestItem* A = Model->AddItem("Price");
  A->SetCompareKey(6);
  A->SetOptions({ciCompareIfEmpty});
  A->SetAsString("12");
  A->SetDisplayLabel("Unit price");
  Model->AddItem();  // everything left at its default
  Model->SetExpression("Price OR TzvTestItem");
  const std::string Text = WriteComponentToText(Model.get());

  EXPECT_TRUE(Has(Text, "ItemsOption = ioCustom")) << Text;
  EXPECT_TRUE(Has(Text, "Options.AutoUpdate = False")) << Text;
  EXPECT_FALSE(Has(Text, "ChangeCursor")) << Text;
  // Value before Name, so that a streamed name is set last.
  EXPECT_LT(Text.find("Value = '12'"), Text.find("Name = 'Price'")) << Text;
  EXPECT_EQ(Text.find("CompareKey"), Text.rfind("CompareKey")) << "the default key is not written\n" << Text;

  TOwned<TComponent> Read(ReadComponentFromText(Text));
  auto* M = dynamic_cast<TTestModel*>(Read.get());
  ASSERT_NE(M, nullptr);
  ASSERT_EQ(M->GetCompareItems()->Count(), 2);
  TzvTestItem* B = M->Item(0);
  EXPECT_EQ(B->GetName(), "Price");
  EXPECT_EQ(B->GetCompareKey(), 6);
  EXPECT_NE(dynamic_cast<TTestStartsOp*>(B->GetCompareModel()), nullptr);
  EXPECT_EQ(B->GetOptions(), TzvCompareItemOptions{ciCompareIfEmpty});
  EXPECT_EQ(B->GetAsString(), "12");
  EXPECT_EQ(B->GetDisplayLabel(), "Unit price");
  EXPECT_EQ(M->Item(1)->GetName(), "TzvTestItem");
  EXPECT_TRUE(VarIsNull(M->Item(1)->GetAsVariant()));
  EXPECT_FALSE(M->Item(1)->GetAssignedValues().Contains(civCompareKey));
  EXPECT_EQ(M->GetItemsOption(), ioCustom);
  EXPECT_EQ(M->GetExpression(), "Price OR TzvTestItem");
  EXPECT_FALSE(M->GetOptions()->GetAutoUpdate());
  EXPECT_TRUE(M->GetOptions()->GetChangeCursor());
  EXPECT_TRUE(M->GetState().Empty());
  EXPECT_EQ(WriteComponentToText(M), Text);
}

TEST_F(ZvBaseModel, GeneratedItemsAndDefaultOptionsAreNotWritten) {
  Model->Fields = {"Name", "Price"};
  Model->SetItems();
  std::string Text = WriteComponentToText(Model.get());
  EXPECT_FALSE(Has(Text, "CompareItems")) << Text;
  EXPECT_FALSE(Has(Text, "ItemsOption")) << Text;
  EXPECT_FALSE(Has(Text, "Options.")) << Text;
  Model->GetOptions()->SetChangeCursor(false);
  Text = WriteComponentToText(Model.get());
  EXPECT_TRUE(Has(Text, "Options.ChangeCursor = False")) << Text;
  EXPECT_FALSE(Has(Text, "AutoUpdate")) << Text;
}

// ---------------------------------------------------------------------------
// The operator base and the registry

TEST_F(ZvBaseModel, OperatorSnapshotTakesCaseOnlyForTextTypes) {
  Model->GetOptions()->SetAutoUpdate(false);  // nothing refreshes the operator but the test
  TzvTestItem* A = Model->AddItem("Price");
  TzvCompareModel* Op = A->GetCompareModel();
  EXPECT_EQ(Op->GetParamName(), "DFyndra_Price");
  EXPECT_FALSE(Op->GetIsConverted());
  EXPECT_TRUE(VarIsEmpty(Op->GetConvertedValue()));
  A->SetAsString("7");
  Op->DoDataChange();
  EXPECT_EQ(VarToStr(Op->GetValue()), "7");
  EXPECT_FALSE(Op->GetCaseInsensitive());  // ciCaseInsensitive, but no text type
  A->SetDataType(varString, 12);
  Op->DoDataChange();
  EXPECT_TRUE(Op->GetCaseInsensitive());
  EXPECT_EQ(Op->GetDataType(), varString);
  EXPECT_EQ(Op->GetDataSize(), 12);
  EXPECT_EQ(Op->GetFieldName(), "Price");
  EXPECT_TRUE(Op->GetTopBoundValue().IsEmpty());
  EXPECT_EQ(Op->GetSqlExpression(), "");
}

TEST(ZvCompareModelList, FirstEntryOfAKeyWinsAndMissingKeysGiveNothing) {
  TOwned<TzvCompareModelList> L(Create<TzvCompareModelList>());
  L->Add(0, "equal", &zvCompareModelClassOf<TTestEqualOp>);
  L->Add(6, "starts with", &zvCompareModelClassOf<TTestStartsOp>);
  L->Add(0, "again", nullptr);
  EXPECT_EQ(L->Get(0).Caption, "equal");
  EXPECT_EQ(L->FindItem(6), 1);
  EXPECT_EQ(L->FindItem(9), -1);
  EXPECT_EQ(L->Get(9).Caption, "");
  EXPECT_EQ(L->Get(9).ModelClass, nullptr);
  EXPECT_EQ(L->GetKey(2), 0);
  EXPECT_EQ(L->GetValue(1).Caption, "starts with");
  EXPECT_THROW(L->GetKey(3), EListError);
  EXPECT_EQ(L->Remove(0).Caption, "equal");
  EXPECT_EQ(L->Get(0).Caption, "again");
  EXPECT_EQ(L->Remove(9).ModelClass, nullptr);
  EXPECT_EQ(L->GetCount(), 2);
  L->Clear();
  EXPECT_EQ(L->GetCount(), 0);
}

TEST(ZvInterfaces, QueryInterfaceAnswersForImplementedInterfacesOnly) {
  TOwned<TSpy> S(Create<TSpy>());
  void* P = &P;
  EXPECT_EQ(S->QueryInterface(IItemListener::IID, &P), 0);
  EXPECT_EQ(P, static_cast<IItemListener*>(S.get()));
  EXPECT_EQ(S->QueryInterface(IzvCalculateModel::IID, &P), E_NOINTERFACE);
  EXPECT_EQ(P, nullptr);
  EXPECT_EQ(Supports<IItemListener>(S.get()), static_cast<IItemListener*>(S.get()));
  EXPECT_EQ(S->_AddRef(), 0);
  EXPECT_EQ(S->_Release(), 0);  // and still alive: freed by its owner
}

}  // namespace
}  // namespace fyndra
