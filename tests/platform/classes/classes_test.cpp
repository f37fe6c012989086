#include <fyndra/platform/classes/classes.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace fyndra {
namespace {

// ---------------------------------------------------------------------------
// Components

std::vector<std::string> Log;

// Holds a reference to another component and clears it when told.
class TLinker : public TComponent {
  FYNDRA_CLASS(TLinker, TComponent)
 public:
  TComponent* Target = nullptr;
  void SetTarget(TComponent* Value) {
    if (Target) Target->RemoveFreeNotification(this);
    Target = Value;
    if (Target) Target->FreeNotification(this);
  }
  void BeforeDestruction() override {
    // Would touch a freed component if a notification had been missed.
    if (Target) Log.push_back(GetName() + " still sees " + Target->GetName());
    TComponent::BeforeDestruction();
  }

 protected:
  explicit TLinker(TComponent* Owner) : TComponent(Owner) {}
  void Notification(TComponent* Component, TOperation Operation) override {
    TComponent::Notification(Component, Operation);
    Log.push_back(GetName() + (Operation == opInsert ? " +" : " -") + Component->GetName());
    if (Operation == opRemove && Component == Target) Target = nullptr;
  }
};

class TLoadable : public TComponent {
  FYNDRA_CLASS(TLoadable, TComponent)
 public:
  bool WasLoading = false;

