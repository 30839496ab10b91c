#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/PictureFormat.h"

namespace vexa {

// Name of the bitmap every snapshot passes through, in the temporary folder; left in place.
inline constexpr const char* kCaptureBitmapName = "capture.bmp";
constexpr size_t kBitmapFileHeaderBytes = 14;
constexpr size_t kBitmapHeadersBytes = kBitmapFileHeaderBytes + sizeof(BITMAPINFOHEADER);

// The BMP file of a bottom-up BGR24 picture whose rows are exactly width x 3 bytes. Rows are
// padded to the BMP row size when the width is not a multiple of 4 (the sizes in the headers
// follow); for every other width the file is the headers followed by the pixels unchanged.
// Empty when the header does not describe such a picture.
std::vector<uint8_t> makeBitmapFile(const BITMAPINFOHEADER& header, const uint8_t* pixels);

// Writes the picture to the temporary "capture.bmp", then to folder + fileName in the format the
// file name's extension names (case-insensitive): .jpg/.jpeg, .bmp, .png, .tif/.tiff, .gif.
// folder ends with "/". False when the destination was not written, for an unknown extension
// among other reasons; the temporary bitmap is written all the same.
bool SaveSnapshot(const std::string& folder, const std::string& fileName,
                  const BITMAPINFOHEADER& header, const uint8_t* pixels);

}  // namespace vexa
