// A minimal cursor over TTarnexCursor for tests of the table object: it attaches to a table
// object, copies its definitions, owns its record buffers and answers the few virtual operations
// the table object calls back (record buffer set-up, BLOB streams, navigation). Every other
// operation raises, so a test that reaches one fails loudly.
#pragma once

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/access/TarnexCompression.h"
#include "engine/storage/TarnexBaseEngine.h"
#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexBaseSession.h"

class TTestCursor : public TTarnexCursor {
public:
  TTestCursor() = default;
  explicit TTestCursor(const std::string& tableName, int32_t allocBy = 1000) {
    TableName = tableName;
    AllocBy = allocBy;
  }
  ~TTestCursor() override { Detach(); }

  // Copies the table's definitions and sizes, allocates the record buffers; registers with the
  // table unless `registered` is false.
  void Attach(TTarnexTableData* table, bool registered = true) {
    Detach();
    Table = table;
    Registered = registered;
    Refresh();
    if (registered) table->AddCursor(this);
    BlobStreams = std::make_unique<TTarnexBlobStreamList>();
    Opened = true;
    SetBOF();
  }
  // Re-copies the table's definitions (after an index or field change) and reallocates buffers.
  void Refresh() {
    FieldDefs = std::make_unique<TTarnexFieldDefs>();
    FieldDefs->Assign(Table->FieldDefs());
    FieldDefs->RecalcLayout();
    VisibleFieldDefs = std::make_unique<TTarnexFieldDefs>();
    VisibleFieldDefs->Assign(Table->FieldDefs());
    for (int32_t i = 0; i < VisibleFieldDefs->Count(); ++i) VisibleFieldDefs->Items(i)->FieldNo = i;
    IndexDefs = std::make_unique<TTarnexIndexDefs>();
    IndexDefs->Assign(Table->IndexDefs());
    ConstraintDefs = std::make_unique<TTarnexConstraintDefs>();
    ConstraintDefs->Assign(Table->ConstraintDefs());
    SetIndexName(IndexName);
    FreeBuffers();
    Table->GetRecordSizes(this);
    RecordBuffer = AllocRecordBuffer();
    OldRecordBuffer = AllocRecordBuffer();
    InitRecordBuffer(RecordBuffer, false);
    InitRecordBuffer(OldRecordBuffer, false);
  }
  void Detach() {
    if (BlobStreams != nullptr) BlobStreams->clear();
    if (Table != nullptr && Registered) Table->RemoveCursor(this, true);
    Table = nullptr;
    Opened = false;
    FreeBuffers();
  }

  // --- the operations the table object and these tests use ---

  void InitRecordBuffer(uint8_t* buffer, bool applyDefaults) override {
    const int32_t n = FieldDefs->Count();
    for (int32_t i = 0; i < n; ++i) SetNullFlag(buffer, i, true);
    if (applyDefaults) Table->ApplyDefaults(this, buffer, true);
  }
  TNavigationResult GetRecord(TNavigationDirection mode) override { return Table->Navigate(this, mode); }
  TTarnexLocalBLOBStream* OpenBlob(bool newValue, int32_t fieldNo, uint8_t mode) override {
    BlobStreams->push_back(Table->OpenBlobStream(this, newValue, mode, fieldNo));
    return BlobStreams->back().get();
  }
  void CloseBlob(int32_t fieldNo) override {
    for (size_t i = 0; i < BlobStreams->size();) {
      TTarnexLocalBLOBStream& stream = *(*BlobStreams)[i];
      if (stream.FieldNo() != fieldNo) {
        ++i;
        continue;
      }
      if (stream.Mode() != 1) Table->WriteBlob(this, fieldNo, stream);
      BlobStreams->erase(BlobStreams->begin() + static_cast<long>(i));
    }
  }
  void FreeBlobStreams(bool onlyWritable) override {
    for (size_t i = 0; i < BlobStreams->size();) {
      if (!onlyWritable || (*BlobStreams)[i]->Mode() != 1) BlobStreams->erase(BlobStreams->begin() + static_cast<long>(i));
      else ++i;
    }
  }

  // --- not used by the table object: reaching one is a test failure ---

