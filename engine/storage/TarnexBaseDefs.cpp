// Schema definitions, their lists, the record layout and the definitions' stream forms.
#include "engine/storage/TarnexBaseDefs.h"

#include <algorithm>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/SysUtils.h"

namespace {

// Native codes of the definitions' stream form (short reads and writes).
constexpr int32_t StreamReadCode = 10500;
constexpr int32_t StreamWriteCode = 10501;

std::string CutName(const std::string& name) {
  return name.size() > static_cast<size_t>(TarnexMaxNameLength) ? name.substr(0, TarnexMaxNameLength)
                                                                  : name;
}

// Little-endian scalars.
template <class T> void WriteInt(TTarnexStream& stream, T value) {
  using U = std::make_unsigned_t<T>;
  U u = static_cast<U>(value);
  uint8_t bytes[sizeof(T)];
  for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<uint8_t>(u >> (8 * i));
  WriteExact(bytes, static_cast<int32_t>(sizeof(T)), stream, StreamWriteCode);
}
template <class T> T ReadInt(TTarnexStream& stream) {
  using U = std::make_unsigned_t<T>;
  uint8_t bytes[sizeof(T)];
  ReadExact(bytes, static_cast<int32_t>(sizeof(T)), stream, StreamReadCode);
  U u = 0;
  for (size_t i = 0; i < sizeof(T); ++i) u |= static_cast<U>(static_cast<U>(bytes[i]) << (8 * i));
  return static_cast<T>(u);
}
void WriteBool(TTarnexStream& stream, bool value) { WriteInt<uint8_t>(stream, value ? 1 : 0); }
bool ReadBool(TTarnexStream& stream) { return ReadInt<uint8_t>(stream) != 0; }
template <class E> void WriteEnum(TTarnexStream& stream, E value) {
  WriteInt<uint8_t>(stream, static_cast<uint8_t>(value));
}
template <class E> E ReadEnum(TTarnexStream& stream) { return static_cast<E>(ReadInt<uint8_t>(stream)); }

// Short string: one length byte, then at most 255 bytes.
void WriteShortString(TTarnexStream& stream, const std::string& s) {
  std::string cut = CutName(s);
  WriteInt<uint8_t>(stream, static_cast<uint8_t>(cut.size()));
  if (!cut.empty()) WriteExact(cut.data(), static_cast<int32_t>(cut.size()), stream, StreamWriteCode);
}
std::string ReadShortString(TTarnexStream& stream) {
  uint8_t length = ReadInt<uint8_t>(stream);
  std::string s(length, '\0');
  if (length > 0) ReadExact(s.data(), length, stream, StreamReadCode);
  return s;
}

void WriteReference(TTarnexStream& stream, const TTarnexNamedReference& ref) {
  WriteShortString(stream, ref.Name);
  WriteInt<int32_t>(stream, ref.ObjectID);
}
TTarnexNamedReference ReadReference(TTarnexStream& stream) {
  TTarnexNamedReference ref;
  ref.Name = ReadShortString(stream);
  ref.ObjectID = ReadInt<int32_t>(stream);
  return ref;
}
void WriteReferences(TTarnexStream& stream, const std::vector<TTarnexNamedReference>& refs) {
  WriteInt<int32_t>(stream, static_cast<int32_t>(refs.size()));
  for (const auto& ref : refs) WriteReference(stream, ref);
}
std::vector<TTarnexNamedReference> ReadReferences(TTarnexStream& stream) {
  int32_t count = ReadInt<int32_t>(stream);
  std::vector<TTarnexNamedReference> refs;
  for (int32_t i = 0; i < count; ++i) refs.push_back(ReadReference(stream));
  return refs;
}

TTarnexNamedReference CutReference(const TTarnexNamedReference& ref) {
  return TTarnexNamedReference{CutName(ref.Name), ref.ObjectID};
}
std::vector<TTarnexNamedReference> CutReferences(const std::vector<TTarnexNamedReference>& refs) {
  std::vector<TTarnexNamedReference> out;
  out.reserve(refs.size());
  for (const auto& ref : refs) out.push_back(CutReference(ref));
  return out;
}

std::unique_ptr<TTarnexVariant> NullValue() {
  return std::make_unique<TTarnexVariant>(TTarnexDataType::Unknown);
}

}  // namespace

int32_t& DefaultFieldBlobBlockSize() {
  static int32_t size = 102400;
  return size;
}

