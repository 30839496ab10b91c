#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "media/rtp/ReceptionFigures.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "protocol/rtcp/IPCameraRTCPPacket.h"
#include "net/DatagramWorker.h"

namespace vexa {

// Receiver reports for one RTP-over-UDP stream: its own socket on the local RTCP port and its
// own thread. Every datagram that arrives there is answered with one report, sent from that
// socket to the address given at start and the port the datagram came from (cameras send their
// RTCP from the port they expect it back on).
class IPCameraRTCP {
 public:
  // What the stream's receiver has counted so far; called on the RTCP thread, so it must be
  // safe against the receive thread (the media manager's and audio receiver's figures() are).
  using FiguresSource = std::function<ReceptionFigures()>;

  // The video media clock until told otherwise; the CNAME is this computer's name.
  explicit IPCameraRTCP(FiguresSource figures,
                        const platform::Clock& clock = platform::SystemClock::instance());
  IPCameraRTCP(const IPCameraRTCP&) = delete;
  IPCameraRTCP& operator=(const IPCameraRTCP&) = delete;
  virtual ~IPCameraRTCP();

  // destination: the camera's address, dotted or a host name (looked up on the RTCP thread
  // when the first report is due). localPort: 0 lets the system choose (see localPort()).
  // platform::StartResult: started, already running, or failed.
  int start(const std::string& destination, uint16_t localPort);
  // Any thread; takes effect from the next datagram.
  void setMediaClock(MediaClock clock) { clock_.store(clock, std::memory_order_relaxed); }
  // Ends the thread and waits for it.
  void stop() { worker_.stop(); }

  bool running() const { return worker_.running(); }
  // The socket is bound and datagrams are answered.
  bool listening() const { return worker_.listening(); }
  uint16_t localPort() const { return worker_.localPort(); }
  uint32_t reportsSent() const { return reportsSent_.load(std::memory_order_relaxed); }

  // The datagram step once a datagram has come from sender: read, and answered with a report to
  // the destination (or the sender) at the sender's port. The worker runs it on each datagram;
  // it runs on the caller's thread while no worker runs.
  void answerDatagram(std::span<const uint8_t> datagram, const platform::Endpoint& sender);

 private:
  void onDatagram(std::span<const uint8_t> datagram);
  std::optional<platform::Endpoint> destinationAddress();

  FiguresSource figures_;
  std::atomic<MediaClock> clock_{MediaClock::kVideo};
  std::atomic<uint32_t> reportsSent_{0};

  // Written by start before the thread exists, then the RTCP thread's own.
  std::string destination_;
  bool destinationLookedUp_ = false;
  std::optional<platform::Endpoint> destinationAddress_;
  IPCameraRTCPPacket packet_;

  DatagramWorker worker_;  // last: ends before what its step uses
};

}  // namespace vexa
