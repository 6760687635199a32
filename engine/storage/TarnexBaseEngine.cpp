#include "engine/storage/TarnexBaseEngine.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "engine/access/TarnexBTree.h"
#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "engine/storage/TarnexPage.h"
#include "platform/rtl/Collation.h"

void TTarnexRecordBitmapDeleter::operator()(TTarnexRecordBitmap* recordSet) const {
  std::default_delete<TTarnexRecordBitmap>()(recordSet);
}

namespace {

// A memory-manager buffer for the span of one operation.
class TScratch {
public:
  explicit TScratch(int32_t size) : Data_(static_cast<uint8_t*>(MemoryManager().GetMem(std::max(size, 1)))) {}
  ~TScratch() {
    try {
      MemoryManager().FreeAndNillMem(Data_);
    } catch (...) {
    }
  }
  TScratch(const TScratch&) = delete;
  TScratch& operator=(const TScratch&) = delete;
  uint8_t* Data() const { return Data_; }

private:
  uint8_t* Data_;  // owned
};

// A saved cursor position (SavePosition), freed on every path.
class TSavedPosition {
public:
  explicit TSavedPosition(const TTarnexCursor& cursor) : Cursor_(cursor), Block_(cursor.SavePosition()) {}
  ~TSavedPosition() {
    try {
      Cursor_.FreePosition(Block_);
    } catch (...) {
    }
  }
  TSavedPosition(const TSavedPosition&) = delete;
  TSavedPosition& operator=(const TSavedPosition&) = delete;
  const uint8_t* Block() const { return Block_; }

private:
  const TTarnexCursor& Cursor_;
  uint8_t* Block_;  // owned (memory manager)
};

int32_t RandomBelow(int32_t limit) {
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int32_t> distribution(0, limit - 1);
  return distribution(generator);
}

int32_t SessionIDOf(const TTarnexCursor* cursor) { return cursor != nullptr ? cursor->SessionIDForPages() : -2; }

bool IsForeignKeyKind(TTarnexConstraintType t) {
  return t == TTarnexConstraintType::ForeignKey || t == TTarnexConstraintType::ForeignKeyAction;
}

bool IsNarrowText(TTarnexDataType t) { return t == TTarnexDataType::Char || t == TTarnexDataType::Varchar; }
bool IsWideText(TTarnexDataType t) { return t == TTarnexDataType::WideChar || t == TTarnexDataType::WideVarchar; }

// The value of a non-BLOB field of buffer as a variant (text up to its terminator; NULL null).
void ReadFieldVariant(const TTarnexFieldDef& field, int32_t fieldNo, const uint8_t* buffer, TTarnexVariant& value) {
  value.Clear(field.DataType);
  if (GetNullFlag(buffer, fieldNo)) return;
  const uint8_t* slot = buffer + field.MemoryOffset;
  int32_t size = field.MemoryDataSize;
  if (IsNarrowText(field.DataType)) {
    size = static_cast<int32_t>(strnlen(reinterpret_cast<const char*>(slot), field.MemoryDataSize - 1)) + 1;
    if (size == 1) return;
  } else if (IsWideText(field.DataType)) {
    int32_t n = 0;
    while (n < field.MemoryDataSize / 2 - 1 && (slot[2 * n] != 0 || slot[2 * n + 1] != 0)) ++n;
    if (n == 0) return;
    size = (n + 1) * 2;
  }
  value.SetBuffer(slot, size, true, field.DataType);
  if (IsNarrowText(field.DataType)) static_cast<uint8_t*>(value.Data())[size - 1] = 0;
  if (IsWideText(field.DataType)) {
    static_cast<uint8_t*>(value.Data())[size - 1] = 0;
    static_cast<uint8_t*>(value.Data())[size - 2] = 0;
  }
}

// Writes a navigation answer into the cursor's position.
void ApplyAnswer(TTarnexCursor& cursor, const TNavigationRequest& request) {
  switch (request.Result) {
    case TNavigationResult::Found:
      cursor.RecordID = request.RecordID;
      cursor.Bof = false;
      cursor.Eof = false;
      break;
    case TNavigationResult::BeforeFirst: cursor.SetBOF(); break;
    case TNavigationResult::AfterLast: cursor.SetEOF(); break;
    case TNavigationResult::NoRecord: break;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTarnexRecordBitmap
// ---------------------------------------------------------------------------------------------

TTarnexRecordBitmap::TTarnexRecordBitmap(const TTarnexTableData* table)
    : SlotIDs_(table != nullptr && table->SlotIDs()), OrdinalIDs_(table != nullptr && table->OrdinalIDs()) {
  Reset(1000);
}

void TTarnexRecordBitmap::Reset(int32_t capacity) {
  if (capacity < 1) capacity = 1000;
  const int32_t step = std::max(10, capacity / 100);
  IDs_ = std::make_unique<TTarnexRecordIDArray>(0, std::max(step, capacity), step);
  IDs_->SetSlotIDs(SlotIDs_);
  IDs_->SetOrdinalIDs(OrdinalIDs_);
  Active_ = false;
}

void TTarnexRecordBitmap::Invalidate() {
  IDs_->SetCount(0);
  IDs_->SetSorted(true);
  Active_ = false;
}

int64_t TTarnexRecordBitmap::RecNoOf(const TTarnexRecordID& id) const {
  const int32_t i = IDs_->Find(id);
  return i < 0 ? -1 : static_cast<int64_t>(i) + 1;
}

TTarnexRecordID TTarnexRecordBitmap::IDAt(int64_t recNo) const {
  if (recNo < 1 || recNo > IDs_->Count())
    throw ETarnexException(11326, "Invalid item number - ItemNo = %d, ItemCount = %d",
                           {static_cast<long long>(recNo), IDs_->Count()});
  return IDs_->Item(static_cast<int32_t>(recNo - 1));
}

void TTarnexRecordBitmap::Append(const TTarnexRecordID& id) {
  const int32_t n = IDs_->Count();
  if (IDs_->Sorted() && n > 0) {
    const int32_t order = IDs_->Compare(id, IDs_->Item(n - 1));
    if (order == 0)
      throw ETarnexException(11328, "Error adding record to record map - duplicate record ID = %d %d",
                             {id.PageNo, static_cast<int>(id.PageItemNo)});
    if (order < 0) IDs_->SetSorted(false);
  }
  IDs_->Add(id);
}

void TTarnexRecordBitmap::InsertAfter(const TTarnexRecordID& after, const TTarnexRecordID& id) {
  const int32_t i = IDs_->Find(after);
  if (i < 0)
    throw ETarnexException(11332, "Record does not exist, ID = %d, %d",
                           {after.PageNo, static_cast<int>(after.PageItemNo)});
  IDs_->Insert(i + 1, id);
  IDs_->SetSorted(false);
}

void TTarnexRecordBitmap::InsertFirst(const TTarnexRecordID& id) {
  IDs_->Insert(0, id);
  if (IDs_->Count() > 1) IDs_->SetSorted(false);
}

void TTarnexRecordBitmap::Remove(const TTarnexRecordID& id) {
  const int32_t i = IDs_->Find(id);
  if (i < 0)
    throw ETarnexException(11327, "Record does not exist, ID = %d, %d", {id.PageNo, static_cast<int>(id.PageItemNo)});
  IDs_->Delete(i);
}

void TTarnexRecordBitmap::Navigate(TNavigationRequest& request) const {
  auto found = [&](int32_t i) {
    request.RecordID = IDs_->Item(i);
    request.GoFirst = false;
    request.GoLast = false;
    request.Result = TNavigationResult::Found;
  };
  const int32_t n = IDs_->Count();
  if (!Active_) {
    request.Result = TNavigationResult::NoRecord;
    return;
  }
  if (n == 0) {
    request.Result = TNavigationResult::AfterLast;
    return;
  }
  if (request.GoFirst) {
    if (request.Direction == TNavigationDirection::Next) found(0);
    else request.Result = request.Direction == TNavigationDirection::Prior ? TNavigationResult::BeforeFirst
                                                                           : TNavigationResult::NoRecord;
    return;
  }
  if (request.GoLast) {
    if (request.Direction == TNavigationDirection::Prior) found(n - 1);
    else request.Result = request.Direction == TNavigationDirection::Next ? TNavigationResult::AfterLast
                                                                          : TNavigationResult::NoRecord;
    return;
  }
  const int32_t i = IDs_->Find(request.RecordID);
  if (i < 0) {
    request.Result = TNavigationResult::NoRecord;
    return;
  }
  switch (request.Direction) {
    case TNavigationDirection::Current: found(i); break;
    case TNavigationDirection::Next:
      if (i + 1 < n) found(i + 1);
      else request.Result = TNavigationResult::AfterLast;
      break;
    case TNavigationDirection::Prior:
      if (i > 0) found(i - 1);
      else request.Result = TNavigationResult::BeforeFirst;
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Managers
// ---------------------------------------------------------------------------------------------

TTarnexBaseSequenceManager::~TTarnexBaseSequenceManager() = default;

TTarnexSequenceDef* TTarnexBaseSequenceManager::Find(TTarnexObjectID id, int32_t code) {
  TTarnexSequenceDef* sequence = SequenceDefs_.FindByObjectID(id);
  if (sequence == nullptr) throw ETarnexException(code, "Sequence #%d not found", {id});
  return sequence;
}

TTarnexSequenceDef* TTarnexBaseSequenceManager::FindSequence(TTarnexObjectID id) { return Find(id, 30013); }

int64_t TTarnexBaseSequenceManager::NextValue(TTarnexBaseSession* session, TTarnexObjectID id) {
  TTarnexSequenceDef* sequence = Find(id, 30010);
  const int64_t value = sequence->NextValue();
  if (session != nullptr) session->SetSequenceValue(sequence->Name, value);
  return value;
}

int64_t TTarnexBaseSequenceManager::LastValue(TTarnexBaseSession* session, TTarnexObjectID id) {
  TTarnexSequenceDef* sequence = Find(id, 30011);
  int64_t value = 0;
  if (session == nullptr || !session->GetSequenceValue(sequence->Name, value))
    throw ETarnexException(30012, "No SequenceLastValue in session for sequence '%s'. Call GetNextVal first",
                           {sequence->Name});
  return value;
}

std::string TTarnexBaseSequenceManager::SequenceBaseName(bool linked, const std::string& tableName,
                                                         const std::string& fieldName) {
  return std::string("$") + (linked ? "S_Linked" : "S_Autoinc") + "$" + tableName + "$" + fieldName;
}

TTarnexSequenceDef* TTarnexBaseSequenceManager::CreateAutoincSequence(const std::string& tableName,
                                                                      TTarnexFieldDef& field) {
  const std::string base = SequenceBaseName(false, tableName, field.Name);
  std::string name = base;
  while (SequenceDefs_.IndexOfName(name) >= 0) name = base + std::to_string(RandomBelow(65535));
  auto sequence = std::make_unique<TTarnexSequenceDef>();
  sequence->Name = name;
  sequence->ObjectID = Database_ != nullptr ? Database_->NextObjectID() : InvalidObjectID;
  sequence->DataType = field.DataType;
  sequence->MinValue = field.AutoincMinValue;
  sequence->MaxValue = field.AutoincMaxValue;
  sequence->CurrentValue = field.AutoincInitialValue;
  sequence->Increment = field.AutoincIncrement;
  sequence->Cycled = field.AutoincCycled;
  field.SequenceID = sequence->ObjectID;
  TTarnexSequenceDef* added = sequence.get();
  SequenceDefs_.Add(std::move(sequence));
  return added;
}

TTarnexBaseFieldManager::~TTarnexBaseFieldManager() = default;

void TTarnexBaseFieldManager::LoadFromStream(TTarnexStream& stream) {
  FieldDefs_.LoadFromStream(stream);
  FieldDefs_.RecalcLayout();
}

void TTarnexBaseFieldManager::SaveToStream(TTarnexStream& stream) { FieldDefs_.SaveToStream(stream); }

void TTarnexBaseFieldManager::ApplyDefaults(TTarnexBaseSession* session, uint8_t* recordBuffer,
                                            bool generateAutoinc) {
  ::ApplyDefaults(FieldDefs_, recordBuffer, generateAutoinc,
                  [&](TTarnexObjectID id) { return SequenceManager_->NextValue(session, id); });
}

TTarnexBaseConstraintManager::~TTarnexBaseConstraintManager() = default;

TTarnexBaseIndexManager::TTarnexBaseIndexManager(TTarnexTableData* table) : Table_(table) {}

TTarnexBaseIndexManager::~TTarnexBaseIndexManager() {
  Indexes_.clear();
  TempPageManager_.reset();
}

void TTarnexBaseIndexManager::LoadFromStream(TTarnexStream& stream) {
  Indexes_.clear();
  IndexDefs_.LoadFromStream(stream);
  Indexes_.resize(static_cast<size_t>(IndexDefs_.Count()));
}

void TTarnexBaseIndexManager::SaveToStream(TTarnexStream& stream) {
  SyncRootPages();
  IndexDefs_.SaveToStream(stream);
}

TTarnexPageManager* TTarnexBaseIndexManager::GetTempPageManager() {
  if (TempPageManager_ == nullptr) TempPageManager_ = std::make_unique<TTarnexTemporaryPageManager>();
  return TempPageManager_.get();
}

void TTarnexBaseIndexManager::AssignDefs(const TTarnexIndexDefs& defs) {
  Indexes_.clear();
  IndexDefs_.Assign(defs);
  Indexes_.resize(static_cast<size_t>(IndexDefs_.Count()));
}

std::unique_ptr<TTarnexBTreeIndex> TTarnexBaseIndexManager::OpenIndexObject(const TTarnexIndexDef& def) {
  TTarnexPageManager* pages = def.Temporary ? GetTempPageManager() : Table_->GetPageManager();
  auto index = std::make_unique<TTarnexBTreeIndex>(this, &Table_->FieldDefs(), pages, Table_->RecordManager());
  index->OpenIndex(def);
  return index;
}

TTarnexBTreeIndex& TTarnexBaseIndexManager::Index(int32_t i) {
  if (Indexes_.size() != static_cast<size_t>(IndexDefs_.Count()))
    Indexes_.resize(static_cast<size_t>(IndexDefs_.Count()));
  auto& slot = Indexes_.at(static_cast<size_t>(i));
  if (slot == nullptr) slot = OpenIndexObject(*IndexDefs_.Items(i));
  return *slot;
}

TTarnexBTreeIndex* TTarnexBaseIndexManager::FindIndex(TTarnexObjectID id) {
  const int32_t i = IndexDefs_.IndexOfObjectID(id);
  return i < 0 ? nullptr : &Index(i);
}

TTarnexBTreeIndex& TTarnexBaseIndexManager::AddIndex(std::unique_ptr<TTarnexIndexDef> definition,
                                                      int32_t sessionID) {
  const int32_t position = IndexDefs_.Add(std::move(definition));
  Indexes_.resize(static_cast<size_t>(IndexDefs_.Count()));
  TTarnexIndexDef* def = IndexDefs_.Items(position);
  TTarnexPageManager* pages = def->Temporary ? GetTempPageManager() : Table_->GetPageManager();
  auto index = std::make_unique<TTarnexBTreeIndex>(this, &Table_->FieldDefs(), pages, Table_->RecordManager());
  try {
    index->CreateIndex(*def, def, sessionID);
  } catch (...) {
    // Give back the pages of a tree built part of the way, then forget the definition.
    try {
      if (index->RootPageNo() != -1) index->DropIndex(sessionID);
    } catch (...) {
    }
    Indexes_.erase(Indexes_.begin() + position);
    IndexDefs_.Delete(position);
    throw;
  }
  Indexes_[static_cast<size_t>(position)] = std::move(index);
  return *Indexes_[static_cast<size_t>(position)];
}

void TTarnexBaseIndexManager::DropIndexPages(int32_t i, int32_t sessionID) {
  Index(i).DropIndex(sessionID);
  IndexDefs_.Items(i)->RootPageNo = -1;
}

void TTarnexBaseIndexManager::DeleteIndex(int32_t i, int32_t sessionID) {
  DropIndexPages(i, sessionID);
  Indexes_.erase(Indexes_.begin() + i);
  IndexDefs_.Delete(i);
}

void TTarnexBaseIndexManager::CloseAllIndexes() {
  SyncRootPages();
  Indexes_.clear();
  Indexes_.resize(static_cast<size_t>(IndexDefs_.Count()));
}

bool TTarnexBaseIndexManager::SyncRootPages() {
  bool temporaryChanged = false;
  const size_t n = std::min(Indexes_.size(), static_cast<size_t>(IndexDefs_.Count()));
  for (size_t i = 0; i < n; ++i) {
    if (Indexes_[i] == nullptr) continue;
    TTarnexIndexDef* def = IndexDefs_.Items(static_cast<int32_t>(i));
    if (def->RootPageNo != Indexes_[i]->RootPageNo()) {
      def->RootPageNo = Indexes_[i]->RootPageNo();
      if (def->Temporary) temporaryChanged = true;
    }
  }
  return temporaryChanged;
}

void TTarnexBaseIndexManager::CommitTempPages(int32_t sessionID) {
  if (TempPageManager_ != nullptr) TempPageManager_->CommitSession(sessionID);
}

bool TTarnexBaseIndexManager::HasTemporaryIndexes() const {
  for (int32_t i = 0; i < IndexDefs_.Count(); ++i)
    if (IndexDefs_.Items(i)->Temporary) return true;
  return false;
}

// ---------------------------------------------------------------------------------------------
// TTarnexTableData: life cycle and definitions
// ---------------------------------------------------------------------------------------------

TTarnexTableData::TTarnexTableData(TTarnexDatabaseData* database, const std::string& tableName)
    : Database_(database),
      TableName_(tableName),
      SequenceManager_(std::make_unique<TTarnexBaseSequenceManager>(database)),
      FieldManager_(std::make_unique<TTarnexBaseFieldManager>(this, SequenceManager_.get())),
      ConstraintManager_(std::make_unique<TTarnexBaseConstraintManager>(this)),
      IndexManager_(std::make_unique<TTarnexBaseIndexManager>(this)) {}

TTarnexTableData::~TTarnexTableData() {
  try {
    MemoryManager().FreeAndNillMem(WorkBuffer_);
  } catch (...) {
  }
  for (uint8_t*& scratch : Scratch_) {
    try {
      MemoryManager().FreeAndNillMem(scratch);
    } catch (...) {
    }
  }
}

uint8_t* TTarnexTableData::Scratch(int32_t slot, int32_t size) {
  size = std::max(size, 1);
  if (ScratchSize_[slot] < size) {
    MemoryManager().FreeAndNillMem(Scratch_[slot]);
    ScratchSize_[slot] = 0;
    Scratch_[slot] = static_cast<uint8_t*>(MemoryManager().GetMem(size));
    ScratchSize_[slot] = size;
  }
  return Scratch_[slot];
}

int32_t TTarnexTableData::ReservedOperation2() { return -1; }

void TTarnexTableData::SetIndexDefs(const TTarnexIndexDefs& indexDefs) {
  TTarnexCriticalSectionGuard guard(Lock_);
  auto manager = std::make_unique<TTarnexBaseIndexManager>(this);
  manager->AssignDefs(indexDefs);
  // The trees of the indexes being replaced give their pages back first.
  if (RecordManager_ != nullptr) {
    bool dropped = false;
    for (int32_t i = 0; i < IndexManager_->IndexCount(); ++i)
      if (IndexManager_->IndexDefs().Items(i)->RootPageNo != -1) {
        IndexManager_->DropIndexPages(i, -2);
        dropped = true;
      }
    if (dropped) {
      IndexManager_->CommitTempPages(-2);
      CommitPages(-2);
    }
  }
  IndexManager_ = std::move(manager);
}

int32_t TTarnexTableData::GetRecordSizes(TTarnexCursor* cursor) {
  const int32_t size = RecordSize();
  cursor->RecordSize = size;
  cursor->RecordBufferSize = size + 7;
  cursor->PositionedRecordSize = size + TTarnexRecordID::Size;
  return FieldDefs().NullFlagsSize();
}

void TTarnexTableData::BuildDefinitions(TTarnexFieldDefs* fieldDefs, TTarnexConstraintDefs* constraintDefs,
                                        TTarnexIndexDefs* indexDefs, int32_t noFieldsCode,
                                        int32_t blobBlockSizeCode, bool withSequences, bool foreignKeysAllowed) {
  const std::string& table = TableName_;
  if (fieldDefs == nullptr || fieldDefs->Count() == 0)
    throw ETarnexException(noFieldsCode, "Error creating table - no fields were specified");

  // Fields.
  if (fieldDefs->Count() == 0)
    throw ETarnexException(11429, "Cannot create table '%s'. No fields were defined", {table});
  std::set<std::string> fieldNames;
  for (int32_t i = 0; i < fieldDefs->Count(); ++i) {
    const std::string& name = fieldDefs->Items(i)->Name;
    if (name.empty()) throw ETarnexException(11432, "Cannot create table '%s'. Unnamed fields are not allowed", {table});
    const std::string upper = AnsiUpperCase(name);
    if (!fieldNames.insert(upper).second)
      throw ETarnexException(11430, "Cannot create table '%s'. Duplicate field name '%s'", {table, upper});
  }

  // Indexes.
  if (indexDefs != nullptr) {
    std::set<std::string> indexNames;
    int32_t primaries = 0;
    for (int32_t i = 0; i < indexDefs->Count(); ++i) {
      const TTarnexIndexDef& def = *indexDefs->Items(i);
      if (def.Name.empty())
        throw ETarnexException(11433, "Cannot create table '%s'. Unnamed indexes are not allowed", {table});
      if (def.ColumnCount() == 0)
        throw ETarnexException(11434, "Cannot create table '%s'. No fields defined in index '%s'", {table, def.Name});
      if (!indexNames.insert(AnsiUpperCase(def.Name)).second)
        throw ETarnexException(11428, "Cannot create table '%s'. Duplicate index name '%s'", {table, def.Name});
      if (def.Primary && ++primaries > 1)
        throw ETarnexException(11427,
                               "Cannot create table '%s'. Error in indexes definition - multiple primary "
                               "indexes are not allowed",
                               {table});
      // A key column must name a field: refused here, before anything changes, rather than when
      // the first record is keyed.
      for (const TTarnexIndexColumn& column : def.Columns)
        if (fieldNames.count(AnsiUpperCase(column.FieldName)) == 0)
          throw ETarnexException(20043, "Cannot find index field '%s'", {column.FieldName});
    }
  }

  // Constraints.
  if (constraintDefs != nullptr) {
    std::set<std::string> constraintNames;
    for (int32_t i = 0; i < constraintDefs->Count(); ++i) {
      const std::string& name = constraintDefs->Items(i)->Name;
      if (!name.empty() && !constraintNames.insert(AnsiUpperCase(name)).second)
        throw ETarnexException(11431, "Cannot create table '%s'. Duplicate constraint name '%s'", {table, name});
    }
  }

  // New managers, built aside and taken over only when every step succeeded.
  auto sequences = std::make_unique<TTarnexBaseSequenceManager>(Database_);
  auto fields = std::make_unique<TTarnexBaseFieldManager>(this, sequences.get());
  for (int32_t i = 0; i < fieldDefs->Count(); ++i) fieldDefs->Items(i)->ObjectID = Database_->NextObjectID();
  fields->FieldDefs().Assign(*fieldDefs);
  fields->FieldDefs().RecalcLayout();
  bool hasBlobFields = false;
  for (int32_t i = 0; i < fields->FieldDefs().Count(); ++i) {
    const TTarnexFieldDef& field = *fields->FieldDefs().Items(i);
    if (!IsBLOBDataType(field.DataType)) continue;
    hasBlobFields = true;
    if (field.BlobBlockSize == 0)
      throw ETarnexException(blobBlockSizeCode, "BLOB block size should be > 0 for field %s", {field.Name});
  }

  TTarnexIndexDefs emptyIndexes;
  TTarnexIndexDefs& indexes = indexDefs != nullptr ? *indexDefs : emptyIndexes;
  for (int32_t i = 0; i < indexes.Count(); ++i) indexes.Items(i)->ObjectID = Database_->NextObjectID();

  auto constraints = std::make_unique<TTarnexBaseConstraintManager>(this);
  if (constraintDefs != nullptr) {
    for (int32_t i = 0; i < constraintDefs->Count(); ++i) {
      TTarnexConstraintDef& c = *constraintDefs->Items(i);
      c.ObjectID = Database_->NextObjectID();
      if (!IsForeignKeyKind(c.ConstraintType)) {
        if (static_cast<uint8_t>(c.ConstraintType) > TarnexMaxConstraintType)
          throw ETarnexException(30040, "Not implemented yet");
        if (TTarnexNamedReference* ref = c.TableReference()) ref->Name = table;
      }
    }
    constraints->ConstraintDefs().Assign(*constraintDefs);
  }
  TTarnexConstraintDefs& list = constraints->ConstraintDefs();
  for (int32_t i = 0; i < list.Count(); ++i) {
    TTarnexConstraintDef& c = *list.Items(i);
    switch (c.ConstraintType) {
      case TTarnexConstraintType::PrimaryKey:
      case TTarnexConstraintType::Unique: {
        auto& u = static_cast<TTarnexConstraintDefUnique&>(c);
        const bool primary = c.ConstraintType == TTarnexConstraintType::PrimaryKey;
        const TTarnexIndexDef* index = indexes.FindByName(u.Target.Name);
        if (index == nullptr) throw ETarnexException(primary ? 30325 : 30326, "Index '%s' not found", {u.Target.Name});
        u.Target.ObjectID = index->ObjectID;
        for (TTarnexNamedReference& column : u.Columns) {
          const TTarnexFieldDef* field = fields->FieldDefs().FindByName(column.Name);
          if (field == nullptr) throw ETarnexException(primary ? 30331 : 30332, "Field '%s' not found", {column.Name});
          column.ObjectID = field->ObjectID;
        }
        break;
      }
      case TTarnexConstraintType::ForeignKey: {
        auto& f = static_cast<TTarnexConstraintDefForeignKeyAction&>(c);
        for (TTarnexNamedReference& column : f.Columns) {
          const TTarnexFieldDef* field = fields->FieldDefs().FindByName(column.Name);
          if (field == nullptr) throw ETarnexException(11419, "Field '%s' not found", {column.Name});
          column.ObjectID = field->ObjectID;
        }
        break;
      }
      case TTarnexConstraintType::NotNull:
      case TTarnexConstraintType::Check: {
        TTarnexNamedReference& target = c.ConstraintType == TTarnexConstraintType::NotNull
                                            ? static_cast<TTarnexConstraintDefNotNull&>(c).Target
                                            : static_cast<TTarnexConstraintDefCheck&>(c).Target;
        const TTarnexFieldDef* field = fields->FieldDefs().FindByName(target.Name);
        if (field == nullptr) throw ETarnexException(30027, "Field '%s' not found", {target.Name});
        target.ObjectID = field->ObjectID;
        break;
      }
      case TTarnexConstraintType::ForeignKeyAction: break;
      default: throw ETarnexException(30037, "Not implemented yet");
    }
  }
  for (int32_t i = 0; i < list.Count(); ++i) {
    TTarnexConstraintDef& c = *list.Items(i);
    if (!c.Name.empty()) continue;
    std::string base;
    switch (c.ConstraintType) {
      case TTarnexConstraintType::ForeignKey:
      case TTarnexConstraintType::ForeignKeyAction: base = MakeUniqueName("FOREIGN_KEY_"); break;
      case TTarnexConstraintType::NotNull:
        base = "$C_NotNull$" + table + "$" + static_cast<TTarnexConstraintDefNotNull&>(c).Target.Name;
        break;
      case TTarnexConstraintType::Check:
        base = "$C_Check$" + table + "$" + static_cast<TTarnexConstraintDefCheck&>(c).Target.Name;
        break;
      default: throw ETarnexException(30038, "Not implemented yet");
    }
    std::string name = base;
    while (list.IndexOfName(name) >= 0) name = base + std::to_string(RandomBelow(65535));
    c.Name = name;
  }
  if (!foreignKeysAllowed && list.HasForeignKeys())
    throw ETarnexException(11426, "Foreign keys are not supported in temporary tables");

  if (withSequences)
    for (int32_t i = 0; i < fields->FieldDefs().Count(); ++i) {
      TTarnexFieldDef& field = *fields->FieldDefs().Items(i);
      if (IsAutoIncFieldType(field.FieldType)) sequences->CreateAutoincSequence(table, field);
    }

  // The old trees are dropped while the old fields still describe their keys.
  SetIndexDefs(indexes);
  SequenceManager_ = std::move(sequences);
  FieldManager_ = std::move(fields);
  ConstraintManager_ = std::move(constraints);
  HasBlobFields_ = hasBlobFields;
}

void TTarnexTableData::DropTable(TTarnexBaseSession* session, bool ignoreForeignKeys, bool keepObject) {
  bool freeObject;
  {
    TTarnexCriticalSectionGuard guard(Lock_);
    if (!keepObject && !Cursors_.empty())
      throw ETarnexException(20017, "Cannot delete table '%s'. Table is open by another dataset", {TableName_});
    if (!ignoreForeignKeys && (ConstraintDefs().HasForeignKeys() || ConstraintDefs().IsReferenced()))
      throw ETarnexException(11481, "Cannot delete table '%s' - foreign key constraint(s) violated", {TableName_});
    if (session != nullptr) ForeignKeyRemoveMirrors(session);
    ConstraintDefs().SetHasForeignKeys(false);
    ConstraintDefs().SetIsReferenced(false);
    if (IndexManager_->IndexCount() > 0) {
      const int32_t sessionID = session != nullptr ? session->SessionID : -2;
      CurrentSessionID_ = sessionID;
      const bool temporary = IndexManager_->HasTemporaryIndexes();
      while (IndexManager_->IndexCount() > 0) IndexManager_->DeleteIndex(0, sessionID);
      if (temporary) IndexManager_->CommitTempPages(sessionID);
      CommitPages(sessionID);
      CurrentSessionID_ = -2;
    }
    freeObject = !(keepObject && !Cursors_.empty());
    if (freeObject) {
      ReleaseContents(-2);
      GetPageManager()->CheckFree();
      if (IndexManager_->TempPageManager() != nullptr) IndexManager_->TempPageManager()->CheckFree();
    }
  }
  if (freeObject) FreeSelf();
}

void TTarnexTableData::FreeSelf() {
  if (Database_ != nullptr) Database_->FreeTableData(this);
}

void TTarnexTableData::ReleaseContents(int32_t sessionID) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (RecordManager_ != nullptr) {
    for (int32_t i = 0; i < IndexManager_->IndexCount(); ++i)
      if (IndexManager_->IndexDefs().Items(i)->RootPageNo != -1) IndexManager_->DropIndexPages(i, sessionID);
    IndexManager_->CommitTempPages(sessionID);
    CommitPages(sessionID);
  }
  FreeAllBlobs();
  if (RecordManager_ != nullptr) RecordManager_->Clear(sessionID);
}

void TTarnexTableData::FreeAllBlobs() {}

void TTarnexTableData::StoreUpdatedRecordRefused() {
  throw ETarnexException(11301, "Error - operation is not supported");
}

bool TTarnexTableData::HasOtherCursors(const TTarnexCursor* except) const {
  for (const TTarnexCursor* cursor : Cursors_)
    if (cursor != except) return true;
  return false;
}

void TTarnexTableData::RenameTable(TTarnexCursor* cursor, const std::string& newName) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (HasOtherCursors(cursor))
    throw ETarnexException(10150, "Cannot rename table '%s'. Table is open by another dataset", {TableName_});
  const std::string oldName = TableName_;
  if (ConstraintDefs().HasForeignKeys() || ConstraintDefs().IsReferenced())
    ForeignKeyRenameReferences(cursor, oldName, newName);
  RenameReferencedTable(cursor, oldName, newName);
  // The constraints of the table name their owning table.
  for (int32_t i = 0; i < ConstraintDefs().Count(); ++i) {
    TTarnexConstraintDef& c = *ConstraintDefs().Items(i);
    if (IsForeignKeyKind(c.ConstraintType)) continue;
    if (TTarnexNamedReference* ref = c.TableReference()) ref->Name = newName;
  }
  TableName_ = newName;
}

void TTarnexTableData::DropConstraint(TTarnexCursor* cursor, const std::string& name, bool ignoreForeignKeys,
                                      bool force) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const int32_t i = ConstraintDefs().IndexOfName(name);
  if (i < 0)
    throw ETarnexException(11482, "Error - constraint '%s' does not exist in table '%s'", {name, TableName_});
  TTarnexConstraintDef& c = *ConstraintDefs().Items(i);
  if (c.ConstraintType != TTarnexConstraintType::PrimaryKey) {
    if (IsForeignKeyKind(c.ConstraintType) && !ignoreForeignKeys) ForeignKeyDropCounterpart(cursor, c);
    ConstraintDefs().Delete(ConstraintDefs().IndexOfName(name));
  } else {
    if (ConstraintDefs().IsReferenced() && !force)
      throw ETarnexException(11483,
                             "Cannot delete constraint primary key '%s' in table '%s' - foreign key(s) "
                             "referencing this table exists",
                             {name, TableName_});
    for (int32_t k = ConstraintDefs().Count() - 1; k >= 0; --k) {
      if (k >= ConstraintDefs().Count()) continue;
      const TTarnexConstraintDef& action = *ConstraintDefs().Items(k);
      if (action.ConstraintType == TTarnexConstraintType::ForeignKeyAction)
        DropConstraint(cursor, std::string(action.Name), false, true);
    }
    const int32_t p = ConstraintDefs().IndexOfName(name);
    const TTarnexObjectID indexID = static_cast<TTarnexConstraintDefPrimary&>(*ConstraintDefs().Items(p)).Target.ObjectID;
    DropIndex(indexID, cursor);
    // Without a cursor, or for an index already gone, the constraint is still to be removed.
    const int32_t left = ConstraintDefs().IndexOfName(name);
    if (left >= 0) ConstraintDefs().Delete(left);
  }
  CommitPages(SessionIDOf(cursor));
}

void TTarnexTableData::RenameReferencedTable(TTarnexCursor*, const std::string& oldName,
                                             const std::string& newName) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const std::string old = AnsiUpperCase(oldName);
  for (int32_t i = 0; i < ConstraintDefs().Count(); ++i) {
    TTarnexConstraintDef& c = *ConstraintDefs().Items(i);
    if (!IsForeignKeyKind(c.ConstraintType)) continue;
    auto& reference = static_cast<TTarnexConstraintDefForeignKeyAction&>(c).Table;
    if (AnsiUpperCase(reference.Name) == old) reference.Name = newName;
  }
}

void TTarnexTableData::LoadFromStream(TTarnexStream&) {
  throw ETarnexException(10383, "Error - operation is not supported");
}

void TTarnexTableData::SaveToStream(TTarnexStream&) {
  throw ETarnexException(10383, "Error - operation is not supported");
}

void TTarnexTableData::AddCursor(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  Cursors_.push_back(cursor);
  if (WorkBuffer_ == nullptr) WorkBuffer_ = static_cast<uint8_t*>(MemoryManager().GetMem(std::max(RecordSize(), 1)));
}

void TTarnexTableData::RemoveCursor(TTarnexCursor* cursor, bool) {
  TTarnexCriticalSectionGuard guard(Lock_);
  auto it = std::find(Cursors_.begin(), Cursors_.end(), cursor);
  if (it != Cursors_.end()) Cursors_.erase(it);
  if (Cursors_.empty()) MemoryManager().FreeAndNillMem(WorkBuffer_);
}

void TTarnexTableData::RenameField(TTarnexCursor*, const std::string& oldName, const std::string& newName) {
  TTarnexCriticalSectionGuard guard(Lock_);
  TTarnexFieldDef* field = FieldDefs().FindByName(oldName);
  if (field == nullptr) throw ETarnexException(30343, "Field '%s' not found", {oldName});
  const TTarnexFieldDef* other = FieldDefs().FindByName(newName);
  if (other != nullptr && other != field)
    throw ETarnexException(30344, "Cannot rename field '%s'. Field '%s' already exists", {oldName, newName});
  const std::string upper = AnsiUpperCase(field->Name);
  for (int32_t i = 0; i < IndexDefs().Count(); ++i) {
    const TTarnexIndexDef& index = *IndexDefs().Items(i);
    for (const TTarnexIndexColumn& column : index.Columns)
      if (AnsiUpperCase(column.FieldName) == upper)
        throw ETarnexException(11489, "Cannot rename field '%s' in table '%s' - index '%s' includes this field",
                               {oldName, TableName_, index.Name});
  }
  if (ConstraintDefs().HasForeignKeys())
    for (int32_t i = 0; i < ConstraintDefs().Count(); ++i) {
      const TTarnexConstraintDef& c = *ConstraintDefs().Items(i);
      if (c.ConstraintType != TTarnexConstraintType::ForeignKey) continue;
      for (const TTarnexNamedReference& column : static_cast<const TTarnexConstraintDefForeignKey&>(c).Columns)
        if (column.ObjectID == field->ObjectID)
          throw ETarnexException(11488,
                                 "Cannot rename field '%s' in table '%s' - foreign key '%s' includes this field",
                                 {oldName, TableName_, c.Name});
    }
  // Constraints that name the field by name follow it.
  for (int32_t i = 0; i < ConstraintDefs().Count(); ++i) {
    TTarnexConstraintDef& c = *ConstraintDefs().Items(i);
    if (c.ConstraintType == TTarnexConstraintType::NotNull) {
      auto& target = static_cast<TTarnexConstraintDefNotNull&>(c).Target;
      if (target.ObjectID == field->ObjectID) target.Name = newName;
    } else if (c.ConstraintType == TTarnexConstraintType::Check) {
      auto& target = static_cast<TTarnexConstraintDefCheck&>(c).Target;
      if (target.ObjectID == field->ObjectID) target.Name = newName;
    }
  }
  field->Name = newName;
}

void TTarnexTableData::AddIndex(const TTarnexIndexDef& definition, TTarnexCursor* cursor, bool internalChange) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (IndexDefs().IndexOfName(definition.Name) >= 0)
    throw ETarnexException(20022, "Cannot create index '%s'. Index already exists", {definition.Name});
  const int32_t sessionID = SessionIDOf(cursor);
  auto copy = std::make_unique<TTarnexIndexDef>();
  copy->Assign(definition);
  copy->ObjectID = Database_->NextObjectID();
  copy->RootPageNo = -1;
  const bool temporaryIndex = copy->Temporary;
  TTarnexBTreeIndex* added = nullptr;
  try {
    added = &IndexManager_->AddIndex(std::move(copy), sessionID);
  } catch (...) {
    // The pages of the tree given up are returned for good.
    if (temporaryIndex) IndexManager_->CommitTempPages(sessionID);
    CommitPages(sessionID);
    throw;
  }
  const TTarnexIndexDef& built = added->IndexDef();
  if (!built.Temporary && !internalChange && (built.Primary || built.Unique)) {
    std::unique_ptr<TTarnexConstraintDefUnique> constraint;
    if (built.Primary) constraint = std::make_unique<TTarnexConstraintDefPrimary>();
    else constraint = std::make_unique<TTarnexConstraintDefUnique>();
    constraint->Name = built.Name;
    constraint->Target.Name = built.Name;
    constraint->Target.ObjectID = built.ObjectID;
    constraint->Table.Name = TableName_;
    for (const TTarnexIndexColumn& column : built.Columns) {
      TTarnexNamedReference reference;
      reference.Name = column.FieldName;
      if (const TTarnexFieldDef* field = FieldDefs().FindByName(column.FieldName)) reference.ObjectID = field->ObjectID;
      constraint->Columns.push_back(reference);
    }
    constraint->ObjectID = Database_->NextObjectID();
    ConstraintDefs().Add(std::move(constraint));
  }
  if (built.Temporary) IndexManager_->CommitTempPages(sessionID);
  CommitPages(sessionID);
}

