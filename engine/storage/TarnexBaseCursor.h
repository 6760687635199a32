// The engine-side cursor: the state every cursor carries (table name, session, active index,
// record buffers, position, filter, range, search key, record set) and the non-virtual
// operations the table object, the expression evaluator and the dataset components call
// directly. The local cursor (TarnexLocalEngine) implements the 62 virtual operations.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/TarnexTypes.h"
#include "engine/storage/TarnexBaseDefs.h"
#include "engine/storage/TarnexBaseEngineRecordManager.h"
#include "engine/storage/TarnexConst.h"

class TTarnexBaseSession;
class TTarnexExpression;       // a parsed filter (expression layer)
class TTarnexRecordBitmap;     // the records a cursor sees (TarnexBaseEngine.h)
class TTarnexLocalBLOBStream;  // a BLOB stream handed out by the cursor (TarnexCompression.h)
class TTarnexStream;
class TTarnexVariant;
class TTarnexCursor;

// Frees a parsed expression; defined where the expression class is complete.
struct TTarnexExpressionDeleter {
  void operator()(TTarnexExpression* expression) const;
};
// Frees a record set (TarnexBaseEngine.h).
struct TTarnexRecordBitmapDeleter {
  void operator()(TTarnexRecordBitmap* recordSet) const;
};

// The owner's record filter event: true accepts the record in recordBuffer.
using TTarnexRecordFilterEvent = std::function<bool(TTarnexCursor& cursor, const uint8_t* recordBuffer)>;

// The BLOB streams a cursor has handed out and not yet closed (entries owned).
using TTarnexBlobStreamList = std::vector<std::unique_ptr<TTarnexLocalBLOBStream>>;

// What GetSQLScript writes.
struct TTarnexSQLScriptOptions {
  bool WithDrop = false;       // DROP TABLE first
  bool WithCreate = true;      // CREATE TABLE
  bool BracketNames = false;   // names in square brackets
  bool WithIndexes = true;     // CREATE INDEX for every non-primary index
  bool WithDropIndex = false;  // DROP INDEX before each CREATE INDEX
  bool WithData = false;       // one INSERT per record
  int32_t BlobBlockSize = 0;   // block size written with large-object values
};

// The process-wide flag that becomes true once an engine component is created in the form
// designer; cursors copy it into DesignMode when they open. False at start-up.
bool& EngineDesignMode();

class TTarnexCursor {
public:
  TTarnexCursor();
  virtual ~TTarnexCursor();  // frees what the cursor owns (definitions, record set, filter, streams)
  TTarnexCursor(const TTarnexCursor&) = delete;
  TTarnexCursor& operator=(const TTarnexCursor&) = delete;

  // --- the 62 virtual operations, in slot order (implemented by the local cursor) ---

