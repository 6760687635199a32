// The engine-side session: which database it attaches to, the ID that tags its page changes,
// and the values it keeps by name (the last value drawn from each sequence). The local session
// (TarnexLocalEngine) gives the virtual operations their meaning.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A value a session keeps under a name.
class TTarnexSessionNamedObject {
public:
  TTarnexSessionNamedObject() = default;
  virtual ~TTarnexSessionNamedObject() = default;
  TTarnexSessionNamedObject(const TTarnexSessionNamedObject&) = delete;
  TTarnexSessionNamedObject& operator=(const TTarnexSessionNamedObject&) = delete;

  std::string Name;  // the key, compared exactly (case-sensitively)
};

// The last value this session drew from the sequence called Name.
class TTarnexSessionNamedObjectSequenceValue : public TTarnexSessionNamedObject {
public:
  int64_t Value = 0;
};

// Base of every session. The first 22 virtual operations are abstract here except the third to
// fifth, which refuse with "Error - operation is not supported" (10888, 10889, 10890); the last
// two do nothing in every session class.
//
// Subclasses disconnect (SetConnected(false)) in their own destructor: a base destructor can no
// longer reach the subclass's SetConnected.
class TTarnexBaseSession {
public:
  TTarnexBaseSession() = default;
  virtual ~TTarnexBaseSession();  // frees every named value
  TTarnexBaseSession(const TTarnexBaseSession&) = delete;
  TTarnexBaseSession& operator=(const TTarnexBaseSession&) = delete;

  // --- virtual operations, in slot order ---
  virtual bool GetConnected() = 0;
  virtual void SetConnected(bool connect) = 0;
  virtual void CreateDatabase();              // 10888
  virtual void UnnamedOperation4();           // 10889
  virtual void UnnamedOperation5(const std::string& name);  // 10890
  // Forwarders to the database's file-database operations (TarnexBaseDatabase.h).
  virtual int32_t FileDatabaseOperation1() = 0;
  virtual double FileDatabaseOperation2() = 0;
  virtual int32_t FileDatabaseOperation3() = 0;
  virtual int32_t FileDatabaseOperation4() = 0;
  virtual bool FileDatabaseOperation5() = 0;
  virtual bool FileDatabaseOperation6() = 0;
  virtual bool FileDatabaseOperation7() = 0;
  virtual bool DatabaseFileExists() = 0;
  virtual void GetTableNames(std::vector<std::string>& names) = 0;  // OUT: appended in catalog order
  virtual bool TableExists(const std::string& tableName) = 0;        // ignoring case
  virtual void FileDatabaseOperation8(const std::string& first, const std::string& second) = 0;
  virtual void FileDatabaseOperation9() = 0;
  virtual bool FileDatabaseOperation10() = 0;
  virtual bool InTransaction() = 0;
  virtual void StartTransaction() = 0;
  virtual void Commit(bool flush) = 0;
  virtual void Rollback() = 0;
  virtual void UnnamedOperation23(int32_t first, int32_t second);  // nothing
  virtual void UnnamedOperation24();                               // nothing

  // --- named values ---

  // Overwrites the sequence value kept under exactly `name`, or appends a new one.
  void SetSequenceValue(const std::string& name, int64_t value);
  // The sequence value kept under exactly `name`; false (value untouched) when there is none.
  bool GetSequenceValue(const std::string& name, int64_t& value) const;

  // --- fields ---

  std::vector<std::unique_ptr<TTarnexSessionNamedObject>> NamedObjects;  // owned named values
  std::string DatabaseName;      // "MEMORY" or "TEMP"; set by the database component
  std::string DatabaseFileName;  // the file of a file database; not consulted by MEMORY or TEMP
  int32_t SessionID = -1;        // -1 until a database assigns one; MEMORY assigns 0
  bool ReadOnly = false;         // written by the database component, kept as it is here
  bool Exclusive = false;        // written by the database component, kept as it is here

private:
  TTarnexSessionNamedObjectSequenceValue* FindSequenceValue(const std::string& name) const;
};
