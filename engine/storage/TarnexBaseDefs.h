// Schema definitions of a table: the field, index, constraint and sequence definition classes,
// the lists that own them, and the record layout the field list fixes (null flags, then the
// fields packed in order). Tables, cursors and the DDL statements build and copy these lists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/TarnexTypesRoutines.h"
#include "engine/storage/TarnexConst.h"

class TTarnexStream;   // engine stream (TarnexCompression.h); the stream forms read and write it
class TTarnexVariant;  // engine value holder (TarnexVariant.h); defaults and check bounds

// Longest name a definition keeps (a short string); Assign and the stream form cut longer ones.
constexpr int32_t TarnexMaxNameLength = 255;

// Engine-wide initial BlobBlockSize of new field definitions (102400 until changed).
int32_t& DefaultFieldBlobBlockSize();

// ---------------------------------------------------------------------------------------------
// Definitions
// ---------------------------------------------------------------------------------------------

// Base of every definition: a name compared without regard to case, and the ObjectID the
// database hands out when the definition is attached to a table (-1 until then).
class TTarnexMetaObjectDef {
public:
  TTarnexMetaObjectDef() = default;
  virtual ~TTarnexMetaObjectDef();
  TTarnexMetaObjectDef(const TTarnexMetaObjectDef&) = delete;
  TTarnexMetaObjectDef& operator=(const TTarnexMetaObjectDef&) = delete;

  // Copies every field of `source`. Fields of classes `source` does not share with this
  // definition are left as they are (a field definition assigned from an index definition
  // takes only Name and ObjectID).
  virtual void Assign(const TTarnexMetaObjectDef& source);
  // Binary stream form: reads what SaveToStream wrote. Short reads raise 10500.
  virtual void LoadFromStream(TTarnexStream& stream);
  // Writes Name (1-byte length, at most 255 bytes) and ObjectID (int32); the subclasses append
  // their fields. Short writes raise 10501.
  virtual void SaveToStream(TTarnexStream& stream) const;

  std::string Name;                       // the object's name (at most 255 characters)
  TTarnexObjectID ObjectID = InvalidObjectID;  // handed out by the database; -1 until attached
};

// One column of a table.
class TTarnexFieldDef : public TTarnexMetaObjectDef {
public:
  TTarnexFieldDef();  // DefaultValue: a null value of data type 0
  ~TTarnexFieldDef() override;

  void Assign(const TTarnexMetaObjectDef& source) override;  // DefaultValue copied, owned
  void LoadFromStream(TTarnexStream& stream) override;
  void SaveToStream(TTarnexStream& stream) const override;

  // Stores fieldType, takes DataType from the SQL type-name table, stores size and recomputes
  // MemoryDataSize (DataTypeSize(DataType, size)). A column type without a row raises 30007
  // "Unsuported data type '%s'" (the type's name, or "Unknown") and changes nothing.
  void SetFieldType(TTarnexFieldType fieldType, int32_t size);

  TTarnexDataType DataType = TTarnexDataType::Unknown;     // storage type, 1..24
  TTarnexFieldType FieldType = TTarnexFieldType::Unknown;  // declared column type, 1..35
  int32_t Size = 0;            // characters for text, bytes for Bytes/VarBytes, else ignored
  int32_t MemoryDataSize = 0;  // bytes the field occupies in a record buffer
  int32_t MemoryOffset = 0;    // offset of the field in a record buffer (set by RecalcLayout)
  TTarnexObjectID SequenceID = InvalidObjectID;  // sequence feeding an autoincrement field
  std::unique_ptr<TTarnexVariant> DefaultValue;  // owned, never nil; null = no default
  uint8_t BlobCompressionAlgorithm = 0;  // compression of a BLOB field's data
  uint8_t BlobCompressionMode = 0;       // compression level of a BLOB field
  int32_t BlobBlockSize;                 // block size of the compressed stream (DefaultFieldBlobBlockSize())
  int64_t AutoincIncrement = 1;          // step of the field's sequence
  int64_t AutoincInitialValue = 0;       // starting value of the sequence
  int64_t AutoincMinValue = 0;           // value the sequence restarts from when it cycles
  int64_t AutoincMaxValue = INT64_MAX;   // highest value the sequence may give
  bool AutoincCycled = false;            // restart at AutoincMinValue after passing the maximum
  // In a cursor's list of visible fields: the number of this field in the cursor's full field
  // list (-1 when not numbered). Copied by Assign and kept by the stream form.
  int32_t FieldNo = -1;
};

