#include "media/rtp/JpegHeaderBuilder.h"

#include <algorithm>

#include "common/DebugTrace.h"
#include "media/rtp/ByteReader.h"

namespace vexa::rtp {

namespace {

// JPEG (ITU-T T.81) markers and sizes of the segments written.
constexpr uint8_t kMarkerPrefix = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kDefineQuantizationTable = 0xDB;
constexpr uint8_t kDefineRestartInterval = 0xDD;
constexpr uint8_t kStartOfFrameBaseline = 0xC0;
constexpr uint8_t kDefineHuffmanTable = 0xC4;

constexpr size_t kTypeSpecificSize = 1;
constexpr size_t kMustBeZeroSize = 1;  // first byte of the table header

constexpr size_t kMarkerSize = 2;
constexpr size_t kLengthSize = 2;
constexpr uint16_t kDqtLength = uint16_t(kLengthSize + 1 + kJpegTableEntries);
constexpr uint16_t kDriLength = 4;
constexpr uint16_t kSof0Length = 17;
constexpr size_t kHuffmanCountsSize = 16;

constexpr uint8_t kSamplePrecision = 8;
constexpr int kPixelsPerBlock = 8;
constexpr uint8_t kComponentCount = 3;
constexpr uint8_t kLumaTable = 0;
constexpr uint8_t kChromaTable = 1;
// Luminance sampling: 2 x 1 (4:2:2) for type 0, 2 x 2 (4:2:0) otherwise (RFC 2435 section 4.1).
constexpr uint8_t kLumaSampling422 = 0x21;
constexpr uint8_t kLumaSampling420 = 0x22;
constexpr uint8_t kChromaSampling = 0x11;
constexpr uint8_t kType422 = 0;
constexpr uint8_t kRestartTypeBits = 0x3F;

// SOS: three components (0 with tables 0/0, 1 and 2 with tables 1/1), spectral selection 0 to 63,
// no successive approximation.
constexpr uint8_t kStartOfScanSegment[] = {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x00, 0x00,
                                           0x01, 0x11, 0x02, 0x11, 0x00, 0x3F, 0x00};

// T.81 Annex K tables K.1 and K.2 in zigzag order (RFC 2435 Appendix A).
// clang-format off
constexpr uint8_t kLumaQuantizerBase[kJpegTableEntries] = {
    16, 11, 12, 14, 12, 10, 16, 14, 13, 14, 18, 17, 16, 19, 24, 40,
    26, 24, 22, 22, 24, 49, 35, 37, 29, 40, 58, 51, 61, 60, 57, 51,
    56, 55, 64, 72, 92, 78, 64, 68, 87, 69, 55, 56, 80, 109, 81, 87,
    95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};
constexpr uint8_t kChromaQuantizerBase[kJpegTableEntries] = {
    17, 18, 18, 24, 21, 24, 47, 26, 26, 47, 99, 66, 56, 66, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
// clang-format on

constexpr int kMinQ = 1;
constexpr int kMaxQ = 99;
constexpr int kLowQualityBelow = 50;
constexpr int kMinQuantizer = 1;
constexpr int kMaxQuantizer = 255;

// T.81 Annex K.3: the typical Huffman tables, as 16 code-length counts and the symbols.
constexpr uint8_t kLumaDcCounts[kHuffmanCountsSize] = {0, 1, 5, 1, 1, 1, 1, 1,
                                                       1, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kLumaDcSymbols[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr uint8_t kChromaDcCounts[kHuffmanCountsSize] = {0, 3, 1, 1, 1, 1, 1, 1,
                                                         1, 1, 1, 0, 0, 0, 0, 0};
constexpr uint8_t kChromaDcSymbols[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr uint8_t kLumaAcCounts[kHuffmanCountsSize] = {0, 2, 1, 3, 3, 2, 4, 3,
                                                       5, 5, 4, 4, 0, 0, 1, 0x7D};
constexpr uint8_t kLumaAcSymbols[] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52,
    0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
    0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3,
    0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8,
    0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA};
constexpr uint8_t kChromaAcCounts[kHuffmanCountsSize] = {0, 2, 1, 2, 4, 4, 3, 4,
                                                         7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr uint8_t kChromaAcSymbols[] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33,
    0x52, 0xF0, 0x15, 0x62, 0x72, 0xD1, 0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18,
    0x19, 0x1A, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4,
    0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA,
    0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7,
    0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA};

struct HuffmanTable {
  uint8_t classAndId;  // class in the high nibble: 0 DC, 1 AC
  std::span<const uint8_t, kHuffmanCountsSize> counts;
  std::span<const uint8_t> symbols;
};

constexpr HuffmanTable kHuffmanTables[] = {
    {0x00, kLumaDcCounts, kLumaDcSymbols},
    {0x10, kLumaAcCounts, kLumaAcSymbols},
    {0x01, kChromaDcCounts, kChromaDcSymbols},
    {0x11, kChromaAcCounts, kChromaAcSymbols},
};

constexpr size_t countedSymbols(std::span<const uint8_t, kHuffmanCountsSize> counts) {
  size_t total = 0;
  for (uint8_t count : counts) total += count;
  return total;
}

constexpr bool countsMatchSymbols() {
  for (const HuffmanTable& table : kHuffmanTables) {
    if (countedSymbols(table.counts) != table.symbols.size()) return false;
  }
  return true;
}
static_assert(countsMatchSymbols());

constexpr size_t dhtSegmentLength(const HuffmanTable& table) {
  return kLengthSize + 1 + kHuffmanCountsSize + table.symbols.size();
}

constexpr size_t largestHeaderSize() {
  size_t size = kMarkerSize;                          // SOI
  size += 2 * (kMarkerSize + kDqtLength);             // DQT x 2
  size += kMarkerSize + kDriLength;                   // DRI
  size += kMarkerSize + kSof0Length;                  // SOF0
  for (const HuffmanTable& table : kHuffmanTables) {  // DHT x 4
    size += kMarkerSize + dhtSegmentLength(table);
  }
  return size + sizeof kStartOfScanSegment;  // SOS
}
static_assert(largestHeaderSize() <= JpegHeaderBuilder::kCapacity);

// Appends to the header array; the static_assert above keeps every write inside it.
class HeaderWriter {
 public:
  explicit HeaderWriter(std::array<uint8_t, JpegHeaderBuilder::kCapacity>& out) : out_(out) {}

  void byte(uint8_t value) { out_[length_++] = value; }
  void word(uint16_t value) {
    byte(uint8_t(value >> 8));
    byte(uint8_t(value));
  }
  void marker(uint8_t code) {
    byte(kMarkerPrefix);
    byte(code);
  }
  void bytes(std::span<const uint8_t> values) {
    for (uint8_t value : values) byte(value);
  }
  size_t length() const { return length_; }

 private:
  std::array<uint8_t, JpegHeaderBuilder::kCapacity>& out_;
  size_t length_ = 0;
};

bool carriesRestartHeader(uint8_t type) {
  return type >= kFirstRestartType && type <= kLastRestartType;
}

uint8_t lumaSampling(uint8_t type) {
  // Types 64 to 127 are types 0 to 63 with restart markers (RFC 2435 section 3.1.3).
  const uint8_t baseType = carriesRestartHeader(type) ? uint8_t(type & kRestartTypeBits) : type;
  return baseType == kType422 ? kLumaSampling422 : kLumaSampling420;
}

}  // namespace

std::optional<JpegMainHeader> readJpegMainHeader(std::span<const uint8_t> payload) {
  ByteReader reader(payload);
  JpegMainHeader header;
  // The type-specific byte means nothing for the types taken here.
  if (reader.skip(kTypeSpecificSize) && reader.readU24(header.fragmentOffset) &&
      reader.readU8(header.type) && reader.readU8(header.q) && reader.readU8(header.widthBlocks) &&
      reader.readU8(header.heightBlocks)) {
    return header;
  }
  return std::nullopt;
}

void makeJpegTablesFromQ(int q, std::span<uint8_t, kJpegTableEntries> luma,
                         std::span<uint8_t, kJpegTableEntries> chroma) {
  q = std::clamp(q, kMinQ, kMaxQ);
  // A percentage scale of the base tables, rounded; Q 50 leaves them as they are.
  const int factor = q < kLowQualityBelow ? 5000 / q : 200 - 2 * q;
  auto scale = [factor](uint8_t base) {
    return uint8_t(std::clamp((base * factor + 50) / 100, kMinQuantizer, kMaxQuantizer));
  };
  for (size_t i = 0; i < kJpegTableEntries; ++i) {
    luma[i] = scale(kLumaQuantizerBase[i]);
    chroma[i] = scale(kChromaQuantizerBase[i]);
  }
}

std::optional<size_t> JpegHeaderBuilder::processMainHeader(std::span<const uint8_t> payload) {
  const auto main = readJpegMainHeader(payload);
  if (!main) return std::nullopt;
  ByteReader reader(payload.subspan(kJpegMainHeaderSize));
  Parameters parameters{main->type, main->q, main->widthBlocks, main->heightBlocks, 0};

  if (carriesRestartHeader(main->type)) {
    // RFC 2435 section 3.1.7: in every packet of these types, before any tables. F, L and the
    // restart count only matter to a receiver that decodes parts of a picture.
    if (!reader.readU16(parameters.restartInterval) ||
        !reader.skip(kJpegRestartHeaderSize - sizeof parameters.restartInterval)) {
      return std::nullopt;
    }
  }

  if (main->q >= kFirstInBandQ) {
    // RFC 2435 section 3.1.8: the tables travel with the first packet of a picture only.
    if (main->fragmentOffset != 0) return reader.position();
    uint8_t precision = 0;
    uint16_t length = 0;
    std::span<const uint8_t> tables;
    if (!reader.skip(kMustBeZeroSize) || !reader.readU8(precision) || !reader.readU16(length) ||
        !reader.readBytes(length, tables)) {
      return std::nullopt;
    }
    if (length == kJpegInBandTablesLength && precision == 0) {
      // In-band tables may change with every picture: always rebuilt.
      build(parameters, tables.first<kJpegTableEntries>(),
            tables.subspan<kJpegTableEntries, kJpegTableEntries>());
    } else {
      // Length 0 stands for the tables sent before; 16-bit tables are not taken.
      DebugTrace("RTP/JPEG: in-band tables of length %u, precision %u: header kept",
                 unsigned(length), unsigned(precision));
    }
    return reader.position();
  }

  if (built_ != parameters) {
    std::array<uint8_t, kJpegTableEntries> luma{};
    std::array<uint8_t, kJpegTableEntries> chroma{};
    makeJpegTablesFromQ(main->q, luma, chroma);
    build(parameters, luma, chroma);
  }
  return reader.position();
}

void JpegHeaderBuilder::build(const Parameters& parameters,
                              std::span<const uint8_t, kJpegTableEntries> luma,
                              std::span<const uint8_t, kJpegTableEntries> chroma) {
  HeaderWriter out(header_);
  out.marker(kStartOfImage);

  const std::span<const uint8_t, kJpegTableEntries> quantizers[] = {luma, chroma};
  for (uint8_t table : {kLumaTable, kChromaTable}) {
    out.marker(kDefineQuantizationTable);
    out.word(kDqtLength);
    out.byte(table);  // 8-bit precision in the high nibble, table number in the low
    out.bytes(quantizers[table]);
  }

  if (carriesRestartHeader(parameters.type)) {
    out.marker(kDefineRestartInterval);
    out.word(kDriLength);
    out.word(parameters.restartInterval);
  }

  out.marker(kStartOfFrameBaseline);
  out.word(kSof0Length);
  out.byte(kSamplePrecision);
  out.word(uint16_t(parameters.heightBlocks * kPixelsPerBlock));
  out.word(uint16_t(parameters.widthBlocks * kPixelsPerBlock));
  out.byte(kComponentCount);
  out.byte(0);
  out.byte(lumaSampling(parameters.type));
  out.byte(kLumaTable);
  for (uint8_t component : {1, 2}) {
    out.byte(component);
    out.byte(kChromaSampling);
    out.byte(kChromaTable);
  }

  for (const HuffmanTable& table : kHuffmanTables) {
    out.marker(kDefineHuffmanTable);
    out.word(uint16_t(dhtSegmentLength(table)));
    out.byte(table.classAndId);
    out.bytes(table.counts);
    out.bytes(table.symbols);
  }

  out.bytes(kStartOfScanSegment);
  length_ = out.length();
  built_ = parameters;
  ++rebuilds_;
}

}  // namespace vexa::rtp
