#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "audio/AudioPacketPath.h"
#include "platform/AudioOutput.h"
#include "net/DatagramWorker.h"

namespace vexa::audio {

// The audio of the UDP and multicast models: its own socket and worker on the stream's audio
// RTP port, each datagram through the same packet path the interleaved handlers use.
class UdpAudioReceiver {
 public:
  explicit UdpAudioReceiver(const platform::AudioOutputFactory& openOutput);
  UdpAudioReceiver(const UdpAudioReceiver&) = delete;
  UdpAudioReceiver& operator=(const UdpAudioReceiver&) = delete;
  ~UdpAudioReceiver() { stop(); }

  // Listens on port (joining group on the interface with the dotted address interfaceAddress
  // when group is a multicast address; both empty for unicast). audioCodec is in
  // StreamConfig::audioCodec numbers and is read at the first datagram: the session description
  // may still change it with setConfiguredCodec() until then. platform::StartResult.
  int start(uint16_t port, int32_t audioCodec, std::string group = {},
            std::string interfaceAddress = {});
  // Ends the worker and waits for it.
  void stop() { worker_.stop(); }
  // The codec a new session description names. Any thread, also while running: the session's
  // first datagram takes it and begins the new session's accounting.
  void setConfiguredCodec(int32_t audioCodec) {
    configuredCodec_.store(audioCodec, std::memory_order_relaxed);
    newSession_.store(true, std::memory_order_release);
  }

  bool running() const { return worker_.running(); }
  // The port is bound and datagrams are being received.
  bool listening() const { return worker_.listening(); }

  void setAudioOn(bool on) { path_.setAudioOn(on); }
  bool audioOn() const { return path_.audioOn(); }
  uint32_t takeReceivedBytes() { return path_.takeReceivedBytes(); }
  uint64_t packetsReceived() const { return path_.packetsReceived(); }
  ReceptionFigures figures() const { return path_.figures(); }
  int32_t lostPackets() const { return path_.lostPackets(); }
  // The codec index in use (set at the first datagram).
  uint8_t codec() const { return path_.codec(); }
  const AudioPacketPath& path() const { return path_; }

  // The datagram step: one datagram as the port received it (possibly empty) into the packet
  // path. The worker runs it on each datagram; it runs on the caller's thread while no worker
  // runs.
  void onDatagram(std::span<const uint8_t> datagram);

 private:
  AudioPacketPath path_;
  std::atomic<int32_t> configuredCodec_{0};
  std::atomic<bool> newSession_{true};
  DatagramWorker worker_;
};

}  // namespace vexa::audio
