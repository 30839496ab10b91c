#pragma once

// A File whose "disk" is memory, so tests see exactly what reached it and can make it fail: a
// file may be capped, the write that reaches the cap cut short there and failed as a full disk
// fails (overwriting bytes already there always works).
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
    std::vector<uint8_t> bytes;
    bool closed = false;
  };
  std::map<std::string, Stored> files;
  uint64_t maxFileBytes = std::numeric_limits<uint64_t>::max();
  // Told each closed file; it may take the bytes away.
  std::function<void(const std::string& path, Stored& file)> onClose;
};

class MemoryFile final : public platform::File {
 public:
  explicit MemoryFile(MemoryDisk& disk) : disk_(disk) {}

  int open(const std::string& path) override {
    close();
    path_ = path;
    file_ = &(disk_.files[path] = {});  // map nodes stay put
    return 0;
  }
  int append(std::span<const uint8_t> bytes) override {
    return file_ ? writeAt(file_->bytes.size(), bytes) : EBADF;
  }
  int flush() override { return file_ ? 0 : EBADF; }
  int writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    if (!file_) return EBADF;
    std::vector<uint8_t>& stored = file_->bytes;
    const uint64_t end = offset + bytes.size();
    const uint64_t reach = std::min(end, std::max<uint64_t>(disk_.maxFileBytes, stored.size()));
    if (reach > stored.size()) stored.resize(size_t(reach));
    if (reach > offset) {
      std::copy_n(bytes.begin(), reach - offset, stored.begin() + ptrdiff_t(offset));
    }
    return reach == end ? 0 : ENOSPC;
  }
  int truncate(uint64_t size) override {
    if (file_) file_->bytes.resize(size_t(size));
    return file_ ? 0 : EBADF;
  }
  int close() override {
    if (!file_) return 0;
    file_->closed = true;
    if (disk_.onClose) disk_.onClose(path_, *file_);
    file_ = nullptr;
    return 0;
  }
  bool isOpen() const override { return file_ != nullptr; }
  uint64_t flushedSize() const override { return file_ ? file_->bytes.size() : 0; }

 private:
  MemoryDisk& disk_;
  std::string path_;
  MemoryDisk::Stored* file_ = nullptr;
};

}  // namespace vexa::test
