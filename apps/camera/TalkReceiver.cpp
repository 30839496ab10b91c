#include "camera/TalkReceiver.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "media/rtp/RtpPacket.h"

namespace vexa::camera {
namespace {

constexpr uint16_t kHalfSequenceSpace = 0x8000;

int64_t monotonicMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

uint8_t servedPayloadType(AudioCodec codec) {
  const AudioCodecInfo* info = audioCodecInfo(codec);
  return info ? info->payloadType : 0;
}

// A bound UDP socket and its port; fd -1 with errno set when it cannot be bound.
int bindDatagramSocket(const Endpoint& local, uint16_t& port) {
  const int fd = ::socket(local.family(), SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::bind(fd, local.socketAddress(), local.socketAddressLength()) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  port = Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&bound), length).port();
  return fd;
}

}  // namespace

TalkReceiver::TalkReceiver(AudioCodec codec, SenderCheck sessionHeldBy,
                           std::unique_ptr<TalkWavWriter> wav)
    : payloadType_(servedPayloadType(codec)),
      sessionHeldBy_(std::move(sessionHeldBy)),
      wav_(std::move(wav)) {
  decoderOpen_ = decoder_.open(codec);
}

TalkReceiver::~TalkReceiver() {
  stop();
}

bool TalkReceiver::start(const Endpoint& local, std::string& error) {
  if (!decoderOpen_) {
    error = "talk audio cannot be decoded";
    return false;
  }
  uint16_t port = 0;
  socket_ = bindDatagramSocket(local, port);
  if (socket_ < 0) {
    error = "cannot receive talk audio on " + local.text() + ": " + std::strerror(errno);
    return false;
  }
  port_.store(port, std::memory_order_relaxed);
  stopping_.store(false, std::memory_order_relaxed);
  thread_ = std::thread([this] { receiveLoop(); });
  return true;
}

void TalkReceiver::stop() {
  stopping_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  std::lock_guard lock(mutex_);
  if (wav_) wav_->close();
}

void TalkReceiver::receiveLoop() {
  std::array<uint8_t, kMaxDatagramBytes> buffer{};
  while (!stopping_.load(std::memory_order_relaxed)) {
    pollfd ready{socket_, POLLIN, 0};
    if (::poll(&ready, 1, kWaitSliceMs) <= 0) continue;
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const ssize_t got = ::recvfrom(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0) continue;
    const Endpoint sender = Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&from), length);
    // A datagram cut to the buffer is no packet: it goes through as a runt's bytes.
    const size_t kept = size_t(got) > buffer.size() ? 0 : size_t(got);
    onDatagram(std::span(buffer).first(kept), sender);
  }
}

void TalkReceiver::onDatagram(std::span<const uint8_t> bytes, const Endpoint& sender) {
  const int64_t arrivalUs = monotonicMicroseconds();
  std::unique_lock lock(mutex_);
  if (!sessionHeldBy_(sender)) {
    ++counts_.foreignDatagrams;
    return;
  }
  const auto packet = rtp::parseRtpPacket(bytes);
  if (!packet || packet->payload.empty() || packet->payloadType != payloadType_) {
    ++counts_.runts;
    return;
  }
  const std::optional<uint16_t> missing = missingBefore(packet->sequence, sender);
  if (!missing) {
    ++counts_.late;
    return;
  }
  std::vector<int16_t> samples;
  if (!decoder_.decode(packet->payload, samples)) {
    ++counts_.runts;
    return;
  }
  take({packet->sequence, arrivalUs, 0}, *missing, samples, sender);
  lock.unlock();
  arrived_.notify_all();
}

std::optional<uint16_t> TalkReceiver::missingBefore(uint16_t sequence,
                                                    const Endpoint& sender) const {
  if (!expected_ || !sender_ || !(*sender_ == sender)) return uint16_t(0);
  const uint16_t ahead = uint16_t(sequence - *expected_);
  if (ahead < kHalfSequenceSpace) return ahead <= kMaxGapPackets ? ahead : uint16_t(0);
  const uint16_t behind = uint16_t(*expected_ - sequence);
  if (behind <= kMaxGapPackets) return std::nullopt;
  return uint16_t(0);
}

void TalkReceiver::take(TalkArrival arrival, uint16_t missing, std::span<const int16_t> samples,
                        const Endpoint& sender) {
  // Each missing packet is taken to have been as long as this one.
  const std::vector<int16_t> silence(size_t(missing) * samples.size(), 0);
  pcm_.insert(pcm_.end(), silence.begin(), silence.end());
  arrival.sampleOffset = pcm_.size();
  arrivals_.push_back(arrival);
  pcm_.insert(pcm_.end(), samples.begin(), samples.end());
  if (wav_) {
    wav_->append(silence);
    wav_->append(samples);
  }
  ++counts_.packets;
  counts_.gaps += missing;
  sender_ = sender;
  expected_ = uint16_t(arrival.sequence + 1);
}

std::vector<int16_t> TalkReceiver::pcm() const {
  std::lock_guard lock(mutex_);
  return pcm_;
}

std::vector<TalkArrival> TalkReceiver::arrivals() const {
  std::lock_guard lock(mutex_);
  return arrivals_;
}

TalkCounts TalkReceiver::counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

std::optional<Endpoint> TalkReceiver::sender() const {
  std::lock_guard lock(mutex_);
  return sender_;
}

bool TalkReceiver::waitForPackets(uint64_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, limit, [&] { return counts_.packets >= count; });
}

std::string TalkReceiver::summary() const {
  std::lock_guard lock(mutex_);
  if (counts_.packets == 0 || !sender_) return {};
  return "talk: " + std::to_string(counts_.packets) + " packets from " + sender_->text() + ", " +
         std::to_string(counts_.gaps) + " gaps";
}

}  // namespace vexa::camera