void TTarnexTableData::DropIndex(TTarnexObjectID id, TTarnexCursor* cursor, bool internalChange) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const int32_t i = IndexDefs().IndexOfObjectID(id);
  if (i < 0) return;
  const bool temporary = IndexDefs().Items(i)->Temporary;
  const int32_t sessionID = SessionIDOf(cursor);
  if (cursor != nullptr && !temporary && !internalChange)
    for (int32_t k = 0; k < ConstraintDefs().Count(); ++k) {
      const TTarnexConstraintDef& c = *ConstraintDefs().Items(k);
      if ((c.ConstraintType == TTarnexConstraintType::PrimaryKey || c.ConstraintType == TTarnexConstraintType::Unique) &&
          static_cast<const TTarnexConstraintDefUnique&>(c).Target.ObjectID == id) {
        ConstraintDefs().Delete(k);
        break;
      }
    }
  IndexManager_->DeleteIndex(i, sessionID);
  if (temporary) IndexManager_->CommitTempPages(sessionID);
  CommitPages(sessionID);
}

void TTarnexTableData::DropIndexPages(TTarnexObjectID id, int32_t sessionID) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const int32_t i = IndexDefs().IndexOfObjectID(id);
  if (i < 0) return;
  const bool temporary = IndexDefs().Items(i)->Temporary;
  IndexManager_->DropIndexPages(i, sessionID);
  if (temporary) IndexManager_->CommitTempPages(sessionID);
  CommitPages(sessionID);
}

