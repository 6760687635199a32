// Shared helpers of the table-object tests: definition lists from short specifications, record
// writing and reading through a test cursor, and walking a table in an index's order.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexTestCursor.h"

namespace tabletest {

using FT = TTarnexFieldType;
using DT = TTarnexDataType;

struct TField {
  std::string Name;
  FT Type;
  int32_t Size = 0;
};

struct TIndex {
  std::string Name;
  std::vector<std::string> Columns;
  bool CaseInsensitive = false;
  bool Unique = false;
  bool Primary = false;
  bool Descending = false;
  bool Temporary = false;
};

inline std::unique_ptr<TTarnexFieldDefs> MakeFields(const std::vector<TField>& shapes) {
  auto defs = std::make_unique<TTarnexFieldDefs>();
  for (const TField& shape : shapes) {
    auto* field = static_cast<TTarnexFieldDef*>(defs->AddNew());
    field->Name = shape.Name;
    field->SetFieldType(shape.Type, shape.Size);
  }
  return defs;
}

inline void AddIndexDef(TTarnexIndexDefs& defs, const TIndex& shape) {
  auto* index = static_cast<TTarnexIndexDef*>(defs.AddNew());
  index->Name = shape.Name;
  for (const std::string& column : shape.Columns) index->Columns.push_back({column, shape.Descending, shape.CaseInsensitive});
  index->Unique = shape.Unique;
  index->Primary = shape.Primary;
  index->Temporary = shape.Temporary;
}

inline std::unique_ptr<TTarnexIndexDefs> MakeIndexes(const std::vector<TIndex>& shapes) {
  auto defs = std::make_unique<TTarnexIndexDefs>();
  for (const TIndex& shape : shapes) AddIndexDef(*defs, shape);
  return defs;
}

// Runs body and expects an engine error with exactly this code and message text (the part
// before " - Native error: ").
inline void ExpectEngineError(const std::function<void()>& body, int32_t code, const std::string& text) {
  try {
    body();
    ADD_FAILURE() << "no exception, expected " << code << " " << text;
  } catch (const ETarnexException& e) {
    EXPECT_EQ(e.NativeErrorCode(), code) << e.what();
    const std::string message = e.what();
    EXPECT_EQ(message.substr(0, message.find(" - Native error: ")), text);
  }
}

// Field values of the cursor's record buffer (numbers count FieldDefs).
inline void PutText(TTestCursor& c, int32_t field, const std::string& text) {
  TTarnexVariant v(DT::Varchar);
  v.SetAsString(text);
  c.SetFieldValue(v, field, nullptr, true);
}
inline void PutInt(TTestCursor& c, int32_t field, int32_t value) {
  TTarnexVariant v(DT::Integer);
  v.SetAsInteger(value);
  c.SetFieldValue(v, field, nullptr, true);
}
inline void PutNull(TTestCursor& c, int32_t field) {
  TTarnexVariant v(DT::Integer);
  c.SetFieldValue(v, field, nullptr, true);
}
inline std::string Text(TTestCursor& c, int32_t field) {
  TTarnexVariant v;
  c.GetFieldValue(v, field, false, true);
  return v.IsNull() ? "<null>" : v.AsString();
}
inline int32_t Int(TTestCursor& c, int32_t field) {
  TTarnexVariant v;
  c.GetFieldValue(v, field, false, true);
  return v.IsNull() ? -999 : v.AsInteger();
}

// The values of one field over the whole table in the order of index indexName ("" = table
// order), read with a fresh cursor that is not registered with the table.
inline std::vector<std::string> Walk(TTarnexTableData* table, const std::string& indexName, int32_t field,
                                     bool backwards = false) {
  TTestCursor walker(table->TableName());
  walker.IndexName = indexName;
  walker.Attach(table, false);
  std::vector<std::string> values;
  if (backwards) walker.SetEOF();
  const TNavigationDirection step = backwards ? TNavigationDirection::Prior : TNavigationDirection::Next;
  while (table->Navigate(&walker, step) == TNavigationResult::Found) values.push_back(Text(walker, field));
  return values;
}

}  // namespace tabletest
