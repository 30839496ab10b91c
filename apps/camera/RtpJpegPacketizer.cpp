#include "camera/RtpJpegPacketizer.h"

#include <algorithm>

namespace vexa::camera {
namespace {

constexpr uint8_t kMarkerLead = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kBaselineFrame = 0xC0;
constexpr uint8_t kDefineQuantisation = 0xDB;
constexpr uint8_t kDefineRestart = 0xDD;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kFirstStartOfFrame = 0xC0;
constexpr uint8_t kLastStartOfFrame = 0xCF;
constexpr uint8_t kDefineHuffman = 0xC4;
constexpr uint8_t kArithmeticConditioning = 0xCC;
constexpr size_t kMarkerSize = 2;
constexpr size_t kLengthSize = 2;
constexpr size_t kTableSize = 64;
constexpr int kComponents = 3;
constexpr uint8_t kLumaSampling420 = 0x22;
constexpr uint8_t kLumaSampling422 = 0x21;
constexpr uint8_t kChromaSampling = 0x11;
constexpr int kUnit = 8;

// RFC 2435 section 3.1: main header, and the quantisation table header of section 3.1.8.
constexpr size_t kMainHeaderSize = 8;
constexpr size_t kTableHeaderSize = 4;
constexpr uint8_t kDynamicTablesQ = 255;  // tables come with every picture
constexpr uint16_t kTablesLength = 2 * kTableSize;
constexpr size_t kMaxFragmentOffset = 0xFFFFFF;  // 24 bits

uint16_t readWord(std::span<const uint8_t> bytes, size_t at) {
  return uint16_t(bytes[at] << 8 | bytes[at + 1]);
}

struct FrameHeader {
  int width = 0;
  int height = 0;
  std::array<uint8_t, kComponents> sampling{};
  std::array<uint8_t, kComponents> table{};
};

struct Headers {
  std::array<std::optional<std::array<uint8_t, kTableSize>>, 4> tables;
  std::optional<FrameHeader> frame;
  bool restartInterval = false;
};

bool readTables(std::span<const uint8_t> body, Headers& headers) {
  size_t at = 0;
  while (at < body.size()) {
    const uint8_t precision = body[at] >> 4;
    const uint8_t id = body[at] & 0x0F;
    if (precision != 0 || id >= headers.tables.size() || at + 1 + kTableSize > body.size()) {
      return false;
    }
    std::array<uint8_t, kTableSize> table;
    std::copy_n(body.begin() + std::ptrdiff_t(at + 1), kTableSize, table.begin());
    headers.tables[id] = table;
    at += 1 + kTableSize;
  }
  return true;
}

std::optional<FrameHeader> readFrame(std::span<const uint8_t> body) {
  constexpr size_t kFixedSize = 6;
  constexpr size_t kComponentSize = 3;
  constexpr uint8_t kPrecision = 8;
  if (body.size() != kFixedSize + kComponents * kComponentSize || body[0] != kPrecision ||
      body[5] != kComponents) {
    return std::nullopt;
  }
  FrameHeader frame;
  frame.height = readWord(body, 1);
  frame.width = readWord(body, 3);
  for (int c = 0; c < kComponents; ++c) {
    frame.sampling[c] = body[kFixedSize + c * kComponentSize + 1];
    frame.table[c] = body[kFixedSize + c * kComponentSize + 2];
  }
  return frame;
}

bool readSegment(uint8_t marker, std::span<const uint8_t> body, Headers& headers) {
  if (marker == kDefineQuantisation) return readTables(body, headers);
  if (marker == kBaselineFrame) {
    headers.frame = readFrame(body);
    return headers.frame.has_value();
  }
  if (marker == kDefineRestart) {
    headers.restartInterval = body.size() >= 2 && readWord(body, 0) != 0;
    return true;
  }
  // Any other frame type (progressive, lossless, arithmetic) has no RTP/JPEG form.
  const bool otherFrame = marker > kFirstStartOfFrame && marker <= kLastStartOfFrame &&
                          marker != kDefineHuffman && marker != kArithmeticConditioning;
  return !otherFrame;
}

std::optional<RtpJpegPicture> describe(const Headers& headers, std::span<const uint8_t> scan) {
  if (!headers.frame || headers.restartInterval) return std::nullopt;
  const FrameHeader& frame = *headers.frame;
  RtpJpegPicture picture;
  if (frame.sampling[0] == kLumaSampling420) {
    picture.type = RtpJpegPicture::kType420;
  } else if (frame.sampling[0] == kLumaSampling422) {
    picture.type = RtpJpegPicture::kType422;
  } else {
    return std::nullopt;
  }
  if (frame.sampling[1] != kChromaSampling || frame.sampling[2] != kChromaSampling ||
      frame.table[1] != frame.table[2]) {
    return std::nullopt;
  }
  if (frame.width <= 0 || frame.height <= 0 || frame.width % kUnit != 0 ||
      frame.height % kUnit != 0 || frame.width > RtpJpegPicture::kMaxSide ||
      frame.height > RtpJpegPicture::kMaxSide) {
    return std::nullopt;
  }
  const auto& luma =
      frame.table[0] < headers.tables.size() ? headers.tables[frame.table[0]] : std::nullopt;
  const auto& chroma =
      frame.table[1] < headers.tables.size() ? headers.tables[frame.table[1]] : std::nullopt;
  if (!luma || !chroma) return std::nullopt;
  picture.width = frame.width;
  picture.height = frame.height;
  picture.lumaTable = *luma;
  picture.chromaTable = *chroma;
  picture.scan = scan;
  return picture;
}

}  // namespace

std::optional<RtpJpegPicture> parseJpegForRtp(std::span<const uint8_t> jpeg) {
  if (jpeg.size() < kMarkerSize || jpeg[0] != kMarkerLead || jpeg[1] != kStartOfImage) {
    return std::nullopt;
  }
  Headers headers;
  size_t at = kMarkerSize;
  while (at + kMarkerSize + kLengthSize <= jpeg.size()) {
    if (jpeg[at] != kMarkerLead) return std::nullopt;
    const uint8_t marker = jpeg[at + 1];
    const size_t length = readWord(jpeg, at + kMarkerSize);
    if (length < kLengthSize || at + kMarkerSize + length > jpeg.size()) return std::nullopt;
    const auto body = jpeg.subspan(at + kMarkerSize + kLengthSize, length - kLengthSize);
    at += kMarkerSize + length;
    if (marker == kStartOfScan) {
      if (body.empty() || body[0] != kComponents) return std::nullopt;
      size_t end = jpeg.size();
      if (end - at >= kMarkerSize && jpeg[end - 2] == kMarkerLead && jpeg[end - 1] == kEndOfImage) {
        end -= kMarkerSize;
      }
      return describe(headers, jpeg.subspan(at, end - at));
    }
    if (!readSegment(marker, body, headers)) return std::nullopt;
  }
  return std::nullopt;
}

std::vector<std::vector<uint8_t>> packetizeJpeg(const RtpJpegPicture& picture,
                                                size_t maxPayloadSize) {
  std::vector<std::vector<uint8_t>> payloads;
  const size_t firstOverhead = kMainHeaderSize + kTableHeaderSize + kTablesLength;
  if (maxPayloadSize <= firstOverhead || picture.scan.empty() ||
      picture.scan.size() > kMaxFragmentOffset) {
    return payloads;
  }
  size_t offset = 0;
  while (offset < picture.scan.size()) {
    std::vector<uint8_t> payload = {
        0,  // type-specific: progressive frame
        uint8_t(offset >> 16),
        uint8_t(offset >> 8),
        uint8_t(offset),  // fragment offset
        picture.type,
        kDynamicTablesQ,
        uint8_t(picture.width / kUnit),
        uint8_t(picture.height / kUnit),
    };
    if (offset == 0) {
      payload.insert(payload.end(), {0 /* MBZ */, 0 /* both tables 8-bit */,
                                     uint8_t(kTablesLength >> 8), uint8_t(kTablesLength)});
      payload.insert(payload.end(), picture.lumaTable.begin(), picture.lumaTable.end());
      payload.insert(payload.end(), picture.chromaTable.begin(), picture.chromaTable.end());
    }
    const size_t room = maxPayloadSize - payload.size();
    const size_t length = std::min(room, picture.scan.size() - offset);
    payload.insert(payload.end(), picture.scan.begin() + std::ptrdiff_t(offset),
                   picture.scan.begin() + std::ptrdiff_t(offset + length));
    payloads.push_back(std::move(payload));
    offset += length;
  }
  return payloads;
}

}  // namespace vexa::camera