void TTarnexTableData::DropAllIndexes(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  while (IndexDefs().Count() > 0) DropIndex(IndexDefs().Items(0)->ObjectID, cursor);
}

void TTarnexTableData::ClearAllIndexes(int32_t sessionID) {
  TTarnexCriticalSectionGuard guard(Lock_);
  for (int32_t i = 0; i < IndexManager_->IndexCount(); ++i) IndexManager_->DropIndexPages(i, sessionID);
  IndexManager_->CommitTempPages(sessionID);
  CommitPages(sessionID);
}

void TTarnexTableData::ReservedOperation22() {}

int64_t TTarnexTableData::GetRecordIDBound() { return GetRecordCount(); }

bool TTarnexTableData::Search(TTarnexCursor*, TTarnexExpression*, TTarnexRecordBitmap*,
                              const TTarnexScanSearchCondition*, TTarnexRecordID&) {
  throw ETarnexException(10381, "Error - operation is not supported");
}

bool TTarnexTableData::RecordExists(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  return RecordManager_ != nullptr && RecordManager_->RecordExists(cursor->RecordID, SessionIDOf(cursor));
}

// ---------------------------------------------------------------------------------------------
// Navigation, counts and numbers
// ---------------------------------------------------------------------------------------------

TTarnexBTreeIndex* TTarnexTableData::CursorIndex(const TTarnexCursor* cursor) {
  return cursor->HasIndex() ? IndexManager_->FindIndex(cursor->IndexID) : nullptr;
}