// ---------------------------------------------------------------------------------------------
// TTarnexMetaObjectDef

TTarnexMetaObjectDef::~TTarnexMetaObjectDef() = default;

void TTarnexMetaObjectDef::Assign(const TTarnexMetaObjectDef& source) {
  if (&source == this) return;
  Name = CutName(source.Name);
  ObjectID = source.ObjectID;
}

void TTarnexMetaObjectDef::LoadFromStream(TTarnexStream& stream) {
  Name = ReadShortString(stream);
  ObjectID = ReadInt<int32_t>(stream);
}

void TTarnexMetaObjectDef::SaveToStream(TTarnexStream& stream) const {
  WriteShortString(stream, Name);
  WriteInt<int32_t>(stream, ObjectID);
}

// ---------------------------------------------------------------------------------------------
// TTarnexFieldDef

TTarnexFieldDef::TTarnexFieldDef() : DefaultValue(NullValue()), BlobBlockSize(DefaultFieldBlobBlockSize()) {}

TTarnexFieldDef::~TTarnexFieldDef() = default;

void TTarnexFieldDef::Assign(const TTarnexMetaObjectDef& source) {
  if (&source == this) return;
  TTarnexMetaObjectDef::Assign(source);
  const auto* src = dynamic_cast<const TTarnexFieldDef*>(&source);
  if (!src) return;
  DataType = src->DataType;
  FieldType = src->FieldType;
  Size = src->Size;
  MemoryDataSize = src->MemoryDataSize;
  MemoryOffset = src->MemoryOffset;
  SequenceID = src->SequenceID;
  DefaultValue->Assign(*src->DefaultValue, true);
  BlobCompressionAlgorithm = src->BlobCompressionAlgorithm;
  BlobCompressionMode = src->BlobCompressionMode;
  BlobBlockSize = src->BlobBlockSize;
  AutoincIncrement = src->AutoincIncrement;
  AutoincInitialValue = src->AutoincInitialValue;
  AutoincMinValue = src->AutoincMinValue;
  AutoincMaxValue = src->AutoincMaxValue;
  AutoincCycled = src->AutoincCycled;
  FieldNo = src->FieldNo;
}

void TTarnexFieldDef::LoadFromStream(TTarnexStream& stream) {
  TTarnexMetaObjectDef::LoadFromStream(stream);
  DataType = ReadEnum<TTarnexDataType>(stream);
  FieldType = ReadEnum<TTarnexFieldType>(stream);
  Size = ReadInt<int32_t>(stream);
  MemoryDataSize = ReadInt<int32_t>(stream);
  MemoryOffset = ReadInt<int32_t>(stream);
  SequenceID = ReadInt<int32_t>(stream);
  DefaultValue->LoadFromStream(stream);
  BlobCompressionAlgorithm = ReadInt<uint8_t>(stream);
  BlobCompressionMode = ReadInt<uint8_t>(stream);
  BlobBlockSize = ReadInt<int32_t>(stream);
  AutoincIncrement = ReadInt<int64_t>(stream);
  AutoincInitialValue = ReadInt<int64_t>(stream);
  AutoincMinValue = ReadInt<int64_t>(stream);
  AutoincMaxValue = ReadInt<int64_t>(stream);
  AutoincCycled = ReadBool(stream);
  FieldNo = ReadInt<int32_t>(stream);
}

void TTarnexFieldDef::SaveToStream(TTarnexStream& stream) const {
  TTarnexMetaObjectDef::SaveToStream(stream);
  WriteEnum(stream, DataType);
  WriteEnum(stream, FieldType);
  WriteInt<int32_t>(stream, Size);
  WriteInt<int32_t>(stream, MemoryDataSize);
  WriteInt<int32_t>(stream, MemoryOffset);
  WriteInt<int32_t>(stream, SequenceID);
  DefaultValue->SaveToStream(stream);
  WriteInt<uint8_t>(stream, BlobCompressionAlgorithm);
  WriteInt<uint8_t>(stream, BlobCompressionMode);
  WriteInt<int32_t>(stream, BlobBlockSize);
  WriteInt<int64_t>(stream, AutoincIncrement);
  WriteInt<int64_t>(stream, AutoincInitialValue);
  WriteInt<int64_t>(stream, AutoincMinValue);
  WriteInt<int64_t>(stream, AutoincMaxValue);
  WriteBool(stream, AutoincCycled);
  WriteInt<int32_t>(stream, FieldNo);
}