// One key column of an index.
struct TTarnexIndexColumn {
  std::string FieldName;         // the indexed field's name
  bool Descending = false;       // the column sorts high to low
  bool CaseInsensitive = false;  // text compares ignoring case
};

// One index of a table: its key columns in key order and its kind.
class TTarnexIndexDef : public TTarnexMetaObjectDef {
public:
  TTarnexIndexDef() = default;
  ~TTarnexIndexDef() override;

  void Assign(const TTarnexMetaObjectDef& source) override;
  void LoadFromStream(TTarnexStream& stream) override;
  void SaveToStream(TTarnexStream& stream) const override;

  int32_t ColumnCount() const { return static_cast<int32_t>(Columns.size()); }
  // Grows Columns with default columns or drops the surplus ones from the end (negative = 0).
  void SetColumnCount(int32_t count);

  uint8_t Kind = 0;                         // always 0; stored and copied
  std::vector<TTarnexIndexColumn> Columns;  // owned; the key columns in key order
  bool Unique = false;                      // no two records may have equal keys
  bool Primary = false;                     // the table's primary index
  int32_t RootPageNo = -1;                  // B-tree root page; -1 while the tree is empty
  bool Temporary = false;                   // pages live on the table's temporary page manager
};

// Kinds of constraint (the stored ConstraintType byte; values above 5 exist only in damaged
// or foreign data and are refused where a class must be chosen).
enum class TTarnexConstraintType : uint8_t {
  PrimaryKey = 0, ForeignKey = 1, Unique = 2, NotNull = 3, Check = 4, ForeignKeyAction = 5,
};
constexpr uint8_t TarnexMaxConstraintType = 5;

// Referential actions of a foreign key (DeleteAction, UpdateAction).
enum class TTarnexReferentialAction : uint8_t {
  Restrict = 0, Cascade = 1, SetNull = 2, SetDefault = 3, NoAction = 4,
};

// Match types of a foreign key.
enum class TTarnexMatchType : uint8_t { Simple = 0, Full = 1, Partial = 2 };

// A reference by name and ObjectID to a table, field, index or constraint.
struct TTarnexNamedReference {
  std::string Name;                            // at most 255 characters
  TTarnexObjectID ObjectID = InvalidObjectID;  // -1 when not resolved
};

// Base of the six constraint classes; ConstraintType says which one an object is.
class TTarnexConstraintDef : public TTarnexMetaObjectDef {
public:
  explicit TTarnexConstraintDef(TTarnexConstraintType type = TTarnexConstraintType::PrimaryKey)
      : ConstraintType(type) {}
  ~TTarnexConstraintDef() override;

  void Assign(const TTarnexMetaObjectDef& source) override;
  void LoadFromStream(TTarnexStream& stream) override;
  void SaveToStream(TTarnexStream& stream) const override;

  // The Table reference every constraint class carries (owning table for not null, check,
  // unique and primary key; the other table for foreign keys and their mirrors); nil for a
  // plain TTarnexConstraintDef.
  TTarnexNamedReference* TableReference();
  const TTarnexNamedReference* TableReference() const;

  TTarnexConstraintType ConstraintType;  // which of the six kinds this is
};

// Unique constraint: enforced by the index named by Target.
class TTarnexConstraintDefUnique : public TTarnexConstraintDef {
public:
  TTarnexConstraintDefUnique() : TTarnexConstraintDef(TTarnexConstraintType::Unique) {}
  ~TTarnexConstraintDefUnique() override;

