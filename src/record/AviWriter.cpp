#include "record/AviWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vexa {
namespace {

constexpr uint64_t kMoviWordOffset = 220;  // file offset of "movi"; chunk offsets count from it
constexpr uint64_t kFirstChunkOffset = 4;
constexpr uint64_t kChunkHeaderBytes = 8;
constexpr uint64_t kIndexEntryBytes = 16;
constexpr uint64_t kIndexHeaderBytes = 8;
constexpr uint64_t kRiffPreambleBytes = 8;  // "RIFF" and its size are outside the size
constexpr uint32_t kRiffSizeAtOpen = 204;
constexpr uint32_t kKeyFrameFlag = 0x10;
constexpr uint32_t kHasIndexFlag = 0x10;
constexpr uint32_t kQuality = 10000;
constexpr uint32_t kMicrosecondsPerSecond = 1000000;
constexpr uint16_t kBitsPerPixel = 24;
constexpr uint32_t kBytesPerPixel = 3;
constexpr char kChunkTag[] = "00db";

// Offsets of the header fields that change while a file is written.
constexpr size_t kRiffSizeAt = 4;
constexpr size_t kTotalFramesAt = 48;
constexpr size_t kAvihWidthAt = 64;
constexpr size_t kAvihHeightAt = 68;
constexpr size_t kStreamLengthAt = 140;
constexpr size_t kFrameRightAt = 160;
constexpr size_t kFrameBottomAt = 162;
constexpr size_t kStrfWidthAt = 176;
constexpr size_t kStrfHeightAt = 180;
constexpr size_t kImageSizeAt = 192;
constexpr size_t kMoviSizeAt = 216;

void put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}
void put16(uint8_t* at, uint16_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}
void putTag(uint8_t* at, const char* tag) {
  std::memcpy(at, tag, 4);
}

uint32_t get32(const uint8_t* at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

uint64_t roundedLength(size_t length) {
  return (uint64_t(length) + 3) & ~uint64_t(3);
}

// The fixed part of the header: hdrl with avih, strl with strh and strf, and the movi list head.
void putFixedFields(uint8_t* h, uint32_t kind, uint32_t fps) {
  const char* codec = kind == kAviKindH264 ? "H264" : "MJPG";
  putTag(h + 0, "RIFF");
  putTag(h + 8, "AVI ");
  putTag(h + 12, "LIST"), put32(h + 16, 192), putTag(h + 20, "hdrl");
  putTag(h + 24, "avih"), put32(h + 28, 56);
  put32(h + 32, fps == 0 ? 0 : kMicrosecondsPerSecond / fps);
  put32(h + 44, kHasIndexFlag);
  put32(h + 56, 1);  // streams
  putTag(h + 88, "LIST"), put32(h + 92, 116), putTag(h + 96, "strl");
  putTag(h + 100, "strh"), put32(h + 104, 56);
  putTag(h + 108, "vids"), putTag(h + 112, codec);
  put32(h + 128, 1);  // scale
  put32(h + 132, fps);
  put32(h + 148, kQuality);
  putTag(h + 164, "strf"), put32(h + 168, 40);
  put32(h + 172, 40);  // bitmap header size
  put16(h + 184, 1), put16(h + 186, kBitsPerPixel);
  putTag(h + 188, codec);
  putTag(h + 212, "LIST"), putTag(h + 220, "movi");
}

}  // namespace

AviWriter::AviWriter(std::unique_ptr<platform::File> file, const platform::Clock& clock,
                     AviLimits limits)
    : file_(std::move(file)),
      clock_(clock),
      limits_(limits),
      index_(size_t(limits.maxFrames) * kIndexEntryBytes) {}

AviWriter::~AviWriter() {
  Close();
}

bool AviWriter::isOpen() const {
  return file_->isOpen();
}

bool AviWriter::fitsEmptyFile(size_t length) const {
  const uint64_t rounded = roundedLength(length);
  return limits_.maxFrames >= 1 && rounded <= UINT32_MAX &&
         kHeaderBytes + rounded + kChunkHeaderBytes + kIndexEntryBytes < limits_.maxRiffBytes;
}

int32_t AviWriter::Open(const std::string& path, uint32_t kind, uint32_t fps, int32_t width,
                        int32_t height) {
  if (isOpen()) Close();
  path_ = path;
  kind_ = kind;
  fps_ = fps;
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  std::fill(index_.begin(), index_.end(), 0);
  frameCount_ = 0;
  nextOffset_ = kFirstChunkOffset;
  riffSize_ = kHeaderBytes;
  lastError_ = file_->open(path);
  return lastError_ == 0 ? kAviWritten : kAviCannotCreate;
}

int32_t AviWriter::WriteHeader() {
  const Header bytes = header(kRiffSizeAtOpen);
  if (const int error = file_->append(bytes)) return fail(error);
  riffSize_ = kHeaderBytes;
  return kAviWritten;
}