void TTarnexTableData::BuildRecordSet(TTarnexCursor* cursor) {
  if (cursor->RecordSet == nullptr)
    cursor->RecordSet = std::unique_ptr<TTarnexRecordBitmap, TTarnexRecordBitmapDeleter>(new TTarnexRecordBitmap(this));
  const int64_t count = GetRecordCount();
  cursor->RecordSet->Reset(static_cast<int32_t>(std::min<int64_t>(count / 10, INT32_MAX)));
  cursor->RecordSet->SetOrdered(cursor->HasIndex());
  if (count > 0) {
    TScratch scratch(std::max(RecordSize(), cursor->RecordBufferSize));
    uint8_t* own = cursor->RecordBuffer;
    cursor->RecordBuffer = scratch.Data();
    cursor->SetBOF();
    TTarnexRecordID first;
    try {
      Search(cursor, nullptr, cursor->RecordSet.get(), nullptr, first);
    } catch (...) {
      cursor->RecordBuffer = own;
      throw;
    }
    cursor->RecordBuffer = own;
  }
  cursor->RecordSet->SetActive(true);
}

TNavigationResult TTarnexTableData::Navigate(TTarnexCursor* cursor, TNavigationDirection direction) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const int32_t sessionID = SessionIDOf(cursor);
  struct TNavigationScope {
    TTarnexTableData& Table;
    ~TNavigationScope() {
      Table.CurrentSessionID_ = -2;
      Table.NavigationMode_ = 0;
    }
  } scope{*this};
  CurrentSessionID_ = sessionID;

  TNavigationRequest request;
  request.SessionID = sessionID;
  request.Direction = direction;
  request.IndexID = cursor->IndexID;
  request.RecordID = cursor->RecordID;
  request.Buffer = cursor->RecordBuffer;
  request.GoFirst = cursor->Bof;
  request.GoLast = cursor->Eof;

  if (RecordManager_ == nullptr || RecordManager_->GetRecordCount() == 0) {
    cursor->SetEOF();
    return TNavigationResult::AfterLast;
  }
  if (cursor->IsFiltered()) {
    if (cursor->RecordSet == nullptr || !cursor->RecordSet->Active()) BuildRecordSet(cursor);
    cursor->RecordSet->Navigate(request);
    if (request.Result == TNavigationResult::Found) {
      TNavigationRequest read;
      read.SessionID = sessionID;
      read.Direction = TNavigationDirection::Current;
      read.RecordID = request.RecordID;
      read.Buffer = cursor->RecordBuffer;
      RecordManager_->ReadRecord(read);
      if (read.Result != TNavigationResult::Found) request.Result = TNavigationResult::NoRecord;
    }
    ApplyAnswer(*cursor, request);
    return request.Result;
  }
  TTarnexBTreeIndex* index = direction == TNavigationDirection::Current ? nullptr : CursorIndex(cursor);
  if (index != nullptr) {
    if (!request.GoFirst && !request.GoLast) {
      TNavigationRequest reread;
      reread.SessionID = sessionID;
      reread.Direction = TNavigationDirection::Current;
      reread.RecordID = request.RecordID;
      reread.Buffer = cursor->RecordBuffer;
      RecordManager_->ReadRecord(reread);
      if (reread.Result != TNavigationResult::Found) {
        ApplyAnswer(*cursor, reread);
        return reread.Result;
      }
    }
    index->GetRecord(sessionID, request);
  } else {
    RecordManager_->ReadRecord(request);
  }
  ApplyAnswer(*cursor, request);
  return request.Result;
}