void TTarnexFieldDef::SetFieldType(TTarnexFieldType fieldType, int32_t size) {
  TTarnexDataType dataType = FieldTypeToDataType(fieldType);
  if (dataType == TTarnexDataType::Unknown)
    throw ETarnexException(30007, "Unsuported data type '%s'", {FieldTypeName(fieldType)});
  int32_t memorySize = DataTypeSize(dataType, size);
  FieldType = fieldType;
  DataType = dataType;
  Size = size;
  MemoryDataSize = memorySize;
}

// ---------------------------------------------------------------------------------------------
// TTarnexIndexDef

TTarnexIndexDef::~TTarnexIndexDef() = default;

void TTarnexIndexDef::Assign(const TTarnexMetaObjectDef& source) {
  if (&source == this) return;
  TTarnexMetaObjectDef::Assign(source);
  const auto* src = dynamic_cast<const TTarnexIndexDef*>(&source);
  if (!src) return;
  Kind = src->Kind;
  Columns = src->Columns;
  Unique = src->Unique;
  Primary = src->Primary;
  RootPageNo = src->RootPageNo;
  Temporary = src->Temporary;
}

void TTarnexIndexDef::SetColumnCount(int32_t count) {
  Columns.resize(static_cast<size_t>(std::max<int32_t>(count, 0)));
}

void TTarnexIndexDef::LoadFromStream(TTarnexStream& stream) {
  TTarnexMetaObjectDef::LoadFromStream(stream);
  Kind = ReadInt<uint8_t>(stream);
  int32_t count = ReadInt<int32_t>(stream);
  Columns.clear();
  for (int32_t i = 0; i < count; ++i) {
    TTarnexIndexColumn column;
    column.FieldName = ReadShortString(stream);
    column.Descending = ReadBool(stream);
    column.CaseInsensitive = ReadBool(stream);
    Columns.push_back(std::move(column));
  }
  Unique = ReadBool(stream);
  Primary = ReadBool(stream);
  RootPageNo = ReadInt<int32_t>(stream);
  Temporary = ReadBool(stream);
}

void TTarnexIndexDef::SaveToStream(TTarnexStream& stream) const {
  TTarnexMetaObjectDef::SaveToStream(stream);
  WriteInt<uint8_t>(stream, Kind);
  WriteInt<int32_t>(stream, ColumnCount());
  for (const auto& column : Columns) {
    WriteShortString(stream, column.FieldName);
    WriteBool(stream, column.Descending);
    WriteBool(stream, column.CaseInsensitive);
  }
  WriteBool(stream, Unique);
  WriteBool(stream, Primary);
  WriteInt<int32_t>(stream, RootPageNo);
  WriteBool(stream, Temporary);
}

// ---------------------------------------------------------------------------------------------
// Constraints

TTarnexConstraintDef::~TTarnexConstraintDef() = default;

void TTarnexConstraintDef::Assign(const TTarnexMetaObjectDef& source) {
  if (&source == this) return;
  TTarnexMetaObjectDef::Assign(source);
  // The six classes carry the type of their class; only a plain definition takes it over.
  const auto* src = dynamic_cast<const TTarnexConstraintDef*>(&source);
  if (src && typeid(*this) == typeid(TTarnexConstraintDef)) ConstraintType = src->ConstraintType;
}

void TTarnexConstraintDef::LoadFromStream(TTarnexStream& stream) {
  TTarnexMetaObjectDef::LoadFromStream(stream);
  TTarnexConstraintType type = ReadEnum<TTarnexConstraintType>(stream);
  if (typeid(*this) == typeid(TTarnexConstraintDef)) ConstraintType = type;
}

void TTarnexConstraintDef::SaveToStream(TTarnexStream& stream) const {
  TTarnexMetaObjectDef::SaveToStream(stream);
  WriteEnum(stream, ConstraintType);
}

TTarnexNamedReference* TTarnexConstraintDef::TableReference() {
  return const_cast<TTarnexNamedReference*>(std::as_const(*this).TableReference());
}

