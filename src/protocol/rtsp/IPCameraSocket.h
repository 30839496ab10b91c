#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/Event.h"
#include "protocol/rtsp/RtspHeaders.h"
#include "protocol/rtsp/RtspRequests.h"
#include "protocol/rtsp/SessionDescription.h"
#include "net/SocketWorker.h"
#include "common/StreamConfig.h"

namespace vexa {

// The RTSP dialogue of the UDP models: DESCRIBE, SETUP of each track to the client ports, PLAY;
// the camera then sends RTP and RTCP as datagrams to receivers the site runs. After the dialogue
// the connection is left alone (the worker parks at the next data) until Stop tears it down.
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

  explicit IPCameraSocket(DescribedStep onDescribed = {});
  IPCameraSocket(const IPCameraSocket&) = delete;
  IPCameraSocket& operator=(const IPCameraSocket&) = delete;
  ~IPCameraSocket();

  // The site's configuration: the worker reads and writes it while it runs.
  void setConfig(StreamConfig* config) { config_ = config; }
  // Empties the buffers and starts the worker; true when a thread was started.
  bool Play();
  // Sends TEARDOWN from the calling thread (while the connection is up), then ends the worker.
  void Stop();

  int32_t state() const { return state_.load(std::memory_order_relaxed); }
  // The connection is up and its worker runs.
  bool running() const { return worker_.running(); }
  // The audio codec the description named (StreamConfig numbering), for other threads.
  int32_t audioCodec() const { return audioCodec_.load(std::memory_order_relaxed); }

 private:
  void onRead();
  void onWrite();
  void readAnswer();
  bool readDescribeAnswer(std::string_view text, const AnswerHead& head);
  void park();
  void moveTo(State next);
  std::string requestFor(State state);

  DescribedStep onDescribed_;
  StreamConfig* config_ = nullptr;
  SocketWorker worker_;
  platform::Event runEvent_;
  std::atomic<int32_t> state_{kDescribe};
  std::atomic<int32_t> audioCodec_{kAudioCodecPcma};
  // The dialogue's texts and the configuration's CSeq: the worker builds requests from them and
  // Stop builds TEARDOWN from another thread.
  std::mutex dialogueLock_;
  rtsp::RequestUrls urls_;
  std::string session_;
  std::string videoControl_;
  std::string audioControl_;
};

}  // namespace vexa