  void Assign(const TTarnexMetaObjectDef& source) override;
  void LoadFromStream(TTarnexStream& stream) override;
  void SaveToStream(TTarnexStream& stream) const override;

  TTarnexNamedReference Reserved;              // never filled
  TTarnexNamedReference Table;                 // the owning table
  TTarnexNamedReference Target;                // the index that enforces the constraint
  std::vector<TTarnexNamedReference> Columns;  // one per key field: field name and ObjectID
};

// Primary key constraint: a unique constraint whose key fields may not be null.
class TTarnexConstraintDefPrimary : public TTarnexConstraintDefUnique {
public:
  TTarnexConstraintDefPrimary() { ConstraintType = TTarnexConstraintType::PrimaryKey; }
  ~TTarnexConstraintDefPrimary() override;
};

// Not null constraint on the field named by Target.
class TTarnexConstraintDefNotNull : public TTarnexConstraintDef {
public:
  TTarnexConstraintDefNotNull() : TTarnexConstraintDef(TTarnexConstraintType::NotNull) {}
  ~TTarnexConstraintDefNotNull() override;

  void Assign(const TTarnexMetaObjectDef& source) override;
  void LoadFromStream(TTarnexStream& stream) override;
  void SaveToStream(TTarnexStream& stream) const override;

  TTarnexNamedReference Reserved;  // never filled
  TTarnexNamedReference Table;     // the owning table
  TTarnexNamedReference Target;    // the constrained field
};

// Check constraint: the value of the field named by Target lies within [MinValue, MaxValue].
class TTarnexConstraintDefCheck : public TTarnexConstraintDef {
public:
  TTarnexConstraintDefCheck();  // both bounds null
  ~TTarnexConstraintDefCheck() override;

  void Assign(const TTarnexMetaObjectDef& source) override;  // bounds copied, owned
  void LoadFromStream(TTarnexStream& stream) override;
  void SaveToStream(TTarnexStream& stream) const override;

  TTarnexNamedReference Reserved;            // never filled
  TTarnexNamedReference Table;               // the owning table
  TTarnexNamedReference Target;              // the constrained field
  std::unique_ptr<TTarnexVariant> MinValue;  // owned, never nil; null = no lower bound
  std::unique_ptr<TTarnexVariant> MaxValue;  // owned, never nil; null = no upper bound
};

// Foreign key action: the mirror of a foreign key, kept in the referenced table.
class TTarnexConstraintDefForeignKeyAction : public TTarnexConstraintDef {
public:
  TTarnexConstraintDefForeignKeyAction()
      : TTarnexConstraintDef(TTarnexConstraintType::ForeignKeyAction) {}
  ~TTarnexConstraintDefForeignKeyAction() override;

  void Assign(const TTarnexMetaObjectDef& source) override;
  void LoadFromStream(TTarnexStream& stream) override;
  void SaveToStream(TTarnexStream& stream) const override;

  TTarnexNamedReference Table;  // foreign key: the referenced table; action: the referencing one
  TTarnexNamedReference Key;    // foreign key: its mirror; action: the foreign key it mirrors
  TTarnexReferentialAction DeleteAction = TTarnexReferentialAction::Restrict;
  TTarnexReferentialAction UpdateAction = TTarnexReferentialAction::Restrict;
  TTarnexMatchType MatchType = TTarnexMatchType::Simple;
  std::vector<TTarnexNamedReference> Columns;  // the foreign key fields, in key order
};

// Foreign key, kept in the referencing table.
class TTarnexConstraintDefForeignKey : public TTarnexConstraintDefForeignKeyAction {
public:
  TTarnexConstraintDefForeignKey() { ConstraintType = TTarnexConstraintType::ForeignKey; }
  ~TTarnexConstraintDefForeignKey() override;
};