int64_t TTarnexTableData::GetCursorRecordCount(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (cursor->IsFiltered()) {
    if (cursor->RecordSet == nullptr || !cursor->RecordSet->Active()) BuildRecordSet(cursor);
    return cursor->RecordSet->Count();
  }
  return GetRecordCount();
}

void TTarnexTableData::SetRecNo(TTarnexCursor* cursor, int64_t recNo) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const int64_t count = GetCursorRecordCount(cursor);
  if (count == 0) {
    cursor->SetEOF();
    return;
  }
  recNo = std::clamp<int64_t>(recNo, 1, count);
  TTarnexRecordID id;
  if (cursor->IsFiltered()) {
    id = cursor->RecordSet->IDAt(recNo);
  } else if (TTarnexBTreeIndex* index = CursorIndex(cursor)) {
    index->GetRecordAtRecNo(SessionIDOf(cursor), nullptr, id, recNo);
  } else {
    SetRecNoInTableOrder(cursor, recNo);
    return;
  }
  cursor->RecordID = id;
  cursor->Bof = false;
  cursor->Eof = false;
}

int64_t TTarnexTableData::GetRecNo(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (cursor->Bof || cursor->Eof) return -1;
  if (GetCursorRecordCount(cursor) == 0) return -1;
  if (cursor->IsFiltered()) return cursor->RecordSet->RecNoOf(cursor->RecordID);
  if (TTarnexBTreeIndex* index = CursorIndex(cursor)) {
    const int32_t sessionID = SessionIDOf(cursor);
    uint8_t* scratch = Scratch(2, RecordSize());
    if (!ReadStoredRecord(sessionID, cursor->RecordID, scratch)) return -1;
    return index->GetRecNo(sessionID, cursor->RecordID, nullptr, scratch);
  }
  return GetRecNoInTableOrder(cursor);
}

