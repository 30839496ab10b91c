#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "audio/AudioPacketPath.h"
#include "media/InterleavedVideoPath.h"
#include "media/RecordingSink.h"
#include "net/SocketWorker.h"
#include "common/StreamConfig.h"
#include "platform/Clock.h"
#include "protocol/rtcp/IPCameraRTCPPacket.h"
#include "protocol/rtsp/RtspExchange.h"
#include "protocol/rtsp/RtspHeaders.h"
#include "protocol/rtsp/RtspRequests.h"
#include "protocol/rtsp/RtspTunnel.h"
#include "protocol/rtsp/SessionDescription.h"

namespace vexa {

// How the members of the interleaved family differ besides their video path.
struct InterleavedCodecPolicy {
  DescribedVideoCodec codec;
  // The H.264 member builds its URLs on the answer's Content-Base; the others on host and path.
  bool usesContentBase;
  int receiveBufferSize;  // 0: the system's default
  // Requests through an HTTP tunnel: answers and frames on a GET connection, requests on a POST.
  bool tunnelled = false;
};

inline constexpr InterleavedCodecPolicy kJpegInterleavedPolicy{DescribedVideoCodec::kJpeg, false, 0};
inline constexpr InterleavedCodecPolicy kMpeg4InterleavedPolicy{DescribedVideoCodec::kMpeg4, false, 0};
// Bursts of large H.264 frames want a deep socket buffer.
inline constexpr InterleavedCodecPolicy kH264InterleavedPolicy{DescribedVideoCodec::kH264, true, 262144};
// Through the tunnel every member builds its URLs on the Content-Base.
inline constexpr InterleavedCodecPolicy kJpegTunnelPolicy{DescribedVideoCodec::kJpeg, true, 0, true};
inline constexpr InterleavedCodecPolicy kMpeg4TunnelPolicy{DescribedVideoCodec::kMpeg4, true, 0, true};
inline constexpr InterleavedCodecPolicy kH264TunnelPolicy{DescribedVideoCodec::kH264, true, 262144, true};

// The RTSP dialogue with RTP and RTCP interleaved on its TCP connection: DESCRIBE, SETUP for video
// and audio, PLAY, then channel frames to the video path, the audio counters and the receiver
// report answers, with keep-alives while playing. One implementation for the whole family, told
// its codec by a policy.
class InterleavedRtspSession {
 public:
  enum State : uint32_t {
    kDescribe = 0,
    kSetupVideo = 1,
    kSetupAudio = 2,
    kPlay = 3,
    kPlaying = 4,
    kTornDown = 5,
  };

  // audioOutput opens the sound device the audio track plays on; none: received and discarded.
  InterleavedRtspSession(const InterleavedCodecPolicy& policy, InterleavedVideoPath& video,
                         const platform::Clock& clock = platform::SystemClock::instance(),
                         const platform::AudioOutputFactory& audioOutput = {});
  InterleavedRtspSession(const InterleavedRtspSession&) = delete;
  InterleavedRtspSession& operator=(const InterleavedRtspSession&) = delete;
  ~InterleavedRtspSession();

  void setConfig(StreamConfig* config) { config_ = config; }
  // Told the stream's facts once the description is read.
  void setRecordingSink(RecordingSink* sink) { recorder_ = sink; }
  // Starts a new session on a new connection (also after Stop); true when its thread started.
  bool Play();
  // Ends the connection; no TEARDOWN is sent.
  void Stop();

  void setAudioOn(bool on) { audio_.setAudioOn(on); }
  bool audioOn() const { return audio_.audioOn(); }
  uint32_t takeVideoBytes() { return videoBytes_.exchange(0, std::memory_order_relaxed); }
  uint32_t takeAudioBytes() { return audio_.takeReceivedBytes(); }
  int32_t audioLost() const { return audio_.lostPackets(); }
  const audio::AudioPacketPath& audio() const { return audio_; }
  uint32_t state() const { return state_.load(std::memory_order_relaxed); }
  // The tunnel's x-sessioncookie; empty for a dialogue on one connection.
  const std::string& tunnelCookie() const { return tunnelCookie_; }
  // The audio codec the description named, for readers on other threads (the configuration
  // itself belongs to the worker while it runs); none when it names no audio.
  std::optional<int32_t> audioCodec() const;

  // For the owner's recovery: how the connection fares, and media packets received (a count
  // that only grows).
  const ConnectionStatus& status() const { return worker_.status(); }
  bool finished() const { return worker_.finished(); }
  uint64_t mediaPackets() const { return mediaPackets_.load(std::memory_order_relaxed); }

  // The read step on bytes the connection delivered (one receive's worth): they join the
  // receive buffer, then the answers and channel frames they complete are taken. The read event
  // runs it on what the socket received; it runs on the worker, or on the caller's thread while
  // no worker runs.
  void onReceived(std::span<const uint8_t> bytes);
  // The write step: the request of the dialogue's state goes out. The worker runs it when the
  // connection is made and after a send blocked; it runs on the caller's thread while no worker
  // runs.
  void onWrite();

 private:
  void onRead();
  void onConnected(int error);
  bool tunnelWaits();
  void openTunnel(size_t headerLength);
  // Where requests and receiver reports go: the connection, or the tunnel's POST.
  void deliver(std::string_view bytes);
  void onTick();
  void readReceived();
  bool connectionGoesOn() const;
  void send(std::string_view request);
  void readAnswers();
  void proceed(const RtspAnswer& answer);
  void readDescribeAnswer(const RtspAnswer& answer);
  void startPlaying();
  void sendKeepAlive(std::string_view method);
  void follow(const rtsp::RedirectTarget& target);
  void readFrames();
  void onFrame(uint8_t channel, std::span<const uint8_t> body);
  void answerRtcp(uint8_t channel, std::span<const uint8_t> rtcp);
  void moveTo(State next);
  std::string requestFor(State state);

  const InterleavedCodecPolicy policy_;
  InterleavedVideoPath& video_;
  StreamConfig* config_ = nullptr;
  RecordingSink* recorder_ = nullptr;
  SocketWorker worker_;
  rtsp::RtspExchange exchange_;
  const rtsp::RtspExchange::Actions dialogueActions_;
  std::atomic<uint32_t> state_{kDescribe};
  uint32_t cseq_ = 0;
  rtsp::RequestUrls urls_;
  std::string sessionId_;
  std::optional<uint32_t> sessionTimeout_;
  std::string videoControl_;
  std::string audioControl_;
  audio::AudioPacketPath audio_;
  IPCameraRTCPPacket videoRtcp_;
  IPCameraRTCPPacket audioRtcp_;
  std::atomic<uint32_t> videoBytes_{0};
  std::atomic<uint64_t> mediaPackets_{0};
  std::atomic<bool> hasAudio_{false};
  std::atomic<int32_t> audioCodec_{kAudioCodecPcma};
  // The tunnel (when the policy asks for one): the worker's connection is its GET.
  const std::string tunnelCookie_;
  rtsp::TunnelPost tunnelPost_;
  uint16_t tunnelPort_ = 0;
  bool tunnelGetSent_ = false;  // worker only
  bool tunnelOpen_ = false;     // worker only
};

}  // namespace vexa