// New constraint definition of the class `type` names; 30035 "Not implemented yet" above 5.
std::unique_ptr<TTarnexConstraintDef> CreateConstraintDef(TTarnexConstraintType type);

// A sequence feeding an autoincrement field (or a database's object IDs).
class TTarnexSequenceDef : public TTarnexMetaObjectDef {
public:
  TTarnexSequenceDef() = default;
  ~TTarnexSequenceDef() override;

  void Assign(const TTarnexMetaObjectDef& source) override;
  void LoadFromStream(TTarnexStream& stream) override;
  void SaveToStream(TTarnexStream& stream) const override;
  // CurrentValue += Increment; past MaxValue (an addition leaving the 64-bit range counts as
  // past it) a cycled sequence restarts at MinValue and any other raises 30009
  // "Sequence '%s' overflow" with CurrentValue unchanged. Returns the new CurrentValue.
  virtual int64_t NextValue();

  TTarnexDataType DataType = TTarnexDataType::Cardinal;  // type of the values handed out
  int64_t MinValue = 0;            // restart value of a cycled sequence
  int64_t MaxValue = 4294967295;   // highest value handed out
  int64_t CurrentValue = 0;        // last value handed out (or the initial value)
  int64_t Increment = 1;           // step
  bool Cycled = true;              // restart at MinValue after passing MaxValue
};

// ---------------------------------------------------------------------------------------------
// Definition lists
// ---------------------------------------------------------------------------------------------

// An ordered list that owns its definitions; removing an item frees it. Positions out of range
// raise EArgumentException "List index out of bounds (%d)"; a nil definition, or one of a class
// the list does not hold, raises EArgumentException and is freed.
class TTarnexMetaObjectDefs {
public:
  TTarnexMetaObjectDefs() = default;
  virtual ~TTarnexMetaObjectDefs();
  TTarnexMetaObjectDefs(const TTarnexMetaObjectDefs&) = delete;
  TTarnexMetaObjectDefs& operator=(const TTarnexMetaObjectDefs&) = delete;

  virtual const char* ClassName() const { return "TTarnexMetaObjectDefs"; }

  virtual int32_t Count() const;
  // Appends `def` (taken over); returns its position.
  virtual int32_t Add(std::unique_ptr<TTarnexMetaObjectDef> def);
  // Creates a definition of the list's class, appends and returns it. The base class raises
  // 30339 "The method '%s' not overrided in class '%s'" ("InternalAddCreated", ClassName()).
  virtual TTarnexMetaObjectDef* AddNew();
  // Replaces the contents with the list SaveToStream wrote (int32 count, then each item).
  virtual void LoadFromStream(TTarnexStream& stream);
  virtual void SaveToStream(TTarnexStream& stream) const;
  // Clears the list, then appends a copy (AddNew + Assign) of each definition of `other` in
  // order; a name already in the list raises 10424 "Duplicate field name %s".
  virtual void Assign(const TTarnexMetaObjectDefs& other);
  virtual void Delete(int32_t index);
  // Inserts `def` (taken over) at index, 0..Count().
  virtual void Insert(int32_t index, std::unique_ptr<TTarnexMetaObjectDef> def);
  // Takes the item at fromIndex out and puts it back at toIndex (both 0..Count()-1).
  virtual void Move(int32_t fromIndex, int32_t toIndex);
  virtual void Clear();

  // The definition at index (not owned by the caller).
  TTarnexMetaObjectDef* Items(int32_t index) const;
  // Linear, case-insensitive (locale upper-casing) search; first match or -1.
  int32_t IndexOfName(const std::string& name) const;
  TTarnexMetaObjectDef* FindByName(const std::string& name) const;  // nil when none
  int32_t IndexOfObjectID(TTarnexObjectID id) const;                // first match or -1
  TTarnexMetaObjectDef* FindByObjectID(TTarnexObjectID id) const;  // nil when none

protected:
  // Whether the list may hold `def` (the typed lists accept their own class only).
  virtual bool AcceptsItem(const TTarnexMetaObjectDef& def) const;
  // Raises the out-of-bounds error unless 0 <= index < limit.
  void CheckIndex(int32_t index, int32_t limit) const;
  // Takes `def` over after AcceptsItem; raises (freeing it) otherwise.
  std::unique_ptr<TTarnexMetaObjectDef> CheckItem(std::unique_ptr<TTarnexMetaObjectDef> def) const;

private:
  std::vector<std::unique_ptr<TTarnexMetaObjectDef>> Items_;  // the definitions, owned
};

