#pragma once

// Helpers for the RTSP tests: a loopback client that splits answers from interleaved frames and
// gathers datagrams at its UDP ports, an RTP header reader, and receiver-side reassembly of
// H.264 (RFC 6184) and JPEG (RFC 2435) written apart from the camera's own code.

#include <cerrno>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/TextFields.h"
#include "support/JpegTables.h"
#include "support/Loopback.h"

namespace vexa::test {

// One UDP socket on 127.0.0.1, on a port of the system's choosing.
class UdpTestSocket {
 public:
  UdpTestSocket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0)) {
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  UdpTestSocket(const UdpTestSocket&) = delete;
  UdpTestSocket& operator=(const UdpTestSocket&) = delete;
  ~UdpTestSocket() { ::close(fd_); }

  uint16_t port() const { return port_; }

  bool sendTo(uint16_t port, std::string_view bytes) {
    const sockaddr_in to = loopback(port);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) == ssize_t(bytes.size());
  }
  // One waiting datagram and the port it came from; false when none waits.
  bool receive(std::vector<uint8_t>& datagram, uint16_t& fromPort) {
    uint8_t buffer[65536];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t got =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0) return false;
    datagram.assign(buffer, buffer + got);
    fromPort = ntohs(from.sin_port);
    return true;
  }

  static sockaddr_in loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

 private:
  int fd_;
  uint16_t port_ = 0;
};

// Whether nothing listens at 127.0.0.1:port any more: a datagram sent there comes back refused.
inline bool udpPortRefuses(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in to = UdpTestSocket::loopback(port);
  bool refused = false;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
      ::send(fd, "x", 1, 0) == 1) {
    pollfd waiting{fd, POLLIN, 0};
    const int waitMs = int(std::chrono::milliseconds(kGenerousWait).count());
    char byte = 0;
    refused =
        ::poll(&waiting, 1, waitMs) > 0 && ::recv(fd, &byte, 1, 0) < 0 && errno == ECONNREFUSED;
  }
  ::close(fd);
  return refused;
}

// A client's RTP and RTCP ports for one stream.
struct UdpTestPorts {
  UdpTestSocket rtp;
  UdpTestSocket rtcp;

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
    InterleavedFrame frame;
    for (auto& [socket, channel] : udp_) {
      while (socket->receive(frame.data, frame.fromPort)) {
        frame.channel = channel;
        frames_.push_back(frame);
      }
    }
  }

  LoopbackConnection socket_;
  std::vector<std::pair<UdpTestSocket*, uint8_t>> udp_;
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

inline uint32_t bigEndian32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

// Version 2 with a plain 12-byte header only: the camera sends no CSRC list, extension or
// padding.
inline std::optional<ParsedRtp> parseRtp(const std::vector<uint8_t>& packet) {
  if (packet.size() < 12 || packet[0] != 0x80) return std::nullopt;
  ParsedRtp rtp;
  rtp.marker = (packet[1] & 0x80) != 0;
  rtp.payloadType = packet[1] & 0x7F;
  rtp.sequence = uint16_t(packet[2] << 8 | packet[3]);
  rtp.timestamp = bigEndian32(&packet[4]);
  rtp.ssrc = bigEndian32(&packet[8]);
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

// A JFIF picture from the RTP/JPEG payloads of one frame in order (types 0 and 1, Q >= 128 with
// in-band 8-bit tables), with EOI appended; empty when the payloads are not such.
inline std::vector<uint8_t> rebuildJpeg(const std::vector<std::vector<uint8_t>>& payloads) {
  constexpr size_t kMainHeader = 8, kTablesHeader = 4, kTables = 128;
  if (payloads.empty() || payloads[0].size() < kMainHeader + kTablesHeader + kTables) return {};
  const std::vector<uint8_t>& first = payloads[0];
  const uint8_t type = first[4], q = first[5];
  const int width = first[6] * 8, height = first[7] * 8;
  if (type > 1 || q < 128 || first[9] != 0 || (first[10] << 8 | first[11]) != kTables) return {};

  std::vector<uint8_t> jpeg = {0xFF, 0xD8};
  for (uint8_t table = 0; table < 2; ++table) {
    std::vector<uint8_t> body = {table};
    body.insert(body.end(), first.begin() + 12 + 64 * table, first.begin() + 12 + 64 * (table + 1));
    appendJpegSegment(jpeg, 0xDB, body);
  }
  appendJpegSegment(jpeg, 0xC0,
                    {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width),
                     3, 0, uint8_t(type == 0 ? 0x21 : 0x22), 0, 1, 0x11, 1, 2, 0x11, 1});
  const std::vector<uint8_t> huffman = typicalHuffmanSegments();
  jpeg.insert(jpeg.end(), huffman.begin(), huffman.end());
  appendJpegSegment(jpeg, 0xDA, {3, 0, 0x00, 1, 0x11, 2, 0x11, 0, 63, 0});

  size_t expectedOffset = 0;
  for (size_t i = 0; i < payloads.size(); ++i) {
    const std::vector<uint8_t>& payload = payloads[i];
    const size_t dataStart = i == 0 ? kMainHeader + kTablesHeader + kTables : kMainHeader;
    if (payload.size() < dataStart) return {};
    if ((size_t(payload[1]) << 16 | size_t(payload[2]) << 8 | payload[3]) != expectedOffset) {
      return {};
    }
    jpeg.insert(jpeg.end(), payload.begin() + std::ptrdiff_t(dataStart), payload.end());
    expectedOffset += payload.size() - dataStart;
  }
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

}  // namespace vexa::test
