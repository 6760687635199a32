// RepairTable of the local cursor for tables that are neither in-memory nor temporary: every
// readable record is copied into a new table, which then takes the old table's place.
#include <map>
#include <string>

#include "engine/access/TarnexLocalEngine.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexBaseSession.h"
#include "engine/storage/TarnexExcept.h"

namespace {

const char* const LineBreak = "\r\n";

}  // namespace

bool TTarnexLocalCursor::RepairOtherTable(std::string& errorLog, TTarnexBaseSession* session) {
  if (!Exclusive) throw ETarnexException(11165, "Error - table '%s' is not opened in exclusive mode", {TableName});
  if (session == nullptr) session = Session;
  const std::string name = TableName;
  TTarnexFieldDefs fields;
  TTarnexIndexDefs indexes;
  TTarnexConstraintDefs constraints;
  try {
    CloseTable();
    OpenTable(nullptr, nullptr, nullptr);
    RefreshFieldDefs();
    fields.Assign(*FieldDefs);
    indexes.Assign(*IndexDefs);
    constraints.Assign(*ConstraintDefs);
  } catch (...) {
    CloseTable();
    return false;
  }

  std::string newName;
  do {
    newName = MakeUniqueName(name + "_REPAIRED_");
  } while (session != nullptr && session->TableExists(newName));

  TTarnexLocalCursor target(Session);
  target.TableName = newName;
  target.InMemory = InMemory;
  target.Temporary = Temporary;
  target.Exclusive = true;
  target.AllocBy = AllocBy;
  try {
    target.CreateTable(&fields, &indexes, &constraints);
    target.OpenTable(nullptr, nullptr, nullptr);
  } catch (...) {
    errorLog += "Error - repair table failed. Cannot create new table: " + newName + LineBreak;
    CloseTable();
    return false;
  }

  std::map<int32_t, int64_t> largestAutoinc;  // field number -> largest value met
  auto copyRecord = [&]() {
    target.InitRecordBuffer(target.RecordBuffer, false);
    for (int32_t i = 0; i < FieldDefs->Count(); ++i) {
      const TTarnexFieldDef& field = *FieldDefs->Items(i);
      TTarnexVariant value(field.DataType);
      try {
        GetFieldValue(value, i, false, true);
      } catch (...) {
        if (!IsBLOBDataType(field.DataType)) throw;
        value.Clear(field.DataType);  // an unreadable large object becomes empty
      }
      target.SetFieldValue(value, i, nullptr, true);
      if (IsAutoIncFieldType(field.FieldType) && !field.AutoincCycled && !value.IsNull()) {
        const int64_t n = value.AsLargeInt();
        auto it = largestAutoinc.find(i);
        if (it == largestAutoinc.end() || n > it->second) largestAutoinc[i] = n;
      }
    }
    target.PostRecord(true);
    if (target.Status != 0)
      errorLog += "Error during table repairing. Cannot insert recird, table:" + name + LineBreak + target.StatusText +
                  LineBreak;
  };

  bool forwardFailed = false;
  bool copiedAny = false;
  TTarnexRecordID stoppedAt;
  SetBOF();
  while (true) {
    TNavigationResult result;
    try {
      result = GetRecord(TNavigationDirection::Next);
      if (result == TNavigationResult::NoRecord)
        throw ETarnexException(11167, "Error during table repairing. Cannot get record, PageNo = %d, PageItemNo = %d, "
                                      "talbeName = " + name,
                               {RecordID.PageNo, static_cast<int>(RecordID.PageItemNo)});
    } catch (const std::exception& e) {
      errorLog += "Error during table repairing. Cannot get records from first, table: " + name + LineBreak + e.what() +
                  LineBreak;
      forwardFailed = true;
      break;
    }
    if (result != TNavigationResult::Found) break;
    copyRecord();
    copiedAny = true;
    stoppedAt = RecordID;
  }
  if (forwardFailed) {
    SetEOF();
    while (true) {
      const TNavigationResult result = GetRecord(TNavigationDirection::Prior);
      if (result == TNavigationResult::NoRecord)
        throw ETarnexException(11168, "Error during table repairing. Cannot get record, PageNo = %d, PageItemNo = %d, "
                                      "talbeName = " + name,
                               {RecordID.PageNo, static_cast<int>(RecordID.PageItemNo)});
      if (result != TNavigationResult::Found || (copiedAny && RecordID == stoppedAt)) break;
      copyRecord();
    }
  }
  for (const auto& [fieldNo, value] : largestAutoinc) target.SetLastAutoinc(fieldNo, value);

  target.CloseTable();
  CloseTable();
  DeleteTable(false);
  target.RenameTable(name);
  return true;
}
