// The engine's streams and compressed BLOB storage: the base stream with block copies and
// progress, memory, file and temporary (memory, then file) streams, the exact-length transfer
// helpers every stream format uses, buffer compression (none, zlib, bzip2; PPM is not built
// in), and the BLOB stream that keeps a value as a chain of independently compressed blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/storage/TarnexCriticalSection.h"

class TTarnexStream;
class TTarnexCursor;  // the cursor that hands out a local BLOB stream (not used here)

// ---------------------------------------------------------------------------------------------
// Engine-wide initial values of the stream classes.

struct TTarnexStreamDefaults {
  int32_t MemoryStreamBlockSize = 102400;     // chunk size of copies, per class
  int32_t FileStreamBlockSize = 102400;
  int32_t TemporaryStreamBlockSize = 102400;
  int32_t CompressedStreamBlockSize = 102400;
  int32_t TemporaryStreamSpillSize = 1048576;  // largest in-memory size of a temporary stream
};
// The one process-wide table; streams read it when they are created.
TTarnexStreamDefaults& StreamDefaults();

// Uncompressed bytes per BLOB block when a new value is created with BlockSize 0:
// mode 0 -> 102400, 1-3 -> 524288, 4-6 -> 1048576, 7 and above -> 1572864.
int32_t DefaultBLOBBlockSize(uint8_t mode);

// ---------------------------------------------------------------------------------------------
// Streams.

enum class TTarnexSeekOrigin : uint16_t { Beginning = 0, Current = 1, End = 2 };

// Progress of a block copy: the stream copying, a flag the handler sets to stop the copy after
// the current chunk, and the percentage done (0 before the first chunk, 100 at the end).
using TTarnexStreamProgressEvent =
    std::function<void(TTarnexStream& sender, bool& cancel, double percent)>;

// Base of every engine stream: the platform stream operations, a lock, and block copies.
class TTarnexStream {
public:
  TTarnexStream();
  virtual ~TTarnexStream();
  TTarnexStream(const TTarnexStream&) = delete;
  TTarnexStream& operator=(const TTarnexStream&) = delete;

  // Virtual operations, in slot order.
  virtual int64_t Size();                   // total bytes (base: by seeking to the end and back)
  virtual void SetSize(int64_t newSize) = 0;  // truncates or extends
  // Reads up to count bytes into buffer; returns the bytes read (0 at the end or for count < 1).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Writes count bytes from buffer at the position; returns the bytes written.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves the position by offset from origin; returns the resulting position.
  virtual int64_t Seek(int64_t offset, TTarnexSeekOrigin origin) = 0;
  virtual void Lock();    // enters this stream's critical section (callers sharing a stream)
  virtual void Unlock();  // leaves it

  int64_t Position() { return Seek(0, TTarnexSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TTarnexSeekOrigin::Beginning); }

  // Copies the whole stream, from position 0, to destination's position in BlockSize chunks.
  // Both positions are restored afterwards. 10418 for BlockSize 0; 10146 / 10147 for short
  // transfers. OnProgress gets bytes copied / total * 100.
  void SaveToStream(TTarnexStream& destination);
  // CopyFrom(source, source.Size(), 0).
  void LoadFromStream(TTarnexStream& source);
  // Empties this stream, then copies count bytes of source from sourcePosition in BlockSize
  // chunks; afterwards this stream is at 0 and source where it was. 10419 for BlockSize 0;
  // 10148 / 10149 for short transfers. OnProgress gets source position / source size * 100.
  void CopyFrom(TTarnexStream& source, int64_t count, int64_t sourcePosition);

