#pragma once

// The typical Huffman tables of ITU-T T.81 Annex K.3, which RTP/JPEG (RFC 2435) senders code
// with and receivers write into the headers they rebuild, and JPEG segment writing.

#include <cstdint>
#include <vector>

#include "support/RtpPackets.h"

namespace vexa::test {

struct HuffmanTable {
  uint8_t classAndId;           // DC 0x0n, AC 0x1n; table n
  std::vector<uint8_t> counts;  // codes of each length 1 to 16
  std::vector<uint8_t> symbols;
};

// In the order receivers write them: luminance DC, AC, then chrominance DC, AC.
inline const std::vector<HuffmanTable>& typicalHuffmanTables() {
  using rtp::test::hexBytes;
  static const std::vector<HuffmanTable> tables = {
      {0x00, hexBytes("00010501 01010101 01000000 00000000"),
       hexBytes("00010203 04050607 08090A0B")},
      {0x10, hexBytes("00020103 03020403 05050404 0000017D"),
       hexBytes("01020300 04110512 21314106 13516107 22711432 8191A108 2342B1C1 1552D1F0 24336272"
                "82090A16 1718191A 25262728 292A3435 36373839 3A434445 46474849 4A535455 56575859"
                "5A636465 66676869 6A737475 76777879 7A838485 86878889 8A929394 95969798 999AA2A3"
                "A4A5A6A7 A8A9AAB2 B3B4B5B6 B7B8B9BA C2C3C4C5 C6C7C8C9 CAD2D3D4 D5D6D7D8 D9DAE1E2"
                "E3E4E5E6 E7E8E9EA F1F2F3F4 F5F6F7F8 F9FA")},
      {0x01, hexBytes("00030101 01010101 01010100 00000000"),
       hexBytes("00010203 04050607 08090A0B")},
      {0x11, hexBytes("00020102 04040304 07050404 00010277"),
       hexBytes("00010203 11040521 31061241 51076171 13223281 08144291 A1B1C109 233352F0 156272D1"
                "0A162434 E125F117 18191A26 2728292A 35363738 393A4344 45464748 494A5354 55565758"
                "595A6364 65666768 696A7374 75767778 797A8283 84858687 88898A92 93949596 9798999A"
                "A2A3A4A5 A6A7A8A9 AAB2B3B4 B5B6B7B8 B9BAC2C3 C4C5C6C7 C8C9CAD2 D3D4D5D6 D7D8D9DA"
                "E2E3E4E5 E6E7E8E9 EAF2F3F4 F5F6F7F8 F9FA")},
  };
  return tables;
}

// A marker segment: 0xFF, the marker, the 16-bit length (itself included), the body.
inline void appendJpegSegment(std::vector<uint8_t>& out, uint8_t marker,
                              const std::vector<uint8_t>& body) {
  const size_t length = body.size() + 2;
  out.insert(out.end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length)});
  out.insert(out.end(), body.begin(), body.end());
}

// One DHT segment per typical table, in the order above.
inline std::vector<uint8_t> typicalHuffmanSegments() {
  std::vector<uint8_t> out;
  for (const HuffmanTable& table : typicalHuffmanTables()) {
    std::vector<uint8_t> body = {table.classAndId};
    body.insert(body.end(), table.counts.begin(), table.counts.end());
    body.insert(body.end(), table.symbols.begin(), table.symbols.end());
    appendJpegSegment(out, 0xC4, body);
  }
  return out;
}

}  // namespace vexa::test
