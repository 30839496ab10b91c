#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "common/ByteBuffer.h"

namespace vexa {

// Cuts a multipart/x-mixed-replace answer into JPEG pictures. Holds no state but the boundary:
// each pass searches the buffer from its start and removes what it consumed.
class MjpegStreamParser {
 public:
  // Largest picture accepted; a part announcing more is dropped.
  static constexpr int32_t kMaxPictureBytes = 4 * 1024 * 1024;
  // Largest amount of unparsed input kept; beyond it the input is dropped and the parser finds
  // the next part.
  static constexpr int32_t kMaxPendingBytes = 8 * 1024 * 1024;
  // Largest part header; the searches for header fields stay within it, so that garbage costs
  // no more than a few KiB of scanning per read.
  static constexpr int32_t kMaxPartHeaderBytes = 4096;

  using PictureSink = std::function<void(std::span<const uint8_t> jpeg)>;

  // Consumes every complete unit in buffer; onPicture gets each valid picture.
  void parse(ByteBuffer& buffer, const PictureSink& onPicture);

  const std::string& boundary() const { return boundary_; }

 private:
  enum class Step { Continue, Wait };
  Step parseOne(ByteBuffer& buffer, const PictureSink& onPicture);
  Step takeBoundary(ByteBuffer& buffer, std::string_view type, size_t typeAt);
  Step dropTypeField(ByteBuffer& buffer, size_t typeAt);
  Step takePicture(ByteBuffer& buffer, size_t typeAt, const PictureSink& onPicture);

  std::string boundary_;
};

// The request the MJPEG handler sends, with Basic authorisation when a user name is set.
std::string buildMjpegRequest(const std::string& userName, const std::string& password);

}  // namespace vexa
