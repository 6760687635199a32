// GetSQLScript of the local cursor: the SQL statements that rebuild a table (drop, create with
// fields, primary key and foreign keys, the other indexes, and one INSERT per record).
#include <cstring>
#include <string>

#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexDateFormat.h"
#include "engine/access/TarnexLocalEngine.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

namespace {

const char* const LineBreak = "\r\n";

class TScriptWriter {
public:
  TScriptWriter(const TTarnexLocalCursor& cursor, const TTarnexSQLScriptOptions& options)
      : Cursor_(cursor), Options_(options) {}

  std::string Name(const std::string& name) const { return Options_.BracketNames ? "[" + name + "]" : name; }
  std::string TableName() const { return Name(Cursor_.TableName); }

  static std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
      out += c;
      if (c == '\'') out += '\'';
    }
    return out + "'";
  }

  // The value as SQL text: NULL, a quoted text, TOBLOB for large objects and bytes, else its
  // text. Dates and times are quoted so that the statement reads them back as text (unquoted,
  // "1/2/2020" would be a division).
  static std::string ValueText(const TTarnexVariant& value) {
    if (value.IsNull()) return "NULL";
    const TTarnexDataType type = value.DataType();
    switch (type) {
      case TTarnexDataType::BLOB:
      case TTarnexDataType::Memo:
      case TTarnexDataType::WideMemo:
      case TTarnexDataType::Bytes:
      case TTarnexDataType::VarBytes: {
        int32_t length = value.Size();
        if (type == TTarnexDataType::WideMemo) length -= 2;
        if (type == TTarnexDataType::BLOB || type == TTarnexDataType::Memo) length -= 1;
        if (length < 0) length = 0;
        return "TOBLOB('" + EncodeBase64(value.Data(), length) + "', MIME64)";
      }
      case TTarnexDataType::Char:
      case TTarnexDataType::Varchar:
      case TTarnexDataType::WideChar:
      case TTarnexDataType::WideVarchar:
      case TTarnexDataType::Date:
      case TTarnexDataType::DateTime:
        return Quoted(value.AsString());
      case TTarnexDataType::Time:
        // Through the time of day itself: the value conversion gives no text for midnight.
        return Quoted(TimeToStr(value.AsTime()));
      default:
        return value.AsString();
    }
  }

  static std::string ColumnList(const TTarnexIndexDef& index, const std::string& separator,
                                const TScriptWriter& writer) {
    std::string out;
    for (size_t i = 0; i < index.Columns.size(); ++i) {
      const TTarnexIndexColumn& column = index.Columns[i];
      if (i > 0) out += separator;
      out += writer.Name(column.FieldName);
      if (column.Descending) out += " DESC";
      if (column.CaseInsensitive) out += " NOCASE";
    }
    return out;
  }

  static const char* ActionText(TTarnexReferentialAction action) {
    switch (action) {
      case TTarnexReferentialAction::Cascade: return "CASCADE";
      case TTarnexReferentialAction::SetNull: return "SET NULL";
      case TTarnexReferentialAction::SetDefault: return "SET DEFAULT";
      default: return "NO ACTION";
    }
  }

  // The constraint of `type` whose target is `field`, or nil.
  const TTarnexConstraintDef* FieldConstraint(const TTarnexFieldDef& field, TTarnexConstraintType type) const {
    if (Cursor_.ConstraintDefs == nullptr) return nullptr;
    for (int32_t i = 0; i < Cursor_.ConstraintDefs->Count(); ++i) {
      const TTarnexConstraintDef* constraint = Cursor_.ConstraintDefs->Items(i);
      if (constraint->ConstraintType != type) continue;
      const TTarnexNamedReference* target = nullptr;
      if (type == TTarnexConstraintType::NotNull)
        target = &static_cast<const TTarnexConstraintDefNotNull*>(constraint)->Target;
      else if (type == TTarnexConstraintType::Check)
        target = &static_cast<const TTarnexConstraintDefCheck*>(constraint)->Target;
      if (target == nullptr) continue;
      if ((target->ObjectID != InvalidObjectID && target->ObjectID == field.ObjectID) ||
          AnsiUpperCase(target->Name) == AnsiUpperCase(field.Name))
        return constraint;
    }
    return nullptr;
  }

  std::string FieldLine(const TTarnexFieldDef& field) const {
    TTarnexFieldType fieldType = field.FieldType;
    if (fieldType == TTarnexFieldType::Unknown) fieldType = DataTypeToFieldType(field.DataType);
    std::string line = "\t" + Name(field.Name) + " " + FieldTypeName(fieldType);
    switch (fieldType) {
      case TTarnexFieldType::Char:
      case TTarnexFieldType::Varchar:
      case TTarnexFieldType::WideChar:
      case TTarnexFieldType::WideVarchar:
      case TTarnexFieldType::Bytes:
      case TTarnexFieldType::VarBytes:
        line += "(" + IntToStr(field.Size) + ")";
        break;
      default:
        break;
    }
    if (IsAutoIncFieldType(fieldType)) {
      line += " (INITIALVALUE " + IntToStr(field.AutoincInitialValue) + " INCREMENT " +
              IntToStr(field.AutoincIncrement);
      line += field.AutoincMinValue == 0 ? " NOMINVALUE" : " MINVALUE " + IntToStr(field.AutoincMinValue);
      line += field.AutoincMaxValue == INT64_MAX ? " NOMAXVALUE" : " MAXVALUE " + IntToStr(field.AutoincMaxValue);
      line += field.AutoincCycled ? " CYCLED)" : " NOCYCLED)";
      return line;
    }
    if (IsBLOBFieldType(fieldType)) {
      const int32_t blockSize = Options_.BlobBlockSize > 0 ? Options_.BlobBlockSize : field.BlobBlockSize;
      std::string algorithm =
          AlgorithmName(static_cast<TTarnexCompressionAlgorithm>(field.BlobCompressionAlgorithm));
      if (algorithm.empty()) algorithm = "NONE";
      line += " BLOBBLOCKSIZE " + IntToStr(blockSize) + " BLOBCOMPRESSIONALGORITHM " + algorithm +
              " BLOBCOMPRESSIONMODE " + IntToStr(static_cast<int>(field.BlobCompressionMode));
    }
    if (field.DefaultValue != nullptr && !field.DefaultValue->IsNull()) {
      const TTarnexVariant& value = *field.DefaultValue;
      // Large-object defaults are text too; they are written quoted like the other texts.
      if (value.IsText())
        line += " DEFAULT " + Quoted(value.AsString());
      else
        line += " DEFAULT " + ValueText(value);
    }
    if (FieldConstraint(field, TTarnexConstraintType::NotNull) != nullptr) line += " NOT NULL";
    if (const auto* check =
            static_cast<const TTarnexConstraintDefCheck*>(FieldConstraint(field, TTarnexConstraintType::Check))) {
      if (check->MinValue != nullptr && !check->MinValue->IsNull()) line += " MINVALUE " + ValueText(*check->MinValue);
      if (check->MaxValue != nullptr && !check->MaxValue->IsNull()) line += " MAXVALUE " + ValueText(*check->MaxValue);
    }
    return line;
  }

  std::string CreateTable() const {
    std::string out = "CREATE TABLE ";
    if (Cursor_.InMemory) out += "MEMORY ";
    out += TableName() + " (" + LineBreak;
    std::vector<std::string> lines;
    const TTarnexFieldDefs& fields = *Cursor_.FieldDefs;
    for (int32_t i = 0; i < fields.Count(); ++i) lines.push_back(FieldLine(*fields.Items(i)));
    if (Cursor_.IndexDefs != nullptr)
      if (const TTarnexIndexDef* primary = Cursor_.IndexDefs->GetPrimaryIndex())
        lines.push_back("\tCONSTRAINT " + Name(primary->Name) + " PRIMARY KEY (" + ColumnList(*primary, ", ", *this) +
                        ")");
    if (Cursor_.ConstraintDefs != nullptr)
      for (int32_t i = 0; i < Cursor_.ConstraintDefs->Count(); ++i) {
        const TTarnexConstraintDef* constraint = Cursor_.ConstraintDefs->Items(i);
        if (constraint->ConstraintType != TTarnexConstraintType::ForeignKey) continue;
        const auto& key = *static_cast<const TTarnexConstraintDefForeignKey*>(constraint);
        std::string line = "\tCONSTRAINT " + Name(key.Name) + " FOREIGN KEY (";
        for (size_t c = 0; c < key.Columns.size(); ++c) {
          if (c > 0) line += ", ";
          line += Name(key.Columns[c].Name);
        }
        line += ") REFERENCES " + Name(key.Table.Name);
        if (key.MatchType == TTarnexMatchType::Full) line += " MATCH FULL";
        if (key.MatchType == TTarnexMatchType::Partial) line += " MATCH PARTIAL";
        line += std::string(" ON DELETE ") + ActionText(key.DeleteAction) + " ON UPDATE " + ActionText(key.UpdateAction);
        lines.push_back(line);
      }
    for (size_t i = 0; i < lines.size(); ++i) {
      out += lines[i];
      if (i + 1 < lines.size()) out += ",";
      out += LineBreak;
    }
    return out + ");" + LineBreak;
  }

  std::string Indexes() const {
    std::string out;
    if (Cursor_.IndexDefs == nullptr) return out;
    for (int32_t i = 0; i < Cursor_.IndexDefs->Count(); ++i) {
      const TTarnexIndexDef& index = *Cursor_.IndexDefs->Items(i);
      if (index.Primary) continue;
      if (Options_.WithDropIndex) out += "DROP INDEX " + TableName() + "." + Name(index.Name) + ";" + LineBreak;
      out += "CREATE ";
      if (index.Unique) out += "UNIQUE ";
      out += "INDEX " + Name(index.Name) + " ON " + TableName() + " (" + LineBreak + "\t" +
             ColumnList(index, std::string(",") + LineBreak + "\t", *this) + LineBreak + ");" + LineBreak;
    }
    return out;
  }

  // One INSERT for the record in the cursor's buffer.
  std::string Insert(TTarnexLocalCursor& cursor) const {
    const TTarnexFieldDefs& fields = *cursor.FieldDefs;
    std::string names;
    std::string values;
    TTarnexVariant value;
    for (int32_t i = 0; i < fields.Count(); ++i) {
      if (i > 0) {
        names += ", ";
        values += std::string(",") + LineBreak;
      }
      names += Name(fields.Items(i)->Name);
      cursor.GetFieldValue(value, i, false, true);
      values += "\t" + ValueText(value);
    }
    return "INSERT INTO " + TableName() + " (" + names + ") VALUES (" + LineBreak + values + LineBreak + ");" +
           LineBreak;
  }

private:
  const TTarnexLocalCursor& Cursor_;
  const TTarnexSQLScriptOptions& Options_;
};

}  // namespace

std::string TTarnexLocalCursor::GetSQLScript(const TTarnexSQLScriptOptions& options) {
  if (!Opened || FieldDefs == nullptr) throw ETarnexException(11396, "Nil pointer occured");
  TScriptWriter writer(*this, options);
  std::string script;
  if (options.WithDrop) script += "DROP TABLE " + writer.TableName() + " CASCADE;" + LineBreak;
  if (options.WithCreate) script += writer.CreateTable();
  if (options.WithIndexes) script += writer.Indexes();
  if (options.WithData) {
    SaveCursorPosition();
    struct TRestore {
      TTarnexLocalCursor& Cursor;
      ~TRestore() { Cursor.RestoreCursorPosition(); }
    } restore{*this};
    SetBOF();
    while (GetRecord(TNavigationDirection::Next) == TNavigationResult::Found) script += writer.Insert(*this);
  }
  return script;
}