// ---------------------------------------------------------------------------------------------
// Constraints, defaults, edits
// ---------------------------------------------------------------------------------------------

void TTarnexTableData::CheckConstraints(TTarnexCursor* cursor, TTarnexBaseSession* session, bool skipForeignKeys,
                                        const TTarnexRecordID& position, bool inserting,
                                        const uint8_t* oldRecordBuffer, const uint8_t* newRecordBuffer) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const int32_t sessionID = session != nullptr ? session->SessionID : SessionIDOf(cursor);
  std::unique_ptr<TScratch> stored;  // the stored record when no old buffer is given
  TTarnexFieldDefs& fields = FieldDefs();
  auto fieldNumber = [&](const TTarnexNamedReference& reference) {
    int32_t i = reference.ObjectID != InvalidObjectID ? fields.IndexOfObjectID(reference.ObjectID) : -1;
    if (i < 0) i = fields.IndexOfName(reference.Name);
    return i;
  };
  auto uniqueKey = [&](const TTarnexConstraintDefUnique& c, bool primary) {
    if (GetRecordCount() == 0) return true;
    TTarnexBTreeIndex* index = IndexManager_->FindIndex(c.Target.ObjectID);
    if (index == nullptr) throw ETarnexException(primary ? 30325 : 30326, "Index '%s' not found", {c.Target.Name});
    if (inserting) return index->IsKeyUnique(sessionID, newRecordBuffer);
    const uint8_t* old = oldRecordBuffer;
    if (old == nullptr) {
      stored = std::make_unique<TScratch>(RecordSize());
      if (!ReadStoredRecord(sessionID, position, stored->Data())) return index->IsKeyUnique(sessionID, newRecordBuffer);
      old = stored->Data();
    }
    return index->IsKeyUniqueForUpdate(sessionID, old, newRecordBuffer);
  };

  TTarnexConstraintDefs& list = ConstraintDefs();
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TTarnexConstraintDef& c = *list.Items(i);
    switch (c.ConstraintType) {
      case TTarnexConstraintType::PrimaryKey: {
        const auto& u = static_cast<const TTarnexConstraintDefUnique&>(c);
        for (const TTarnexNamedReference& column : u.Columns) {
          const int32_t f = fieldNumber(column);
          if (f >= 0 && GetNullFlag(newRecordBuffer, f))
            throw ETarnexException(30330, "Constraint '%s' violated. Value in field '%s' cannot be null",
                                   {c.Name, fields.Items(f)->Name});
        }
        if (!uniqueKey(u, true))
          throw ETarnexException(30319, "Primary Key constraint '%s' violated. Duplicate found.", {c.Name});
        break;
      }
      case TTarnexConstraintType::ForeignKey:
        if (!skipForeignKeys) ForeignKeyCheckRow(cursor, newRecordBuffer);
        break;
      case TTarnexConstraintType::Unique:
        if (!uniqueKey(static_cast<const TTarnexConstraintDefUnique&>(c), false))
          throw ETarnexException(30320, "Constraint unique '%s' violated. Duplicate found.", {c.Name});
        break;
      case TTarnexConstraintType::NotNull: {
        const auto& n = static_cast<const TTarnexConstraintDefNotNull&>(c);
        const int32_t f = fields.IndexOfObjectID(n.Target.ObjectID);
        if (f < 0) throw ETarnexException(30024, "Field #%d not found", {n.Target.ObjectID});
        if (GetNullFlag(newRecordBuffer, f))
          throw ETarnexException(30026, "Constraint '%s' violated. Value in field '%s' cannot be null",
                                 {c.Name, fields.Items(f)->Name});
        break;
      }
      case TTarnexConstraintType::Check: {
        const auto& k = static_cast<const TTarnexConstraintDefCheck&>(c);
        const int32_t f = fieldNumber(k.Target);
        if (f < 0) throw ETarnexException(30024, "Field #%d not found", {k.Target.ObjectID});
        if (GetNullFlag(newRecordBuffer, f)) break;
        const TTarnexFieldDef& field = *fields.Items(f);
        TTarnexVariant value(field.DataType);
        ReadFieldVariant(field, f, newRecordBuffer, value);
        if (value.IsNull()) break;
        if (!k.MinValue->IsNull() && value.Compare(*k.MinValue, false, false, false) == TarnexCompareLess)
          throw ETarnexException(30029, "Constraint '%s' violated. Value in field '%s' cannot be lower then '%s'",
                                 {c.Name, field.Name, k.MinValue->AsString()});
        if (!k.MaxValue->IsNull() && value.Compare(*k.MaxValue, false, false, false) == TarnexCompareGreater)
          throw ETarnexException(30030, "Constraint '%s' violated. Value in field '%s' cannot be greater then '%s'",
                                 {c.Name, field.Name, k.MaxValue->AsString()});
        break;
      }
      case TTarnexConstraintType::ForeignKeyAction: break;
      default: throw ETarnexException(30036, "Not implemented yet");
    }
  }
}

