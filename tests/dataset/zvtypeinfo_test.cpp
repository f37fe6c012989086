// The published-property functions: lookup by name and kind, and reading and
// writing through a property information that may be missing.
#include <fyndra/dataset/zvtypeinfo.h>

#include <gtest/gtest.h>

#include <fyndra/platform/db/dbclient.h>

namespace fyndra {
namespace {

// Publishes a property of each kind the functions serve, and two object
// properties: one holding a TPersistent and one holding a plain TObject.
class TTypeInfoProbe : public TPersistent {
  FYNDRA_CLASS(TTypeInfoProbe, TPersistent)
 public:
  using TEventType = TEvent<void(TObject*)>;
  std::string Caption = "probe";
  bool Enabled = true;
  TEventType OnPing;
  TPersistent* Buddy = nullptr;
  TObject* Plain = nullptr;
  void Ping(TObject*) {}

 protected:
  TTypeInfoProbe() = default;
};

FYNDRA_PUBLISHED(TTypeInfoProbe, P) {
  P.Property("Caption", &TTypeInfoProbe::Caption);
  P.Property("Enabled", &TTypeInfoProbe::Enabled);
  P.Property("OnPing", &TTypeInfoProbe::OnPing);
  P.Property("Buddy", &TTypeInfoProbe::Buddy);
  P.Property("Plain", &TTypeInfoProbe::Plain);
}

TEST(TypeInfo, LookupByNameAndKind) {
  TOwned<TTypeInfoProbe> Probe(Create<TTypeInfoProbe>());
  EXPECT_NE(GetPropInfo(Probe.get(), "enabled", TTypeKinds{tkEnumeration}), nullptr);
  EXPECT_EQ(GetPropInfo(Probe.get(), "Enabled", TTypeKinds{tkMethod}), nullptr);
  EXPECT_EQ(GetPropInfo(Probe.get(), "Missing", tkAny()), nullptr);
  EXPECT_EQ(GetPropInfo(static_cast<TPersistent*>(nullptr), "Enabled", tkAny()), nullptr);
  // A dataset publishes the two properties the generic filter model uses.
  TOwned<TClientDataSet> DS = CreateOwned<TClientDataSet>(nullptr);
  EXPECT_NE(GetPropInfo(DS.get(), "Filtered", TTypeKinds{tkEnumeration}), nullptr);
  EXPECT_NE(GetPropInfo(DS.get(), "OnFilterRecord", TTypeKinds{tkMethod}), nullptr);
}

TEST(TypeInfo, ValuesThroughPropertyInformation) {
  TOwned<TTypeInfoProbe> Probe(Create<TTypeInfoProbe>());
  TTypeInfoProbe* P = Probe.get();
  PPropInfo Caption = GetPropInfo(P, "Caption", tkStrings());
  PPropInfo Enabled = GetPropInfo(P, "Enabled", TTypeKinds{tkEnumeration});
  PPropInfo OnPing = GetPropInfo(P, "OnPing", TTypeKinds{tkMethod});
  EXPECT_EQ(GetStringByPropInfo(P, Caption), "probe");
  EXPECT_TRUE(GetBooleanByPropInfo(P, Enabled));
  SetBooleanByPropInfo(P, Enabled, false);
  EXPECT_FALSE(P->Enabled);
  const TTypeInfoProbe::TEventType Handler(P, &TTypeInfoProbe::Ping);
  SetMethodByPropInfo(P, OnPing, Handler.Method());
  EXPECT_TRUE(P->OnPing == Handler);
  EXPECT_FALSE(GetMethodByPropInfo(P, OnPing).IsNull());
  SetMethodByPropInfo(P, OnPing, TMethod());
  EXPECT_FALSE(P->OnPing);
  // Without the property: the empty value of the kind, and writes do nothing.
  EXPECT_EQ(GetStringByPropInfo(P, nullptr), "");
  EXPECT_FALSE(GetBooleanByPropInfo(P, nullptr));
  EXPECT_TRUE(GetMethodByPropInfo(P, nullptr).IsNull());
  SetBooleanByPropInfo(P, nullptr, true);
  SetMethodByPropInfo(P, nullptr, Handler.Method());
  EXPECT_FALSE(P->Enabled);
  EXPECT_FALSE(P->OnPing);
}

TEST(TypeInfo, PropertyClassIsAPersistentOrRefused) {
  TOwned<TTypeInfoProbe> Probe(Create<TTypeInfoProbe>());
  TOwned<TTypeInfoProbe> Other(Create<TTypeInfoProbe>());
  TOwned<TObject> Plain(Create<TObject>());
  EXPECT_EQ(GetPropertyClass(Probe.get(), "Buddy"), nullptr);  // holds nothing
  Probe->Buddy = Other.get();
  EXPECT_EQ(GetPropertyClass(Probe.get(), "buddy"), Other.get());
  EXPECT_EQ(GetPropertyClass(Probe.get(), "Caption"), nullptr);  // not an object
  EXPECT_EQ(GetPropertyClass(Probe.get(), "Missing"), nullptr);
  Probe->Plain = Plain.get();
  EXPECT_THROW(GetPropertyClass(Probe.get(), "Plain"), EInvalidCast);
}

}  // namespace
}  // namespace fyndra