 protected:
  explicit TLoadable(TComponent* Owner) : TComponent(Owner) {}
  void Loaded() override {
    WasLoading = ComponentState().Contains(csLoading);
    TComponent::Loaded();
  }
};

FYNDRA_IMPLEMENT_CLASS(TLinker)
FYNDRA_IMPLEMENT_CLASS(TLoadable)

// A component named before it joins its owner, so notifications show the name.
template <class T = TComponent>
T* Named(TComponent* Owner, const std::string& Name) {
  T* C = Create<T>(nullptr);
  C->SetName(Name);
  if (Owner) Owner->InsertComponent(C);
  return C;
}

TEST(ComponentNameTest, ValidIdentifiersOnlyAndUniqueWithinOwnerIgnoringCase) {
  TOwned<TComponent> Owner(Create<TComponent>(nullptr));
  TComponent* A = Named(Owner.get(), "Alpha_1");
  TComponent* B = Named(Owner.get(), "_beta");
  struct {
    const char* Name;
    bool Valid;
  } Cases[] = {{"", true},           {"x", true},        {"Gamma9", true},    {"1abc", false},
               {"a b", false},       {"a-b", false},     {"été", true},       {"Кнопка1", true},
               {"名前", true},       {"€uro", false},    {"a€", false},       {"١abc", false},
               {"\xC3", false}};
  for (auto& C : Cases) {
    if (C.Valid)
      EXPECT_NO_THROW(B->SetName(C.Name)) << C.Name;
    else
      EXPECT_THROW(B->SetName(C.Name), EComponentError) << C.Name;
  }
  B->SetName("Beta");
  EXPECT_THROW(B->SetName("ALPHA_1"), EComponentError);
  EXPECT_EQ(B->GetName(), "Beta");
  A->SetName("ALPHA_1");  // its own name in another case
  EXPECT_EQ(A->GetName(), "ALPHA_1");
  EXPECT_EQ(Owner->FindComponent("alpha_1"), A);
  EXPECT_EQ(Owner->FindComponent(""), nullptr);
  try {
    B->SetName("alpha_1");
    FAIL();
  } catch (const EComponentError& E) {
    EXPECT_EQ(E.Message(), "A component named alpha_1 already exists");
  }

  // Components of different owners may share a name; inserting a duplicate is refused.
  TOwned<TComponent> Loose(Create<TComponent>(nullptr));
  Loose->SetName("Beta");
  EXPECT_THROW(Owner->InsertComponent(Loose.get()), EComponentError);
  EXPECT_EQ(Loose->Owner(), nullptr);
  EXPECT_EQ(Owner->ComponentCount(), 2);
}

TEST(ComponentNameTest, UnicodeNamesAreUniqueIgnoringCase) {
  TOwned<TComponent> Owner(Create<TComponent>(nullptr));
  TComponent* Button = Named(Owner.get(), "КнопкаОК");
  EXPECT_EQ(Owner->FindComponent("кнопкаок"), Button);
  EXPECT_EQ(Owner->FindComponent("КНОПКАОК"), Button);
  EXPECT_EQ(Owner->FindComponent("КнопкаОтмена"), nullptr);
  TComponent* Other = Named(Owner.get(), "Größe");
  EXPECT_THROW(Other->SetName("кнопкаОК"), EComponentError);
  EXPECT_EQ(Owner->FindComponent("GRÖSSE"), nullptr);  // simple folding: ß is not "ss"
  EXPECT_EQ(Owner->FindComponent("GRÖßE"), Other);
}

TEST(ComponentOrderTest, SetChildOrderPlacesAChildAmongTheStreamedOnes) {
  TOwned<TComponent> Owner(Create<TComponent>(nullptr));
  for (const char* N : {"A", "B", "C", "D"}) Named(Owner.get(), N);
  // A sub-component is owned but not streamed: positions skip it.
  TComponent* Sub = Named(Owner.get(), "Sub");
  Sub->SetSubComponent(true);
  Sub->SetComponentIndex(1);
  auto Names = [&] {
    std::string S;
    for (int I = 0; I < Owner->ComponentCount(); ++I) S += Owner->GetComponent(I)->GetName() + " ";
    return S;
  };
  ASSERT_EQ(Names(), "A Sub B C D ");
  Owner->SetChildOrder(Owner->FindComponent("D"), 0);
  EXPECT_EQ(Names(), "D A Sub B C ");
  Owner->SetChildOrder(Owner->FindComponent("D"), 2);  // down: after B
  EXPECT_EQ(Names(), "A Sub B D C ");
  Owner->SetChildOrder(Owner->FindComponent("A"), 99);  // past the end: last
  EXPECT_EQ(Names(), "Sub B D C A ");
  // Not one of its children: nothing moves.
  TOwned<TComponent> Stranger(Create<TComponent>(nullptr));
  Owner->SetChildOrder(Stranger.get(), 0);
  Owner->SetChildOrder(Sub, 3);
  EXPECT_EQ(Names(), "Sub B D C A ");
}

TEST(ComponentOwnershipTest, OwnerFreesOwnedComponentsLastFirstAndTheyLeaveWhenFreed) {
  Log.clear();
  TComponent* Root = Create<TComponent>(nullptr);
  Root->SetName("Root");
  Named<TLinker>(Root, "Watcher");
  TComponent* A = Named(Root, "A");
  TComponent* B = Named(Root, "B");
  TComponent* Child = Named(A, "Child");
  EXPECT_EQ(Log, (std::vector<std::string>{"Watcher +Watcher", "Watcher +A", "Watcher +B"}));
  EXPECT_EQ(Root->ComponentCount(), 3);
  EXPECT_EQ(B->GetComponentIndex(), 2);
  EXPECT_EQ(Child->Owner(), A);

  Log.clear();
  B->Free();
  EXPECT_EQ(Log, std::vector<std::string>{"Watcher -B"});
  EXPECT_EQ(Root->ComponentCount(), 2);

  // Moving a component to another owner.
  Root->InsertComponent(Child);
  EXPECT_EQ(Child->Owner(), Root);
  EXPECT_EQ(A->ComponentCount(), 0);
  EXPECT_EQ(Log.back(), "Watcher +Child");

  // An ownership cycle is refused and changes nothing: a component cannot own
  // itself, its owner, or its owner's owner.
  TComponent* Grand = Named(Child, "Grand");
  for (auto [NewOwner, Component] : {std::pair{Root, Root}, std::pair{Child, Root}, std::pair{Grand, Child}}) {
    EXPECT_THROW(NewOwner->InsertComponent(Component), EComponentError) << NewOwner->GetName();
  }
  EXPECT_EQ(Root->Owner(), nullptr);
  EXPECT_EQ(Child->Owner(), Root);
  EXPECT_EQ(Grand->Owner(), Child);
  EXPECT_EQ(Child->ComponentCount(), 1);

  Log.clear();
  Free(Root);  // frees Child (and Grand), A, then Watcher; ASan checks nothing is left
  EXPECT_EQ(Log, (std::vector<std::string>{"Watcher -Child", "Watcher -A", "Watcher -Watcher"}));
}

TEST(ComponentOwnershipTest, DestroyingIsSetOnOwnedComponentsBeforeTheyGo) {
  TComponent* Root = Create<TComponent>(nullptr);
  TComponent* Child = Create<TComponent>(Root);
  Root->Destroying();
  EXPECT_TRUE(Root->ComponentState().Contains(csDestroying));
  EXPECT_TRUE(Child->ComponentState().Contains(csDestroying));
  Free(Root);
}

class FreeNotificationTest : public ::testing::TestWithParam<int> {};

// Either side may die first, by Free or by plain delete; the other is told and
// keeps no pointer (ASan reports any use after free).
TEST_P(FreeNotificationTest, NoDanglingReferenceWhicheverSideDiesFirst) {
  Log.clear();
  auto* L = Create<TLinker>(nullptr);
  L->SetName("L");
  TComponent* T = Create<TComponent>(nullptr);
  T->SetName("T");
  L->SetTarget(T);
  L->SetTarget(T);  // asking twice links once
  ASSERT_EQ(T->FreeNotifies().size(), 1u);
  switch (GetParam()) {
    case 0:  // the target is freed first
      Free(T);
      EXPECT_EQ(L->Target, nullptr);
      EXPECT_TRUE(L->FreeNotifies().empty());
      Free(L);
      break;
    case 1:  // the referrer is freed first (T is still alive then)
      Free(L);
      Log.clear();
      EXPECT_TRUE(T->FreeNotifies().empty());
      Free(T);
      break;
    case 2:  // the target is deleted plainly
      delete T;
      EXPECT_EQ(L->Target, nullptr);
      Free(L);
      break;
    case 4: {  // the target's owner is deleted plainly and takes the target with it
      TComponent* Owner = Create<TComponent>(nullptr);
      Owner->InsertComponent(T);
      delete Owner;
      EXPECT_EQ(L->Target, nullptr);
      Free(L);
      break;
    }
    case 3:  // the link is removed by hand
      L->SetTarget(nullptr);
      EXPECT_TRUE(T->FreeNotifies().empty());
      EXPECT_TRUE(L->FreeNotifies().empty());
      Free(T);
      delete L;
      break;
  }
  for (const std::string& Line : Log) EXPECT_EQ(Line.find("still sees"), std::string::npos) << Line;
}

INSTANTIATE_TEST_SUITE_P(Orders, FreeNotificationTest, ::testing::Values(0, 1, 2, 3, 4));

TEST(FreeNotificationTest2, SiblingsHearOfEachOtherThroughTheOwnerWhenTheOwnerDies) {
  Log.clear();
  TComponent* Root = Create<TComponent>(nullptr);
  TComponent* T = Named(Root, "T");
  auto* L = Named<TLinker>(Root, "L");  // created after T, so freed before it
  TComponent* T2 = Named(Root, "T2");  // freed first: L must let go of it
  L->SetTarget(T2);
  EXPECT_TRUE(T2->FreeNotifies().empty());  // same owner: no two-way link needed
  (void)T;
  Free(Root);
  for (const std::string& Line : Log) EXPECT_EQ(Line.find("still sees"), std::string::npos) << Line;
}

// A referrer that leaves the owner it shared with its target keeps the
// reference, and must still hear when the target is freed.
TEST(FreeNotificationTest2, ReferenceBetweenFormerSiblingsIsLinkedWhenOneMoves) {
  Log.clear();
  TComponent* Root = Create<TComponent>(nullptr);
  TComponent* Other = Create<TComponent>(nullptr);
  TComponent* T = Named(Root, "T");
  auto* L = Named<TLinker>(Root, "L");
  L->SetTarget(T);
  Other->InsertComponent(L);  // T stays with Root
  EXPECT_EQ(L->Target, T);
  Free(T);
  EXPECT_EQ(L->Target, nullptr);

  // The same when the target moves away and the referrer is set again to it.
  TComponent* T2 = Named(Other, "T2");
  L->SetTarget(T2);
  Root->InsertComponent(T2);  // L hears T2 leave Other and lets go of it
  EXPECT_EQ(L->Target, nullptr);
  L->SetTarget(T2);
  EXPECT_EQ(T2->FreeNotifies().size(), 1u);  // now of different owners: linked
  Free(T2);
  EXPECT_EQ(L->Target, nullptr);
  Free(Other);
  Free(Root);
  for (const std::string& Line : Log) EXPECT_EQ(Line.find("still sees"), std::string::npos) << Line;

  // Siblings freed with their owner are not linked on the way out: the
  // referrer hears of its target once.
  Log.clear();
  TComponent* Owner = Create<TComponent>(nullptr);
  auto* L3 = Named<TLinker>(Owner, "L3");
  L3->SetTarget(Named(Owner, "T3"));  // freed before L3
  Free(Owner);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "L3 -T3"), 1);
}

