#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "media/RecordingSink.h"
#include "record/AviH264Units.h"
#include "record/AviWriter.h"

namespace vexa {

// The recording sink of one stream player: keeps the last six pictures, works out from their
// arrival how often each is written to hold a constant 25 or 30 frames a second, and runs the
// numbered files of a recording (cam001.avi, cam002.avi, ...).
//
// Requests (RequestStart, RequestStop) come from the user-interface thread and only set the state;
// the intake (AddFrame, on the display's or the decode thread) acts on it with the next picture,
// so files are opened, written and closed on the intake's thread.
class AviRecorder final : public StreamRecorder {
 public:
  enum State : uint32_t {
    kIdle = 0,
    kStartRequested = 1,
    kRecording = 2,
    kStopRequested = 3,
    kRestartRequested = 4
  };
  static constexpr size_t kRingSlots = 6;

  // A failure is told as "Recording stopped: cannot write rec/cam001.avi: No space left on
  // device (5)".
  AviRecorder(FailureReport report = {},
              const platform::Clock& clock = platform::SystemClock::instance(),
              std::unique_ptr<platform::File> file = std::make_unique<platform::PosixFile>(),
              AviLimits limits = {});
  ~AviRecorder() override;

  // User-interface thread.
  bool RequestStart(const std::string& path, uint32_t kind, int32_t fps, int32_t width,
                    int32_t height) override;
  void RequestStop() override;
  bool IsRecording() const override;
  uint32_t state() const;

  // Intake.
  void SetSize(int32_t width, int32_t height) override;
  bool AddFrame(std::span<const uint8_t> picture) override;
  void describeStream(const RecordedStreamFacts& facts) override;
  // Writes out what the ring holds and closes the file; state idle. The intake must be stopped.
  void Close() override;

  // The files of the current or last recording, in order (for the closing line of a run).
  std::vector<std::string> filesWritten() const override;

 private:
  // What a recording is asked to be, kept until the intake begins it.
  struct Request {
    std::string base;
    std::string extension;
    uint32_t kind = kAviKindJpeg;
    int32_t fps = 0;    // 0: the stream's, when known
    int32_t width = 0;  // 0: not given
    int32_t height = 0;
  };
  // The written frame rate, the period of one frame and the rounding term of the repeat count.
  struct Pace {
    uint32_t fps;
    uint32_t periodMs;
    uint32_t roundingMs;
  };
  struct Slot {
    std::vector<uint8_t> data;
    uint32_t arrival = 0;
    bool key = false;
    bool filled = false;
  };
  enum class RepeatKey { kKey, kNotKey };

  static Pace paceFor(int64_t fps);
  // Acts on a request; true when pictures are to be taken.
  bool takeRequests();
  bool begin(const Request& request, const RecordedStreamFacts& facts);
  bool openNextFile();
  bool storeInRing(std::span<const uint8_t> picture, uint32_t now);
  void pace();
  uint64_t framesFor(uint32_t gapMs);
  bool writePicture(const Slot& slot, uint64_t times, RepeatKey repeatKey, bool atClose);
  bool writeFrame(std::span<const uint8_t> data, bool key);
  // Writes out the ring and closes the file, leaving the state as it is.
  void finish();
  void emptyRing();
  void failed(int32_t result);
  void endRecording();
  std::pair<int32_t, int32_t> runningSize() const;

  const FailureReport report_;
  const platform::Clock& clock_;
  AviWriter writer_;
  std::atomic<uint32_t> state_{kIdle};
  std::atomic<uint64_t> runningSize_{0};  // width << 32 | height; 0 until told

  mutable std::mutex mutex_;  // guards the three below
  Request request_;
  RecordedStreamFacts facts_;
  std::vector<std::string> files_;

  // The intake's own.
  bool active_ = false;
  uint32_t kind_ = kAviKindJpeg;
  Pace pace_{};
  int64_t owedMs_ = 0;  // picture time not yet written; negative: written ahead
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::string base_;
  std::string extension_;
  uint32_t fileNumber_ = 0;
  std::array<Slot, kRingSlots> ring_;
  size_t next_ = 0;
  H264ParameterSets sets_;
};

}  // namespace vexa
