#pragma once

// A File whose "disk" is memory, so tests see exactly what reached it and can make it fail: full
// after a number of new bytes, the write that reaches the limit cut short there (overwriting bytes
// already there always works, as on a real disk), files that cannot be created. It can also keep
// only the first bytes of each file and count the rest, for runs too long to store.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "platform/File.h"

namespace vexa::test {

struct MemoryDisk {
  struct Stored {
    std::vector<uint8_t> bytes;  // the first keepBytes of the file
    uint64_t size = 0;
    bool closed = false;
  };
  std::map<std::string, Stored> files;
  std::vector<std::string> created;  // in order
  uint64_t keepBytes = std::numeric_limits<uint64_t>::max();
  uint64_t freeBytes = std::numeric_limits<uint64_t>::max();  // new bytes it still takes
  int fullErrno = ENOSPC;
  int openErrno = 0;
  // Told each closed file; it may take the bytes away (the file is then forgotten).
  std::function<void(const std::string& path, Stored& file)> onClose;

  const std::vector<uint8_t>& bytes(const std::string& path) { return files[path].bytes; }
};

class MemoryFile final : public platform::File {
 public:
  explicit MemoryFile(MemoryDisk& disk) : disk_(disk) {}

  int open(const std::string& path) override {
    close();
    if (disk_.openErrno != 0) return disk_.openErrno;
    path_ = path;
    stored_ = &(disk_.files[path] = {});
    disk_.created.push_back(path);
    open_ = true;
    return 0;
  }
  int append(std::span<const uint8_t> bytes) override {
    return open_ ? writeAt(stored().size, bytes) : EBADF;
  }
  int flush() override { return open_ ? 0 : EBADF; }
  int writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    if (!open_) return EBADF;
    MemoryDisk::Stored& file = stored();
    const uint64_t end = offset + bytes.size();
    uint64_t allowed = end;
    if (end > file.size) {
      allowed = file.size + std::min<uint64_t>(end - file.size, disk_.freeBytes);
    }
    put(file, offset, bytes.first(size_t(allowed - std::min(offset, allowed))));
    return allowed >= end ? 0 : disk_.fullErrno;
  }
  int truncate(uint64_t size) override {
    if (!open_) return EBADF;
    MemoryDisk::Stored& file = stored();
    if (size < file.size && disk_.freeBytes != std::numeric_limits<uint64_t>::max()) {
      disk_.freeBytes += file.size - size;
    }
    file.size = size;
    file.bytes.resize(size_t(std::min(size, disk_.keepBytes)));
    return 0;
  }
  int close() override {
    if (!open_) return 0;
    open_ = false;
    MemoryDisk::Stored& file = stored();
    file.closed = true;
    if (disk_.onClose) disk_.onClose(path_, file);
    return 0;
  }
  bool isOpen() const override { return open_; }
  uint64_t flushedSize() const override { return open_ ? stored_->size : 0; }

 private:
  MemoryDisk::Stored& stored() { return *stored_; }
  void put(MemoryDisk::Stored& file, uint64_t offset, std::span<const uint8_t> bytes) {
    const uint64_t end = offset + bytes.size();
    if (end > file.size) {
      disk_.freeBytes -= std::min(disk_.freeBytes, end - file.size);
      file.size = end;
    }
    const uint64_t kept = std::min(end, disk_.keepBytes);
    if (kept > offset) {
      if (file.bytes.size() < kept) file.bytes.resize(size_t(kept));
      std::copy_n(bytes.begin(), size_t(kept - offset), file.bytes.begin() + ptrdiff_t(offset));
    }
  }

  MemoryDisk& disk_;
  std::string path_;
  MemoryDisk::Stored* stored_ = nullptr;  // map nodes stay put
  bool open_ = false;
};

}  // namespace vexa::test
