#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/RecordingSink.h"
#include "platform/Clock.h"
#include "platform/File.h"

namespace vexa {

// The kinds of video a recording holds.

// Results of the writer and the recorder.
constexpr int32_t kAviWritten = 0;
constexpr int32_t kAviIndexFull = 1;
constexpr int32_t kAviFileFull = 3;  // the RIFF size would reach its limit
constexpr int32_t kAviCannotCreate = 4;
// The disk refused a write: the file is finished as it stands.
constexpr int32_t kAviWriteFailed = 5;

// How far one file may grow; tests inject small ones.
struct AviLimits {
  uint32_t maxFrames = 432000;
  uint64_t maxRiffBytes = 0x80000000;  // 2 GiB
};

// One AVI file with a single video stream of "00db" chunks and its idx1 index. The header's
// totals, sizes and picture size are rewritten in place at a checkpoint (the first frame, then
// every kCheckpointPeriodMs of the clock), so a file cut short by a crash stays readable up to
// its last checkpoint; Close appends the index and patches the header.
class AviWriter {
 public:
  static constexpr uint32_t kCheckpointPeriodMs = 2000;
  static constexpr uint32_t kHeaderBytes = 224;  // up to and including "movi"

  AviWriter(std::unique_ptr<platform::File> file, const platform::Clock& clock,
            AviLimits limits = {});
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;
  ~AviWriter();

  // 0, or kAviCannotCreate; an open file is closed first.
  int32_t Open(const std::string& path, uint32_t kind, uint32_t fps, int32_t width, int32_t height);
  // 0, or kAviWriteFailed.
  int32_t WriteHeader();
  // 0, kAviIndexFull, kAviFileFull, or kAviWriteFailed (the file is then finished and closed).
  int32_t WriteFrame(std::span<const uint8_t> data, bool key);
  // 0, or kAviWriteFailed when the index or the header could not be written.
  int32_t Close();
  // The picture size written into the header from the next checkpoint on.
  void SetSize(int32_t width, int32_t height);

  bool isOpen() const;
  // Whether a picture of this many bytes fits an empty file at all (else no next file helps).
  bool fitsEmptyFile(size_t length) const;
  uint32_t frameCount() const { return frameCount_; }
  const std::string& path() const { return path_; }
  // errno of the last failure (0 when none).
  int lastError() const { return lastError_; }

 private:
  using Header = std::array<uint8_t, kHeaderBytes>;
  int32_t appendChunk(std::span<const uint8_t> data, uint64_t rounded);
  void addIndexEntry(bool key, uint64_t rounded);
  int checkpoint();
  // The header with the totals of the chunks written so far and riffSize at offset 4.
  Header header(uint64_t riffSize) const;
  uint64_t endOfChunks() const;
  uint64_t indexBytes() const;
  // "idx1" and the entries, flushed.
  int appendIndex();
  int32_t fail(int error);

  std::unique_ptr<platform::File> file_;
  const platform::Clock& clock_;
  const AviLimits limits_;
  std::vector<uint8_t> index_;  // limits.maxFrames entries, allocated once
  std::string path_;
  uint32_t kind_ = kAviKindJpeg;
  uint32_t fps_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint64_t riffSize_ = 0;
  uint64_t nextOffset_ = 0;  // of the next chunk, from the "movi" word
  uint32_t frameCount_ = 0;
  uint32_t lastCheckpoint_ = 0;
  int lastError_ = 0;
};

}  // namespace vexa