void TTarnexTableData::ApplyDefaults(TTarnexCursor* cursor, uint8_t* recordBuffer, bool generateAutoinc) {
  TTarnexCriticalSectionGuard guard(Lock_);
  FieldManager_->ApplyDefaults(cursor != nullptr ? cursor->Session : nullptr, recordBuffer, generateAutoinc);
}

void TTarnexTableData::BeginEdit(TTarnexCursor*) {}

void TTarnexTableData::CancelEdit(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (!HasBlobFields_ || cursor == nullptr || cursor->RecordBuffer == nullptr) return;
  for (int32_t i = 0; i < FieldDefs().Count(); ++i) {
    const TTarnexFieldDef& field = *FieldDefs().Items(i);
    if (!IsBLOBDataType(field.DataType) || GetNullFlag(cursor->RecordBuffer, i)) continue;
    if (GetBlobMarker(cursor->RecordBuffer, field) == TarnexBlobOwnedMarker) FreeBlob(cursor->RecordBuffer, i);
  }
}

void TTarnexTableData::UpdateAllRecords(TTarnexCursor* cursor, const std::vector<std::string>& fieldNames,
                                        const std::vector<const TTarnexVariant*>& values) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (values.size() != fieldNames.size())
    throw ETarnexException(11448, "Invalid item number - ItemNo = %d, ItemCount = %d",
                           {static_cast<int>(values.size()), static_cast<int>(fieldNames.size())});
  std::vector<int32_t> numbers;
  for (const std::string& name : fieldNames) {
    const int32_t i = cursor->FieldDefs != nullptr ? cursor->FieldDefs->IndexOfName(name) : -1;
    if (i < 0) throw ETarnexException(11447, "Cannot find field %s in table %s", {name, TableName_});
    numbers.push_back(i);
  }
  const int32_t sessionID = SessionIDOf(cursor);
  const std::vector<TTarnexRecordID> scope = RecordScope(cursor);
  const int32_t size = RecordSize();
  TScratch old(size);
  std::unique_ptr<TScratch> own;
  uint8_t* buffer = cursor->RecordBuffer;
  if (buffer == nullptr || cursor->RecordBufferSize < size) {
    own = std::make_unique<TScratch>(size);
    buffer = own->Data();
  }
  for (const TTarnexRecordID& id : scope) {
    if (!ReadStoredRecord(sessionID, id, old.Data()))
      throw ETarnexException(11449, "Error - cannot load record (PageNo = %d, PageItemNo = %d) in table '%s'",
                             {id.PageNo, static_cast<int>(id.PageItemNo), TableName_});
    std::memcpy(buffer, old.Data(), static_cast<size_t>(size));
    cursor->RecordID = id;
    for (size_t k = 0; k < numbers.size(); ++k) cursor->SetFieldValue(*values[k], numbers[k], buffer, true);
    CheckConstraints(cursor, cursor->Session, false, id, false, old.Data(), buffer);
    ForeignKeyBeforeUpdate(cursor);
    if (!StoreUpdatedRecord(cursor, sessionID, id, old.Data(), buffer))
      throw ETarnexException(11449, "Error - cannot load record (PageNo = %d, PageItemNo = %d) in table '%s'",
                             {id.PageNo, static_cast<int>(id.PageItemNo), TableName_});
  }
  CommitPages(sessionID);
  cursor->SetBOF();
}

bool TTarnexTableData::StoreUpdatedRecord(TTarnexCursor*, int32_t, const TTarnexRecordID&, const uint8_t*,
                                          uint8_t*) {
  StoreUpdatedRecordRefused();
  return false;
}

int64_t TTarnexTableData::GetLastAutoinc(const TTarnexFieldDef&, TTarnexBaseSession*) { return 0; }
void TTarnexTableData::SetLastAutoinc(const TTarnexFieldDef&, int64_t) {}

void TTarnexTableData::IncUsage() {
  TTarnexCriticalSectionGuard guard(Lock_);
  ++UsageCount_;
}

void TTarnexTableData::DecUsage() {
  TTarnexCriticalSectionGuard guard(Lock_);
  --UsageCount_;
}

bool TTarnexTableData::LockShared(int32_t) { return true; }
bool TTarnexTableData::UnlockShared(int32_t) { return true; }
bool TTarnexTableData::LockIRW(int32_t) { return true; }
bool TTarnexTableData::UnlockIRW(int32_t) { return true; }
bool TTarnexTableData::LockRW(int32_t) { return true; }
bool TTarnexTableData::UnlockRW(int32_t) { return true; }
bool TTarnexTableData::TryLockShared(int32_t) { return true; }
bool TTarnexTableData::TryUnlockShared(int32_t) { return true; }
bool TTarnexTableData::TryLockIRW(int32_t) { return true; }
bool TTarnexTableData::TryUnlockIRW(int32_t) { return true; }
bool TTarnexTableData::TryLockRW(int32_t) { return true; }
bool TTarnexTableData::TryUnlockRW(int32_t) { return true; }
void TTarnexTableData::StartTransaction(int32_t) {}
void TTarnexTableData::CommitTransaction(int32_t) {}
void TTarnexTableData::RollbackTransaction(int32_t) {}
bool TTarnexTableData::ReservedOperationLast() { return false; }