  virtual void CreateTable(TTarnexFieldDefs* fieldDefs, TTarnexIndexDefs* indexDefs,
                           TTarnexConstraintDefs* constraintDefs) = 0;
  virtual void DeleteTable(bool keepObject) = 0;
  virtual void EmptyTable() = 0;
  virtual void RenameTable(const std::string& newName) = 0;
  virtual void RenameField(const std::string& oldName, const std::string& newName) = 0;
  // errorLog OUT: lines appended for every problem met. Returns whether the repair succeeded.
  virtual bool RepairTable(std::string& errorLog, TTarnexBaseSession* session) = 0;
  virtual void DropConstraint(const std::string& name, bool force, bool ignoreForeignKeys) = 0;
  virtual void LoadTableFromStream(TTarnexStream& stream) = 0;
  virtual void SaveTableToStream(TTarnexStream& stream, int32_t options) = 0;
  virtual std::string GetSQLScript(const TTarnexSQLScriptOptions& options) = 0;
  virtual void RefreshFieldDefs() = 0;
  virtual void OpenTable(TTarnexFieldDefs* fieldDefs, TTarnexIndexDefs* indexDefs,
                         TTarnexConstraintDefs* constraintDefs) = 0;
  virtual void RefreshIndexDefs() = 0;
  virtual void CloseTable() = 0;
  // Sets every null flag of buffer; applyDefaults: then the table's ApplyDefaults.
  virtual void InitRecordBuffer(uint8_t* buffer, bool applyDefaults) = 0;
  virtual TTarnexIndexDefs* GetIndexDefs() = 0;
  virtual void AddIndex(const TTarnexIndexDef& definition) = 0;
  virtual void DeleteIndex(const std::string& name) = 0;
  virtual void DeleteAllIndexes() = 0;
  // indexName OUT: the index whose key columns are exactly fieldNames, or empty.
  virtual void FindIndexByFields(TTarnexBaseSession* session, const std::vector<std::string>& fieldNames,
                                 const std::vector<std::string>& directions,
                                 const std::vector<std::string>& caseModes, std::string& indexName) = 0;
  virtual void UnnamedOperation21() = 0;  // raises 11394 "Error - operation is not supported"
  virtual bool RecordExists() = 0;
  virtual int64_t GetRecordCount() = 0;
  // Current re-reads the record, Next and Prior move in the cursor's order.
  virtual TNavigationResult GetRecord(TNavigationDirection mode) = 0;
  virtual void SetRecNo(int64_t recNo) = 0;
  virtual int64_t GetRecNo() = 0;
  virtual void UnnamedOperation27() = 0;  // does nothing
  virtual void BeginEdit() = 0;
  virtual void CancelEdit(bool flag) = 0;
  virtual void PostRecord(bool inserting) = 0;
  virtual void DeleteRecord() = 0;
  virtual void DeleteAllRecords() = 0;
  // values: one per name, not owned.
  virtual void UpdateAllRecords(const std::vector<std::string>& fieldNames,
                                const std::vector<const TTarnexVariant*>& values) = 0;
  virtual void InvalidateRecordSet() = 0;
  virtual void UnnamedOperation35() = 0;  // raises 11393 "Error - operation is not supported"
  virtual void SetProjection(const std::vector<std::string>& fieldNames,
                             const std::vector<std::string>& displayNames) = 0;
  virtual void SetFilter(const std::string& text, bool partialCompare, bool caseInsensitive) = 0;
  virtual void ClearFilter() = 0;
  // values: one per name, not owned.
  virtual bool Locate(const std::vector<std::string>& fieldNames, const std::vector<const TTarnexVariant*>& values,
                      bool caseInsensitive, bool partialKey) = 0;
  virtual bool FindKey(TTarnexScanRelation relation) = 0;
  virtual void CancelRange() = 0;
  // The key buffers stay the caller's.
  virtual void SetRange(uint8_t* startKey, uint8_t* endKey, bool endExclusive, bool startExclusive,
                        int32_t endFieldCount, int32_t startFieldCount) = 0;
  virtual void SetSQLFilter(TTarnexExpression* expression) = 0;
  // fieldNo counts VisibleFieldDefs; mode 1 reads, 0 and 2 may write. The stream stays the
  // cursor's (listed in BlobStreams).
  virtual TTarnexLocalBLOBStream* OpenBlob(bool newValue, int32_t fieldNo, uint8_t mode) = 0;
  virtual void CloseBlob(int32_t fieldNo) = 0;
  virtual void FreeBlobStreams(bool onlyWritable) = 0;
  virtual int64_t GetLastAutoinc(int32_t fieldNo) = 0;  // fieldNo counts FieldDefs
  virtual void SetLastAutoinc(int32_t fieldNo, int64_t value) = 0;
  virtual void IncUsage() = 0;
  virtual void DecUsage() = 0;
  // errorCode: the code a refusal is raised with.
  virtual void LockShared(int32_t errorCode) = 0;
  virtual void UnlockShared(int32_t errorCode) = 0;
  virtual void LockIRW(int32_t errorCode) = 0;
  virtual void UnlockIRW(int32_t errorCode) = 0;
  virtual void LockRW(int32_t errorCode) = 0;
  virtual void UnlockRW(int32_t errorCode) = 0;
  virtual bool TryLockShared() = 0;
  virtual bool TryUnlockShared() = 0;
  virtual bool TryLockIRW() = 0;
  virtual bool TryUnlockIRW() = 0;
  virtual bool TryLockRW() = 0;
  virtual bool TryUnlockRW() = 0;