TEST(ComponentStateTest, LoadingProtocolAndLoaded) {
  TOwned<TLoadable> C(Create<TLoadable>(nullptr));
  C->BeginLoading();
  EXPECT_EQ(C->ComponentState(), (TComponentState{csLoading, csReading}));
  C->EndLoading();
  EXPECT_TRUE(C->WasLoading);
  EXPECT_TRUE(C->ComponentState().Empty());
  C->SetDesigning(true);
  TComponent* Child = Create<TComponent>(C.get());
  EXPECT_TRUE(Child->ComponentState().Contains(csDesigning));  // inherited from the owner
}

// ---------------------------------------------------------------------------
// Collections

struct TUpdateSpy {
  std::vector<std::string> Calls;
};

class TSpyItem : public TCollectionItem {
  FYNDRA_CLASS(TSpyItem, TCollectionItem)
 public:
  void AfterConstruction() override {
    TCollectionItem::AfterConstruction();
    if (FailNext) {
      FailNext = false;
      throw EComponentError("item refused");
    }
  }
  std::string GetLabel() const { return Label_; }
  void SetLabel(const std::string& V) {
    Label_ = V;
    Changed(false);
  }
  void Assign(TPersistent* Source) override {
    if (auto* S = dynamic_cast<TSpyItem*>(Source)) {
      SetLabel(S->Label_);
      return;
    }
    TCollectionItem::Assign(Source);
  }
  std::string GetDisplayName() const override { return Label_.empty() ? TCollectionItem::GetDisplayName() : Label_; }
  static inline bool FailNext = false;