// ---------------------------------------------------------------------------------------------
// Shared record and index work
// ---------------------------------------------------------------------------------------------

void TTarnexTableData::InsertIndexKeys(int32_t sessionID, const uint8_t* buffer, const TTarnexRecordID& id) {
  const int32_t n = IndexManager_->IndexCount();
  int32_t done = 0;
  try {
    for (; done < n; ++done) IndexManager_->Index(done).InsertKey(sessionID, buffer, id);
  } catch (...) {
    for (int32_t i = 0; i < done; ++i) {
      try {
        IndexManager_->Index(i).DeleteKey(sessionID, buffer, id);
      } catch (...) {
      }
    }
    IndexManager_->SyncRootPages();
    throw;
  }
  if (IndexManager_->SyncRootPages() || IndexManager_->HasTemporaryIndexes()) IndexManager_->CommitTempPages(sessionID);
}

void TTarnexTableData::DeleteIndexKeys(int32_t sessionID, const uint8_t* buffer, const TTarnexRecordID& id) {
  const int32_t n = IndexManager_->IndexCount();
  int32_t done = 0;
  try {
    for (; done < n; ++done) IndexManager_->Index(done).DeleteKey(sessionID, buffer, id);
  } catch (...) {
    for (int32_t i = 0; i < done; ++i) {
      try {
        IndexManager_->Index(i).InsertKey(sessionID, buffer, id);
      } catch (...) {
      }
    }
    throw;
  }
  if (IndexManager_->HasTemporaryIndexes()) IndexManager_->CommitTempPages(sessionID);
}

bool TTarnexTableData::UpdateIndexKeys(int32_t sessionID, const uint8_t* oldBuffer, const uint8_t* newBuffer,
                                       const TTarnexRecordID& id, TTarnexObjectID orderIndexID) {
  const int32_t n = IndexManager_->IndexCount();
  bool orderKeyChanged = false;
  int32_t done = 0;
  try {
    for (; done < n; ++done) {
      TTarnexBTreeIndex& index = IndexManager_->Index(done);
      if (index.IndexDef().ObjectID == orderIndexID &&
          index.CompareRecordKeys(oldBuffer, newBuffer, index.KeyRef().ColumnCount()) != 0)
        orderKeyChanged = true;
      index.UpdateKey(sessionID, oldBuffer, newBuffer, id);
    }
  } catch (...) {
    for (int32_t i = 0; i < done; ++i) {
      try {
        IndexManager_->Index(i).UpdateKey(sessionID, newBuffer, oldBuffer, id);
      } catch (...) {
      }
    }
    throw;
  }
  if (IndexManager_->SyncRootPages() || IndexManager_->HasTemporaryIndexes()) IndexManager_->CommitTempPages(sessionID);
  return orderKeyChanged;
}

void TTarnexTableData::CommitPages(int32_t sessionID) { GetPageManager()->CommitSession(sessionID); }

bool TTarnexTableData::ReadStoredRecord(int32_t sessionID, const TTarnexRecordID& id, uint8_t* buffer) {
  if (RecordManager_ == nullptr) return false;
  TNavigationRequest request;
  request.SessionID = sessionID;
  request.Direction = TNavigationDirection::Current;
  request.RecordID = id;
  request.Buffer = buffer;
  RecordManager_->ReadRecord(request);
  return request.Result == TNavigationResult::Found;
}

std::vector<TTarnexRecordID> TTarnexTableData::RecordScope(TTarnexCursor* cursor) {
  std::vector<TTarnexRecordID> ids;
  if (cursor != nullptr && cursor->RecordSet != nullptr && cursor->RecordSet->Active()) {
    const TTarnexRecordIDArray& set = cursor->RecordSet->IDs();
    ids.reserve(static_cast<size_t>(set.Count()));
    for (int32_t i = 0; i < set.Count(); ++i) ids.push_back(set.Item(i));
    return ids;
  }
  if (RecordManager_ == nullptr) return ids;
  ids.reserve(static_cast<size_t>(RecordManager_->GetRecordCount()));
  TScratch buffer(RecordSize());
  TNavigationRequest request;
  request.SessionID = SessionIDOf(cursor);
  request.Direction = TNavigationDirection::Next;
  request.Buffer = buffer.Data();
  request.GoFirst = true;
  for (;;) {
    RecordManager_->ReadRecord(request);
    if (request.Result != TNavigationResult::Found) break;
    ids.push_back(request.RecordID);
  }
  return ids;
}

void TTarnexTableData::RecordSetInserted(TTarnexCursor* cursor) {
  // Placing a new record needs the filter test of the search planner; until a rebuild the set is
  // dropped, and the next navigation builds it again with the record in its place.
  if (cursor != nullptr && cursor->RecordSet != nullptr && cursor->RecordSet->Active()) cursor->RecordSet->Invalidate();
}

void TTarnexTableData::RecordSetUpdated(TTarnexCursor* cursor, bool) { RecordSetInserted(cursor); }

void TTarnexTableData::RecordSetDeleted(TTarnexCursor* cursor, const TTarnexRecordID& id) {
  if (cursor == nullptr || cursor->RecordSet == nullptr || !cursor->RecordSet->Active()) return;
  if (cursor->RecordSet->Contains(id)) cursor->RecordSet->Remove(id);
}

int32_t TTarnexTableData::TableFieldNo(const TTarnexCursor* cursor, int32_t fieldNo, int32_t code) const {
  int32_t number = fieldNo;
  if (cursor != nullptr && cursor->VisibleFieldDefs != nullptr) {
    const int32_t visible = cursor->VisibleFieldDefs->Count();
    if (fieldNo < 0 || fieldNo >= visible)
      throw ETarnexException(code, "Invalid field number - FieldNo = %d, FieldCount = %d", {fieldNo, visible});
    const int32_t mapped = cursor->VisibleFieldDefs->Items(fieldNo)->FieldNo;
    if (mapped >= 0) number = mapped;
  }
  const int32_t count = FieldManager_->FieldDefs().Count();
  if (number < 0 || number >= count)
    throw ETarnexException(code, "Invalid field number - FieldNo = %d, FieldCount = %d", {number, count});
  return number;
}

// Foreign keys: the referential rules are not part of this build.
void TTarnexTableData::ForeignKeyValidateNewTable(TTarnexCursor*) {}
void TTarnexTableData::ForeignKeyCheckRow(TTarnexCursor*, const uint8_t*) {}
void TTarnexTableData::ForeignKeyBeforeUpdate(TTarnexCursor*) {}
void TTarnexTableData::ForeignKeyBeforeDelete(TTarnexCursor*, const uint8_t*) {}
void TTarnexTableData::ForeignKeyRemoveMirrors(TTarnexBaseSession*) {}
void TTarnexTableData::ForeignKeyRenameReferences(TTarnexCursor*, const std::string&, const std::string&) {}
void TTarnexTableData::ForeignKeyDropCounterpart(TTarnexCursor*, const TTarnexConstraintDef&) {}

// ---------------------------------------------------------------------------------------------
// BLOB streams
// ---------------------------------------------------------------------------------------------

std::unique_ptr<TTarnexLocalBLOBStream> TTarnexTableData::MakeLocalBlobStream(
    TTarnexCursor* cursor, const TTarnexFieldDef& field, bool newValue, uint8_t mode, int32_t fieldNo,
    std::unique_ptr<TTarnexStream> underlying, int32_t blockSize, int64_t blockCount, int64_t uncompressedSize) {
  TTarnexCompressedBLOBStreamParams params;
  params.BlockSize = newValue ? field.BlobBlockSize : blockSize;
  params.BlockCount = newValue ? 0 : blockCount;
  params.UncompressedSize = newValue ? 0 : uncompressedSize;
  params.StartPosition = 0;
  params.Algorithm = static_cast<TTarnexCompressionAlgorithm>(field.BlobCompressionAlgorithm);
  params.Mode = field.BlobCompressionMode;
  auto inner = std::make_unique<TTarnexCompressedBLOBStream>(underlying.get(), false, newValue, params);
  return std::make_unique<TTarnexLocalBLOBStream>(std::move(inner), mode, fieldNo, cursor, std::move(underlying));
}