  // --- non-virtual operations ---

  // IndexName := name; IndexID := ObjectID of the definition of that name in IndexDefs (ignoring
  // case), else -1 (table order).
  void SetIndexName(const std::string& name);

  // Field fieldNo (counted in VisibleFieldDefs) of recordBuffer, through the record-buffer
  // accessors of TarnexBaseEngineRecords.h. A number outside 0..VisibleFieldDefs->Count()-1
  // raises "Invalid field number - FieldNo = %d, FieldCount = %d" (10005 get, 10006 set).
  bool GetFieldData(int32_t fieldNo, void* destination, const uint8_t* recordBuffer) const;
  void SetFieldData(int32_t fieldNo, const void* source, uint8_t* recordBuffer);

  // value OUT: field fieldNo of RecordBuffer (countInFieldDefs: fieldNo counts FieldDefs, else
  // VisibleFieldDefs; out of range "Invalid field number - FieldNo = %d, FieldCount = %d",
  // 10317 / 10737). NULL gives a null value. A BLOB kind is read whole through OpenBlob (read
  // mode) and CloseBlob: n bytes become a value of n + 1 bytes (n + 2 for WideMemo) ending in
  // zeros; an empty BLOB is null. Other fields: the value's bytes; byReference points into
  // RecordBuffer instead of copying. Text values hold the text up to its terminator (an empty
  // text is null).
  void GetFieldValue(TTarnexVariant& value, int32_t fieldNo, bool byReference, bool countInFieldDefs);
  // Writes value into field fieldNo of recordBuffer (nil: RecordBuffer); numbering as above
  // (10318 / 10738). Null sets the null flag; otherwise the value is converted to the field's data
  // type (conversion errors of TarnexVariant) and written, text cut to the field. A BLOB kind is
  // written as a new value through OpenBlob (write mode) and CloseBlob, which only RecordBuffer
  // supports (another buffer raises 10739 "Error - operation is not supported").
  void SetFieldValue(const TTarnexVariant& value, int32_t fieldNo, uint8_t* recordBuffer, bool countInFieldDefs);

  // A memory-manager block of RecordBufferSize bytes, contents undefined; the caller frees it
  // with FreeRecordBuffer (which sets the variable to nil).
  uint8_t* AllocRecordBuffer() const;
  void FreeRecordBuffer(uint8_t*& buffer) const;
  // A block of PositionedRecordSize bytes (a record followed by its RecordID); free it with
  // FreeRecordBuffer.
  uint8_t* AllocPositionedRecord() const;
  // Zero-fills buffer (PositionedRecordSize bytes), then InitRecordBuffer(buffer, false).
  void InitPositionedRecord(uint8_t* buffer);

  void SetBOF() { Bof = true; Eof = false; }
  void SetEOF() { Bof = false; Eof = true; }

  // An 8-byte memory-manager block: [0] Bof, [1] Eof, [2..7] RecordID. RestorePosition copies
  // the three back (the record buffer is not restored); FreePosition frees a non-nil block.
  uint8_t* SavePosition() const;
  void RestorePosition(const uint8_t* position);
  void FreePosition(uint8_t*& position) const;

  bool HasIndex() const { return IndexID != -1; }
  bool HasFilter() const { return FilterExpression != nullptr || FilterCallback != nullptr || SQLFilter != nullptr; }
  bool HasRange() const { return RangeStart != nullptr || RangeEnd != nullptr; }
  bool IsFiltered() const { return HasFilter() || HasRange(); }