  int32_t BlockSize() const { return BlockSize_; }
  void SetBlockSize(int32_t size) { BlockSize_ = size; }
  const TTarnexStreamProgressEvent& OnProgress() const { return OnProgress_; }
  void SetOnProgress(TTarnexStreamProgressEvent handler) { OnProgress_ = std::move(handler); }
  uint8_t Cancelled() const { return Cancelled_; }
  uint8_t Modified() const { return Modified_; }
  void SetModified(uint8_t modified) { Modified_ = modified; }

private:
  // Shared by the two copies: `save` selects the codes and the progress measure.
  void CopyChunks(TTarnexStream& source, TTarnexStream& destination, int64_t count, bool save);
  bool ReportProgress(double percent);  // true when the handler asked to cancel

  TTarnexCriticalSection Section_;         // entered by Lock, left by Unlock
  int32_t BlockSize_;                      // chunk size of copies
  TTarnexStreamProgressEvent OnProgress_;  // may be empty
  uint8_t Cancelled_ = 0;                  // 1 after a copy stopped by the handler
  uint8_t Modified_ = 0;                   // set by users of the stream
};

// Exact transfers: fewer bytes than asked raise `code` with
// "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d"
// (position before the read, stream size, count, bytes read), or the "Cannot write" form.
void ReadExact(void* buffer, int32_t count, TTarnexStream& stream, int32_t code);
void WriteExact(const void* buffer, int32_t count, TTarnexStream& stream, int32_t code);
// Sets the position; raises `code` with "Cannot set stream position to %d. Position = %d,
// Size = %d" when the stream reports another position.
void SeekExact(TTarnexStream& stream, int64_t position, int32_t code);

// A stream over one block of the memory manager (32-bit size and position).
class TTarnexMemoryStream : public TTarnexStream {
public:
  TTarnexMemoryStream();  // empty, no block
  // Takes ownership of `block` (from MemoryManager()); size < 0 takes the block's allocated size.
  TTarnexMemoryStream(void* block, int32_t size);
  ~TTarnexMemoryStream() override;

  int64_t Size() override { return Size_; }
  // Reallocates the block to exactly newSize bytes (new bytes zero); 0 frees it; a position
  // beyond the new size moves back to it. A size outside 0..MaxBlockSize is ignored.
  void SetSize(int64_t newSize) override;
  int32_t Read(void* buffer, int32_t count) override;
  // Beyond the end the block first grows to position + count (the gap is zero).
  int32_t Write(const void* buffer, int32_t count) override;
  // May place the position beyond the end; a result below 0 or above MaxBlockSize is refused
  // (the position stays and is returned).
  int64_t Seek(int64_t offset, TTarnexSeekOrigin origin) override;

  uint8_t* Memory() const { return Memory_; }

private:
  uint8_t* Memory_ = nullptr;  // owned memory-manager block of exactly Size_ bytes, or nullptr
  int32_t Size_ = 0;
  int32_t Position_ = 0;
};

// Open modes of a file stream: Create (0xFFFF) creates or truncates the file for reading and
// writing; any other value opens it with access mode & 3 (the share bits are accepted).
namespace TarnexFileMode {
constexpr uint16_t Create = 0xFFFF;
constexpr uint16_t OpenRead = 0x0000;
constexpr uint16_t OpenWrite = 0x0001;
constexpr uint16_t OpenReadWrite = 0x0002;
constexpr uint16_t ShareExclusive = 0x0010;
constexpr uint16_t ShareDenyWrite = 0x0020;
constexpr uint16_t ShareDenyNone = 0x0040;
}  // namespace TarnexFileMode

// A stream over an operating-system file, closed when the stream is freed.
class TTarnexFileStream : public TTarnexStream {
public:
  // 10104 "Cannot create file. FileName = %s" / 10105 "Cannot open file. FileName = %s, Mode = %d".
  TTarnexFileStream(const std::string& fileName, uint16_t mode);
  ~TTarnexFileStream() override;

