#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "common/StreamConfig.h"
#include "net/SocketWorker.h"
#include "platform/Clock.h"
#include "protocol/rtsp/RtspExchange.h"
#include "protocol/rtsp/RtspHeaders.h"
#include "protocol/rtsp/RtspRequests.h"
#include "protocol/rtsp/SessionDescription.h"

namespace vexa {

// The RTSP dialogue of the UDP models: DESCRIBE, SETUP of each track to the client ports, PLAY;
// the camera then sends RTP and RTCP as datagrams to receivers the site runs. While they play,
// the connection carries only keep-alives and their answers, until Stop tears the session down.
class IPCameraSocket {
 public:
  enum State : int32_t {
    kDescribe = 1,
    kSetupVideo = 2,
    kSetupAudio = 3,
    kPlay = 4,
    kNoMedia = 11,
    kNoSession = 12,
    kPlaying = 14,
    kTornDown = 999,
  };

  // Runs on the worker once the description is read, with the configuration it filled.
  using DescribedStep = std::function<void(const StreamConfig&)>;

  explicit IPCameraSocket(DescribedStep onDescribed = {},
                          const platform::Clock& clock = platform::SystemClock::instance());
  IPCameraSocket(const IPCameraSocket&) = delete;
  IPCameraSocket& operator=(const IPCameraSocket&) = delete;
  ~IPCameraSocket();

  // The site's configuration: the worker reads and writes it while it runs.
  void setConfig(StreamConfig* config) { config_ = config; }
  // Starts a new dialogue on a new connection (also after Stop); true when a thread was started.
  bool Play();
  // Sends TEARDOWN from the calling thread (while the connection is up), then ends the worker.
  void Stop();

  int32_t state() const { return state_.load(std::memory_order_relaxed); }
  // The connection is up and its worker runs.
  bool running() const { return worker_.running(); }
  // The audio codec the description named (StreamConfig numbering), for other threads; none
  // when it names no audio.
  std::optional<int32_t> audioCodec() const;
  // The port of the description's audio line, where talk goes; 0 while none was read.
  uint16_t talkPort() const { return talkPort_.load(std::memory_order_relaxed); }

  // For the owner's recovery: how the connection fares.
  const ConnectionStatus& status() const { return worker_.status(); }
  bool finished() const { return worker_.finished(); }

  // The read step on bytes the connection delivered (one receive's worth): they join the
  // receive buffer and the answers they complete are taken. The read event runs it on what the
  // socket received; it runs on the worker, or on the caller's thread while no worker runs.
  void onReceived(std::span<const uint8_t> bytes);
  // The write step: the request of the dialogue's state goes out. The worker runs it when the
  // connection is made and after a send blocked; it runs on the caller's thread while no worker
  // runs.
  void onWrite();

 private:
  // The worker's other steps; each holds the dialogue lock (Stop sends from another thread).
  void onRead();
  void onTick();
  void readReceived();
  bool connectionGoesOn() const;

  void sendRequestOfState();
  void send(std::string_view request);
  void sendKeepAlive(std::string_view method);
  void readAnswers();
  void proceed(const RtspAnswer& answer);
  void readDescribeAnswer(const RtspAnswer& answer);
  void takeSession(const RtspAnswer& answer);
  void startPlaying();
  void follow(const rtsp::RedirectTarget& target);
  void moveTo(State next);
  void endWith(State final, StreamFailure failure);
  std::string requestFor(State state);

  DescribedStep onDescribed_;
  StreamConfig* config_ = nullptr;
  SocketWorker worker_;
  std::atomic<int32_t> state_{kDescribe};
  std::atomic<bool> hasAudio_{false};
  std::atomic<int32_t> audioCodec_{kAudioCodecPcma};
  std::atomic<uint16_t> talkPort_{0};
  // The dialogue's texts, its exchange and the configuration's CSeq: the worker builds requests
  // from them and Stop builds TEARDOWN from another thread.
  std::mutex dialogueLock_;
  rtsp::RtspExchange exchange_;
  const rtsp::RtspExchange::Actions dialogueActions_;
  rtsp::RequestUrls urls_;
  std::string sessionId_;
  std::optional<uint32_t> sessionTimeout_;
  std::string videoControl_;
  std::string audioControl_;
};

}  // namespace vexa