  // The page-manager session of the cursor's changes: its session's SessionID, -2 without one.
  int32_t SessionIDForPages() const;

  // --- fields, in their declared order ---

  int32_t AllocBy = 1000;       // growth step of an in-memory table created through this cursor
  bool ProjectionSet = false;   // a projection fixes VisibleFieldDefs
  std::string TableName;
  std::string IndexName;        // the active index; empty for table order
  TTarnexObjectID IndexID = InvalidObjectID;  // ObjectID of the active index; -1 for table order
  bool ReadOnly = false;
  bool Exclusive = false;
  bool InMemory = false;
  bool Temporary = false;
  TTarnexBaseSession* Session = nullptr;  // not owned; tags every change the cursor makes
  bool Opened = false;                    // attached to its table
  // RecordBufferSize bytes: the current record, then the 7-byte trailer (RecordID, flag).
  // A memory-manager block owned by the cursor (the local cursor allocates and frees it).
  uint8_t* RecordBuffer = nullptr;
  uint8_t* OldRecordBuffer = nullptr;     // as RecordBuffer: the record before an edit
  std::unique_ptr<TTarnexConstraintDefs> ConstraintDefs;   // owned copy of the table's constraints
  std::unique_ptr<TTarnexFieldDefs> FieldDefs;             // owned copy of the table's fields
  // Owned: the fields the cursor exposes; each carries its number in FieldDefs (FieldNo).
  std::unique_ptr<TTarnexFieldDefs> VisibleFieldDefs;
  std::unique_ptr<TTarnexIndexDefs> IndexDefs;             // owned copy of the table's indexes
  std::unique_ptr<TTarnexBlobStreamList> BlobStreams;      // owned; nil while closed
  std::unique_ptr<TTarnexRecordBitmap, TTarnexRecordBitmapDeleter> RecordSet;  // owned
  int32_t Status = 0;           // result of the last edit: 0 success, negative failure
  std::string StatusText;       // message of the last failure
  bool DesignMode = false;      // EngineDesignMode() when the cursor opened
  int32_t RecordBufferSize = 0;      // RecordSize + 7
  int32_t PositionedRecordSize = 0;  // RecordSize + 6
  int32_t KeyFieldCount = 0;         // leading columns of the active index KeyBuffer fills
  int32_t RecordSize = 0;            // bytes of the record data
  std::unique_ptr<TTarnexExpression, TTarnexExpressionDeleter> FilterExpression;  // owned
  TTarnexExpression* SQLFilter = nullptr;  // not owned: a filter the SQL layer sets
  uint8_t* KeyBuffer = nullptr;            // not owned: the search key of FindKey
  uint8_t* RangeStart = nullptr;           // not owned: the range's lower bound (a key buffer)
  uint8_t* RangeEnd = nullptr;             // not owned: the range's upper bound
  bool RangeStartExclusive = false;
  bool RangeEndExclusive = false;
  int32_t RangeStartFieldCount = 0;   // leading index columns each bound fills
  int32_t RangeEndFieldCount = 0;
  TTarnexRecordID RecordID;            // the current record
  // Before the first / after the last record (spelled so because EOF is a C library macro).
  bool Bof = true;
  bool Eof = false;
  TTarnexRecordFilterEvent FilterCallback;  // the owner's record filter event; empty for none

private:
  // The FieldDefs number of fieldNo, after the range check against the list counted in.
  int32_t CheckedFieldNo(int32_t fieldNo, bool countInFieldDefs, int32_t fieldDefsCode, int32_t visibleCode) const;
  // The VisibleFieldDefs number that shows FieldDefs field fieldDefsNo; -1 when hidden.
  int32_t VisibleNumberOf(int32_t fieldDefsNo) const;
};
