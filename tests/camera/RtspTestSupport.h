#pragma once

// Helpers for the RTSP tests: a loopback client that splits answers from interleaved frames,
// an RTP header reader, and receiver-side reassembly of H.264 (RFC 6184) and JPEG (RFC 2435)
// written apart from the camera's own code.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "camera/Picture.h"
#include "common/TextFields.h"
#include "support/Codecs.h"
#include "support/Loopback.h"

namespace vexa::test {

struct RtspReply {
  int status = 0;
  std::string header;
  std::string body;

  std::string field(std::string_view name) const {
    return std::string(
        trimBlanks(extractField(header, "\r\n" + std::string(name) + ":", ':', '\r')));
  }
};

struct InterleavedFrame {
  uint8_t channel = 0;
  std::vector<uint8_t> data;
};

// An RTSP client over plain sockets: everything the camera sends is split, in order, into
// answers and interleaved frames.
class RtspTestClient {
 public:
  explicit RtspTestClient(uint16_t port) : socket_(port) {}

  bool connected() const { return socket_.connected(); }
  bool sendRaw(std::string_view bytes) { return socket_.send(bytes); }

  // Sends a request and waits for the next answer.
  std::optional<RtspReply> request(const std::string& text) {
    if (!socket_.send(text)) return std::nullopt;
    return nextReply();
  }

  std::optional<RtspReply> nextReply() {
    pump([this] { return !replies_.empty(); });
    if (replies_.empty()) return std::nullopt;
    RtspReply reply = std::move(replies_.front());
    replies_.pop_front();
    return reply;
  }

  // Reads until done() holds, the camera closes, or the generous wait ends.
  template <typename Done>
  bool pump(Done done) {
    socket_.receiveUntil([&](const std::string& data) {
      split(data);
      return done() || malformed_;
    });
    return done();
  }

  bool waitForClose() { return socket_.receiveUntilClosed(); }

  std::vector<InterleavedFrame>& frames() { return frames_; }
  // Frames and answers in arrival order: true at the index of each answer among the frames.
  const std::vector<size_t>& replyPositions() const { return replyPositions_; }
  bool malformed() const { return malformed_; }

 private:
  void split(const std::string& data) {
    while (!malformed_ && parsed_ < data.size()) {
      if (data[parsed_] == '$') {
        if (data.size() - parsed_ < 4) return;
        const size_t length = size_t(uint8_t(data[parsed_ + 2])) << 8 | uint8_t(data[parsed_ + 3]);
        if (data.size() - parsed_ < 4 + length) return;
        const auto* first = reinterpret_cast<const uint8_t*>(data.data() + parsed_ + 4);
        frames_.push_back({uint8_t(data[parsed_ + 1]), {first, first + length}});
        parsed_ += 4 + length;
        continue;
      }
      if (data.compare(parsed_, 9, "RTSP/1.0 ") != 0) {
        malformed_ = data.size() - parsed_ >= 9;
        return;
      }
      const size_t end = data.find("\r\n\r\n", parsed_);
      if (end == std::string::npos) return;
      RtspReply reply;
      reply.header = data.substr(parsed_, end + 4 - parsed_);
      reply.status = int(parseLeadingInteger(std::string_view(reply.header).substr(9)));
      const size_t length = size_t(parseLeadingInteger(reply.field("Content-Length")));
      if (data.size() < end + 4 + length) return;
      reply.body = data.substr(end + 4, length);
      parsed_ = end + 4 + length;
      replyPositions_.push_back(frames_.size());
      replies_.push_back(std::move(reply));
    }
  }

