#include "camera/TalkWavWriter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

constexpr uint16_t kPcmFormat = 1;
constexpr uint16_t kChannels = 1;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint16_t kBytesPerSample = kBitsPerSample / 8;
constexpr uint32_t kFormatChunkBytes = 16;
// Where the sizes sit: the RIFF chunk's after "RIFF", the data chunk's after "data".
constexpr uint64_t kRiffSizeOffset = 4;
constexpr uint64_t kDataSizeOffset = 40;
constexpr size_t kSizeFieldBytes = 4;
constexpr uint32_t kRiffSizeBeyondData = uint32_t(TalkWavWriter::kHeaderBytes) - 8;

void putTag(std::vector<uint8_t>& out, std::string_view tag) {
  out.insert(out.end(), tag.begin(), tag.end());
}

void put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(uint8_t(value));
  out.push_back(uint8_t(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, uint16_t(value));
  put16(out, uint16_t(value >> 16));
}

std::vector<uint8_t> header(uint32_t dataBytes) {
  std::vector<uint8_t> out;
  putTag(out, "RIFF");
  put32(out, kRiffSizeBeyondData + dataBytes);
  putTag(out, "WAVE");
  putTag(out, "fmt ");
  put32(out, kFormatChunkBytes);
  put16(out, kPcmFormat);
  put16(out, kChannels);
  put32(out, kAudioClockRate);
  put32(out, kAudioClockRate * kChannels * kBytesPerSample);
  put16(out, kChannels * kBytesPerSample);
  put16(out, kBitsPerSample);
  putTag(out, "data");
  put32(out, dataBytes);
  return out;
}

}  // namespace

std::unique_ptr<TalkWavWriter> TalkWavWriter::create(const std::string& path, std::string& error,
                                                     uint32_t maxSamples) {
  std::unique_ptr<TalkWavWriter> writer(new TalkWavWriter(maxSamples));
  int failure = writer->file_.open(path);
  if (failure == 0) failure = writer->file_.append(header(0));
  if (failure == 0) failure = writer->file_.flush();
  if (failure != 0) {
    error = "cannot write " + path + ": " + std::strerror(failure);
    return nullptr;
  }
  return writer;
}

void TalkWavWriter::append(std::span<const int16_t> samples) {
  if (!file_.isOpen()) return;
  const size_t taken = std::min<size_t>(samples.size(), maxSamples_ - samples_);
  if (taken == 0) return;
  std::vector<uint8_t> bytes;
  bytes.reserve(taken * kBytesPerSample);
  for (const int16_t sample : samples.first(taken)) put16(bytes, uint16_t(sample));
  if (const int failure = file_.append(bytes); failure != 0) {
    fail(failure);
    return;
  }
  samples_ += uint32_t(taken);
  writeSizes();
}

bool TalkWavWriter::writeSizes() {
  const uint32_t dataBytes = samples_ * kBytesPerSample;
  const std::vector<uint8_t> sizes = header(dataBytes);
  int failure =
      file_.writeAt(kRiffSizeOffset, std::span(sizes).subspan(kRiffSizeOffset, kSizeFieldBytes));
  if (failure == 0) {
    failure =
        file_.writeAt(kDataSizeOffset, std::span(sizes).subspan(kDataSizeOffset, kSizeFieldBytes));
  }
  if (failure != 0) fail(failure);
  return failure == 0;
}

void TalkWavWriter::close() {
  if (!file_.isOpen()) return;
  if (writeSizes()) file_.close();
}

void TalkWavWriter::fail(int error) {
  DebugTrace("TalkWavWriter: write failed (%s); no more talk audio is written\n",
             std::strerror(error));
  file_.close();
}

}  // namespace vexa::camera