const TTarnexNamedReference* TTarnexConstraintDef::TableReference() const {
  if (auto* u = dynamic_cast<const TTarnexConstraintDefUnique*>(this)) return &u->Table;
  if (auto* n = dynamic_cast<const TTarnexConstraintDefNotNull*>(this)) return &n->Table;
  if (auto* c = dynamic_cast<const TTarnexConstraintDefCheck*>(this)) return &c->Table;
  if (auto* f = dynamic_cast<const TTarnexConstraintDefForeignKeyAction*>(this)) return &f->Table;
  return nullptr;
}

TTarnexConstraintDefUnique::~TTarnexConstraintDefUnique() = default;

void TTarnexConstraintDefUnique::Assign(const TTarnexMetaObjectDef& source) {
  if (&source == this) return;
  TTarnexConstraintDef::Assign(source);
  const auto* src = dynamic_cast<const TTarnexConstraintDefUnique*>(&source);
  if (!src) return;
  Reserved = CutReference(src->Reserved);
  Table = CutReference(src->Table);
  Target = CutReference(src->Target);
  Columns = CutReferences(src->Columns);
}

void TTarnexConstraintDefUnique::LoadFromStream(TTarnexStream& stream) {
  TTarnexConstraintDef::LoadFromStream(stream);
  Reserved = ReadReference(stream);
  Table = ReadReference(stream);
  Target = ReadReference(stream);
  Columns = ReadReferences(stream);
}

void TTarnexConstraintDefUnique::SaveToStream(TTarnexStream& stream) const {
  TTarnexConstraintDef::SaveToStream(stream);
  WriteReference(stream, Reserved);
  WriteReference(stream, Table);
  WriteReference(stream, Target);
  WriteReferences(stream, Columns);
}

TTarnexConstraintDefPrimary::~TTarnexConstraintDefPrimary() = default;

TTarnexConstraintDefNotNull::~TTarnexConstraintDefNotNull() = default;

void TTarnexConstraintDefNotNull::Assign(const TTarnexMetaObjectDef& source) {
  if (&source == this) return;
  TTarnexConstraintDef::Assign(source);
  const auto* src = dynamic_cast<const TTarnexConstraintDefNotNull*>(&source);
  if (!src) return;
  Reserved = CutReference(src->Reserved);
  Table = CutReference(src->Table);
  Target = CutReference(src->Target);
}

void TTarnexConstraintDefNotNull::LoadFromStream(TTarnexStream& stream) {
  TTarnexConstraintDef::LoadFromStream(stream);
  Reserved = ReadReference(stream);
  Table = ReadReference(stream);
  Target = ReadReference(stream);
}

void TTarnexConstraintDefNotNull::SaveToStream(TTarnexStream& stream) const {
  TTarnexConstraintDef::SaveToStream(stream);
  WriteReference(stream, Reserved);
  WriteReference(stream, Table);
  WriteReference(stream, Target);
}

TTarnexConstraintDefCheck::TTarnexConstraintDefCheck()
    : TTarnexConstraintDef(TTarnexConstraintType::Check), MinValue(NullValue()), MaxValue(NullValue()) {}

TTarnexConstraintDefCheck::~TTarnexConstraintDefCheck() = default;

void TTarnexConstraintDefCheck::Assign(const TTarnexMetaObjectDef& source) {
  if (&source == this) return;
  TTarnexConstraintDef::Assign(source);
  const auto* src = dynamic_cast<const TTarnexConstraintDefCheck*>(&source);
  if (!src) return;
  Reserved = CutReference(src->Reserved);
  Table = CutReference(src->Table);
  Target = CutReference(src->Target);
  MinValue->Assign(*src->MinValue, true);
  MaxValue->Assign(*src->MaxValue, true);
}

void TTarnexConstraintDefCheck::LoadFromStream(TTarnexStream& stream) {
  TTarnexConstraintDef::LoadFromStream(stream);
  Reserved = ReadReference(stream);
  Table = ReadReference(stream);
  Target = ReadReference(stream);
  MinValue->LoadFromStream(stream);
  MaxValue->LoadFromStream(stream);
}

void TTarnexConstraintDefCheck::SaveToStream(TTarnexStream& stream) const {
  TTarnexConstraintDef::SaveToStream(stream);
  WriteReference(stream, Reserved);
  WriteReference(stream, Table);
  WriteReference(stream, Target);
  MinValue->SaveToStream(stream);
  MaxValue->SaveToStream(stream);
}

TTarnexConstraintDefForeignKeyAction::~TTarnexConstraintDefForeignKeyAction() = default;

