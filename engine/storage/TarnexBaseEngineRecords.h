// Reading and writing one field of a record buffer, and filling a new record buffer with its
// defaults and autoincrement values. A record buffer is RecordSize bytes laid out by
// TTarnexFieldDefs::RecalcLayout: null flags (bit i = field i, 1 = null), then the fields.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/storage/TarnexBaseDefs.h"

// Ownership marker in bytes 6-7 of a BLOB field's 8-byte slot (bytes 0-3 hold the handle of
// the BLOB's data block): the buffer carries a freshly written block not yet part of a stored
// record, or the block belongs to the stored record.
constexpr uint16_t TarnexBlobOwnedMarker = 0x0F0F;
constexpr uint16_t TarnexBlobStoredMarker = 0xF0F0;
constexpr int32_t TarnexBlobMarkerOffset = 6;  // within the field's slot

// Null flag of field fieldNo (0-based) in recordBuffer: true = NULL. No range check: fieldNo
// must be below the field count the buffer was laid out for.
bool GetNullFlag(const void* recordBuffer, int32_t fieldNo);
void SetNullFlag(void* recordBuffer, int32_t fieldNo, bool isNull);

// The ownership marker of a BLOB field's slot (field: a BLOB-kind field of the buffer's list).
uint16_t GetBlobMarker(const void* recordBuffer, const TTarnexFieldDef& field);
void SetBlobMarker(void* recordBuffer, const TTarnexFieldDef& field, uint16_t marker);

// Reads field fieldNo of recordBuffer (laid out for fieldDefs) into destination.
//   fieldNo      IN: 0-based position in fieldDefs; outside 0..Count()-1 raises 10000
//                "Invalid field number - FieldNo = %d, FieldCount = %d".
//   destination  OUT, may be nil (then only the null flag is reported):
//                narrow text: the bytes up to and including the terminating zero;
//                wide text: the address (const char16_t*) of the text inside recordBuffer;
//                BLOB kinds: nothing (BLOB data is read through a BLOB stream);
//                anything else: MemoryDataSize bytes.
// Returns false (copying nothing) when the field is NULL. A nil recordBuffer raises "Error
// getting field data - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d" (10002; 10733
// when the field holds text).
bool GetFieldData(int32_t fieldNo, const TTarnexFieldDefs& fieldDefs, void* destination,
                  const void* recordBuffer);

// Writes field fieldNo of recordBuffer.
//   fieldNo  IN: outside 0..Count()-1 raises 10004 "Invalid field number - FieldNo = %d,
//            FieldCount = %d".
//   value    IN: nil sets the field NULL; otherwise the null flag is cleared and
//            narrow text: a zero-terminated string; wide text: points at the address
//            (const char16_t*) of a zero-terminated string; text longer than the slot is cut
//            to MemoryDataSize less the terminator (1 byte narrow, 2 bytes wide) and always
//            terminated; anything else: MemoryDataSize bytes are copied.
// A nil recordBuffer raises "Error getting field data - FieldNo = %d, MemoryOffset = %d,
// MemoryDataSize = %d" (10732; 10734 when the field holds text).
void SetFieldData(int32_t fieldNo, const TTarnexFieldDefs& fieldDefs, const void* value,
                  void* recordBuffer);

// Source of autoincrement values: the next value of the sequence with that ObjectID for the
// caller's session (the table's sequence manager's NextValue).
using TTarnexNextSequenceValue = std::function<int64_t(TTarnexObjectID sequenceID)>;

// Fills a new record buffer. Does nothing unless fieldDefs HasAutoincFields() or
// HasDefaultValues() (RecalcLayout). For each field in order: a non-null DefaultValue is
// converted to the field's DataType and written (text cut as in SetFieldData), clearing the
// null flag; then, when generateAutoinc is set and the field's FieldType is an autoincrement
// type, the low MemoryDataSize bytes of nextValue(SequenceID) are written and the null flag
// cleared. BLOB-kind fields take no default here (their data lives in BLOB blocks). Conversion
// failures raise the value conversion errors (30051, 30052).
void ApplyDefaults(const TTarnexFieldDefs& fieldDefs, void* recordBuffer, bool generateAutoinc,
                   const TTarnexNextSequenceValue& nextValue);