  LoopbackConnection socket_;
  size_t parsed_ = 0;
  bool malformed_ = false;
  std::deque<RtspReply> replies_;
  std::vector<size_t> replyPositions_;
  std::vector<InterleavedFrame> frames_;
};

struct ParsedRtp {
  int version = 0;
  bool marker = false;
  uint8_t payloadType = 0;
  uint16_t sequence = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0;
  std::vector<uint8_t> payload;
};

inline uint32_t bigEndian32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

// A plain 12-byte header only: the camera sends no CSRC list, extension or padding.
inline std::optional<ParsedRtp> parseRtp(const std::vector<uint8_t>& packet) {
  if (packet.size() < 12 || (packet[0] & 0x3F) != 0) return std::nullopt;
  ParsedRtp rtp;
  rtp.version = packet[0] >> 6;
  rtp.marker = (packet[1] & 0x80) != 0;
  rtp.payloadType = packet[1] & 0x7F;
  rtp.sequence = uint16_t(packet[2] << 8 | packet[3]);
  rtp.timestamp = bigEndian32(&packet[4]);
  rtp.ssrc = bigEndian32(&packet[8]);
  rtp.payload.assign(packet.begin() + 12, packet.end());
  return rtp;
}

// Rebuilds Annex B access units from single NAL unit, STAP-A and FU-A payloads.
class H264Reassembler {
 public:
  // True when the payload was understood; an access unit is complete after a marker.
  bool push(const std::vector<uint8_t>& payload) {
    if (payload.empty()) return false;
    const uint8_t type = payload[0] & 0x1F;
    if (type >= 1 && type <= 23) {
      appendUnit(payload.data(), payload.size());
    } else if (type == 24) {
      size_t at = 1;
      while (at + 2 <= payload.size()) {
        const size_t size = size_t(payload[at]) << 8 | payload[at + 1];
        if (at + 2 + size > payload.size()) return false;
        appendUnit(payload.data() + at + 2, size);
        at += 2 + size;
      }
      return at == payload.size();
    } else if (type == 28 && payload.size() > 2) {
      if (payload[1] & 0x80) {
        unit_.insert(unit_.end(), {0, 0, 0, 1, uint8_t((payload[0] & 0xE0) | (payload[1] & 0x1F))});
      }
      unit_.insert(unit_.end(), payload.begin() + 2, payload.end());
    } else {
      return false;
    }
    return true;
  }

  std::vector<uint8_t> takeAccessUnit() { return std::exchange(unit_, {}); }

 private:
  void appendUnit(const uint8_t* data, size_t size) {
    unit_.insert(unit_.end(), {0, 0, 0, 1});
    unit_.insert(unit_.end(), data, data + size);
  }

  std::vector<uint8_t> unit_;
};

// Video-range BT.601 YUV 4:2:0 frame to BGR.
inline camera::BgrPicture videoRangeToBgr(const AVFrame& frame) {
  camera::BgrPicture picture{frame.width, frame.height, {}};
  picture.pixels.resize(size_t(frame.width) * size_t(frame.height) * 3);
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const double luma = 1.164 * (frame.data[0][y * frame.linesize[0] + x] - 16.0);
      const double cb = frame.data[1][(y / 2) * frame.linesize[1] + x / 2] - 128.0;
      const double cr = frame.data[2][(y / 2) * frame.linesize[2] + x / 2] - 128.0;
      uint8_t* pixel = picture.row(y) + 3 * x;
      pixel[0] = clampByte(luma + 2.017 * cb);
      pixel[1] = clampByte(luma - 0.392 * cb - 0.813 * cr);
      pixel[2] = clampByte(luma + 1.596 * cr);
    }
  }
  return picture;
}

// FFmpeg's H.264 decoder; each picture comes back with the pts given to its access unit.
class H264TestDecoder {
 public:
  H264TestDecoder() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    context_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (context_) context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (context_ && avcodec_open2(context_, codec, nullptr) < 0) avcodec_free_context(&context_);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
  }
  ~H264TestDecoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
  }
  H264TestDecoder(const H264TestDecoder&) = delete;
  H264TestDecoder& operator=(const H264TestDecoder&) = delete;

  struct Picture {
    int64_t pts = 0;
    camera::BgrPicture bgr;
  };

  std::vector<Picture> decode(const std::vector<uint8_t>& accessUnit, int64_t pts) {
    std::vector<Picture> pictures;
    if (!context_ || av_new_packet(packet_, int(accessUnit.size())) < 0) return pictures;
    std::copy(accessUnit.begin(), accessUnit.end(), packet_->data);
    packet_->pts = pts;
    const int sent = avcodec_send_packet(context_, packet_);
    av_packet_unref(packet_);
    if (sent < 0) return pictures;
    while (avcodec_receive_frame(context_, frame_) == 0) {
      if (frame_->format == AV_PIX_FMT_YUV420P) {
        pictures.push_back({frame_->pts, videoRangeToBgr(*frame_)});
      }
      av_frame_unref(frame_);
    }
    return pictures;
  }

 private:
  AVCodecContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
};

}  // namespace vexa::test