// The fields of a table; fixes the record layout.
class TTarnexFieldDefs : public TTarnexMetaObjectDefs {
public:
  const char* ClassName() const override { return "TTarnexFieldDefs"; }
  TTarnexMetaObjectDef* AddNew() override;  // a new TTarnexFieldDef
  // As the base class; the copy also takes other's two layout flags, matching the offsets it
  // copied.
  void Assign(const TTarnexMetaObjectDefs& other) override;
  void Clear() override;                    // also clears both flags

  TTarnexFieldDef* Items(int32_t index) const {
    return static_cast<TTarnexFieldDef*>(TTarnexMetaObjectDefs::Items(index));
  }
  TTarnexFieldDef* FindByName(const std::string& name) const {
    return static_cast<TTarnexFieldDef*>(TTarnexMetaObjectDefs::FindByName(name));
  }
  TTarnexFieldDef* FindByObjectID(TTarnexObjectID id) const {
    return static_cast<TTarnexFieldDef*>(TTarnexMetaObjectDefs::FindByObjectID(id));
  }

  // Assigns every field's MemoryOffset (the first at NullFlagsSize(), each next one after its
  // predecessor's MemoryDataSize) and sets HasAutoincFields (a field of an autoincrement
  // column type) and HasDefaultValues (a field whose DefaultValue is not null).
  void RecalcLayout();
  // Bytes of null flags at the start of a record buffer: ceil(Count() / 8).
  int32_t NullFlagsSize() const { return (Count() + 7) / 8; }
  // Bytes of a record buffer: the last field's MemoryOffset + MemoryDataSize after
  // RecalcLayout; NullFlagsSize() for an empty list.
  int32_t RecordSize() const;

  bool HasAutoincFields() const { return HasAutoincFields_; }
  bool HasDefaultValues() const { return HasDefaultValues_; }

protected:
  bool AcceptsItem(const TTarnexMetaObjectDef& def) const override;

private:
  bool HasAutoincFields_ = false;  // set by RecalcLayout
  bool HasDefaultValues_ = false;  // set by RecalcLayout
};

// The indexes of a table.
class TTarnexIndexDefs : public TTarnexMetaObjectDefs {
public:
  const char* ClassName() const override { return "TTarnexIndexDefs"; }
  TTarnexMetaObjectDef* AddNew() override;  // a new TTarnexIndexDef
  // The definition at index (not owned by the caller).
  virtual TTarnexIndexDef* Items(int32_t index) const;
  // Replaces the definition at index by `def` (taken over), freeing the old one.
  virtual void SetItem(int32_t index, std::unique_ptr<TTarnexMetaObjectDef> def);

  TTarnexIndexDef* FindByName(const std::string& name) const {
    return static_cast<TTarnexIndexDef*>(TTarnexMetaObjectDefs::FindByName(name));
  }
  TTarnexIndexDef* FindByObjectID(TTarnexObjectID id) const {
    return static_cast<TTarnexIndexDef*>(TTarnexMetaObjectDefs::FindByObjectID(id));
  }

