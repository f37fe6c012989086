// The one-record model dataset: fields that follow the items, reads and
// writes that reach the items, Null and empty text, and the single record.
#include <fyndra/modeldataset/zvmodeldataset.h>

#include <gtest/gtest.h>

#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include "dataset/dstest.h"

namespace fyndra {
namespace {

struct ModelData {
  TOwned<TClientDataSet> DS = CreateOwned<TClientDataSet>(nullptr);
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TzvDBFindModel> M = CreateOwned<TzvDBFindModel>(nullptr);
  TzvModelDataSet* MD = nullptr;

  ModelData() {
    auto* D = DS->GetFieldDefs();
    D->Add("A", ftString, 20);
    D->Add("B", ftInteger);
    D->Add("MEMO", ftMemo);
    D->Add("WIDE", ftWideString, 8);
    D->Add("WHEN", ftDateTime);
    D->Add("PRICE", ftFloat);
    DS->CreateDataSet();
    Src->SetDataSet(DS.get());
    M->GetOptions()->SetAutoUpdate(false);
    M->SetDataSource(Src.get());
    MD = M->GetModelDataSet();
  }
  TField* Field(const std::string& Name) const { return MD->FindField(Name); }
  TzvCompareItem* Item(const std::string& Name) const { return M->GetCompareItems()->FindByName(Name); }
};

TEST(ModelDataSet, ExposesOneFieldPerItemWithTheColumnsTypeAndSize) {
  ModelData X;
  EXPECT_EQ(X.M->GetInternalDataSource()->GetDataSet(), X.MD);
  ASSERT_TRUE(X.MD->GetActive());
  ASSERT_EQ(X.MD->FieldCount(), 6);
  EXPECT_EQ(X.Field("A")->GetDataType(), ftString);
  EXPECT_EQ(X.Field("A")->GetSize(), X.Item("A")->GetDataSize());
  EXPECT_EQ(X.Field("B")->GetDataType(), ftInteger);
  EXPECT_EQ(X.Field("MEMO")->GetDataType(), ftString);  // memo criteria edit as text
  EXPECT_EQ(X.Field("WIDE")->GetDataType(), ftWideString);
  EXPECT_EQ(X.MD->RecordCount(), 1);
  X.MD->First();
  X.MD->Next();
  EXPECT_TRUE(X.MD->Eof());
  X.MD->Prior();
  EXPECT_TRUE(X.MD->Bof());
  // Closing the dataset removes the items and so the fields.
  X.DS->Close();
  EXPECT_EQ(X.MD->FieldCount(), 0);
  X.DS->Open();
  EXPECT_EQ(X.MD->FieldCount(), 6);
}

TEST(ModelDataSet, ItemWithoutDataSetFieldHasNoField) {
  ModelData X;
  X.M->SetItemsOption(ioCustom);
  auto* Loose = X.M->GetCompareItems()->Add();
  Loose->SetName("Loose");
  Loose->SetFieldName("NOSUCH");
  EXPECT_EQ(X.Field("Loose"), nullptr);
  auto* Named = static_cast<TzvFieldItem*>(X.M->GetCompareItems()->Add());
  Named->SetName("Who");
  Named->SetFieldName("A");
  ASSERT_NE(X.Field("Who"), nullptr);
  EXPECT_EQ(X.Field("Who")->GetDataType(), ftString);
  // Renaming the item renames its field; deleting it removes the field.
  Named->SetName("Whom");
  EXPECT_EQ(X.Field("Who"), nullptr);
  ASSERT_NE(X.Field("Whom"), nullptr);
  X.M->GetCompareItems()->Delete(Named->GetIndex());
  EXPECT_EQ(X.Field("Whom"), nullptr);
  EXPECT_EQ(X.MD->GetFieldDefs()->IndexOf("Whom"), -1);
}

TEST(ModelDataSet, ReadsAndWritesReachTheItems) {
  ModelData X;
  EXPECT_TRUE(X.Field("A")->IsNull());
  X.Item("A")->SetAsString("Smith");
  X.Item("B")->SetAsInteger(42);
  X.Item("WHEN")->SetAsDateTime(45000.5);
  X.Item("PRICE")->SetAsFloat(2.5);
  EXPECT_EQ(X.Field("A")->AsString(), "Smith");
  EXPECT_EQ(X.Field("B")->AsInteger(), 42);
  EXPECT_DOUBLE_EQ(X.Field("WHEN")->AsDateTime(), 45000.5);
  EXPECT_DOUBLE_EQ(X.Field("PRICE")->AsFloat(), 2.5);

  X.MD->Edit();
  X.Field("B")->SetAsInteger(7);
  X.Field("WIDE")->SetAsString("\xC3\xA9t\xC3\xA9");
  X.Field("A")->SetAsString("");
  X.MD->Post();
  EXPECT_EQ(X.Item("B")->GetAsInteger(), 7);
  EXPECT_EQ(X.Item("WIDE")->GetAsString(), "\xC3\xA9t\xC3\xA9");
  // An empty text is the empty string, not Null; Clear makes the item Null.
  EXPECT_EQ(X.Item("A")->GetAsVariant().VarType(), varString);
  EXPECT_TRUE(X.Item("A")->IsEmpty());
  X.MD->Edit();
  X.Field("B")->Clear();
  X.MD->Post();
  EXPECT_TRUE(VarIsNull(X.Item("B")->GetAsVariant()));
  EXPECT_TRUE(X.Field("B")->IsNull());
}

// The field shows the item's text as every dataset shows a stored one: whole,
// or refused when it has more characters than the field; never cut.
TEST(ModelDataSet, TextLongerThanTheFieldIsRefusedNotCut) {
  ModelData X;
  X.M->SetItemsOption(ioCustom);
  auto* A = X.Item("A");
  A->SetOptions({});  // keep the value as given
  const int Size = X.Field("A")->GetSize();
  std::string Fits;
  for (int I = 0; I < Size; ++I) Fits += "\xC3\xA9";  // two bytes a character
  A->SetAsString(Fits);
  EXPECT_EQ(X.Field("A")->AsString(), Fits);
  A->SetAsString(Fits + "\xC3\xA9");
  EXPECT_THROW(X.Field("A")->AsString(), EDatabaseError);
  EXPECT_EQ(A->GetAsString(), Fits + "\xC3\xA9");  // the criterion itself is kept
}

TEST(ModelDataSet, TypeChangeReplacesTheField) {
  ModelData X;
  X.M->SetItemsOption(ioCustom);  // the items stay; their fields are looked up again
  ASSERT_EQ(X.Field("B")->GetDataType(), ftInteger);
  X.DS->Close();
  X.DS->GetFieldDefs()->Clear();
  X.DS->GetFieldDefs()->Add("A", ftString, 20);
  X.DS->GetFieldDefs()->Add("B", ftString, 5);
  X.DS->CreateDataSet();
  ASSERT_NE(X.Field("B"), nullptr);
  EXPECT_EQ(X.Field("B")->GetDataType(), ftString);
  EXPECT_EQ(X.Field("MEMO"), nullptr);  // its column is gone
  EXPECT_EQ(X.MD->FieldCount(), 2);
}

TEST(ModelDataSet, OwnerMustBeADataSetModel) {
  try {
    auto Bad = CreateOwned<TzvModelDataSet>(nullptr);
    FAIL() << "created";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), "Owner is not TDataSetModel");
  }
}

}  // namespace
}  // namespace fyndra
