// Feeds arbitrary datagrams to the media manager's datagram step, as its receive thread would,
// for each codec the stream model can choose.
//
// Input: one byte choosing the model (0 JPEG, 1 MPEG-4, 2 H.264, modulo 3), then records of a
// 16-bit big-endian length and the datagram (cut at the receive size and at the end of input).
#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/rtp/IPCameraMediaManager.h"
#include "net/DatagramWorker.h"

namespace {

constexpr uint32_t kModels[] = {
    vexa::IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG,
    vexa::IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_MPEG4,
    vexa::IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264,
};
constexpr size_t kModelCount = sizeof kModels / sizeof kModels[0];
constexpr size_t kRecordHeaderSize = 2;
constexpr size_t kReceiveChunk = size_t(vexa::DatagramWorker::kReceiveChunk);
// A picture cannot outgrow what the JPEG depacketiser keeps plus its end marker.
constexpr int32_t kLargestPicture = int32_t(4 << 20) + 2;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  vexa::IPCameraMediaManager manager(kModels[data[0] % kModelCount]);
  size_t offset = 1;
  uint32_t received = 0;
  while (offset + kRecordHeaderSize <= size) {
    const size_t declared = size_t(data[offset]) << 8 | data[offset + 1];
    offset += kRecordHeaderSize;
    size_t length = declared < size - offset ? declared : size - offset;
    if (length > kReceiveChunk) length = kReceiveChunk;
    manager.processDatagram(std::span<const uint8_t>(data + offset, length));
    received += uint32_t(length);
    offset += length;
  }

  // Every byte is counted once; a picture on offer is a whole JPEG within the cap.
  if (manager.takeReceivedBytes() != received) __builtin_trap();
  const uint8_t* picture = nullptr;
  int32_t length = 0;
  manager.GetJpegFrame(&picture, &length);
  if (length != -1 && (picture == nullptr || length < 4 || length > kLargestPicture ||
                       picture[0] != 0xFF || picture[1] != 0xD8)) {
    __builtin_trap();
  }
  return 0;
}