  int64_t Size() override;
  // Truncates or extends the file at newSize; the position stays unless it was beyond newSize.
  void SetSize(int64_t newSize) override;
  int32_t Read(void* buffer, int32_t count) override;         // 0 on an operating-system error
  int32_t Write(const void* buffer, int32_t count) override;  // 0 on an operating-system error
  int64_t Seek(int64_t offset, TTarnexSeekOrigin origin) override;  // a negative result is refused

  int Handle() const { return Handle_; }
  const std::string& FileName() const { return FileName_; }
  uint16_t Mode() const { return Mode_; }

private:
  int Handle_ = -1;       // owned file descriptor
  std::string FileName_;  // as given
  uint16_t Mode_;         // as given
};

// A stream that lives in memory up to SpillSize bytes and moves itself, once, into a
// temporary file ("Tarnex" prefix) on the write that would pass that size. The file is
// deleted when the stream is freed, and right away when the move fails.
class TTarnexTemporaryStream : public TTarnexStream {
public:
  TTarnexTemporaryStream();
  ~TTarnexTemporaryStream() override;

  int64_t Size() override;
  void SetSize(int64_t newSize) override;
  int32_t Read(void* buffer, int32_t count) override;
  // Spills first when size + count (or position + count) would exceed SpillSize.
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TTarnexSeekOrigin origin) override;

  bool InMemory() const { return InMemory_; }
  TTarnexMemoryStream* MemoryPart() const { return MemoryPart_.get(); }  // nullptr once on file
  TTarnexFileStream* FilePart() const { return FilePart_.get(); }        // nullptr while in memory
  const std::string& TempFileName() const { return TempFileName_; }      // empty while in memory
  int32_t SpillSize() const { return SpillSize_; }
  void SetSpillSize(int32_t size) { SpillSize_ = size; }

private:
  void Spill();                 // moves the content into a new temporary file
  TTarnexStream& Current();     // the part that serves operations now

  bool InMemory_ = true;
  std::unique_ptr<TTarnexMemoryStream> MemoryPart_;  // owned while InMemory_
  std::unique_ptr<TTarnexFileStream> FilePart_;      // owned after the spill
  std::string TempFileName_;                         // the file to delete when freed
  int32_t SpillSize_;
};

// ---------------------------------------------------------------------------------------------
// Checksums and buffer compression.

// Table-driven CRC-32, reflected polynomial 0xEDB88320, register starting at `crc` (0 for a
// new checksum), no final inversion: Crc32("abc") = 0xCA6598D0, of no bytes 0.
uint32_t TarnexCrc32(const void* data, int32_t size, uint32_t crc = 0);

// Compression algorithm of a BLOB field (stored as one byte; other values are unknown).
enum class TTarnexCompressionAlgorithm : uint8_t { None = 0, ZLIB = 1, BZIP = 2, PPM = 3 };

std::string AlgorithmName(TTarnexCompressionAlgorithm algorithm);  // "NONE" "ZLIB" "BZIP" "PPM"; "" if unknown
TTarnexCompressionAlgorithm AlgorithmByName(const std::string& name);  // upper-cased; unknown -> None

// Compresses inputSize bytes of input. On success output is a new memory-manager block (the
// caller frees it) holding outSize > 0 bytes. False (output nullptr, nothing to free) for
// algorithm None, unknown or PPM (not built in), input size 0, a mode the library refuses
// (zlib: level 0-9; bzip2: block size 1-9) or any library failure.
bool CompressBuffer(TTarnexCompressionAlgorithm algorithm, uint8_t mode, const void* input,
                    int32_t inputSize, void*& output, int32_t& outSize);
// Decompresses inputSize bytes of input. outSize: IN the expected size (0 = unknown, the
// buffer then starts at inputSize rounded up to 256), OUT the bytes produced; output as above.
// False for None, unknown or PPM, input size 0, corrupt or truncated data, or 0 bytes produced.
bool DecompressBuffer(TTarnexCompressionAlgorithm algorithm, const void* input, int32_t inputSize,
                      int32_t& outSize, void*& output);

