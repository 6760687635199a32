// The data-set layer's own message texts, worded exactly as the platform words them. Format
// directives follow the run-time Format; DatabaseError in DB.h prefixes the component's name.
#pragma once

namespace DBConsts {
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SFieldNotFound = "Field '%s' not found";            // field name
inline constexpr const char* SFieldNameMissing = "Field name missing";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";   // field name
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";     // display name
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";    // display name
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SDataSetMissing = "Field '%s' has no dataset";       // display name
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";  // display name, type
// display name, expected type name, actual type name
inline constexpr const char* SFieldTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SUnknownFieldType = "Field '%s' is of an unknown type";  // field name
inline constexpr const char* SInvalidFieldSize = "Invalid field size";
inline constexpr const char* SInvalidIntegerValue = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* SInvalidFloatValue = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* SInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
// value, display name, lowest and highest allowed value
inline constexpr const char* SFieldRangeError = "%g is not a valid value for field '%s'. The allowed range is %g to %g";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";            // index name
inline constexpr const char* SDuplicateIndexName = "Duplicate index name '%s'";   // index name
inline constexpr const char* SNoIndexForFields = "No index for fields '%s'";      // field names
inline constexpr const char* SParameterNotFound = "Parameter '%s' not found";     // parameter name
inline constexpr const char* SOperationAborted = "Operation aborted";
inline constexpr const char* STextTrue = "True";
inline constexpr const char* STextFalse = "False";
}  // namespace DBConsts
