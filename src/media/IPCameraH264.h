#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>

#include "common/CriticalSection.h"
#include "media/PictureExchange.h"
#include "media/PictureFormat.h"
#include "media/RecordingSink.h"
#include "media/rtp/AccessUnitQueue.h"
#include "platform/Thread.h"

namespace vexa {

class H264Decoder;

// The H.264 decode thread: takes access units from the queue the receiving side fills, decodes
// them, and keeps the newest pictures for the display, which copies one out with GetH264Frame or
// borrows it with LendH264Frame.
class IPCameraH264 {
 public:
  // One access unit is copied here, followed by zero padding, before it is decoded; larger
  // units are not decodable.
  static constexpr size_t kInputAreaBytes = 0x140000;  // 1,310,720
  static constexpr size_t kInputPaddingBytes = 100;
  // Pictures waiting for the display beyond this are dropped for the newer one.
  static constexpr size_t kMaxWaitingPictures = 2;

  IPCameraH264();
  IPCameraH264(const IPCameraH264&) = delete;
  IPCameraH264& operator=(const IPCameraH264&) = delete;
  ~IPCameraH264();

  // The player's decoder; none until the site hands it over.
  void setDecoder(H264Decoder* decoder) { decoder_.store(decoder, std::memory_order_release); }
  // The recording tap: each unit taken, before it is decoded, and the size of each picture.
  void setRecordingSink(RecordingSink* sink) { recorder_.store(sink, std::memory_order_release); }
  // Reopens the decoder and starts the thread: platform::StartResult.
  int Start();
  void Stop();

  // Receiving thread: a complete access unit (Annex B).
  rtp::AccessUnitQueue::HandOff handOff(std::span<const uint8_t> unit) { return input_.handOff(unit); }
  // Decode thread: one turn without its wait: the oldest unit taken and, when decodable,
  // decoded and its picture kept for the display. False when there is nothing to do until a
  // unit or the decoder arrives. The thread runs it; it runs on the caller's thread while no
  // thread runs.
  bool decodeNext();

  // Display thread: the oldest waiting picture, bottom-up, into image (capacity *size bytes);
  // the pictures still waiting after it, or -1 when none waited.
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);
  // The same without the copy: the newest picture stays lent to the caller through lease.
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info);
  CLFXCriticalSection& outputLock() { return outputLock_; }
  // Units waiting for the decode thread; takes the input lock.
  size_t queuedCount() { return input_.queuedCount(); }
  // Pictures decoded so far.
  const std::atomic<uint32_t>& pictureCounter() const { return pictureCounter_; }

 private:
  void run();
  bool takeDecodableUnit();
  template <typename TakePicture>
  int32_t takeWaitingPicture(BITMAPINFOHEADER* info, TakePicture take);

  rtp::AccessUnitQueue input_;
  std::atomic<H264Decoder*> decoder_{nullptr};
  std::atomic<RecordingSink*> recorder_{nullptr};
  platform::WorkerThread thread_;
  std::unique_ptr<uint8_t[]> inputArea_;
  size_t unitSize_ = 0;

  CLFXCriticalSection outputLock_;
  std::deque<uint32_t> waitingPictures_;  // sizes, under outputLock_
  BITMAPINFOHEADER lastInfo_{};
  std::atomic<uint32_t> pictureCounter_{0};
};

// Whether an access unit can be decoded: a start code within its first bytes, followed by a NAL
// unit of a slice or parameter-set type (1 to 9).
bool isDecodableAccessUnit(std::span<const uint8_t> unit);

}  // namespace vexa
