// Values of every field type the model dataset presents travel both ways
// between its fields and the items: a field shows its item's value, and a
// value written into the field becomes the item's value.
#include <gtest/gtest.h>

#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/modeldataset/zvmodeldataset.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include "dataset/dstest.h"

namespace fyndra {
namespace {

TEST(ModelDataSetValues, EveryTypeReadsAndWritesThroughItsItem) {
  struct Row {
    const char* Name;
    TFieldType Type;
    int Size;
    Variant ItemValue;   // set on the item, read through the field
    Variant FieldValue;  // written into the field, read from the item
  };
  const TSQLTimeStamp Stamp{2024, 2, 29, 13, 45, 30, 0};
  const TSQLTimeStamp Stamp2{1999, 12, 31, 23, 59, 59, 0};
  const std::vector<Row> Rows = {
      {"SI", ftSmallint, 0, Variant(std::int16_t(-1234)), Variant(std::int16_t(-32768))},
      {"W", ftWord, 0, Variant(std::int32_t(65535)), Variant(std::int32_t(40000))},
      {"I", ftInteger, 0, Variant(std::int32_t(-70000)), Variant(std::int32_t(2147483647))},
      {"L", ftLargeint, 0, Variant(std::int64_t(1) << 40), Variant(-(std::int64_t(1) << 50))},
      {"B", ftBoolean, 0, Variant(true), Variant(false)},
      {"F", ftFloat, 0, Variant(-2.75), Variant(1e100)},
      {"C", ftCurrency, 0, Variant(12.5), Variant(-0.25)},
      {"BCD", ftBCD, 4, Variant(Currency(1234.5678)), Variant(Currency(-9.0001))},
      {"D", ftDate, 0, Variant(TDateTime(45000)), Variant(TDateTime(1))},
      {"DT", ftDateTime, 0, Variant(TDateTime(45000.25)), Variant(TDateTime(36525.75))},
      {"TS", ftTimeStamp, 0, VarSQLTimeStampCreate(Stamp), VarSQLTimeStampCreate(Stamp2)},
      {"FB", ftFMTBcd, 4, VarFMTBcdCreate(StrToBcd("123456789.0123")), VarFMTBcdCreate(StrToBcd("-0.5"))},
      {"S", ftString, 12, Variant("abc"), Variant("xyz")},
      {"WS", ftWideString, 12, Variant(u"\u00e9t\u00e9"), Variant(u"\u00fcber")},
  };
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  for (const Row& R : Rows) DS->GetFieldDefs()->Add(R.Name, R.Type, R.Size);
  DS->CreateDataSet();
  auto Src = CreateOwned<TDataSource>(nullptr);
  Src->SetDataSet(DS.get());
  auto M = CreateOwned<TzvDBFindModel>(nullptr);
  M->GetOptions()->SetAutoUpdate(false);
  M->SetDataSource(Src.get());
  TzvModelDataSet* MD = M->GetModelDataSet();
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Name);
    TzvCompareItem* Item = M->GetCompareItems()->FindByName(R.Name);
    TField* Field = MD->FindField(R.Name);
    ASSERT_NE(Item, nullptr);
    ASSERT_NE(Field, nullptr);
    EXPECT_EQ(Field->GetDataType(), R.Type);
    EXPECT_TRUE(Field->IsNull());
    Item->SetAsVariant(R.ItemValue);
    EXPECT_EQ(VarCompareValue(Field->GetAsVariant(), R.ItemValue), vrEqual)
        << VarToStr(Field->GetAsVariant()) << " / " << VarToStr(R.ItemValue);
    MD->Edit();
    Field->SetAsVariant(R.FieldValue);
    MD->Post();
    EXPECT_EQ(VarCompareValue(Item->GetAsVariant(), R.FieldValue), vrEqual)
        << VarToStr(Item->GetAsVariant()) << " / " << VarToStr(R.FieldValue);
    MD->Edit();
    Field->Clear();
    MD->Post();
    EXPECT_TRUE(Item->IsEmpty());
    EXPECT_TRUE(Field->IsNull());
  }
}

}  // namespace
}  // namespace fyndra
