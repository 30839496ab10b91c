#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "audio/TalkPackets.h"
#include "platform/AudioInput.h"
#include "platform/Dialogs.h"
#include "platform/Socket.h"
#include "platform/Thread.h"

namespace vexa {

// Where talk goes and in which codec, as the stream's description told the site.
struct TalkTarget {
  uint16_t port = 0;    // the camera's talk port; 0: the description named none
  int32_t codec = -1;   // StreamConfig numbering; outside 0 to 5: nothing is sent
};

// What stays fixed for a site's talk.
struct TalkSettings {
  std::string host;        // the camera, dotted or a name
  uint16_t localPort = 0;  // the slot's fifth client port
  std::string brand;       // "VAD" cameras get their own advice when no microphone opens
};

// What talk has sent, for the user's summary.
struct TalkFigures {
  uint64_t packets = 0;
  int32_t codec = -1;
  std::string destination;  // "HOST:PORT" of the last start that had a socket
};

// The talk thread of a site: serves start, stop and quit messages, records from the microphone
// and sends each 64 ms buffer, encoded with the stream's codec, as one RTP packet over a connected
// UDP socket to the camera's talk port. Encoding and sending run on the device's thread.
class IPCameraAudioWaveIn {
 public:
  static constexpr uint32_t kStartTalk = 1524;
  static constexpr uint32_t kStopTalk = 1525;
  static constexpr uint32_t kQuit = 1526;
  // The caption of the one message talk may show.
  static constexpr const char* kCaption = "Talk";
  static constexpr const char* kVadBrand = "VAD";
  static constexpr const char* kConnectMicrophone =
      "To use talk function, please connect a microphone to your PC.";
  static constexpr size_t kMaxErrorText = 260;

  using TargetSource = std::function<TalkTarget()>;
  // Sees each whole recording buffer before it is encoded, on the device's thread.
  using BufferObserver = std::function<void(std::span<const uint8_t> pcm)>;

  // dialogs (not owned) may be null: messages then go nowhere. target is asked at each start.
  IPCameraAudioWaveIn(TalkSettings settings, platform::AudioInputFactory microphone,
                      platform::Dialogs* dialogs, TargetSource target);
  IPCameraAudioWaveIn(const IPCameraAudioWaveIn&) = delete;
  IPCameraAudioWaveIn& operator=(const IPCameraAudioWaveIn&) = delete;
  // Quits and waits for the thread.
  ~IPCameraAudioWaveIn();

  // Before the first start.
  void setBufferObserver(BufferObserver observer) { observer_ = std::move(observer); }
  void setDialogs(platform::Dialogs* dialogs) { dialogs_ = dialogs; }

  // Any thread.
  void post(uint32_t message) { thread_.post(message); }
  // Posts quit and waits for the thread to end.
  void quit();

  bool running() const { return running_.load(std::memory_order_acquire); }
  TalkFigures figures() const;

 private:
  bool serve(uint32_t message);
  void startTalk();
  void stopTalk();
  // Leaves the socket open only when it is connected.
  void openSocket(const TalkTarget& target);
  void showNoMicrophone(const std::string& error);
  void recorded(std::span<const uint8_t> pcm);
  void sendBuffer(std::span<const uint8_t> buffer);

  const TalkSettings settings_;
  const platform::AudioInputFactory microphone_;
  platform::Dialogs* dialogs_;
  const TargetSource target_;
  BufferObserver observer_;

  // Set on the talk thread while no device is open; used by the device's thread while one is.
  audio::TalkBufferChunker chunker_;
  audio::TalkPacketizer packetizer_;
  platform::Socket socket_;

  std::atomic<bool> running_{false};
  std::atomic<uint64_t> packetsSent_{0};
  mutable std::mutex figuresLock_;
  TalkFigures figures_;  // but packets, under figuresLock_

  // Declared last: it goes first, before what the device and the messages use.
  std::unique_ptr<platform::AudioInput> input_;
  platform::MessageThread thread_;
};

}  // namespace vexa