 protected:
  explicit TSpyItem(TCollection* C) : TCollectionItem(C) {}

 private:
  std::string Label_;
};

class TOtherItem : public TCollectionItem {
  FYNDRA_CLASS(TOtherItem, TCollectionItem)
 protected:
  explicit TOtherItem(TCollection* C) : TCollectionItem(C) {}
};

class TSpyCollection : public TCollection {
  FYNDRA_CLASS(TSpyCollection, TCollection)
 public:
  std::vector<std::string> Calls;
  TSpyItem* Item(int I) const { return static_cast<TSpyItem*>(GetItem(I)); }

 protected:
  TSpyCollection() : TCollection(TSpyItem::StaticClass()) {}
  void Update(TCollectionItem* Item) override {
    Calls.push_back(Item ? "Update(" + Item->GetDisplayName() + ")" : "Update(null)");
  }
  void Notify(TCollectionItem* Item, TCollectionNotification Action) override {
    static const char* Names[] = {"Added", "Extracting", "Deleting"};
    Calls.push_back(std::string(Names[Action]) + "(" + std::to_string(Item->GetID()) + ")");
  }
};

FYNDRA_IMPLEMENT_CLASS(TSpyItem)
FYNDRA_IMPLEMENT_CLASS(TOtherItem)
FYNDRA_IMPLEMENT_CLASS(TSpyCollection)

struct CollectionTest : ::testing::Test {
  TOwned<TSpyCollection> C{Create<TSpyCollection>()};
  using Seq = std::vector<std::string>;
  Seq Take() { return std::exchange(C->Calls, {}); }
};

