// Shared vocabulary of the dataset layer: the field data types, the dataset
// states, the errors the layer raises and its message table. Everything here is
// a plain value; nothing is owned.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {

class TComponent;

// Raised by the dataset layer for every refused operation (unknown field,
// closed dataset, key violation, damaged file …). The message names the
// component when it has a name ("Customers: Field 'X' not found").
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

enum TFieldType : std::uint8_t {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat,
  ftCurrency, ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes,
  ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle,
  ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT,
  ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
  ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};
FYNDRA_ENUM_NAMES(TFieldType, ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat,
                  ftCurrency, ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob,
                  ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor,
                  ftFixedChar, ftWideString, ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob,
                  ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd)

// The name of a field type as written in messages and files ("ftInteger").
std::string_view FieldTypeName(TFieldType Type);

enum TDataSetState : std::uint8_t {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter,
  dsNewValue, dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};

// What a dataset tells its data sources (and they their links).
enum TDataEvent : std::uint8_t {
  deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll,
  deLayoutChange, deUpdateRecord, deUpdateState, deCheckBrowseMode,
  dePropertyChange, deFieldListChange, deFocusControl, deParentScroll,
  deDisabledStateChange
};

// Message table of the dataset layer. Texts with %s take the arguments named
// in their comment.
namespace dbmsg {
inline constexpr const char* SFieldNotFound = "Field '%s' not found";  // field name
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SNotBrowsing = "Dataset not in browse mode";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";  // field
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";  // field
inline constexpr const char* SFieldTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SFieldValueError = "Invalid value for field '%s'";  // field
inline constexpr const char* SNotAnInteger = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* SNotAFloat = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* SNotABoolean = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* SNotADateTime = "'%s' is not a valid date and time for field '%s'";
inline constexpr const char* SNotACurrency = "'%s' is not a valid currency value for field '%s'";
inline constexpr const char* SNotABcd = "'%s' is not a valid BCD value for field '%s'";
inline constexpr const char* SNotAGuid = "'%s' is not a valid GUID value for field '%s'";
inline constexpr const char* SFieldRangeError = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";  // field, type
inline constexpr const char* SValueTooLong = "Value of %d characters is too long for field '%s' of size %d";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SFieldTypeNotSupported = "Field '%s' is of an unsupported type";
inline constexpr const char* SInvalidFieldSize = "Invalid field size %d for field '%s': the size must lie between 0 and %d";
inline constexpr const char* SBookmarkInvalid = "Bookmark not valid for this dataset";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SKeyViolation = "Key violation: index '%s' already holds this key";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SNoIndexForFields = "No index for fields '%s'";
inline constexpr const char* SNoFieldDefs = "Dataset has no field definitions";
inline constexpr const char* SNotInKeyMode = "Dataset not in key edit mode (call SetKey, SetRangeStart or SetRangeEnd first)";
inline constexpr const char* SNoIndex = "Dataset has no current index";
inline constexpr const char* STooManyKeyValues = "%d key values given for an index of %d fields";  // given, fields
inline constexpr const char* SNotIndexField = "Field '%s' is not a key field of the current index";  // field
inline constexpr const char* SIndexFieldRange = "Index field %d does not exist: the index has %d fields";
inline constexpr const char* SCircularDataLink = "Circular data link";
inline constexpr const char* SDataSourceChange = "Data source cannot be changed";
inline constexpr const char* SFileError = "Cannot read file '%s': %s";
inline constexpr const char* SFileWriteError = "Cannot write file '%s': %s";
inline constexpr const char* SAutoIncExhausted = "Field '%s' has no auto-increment values left";  // field
inline constexpr const char* SLocateKeyMismatch = "Locate: %d key values given for %d fields";
inline constexpr const char* SFieldNotIndexable = "Field '%s' cannot be used in an index";
}  // namespace dbmsg

// Raises EDatabaseError with Message, prefixed with "Name: " when Component
// is given and has a name.
[[noreturn]] void DatabaseError(const std::string& Message, const TComponent* Component = nullptr);

}  // namespace fyndra
