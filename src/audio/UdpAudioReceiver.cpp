#include "audio/UdpAudioReceiver.h"

namespace vexa::audio {

UdpAudioReceiver::UdpAudioReceiver(const platform::AudioOutputFactory& openOutput)
    : path_(openOutput, kCodecPcmu),
      worker_([this](std::span<const uint8_t> datagram) { onDatagram(datagram); }) {}

int UdpAudioReceiver::start(uint16_t port, int32_t audioCodec, std::string group,
                            std::string interfaceAddress) {
  if (worker_.running() || worker_.hasThread()) return platform::kAlreadyRunning;
  setConfiguredCodec(audioCodec);
  return worker_.start({.port = port,
                        .multicastGroup = std::move(group),
                        .interfaceAddress = std::move(interfaceAddress)});
}

void UdpAudioReceiver::onDatagram(std::span<const uint8_t> datagram) {
  // An empty read is no datagram of the camera's; it must not fix the codec.
  if (!datagram.empty() && newSession_.exchange(false, std::memory_order_acquire)) {
    path_.beginSession();
    path_.setCodec(codecIndexFromConfig(configuredCodec_.load(std::memory_order_relaxed)));
  }
  path_.onPacket(datagram);
}

}  // namespace vexa::audio
