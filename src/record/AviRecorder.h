#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>

#include "media/RecordingSink.h"
#include "record/AviWriter.h"

namespace vexa {

// The recording sink of one stream player: keeps the last six pictures, works out from their
// arrival how often each is written to hold a constant 25 or 30 frames a second, and runs the
// numbered files of a recording (cam001.avi, cam002.avi, ...).
//
// Requests (RequestStart, RequestStop) come from the user-interface thread and only set the state;
// the intake (AddFrame, on the display's or the decode thread) acts on it with the next picture,
// so files are opened, written and closed on the intake's thread.
class AviRecorder final : public RecordingSink {
 public:
  enum State : uint32_t { kIdle = 0, kStartRequested = 1, kRecording = 2, kStopRequested = 3,
                          kRestartRequested = 4 };
  static constexpr size_t kRingSlots = 6;

  // Told once per failed recording, on the intake's thread, with the text for the user:
  // "Recording stopped: cannot write rec/cam001.avi: No space left on device (5)".
  using FailureReport = std::function<void(const std::string& text)>;

  AviRecorder(FailureReport report = {},
              const platform::Clock& clock = platform::SystemClock::instance(),
              std::unique_ptr<platform::File> file = std::make_unique<platform::PosixFile>(),
              AviLimits limits = {});
  ~AviRecorder() override;

  // User-interface thread.
  bool RequestStart(const std::string& path, uint32_t kind, int32_t fps, int32_t width,
                    int32_t height);
  void RequestStop();
  bool IsRecording() const override;
  uint32_t state() const;

  // Intake.
  void SetSize(int32_t width, int32_t height) override;
  bool AddFrame(std::span<const uint8_t> picture) override;
  void describeStream(const RecordedStreamFacts& facts) override;
  // Writes out what the ring holds and closes the file; state idle. The intake must be stopped.
  void Close();

  // The files of the current or last recording, in order (for the closing line of a run).
  std::vector<std::string> filesWritten() const;
};

}  // namespace vexa