  void CreateTable(TTarnexFieldDefs*, TTarnexIndexDefs*, TTarnexConstraintDefs*) override { Unused(); }
  void DeleteTable(bool) override { Unused(); }
  void EmptyTable() override { Unused(); }
  void RenameTable(const std::string&) override { Unused(); }
  void RenameField(const std::string&, const std::string&) override { Unused(); }
  bool RepairTable(std::string&, TTarnexBaseSession*) override { Unused(); }
  void DropConstraint(const std::string&, bool, bool) override { Unused(); }
  void LoadTableFromStream(TTarnexStream&) override { Unused(); }
  void SaveTableToStream(TTarnexStream&, int32_t) override { Unused(); }
  std::string GetSQLScript(const TTarnexSQLScriptOptions&) override { Unused(); }
  void RefreshFieldDefs() override { Unused(); }
  void OpenTable(TTarnexFieldDefs*, TTarnexIndexDefs*, TTarnexConstraintDefs*) override { Unused(); }
  void RefreshIndexDefs() override { Unused(); }
  void CloseTable() override { Unused(); }
  TTarnexIndexDefs* GetIndexDefs() override { Unused(); }
  void AddIndex(const TTarnexIndexDef&) override { Unused(); }
  void DeleteIndex(const std::string&) override { Unused(); }
  void DeleteAllIndexes() override { Unused(); }
  void FindIndexByFields(TTarnexBaseSession*, const std::vector<std::string>&, const std::vector<std::string>&,
                         const std::vector<std::string>&, std::string&) override { Unused(); }
  void UnnamedOperation21() override { Unused(); }
  bool RecordExists() override { Unused(); }
  int64_t GetRecordCount() override { Unused(); }
  void SetRecNo(int64_t) override { Unused(); }
  int64_t GetRecNo() override { Unused(); }
  void UnnamedOperation27() override { Unused(); }
  void BeginEdit() override { Unused(); }
  void CancelEdit(bool) override { Unused(); }
  void PostRecord(bool) override { Unused(); }
  void DeleteRecord() override { Unused(); }
  void DeleteAllRecords() override { Unused(); }
  void UpdateAllRecords(const std::vector<std::string>&, const std::vector<const TTarnexVariant*>&) override { Unused(); }
  void InvalidateRecordSet() override { Unused(); }
  void UnnamedOperation35() override { Unused(); }
  void SetProjection(const std::vector<std::string>&, const std::vector<std::string>&) override { Unused(); }
  void SetFilter(const std::string&, bool, bool) override { Unused(); }
  void ClearFilter() override { Unused(); }
  bool Locate(const std::vector<std::string>&, const std::vector<const TTarnexVariant*>&, bool, bool) override { Unused(); }
  bool FindKey(TTarnexScanRelation) override { Unused(); }
  void CancelRange() override { Unused(); }
  void SetRange(uint8_t*, uint8_t*, bool, bool, int32_t, int32_t) override { Unused(); }
  void SetSQLFilter(TTarnexExpression*) override { Unused(); }
  int64_t GetLastAutoinc(int32_t) override { Unused(); }
  void SetLastAutoinc(int32_t, int64_t) override { Unused(); }
  void IncUsage() override { Unused(); }
  void DecUsage() override { Unused(); }
  void LockShared(int32_t) override { Unused(); }
  void UnlockShared(int32_t) override { Unused(); }
  void LockIRW(int32_t) override { Unused(); }
  void UnlockIRW(int32_t) override { Unused(); }
  void LockRW(int32_t) override { Unused(); }
  void UnlockRW(int32_t) override { Unused(); }
  bool TryLockShared() override { Unused(); }
  bool TryUnlockShared() override { Unused(); }
  bool TryLockIRW() override { Unused(); }
  bool TryUnlockIRW() override { Unused(); }
  bool TryLockRW() override { Unused(); }
  bool TryUnlockRW() override { Unused(); }

  TTarnexTableData* Table = nullptr;  // not owned
  bool Registered = false;

private:
  [[noreturn]] static void Unused() { throw std::logic_error("test cursor: operation not provided"); }
  void FreeBuffers() {
    if (RecordBuffer != nullptr) FreeRecordBuffer(RecordBuffer);
    if (OldRecordBuffer != nullptr) FreeRecordBuffer(OldRecordBuffer);
  }
};

// A session that only carries its ID and named values.
class TTestSession : public TTarnexBaseSession {
public:
  bool GetConnected() override { return Connected; }
  void SetConnected(bool connect) override { Connected = connect; }
  int32_t FileDatabaseOperation1() override { return 0; }
  double FileDatabaseOperation2() override { return 0; }
  int32_t FileDatabaseOperation3() override { return 0; }
  int32_t FileDatabaseOperation4() override { return 0; }
  bool FileDatabaseOperation5() override { return false; }
  bool FileDatabaseOperation6() override { return true; }
  bool FileDatabaseOperation7() override { return true; }
  bool DatabaseFileExists() override { return false; }
  void GetTableNames(std::vector<std::string>&) override {}
  bool TableExists(const std::string&) override { return false; }
  void FileDatabaseOperation8(const std::string&, const std::string&) override {}
  void FileDatabaseOperation9() override {}
  bool FileDatabaseOperation10() override { return false; }
  bool InTransaction() override { return false; }
  void StartTransaction() override {}
  void Commit(bool) override {}
  void Rollback() override {}

  bool Connected = false;
};
