#include "protocol/rtsp/MulticastDescribe.h"

#include <algorithm>

#include "common/DebugTrace.h"
#include "common/TextFields.h"
#include "protocol/HeaderFields.h"
#include "protocol/auth/Authenticator.h"
#include "protocol/rtsp/RtspRequests.h"
#include "protocol/rtsp/SessionDescription.h"

namespace vexa::rtsp {

namespace {

constexpr uint32_t kVideoCseq = 0;
constexpr uint32_t kAudioCseq = 1;
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeadEnd = "\r\n\r\n";
// The status code: the word after the status line's "RTSP/1.0".
constexpr std::string_view kStatusKey = "RTSP";
constexpr std::string_view kSuccess = "200";
constexpr std::string_view kUnauthorized = "401";
// Some cameras spell the header this way; that spelling is measured first.
constexpr std::string_view kContentLengthLower = "Content-length";
constexpr std::string_view kContentLength = "Content-Length";
constexpr std::string_view kVideoMedia = "m=video";
constexpr std::string_view kAudioMedia = "m=audio";
constexpr std::string_view kConnection = "c=IN";
constexpr std::string_view kAudioProfile = "RTP/AVP";
constexpr uint64_t kMaxPayloadType = 127;
constexpr uint64_t kPcmuPayloadType = 0;
constexpr uint64_t kPcmaPayloadType = 8;

std::string authorizedDescribe(const std::string& url, uint32_t cseq, const StreamConfig& config) {
  std::string request = describeRequest(url, cseq);
  if (config.userName.empty()) return request;
  const size_t afterRequestLine = request.find(kLineEnd) + kLineEnd.size();
  request.insert(afterRequestLine,
                 auth::basicAuthorizationLine({config.userName, config.password}));
  return request;
}

// The rtpmap line these cameras leave out of the video section, by the codec the model names.
std::string_view videoRtpmap(uint32_t model) {
  if (model == IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4) return "a=rtpmap:96 MP4V-ES/90000\r\n";
  if (model == IPCAMERA_VIDEO_MODEL_MULTICAST_H264 ||
      model == IPCAMERA_VIDEO_MODEL_MULTICAST_H264_2)
    return "a=rtpmap:99 H264/90000\r\n";
  return "a=rtpmap:26 JPEG/90000\r\n";
}

std::string_view audioRtpmap(uint64_t payloadType) {
  if (payloadType == kPcmuPayloadType) return "a=rtpmap:0 PCMU/8000\r\n";
  if (payloadType == kPcmaPayloadType) return "a=rtpmap:8 PCMA/8000\r\n";
  return {};
}

void insertAfterFirstLine(std::string& section, std::string_view line) {
  size_t at = section.find(kLineEnd);
  if (at == std::string::npos) {
    section += kLineEnd;
    at = section.size();
  } else {
    at += kLineEnd.size();
  }
  section.insert(at, line);
}

// Position of the first line of text that begins with prefix; npos when none does.
size_t findLineStart(std::string_view text, std::string_view prefix) {
  if (text.starts_with(prefix)) return 0;
  const size_t at = text.find(std::string(kLineEnd) + std::string(prefix));
  return at == std::string_view::npos ? at : at + kLineEnd.size();
}

// The line at `at` with its line end; up to the end of text when it has none.
std::string_view lineAt(std::string_view text, size_t at) {
  const size_t end = text.find(kLineEnd, at);
  return end == std::string_view::npos ? text.substr(at) : text.substr(at, end + 2 - at);
}

// The session-level connection line (before the first media section), which standard servers
// write instead of one per section; the section is cut from the answer, so it travels with it.
std::string sessionConnectionLine(std::string_view sessionPart) {
  const size_t at = findLineStart(sessionPart, kConnection);
  if (at == std::string_view::npos) return {};
  std::string line(lineAt(sessionPart, at));
  if (!line.ends_with(kLineEnd)) line += kLineEnd;
  return line;
}

std::string bodyOf(std::string_view answer) {
  return withCrLfLineEnds(answer.substr(answer.find(kHeadEnd) + kHeadEnd.size()));
}

}  // namespace

std::string multicastVideoDescribe(const StreamConfig& config) {
  return authorizedDescribe(streamUrl(config.host, config.rtspPort, config.path), kVideoCseq,
                            config);
}

std::string multicastAudioDescribe(const StreamConfig& config) {
  return authorizedDescribe(
      streamUrl(config.host, config.rtspPort, std::string(kMulticastAudioPath)), kAudioCseq,
      config);
}

std::string multicastDescribeToAuthorize(const StreamConfig& config, MulticastDescribeStep step) {
  const bool video = step == MulticastDescribeStep::kVideo;
  const std::string path = video ? config.path : std::string(kMulticastAudioPath);
  return describeRequest(streamUrl(config.host, config.rtspPort, path),
                         video ? kVideoCseq : kAudioCseq);
}

MulticastReadAction MulticastDescribeReading::onReceived(std::string_view bytes) {
  if (step_ == MulticastDescribeStep::kDone || videoRefused_) return MulticastReadAction::kWait;
  received_.append(bytes);
  if (received_.size() > kMaxMulticastAnswerBytes) return refuse();
  const size_t headEnd = received_.find(kHeadEnd);
  if (headEnd == std::string::npos) return MulticastReadAction::kWait;
  const std::string_view head = std::string_view(received_).substr(0, headEnd + kLineEnd.size());
  const std::string status = extractField(head, kStatusKey, ' ', ' ');
  if (status != kSuccess && status != kUnauthorized) return onAnswer({}, false);
  const std::string_view lengthKey = head.find(kContentLengthLower) != std::string_view::npos
                                         ? kContentLengthLower
                                         : kContentLength;
  const long long length = parseLeadingInteger(extractField(head, lengthKey, ':', '\r'));
  const size_t answerSize = headEnd + kHeadEnd.size();
  if (length > static_cast<long long>(kMaxMulticastAnswerBytes - answerSize)) return refuse();
  const size_t total = answerSize + size_t(std::max(length, 0LL));
  if (received_.size() < total) return MulticastReadAction::kWait;
  if (status == kUnauthorized) {
    challenge_ = head;
    received_.clear();
    return MulticastReadAction::kAuthenticate;
  }
  // Bytes beyond the announced body belong to no request of ours.
  const std::string answer = received_.substr(0, total);
  return onAnswer(answer, true);
}

MulticastReadAction MulticastDescribeReading::onAnswer(std::string_view answer, bool success) {
  received_.clear();
  if (step_ == MulticastDescribeStep::kVideo) {
    if (success) return keepVideo(answer);
    DebugTrace("multicast: the video DESCRIBE was refused; the stream stays silent\n");
    videoRefused_ = true;
    return MulticastReadAction::kWait;
  }
  if (success) return keepAudio(answer);
  step_ = MulticastDescribeStep::kDone;
  return MulticastReadAction::kFinish;
}

MulticastReadAction MulticastDescribeReading::keepVideo(std::string_view answer) {
  contentBase_ = readContentBase(answer.substr(0, answer.find(kHeadEnd) + kLineEnd.size()));
  const std::string body = bodyOf(answer);
  const size_t at = findLineStart(body, kVideoMedia);
  if (at != std::string::npos) {
    std::string section = body.substr(at);
    insertAfterFirstLine(section, videoRtpmap(model_));
    descriptionText_ += sessionConnectionLine(std::string_view(body).substr(0, at));
    descriptionText_ += section;
  }
  step_ = MulticastDescribeStep::kAudio;
  return MulticastReadAction::kSendAudioDescribe;
}

MulticastReadAction MulticastDescribeReading::keepAudio(std::string_view answer) {
  const std::string body = bodyOf(answer);
  const size_t at = findLineStart(body, kAudioMedia);
  if (at != std::string::npos) {
    std::string section = body.substr(at);
    // The group of the audio answer is the one the video answer named.
    const size_t connection = section.find(kConnection);
    if (connection != std::string::npos)
      section.erase(connection, lineAt(section, connection).size());
    const auto payloadType =
        parseDecimal(extractField(section, kAudioProfile, ' ', '\r'), kMaxPayloadType);
    const std::string_view rtpmap = payloadType ? audioRtpmap(*payloadType) : std::string_view();
    if (!rtpmap.empty()) insertAfterFirstLine(section, rtpmap);
    descriptionText_ += section;
  }
  step_ = MulticastDescribeStep::kDone;
  return MulticastReadAction::kFinish;
}

MulticastReadAction MulticastDescribeReading::refuse() {
  DebugTrace("multicast: a DESCRIBE answer beyond %zu bytes refused\n", kMaxMulticastAnswerBytes);
  received_.clear();
  if (step_ == MulticastDescribeStep::kVideo) {
    videoRefused_ = true;
    return MulticastReadAction::kGiveUp;
  }
  step_ = MulticastDescribeStep::kDone;
  return MulticastReadAction::kFinish;
}

}  // namespace vexa::rtsp
