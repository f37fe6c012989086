#include <fyndra/core/zvmodelconsts.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace fyndra {
namespace {

// Texts whose blanks, quotes or placeholders are easy to get wrong.
TEST(ZvModelConsts, TextsKeepTheirBlanksQuotesAndPlaceholders) {
  struct Row {
    int Id;
    const char* Text;
  } Rows[] = {
      {SRecordNotFound, "  The record is not found  "},
      {SInvalidItemValue, "'%s' is not a valid value for item '%s' "},
      {SDuplicateName, "Duplicate name \"%s\""},
      {SInvalidExpression,
       "Incorrect expression. You can use only the AND, OR, \", (, ) operators and the names of items "
       "from the CompareItems collection."},
      {SInvalidItemName,
       "Item '%0:s' not found. Delete this name from expression, which is given in property %1:s.Expression "
       "or add the element with name '%0:s' into collection %1:s.CompareItems"},
      {SPatternCompareModel, "contains (wildcard: *, ?)"},
      {SNotPatternCompareModel, "not contains (wildcard: *, ?)"},
      {SNullCompareModel, "null"},
  };
  for (const Row& R : Rows) EXPECT_EQ(LoadResString(R.Id), R.Text) << R.Id;
}

TEST(ZvModelConsts, TableCoversItsRangeWithTheThreeGapsAndNothingElse) {
  int Present = 0;
  for (int Id = 65504; Id <= 65535; ++Id) {
    bool Gap = Id >= 65517 && Id <= 65519;
    EXPECT_EQ(HasResString(Id), !Gap) << Id;
    if (HasResString(Id)) {
      EXPECT_FALSE(LoadResString(Id).empty()) << Id;
      ++Present;
    }
  }
  EXPECT_EQ(Present, 29);
  EXPECT_FALSE(HasResString(65503));
  EXPECT_EQ(LoadResString(SEmptyParentheses), "Empty parentheses at position %d of the expression");
  EXPECT_THROW(LoadResString(65518), std::out_of_range);
  EXPECT_THROW(LoadResString(0), std::out_of_range);
}

}  // namespace
}  // namespace fyndra
