#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "common/CriticalSection.h"
#include "media/BgrConverter.h"
#include "media/FfmpegDecoding.h"
#include "media/PictureFormat.h"
#include "platform/Dialogs.h"
#include "platform/Event.h"
#include "platform/Thread.h"

namespace vexa {

struct StreamConfig;

// The MPEG-4 play thread: takes whole pictures from the receiving side, checks that each is one
// picture, starts the stream at its first intra picture (with the stored configuration in front
// when the picture carries none) and decodes it into the one bottom-up BGR picture the display
// copies with GetMpeg4Frame.
//
// Locks: the play lock guards the queue and the stream's settings and is never held while
// decoding, so the receiving side waits for no decode; the picture lock guards the picture.
// Where both are taken, the play lock comes first.
class Mpeg4PlayThread {
 public:
  // What may wait for the thread; beyond it the backlog goes and the stream restarts at the next
  // intra picture.
  static constexpr size_t kMaxQueuedBytes = 524280;
  static constexpr size_t kMaxQueuedPictures = 256;

  explicit Mpeg4PlayThread(platform::Dialogs* dialogs = nullptr);
  Mpeg4PlayThread(const Mpeg4PlayThread&) = delete;
  Mpeg4PlayThread& operator=(const Mpeg4PlayThread&) = delete;
  ~Mpeg4PlayThread();

  // Where the failures the user must hear of go; none: they are only traced.
  void setDialogs(platform::Dialogs* dialogs) {
    dialogs_.store(dialogs, std::memory_order_release);
  }
  // The stored configuration from the session description, sent in front of a first intra
  // picture that carries none. The thread readies the picture for its size when it next wakes.
  void configure(const StreamConfig& config);

  // platform::StartResult. A fresh start forgets what waits, opens a fresh decoder and waits for
  // an intra picture again.
  int Start();
  void Stop();

  // Receiving thread: one whole picture as received. False when it cannot be queued.
  bool handOff(std::span<const uint8_t> picture);
  // One turn without the wait: the oldest picture taken and played. False when none waited. The
  // thread runs it; the caller's thread may while no thread runs.
  bool playNext();

  // Display thread: the picture bottom-up into image (capacity *size bytes) and its header.
  // Returns the count of decoded pictures, or -1 when there is no picture yet or it does not
  // fit. With no image, only the header is given.
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);
  CLFXCriticalSection& pictureLock() { return pictureLock_; }
  const std::atomic<uint32_t>& pictureCounter() const { return decoded_; }
  size_t queuedPictures();

 private:
  void run();
  // Under the play lock: the oldest picture into the work area, cleaned and prefixed. Its bytes,
  // empty when it is dropped.
  std::span<const uint8_t> takeOldest();
  std::span<const uint8_t> prepare(size_t length);
  bool sizeAccepted(std::span<const uint8_t> picture, bool ownConfiguration);
  // Opens the decoder when it is not; a failure is told once.
  bool openDecoder();
  void decode(std::span<const uint8_t> picture);
  bool keepPicture(const AVFrame& frame);
  // Before the first picture, the configuration's size is made ready, so that the first picture
  // on screen pays neither for its pages nor for the scaler's set-up.
  void prepareConfiguredSize();
  void refuseSize(uint32_t width, uint32_t height);
  void tell(const char* text);
  void clearQueue();

  std::atomic<platform::Dialogs*> dialogs_;
  platform::WorkerThread thread_;
  platform::Event event_{platform::Event::Reset::Manual};

  CLFXCriticalSection playLock_;
  std::vector<uint8_t> queuedBytes_;    // pictures back to back; under playLock_
  std::deque<uint32_t> queuedSizes_;    // under playLock_
  std::vector<uint8_t> configuration_;  // under playLock_
  bool started_ = false;                // an intra picture began the stream; under playLock_

  // Play thread only: the picture taken, with room for the configuration in front.
  std::unique_ptr<uint8_t[]> work_;
  ffmpeg::Decoder decoder_;
  BgrConverter converter_;
  bool decoderReported_ = false;
  bool sizeReported_ = false;
  std::atomic<bool> preparationWanted_{false};
  std::unique_ptr<uint8_t[]> prepared_;  // a picture of the configuration's size, converted once
  BITMAPINFOHEADER preparedHeader_{};

  CLFXCriticalSection pictureLock_;
  std::unique_ptr<uint8_t[]> picture_;  // under pictureLock_; fixed at the first decoded picture
  BITMAPINFOHEADER header_{};           // under pictureLock_
  std::atomic<uint32_t> decoded_{0};
};

}  // namespace vexa
