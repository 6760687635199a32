// Expressions bound to an engine cursor: its fields, display names and record buffer.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/access/TarnexCompression.h"
#include "engine/sql/TarnexExpressions.h"
#include "engine/storage/TarnexBaseCursor.h"
#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexExcept.h"

namespace {

// A cursor over one record buffer: only the state expressions read; every operation raises.
class TRecordCursor : public TTarnexCursor {
public:
  [[noreturn]] static void Unused() { throw std::logic_error("not used by expressions"); }
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
  void InitRecordBuffer(uint8_t*, bool) override { Unused(); }
  TTarnexIndexDefs* GetIndexDefs() override { Unused(); }
  void AddIndex(const TTarnexIndexDef&) override { Unused(); }
  void DeleteIndex(const std::string&) override { Unused(); }
  void DeleteAllIndexes() override { Unused(); }
  void FindIndexByFields(TTarnexBaseSession*, const std::vector<std::string>&, const std::vector<std::string>&, const std::vector<std::string>&, std::string&) override { Unused(); }
  void UnnamedOperation21() override { Unused(); }
  bool RecordExists() override { Unused(); }
  int64_t GetRecordCount() override { Unused(); }
  TNavigationResult GetRecord(TNavigationDirection) override { Unused(); }
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
  TTarnexLocalBLOBStream* OpenBlob(bool, int32_t, uint8_t) override {
    BlobBufferSeen = RecordBuffer;
    throw ETarnexException(1, "no BLOB storage");
  }
  void CloseBlob(int32_t) override {}
  void FreeBlobStreams(bool) override { Unused(); }
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

  const uint8_t* BlobBufferSeen = nullptr;  // RecordBuffer when OpenBlob was called
};

template <class F> std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const ETarnexException& e) {
    return e.what();
  }
  return "ok";
}

class ExpressionsOnCursor : public ::testing::Test {
protected:
  void SetUp() override {
    Cursor.FieldDefs = std::make_unique<TTarnexFieldDefs>();
    for (auto [name, type, size] : {std::tuple{"num", TTarnexFieldType::Integer, 0},
                                    std::tuple{"common", TTarnexFieldType::Varchar, 20},
                                    std::tuple{"notes", TTarnexFieldType::Memo, 0}}) {
      auto* field = static_cast<TTarnexFieldDef*>(Cursor.FieldDefs->AddNew());
      field->Name = name;
      field->SetFieldType(type, size);
    }
    Cursor.FieldDefs->RecalcLayout();
    Cursor.VisibleFieldDefs = std::make_unique<TTarnexFieldDefs>();
    Cursor.VisibleFieldDefs->Assign(*Cursor.FieldDefs);
    for (int32_t i = 0; i < 3; ++i) Cursor.VisibleFieldDefs->Items(i)->FieldNo = i;
    for (auto& record : Records) {
      record.assign(static_cast<size_t>(Cursor.FieldDefs->RecordSize()), 0);
      for (int32_t i = 0; i < 3; ++i) SetNullFlag(record.data(), i, true);
    }
    int32_t five = 5, six = 6;
    SetFieldData(0, *Cursor.FieldDefs, &five, Records[0].data());
    SetFieldData(1, *Cursor.FieldDefs, "psocid", Records[0].data());
    SetFieldData(0, *Cursor.FieldDefs, &six, Records[1].data());
    SetNullFlag(Records[1].data(), 2, false);  // a memo, read through the cursor's BLOB stream
    Cursor.RecordBuffer = Records[0].data();
  }

  TRecordCursor Cursor;
  std::vector<uint8_t> Records[2];
};

}  // namespace

TEST_F(ExpressionsOnCursor, FiltersLocatesAndDisplayNames) {
  TTarnexExpression filter;
  filter.ParseFilter(&Cursor, "(num >= 5) and (common = 'PS*')", true, true);
  EXPECT_EQ(filter.BoundCursor(), &Cursor);
  EXPECT_TRUE(filter.IsTrue());
  Cursor.RecordBuffer = Records[1].data();
  EXPECT_FALSE(filter.IsTrue());  // the cursor's current record is read at every evaluation

  // With a projection, display names of VisibleFieldDefs reach their fields.
  Cursor.VisibleFieldDefs->Clear();
  auto* shown = static_cast<TTarnexFieldDef*>(Cursor.VisibleFieldDefs->AddNew());
  shown->Name = "Count";
  shown->FieldNo = 0;
  TTarnexExpression projected;
  projected.ParseFilter(&Cursor, "[count] = 6", false, false);
  EXPECT_TRUE(projected.IsTrue());

  TTarnexExpression locate;
  locate.BuildLocateCondition(&Cursor, "COMMON", {Variant::FromString("ps")}, true, true);
  Cursor.RecordBuffer = Records[0].data();
  EXPECT_TRUE(locate.IsTrue());

  TTarnexExpression unbound;
  EXPECT_EQ(MessageOf([&] { unbound.ParseFilter(static_cast<TTarnexCursor*>(nullptr), "num = 1", false, false); }),
            "Value is Null - Native error: 30202");
  EXPECT_TRUE(unbound.IsEmpty());
  EXPECT_EQ(MessageOf([&] { unbound.ParseFilter(&Cursor, "nosuch = 1", false, false); }),
            "Field 'nosuch' not found - Native error: 30115");
  EXPECT_TRUE(unbound.IsEmpty());  // nothing of a failed binding is kept
}

TEST_F(ExpressionsOnCursor, BlobOfAnotherBufferIsReadInItsPlace) {
  TTarnexExpression filter;
  filter.ParseFilter(&Cursor, "notes like '%x%'", false, false);
  filter.SetRecordBuffer(Records[1].data());
  EXPECT_EQ(MessageOf([&] { filter.IsTrue(); }), "no BLOB storage - Native error: 00001");
  EXPECT_EQ(Cursor.BlobBufferSeen, Records[1].data());  // the cursor read the work buffer's BLOB
  EXPECT_EQ(Cursor.RecordBuffer, Records[0].data());    // and has its own buffer back
  filter.SetRecordBuffer(Records[0].data());
  EXPECT_EQ(filter.GetValue(true).IsNull(), true);  // a null memo: LIKE is unknown
}
