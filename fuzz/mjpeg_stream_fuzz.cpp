// Feeds arbitrary bytes to the multipart JPEG parser in reads of varying size, as a camera would.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "protocol/http/MjpegStreamParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vexa::MjpegStreamParser parser;
  vexa::ByteBuffer buffer;
  size_t offset = 0;
  // The first byte chooses the read size, so splits are explored too.
  const size_t chunk = size > 0 ? 1 + data[0] % 64 : 1;
  while (offset < size) {
    const size_t n = size - offset < chunk ? size - offset : chunk;
    buffer.append(data + offset, int32_t(n));
    offset += n;
    parser.parse(buffer, [](std::span<const uint8_t> jpeg) {
      // Every picture handed on starts and ends as a JPEG does, within the cap.
      if (!vexa::fuzz::isWholeJpeg(jpeg, vexa::MjpegStreamParser::kMaxPictureBytes)) __builtin_trap();
    });
  }
  return 0;
}
