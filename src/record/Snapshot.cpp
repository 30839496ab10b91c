#include "record/Snapshot.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/DebugTrace.h"
#include "platform/Environment.h"
#include "record/ImageEncoder.h"

namespace vexa {
namespace {

// The largest picture any path of the display hands over.
constexpr size_t kMaxSnapshotBytes = kDecodedFrameBytes;

void putLittleEndian16(uint8_t* at, uint16_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}

void putLittleEndian32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

bool isSnapshotPicture(const BITMAPINFOHEADER& header, const uint8_t* pixels) {
  return pixels != nullptr && header.biBitCount == 24 && header.biWidth > 0 &&
         header.biHeight > 0 &&
         size_t(header.biWidth) * size_t(header.biHeight) * kBytesPerPixel <= kMaxSnapshotBytes;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) {
    DebugTrace("snapshot: cannot create %s\n", path.c_str());
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  return std::fclose(file.release()) == 0 && written;
}

}  // namespace

std::vector<uint8_t> makeBitmapFile(const BITMAPINFOHEADER& header, const uint8_t* pixels) {
  if (!isSnapshotPicture(header, pixels)) return {};
  const size_t rowBytes = size_t(header.biWidth) * kBytesPerPixel;
  const size_t fileRowBytes = dibStride(header.biWidth);
  const size_t imageBytes = fileRowBytes * size_t(header.biHeight);

  // The sizes in the headers describe what is written: our own rows are unpadded, a reader of
  // the file expects rows padded to 4 bytes.
  BITMAPINFOHEADER info = header;
  info.biSizeImage = uint32_t(imageBytes);

  std::vector<uint8_t> file(kBitmapHeadersBytes + imageBytes);
  file[0] = 'B';
  file[1] = 'M';
  putLittleEndian32(&file[2], uint32_t(file.size()));
  putLittleEndian16(&file[6], 0);
  putLittleEndian16(&file[8], 0);
  putLittleEndian32(&file[10], uint32_t(kBitmapHeadersBytes));
  std::memcpy(&file[kBitmapFileHeaderBytes], &info, sizeof info);

  uint8_t* target = file.data() + kBitmapHeadersBytes;
  if (fileRowBytes == rowBytes) {
    std::memcpy(target, pixels, imageBytes);
  } else {
    for (int32_t y = 0; y < header.biHeight; ++y) {
      std::memcpy(target + size_t(y) * fileRowBytes, pixels + size_t(y) * rowBytes, rowBytes);
    }
  }
  return file;
}

bool SaveSnapshot(const std::string& folder, const std::string& fileName,
                  const BITMAPINFOHEADER& header, const uint8_t* pixels) {
  const std::vector<uint8_t> bitmap = makeBitmapFile(header, pixels);
  if (bitmap.empty()) {
    DebugTrace("snapshot: no picture to save\n");
    return false;
  }
  writeFile(platform::tempFolder() + kCaptureBitmapName, bitmap);

  const std::optional<ImageFormat> format = imageFormatForFileName(fileName);
  if (!format) {
    DebugTrace("snapshot: no encoder for %s\n", fileName.c_str());
    return false;
  }
  const std::string destination = folder + fileName;
  if (*format == ImageFormat::kBmp) return writeFile(destination, bitmap);
  const std::vector<uint8_t> encoded = encodeImage(*format, header, pixels);
  if (encoded.empty()) {
    DebugTrace("snapshot: encoding %s failed\n", fileName.c_str());
    return false;
  }
  return writeFile(destination, encoded);
}

}  // namespace vexa
