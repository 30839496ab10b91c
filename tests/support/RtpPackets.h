#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

namespace vexa::rtp::test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kTestSsrc = 0x1234ABCD;

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Bytes written as pairs of hex digits; blanks between them are for the reader.
inline Bytes hexBytes(std::string_view text) {
  Bytes bytes;
  int digits = 0;
  for (const char c : text) {
    if (c == ' ') continue;
    const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    if (digits++ % 2 == 0)
      bytes.push_back(uint8_t(digit << 4));
    else
      bytes.back() |= uint8_t(digit);
  }
  return bytes;
}

inline void appendBigEndian(std::vector<uint8_t>& bytes, uint32_t value, int width) {
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
    bytes.push_back(uint8_t(value >> shift));
}

// A plain RTP packet (RFC 3550 section 5.1) around a payload.
inline std::vector<uint8_t> rtpPacket(uint8_t payloadType, bool marker, uint16_t sequence,
                                      uint32_t timestamp, std::span<const uint8_t> payload,
                                      uint32_t ssrc = kTestSsrc) {
  // Version 2 without P, X or CSRC; marker and type; sequence number, timestamp, SSRC.
  std::vector<uint8_t> bytes = {0x80, uint8_t((marker ? 0x80 : 0x00) | payloadType)};
  appendBigEndian(bytes, sequence, 2);
  appendBigEndian(bytes, timestamp, 4);
  appendBigEndian(bytes, ssrc, 4);
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

}  // namespace vexa::rtp::test
