#pragma once

// Helpers shared by the camera tests: a JPEG decoder independent of the encoder under test,
// picture comparison, and a plain-socket loopback client.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camera/Picture.h"

namespace vexa::camera::testing {

// Long enough never to fail on a loaded machine, short enough to end a hung test.
constexpr auto kGenerousWait = std::chrono::seconds(20);

inline uint8_t clampToByte(double value) {
  return uint8_t(std::clamp(std::lround(value), 0L, 255L));
}

// Decodes a JPEG with FFmpeg's own decoder and converts it to BGR by the JFIF equations.
inline std::optional<BgrPicture> decodeJpeg(const std::vector<uint8_t>& jpeg) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
  AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::optional<BgrPicture> result;
  if (context && packet && frame && avcodec_open2(context, codec, nullptr) == 0 &&
      av_new_packet(packet, int(jpeg.size())) == 0) {
    std::copy(jpeg.begin(), jpeg.end(), packet->data);
    if (avcodec_send_packet(context, packet) == 0 && avcodec_receive_frame(context, frame) == 0 &&
        (frame->format == AV_PIX_FMT_YUVJ420P || frame->format == AV_PIX_FMT_YUV420P)) {
      BgrPicture picture{frame->width, frame->height, {}};
      picture.pixels.resize(size_t(frame->width) * size_t(frame->height) * 3);
      for (int y = 0; y < frame->height; ++y) {
        for (int x = 0; x < frame->width; ++x) {
          const double luma = frame->data[0][y * frame->linesize[0] + x];
          const double cb = frame->data[1][(y / 2) * frame->linesize[1] + x / 2] - 128.0;
          const double cr = frame->data[2][(y / 2) * frame->linesize[2] + x / 2] - 128.0;
          uint8_t* pixel = picture.row(y) + 3 * x;
          pixel[0] = clampToByte(luma + 1.772 * cb);
          pixel[1] = clampToByte(luma - 0.344136 * cb - 0.714136 * cr);
          pixel[2] = clampToByte(luma + 1.402 * cr);
        }
      }
      result = std::move(picture);
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
  return result;
}

// Mean absolute difference per colour byte; infinite when the sizes differ.
inline double meanAbsoluteError(const BgrPicture& a, const BgrPicture& b) {
  if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size() ||
      a.pixels.empty()) {
    return INFINITY;
  }
  uint64_t total = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    total += uint64_t(std::abs(a.pixels[i] - b.pixels[i]));
  return double(total) / double(a.pixels.size());
}

inline bool isCompleteJpeg(std::string_view bytes) {
  return bytes.size() >= 4 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xD8 &&
         uint8_t(bytes[bytes.size() - 2]) == 0xFF && uint8_t(bytes[bytes.size() - 1]) == 0xD9;
}

// A blocking client socket on 127.0.0.1 whose reads give up after kGenerousWait.
class LoopbackClient {
 public:
  explicit LoopbackClient(uint16_t port, int receiveBufferBytes = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBufferBytes > 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;
  ~LoopbackClient() { ::close(fd_); }

  bool connected() const { return connected_; }

  bool send(std::string_view text) {
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
  }

  // Appends what arrives to received() until done(received()) holds, the peer closes, or the
  // generous wait ends. True when done() held.
  template <typename Done>
  bool receiveUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kGenerousWait;
    char chunk[16384];
    while (!done(received_)) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      pollfd waiting{fd_, POLLIN, 0};
      if (::poll(&waiting, 1, 100) <= 0) continue;
      const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
      if (got <= 0) {
        closed_ = true;
        return done(received_);
      }
      received_.append(chunk, size_t(got));
    }
    return true;
  }

  // Reads until the server closes the connection.
  bool receiveUntilClosed() {
    receiveUntil([this](const std::string&) { return closed_; });
    return closed_;
  }

  const std::string& received() const { return received_; }
  bool closed() const { return closed_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
  std::string received_;
};

}  // namespace vexa::camera::testing
