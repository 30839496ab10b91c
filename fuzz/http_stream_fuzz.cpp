// The HTTP multipart JPEG handler's read step fed what a camera sends on its connection, in reads
// of varying size: the answer's status (a success, a challenge, an error, or parts without one),
// then the parts, each newest picture taken behind the frame lock. No connection is made.
//
// Input: one byte choosing the read size, then the camera's bytes.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "FuzzSupport.h"
#include "protocol/http/IPCameraHTTP.h"
#include "protocol/http/MjpegStreamParser.h"

namespace {

// The picture on offer is a whole JPEG within the parser's cap.
void checkPicture(vexa::IPCameraHTTP& camera) {
  std::lock_guard lock(camera.frameLock());
  if (!vexa::fuzz::offersWholeJpegOrNone(camera, vexa::MjpegStreamParser::kMaxPictureBytes)) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  vexa::StreamConfig config;
  config.host = "127.0.0.1";
  vexa::IPCameraHTTP camera;
  camera.setConfig(&config);
  uint32_t pictures = 0;
  vexa::fuzz::forEachRead({data + 1, size - 1}, vexa::fuzz::readSize(data[0]),
                          [&](vexa::fuzz::Bytes read) {
    camera.onReceived(read);
    // Every byte is counted as received; pictures are only ever added.
    if (camera.GetVideoBytes() != read.size() || camera.pictureCounter().load() < pictures) {
      __builtin_trap();
    }
    pictures = camera.pictureCounter().load();
    checkPicture(camera);
    // The worker reads no more once the connection is given up.
    return !camera.status().failure();
  });
  return 0;
}
