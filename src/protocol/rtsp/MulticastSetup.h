#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/ByteBuffer.h"
#include "net/SocketWorker.h"
#include "platform/Clock.h"
#include "protocol/auth/Authenticator.h"
#include "protocol/rtsp/MulticastTransport.h"
#include "protocol/rtsp/RtspExchange.h"
#include "protocol/rtsp/RtspRequests.h"

namespace vexa::rtsp {

// A multicast stream whose group the server chooses at SETUP, as standard servers do (their
// descriptions say "c=IN IP4 0.0.0.0" or port 0): SETUP of the video and of the audio in the
// video's session, PLAY, keep-alives while it plays, TEARDOWN at the end. It runs on the
// connection of the two DESCRIBEs, after them.
class MulticastSetup {
 public:
  enum class State : uint8_t { kIdle, kSetupVideo, kSetupAudio, kPlay, kPlaying, kEnded };

  // The CSeq after the two DESCRIBEs' fixed 0 and 1.
  static constexpr uint32_t kFirstCseq = 2;

  struct Tracks {
    RequestUrls urls;
    std::string videoControl;
    std::optional<std::string> audioControl;  // none: the stream has no audio to set up
  };
  // Where the answers send each track; runs on the worker before PLAY goes out, so that the
  // receivers have joined when the first packets arrive.
  using Joined = std::function<void(const MulticastTransport& video,
                                    const std::optional<MulticastTransport>& audio)>;

  MulticastSetup(SocketWorker& worker, const platform::Clock& clock, Joined joined);

  // Sends the video SETUP.
  void begin(Tracks tracks, const auth::Credentials& credentials, const std::string& host);
  // Back to idle, for a new connection.
  void reset();
  // Takes the answers in buffer (the connection's receive buffer).
  void readAnswers(ByteBuffer& buffer);
  // Each turn of the worker: a keep-alive when one is due, the end of a request left unanswered.
  void onTick();
  // The TEARDOWN of the session, ready to send; empty when no session is set up. Afterwards the
  // dialogue is over.
  std::string teardown();

  State state() const { return state_.load(std::memory_order_acquire); }
  const std::string& sessionId() const { return sessionId_; }

 private:
  std::string requestFor(State state);
  void sendRequestOfState();
  void moveTo(State next);
  void proceed(const RtspAnswer& answer);
  void takeVideoAnswer(const RtspAnswer& answer);
  void takeAudioAnswer(const RtspAnswer& answer);
  void play();
  void fail(StreamFault fault, std::string detail);

  SocketWorker& worker_;
  Joined joined_;
  RtspExchange exchange_;
  const RtspExchange::Actions actions_;
  std::atomic<State> state_{State::kIdle};
  Tracks tracks_;
  uint32_t cseq_ = kFirstCseq;
  std::string sessionId_;
  std::optional<uint32_t> sessionTimeout_;
  std::optional<MulticastTransport> video_;
  std::optional<MulticastTransport> audio_;
};

}  // namespace vexa::rtsp