// ---------------------------------------------------------------------------------------------
// Compressed BLOB blocks.

// The 20-byte header before each block's compressed bytes (little-endian on the stream).
struct TTarnexCompressedStreamBlockHeader {
  int32_t CompressedSize = 0;    // bytes of compressed data after the header
  int32_t UncompressedSize = 0;  // bytes of the block after decompression
  uint32_t Crc32 = 0;            // TarnexCrc32 of the uncompressed bytes
  int64_t NextBlockOffset = 0;   // from this header to the next: 20 + CompressedSize

  static constexpr int32_t Size = 20;
  void WriteTo(void* dest) const;                                   // 20 bytes
  static TTarnexCompressedStreamBlockHeader ReadFrom(const void* src);
};

// The headers of one value's blocks with the position of each header in the underlying stream.
class TTarnexCompressedStreamBlockHeadersArray {
public:
  TTarnexCompressedStreamBlockHeadersArray();  // empty, room for 10
  ~TTarnexCompressedStreamBlockHeadersArray();
  TTarnexCompressedStreamBlockHeadersArray(const TTarnexCompressedStreamBlockHeadersArray&) = delete;
  TTarnexCompressedStreamBlockHeadersArray& operator=(const TTarnexCompressedStreamBlockHeadersArray&) = delete;

  int64_t Count() const { return Count_; }
  // Drops headers beyond n; new ones are zero with position 0.
  void SetCount(int64_t n);
  // Appends a header recorded at `position`; returns its index.
  int64_t Append(const TTarnexCompressedStreamBlockHeader& header, int64_t position);
  // ERangeError outside 0..Count-1.
  TTarnexCompressedStreamBlockHeader Header(int64_t index) const;
  int64_t HeaderPosition(int64_t index) const;
  void SetHeader(int64_t index, const TTarnexCompressedStreamBlockHeader& header, int64_t position);
  // Index of the block whose header starts at `position` (binary search over the ascending
  // positions), or -1.
  int64_t FindByPosition(int64_t position) const;

private:
  static constexpr int32_t EntrySize = 28;  // header image (20) + position (8)
  void Reserve(int64_t n);

  uint8_t* Items_ = nullptr;  // owned memory-manager block of Capacity_ entries
  int64_t Count_ = 0;
  int64_t Capacity_ = 0;
};

// What the creator of a BLOB stream passes in and reads back after writing.
struct TTarnexCompressedBLOBStreamParams {
  int32_t BlockSize = 0;         // uncompressed bytes per block; 0 = by mode for a new value
  int64_t BlockCount = 0;        // blocks stored
  int64_t UncompressedSize = 0;  // length of the value
  int64_t StartPosition = 0;     // where the value begins in the underlying stream
  TTarnexCompressionAlgorithm Algorithm = TTarnexCompressionAlgorithm::None;
  uint8_t Mode = 0;              // compression mode (level, bzip2 block size, PPM mode)
};

// A BLOB value kept as compressed blocks from StartPosition of an underlying stream (or, with
// algorithm None, as plain bytes there). Reads decompress each block they touch; writes only
// append: writing inside the value first cuts it at the write position.
class TTarnexCompressedBLOBStream : public TTarnexStream {
public:
  // Opens a new (empty) or existing value on `underlying` (not owned; must outlive this).
  // Lenient accepts an existing value whose underlying data ends early (cut to what is there).
  // 10103 when StartPosition cannot be reached; 10081 / 10082 for data that ends early;
  // 10083 for a header whose next-block offset is inconsistent; 10088 for a block size that
  // does not fit the block's place in the value.
  TTarnexCompressedBLOBStream(TTarnexStream* underlying, bool lenient, bool newValue,
                              const TTarnexCompressedBLOBStreamParams& params);
  ~TTarnexCompressedBLOBStream() override;

