#include "media/IPCameraH264.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "common/DebugTrace.h"
#include "media/H264Decoder.h"

namespace vexa {

namespace {
// The start code's 00 01 is looked for at positions 0 to 4 (a 00 00 00 01 code fits).
constexpr size_t kStartCodeSearchBytes = 6;
constexpr uint8_t kNalTypeMask = 0x1F;
constexpr uint8_t kFirstDecodableType = 1;
constexpr uint8_t kLastDecodableType = 9;
}  // namespace

bool isDecodableAccessUnit(std::span<const uint8_t> unit) {
  const size_t limit = std::min(unit.size(), kStartCodeSearchBytes);
  for (size_t i = 0; i + 1 < limit; ++i) {
    if (unit[i] == 0 && unit[i + 1] == 1) {
      if (i + 2 >= unit.size()) return false;
      const uint8_t type = unit[i + 2] & kNalTypeMask;
      return type >= kFirstDecodableType && type <= kLastDecodableType;
    }
  }
  return false;
}

IPCameraH264::IPCameraH264()
    : inputArea_(new uint8_t[kInputAreaBytes + kInputPaddingBytes]) {
  lastInfo_ = makeBgrPictureHeader(0, 0);
}

IPCameraH264::~IPCameraH264() { Stop(); }

int IPCameraH264::Start() {
  if (H264Decoder* decoder = decoder_.load(std::memory_order_acquire)) decoder->reinitFfmpeg();
  return thread_.start([this] { run(); });
}

void IPCameraH264::Stop() {
  thread_.requestStop();
  input_.event().set();
  thread_.join();
}

void IPCameraH264::run() {
  thread_.runTurns(input_.event(), [this] { return decodeNext(); });
}

bool IPCameraH264::decodeNext() {
  if (!takeDecodableUnit()) return input_.queuedCount() != 0;
  // Without a decoder the units still drain (the recorder has had them): left queued, they would
  // keep the event set and this thread spinning.
  H264Decoder* decoder = decoder_.load(std::memory_order_acquire);
  if (decoder == nullptr) return true;
  BITMAPINFOHEADER info{};
  if (decoder->Decode(int(unitSize_), inputArea_.get(), nullptr, &info) < 0) return true;
  RecordingSink* recorder = recorder_.load(std::memory_order_acquire);
  if (recorder != nullptr && recorder->IsRecording()) {
    recorder->SetSize(info.biWidth, std::abs(info.biHeight));
  }
  std::lock_guard lock(outputLock_);
  // The display wants the newest picture, not a backlog.
  if (waitingPictures_.size() >= kMaxWaitingPictures) waitingPictures_.clear();
  decoder->publishPicture();
  waitingPictures_.push_back(info.biSizeImage);
  lastInfo_ = info;
  pictureCounter_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

bool IPCameraH264::takeDecodableUnit() {
  bool decodable = false;
  RecordingSink* recorder = recorder_.load(std::memory_order_acquire);
  const bool took = input_.takeOldest([&](std::span<const uint8_t> unit) {
    if (recorder != nullptr && recorder->IsRecording()) recorder->AddFrame(unit);
    decodable = isDecodableAccessUnit(unit) && unit.size() <= kInputAreaBytes;
    if (!decodable) {
      DebugTrace("h264: access unit of %zu bytes not decodable, dropped", unit.size());
      return;
    }
    std::memcpy(inputArea_.get(), unit.data(), unit.size());
    std::memset(inputArea_.get() + unit.size(), 0, kInputPaddingBytes);
    unitSize_ = unit.size();
  });
  return took && decodable;
}

template <typename TakePicture>
int32_t IPCameraH264::takeWaitingPicture(BITMAPINFOHEADER* info, TakePicture take) {
  std::lock_guard lock(outputLock_);
  if (waitingPictures_.empty()) return -1;
  if (info != nullptr) *info = lastInfo_;
  if (H264Decoder* decoder = decoder_.load(std::memory_order_acquire)) take(*decoder);
  waitingPictures_.pop_front();
  return int32_t(waitingPictures_.size());
}

int32_t IPCameraH264::GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  return takeWaitingPicture(info, [&](const H264Decoder& decoder) {
    if (image != nullptr && size != nullptr && *size > 0) {
      decoder.CopyFromAVFrame(image, size_t(*size), info);
    }
  });
}

int32_t IPCameraH264::LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) {
  return takeWaitingPicture(info, [&](const H264Decoder& decoder) {
    PictureLease newest = decoder.LendPicture();
    if (info != nullptr && newest) *info = makeBgrPictureHeader(newest.width(), newest.height());
    if (lease != nullptr) *lease = std::move(newest);
  });
}

}  // namespace vexa