void TTarnexConstraintDefForeignKeyAction::Assign(const TTarnexMetaObjectDef& source) {
  if (&source == this) return;
  TTarnexConstraintDef::Assign(source);
  const auto* src = dynamic_cast<const TTarnexConstraintDefForeignKeyAction*>(&source);
  if (!src) return;
  Table = CutReference(src->Table);
  Key = CutReference(src->Key);
  DeleteAction = src->DeleteAction;
  UpdateAction = src->UpdateAction;
  MatchType = src->MatchType;
  Columns = CutReferences(src->Columns);
}

void TTarnexConstraintDefForeignKeyAction::LoadFromStream(TTarnexStream& stream) {
  TTarnexConstraintDef::LoadFromStream(stream);
  Table = ReadReference(stream);
  Key = ReadReference(stream);
  DeleteAction = ReadEnum<TTarnexReferentialAction>(stream);
  UpdateAction = ReadEnum<TTarnexReferentialAction>(stream);
  MatchType = ReadEnum<TTarnexMatchType>(stream);
  Columns = ReadReferences(stream);
}

void TTarnexConstraintDefForeignKeyAction::SaveToStream(TTarnexStream& stream) const {
  TTarnexConstraintDef::SaveToStream(stream);
  WriteReference(stream, Table);
  WriteReference(stream, Key);
  WriteEnum(stream, DeleteAction);
  WriteEnum(stream, UpdateAction);
  WriteEnum(stream, MatchType);
  WriteReferences(stream, Columns);
}

TTarnexConstraintDefForeignKey::~TTarnexConstraintDefForeignKey() = default;

std::unique_ptr<TTarnexConstraintDef> CreateConstraintDef(TTarnexConstraintType type) {
  switch (type) {
    case TTarnexConstraintType::PrimaryKey: return std::make_unique<TTarnexConstraintDefPrimary>();
    case TTarnexConstraintType::ForeignKey: return std::make_unique<TTarnexConstraintDefForeignKey>();
    case TTarnexConstraintType::Unique: return std::make_unique<TTarnexConstraintDefUnique>();
    case TTarnexConstraintType::NotNull: return std::make_unique<TTarnexConstraintDefNotNull>();
    case TTarnexConstraintType::Check: return std::make_unique<TTarnexConstraintDefCheck>();
    case TTarnexConstraintType::ForeignKeyAction:
      return std::make_unique<TTarnexConstraintDefForeignKeyAction>();
  }
  throw ETarnexException(30035, "Not implemented yet");
}

// ---------------------------------------------------------------------------------------------
// TTarnexSequenceDef

TTarnexSequenceDef::~TTarnexSequenceDef() = default;

void TTarnexSequenceDef::Assign(const TTarnexMetaObjectDef& source) {
  if (&source == this) return;
  TTarnexMetaObjectDef::Assign(source);
  const auto* src = dynamic_cast<const TTarnexSequenceDef*>(&source);
  if (!src) return;
  DataType = src->DataType;
  MinValue = src->MinValue;
  MaxValue = src->MaxValue;
  CurrentValue = src->CurrentValue;
  Increment = src->Increment;
  Cycled = src->Cycled;
}

void TTarnexSequenceDef::LoadFromStream(TTarnexStream& stream) {
  TTarnexMetaObjectDef::LoadFromStream(stream);
  DataType = ReadEnum<TTarnexDataType>(stream);
  MinValue = ReadInt<int64_t>(stream);
  MaxValue = ReadInt<int64_t>(stream);
  CurrentValue = ReadInt<int64_t>(stream);
  Increment = ReadInt<int64_t>(stream);
  Cycled = ReadBool(stream);
}

void TTarnexSequenceDef::SaveToStream(TTarnexStream& stream) const {
  TTarnexMetaObjectDef::SaveToStream(stream);
  WriteEnum(stream, DataType);
  WriteInt<int64_t>(stream, MinValue);
  WriteInt<int64_t>(stream, MaxValue);
  WriteInt<int64_t>(stream, CurrentValue);
  WriteInt<int64_t>(stream, Increment);
  WriteBool(stream, Cycled);
}

int64_t TTarnexSequenceDef::NextValue() {
  int64_t next = 0;
  // A step that leaves the 64-bit range has passed any maximum.
  bool wrapped = __builtin_add_overflow(CurrentValue, Increment, &next);
  if (wrapped || next > MaxValue) {
    if (!Cycled) throw ETarnexException(30009, "Sequence '%s' overflow", {Name});
    next = MinValue;
  }
  CurrentValue = next;
  return CurrentValue;
}