int32_t AviWriter::WriteFrame(std::span<const uint8_t> data, bool key) {
  if (!isOpen()) {
    lastError_ = EBADF;
    return kAviWriteFailed;
  }
  if (frameCount_ >= limits_.maxFrames) return kAviIndexFull;
  const uint64_t rounded = roundedLength(data.size());
  if (rounded > UINT32_MAX ||
      riffSize_ + rounded + kChunkHeaderBytes + kIndexEntryBytes >= limits_.maxRiffBytes) {
    return kAviFileFull;
  }
  if (const int error = appendChunk(data, rounded)) return fail(error);
  addIndexEntry(key, rounded);
  const bool due = frameCount_ == 1 || clock_.tickCount() - lastCheckpoint_ >= kCheckpointPeriodMs;
  if (due) {
    if (const int error = checkpoint()) return fail(error);
  }
  return kAviWritten;
}

int32_t AviWriter::appendChunk(std::span<const uint8_t> data, uint64_t rounded) {
  uint8_t head[kChunkHeaderBytes];
  putTag(head, kChunkTag);
  put32(head + 4, uint32_t(rounded));
  static constexpr uint8_t kZeros[3] = {};
  int error = file_->append(head);
  if (error == 0) error = file_->append(data);
  if (error == 0) error = file_->append({kZeros, size_t(rounded - data.size())});
  return error;
}

void AviWriter::addIndexEntry(bool key, uint64_t rounded) {
  uint8_t* entry = index_.data() + size_t(frameCount_) * kIndexEntryBytes;
  putTag(entry, kChunkTag);
  put32(entry + 4, key ? kKeyFrameFlag : 0);
  put32(entry + 8, uint32_t(nextOffset_));
  put32(entry + 12, uint32_t(rounded));
  nextOffset_ += rounded + kChunkHeaderBytes;
  riffSize_ += rounded + kChunkHeaderBytes + kIndexEntryBytes;
  ++frameCount_;
}

// Until Close, the file ends at its last chunk: a reader of a file cut short by a crash finds
// the totals of the last checkpoint and whole chunks behind them.
int AviWriter::checkpoint() {
  lastCheckpoint_ = clock_.tickCount();
  if (const int error = file_->flush()) return error;
  return file_->writeAt(0, header(endOfChunks() - kRiffPreambleBytes));
}

int32_t AviWriter::Close() {
  if (!isOpen()) return kAviWritten;
  int error = appendIndex();
  if (error != 0) return fail(error);
  const uint64_t fileSize = endOfChunks() + kIndexHeaderBytes + indexBytes();
  error = file_->writeAt(0, header(fileSize - kRiffPreambleBytes));
  const int closeError = file_->close();
  if (error == 0) error = closeError;
  if (error == 0) return kAviWritten;
  lastError_ = error;
  return kAviWriteFailed;
}

void AviWriter::SetSize(int32_t width, int32_t height) {
  if (width < 1 || height < 1) return;
  width_ = width;
  height_ = height;
}

AviWriter::Header AviWriter::header(uint64_t riffSize) const {
  Header h{};
  putFixedFields(h.data(), kind_, fps_);
  put32(h.data() + kRiffSizeAt, uint32_t(riffSize));
  put32(h.data() + kTotalFramesAt, frameCount_);
  put32(h.data() + kStreamLengthAt, frameCount_);
  put32(h.data() + kAvihWidthAt, uint32_t(width_));
  put32(h.data() + kAvihHeightAt, uint32_t(height_));
  put16(h.data() + kFrameRightAt, uint16_t(width_));
  put16(h.data() + kFrameBottomAt, uint16_t(height_));
  put32(h.data() + kStrfWidthAt, uint32_t(width_));
  put32(h.data() + kStrfHeightAt, uint32_t(height_));
  put32(h.data() + kImageSizeAt, uint32_t(width_) * kBytesPerPixel * uint32_t(height_));
  put32(h.data() + kMoviSizeAt, uint32_t(nextOffset_));
  return h;
}

uint64_t AviWriter::indexBytes() const {
  return uint64_t(frameCount_) * kIndexEntryBytes;
}

int AviWriter::appendIndex() {
  uint8_t head[kIndexHeaderBytes];
  putTag(head, "idx1");
  put32(head + 4, uint32_t(indexBytes()));
  int error = file_->append(head);
  if (error == 0) error = file_->append({index_.data(), size_t(indexBytes())});
  if (error == 0) error = file_->flush();
  return error;
}

uint64_t AviWriter::endOfChunks() const {
  return kMoviWordOffset + nextOffset_;
}

// The disk refused a write: the file keeps the chunks that reached it whole, with totals and an
// index for them when the disk still takes one, so what was recorded stays playable.
int32_t AviWriter::fail(int error) {
  lastError_ = error;
  const uint64_t onDisk = file_->flushedSize();
  while (frameCount_ > 0) {
    const uint8_t* last = index_.data() + size_t(frameCount_ - 1) * kIndexEntryBytes;
    const uint64_t end = get32(last + 8) + kChunkHeaderBytes + get32(last + 12);
    if (kMoviWordOffset + end <= onDisk) {
      nextOffset_ = end;
      break;
    }
    --frameCount_;
  }
  if (frameCount_ == 0) nextOffset_ = kFirstChunkOffset;
  const uint64_t cut = endOfChunks();
  file_->truncate(cut);
  uint64_t fileSize = cut + kIndexHeaderBytes + indexBytes();
  if (appendIndex() != 0) {
    file_->truncate(cut);
    fileSize = cut;
  }
  file_->writeAt(0, header(fileSize - kRiffPreambleBytes));
  file_->close();
  return kAviWriteFailed;
}

}  // namespace vexa
