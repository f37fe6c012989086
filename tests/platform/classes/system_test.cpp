#include <fyndra/platform/classes/system.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fyndra/platform/classes/classes.h>

namespace fyndra {
namespace {

std::vector<std::string> Journal;

// A base whose AfterConstruction calls a factory that descendants override,
// as models create their options.
class TSysBase : public TComponent {
  FYNDRA_CLASS(TSysBase, TComponent)
 public:
  void AfterConstruction() override {
    TComponent::AfterConstruction();
    Made = CreatePart();
  }
  void BeforeDestruction() override {
    Journal.push_back("dying " + Describe());
    TComponent::BeforeDestruction();
  }
  virtual std::string CreatePart() { return "base part"; }
  virtual std::string Describe() { return "base"; }
  std::string Made;

 protected:
  explicit TSysBase(TComponent* Owner) : TComponent(Owner) {}
};

class TSysDerived : public TSysBase {
  FYNDRA_CLASS(TSysDerived, TSysBase)
 public:
  std::string CreatePart() override { return "derived part of " + ClassName(); }
  std::string Describe() override { return "derived"; }

 protected:
  explicit TSysDerived(TComponent* Owner) : TSysBase(Owner) {}
};

// Raises in its own AfterConstruction, after the base inserted it into its owner.
class TSysFailing : public TSysBase {
  FYNDRA_CLASS(TSysFailing, TSysBase)
 public:
  void AfterConstruction() override {
    TSysBase::AfterConstruction();
    throw EComponentError("refused");
  }

 protected:
  explicit TSysFailing(TComponent* Owner) : TSysBase(Owner) {}
};

class TSysAbstract : public TComponent {
  FYNDRA_CLASS(TSysAbstract, TComponent)
 public:
  virtual void Run() = 0;

 protected:
  explicit TSysAbstract(TComponent* Owner) : TComponent(Owner) {}
};

FYNDRA_IMPLEMENT_CLASS(TSysBase)
FYNDRA_IMPLEMENT_CLASS(TSysDerived)
FYNDRA_IMPLEMENT_CLASS(TSysFailing)
FYNDRA_IMPLEMENT_CLASS(TSysAbstract)

TEST(ClassInfoTest, ClassNameAndAncestryAreThoseOfTheMostDerivedClass) {
  TOwned<TSysDerived> D(Create<TSysDerived>(nullptr));
  EXPECT_EQ(D->ClassName(), "TSysDerived");
  EXPECT_EQ(D->ClassType(), TSysDerived::StaticClass());
  EXPECT_EQ(D->ClassParent(), TSysBase::StaticClass());
  EXPECT_TRUE(D->InheritsFrom(TComponent::StaticClass()));
  EXPECT_TRUE(D->InheritsFrom(TObject::StaticClass()));
  EXPECT_FALSE(D->InheritsFrom(TCollection::StaticClass()));
  EXPECT_EQ(TObject::StaticClass()->Parent, nullptr);
  EXPECT_EQ(TPersistent::StaticClass()->Name, "TPersistent");
}

TEST(TwoPhaseConstructionTest, FactoryCalledDuringConstructionReachesMostDerivedOverride) {
  TOwned<TSysBase> B(Create<TSysBase>(nullptr));
  TOwned<TSysDerived> D(Create<TSysDerived>(nullptr));
  EXPECT_EQ(B->Made, "base part");
  EXPECT_EQ(D->Made, "derived part of TSysDerived");
}

TEST(TwoPhaseConstructionTest, FreeRunsBeforeDestructionOfMostDerivedClass) {
  Journal.clear();
  TSysDerived* D = Create<TSysDerived>(nullptr);
  Free(D);
  EXPECT_EQ(Journal, std::vector<std::string>{"dying derived"});
  Free(nullptr);  // does nothing
}

TEST(TwoPhaseConstructionTest, RaiseInAfterConstructionFreesObjectAndLeavesOwner) {
  TOwned<TComponent> Owner(Create<TComponent>(nullptr));
  EXPECT_THROW(Create<TSysFailing>(Owner.get()), EComponentError);
  EXPECT_EQ(Owner->ComponentCount(), 0);  // inserted, then removed again; ASan checks the rest
}

TEST(ClassRegistryTest, CreatesComponentsByNameIgnoringCase) {
  RegisterClasses({TSysBase::StaticClass(), TSysDerived::StaticClass()});
  RegisterClass(TSysDerived::StaticClass());  // again: no error
  EXPECT_EQ(FindClass("tsysderived"), TSysDerived::StaticClass());
  EXPECT_EQ(GetClass("TNoSuchClass"), nullptr);
  EXPECT_THROW(FindClass("TNoSuchClass"), EClassNotFound);

  TOwned<TComponent> Owner(Create<TComponent>(nullptr));
  TObject* Obj = CreateObjectByName("TSysDerived", Owner.get());
  auto* D = dynamic_cast<TSysDerived*>(Obj);
  ASSERT_NE(D, nullptr);
  EXPECT_EQ(D->Made, "derived part of TSysDerived");
  EXPECT_EQ(D->Owner(), Owner.get());
  EXPECT_EQ(Owner->GetComponent(0), D);
  UnRegisterClass(TSysBase::StaticClass());
  EXPECT_EQ(GetClass("TSysBase"), nullptr);
}

TEST(ClassRegistryTest, RefusesAbstractClassesAndWrongConstructorArguments) {
  EXPECT_EQ(TSysAbstract::StaticClass()->Construct, nullptr);
  EXPECT_THROW(TSysAbstract::StaticClass()->CreateInstance(nullptr), EComponentError);
  EXPECT_THROW(CreateComponent(TStringList::StaticClass(), nullptr), EComponentError);
  TOwned<TStringList> NotAComponent(Create<TStringList>());
  EXPECT_THROW(TSysDerived::StaticClass()->CreateInstance(NotAComponent.get()), EComponentError);
}

TEST(ClassRegistryTest, AnotherClassUnderATakenNameIsRefused) {
  struct TFakeInfo {
    TClassInfo Info;
  };
  static TFakeInfo Fake;
  Fake.Info.Name = "TSysDerived";
  RegisterClass(TSysDerived::StaticClass());
  EXPECT_THROW(RegisterClass(&Fake.Info), EFilerError);
  EXPECT_EQ(FindClass("TSysDerived"), TSysDerived::StaticClass());
}

TEST(SetTest, IncludeExcludeContainsAndOperators) {
  enum TColour : std::uint8_t { clRed, clGreen, clBlue };
  using TColours = TSet<TColour>;
  TColours S{clRed};
  S.Include(clBlue);
  EXPECT_TRUE(S.Contains(clRed));
  EXPECT_FALSE(S.Contains(clGreen));
  EXPECT_EQ(S.Mask(), 0b101u);
  S.Exclude(clRed).Exclude(clRed);
  EXPECT_EQ(S, TColours{clBlue});
  EXPECT_EQ((TColours{clRed, clGreen} + TColours{clBlue}).Mask(), 0b111u);
  EXPECT_EQ((TColours{clRed, clGreen} * TColours{clGreen, clBlue}), TColours{clGreen});
  EXPECT_EQ((TColours{clRed, clGreen} - TColours{clGreen}), TColours{clRed});
  EXPECT_TRUE(TColours{clGreen}.SubsetOf(TColours{clGreen, clBlue}));
  EXPECT_TRUE(TColours{}.Empty());
}

}  // namespace
}  // namespace fyndra