  // The first definition with Primary set, or nil.
  TTarnexIndexDef* GetPrimaryIndex() const;
  // ObjectID of the first index with at least as many columns as fieldNames whose leading
  // columns match position by position: the field name (ignoring case); direction "ASC"
  // (not descending) or "DESC" (descending); case mode "CASE" (not case-insensitive) or
  // "NO_CASE" (case-insensitive); other direction and case texts impose nothing. -1 when none.
  // Nil lists raise "Nil pointer occured" (10389 names, 10390 directions, 10391 case modes);
  // lengths differing from the names' raise "Error - different lists length. L1 = %d, L2 = %d"
  // (10276 directions, 10277 case modes).
  TTarnexObjectID FindIndexByFields(const std::vector<std::string>* fieldNames,
                                    const std::vector<std::string>* directions,
                                    const std::vector<std::string>* caseModes) const;

protected:
  bool AcceptsItem(const TTarnexMetaObjectDef& def) const override;
};

// The constraints of a table.
class TTarnexConstraintDefs : public TTarnexMetaObjectDefs {
public:
  const char* ClassName() const override { return "TTarnexConstraintDefs"; }
  int32_t Add(std::unique_ptr<TTarnexMetaObjectDef> def) override;  // sets the flags
  TTarnexMetaObjectDef* AddNew() override;  // a new plain TTarnexConstraintDef
  void LoadFromStream(TTarnexStream& stream) override;  // each item preceded by its type byte
  void SaveToStream(TTarnexStream& stream) const override;
  // Like the base class, but each copy is of the class its ConstraintType names (30035 "Not
  // implemented yet" above 5); unnamed constraints are never duplicates of each other.
  void Assign(const TTarnexMetaObjectDefs& other) override;
  void Insert(int32_t index, std::unique_ptr<TTarnexMetaObjectDef> def) override;  // sets the flags
  void Clear() override;  // also clears both flags

  TTarnexConstraintDef* Items(int32_t index) const {
    return static_cast<TTarnexConstraintDef*>(TTarnexMetaObjectDefs::Items(index));
  }
  TTarnexConstraintDef* FindByName(const std::string& name) const {
    return static_cast<TTarnexConstraintDef*>(TTarnexMetaObjectDefs::FindByName(name));
  }
  TTarnexConstraintDef* FindByObjectID(TTarnexObjectID id) const {
    return static_cast<TTarnexConstraintDef*>(TTarnexMetaObjectDefs::FindByObjectID(id));
  }

  // Set whenever a foreign key is added; cleared by Clear or explicitly (dropping a table).
  bool HasForeignKeys() const { return HasForeignKeys_; }
  void SetHasForeignKeys(bool value) { HasForeignKeys_ = value; }
  // Set whenever a foreign key action (a mirror) is added; cleared as HasForeignKeys.
  bool IsReferenced() const { return IsReferenced_; }
  void SetIsReferenced(bool value) { IsReferenced_ = value; }

protected:
  bool AcceptsItem(const TTarnexMetaObjectDef& def) const override;

private:
  void NoteAdded(const TTarnexConstraintDef& def);  // raises the flags for `def`

  bool HasForeignKeys_ = false;  // a foreign key was added
  bool IsReferenced_ = false;    // a foreign key action was added
};

// The sequences of a table (or of a database).
class TTarnexSequenceDefs : public TTarnexMetaObjectDefs {
public:
  const char* ClassName() const override { return "TTarnexSequenceDefs"; }
  TTarnexMetaObjectDef* AddNew() override;  // a new TTarnexSequenceDef

  TTarnexSequenceDef* Items(int32_t index) const {
    return static_cast<TTarnexSequenceDef*>(TTarnexMetaObjectDefs::Items(index));
  }
  TTarnexSequenceDef* FindByName(const std::string& name) const {
    return static_cast<TTarnexSequenceDef*>(TTarnexMetaObjectDefs::FindByName(name));
  }
  TTarnexSequenceDef* FindByObjectID(TTarnexObjectID id) const {
    return static_cast<TTarnexSequenceDef*>(TTarnexMetaObjectDefs::FindByObjectID(id));
  }

protected:
  bool AcceptsItem(const TTarnexMetaObjectDef& def) const override;
};
