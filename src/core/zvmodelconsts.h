// The message table of the model components: every text the core shows or
// raises, keyed by a numeric identifier and loaded by that identifier at the
// moment it is used. The table is static data; nothing here is owned.
#pragma once

#include <string>

namespace fyndra {

// Identifiers of the messages. The captions of the sixteen compare operators
// share the table with the error texts.
// Below the table's original range: messages of later additions.
inline constexpr int SEmptyParentheses = 65500;
inline constexpr int SNullCompareModel = 65504;
inline constexpr int SNotNullCompareModel = 65505;
inline constexpr int SItemNotFound = 65506;
inline constexpr int SDuplicateName = 65507;
inline constexpr int SCompareModelError = 65508;
inline constexpr int SCompareItemCreateError = 65509;
inline constexpr int SInvalidItemValue = 65510;
inline constexpr int SInvalidOperator = 65511;
inline constexpr int SInvalidExpression = 65512;
inline constexpr int SZvModelDataSetCreateError = 65513;
inline constexpr int SIsNotDataSet = 65514;
inline constexpr int SInvalidItemDelete = 65515;
inline constexpr int SInvalidItemName = 65516;
inline constexpr int SRecordNotFound = 65520;
inline constexpr int SNextRecordNotFound = 65521;
inline constexpr int SEqualCompareModel = 65522;
inline constexpr int SNotEqualCompareModel = 65523;
inline constexpr int SGreaterCompareModel = 65524;
inline constexpr int SGreaterOrEqualCompareModel = 65525;
inline constexpr int SLessCompareModel = 65526;
inline constexpr int SLessOrEqualCompareModel = 65527;
inline constexpr int SStartsCompareModel = 65528;
inline constexpr int SNotStartsCompareModel = 65529;
inline constexpr int SEndsCompareModel = 65530;
inline constexpr int SNotEndsCompareModel = 65531;
inline constexpr int SContainsCompareModel = 65532;
inline constexpr int SNotContainsCompareModel = 65533;
inline constexpr int SPatternCompareModel = 65534;
inline constexpr int SNotPatternCompareModel = 65535;

// The text of message Id, exactly as tabled (leading and trailing blanks
// included). Throws std::out_of_range for an identifier that is not in the
// table: that is a programming error, not a user error.
std::string LoadResString(int Id);

// Whether Id names a message of the table.
bool HasResString(int Id);

}  // namespace fyndra