TEST_F(CollectionTest, AddCreatesItemOfItemClassWithFreshIds) {
  TCollectionItem* A = C->Add();
  TCollectionItem* B = C->Add();
  EXPECT_EQ(A->ClassName(), "TSpyItem");
  EXPECT_EQ(A->GetCollection(), C.get());
  EXPECT_EQ(A->GetOwner(), C.get());
  EXPECT_EQ(Take(), (Seq{"Added(0)", "Update(null)", "Added(1)", "Update(null)"}));
  EXPECT_EQ(B->GetIndex(), 1);
  C->Delete(0);
  TCollectionItem* D = C->Add();
  EXPECT_EQ(D->GetID(), 2);  // IDs are never reused
  EXPECT_EQ(C->FindItemID(1), B);
  EXPECT_EQ(C->FindItemID(0), nullptr);
  EXPECT_THROW(C->GetItem(5), EListError);
}

TEST_F(CollectionTest, SingleChangeUpdatesWithTheItemAndBatchesUpdateOnceWithNull) {
  C->Add();
  C->Add();
  Take();
  C->Item(0)->SetLabel("a");
  EXPECT_EQ(Take(), Seq{"Update(a)"});

  C->BeginUpdate();
  C->BeginUpdate();
  C->Item(0)->SetLabel("b");
  C->Item(1)->SetLabel("c");
  C->Add();
  C->EndUpdate();
  EXPECT_EQ(Take(), Seq{"Added(2)"});  // inner EndUpdate: still batched
  C->EndUpdate();
  EXPECT_EQ(Take(), Seq{"Update(null)"});
  EXPECT_EQ(C->GetUpdateCount(), 0);
}

TEST_F(CollectionTest, DeleteInsertMoveAndClearNotifyWithNull) {
  C->Add();
  C->Add();
  C->Item(0)->SetLabel("x");
  Take();

  TCollectionItem* I = C->Insert(0);
  EXPECT_EQ(I->GetIndex(), 0);
  EXPECT_EQ(Take(), (Seq{"Added(2)", "Update(null)", "Update(null)"}));

  C->Item(2)->SetIndex(0);
  EXPECT_EQ(Take(), Seq{"Update(null)"});
  C->Item(0)->SetIndex(0);
  EXPECT_TRUE(Take().empty());

  C->Delete(1);
  EXPECT_EQ(Take(), (Seq{"Deleting(2)", "Extracting(2)", "Update(null)"}));

  C->Clear();
  EXPECT_EQ(Take(), (Seq{"Extracting(0)", "Extracting(1)", "Update(null)"}));
  C->Clear();
  EXPECT_TRUE(Take().empty());
}

TEST_F(CollectionTest, RaiseInItemConstructionRemovesTheItemAgain) {
  C->Add();
  Take();
  TSpyItem::FailNext = true;
  EXPECT_THROW(C->Add(), EComponentError);
  EXPECT_EQ(C->Count(), 1);
  EXPECT_EQ(Take(), (Seq{"Added(1)", "Update(null)", "Extracting(1)", "Update(null)"}));
}

TEST_F(CollectionTest, ItemsOfAnotherClassAreRefused) {
  TOwned<TCollection> Other(Create<TCollection>(TOtherItem::StaticClass()));
  TCollectionItem* O = Other->Add();
  EXPECT_THROW(O->SetCollection(C.get()), EComponentError);
  EXPECT_EQ(O->GetCollection(), Other.get());
  EXPECT_THROW(Create<TOtherItem>(static_cast<TCollection*>(C.get())), EComponentError);
  EXPECT_EQ(C->Count(), 0);
}

TEST_F(CollectionTest, AssignCopiesItemsInOneBatch) {
  TOwned<TSpyCollection> Source(Create<TSpyCollection>());
  static_cast<TSpyItem*>(Source->Add())->SetLabel("one");
  static_cast<TSpyItem*>(Source->Add())->SetLabel("two");
  C->Add();
  Take();
  C->Assign(Source.get());
  ASSERT_EQ(C->Count(), 2);
  EXPECT_EQ(C->Item(1)->GetLabel(), "two");
  Seq Calls = Take();
  ASSERT_FALSE(Calls.empty());
  EXPECT_EQ(std::count(Calls.begin(), Calls.end(), "Update(null)"), 1);
  EXPECT_EQ(Calls.back(), "Update(null)");
  TOwned<TStringList> Wrong(Create<TStringList>());
  EXPECT_THROW(C->Assign(Wrong.get()), EConvertError);
}

TEST_F(CollectionTest, PlainDeleteOfTheCollectionFreesItsItems) {
  C->Add();
  C->Add();
  delete C.release();  // ASan reports the items if they leaked
}