// ---------------------------------------------------------------------------------------------
// TTarnexMetaObjectDefs

TTarnexMetaObjectDefs::~TTarnexMetaObjectDefs() = default;

void TTarnexMetaObjectDefs::CheckIndex(int32_t index, int32_t limit) const {
  if (index < 0 || index >= limit)
    throw EArgumentException(Format("List index out of bounds (%d)", {index}));
}

std::unique_ptr<TTarnexMetaObjectDef> TTarnexMetaObjectDefs::CheckItem(
    std::unique_ptr<TTarnexMetaObjectDef> def) const {
  if (!def) throw EArgumentException(Format("%s cannot hold a nil definition", {ClassName()}));
  if (!AcceptsItem(*def))
    throw EArgumentException(Format("%s cannot hold this kind of definition", {ClassName()}));
  return def;
}

bool TTarnexMetaObjectDefs::AcceptsItem(const TTarnexMetaObjectDef&) const { return true; }

int32_t TTarnexMetaObjectDefs::Count() const { return static_cast<int32_t>(Items_.size()); }

int32_t TTarnexMetaObjectDefs::Add(std::unique_ptr<TTarnexMetaObjectDef> def) {
  Items_.push_back(CheckItem(std::move(def)));
  return Count() - 1;
}

TTarnexMetaObjectDef* TTarnexMetaObjectDefs::AddNew() {
  throw ETarnexException(30339, "The method '%s' not overrided in class '%s'",
                         {"InternalAddCreated", ClassName()});
}

void TTarnexMetaObjectDefs::LoadFromStream(TTarnexStream& stream) {
  Clear();
  int32_t count = ReadInt<int32_t>(stream);
  for (int32_t i = 0; i < count; ++i) AddNew()->LoadFromStream(stream);
}

void TTarnexMetaObjectDefs::SaveToStream(TTarnexStream& stream) const {
  WriteInt<int32_t>(stream, Count());
  for (const auto& def : Items_) def->SaveToStream(stream);
}

void TTarnexMetaObjectDefs::Assign(const TTarnexMetaObjectDefs& other) {
  if (&other == this) return;
  Clear();
  for (int32_t i = 0; i < other.Count(); ++i) {
    const TTarnexMetaObjectDef* def = other.Items(i);
    if (IndexOfName(def->Name) >= 0)
      throw ETarnexException(10424, "Duplicate field name %s", {def->Name});
    AddNew()->Assign(*def);
  }
}

void TTarnexMetaObjectDefs::Delete(int32_t index) {
  CheckIndex(index, Count());
  Items_.erase(Items_.begin() + index);
}

void TTarnexMetaObjectDefs::Insert(int32_t index, std::unique_ptr<TTarnexMetaObjectDef> def) {
  CheckIndex(index, Count() + 1);
  def = CheckItem(std::move(def));
  Items_.insert(Items_.begin() + index, std::move(def));
}

void TTarnexMetaObjectDefs::Move(int32_t fromIndex, int32_t toIndex) {
  CheckIndex(fromIndex, Count());
  CheckIndex(toIndex, Count());
  if (fromIndex == toIndex) return;
  std::unique_ptr<TTarnexMetaObjectDef> def = std::move(Items_[fromIndex]);
  Items_.erase(Items_.begin() + fromIndex);
  Items_.insert(Items_.begin() + toIndex, std::move(def));
}

void TTarnexMetaObjectDefs::Clear() { Items_.clear(); }

TTarnexMetaObjectDef* TTarnexMetaObjectDefs::Items(int32_t index) const {
  CheckIndex(index, Count());
  return Items_[index].get();
}

int32_t TTarnexMetaObjectDefs::IndexOfName(const std::string& name) const {
  const std::string wanted = AnsiUpperCase(name);
  for (int32_t i = 0; i < Count(); ++i)
    if (AnsiUpperCase(Items_[i]->Name) == wanted) return i;
  return -1;
}

TTarnexMetaObjectDef* TTarnexMetaObjectDefs::FindByName(const std::string& name) const {
  int32_t i = IndexOfName(name);
  return i >= 0 ? Items_[i].get() : nullptr;
}

