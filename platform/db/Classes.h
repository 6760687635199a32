// The few general classes the data-set machinery builds on: a named component, the abstract
// byte stream that BLOB fields are read and written through, and a stream over memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/SysUtils.h"

// Base of the named parts of a window: data sets, data sources and the engine's components.
// The name prefixes the data-set layer's messages ("pests: Field 'x' not found").
class TComponent {
public:
  explicit TComponent(TComponent* owner = nullptr) : Owner_(owner) {}
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return Name_; }
  void SetName(const std::string& value) { Name_ = value; }
  TComponent* Owner() const { return Owner_; }

private:
  std::string Name_;     // component name, may be empty
  TComponent* Owner_;    // the window or component that created this one; not owned, may be nullptr
};

// Stream failures, worded as the platform words them.
class EStreamError : public Exception { public: using Exception::Exception; };
class EReadError : public EStreamError { public: EReadError(); };    // "Stream read error"
class EWriteError : public EStreamError { public: EWriteError(); };  // "Stream write error"

enum class TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

// An abstract sequence of bytes with a position.
class TStream {
public:
  TStream() = default;
  virtual ~TStream();
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Reads up to count bytes into buffer at the position; returns the bytes read (0 at the end).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Writes count bytes from buffer at the position; returns the bytes written.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves the position by offset from origin; returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // Truncates or extends the stream.
  virtual void SetSize(int64_t newSize) = 0;
  // Total bytes; the base seeks to the end and back.
  virtual int64_t Size();

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t value) { Seek(value, TSeekOrigin::soBeginning); }
  // Exact transfers: fewer bytes than count raise EReadError / EWriteError.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
  // The bytes from the position to the end, as a string of bytes; the position moves to the end.
  std::string ReadRest();
};

// A stream over a growable block of memory it owns.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : Data_(std::move(bytes)) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;  // grows the block; a gap is zero
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;  // a result below 0 is refused
  void SetSize(int64_t newSize) override;
  int64_t Size() override { return static_cast<int64_t>(Data_.size()); }

  const std::string& Bytes() const { return Data_; }  // the whole content

private:
  std::string Data_;      // owned content
  int64_t Position_ = 0;  // may lie past the end
};
