#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media/PictureFormat.h"

namespace vexa {

enum class ImageFormat { kJpeg, kBmp, kPng, kTiff, kGif };

// The format a file name's extension names (case-insensitive); none for an unknown extension.
std::optional<ImageFormat> imageFormatForFileName(const std::string& fileName);

// Encodes a bottom-up BGR24 picture (rows of exactly width x 3 bytes) as a complete image file of
// the given format with FFmpeg's encoder for it, at the encoder's defaults except for a fixed JPEG
// quality. Not for kBmp, whose file is the capture bitmap itself. Empty on failure.
std::vector<uint8_t> encodeImage(ImageFormat format, const BITMAPINFOHEADER& header,
                                 const uint8_t* pixels);

}  // namespace vexa
