#include "audio/IPCameraAudioWaveIn.h"

#include "common/DebugTrace.h"

namespace vexa {

IPCameraAudioWaveIn::IPCameraAudioWaveIn(TalkSettings settings,
                                         platform::AudioInputFactory microphone,
                                         platform::Dialogs* dialogs, TargetSource target)
    : settings_(std::move(settings)),
      microphone_(std::move(microphone)),
      dialogs_(dialogs),
      target_(std::move(target)) {
  thread_.start([this](uint32_t message) { return serve(message); });
}

IPCameraAudioWaveIn::~IPCameraAudioWaveIn() { quit(); }

void IPCameraAudioWaveIn::quit() {
  thread_.post(kQuit);
  thread_.join();
}

bool IPCameraAudioWaveIn::serve(uint32_t message) {
  switch (message) {
    case kStartTalk:
      startTalk();
      return true;
    case kStopTalk:
      stopTalk();
      return true;
    case kQuit:
      stopTalk();
      return false;
    default:
      return true;
  }
}

TalkFigures IPCameraAudioWaveIn::figures() const {
  std::lock_guard lock(figuresLock_);
  TalkFigures figures = figures_;
  figures.packets = packetsSent_.load(std::memory_order_relaxed);
  return figures;
}

// The device opens paused and starts last: by its first buffer the socket and the encoder are
// ready.
void IPCameraAudioWaveIn::startTalk() {
  if (running()) return;
  platform::AudioInputOpening opening =
      microphone_ ? microphone_([this](std::span<const uint8_t> pcm) { recorded(pcm); })
                  : platform::AudioInputOpening{};
  if (!opening.input) {
    showNoMicrophone(opening.error);
    return;
  }
  const TalkTarget target = target_ ? target_() : TalkTarget{};
  openSocket(target);
  chunker_.reset();
  packetizer_.start(target.codec);
  input_ = std::move(opening.input);
  running_.store(true, std::memory_order_release);
  input_->resume();
}

// Closing the device waits for its last buffer, so nothing is sent once this returns and the
// socket closes with no send under way.
void IPCameraAudioWaveIn::stopTalk() {
  if (!running()) return;
  running_.store(false, std::memory_order_release);
  input_.reset();
  socket_.close();
}

void IPCameraAudioWaveIn::openSocket(const TalkTarget& target) {
  if (target.port == 0) {
    DebugTrace("talk: the camera named no talk port; nothing is sent");
    return;
  }
  const std::string address = platform::resolveIpv4(settings_.host);
  if (address.empty()) {
    DebugTrace("talk: cannot resolve '%s'", settings_.host.c_str());
    return;
  }
  const bool ready = socket_.create(platform::Socket::Type::Datagram) == 0 &&
                     socket_.setReuseAddress(true) == 0 &&
                     socket_.bindAny(settings_.localPort) == 0 &&
                     socket_.connect(address, target.port) == 0;
  if (!ready) {
    // Kept open, the number could be sent on after the system gave it to another file.
    DebugTrace("talk: no socket from port %u to %s:%u", unsigned(settings_.localPort),
               address.c_str(), unsigned(target.port));
    socket_.close();
    return;
  }
  std::lock_guard lock(figuresLock_);
  figures_.codec = target.codec;
  figures_.destination = address + ":" + std::to_string(target.port);
}

void IPCameraAudioWaveIn::showNoMicrophone(const std::string& error) {
  DebugTrace("talk: no microphone: %s", error.c_str());
  if (dialogs_ == nullptr) return;
  const std::string text =
      settings_.brand == kVadBrand ? kConnectMicrophone : error.substr(0, kMaxErrorText);
  dialogs_->showMessage(text, kCaption);
}

void IPCameraAudioWaveIn::recorded(std::span<const uint8_t> pcm) {
  if (!running()) return;
  chunker_.push(pcm, [this](std::span<const uint8_t> buffer) { sendBuffer(buffer); });
}

void IPCameraAudioWaveIn::sendBuffer(std::span<const uint8_t> buffer) {
  if (observer_) observer_(buffer);
  if (!socket_.isOpen()) return;
  const std::vector<uint8_t> packet = packetizer_.packetFor(buffer);
  if (packet.empty()) return;
  // A refused send loses one buffer; the next goes out as usual.
  if (socket_.send(packet.data(), packet.size()) == ssize_t(packet.size())) {
    packetsSent_.fetch_add(1, std::memory_order_relaxed);
  }
}

}  // namespace vexa
