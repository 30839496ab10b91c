#include "protocol/rtsp/MulticastSetup.h"

#include <utility>

#include "common/DebugTrace.h"
#include "protocol/HeaderFields.h"

namespace vexa::rtsp {

namespace {

constexpr std::string_view kTransportHeader = "Transport";

std::optional<MulticastTransport> transportOf(const RtspAnswer& answer) {
  return readMulticastTransport(headerValue(answer.head, kTransportHeader));
}

}  // namespace

MulticastSetup::MulticastSetup(SocketWorker& worker, const platform::Clock& clock, Joined joined)
    : worker_(worker),
      joined_(std::move(joined)),
      exchange_(worker, clock),
      actions_{.sendAgain = [this] { sendRequestOfState(); },
               // A redirect belongs before DESCRIBE: here it names no group to join.
               .follow =
                   [this](const RedirectTarget& target) {
                     fail(StreamFault::kErrorAnswer, "redirected to " + target.url + " at SETUP");
                   },
               .proceed = [this](const RtspAnswer& answer) { proceed(answer); },
               .skip = [this] { play(); }} {}

void MulticastSetup::begin(Tracks tracks, const auth::Credentials& credentials,
                           const std::string& host) {
  reset();
  tracks_ = std::move(tracks);
  exchange_.begin(credentials, host);
  moveTo(State::kSetupVideo);
}

void MulticastSetup::reset() {
  state_ = State::kIdle;
  cseq_ = kFirstCseq;
  sessionId_.clear();
  sessionTimeout_.reset();
  video_.reset();
  audio_.reset();
}

std::string MulticastSetup::requestFor(State state) {
  switch (state) {
    case State::kSetupVideo:
      return multicastSetupRequest(tracks_.urls.control(tracks_.videoControl), cseq_++, {});
    case State::kSetupAudio:
      // In the video's session: PLAY on it then starts both.
      return multicastSetupRequest(tracks_.urls.control(*tracks_.audioControl), cseq_++, {},
                                   sessionId_);
    case State::kPlay:
      return playRequest(tracks_.urls.session(), cseq_++, sessionId_);
    default:
      return {};
  }
}

void MulticastSetup::sendRequestOfState() {
  const std::string request = requestFor(state());
  // With the video set up, a refused audio track leaves the video to play alone.
  if (!request.empty()) exchange_.send(request, state() == State::kSetupAudio);
}

void MulticastSetup::moveTo(State next) {
  state_ = next;
  sendRequestOfState();
}

void MulticastSetup::fail(StreamFault fault, std::string detail) {
  state_ = State::kEnded;
  worker_.endConnection({fault, std::move(detail)});
}

void MulticastSetup::readAnswers(ByteBuffer& buffer) {
  while (!worker_.status().failure()) {
    const std::optional<RtspAnswer> answer = readRtspAnswer(buffer.text());
    if (!answer) {
      if (buffer.size() <= kMaxAnswerBytes) return;
      if (state() != State::kPlaying) {
        fail(StreamFault::kAnswerUnreadable, {});
        return;
      }
      buffer.clear();  // the media runs elsewhere: drop what no answer came of
      return;
    }
    buffer.eraseFront(int32_t(answer->length));
    if (state() == State::kPlaying) {
      exchange_.takeWhilePlaying(*answer, [this] {
        exchange_.send(keepAliveRequest(exchange_.keepAliveMethod(), tracks_.urls.session(),
                                        cseq_++, sessionId_));
      });
    } else if (state() != State::kIdle && state() != State::kEnded) {
      exchange_.take(*answer, actions_);
    }
  }
}

void MulticastSetup::proceed(const RtspAnswer& answer) {
  switch (state()) {
    case State::kSetupVideo:
      takeVideoAnswer(answer);
      return;
    case State::kSetupAudio:
      takeAudioAnswer(answer);
      return;
    case State::kPlay:
      // The keep-alive clock starts before anyone can see the stream playing.
      exchange_.startKeepAlive(sessionTimeout_);
      state_ = State::kPlaying;
      worker_.status().markPlaying();
      return;
    default:
      return;
  }
}

void MulticastSetup::takeVideoAnswer(const RtspAnswer& answer) {
  const std::optional<SessionHeader> session = readSessionHeader(answer.head);
  if (!session) {
    fail(StreamFault::kErrorAnswer, "no session in the answer to SETUP");
    return;
  }
  sessionId_ = session->id;
  sessionTimeout_ = session->timeoutSeconds;
  video_ = transportOf(answer);
  if (!video_) {
    fail(StreamFault::kTransportRefused, "no multicast group in the answer to SETUP");
    return;
  }
  if (tracks_.audioControl) {
    moveTo(State::kSetupAudio);
  } else {
    play();
  }
}

void MulticastSetup::takeAudioAnswer(const RtspAnswer& answer) {
  audio_ = transportOf(answer);
  if (!audio_) DebugTrace("multicast: the audio SETUP names no group; the video plays alone\n");
  play();
}

void MulticastSetup::play() {
  if (joined_) joined_(*video_, audio_);
  moveTo(State::kPlay);
}

void MulticastSetup::onTick() {
  switch (state()) {
    case State::kPlaying:
      if (const auto method = exchange_.keepAliveDue()) {
        exchange_.send(keepAliveRequest(*method, tracks_.urls.session(), cseq_++, sessionId_));
      }
      return;
    case State::kSetupVideo:
    case State::kSetupAudio:
    case State::kPlay:
      if (exchange_.answerOverdue()) {
        fail(StreamFault::kNoAnswer, exchange_.pendingMethod());
      }
      return;
    default:
      return;
  }
}

std::string MulticastSetup::teardown() {
  const State was = state_.exchange(State::kEnded);
  if (sessionId_.empty() || was == State::kIdle || was == State::kEnded) return {};
  return exchange_.prepare(teardownRequest(tracks_.urls.session(), cseq_++, sessionId_));
}

}  // namespace vexa::rtsp