TEST_F(CollectionTest, FreeingTheCollectionSendsNoUpdate) {
  C->Add();
  C->Add();
  TSpyCollection* Raw = C.release();
  Raw->Calls.clear();
  Raw->BeforeDestruction();
  EXPECT_EQ(Raw->Calls, (Seq{"Extracting(1)", "Extracting(0)"}));
  delete Raw;
}

// ---------------------------------------------------------------------------
// String lists

TEST(StringListTest, SortedListsKeepOrderAndHonourDuplicates) {
  TStringList L;
  L.SetSorted(true);
  for (const char* S : {"pear", "Apple", "fig", "apple"}) L.Add(S);
  EXPECT_EQ(L.GetCommaText(), "Apple,fig,pear");  // dupIgnore, case-insensitive
  L.SetDuplicates(dupAccept);
  L.Add("FIG");
  EXPECT_EQ(L.Count(), 4);
  L.SetDuplicates(dupError);
  EXPECT_THROW(L.Add("Pear"), EStringListError);
  EXPECT_EQ(L.IndexOf("PEAR"), 3);
  EXPECT_EQ(L.IndexOf("kiwi"), -1);
  EXPECT_THROW(L.Insert(0, "x"), EStringListError);
}

TEST(StringListTest, CommaTextQuotesAndSplits) {
  struct {
    const char* Text;
    std::vector<std::string> Lines;
    const char* Back;
  } Cases[] = {
      {"a,b,c", {"a", "b", "c"}, "a,b,c"},
      {"a b", {"a", "b"}, "a,b"},
      {"\"a b\",\"say \"\"hi\"\"\"", {"a b", "say \"hi\""}, "\"a b\",\"say \"\"hi\"\"\""},
      {"a,", {"a", ""}, "a,"},
      {"", {}, ""},
      {"\"\"", {""}, "\"\""},
  };
  for (auto& C : Cases) {
    TStringList L;
    L.SetCommaText(C.Text);
    std::vector<std::string> Got;
    for (int I = 0; I < L.Count(); ++I) Got.push_back(L[I]);
    EXPECT_EQ(Got, C.Lines) << C.Text;
    EXPECT_EQ(L.GetCommaText(), C.Back) << C.Text;
  }
}

TEST(StringListTest, TextNamesValuesAndChangeEvents) {
  TStringList L;
  int Changes = 0;
  L.SetOnChange(TNotifyEvent::FromCallable([&](TObject*) { ++Changes; }));
  L.SetText("a=1\r\nb=2\nc\r");
  EXPECT_EQ(Changes, 1);  // one batch
  EXPECT_EQ(L.Count(), 3);
  EXPECT_EQ(L.GetText(), "a=1\nb=2\nc\n");
  EXPECT_EQ(L.GetValue("B"), "2");
  EXPECT_EQ(L.GetName(2), "");
  L.SetValue("a", "9");
  L.SetValue("d", "4");
  L.SetValue("b", "");
  EXPECT_EQ(L.GetCommaText(), "a=9,c,d=4");
  EXPECT_EQ(Changes, 4);
  TStringList Copy;
  Copy.Assign(&L);
  EXPECT_TRUE(Copy.Equals(L));
  EXPECT_THROW(L.Delete(3), EListError);
}

TEST(ListTest, PointerListAndStack) {
  int A = 0, B = 0, C = 0;
  TList L;
  L.Add(&A);
  L.Add(&B);
  L.Insert(0, &C);
  EXPECT_EQ(L.IndexOf(&A), 1);
  EXPECT_EQ(L.Remove(&A), 1);
  EXPECT_EQ(L.Extract(&A), nullptr);
  EXPECT_EQ(L.Last(), &B);
  EXPECT_THROW(L.Get(2), EListError);

  TStack S;
  EXPECT_EQ(S.Pop(), nullptr);
  S.Push(&A);
  S.Push(&B);
  EXPECT_TRUE(S.AtLeast(2));
  EXPECT_EQ(S.Peek(), &B);
  EXPECT_EQ(S.Pop(), &B);
  EXPECT_EQ(S.Pop(), &A);
  EXPECT_EQ(S.Count(), 0);
}

}  // namespace
}  // namespace fyndra