int32_t TTarnexMetaObjectDefs::IndexOfObjectID(TTarnexObjectID id) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (Items_[i]->ObjectID == id) return i;
  return -1;
}

TTarnexMetaObjectDef* TTarnexMetaObjectDefs::FindByObjectID(TTarnexObjectID id) const {
  int32_t i = IndexOfObjectID(id);
  return i >= 0 ? Items_[i].get() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// TTarnexFieldDefs

TTarnexMetaObjectDef* TTarnexFieldDefs::AddNew() {
  return TTarnexMetaObjectDefs::Items(Add(std::make_unique<TTarnexFieldDef>()));
}

void TTarnexFieldDefs::Assign(const TTarnexMetaObjectDefs& other) {
  if (&other == this) return;
  TTarnexMetaObjectDefs::Assign(other);
  if (const auto* fields = dynamic_cast<const TTarnexFieldDefs*>(&other)) {
    HasAutoincFields_ = fields->HasAutoincFields_;
    HasDefaultValues_ = fields->HasDefaultValues_;
  }
}

void TTarnexFieldDefs::Clear() {
  TTarnexMetaObjectDefs::Clear();
  HasAutoincFields_ = false;
  HasDefaultValues_ = false;
}

bool TTarnexFieldDefs::AcceptsItem(const TTarnexMetaObjectDef& def) const {
  return dynamic_cast<const TTarnexFieldDef*>(&def) != nullptr;
}

void TTarnexFieldDefs::RecalcLayout() {
  HasAutoincFields_ = false;
  HasDefaultValues_ = false;
  int32_t offset = NullFlagsSize();
  for (int32_t i = 0; i < Count(); ++i) {
    TTarnexFieldDef* field = Items(i);
    field->MemoryOffset = offset;
    offset += field->MemoryDataSize;
    if (IsAutoIncFieldType(field->FieldType)) HasAutoincFields_ = true;
    if (!field->DefaultValue->IsNull()) HasDefaultValues_ = true;
  }
}

int32_t TTarnexFieldDefs::RecordSize() const {
  if (Count() == 0) return NullFlagsSize();
  const TTarnexFieldDef* last = Items(Count() - 1);
  return last->MemoryOffset + last->MemoryDataSize;
}

// ---------------------------------------------------------------------------------------------
// TTarnexIndexDefs

TTarnexMetaObjectDef* TTarnexIndexDefs::AddNew() {
  return TTarnexMetaObjectDefs::Items(Add(std::make_unique<TTarnexIndexDef>()));
}

TTarnexIndexDef* TTarnexIndexDefs::Items(int32_t index) const {
  return static_cast<TTarnexIndexDef*>(TTarnexMetaObjectDefs::Items(index));
}

void TTarnexIndexDefs::SetItem(int32_t index, std::unique_ptr<TTarnexMetaObjectDef> def) {
  CheckIndex(index, Count());
  def = CheckItem(std::move(def));
  Delete(index);
  Insert(index, std::move(def));
}

bool TTarnexIndexDefs::AcceptsItem(const TTarnexMetaObjectDef& def) const {
  return dynamic_cast<const TTarnexIndexDef*>(&def) != nullptr;
}

TTarnexIndexDef* TTarnexIndexDefs::GetPrimaryIndex() const {
  for (int32_t i = 0; i < Count(); ++i)
    if (Items(i)->Primary) return Items(i);
  return nullptr;
}

TTarnexObjectID TTarnexIndexDefs::FindIndexByFields(const std::vector<std::string>* fieldNames,
                                                    const std::vector<std::string>* directions,
                                                    const std::vector<std::string>* caseModes) const {
  if (!fieldNames) throw ETarnexException(10389, "Nil pointer occured");
  if (!directions) throw ETarnexException(10390, "Nil pointer occured");
  if (!caseModes) throw ETarnexException(10391, "Nil pointer occured");
  const int32_t count = static_cast<int32_t>(fieldNames->size());
  if (directions->size() != fieldNames->size())
    throw ETarnexException(10276, "Error - different lists length. L1 = %d, L2 = %d",
                           {count, static_cast<int32_t>(directions->size())});
  if (caseModes->size() != fieldNames->size())
    throw ETarnexException(10277, "Error - different lists length. L1 = %d, L2 = %d",
                           {count, static_cast<int32_t>(caseModes->size())});

  std::vector<std::string> wanted;
  wanted.reserve(fieldNames->size());
  for (const auto& name : *fieldNames) wanted.push_back(AnsiUpperCase(name));

  for (int32_t i = 0; i < Count(); ++i) {
    const TTarnexIndexDef* index = Items(i);
    if (index->ColumnCount() < count) continue;
    bool matches = true;
    for (int32_t c = 0; c < count && matches; ++c) {
      const TTarnexIndexColumn& column = index->Columns[c];
      const std::string& direction = (*directions)[c];
      const std::string& caseMode = (*caseModes)[c];
      if (AnsiUpperCase(column.FieldName) != wanted[c]) matches = false;
      else if (direction == "ASC" && column.Descending) matches = false;
      else if (direction == "DESC" && !column.Descending) matches = false;
      else if (caseMode == "CASE" && column.CaseInsensitive) matches = false;
      else if (caseMode == "NO_CASE" && !column.CaseInsensitive) matches = false;
    }
    if (matches) return index->ObjectID;
  }
  return InvalidObjectID;
}

// ---------------------------------------------------------------------------------------------
// TTarnexConstraintDefs

void TTarnexConstraintDefs::NoteAdded(const TTarnexConstraintDef& def) {
  if (def.ConstraintType == TTarnexConstraintType::ForeignKey) HasForeignKeys_ = true;
  if (def.ConstraintType == TTarnexConstraintType::ForeignKeyAction) IsReferenced_ = true;
}

int32_t TTarnexConstraintDefs::Add(std::unique_ptr<TTarnexMetaObjectDef> def) {
  int32_t index = TTarnexMetaObjectDefs::Add(std::move(def));
  NoteAdded(*Items(index));
  return index;
}

TTarnexMetaObjectDef* TTarnexConstraintDefs::AddNew() {
  return TTarnexMetaObjectDefs::Items(Add(std::make_unique<TTarnexConstraintDef>()));
}

void TTarnexConstraintDefs::Insert(int32_t index, std::unique_ptr<TTarnexMetaObjectDef> def) {
  TTarnexMetaObjectDefs::Insert(index, std::move(def));
  NoteAdded(*Items(index));
}

void TTarnexConstraintDefs::Clear() {
  TTarnexMetaObjectDefs::Clear();
  HasForeignKeys_ = false;
  IsReferenced_ = false;
}

bool TTarnexConstraintDefs::AcceptsItem(const TTarnexMetaObjectDef& def) const {
  return dynamic_cast<const TTarnexConstraintDef*>(&def) != nullptr;
}

void TTarnexConstraintDefs::Assign(const TTarnexMetaObjectDefs& other) {
  if (&other == this) return;
  Clear();
  for (int32_t i = 0; i < other.Count(); ++i) {
    const auto* def = dynamic_cast<const TTarnexConstraintDef*>(other.Items(i));
    if (!def) throw EArgumentException(Format("%s cannot hold this kind of definition", {ClassName()}));
    if (!def->Name.empty() && IndexOfName(def->Name) >= 0)
      throw ETarnexException(10424, "Duplicate field name %s", {def->Name});
    std::unique_ptr<TTarnexConstraintDef> copy = CreateConstraintDef(def->ConstraintType);
    copy->Assign(*def);
    Add(std::move(copy));
  }
}

void TTarnexConstraintDefs::LoadFromStream(TTarnexStream& stream) {
  Clear();
  int32_t count = ReadInt<int32_t>(stream);
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<TTarnexConstraintDef> def =
        CreateConstraintDef(ReadEnum<TTarnexConstraintType>(stream));
    def->LoadFromStream(stream);
    Add(std::move(def));
  }
}

void TTarnexConstraintDefs::SaveToStream(TTarnexStream& stream) const {
  WriteInt<int32_t>(stream, Count());
  for (int32_t i = 0; i < Count(); ++i) {
    WriteEnum(stream, Items(i)->ConstraintType);
    Items(i)->SaveToStream(stream);
  }
}

// ---------------------------------------------------------------------------------------------
// TTarnexSequenceDefs

TTarnexMetaObjectDef* TTarnexSequenceDefs::AddNew() {
  return TTarnexMetaObjectDefs::Items(Add(std::make_unique<TTarnexSequenceDef>()));
}

bool TTarnexSequenceDefs::AcceptsItem(const TTarnexMetaObjectDef& def) const {
  return dynamic_cast<const TTarnexSequenceDef*>(&def) != nullptr;
}
