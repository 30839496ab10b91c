#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vexa::rtp {

// RFC 2435 section 3.1: type-specific, fragment offset (24 bits), type, Q, width / 8, height / 8.
constexpr size_t kJpegMainHeaderSize = 8;
// RFC 2435 section 3.1.7: restart interval (16 bits), F, L, restart count (14 bits).
constexpr size_t kJpegRestartHeaderSize = 4;
// RFC 2435 section 3.1.8: MBZ, precision, length (16 bits), then the tables.
constexpr size_t kJpegTableHeaderSize = 4;
// Two 8-bit tables of 64 entries: the only in-band table set taken.
constexpr size_t kJpegInBandTablesLength = 128;
constexpr size_t kJpegTableEntries = 64;

// Types 64 to 127 carry the restart-marker header (RFC 2435 section 3.1.7).
constexpr uint8_t kFirstRestartType = 64;
constexpr uint8_t kLastRestartType = 127;
// Q values from here on say the tables come with the picture (RFC 2435 section 3.1.8).
constexpr uint8_t kFirstInBandQ = 128;

struct JpegMainHeader {
  uint32_t fragmentOffset = 0;
  uint8_t type = 0;
  uint8_t q = 0;
  uint8_t widthBlocks = 0;   // width in units of 8 pixels
  uint8_t heightBlocks = 0;  // height in units of 8 pixels
};

// Nullopt when the payload is shorter than the main header.
std::optional<JpegMainHeader> readJpegMainHeader(std::span<const uint8_t> payload);

// Computes the 64 zigzag-ordered luminance and chrominance tables a Q below 128 stands for,
// with Q clamped to 1..99 (RFC 2435 Appendix A).
void makeJpegTablesFromQ(int q, std::span<uint8_t, kJpegTableEntries> luma,
                         std::span<uint8_t, kJpegTableEntries> chroma);

// Rebuilds the JFIF header (SOI up to SOS) that RTP/JPEG leaves out, for one stream. The header
// is kept from picture to picture and built again only when its parameters change or tables
// come in-band.
class JpegHeaderBuilder {
 public:
  // The largest header: SOI, two DQT, DRI, SOF0, four DHT, SOS come to 611 bytes.
  static constexpr size_t kCapacity = 700;

  // Reads the main header and the restart-marker and table headers that follow it, updates the
  // picture header when needed, and returns how many bytes after the main header are not scan
  // data. Nullopt, with nothing changed, when the payload ends inside those headers.
  std::optional<size_t> processMainHeader(std::span<const uint8_t> payload);

  // Empty until a header was built.
  std::span<const uint8_t> header() const { return {header_.data(), length_}; }
  // How often a header was built: once per stream while the parameters stay.
  uint32_t rebuildCount() const { return rebuilds_; }

 private:
  struct Parameters {
    uint8_t type = 0;
    uint8_t q = 0;
    uint8_t widthBlocks = 0;
    uint8_t heightBlocks = 0;
    uint16_t restartInterval = 0;
    bool operator==(const Parameters&) const = default;
  };

  void build(const Parameters& parameters, std::span<const uint8_t, kJpegTableEntries> luma,
             std::span<const uint8_t, kJpegTableEntries> chroma);

  std::array<uint8_t, kCapacity> header_{};
  size_t length_ = 0;
  std::optional<Parameters> built_;
  uint32_t rebuilds_ = 0;
};

}  // namespace vexa::rtp
