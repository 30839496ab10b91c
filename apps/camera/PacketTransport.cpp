#include "camera/PacketTransport.h"

#include "camera/RtpStream.h"
#include "common/DebugTrace.h"

namespace vexa::camera {

void InterleavedTransport::sendRtp(std::span<const uint8_t> header,
                                   std::span<const uint8_t> payload) {
  appendInterleavedFrame(out_, channels_.rtp, header, payload);
}

void InterleavedTransport::sendRtcp(std::span<const uint8_t> packet) {
  appendInterleavedFrame(out_, channels_.rtcp, packet);
}

DatagramTransport::DatagramTransport(std::unique_ptr<UdpPortPair> ports, const Endpoint& client,
                                     ClientPorts clientPorts)
    : ports_(std::move(ports)),
      clientRtp_(client.withPort(clientPorts.rtp)),
      clientRtcp_(client.withPort(clientPorts.rtcp)),
      received_(kMaxRtcpDatagram) {}

void DatagramTransport::sendRtp(std::span<const uint8_t> header, std::span<const uint8_t> payload) {
  ports_->sendRtp(clientRtp_, header, payload);
}

void DatagramTransport::sendRtcp(std::span<const uint8_t> packet) {
  ports_->sendRtcp(clientRtcp_, packet);
}

void DatagramTransport::receiveRtcp(const RtcpHandler& handler) {
  Endpoint from;
  for (int taken = 0; taken < kMaxDatagramsPerReceive; ++taken) {
    const auto size = ports_->receiveRtcp(received_, from);
    if (!size) return;
    // Clients may answer from any port, but not from another host.
    if (!from.sameAddress(clientRtcp_)) {
      DebugTrace("DatagramTransport: ignored a datagram from %s\n", from.text().c_str());
      continue;
    }
    if (*size > received_.size()) {
      DebugTrace("DatagramTransport: ignored a %zu-byte RTCP datagram\n", *size);
      continue;
    }
    handler(std::span<const uint8_t>(received_.data(), *size));
  }
}

}  // namespace vexa::camera
