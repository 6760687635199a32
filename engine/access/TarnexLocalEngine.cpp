// The local cursor: finding its table object, the table operations under the database's lock,
// opening and closing, record buffers and their trailer, navigation, editing with its status
// values, projections, filters, ranges, key searches, BLOB streams, autoincrement access, locks
// and the saved position. GetSQLScript is in TarnexLocalEngineScript.cpp.
#include "engine/access/TarnexLocalEngine.h"

#include <algorithm>
#include <cstring>

#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexBaseDatabase.h"
#include "engine/storage/TarnexBaseEngine.h"
#include "engine/storage/TarnexCriticalSection.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "engine/sql/TarnexExpressions.h"
#include "platform/rtl/Collation.h"

// The cursor as the expression layer sees it.
class TTarnexLocalCursorFieldSource : public TTarnexExprFieldSource {
public:
  explicit TTarnexLocalCursorFieldSource(TTarnexLocalCursor& cursor) : Cursor_(cursor) {}

  const TTarnexFieldDefs& FieldDefs() const override {
    return Cursor_.FieldDefs != nullptr ? *Cursor_.FieldDefs : Empty();
  }
  const TTarnexFieldDefs& VisibleFieldDefs() const override {
    return Cursor_.VisibleFieldDefs != nullptr ? *Cursor_.VisibleFieldDefs : FieldDefs();
  }
  const uint8_t* CurrentRecordBuffer() const override { return Cursor_.RecordBuffer; }
  // Reads through the cursor's BLOB streams with recordBuffer standing in for its buffer.
  void GetBlobValue(TTarnexVariant& value, int32_t fieldNo, const uint8_t* recordBuffer) override {
    uint8_t* own = Cursor_.RecordBuffer;
    struct TPutBack {
      TTarnexLocalCursor& Cursor;
      uint8_t* Buffer;
      ~TPutBack() { Cursor.RecordBuffer = Buffer; }
    } putBack{Cursor_, own};
    if (recordBuffer != nullptr) Cursor_.RecordBuffer = const_cast<uint8_t*>(recordBuffer);
    Cursor_.GetFieldValue(value, fieldNo, false, true);
  }

private:
  static const TTarnexFieldDefs& Empty() {
    static const TTarnexFieldDefs empty;
    return empty;
  }
  TTarnexLocalCursor& Cursor_;  // not owned: the cursor that owns this object
};

