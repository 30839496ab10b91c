#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vexa::platform {

// A file written front to back, with fields patched in place behind the end. Appends are
// buffered; writeAt and truncate flush first. Every call answers 0 or the errno of the failure;
// a short write is EIO unless the system said why (ENOSPC, EFBIG). Tests give a fake to see
// exactly what reached the file.
class File {
 public:
  virtual ~File() = default;
  // Creates or empties path for writing.
  virtual int open(const std::string& path) = 0;
  virtual int append(std::span<const uint8_t> bytes) = 0;
  virtual int flush() = 0;
  virtual int writeAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  virtual int truncate(uint64_t size) = 0;
  virtual int close() = 0;
  virtual bool isOpen() const = 0;
  // Bytes known to be in the file: what flushed and what was written in place.
  virtual uint64_t flushedSize() const = 0;
};

// A POSIX descriptor with a buffer of its own (bufferBytes, allocated once).
class PosixFile final : public File {
 public:
  static constexpr size_t kDefaultBufferBytes = 1 << 20;
  explicit PosixFile(size_t bufferBytes = kDefaultBufferBytes);
  ~PosixFile() override;
  int open(const std::string& path) override;
  int append(std::span<const uint8_t> bytes) override;
  int flush() override;
  int writeAt(uint64_t offset, std::span<const uint8_t> bytes) override;
  int truncate(uint64_t size) override;
  int close() override;
  bool isOpen() const override { return descriptor_ >= 0; }
  uint64_t flushedSize() const override { return flushedSize_; }

 private:
  int writeAll(uint64_t offset, std::span<const uint8_t> bytes);
  int descriptor_ = -1;
  std::vector<uint8_t> buffer_;
  size_t buffered_ = 0;
  uint64_t flushedSize_ = 0;
};

}  // namespace vexa::platform
