#include <fyndra/core/zvmodelconsts.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string_view>

namespace fyndra {

namespace {

struct TResString {
  int Id;
  std::string_view Text;
};

// Sorted by identifier so that lookup can bisect.
constexpr TResString ResStrings[] = {
    {SEmptyParentheses, "Empty parentheses at position %d of the expression"},
    {SNullCompareModel, "null"},
    {SNotNullCompareModel, "not null"},
    {SItemNotFound, "Item '%s' not found"},
    {SDuplicateName, "Duplicate name \"%s\""},
    {SCompareModelError, "CompareModel '%s' not found"},
    {SCompareItemCreateError, "Collection is not TCompareItems"},
    {SInvalidItemValue, "'%s' is not a valid value for item '%s' "},
    {SInvalidOperator, "Inadmissible operator"},
    {SInvalidExpression,
     "Incorrect expression. You can use only the AND, OR, \", (, ) operators and the names of "
     "items from the CompareItems collection."},
    {SZvModelDataSetCreateError, "Owner is not TDataSetModel"},
    {SIsNotDataSet, "'%s' is not descendant of %s component"},
    {SInvalidItemDelete,
     "Before removing the item '%s', delete the name of the item from expression, which is "
     "given in property %s.Expression"},
    {SInvalidItemName,
     "Item '%0:s' not found. Delete this name from expression, which is given in property "
     "%1:s.Expression or add the element with name '%0:s' into collection %1:s.CompareItems"},
    {SRecordNotFound, "  The record is not found  "},
    {SNextRecordNotFound, "The following record is not found"},
    {SEqualCompareModel, "equal"},
    {SNotEqualCompareModel, "not equal"},
    {SGreaterCompareModel, "greater"},
    {SGreaterOrEqualCompareModel, "greater or equal"},
    {SLessCompareModel, "less"},
    {SLessOrEqualCompareModel, "less or equal"},
    {SStartsCompareModel, "starts with"},
    {SNotStartsCompareModel, "not starts with"},
    {SEndsCompareModel, "ends on"},
    {SNotEndsCompareModel, "not ends on"},
    {SContainsCompareModel, "contains"},
    {SNotContainsCompareModel, "not contains"},
    {SPatternCompareModel, "contains (wildcard: *, ?)"},
    {SNotPatternCompareModel, "not contains (wildcard: *, ?)"},
};

static_assert(std::is_sorted(std::begin(ResStrings), std::end(ResStrings),
                             [](const TResString& A, const TResString& B) { return A.Id < B.Id; }));

const TResString* Find(int Id) {
  auto It = std::lower_bound(std::begin(ResStrings), std::end(ResStrings), Id,
                             [](const TResString& R, int Key) { return R.Id < Key; });
  return It != std::end(ResStrings) && It->Id == Id ? &*It : nullptr;
}

}  // namespace

std::string LoadResString(int Id) {
  if (const TResString* R = Find(Id)) return std::string(R->Text);
  throw std::out_of_range("no message with identifier " + std::to_string(Id));
}

bool HasResString(int Id) { return Find(Id) != nullptr; }

}  // namespace fyndra