  int64_t Size() override { return Size_; }
  void SetSize(int64_t newSize) override;
  // Block read failures: 10086 short read, 10087 decompression, 10088 length, 10089 checksum.
  int32_t Read(void* buffer, int32_t count) override;
  // Compression failure 10085; 10099-10102 for the underlying stream.
  int32_t Write(const void* buffer, int32_t count) override;
  // Any position; one at or below 0 becomes 0 (None: the underlying stream's position).
  int64_t Seek(int64_t offset, TTarnexSeekOrigin origin) override;

  // The parameters as they are now (BlockCount and UncompressedSize follow the value).
  const TTarnexCompressedBLOBStreamParams& Params() const { return Params_; }
  // (1 - CompressedTotal / Size) * 100 for a compressed value with data, else 0.
  float CompressionRatio() const { return CompressionRatio_; }
  int64_t CompressedTotal() const { return CompressedTotal_; }
  TTarnexStream* Underlying() const { return Underlying_; }
  const TTarnexCompressedStreamBlockHeadersArray& Headers() const { return Headers_; }
  bool Lenient() const { return Lenient_; }

private:
  bool Compressed() const { return Params_.Algorithm != TTarnexCompressionAlgorithm::None; }
  void OpenBlocks(bool newValue);
  // Decompresses block `index` into `buffer` (BlockSize bytes); returns its length.
  int32_t ReadBlock(int64_t index, uint8_t* buffer);
  // Compresses length bytes of data into a block at `position`; returns its header.
  TTarnexCompressedStreamBlockHeader WriteBlock(const uint8_t* data, int32_t length,
                                                int64_t position, int32_t seekCode,
                                                int32_t headerCode, int32_t dataCode);
  void Append(const uint8_t* data, int64_t count);  // at the end; data nullptr = zero bytes
  void Shrink(int64_t newSize);
  void UpdateParams();

  TTarnexStream* Underlying_;  // not owned: holds the blocks
  TTarnexCompressedStreamBlockHeadersArray Headers_;
  bool Lenient_;
  TTarnexCompressedBLOBStreamParams Params_;
  int64_t Size_ = 0;             // uncompressed length
  int64_t Position_ = 0;         // uncompressed position
  int64_t CompressedTotal_ = 0;  // sum of the blocks' CompressedSize
  float CompressionRatio_ = 0;
};

// The stream a cursor hands out for one BLOB field: every operation goes to Inner; Mode 1
// refuses writes (10115) and size changes (10116) with "Cannot write to read only stream".
class TTarnexLocalBLOBStream : public TTarnexStream {
public:
  // underlying: when given, the inner stream's underlying stream, owned and freed after Inner
  // (KeepUnderlying false); nullptr leaves it to its owner (KeepUnderlying true).
  TTarnexLocalBLOBStream(std::unique_ptr<TTarnexCompressedBLOBStream> inner, uint8_t mode,
                         int32_t fieldNo, TTarnexCursor* cursor,
                         std::unique_ptr<TTarnexStream> underlying);
  ~TTarnexLocalBLOBStream() override;

  int64_t Size() override;
  void SetSize(int64_t newSize) override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TTarnexSeekOrigin origin) override;

  TTarnexCompressedBLOBStream* Inner() const { return Inner_.get(); }
  uint8_t Mode() const { return Mode_; }
  int32_t FieldNo() const { return FieldNo_; }
  TTarnexCursor* Cursor() const { return Cursor_; }
  bool KeepUnderlying() const { return !OwnedUnderlying_; }

private:
  std::unique_ptr<TTarnexStream> OwnedUnderlying_;    // owned unless KeepUnderlying; freed last
  std::unique_ptr<TTarnexCompressedBLOBStream> Inner_;  // owned
  uint8_t Mode_;            // 1 read-only; 0 and 2 may write
  int32_t FieldNo_;         // the field's number in the cursor's visible fields
  TTarnexCursor* Cursor_;   // not owned: the cursor that handed the stream out
};
