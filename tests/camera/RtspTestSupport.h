#pragma once

// Helpers for the RTSP tests: a loopback client that splits answers from interleaved frames and
// gathers datagrams at its UDP ports, an RTP header reader, and receiver-side reassembly of
// H.264 (RFC 6184) written apart from the camera's own code.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/TextFields.h"
#include "support/Datagrams.h"
#include "support/Loopback.h"

namespace vexa::test {

// Whether nothing holds 127.0.0.1:port any more.
inline bool udpPortClosed(uint16_t port) {
  return UdpEnd("127.0.0.1", port).bound();
}

// A client's RTP and RTCP ports for one stream.
struct UdpTestPorts {
  UdpEnd rtp;
  UdpEnd rtcp;

  std::string clientPort() const {
    return "client_port=" + std::to_string(rtp.port()) + "-" + std::to_string(rtcp.port());
  }
};

struct RtspReply {
  int status = 0;
  std::string header;
  std::string body;

  std::string field(std::string_view name) const {
    return std::string(
        trimBlanks(extractField(header, "\r\n" + std::string(name) + ":", ':', '\r')));
  }
};

// An interleaved frame, or a datagram filed under a channel of its own.
struct InterleavedFrame {
  uint8_t channel = 0;
  std::vector<uint8_t> data;
  uint16_t fromPort = 0;  // a datagram's source port
};

// An RTSP client over plain sockets: everything the camera sends is split, in order, into
// answers and interleaved frames. Datagrams at the ports of a stream received over UDP join the
// frames as if on channels rtpChannel and rtpChannel + 1.
class RtspTestClient {
 public:
  explicit RtspTestClient(uint16_t port) : socket_(port) {}

  bool sendRaw(std::string_view bytes) { return socket_.send(bytes); }
  void receiveDatagrams(UdpTestPorts& ports, uint8_t rtpChannel) {
    udp_.push_back({&ports.rtp, rtpChannel});
    udp_.push_back({&ports.rtcp, uint8_t(rtpChannel + 1)});
  }
  void closeConnection() { socket_.close(); }

  // Sends a request and waits for the next answer; status 0 when none comes.
  RtspReply request(const std::string& text) {
    if (!socket_.send(text) || !pump([this] { return !replies_.empty(); })) return {};
    RtspReply reply = std::move(replies_.front());
    replies_.pop_front();
    return reply;
  }

  // Reads until done() holds, the camera closes, or the generous wait ends.
  template <typename Done>
  bool pump(Done done) {
    socket_.receiveUntil([&](const std::string& data) {
      split(data);
      collectDatagrams();
      return done() || malformed_;
    });
    return done();
  }

  std::vector<InterleavedFrame>& frames() { return frames_; }

 private:
  void split(const std::string& data) {
    while (!malformed_ && parsed_ < data.size()) {
      if (data[parsed_] == '$') {
        if (data.size() - parsed_ < 4) return;
        const size_t length = size_t(uint8_t(data[parsed_ + 2])) << 8 | uint8_t(data[parsed_ + 3]);
        if (data.size() - parsed_ < 4 + length) return;
        const auto* first = reinterpret_cast<const uint8_t*>(data.data() + parsed_ + 4);
        frames_.push_back({uint8_t(data[parsed_ + 1]), {first, first + length}});
        parsed_ += 4 + length;
        continue;
      }
      if (data.compare(parsed_, 9, "RTSP/1.0 ") != 0) {
        malformed_ = data.size() - parsed_ >= 9;
        return;
      }
      const size_t end = data.find("\r\n\r\n", parsed_);
      if (end == std::string::npos) return;
      RtspReply reply;
      reply.header = data.substr(parsed_, end + 4 - parsed_);
      reply.status = int(parseLeadingInteger(std::string_view(reply.header).substr(9)));
      const size_t length = size_t(parseLeadingInteger(reply.field("Content-Length")));
      if (data.size() < end + 4 + length) return;
      reply.body = data.substr(end + 4, length);
      parsed_ = end + 4 + length;
      replies_.push_back(std::move(reply));
    }
  }

  void collectDatagrams() {
    for (auto& [socket, channel] : udp_) {
      while (auto datagram = socket->receive(std::chrono::milliseconds(0))) {
        frames_.push_back({channel, std::move(datagram->bytes), datagram->fromPort});
      }
    }
  }

  LoopbackConnection socket_;
  std::vector<std::pair<UdpEnd*, uint8_t>> udp_;
  size_t parsed_ = 0;
  bool malformed_ = false;
  std::deque<RtspReply> replies_;
  std::vector<InterleavedFrame> frames_;
};

struct ParsedRtp {
  bool marker = false;
  uint8_t payloadType = 0;
  uint16_t sequence = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0;
  std::vector<uint8_t> payload;
};

// Version 2 with a plain 12-byte header only: the camera sends no CSRC list, extension or
// padding.
inline std::optional<ParsedRtp> parseRtp(const std::vector<uint8_t>& packet) {
  if (packet.size() < 12 || packet[0] != 0x80) return std::nullopt;
  ParsedRtp rtp;
  rtp.marker = (packet[1] & 0x80) != 0;
  rtp.payloadType = packet[1] & 0x7F;
  rtp.sequence = uint16_t(packet[2] << 8 | packet[3]);
  rtp.timestamp = big32(packet, 4);
  rtp.ssrc = big32(packet, 8);
  rtp.payload.assign(packet.begin() + 12, packet.end());
  return rtp;
}

// Appends a single NAL unit, STAP-A or FU-A payload to an Annex B access unit; false for
// anything else.
inline bool appendH264Payload(const std::vector<uint8_t>& payload, std::vector<uint8_t>& unit) {
  const auto appendNal = [&](auto first, auto last) {
    unit.insert(unit.end(), {0, 0, 0, 1});
    unit.insert(unit.end(), first, last);
  };
  const uint8_t type = payload.empty() ? 0 : payload[0] & 0x1F;
  if (type >= 1 && type <= 23) {
    appendNal(payload.begin(), payload.end());
    return true;
  }
  if (type == 28 && payload.size() > 2) {
    const uint8_t header = (payload[0] & 0xE0) | (payload[1] & 0x1F);
    if (payload[1] & 0x80) appendNal(&header, &header + 1);
    unit.insert(unit.end(), payload.begin() + 2, payload.end());
    return true;
  }
  if (type != 24) return false;
  size_t at = 1;
  while (at + 2 <= payload.size()) {
    const size_t end = at + 2 + (size_t(payload[at]) << 8 | payload[at + 1]);
    if (end > payload.size()) return false;
    appendNal(payload.begin() + std::ptrdiff_t(at + 2), payload.begin() + std::ptrdiff_t(end));
    at = end;
  }
  return at == payload.size();
}

}  // namespace vexa::test