namespace {

[[noreturn]] void RaiseTableNotFound(int32_t code, const std::string& tableName) {
  throw ETarnexException(code, "Table not found, table name = %s", {tableName});
}

[[noreturn]] void RaiseNotOpen() { throw ETarnexException(11396, "Nil pointer occured"); }

bool IsWritableMode(uint8_t mode) { return mode == 0 || mode == 2; }

// Keeps TableData and DatabaseData for the duration of one table operation on a closed cursor.
class TTableCall {
public:
  TTableCall(TTarnexLocalCursor& cursor, TTarnexDatabaseData* database, TTarnexTableData* table)
      : Cursor_(cursor), WasOpen_(cursor.Opened) {
    if (!WasOpen_) {
      Cursor_.TableData = table;
      Cursor_.DatabaseData = database;
    }
  }
  ~TTableCall() {
    if (!WasOpen_ && !Cursor_.Opened) {
      Cursor_.TableData = nullptr;
      Cursor_.DatabaseData = nullptr;
    }
  }
  TTableCall(const TTableCall&) = delete;
  TTableCall& operator=(const TTableCall&) = delete;

private:
  TTarnexLocalCursor& Cursor_;
  bool WasOpen_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction, lookups, helpers
// ---------------------------------------------------------------------------------------------

TTarnexLocalCursor::TTarnexLocalCursor(TTarnexBaseSession* session) { Session = session; }

TTarnexLocalCursor::~TTarnexLocalCursor() {
  try {
    CloseTable();
  } catch (...) {
    // A destructor must not raise; what could be freed has been freed.
  }
  ForgetCursorPosition();
  FreeBuffers();
}

TTarnexDatabaseData& TTarnexLocalCursor::SessionDatabase(int32_t notFoundCode) {
  auto* session = dynamic_cast<TTarnexLocalSession*>(Session);
  TTarnexDatabaseData* database = session != nullptr ? session->Database : nullptr;
  if (database == nullptr) RaiseTableNotFound(notFoundCode, TableName);
  return *database;
}

TTarnexTableData* TTarnexLocalCursor::FindTable(TTarnexDatabaseData& database) {
  return database.FindTableData(this);
}

bool TTarnexLocalCursor::SessionInTransaction() { return Session != nullptr && Session->InTransaction(); }

TTarnexTableData& TTarnexLocalCursor::RequireTable(TTarnexDatabaseData& database, int32_t notFoundCode,
                                                   int32_t transactionCode) {
  if (transactionCode != 0 && !InMemory && !Temporary && SessionInTransaction())
    throw ETarnexException(transactionCode, "Cannot perform this operation inside a transaction");
  TTarnexTableData* table = FindTable(database);
  if (table == nullptr) RaiseTableNotFound(notFoundCode, TableName);
  return *table;
}

TTarnexTableData& TTarnexLocalCursor::OpenTableData() const {
  if (TableData == nullptr) RaiseNotOpen();
  return *TableData;
}

template <class F>
void TTarnexLocalCursor::WithTable(int32_t notFoundCode, F f) {
  if (TableData != nullptr) {
    f(*TableData);
    return;
  }
  TTarnexDatabaseData& database = SessionDatabase(notFoundCode);
  TTarnexCriticalSectionGuard guard(database.LockSection());
  TTarnexTableData& table = RequireTable(database, notFoundCode, 0);
  TTableCall call(*this, &database, &table);
  f(table);
}

void TTarnexLocalCursor::WriteTrailer(uint8_t* buffer, const TTarnexRecordID& id, uint8_t flag) const {
  if (buffer == nullptr || RecordBufferSize < RecordSize + TrailerSize) return;
  id.WriteTo(buffer + RecordSize);
  buffer[RecordSize + TTarnexRecordID::Size] = flag;
}

TTarnexRecordID TTarnexLocalCursor::TrailerRecordID(const uint8_t* buffer) const {
  if (buffer == nullptr || RecordBufferSize < RecordSize + TrailerSize) return RecordID;
  return TTarnexRecordID::ReadFrom(buffer + RecordSize);
}

void TTarnexLocalCursor::FreeBuffers() {
  MemoryManager().FreeAndNillMem(RecordBuffer);
  MemoryManager().FreeAndNillMem(OldRecordBuffer);
}

void TTarnexLocalCursor::CopyIndexAndConstraintDefs(TTarnexTableData& table) {
  TTarnexCriticalSectionGuard guard(table.Lock());
  auto indexes = std::make_unique<TTarnexIndexDefs>();
  indexes->Assign(table.IndexDefs());
  auto constraints = std::make_unique<TTarnexConstraintDefs>();
  constraints->Assign(table.ConstraintDefs());
  IndexDefs = std::move(indexes);
  ConstraintDefs = std::move(constraints);
  if (Opened) SetIndexName(IndexName);
}

void TTarnexLocalCursor::SetUpOpened(TTarnexTableData& table) {
  SetBOF();
  RecordID = TTarnexRecordID();
  CopyIndexAndConstraintDefs(table);
  BlobStreams = std::make_unique<TTarnexBlobStreamList>();
  RecordSet = std::unique_ptr<TTarnexRecordBitmap, TTarnexRecordBitmapDeleter>(new TTarnexRecordBitmap(&table));
  Opened = true;
  DesignMode = EngineDesignMode();
  SetIndexName(IndexName);
}

// ---------------------------------------------------------------------------------------------
// Table operations
// ---------------------------------------------------------------------------------------------

void TTarnexLocalCursor::CreateTable(TTarnexFieldDefs* fieldDefs, TTarnexIndexDefs* indexDefs,
                                     TTarnexConstraintDefs* constraintDefs) {
  CloseTable();
  auto* session = dynamic_cast<TTarnexLocalSession*>(Session);
  TTarnexDatabaseData* database = session != nullptr ? session->Database : nullptr;
  if (database == nullptr) throw ETarnexException(10523, "Nil pointer occured");
  TTarnexCriticalSectionGuard guard(database->LockSection());
  if ((InMemory || Temporary) && FindTable(*database) != nullptr) DeleteTable(false);
  TTarnexTableData* table = database->CreateTableData(this);
  if (table == nullptr) throw ETarnexException(10523, "Nil pointer occured");
  if (indexDefs != nullptr)
    for (int32_t i = 0; i < indexDefs->Count(); ++i) indexDefs->Items(i)->RootPageNo = -1;
  TTableCall call(*this, database, table);
  try {
    table->CreateTable(this, fieldDefs, constraintDefs, indexDefs);
  } catch (...) {
    database->FreeTableData(table);
    throw;
  }
}

void TTarnexLocalCursor::DeleteTable(bool keepObject) {
  CloseTable();
  TTarnexDatabaseData& database = SessionDatabase(10027);
  TTarnexCriticalSectionGuard guard(database.LockSection());
  TTarnexTableData& table = RequireTable(database, 10027, 10838);
  TTableCall call(*this, &database, &table);
  // The flag asks for a cascading drop: the table ignores foreign keys and frees itself.
  table.DropTable(Session, keepObject, false);
}

void TTarnexLocalCursor::EmptyTable() {
  CloseTable();
  TTarnexDatabaseData& database = SessionDatabase(10073);
  TTarnexCriticalSectionGuard guard(database.LockSection());
  TTarnexTableData& table = RequireTable(database, 10073, 0);
  TTableCall call(*this, &database, &table);
  table.EmptyTable(this);
}

void TTarnexLocalCursor::RenameTable(const std::string& newName) {
  CloseTable();
  TTarnexDatabaseData& database = SessionDatabase(10151);
  TTarnexCriticalSectionGuard guard(database.LockSection());
  TTarnexTableData& table = RequireTable(database, 10151, 10839);
  TTableCall call(*this, &database, &table);
  table.RenameTable(this, newName);
  TableName = newName;
}

void TTarnexLocalCursor::RenameField(const std::string& oldName, const std::string& newName) {
  CloseTable();
  TTarnexDatabaseData& database = SessionDatabase(11166);
  TTarnexCriticalSectionGuard guard(database.LockSection());
  TTarnexTableData& table = RequireTable(database, 11166, 11165);
  TTableCall call(*this, &database, &table);
  table.AddCursor(this);
  try {
    table.RenameField(this, oldName, newName);
  } catch (...) {
    table.RemoveCursor(this, true);
    throw;
  }
  table.RemoveCursor(this, true);
}

bool TTarnexLocalCursor::RepairTable(std::string& errorLog, TTarnexBaseSession* session) {
  if (InMemory || Temporary) return true;
  return RepairOtherTable(errorLog, session);
}

void TTarnexLocalCursor::DropConstraint(const std::string& name, bool force, bool ignoreForeignKeys) {
  if (!Opened || TableData == nullptr) RaiseTableNotFound(11484, TableName);
  if (!Exclusive) throw ETarnexException(11486, "Error - table '%s' is not opened in exclusive mode", {TableName});
  TableData->DropConstraint(this, name, ignoreForeignKeys, force);
  RefreshIndexDefs();
}

void TTarnexLocalCursor::LoadTableFromStream(TTarnexStream&) {
  throw ETarnexException(11397, "Error - operation is not supported");
}

void TTarnexLocalCursor::SaveTableToStream(TTarnexStream& stream, int32_t) {
  CloseTable();
  TTarnexDatabaseData& database = SessionDatabase(10154);
  TTarnexCriticalSectionGuard guard(database.LockSection());
  TTarnexTableData& table = RequireTable(database, 10154, 0);
  TTableCall call(*this, &database, &table);
  table.SaveToStream(stream);
}

// ---------------------------------------------------------------------------------------------
// Definitions, opening and closing
// ---------------------------------------------------------------------------------------------

void TTarnexLocalCursor::RefreshFieldDefs() {
  WithTable(10028, [this](TTarnexTableData& table) {
    {
      TTarnexCriticalSectionGuard guard(table.Lock());
      auto fields = std::make_unique<TTarnexFieldDefs>();
      fields->Assign(table.FieldDefs());
      auto constraints = std::make_unique<TTarnexConstraintDefs>();
      constraints->Assign(table.ConstraintDefs());
      FieldDefs = std::move(fields);
      ConstraintDefs = std::move(constraints);
      if (!ProjectionSet || VisibleFieldDefs == nullptr) {
        auto visible = std::make_unique<TTarnexFieldDefs>();
        visible->Assign(*FieldDefs);
        for (int32_t i = 0; i < visible->Count(); ++i) visible->Items(i)->FieldNo = i;
        VisibleFieldDefs = std::move(visible);
      }
    }
    const int32_t oldBufferSize = RecordBufferSize;
    table.GetRecordSizes(this);
    if (RecordBuffer == nullptr || OldRecordBuffer == nullptr || oldBufferSize != RecordBufferSize) {
      FreeBlobStreams(false);
      FreeBuffers();
      RecordBuffer = static_cast<uint8_t*>(MemoryManager().AllocMem(std::max(RecordBufferSize, 1)));
      OldRecordBuffer = static_cast<uint8_t*>(MemoryManager().AllocMem(std::max(RecordBufferSize, 1)));
      InitRecordBuffer(RecordBuffer, false);
      InitRecordBuffer(OldRecordBuffer, false);
    }
  });
}

void TTarnexLocalCursor::OpenTable(TTarnexFieldDefs* fieldDefs, TTarnexIndexDefs* indexDefs,
                                   TTarnexConstraintDefs* constraintDefs) {
  ForgetCursorPosition();
  if (Opened) return;
  TTarnexDatabaseData& database = SessionDatabase(10028);
  TTarnexCriticalSectionGuard guard(database.LockSection());
  TTarnexTableData* table = FindTable(database);
  if (table == nullptr) {
    if (!InMemory) RaiseTableNotFound(10028, TableName);
    table = database.CreateTableData(this);
    if (table == nullptr) throw ETarnexException(10523, "Nil pointer occured");
    if (indexDefs != nullptr)
      for (int32_t i = 0; i < indexDefs->Count(); ++i) indexDefs->Items(i)->RootPageNo = -1;
    try {
      TTableCall call(*this, &database, table);
      table->CreateTable(this, fieldDefs, constraintDefs, indexDefs);
    } catch (...) {
      database.FreeTableData(table);
      throw;
    }
  }
  table->AddCursor(this);
  TableData = table;
  DatabaseData = &database;
  BorrowedTable = false;
  Opened = true;  // from here on CloseTable unregisters the cursor
  try {
    SetUpOpened(*table);
    RefreshFieldDefs();
  } catch (...) {
    CloseTable();
    throw;
  }
}

void TTarnexLocalCursor::AttachToTable(TTarnexTableData* table) {
  ForgetCursorPosition();
  if (Opened) return;
  if (table == nullptr) throw ETarnexException(11396, "Nil pointer occured");
  TableData = table;
  DatabaseData = table->Database();
  BorrowedTable = true;
  Opened = true;
  try {
    SetUpOpened(*table);
    RefreshFieldDefs();
  } catch (...) {
    CloseTable();
    throw;
  }
}

void TTarnexLocalCursor::RefreshIndexDefs() {
  if (!Opened || TableData == nullptr) return;
  CopyIndexAndConstraintDefs(*TableData);
  RefreshFieldDefs();
}

void TTarnexLocalCursor::CloseTable() {
  ForgetCursorPosition();
  TTarnexTableData* table = Opened ? TableData : nullptr;
  const bool borrowed = BorrowedTable;
  const bool dropInDesign = DesignMode && InMemory;
  // Everything below runs whatever leaving the table raises.
  struct TRelease {
    TTarnexLocalCursor& C;
    ~TRelease() {
      C.RecordSet.reset();
      C.FilterExpression.reset();
      C.SQLFilter = nullptr;
      C.FieldDefs.reset();
      if (!C.ProjectionSet) C.VisibleFieldDefs.reset();
      C.IndexDefs.reset();
      C.BlobStreams.reset();
      C.ConstraintDefs.reset();
      try {
        C.FreeBuffers();
      } catch (...) {
      }
      C.Opened = false;
      C.BorrowedTable = false;
      C.TableData = nullptr;
      C.DatabaseData = nullptr;
      C.SetBOF();
    }
  } release{*this};
  if (BlobStreams != nullptr) BlobStreams->clear();
  if (table == nullptr || borrowed) return;
  TableData = nullptr;
  table->RemoveCursor(this);  // a temporary table may free itself here
  if (dropInDesign) table->DropTable(Session, true, true);
}

void TTarnexLocalCursor::InitRecordBuffer(uint8_t* buffer, bool applyDefaults) {
  if (buffer == nullptr) return;
  if (RecordSize > 0) std::memset(buffer, 0, static_cast<size_t>(RecordSize));
  const int32_t count = FieldDefs != nullptr ? FieldDefs->Count() : 0;
  for (int32_t i = 0; i < count; ++i) SetNullFlag(buffer, i, true);
  if (applyDefaults && !Temporary && TableData != nullptr) TableData->ApplyDefaults(this, buffer, true);
}

TTarnexIndexDefs* TTarnexLocalCursor::GetIndexDefs() {
  WithTable(10028, [this](TTarnexTableData& table) { CopyIndexAndConstraintDefs(table); });
  return IndexDefs.get();
}

void TTarnexLocalCursor::AddIndex(const TTarnexIndexDef& definition) {
  WithTable(10028, [&](TTarnexTableData& table) {
    {
      TTarnexCriticalSectionGuard guard(table.Lock());
      if (table.IndexDefs().FindByName(definition.Name) != nullptr)
        throw ETarnexException(20022, "Cannot create index '%s'. Index already exists", {definition.Name});
    }
    table.AddIndex(definition, this);
    CopyIndexAndConstraintDefs(table);
  });
}

void TTarnexLocalCursor::DeleteIndex(const std::string& name) {
  WithTable(10028, [&](TTarnexTableData& table) {
    TTarnexObjectID id = InvalidObjectID;
    {
      TTarnexCriticalSectionGuard guard(table.Lock());
      const TTarnexIndexDef* def = table.IndexDefs().FindByName(name);
      if (def == nullptr) throw ETarnexException(20021, "Cannot delete index '%s'. Index not found", {name});
      id = def->ObjectID;
    }
    table.DropIndex(id, this);
    CopyIndexAndConstraintDefs(table);
  });
}

void TTarnexLocalCursor::DeleteAllIndexes() {
  WithTable(10028, [this](TTarnexTableData& table) {
    table.DropAllIndexes(this);
    CopyIndexAndConstraintDefs(table);
  });
}

void TTarnexLocalCursor::FindIndexByFields(TTarnexBaseSession*, const std::vector<std::string>& fieldNames,
                                           const std::vector<std::string>& directions,
                                           const std::vector<std::string>& caseModes, std::string& indexName) {
  indexName.clear();
  if (fieldNames.empty()) return;
  WithTable(10028, [&](TTarnexTableData& table) {
    TTarnexCriticalSectionGuard guard(table.Lock());
    const TTarnexIndexDefs& defs = table.IndexDefs();
    for (int32_t i = 0; i < defs.Count(); ++i) {
      const TTarnexIndexDef& def = *defs.Items(i);
      if (def.ColumnCount() != static_cast<int32_t>(fieldNames.size())) continue;
      bool match = true;
      for (int32_t c = 0; c < def.ColumnCount() && match; ++c) {
        const TTarnexIndexColumn& column = def.Columns[static_cast<size_t>(c)];
        if (AnsiUpperCase(column.FieldName) != AnsiUpperCase(fieldNames[static_cast<size_t>(c)])) match = false;
        if (match && static_cast<size_t>(c) < directions.size()) {
          const std::string d = UpperCase(directions[static_cast<size_t>(c)]);
          if ((d == "ASC" && column.Descending) || (d == "DESC" && !column.Descending)) match = false;
        }
        if (match && static_cast<size_t>(c) < caseModes.size()) {
          const std::string m = UpperCase(caseModes[static_cast<size_t>(c)]);
          if ((m == "CASE" && column.CaseInsensitive) || (m == "NO_CASE" && !column.CaseInsensitive)) match = false;
        }
      }
      if (match) {
        indexName = def.Name;
        return;
      }
    }
  });
}

void TTarnexLocalCursor::UnnamedOperation21() { throw ETarnexException(11394, "Error - operation is not supported"); }

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

bool TTarnexLocalCursor::RecordExists() { return OpenTableData().RecordExists(this); }

int64_t TTarnexLocalCursor::GetRecordCount() { return OpenTableData().GetCursorRecordCount(this); }

TNavigationResult TTarnexLocalCursor::GetRecord(TNavigationDirection mode) {
  TTarnexTableData& table = OpenTableData();
  const TNavigationResult result = table.Navigate(this, mode);
  if (result == TNavigationResult::Found) WriteTrailer(RecordBuffer, RecordID, BookmarkCurrent);
  return result;
}

void TTarnexLocalCursor::SetRecNo(int64_t recNo) { OpenTableData().SetRecNo(this, recNo); }

int64_t TTarnexLocalCursor::GetRecNo() { return OpenTableData().GetRecNo(this); }

void TTarnexLocalCursor::UnnamedOperation27() {}

void TTarnexLocalCursor::BeginEdit() {
  Status = 0;
  StatusText.clear();
  if (Temporary) {
    Status = -9;
    return;
  }
  TTarnexTableData& table = OpenTableData();
  if (RecordBuffer != nullptr && OldRecordBuffer != nullptr)
    std::memcpy(OldRecordBuffer, RecordBuffer, static_cast<size_t>(RecordBufferSize));
  table.BeginEdit(this);
}

void TTarnexLocalCursor::CancelEdit(bool) {
  Status = 0;
  StatusText.clear();
  if (Temporary) {
    Status = -11;
    return;
  }
  TTarnexTableData& table = OpenTableData();
  FreeBlobStreams(true);
  table.CancelEdit(this);
}

void TTarnexLocalCursor::PostRecord(bool inserting) {
  Status = 0;
  StatusText.clear();
  TTarnexTableData& table = OpenTableData();
  try {
    table.CheckConstraints(this, Session, false, RecordID, inserting, OldRecordBuffer, RecordBuffer);
  } catch (const std::exception& e) {
    Status = -8;
    StatusText = e.what();
    return;
  } catch (...) {
    Status = -8;
    StatusText = "Constraint check failed";
    return;
  }
  FreeBlobStreams(true);
  if (inserting) {
    if (table.InsertRecord(this)) {
      WriteTrailer(RecordBuffer, RecordID, BookmarkInserted);
    } else {
      Status = -1;
      StatusText = "Error adding record";
    }
    return;
  }
  RecordID = TrailerRecordID(RecordBuffer);
  if (!table.UpdateRecord(this)) {
    Status = -2;
    StatusText = "Error updating record";
  }
}

void TTarnexLocalCursor::DeleteRecord() {
  Status = 0;
  StatusText.clear();
  if (Temporary) {
    Status = -10;
    return;
  }
  TTarnexTableData& table = OpenTableData();
  RecordID = TrailerRecordID(RecordBuffer);
  if (!table.DeleteRecord(this)) {
    Status = -3;
    StatusText = "Error deleting record";
  }
}

void TTarnexLocalCursor::DeleteAllRecords() { OpenTableData().DeleteAllRecords(this); }

void TTarnexLocalCursor::UpdateAllRecords(const std::vector<std::string>& fieldNames,
                                          const std::vector<const TTarnexVariant*>& values) {
  const std::vector<const TTarnexVariant*> copy(values);
  OpenTableData().UpdateAllRecords(this, fieldNames, copy);
}

void TTarnexLocalCursor::InvalidateRecordSet() {
  if (RecordSet != nullptr) RecordSet->Invalidate();
}

void TTarnexLocalCursor::UnnamedOperation35() { throw ETarnexException(11393, "Error - operation is not supported"); }

void TTarnexLocalCursor::SetProjection(const std::vector<std::string>& fieldNames,
                                       const std::vector<std::string>& displayNames) {
  if (fieldNames.size() != displayNames.size())
    throw ETarnexException(10321, "Error - different lists length. L1 = %d, L2 = %d",
                           {static_cast<int>(fieldNames.size()), static_cast<int>(displayNames.size())});
  if (fieldNames.empty()) throw ETarnexException(10322, "No fields were specified while setting projection");
  if (FieldDefs == nullptr) RaiseNotOpen();
  auto visible = std::make_unique<TTarnexFieldDefs>();
  for (size_t i = 0; i < fieldNames.size(); ++i) {
    const int32_t number = FieldDefs->IndexOfName(fieldNames[i]);
    if (number < 0) throw ETarnexException(10323, "Cannot find field %s", {fieldNames[i]});
    auto copy = std::make_unique<TTarnexFieldDef>();
    copy->Assign(*FieldDefs->Items(number));
    copy->FieldNo = number;
    if (!displayNames[i].empty()) copy->Name = displayNames[i].substr(0, TarnexMaxNameLength);
    visible->Add(std::move(copy));
  }
  VisibleFieldDefs = std::move(visible);
  ProjectionSet = true;
}

// ---------------------------------------------------------------------------------------------
// Filters, ranges and searches
// ---------------------------------------------------------------------------------------------

TTarnexExprFieldSource* TTarnexLocalCursor::ExpressionSource() {
  if (FieldSource_ == nullptr) FieldSource_ = std::make_unique<TTarnexLocalCursorFieldSource>(*this);
  return FieldSource_.get();
}

void TTarnexLocalCursor::SetFilter(const std::string& text, bool partialCompare, bool caseInsensitive) {
  if (FieldDefs == nullptr) RaiseNotOpen();
  std::unique_ptr<TTarnexExpression, TTarnexExpressionDeleter> expression(new TTarnexExpression());
  expression->ParseFilter(ExpressionSource(), text, caseInsensitive, partialCompare);
  FilterExpression = std::move(expression);
  InvalidateRecordSet();
}

void TTarnexLocalCursor::ClearFilter() {
  FilterExpression.reset();
  InvalidateRecordSet();
}

bool TTarnexLocalCursor::Locate(const std::vector<std::string>& fieldNames,
                                const std::vector<const TTarnexVariant*>& values, bool caseInsensitive,
                                bool partialKey) {
  TTarnexTableData& table = OpenTableData();
  if (FieldDefs == nullptr) RaiseNotOpen();
  std::string names;
  for (size_t i = 0; i < fieldNames.size(); ++i) {
    if (i > 0) names += ";";
    names += fieldNames[i];
  }
  std::vector<Variant> keyValues;
  keyValues.reserve(values.size());
  for (const TTarnexVariant* value : values)
    keyValues.push_back(value == nullptr || value->IsNull() ? Variant::Null() : value->AsVariant());
  TTarnexExpression condition;
  condition.BuildLocateCondition(ExpressionSource(), names, keyValues, caseInsensitive, partialKey);

  const TTarnexSavedCursorPosition saved{Bof, Eof, RecordID};
  auto restore = [&]() {
    Bof = saved.Bof;
    Eof = saved.Eof;
    RecordID = saved.RecordID;
  };
  TTarnexRecordID found;
  bool ok = false;
  try {
    SetBOF();
    ok = table.Search(this, &condition, nullptr, nullptr, found);
    if (ok) {
      RecordID = found;
      Bof = false;
      Eof = false;
      ok = GetRecord(TNavigationDirection::Current) == TNavigationResult::Found;
    }
  } catch (...) {
    restore();
    throw;
  }
  if (!ok) restore();
  return ok;
}

bool TTarnexLocalCursor::FindKey(TTarnexScanRelation relation) {
  TTarnexTableData& table = OpenTableData();
  if (KeyBuffer == nullptr) RaiseNotOpen();
  const TTarnexSavedCursorPosition saved{Bof, Eof, RecordID};
  auto restore = [&]() {
    Bof = saved.Bof;
    Eof = saved.Eof;
    RecordID = saved.RecordID;
  };
  TTarnexScanSearchCondition condition;
  condition.Relation = relation;
  condition.KeyBuffer = KeyBuffer;
  condition.IndexID = IndexID;
  condition.KeyFieldCount = KeyFieldCount;
  if (condition.KeyFieldCount <= 0 && IndexDefs != nullptr)
    if (const TTarnexIndexDef* index = IndexDefs->FindByObjectID(IndexID)) condition.KeyFieldCount = index->ColumnCount();
  TTarnexRecordID found;
  bool ok = false;
  try {
    ok = table.Search(this, nullptr, nullptr, &condition, found);
  } catch (...) {
    restore();
    throw;
  }
  if (!ok) {
    restore();
    return false;
  }
  RecordID = found;
  Bof = false;
  Eof = false;
  return true;
}

void TTarnexLocalCursor::CancelRange() {
  RangeStart = nullptr;
  RangeEnd = nullptr;
  InvalidateRecordSet();
}

void TTarnexLocalCursor::SetRange(uint8_t* startKey, uint8_t* endKey, bool endExclusive, bool startExclusive,
                                  int32_t endFieldCount, int32_t startFieldCount) {
  RangeStart = startKey;
  RangeEnd = endKey;
  RangeEndExclusive = endExclusive;
  RangeStartExclusive = startExclusive;
  RangeEndFieldCount = endFieldCount;
  RangeStartFieldCount = startFieldCount;
  InvalidateRecordSet();
}

void TTarnexLocalCursor::SetSQLFilter(TTarnexExpression* expression) {
  if (expression != nullptr) expression->BindToCursor(ExpressionSource());
  SQLFilter = expression;
  InvalidateRecordSet();
}

// ---------------------------------------------------------------------------------------------
// BLOB streams
// ---------------------------------------------------------------------------------------------

TTarnexLocalBLOBStream* TTarnexLocalCursor::OpenBlob(bool newValue, int32_t fieldNo, uint8_t mode) {
  if (VisibleFieldDefs == nullptr) throw ETarnexException(10113, "Nil pointer occured");
  if (fieldNo < 0 || fieldNo >= VisibleFieldDefs->Count())
    throw ETarnexException(10110, "Invalid field number - FieldNo = %d, FieldCount = %d",
                           {fieldNo, VisibleFieldDefs->Count()});
  if (BlobStreams == nullptr) throw ETarnexException(10113, "Nil pointer occured");
  if (IsWritableMode(mode))
    for (const auto& stream : *BlobStreams)
      if (stream != nullptr && stream->FieldNo() == fieldNo && IsWritableMode(stream->Mode()))
        throw ETarnexException(10115, "BLOB field already opened. FieldNo = %d, FieldName = %s",
                               {fieldNo, VisibleFieldDefs->Items(fieldNo)->Name});
  std::unique_ptr<TTarnexLocalBLOBStream> stream = OpenTableData().OpenBlobStream(this, newValue, mode, fieldNo);
  if (stream == nullptr) throw ETarnexException(10113, "Nil pointer occured");
  BlobStreams->push_back(std::move(stream));
  return BlobStreams->back().get();
}

void TTarnexLocalCursor::CloseBlob(int32_t fieldNo) {
  if (BlobStreams == nullptr || VisibleFieldDefs == nullptr) throw ETarnexException(10119, "Nil pointer occured");
  if (fieldNo < 0 || fieldNo >= VisibleFieldDefs->Count())
    throw ETarnexException(10118, "Invalid field number - FieldNo = %d, FieldCount = %d",
                           {fieldNo, VisibleFieldDefs->Count()});
  for (size_t i = 0; i < BlobStreams->size();) {
    std::unique_ptr<TTarnexLocalBLOBStream>& entry = (*BlobStreams)[i];
    if (entry == nullptr) throw ETarnexException(10120, "Nil pointer occured");
    if (entry->FieldNo() != fieldNo) {
      ++i;
      continue;
    }
    std::unique_ptr<TTarnexLocalBLOBStream> stream = std::move(entry);
    BlobStreams->erase(BlobStreams->begin() + static_cast<std::ptrdiff_t>(i));
    if (IsWritableMode(stream->Mode())) OpenTableData().WriteBlob(this, fieldNo, *stream);
  }
}

void TTarnexLocalCursor::FreeBlobStreams(bool onlyWritable) {
  if (BlobStreams == nullptr) return;
  for (const auto& stream : *BlobStreams)
    if (stream == nullptr) throw ETarnexException(10121, "Nil pointer occured");
  BlobStreams->erase(std::remove_if(BlobStreams->begin(), BlobStreams->end(),
                                    [onlyWritable](const std::unique_ptr<TTarnexLocalBLOBStream>& stream) {
                                      return !onlyWritable || IsWritableMode(stream->Mode());
                                    }),
                     BlobStreams->end());
}

// ---------------------------------------------------------------------------------------------
// Autoincrement values, usage, locks
// ---------------------------------------------------------------------------------------------

int64_t TTarnexLocalCursor::GetLastAutoinc(int32_t fieldNo) {
  TTarnexTableData& table = OpenTableData();
  if (FieldDefs == nullptr) RaiseNotOpen();
  return table.GetLastAutoinc(*FieldDefs->Items(fieldNo), Session);
}

void TTarnexLocalCursor::SetLastAutoinc(int32_t fieldNo, int64_t value) {
  TTarnexTableData& table = OpenTableData();
  if (FieldDefs == nullptr) RaiseNotOpen();
  table.SetLastAutoinc(*FieldDefs->Items(fieldNo), value);
}

void TTarnexLocalCursor::IncUsage() { OpenTableData().IncUsage(); }

void TTarnexLocalCursor::DecUsage() { OpenTableData().DecUsage(); }

void TTarnexLocalCursor::CheckLock(bool granted, bool unlock, const char* mode, int32_t errorCode) const {
  if (granted) return;
  throw ETarnexException(errorCode,
                         unlock ? "Error - cannot unlock table in '%s' mode, table name = '%s'"
                                : "Error - cannot lock table in '%s' mode, table name = '%s'",
                         {std::string(mode), TableName});
}

void TTarnexLocalCursor::LockShared(int32_t errorCode) {
  if (SessionInTransaction()) return;
  CheckLock(TableData != nullptr && TableData->LockShared(SessionIDForPages()), false, "S", errorCode);
}

void TTarnexLocalCursor::UnlockShared(int32_t errorCode) {
  if (SessionInTransaction()) return;
  CheckLock(TableData != nullptr && TableData->UnlockShared(SessionIDForPages()), true, "S", errorCode);
}

void TTarnexLocalCursor::LockIRW(int32_t errorCode) {
  if (SessionInTransaction()) return;
  CheckLock(TableData != nullptr && TableData->LockIRW(SessionIDForPages()), false, "IRW", errorCode);
}

void TTarnexLocalCursor::UnlockIRW(int32_t errorCode) {
  if (SessionInTransaction()) return;
  CheckLock(TableData != nullptr && TableData->UnlockIRW(SessionIDForPages()), true, "IRW", errorCode);
}

void TTarnexLocalCursor::LockRW(int32_t errorCode) {
  if (SessionInTransaction()) return;
  CheckLock(TableData != nullptr && TableData->LockRW(SessionIDForPages()), false, "RW", errorCode);
}

void TTarnexLocalCursor::UnlockRW(int32_t errorCode) {
  if (SessionInTransaction()) return;
  CheckLock(TableData != nullptr && TableData->UnlockRW(SessionIDForPages()), true, "RW", errorCode);
}

bool TTarnexLocalCursor::TryLockShared() {
  return SessionInTransaction() || (TableData != nullptr && TableData->TryLockShared(SessionIDForPages()));
}

bool TTarnexLocalCursor::TryUnlockShared() {
  return SessionInTransaction() || (TableData != nullptr && TableData->TryUnlockShared(SessionIDForPages()));
}

bool TTarnexLocalCursor::TryLockIRW() {
  return SessionInTransaction() || (TableData != nullptr && TableData->TryLockIRW(SessionIDForPages()));
}

bool TTarnexLocalCursor::TryUnlockIRW() {
  return SessionInTransaction() || (TableData != nullptr && TableData->TryUnlockIRW(SessionIDForPages()));
}

bool TTarnexLocalCursor::TryLockRW() {
  return SessionInTransaction() || (TableData != nullptr && TableData->TryLockRW(SessionIDForPages()));
}

bool TTarnexLocalCursor::TryUnlockRW() {
  return SessionInTransaction() || (TableData != nullptr && TableData->TryUnlockRW(SessionIDForPages()));
}

// ---------------------------------------------------------------------------------------------
// Saved position
// ---------------------------------------------------------------------------------------------

void TTarnexLocalCursor::SaveCursorPosition() {
  ForgetCursorPosition();
  auto saved = std::make_unique<TTarnexSavedCursorPosition>();
  saved->Bof = Bof;
  saved->Eof = Eof;
  saved->RecordID = RecordID;
  if (RecordBuffer != nullptr && RecordBufferSize > 0) {
    SavedRecord = static_cast<uint8_t*>(MemoryManager().GetMem(RecordBufferSize));
    std::memcpy(SavedRecord, RecordBuffer, static_cast<size_t>(RecordBufferSize));
    SavedRecordSize = RecordBufferSize;
  }
  SavedPosition = std::move(saved);
}

void TTarnexLocalCursor::RestoreCursorPosition() {
  if (SavedPosition == nullptr) return;
  Bof = SavedPosition->Bof;
  Eof = SavedPosition->Eof;
  RecordID = SavedPosition->RecordID;
  if (SavedRecord != nullptr && RecordBuffer != nullptr)
    std::memcpy(RecordBuffer, SavedRecord, static_cast<size_t>(std::min(SavedRecordSize, RecordBufferSize)));
  ForgetCursorPosition();
}

void TTarnexLocalCursor::ForgetCursorPosition() {
  SavedPosition.reset();
  MemoryManager().FreeAndNillMem(SavedRecord);
  SavedRecordSize = 0;
}
