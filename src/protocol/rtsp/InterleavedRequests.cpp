#include "protocol/rtsp/InterleavedRequests.h"

namespace vexa::rtsp {

namespace {

std::string requestLine(const char* method, const std::string& url, uint32_t cseq) {
  return std::string(method) + " " + url + " RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\n";
}

std::string userAgentAndEnd() { return std::string("User-Agent: ") + kUserAgent + "\r\n\r\n"; }

}  // namespace

std::string describeRequest(const std::string& url, uint32_t cseq) {
  return requestLine("DESCRIBE", url, cseq) + "Accept: application/sdp\r\n" + userAgentAndEnd();
}

std::string interleavedSetupRequest(const std::string& url, uint32_t cseq, int firstChannel,
                                    const std::string& session) {
  const std::string sessionLine = session.empty() ? std::string() : "Session:" + session + "\r\n";
  return requestLine("SETUP", url, cseq) + sessionLine + "Transport: RTP/AVP/TCP;unicast;interleaved=" +
         std::to_string(firstChannel) + "-" + std::to_string(firstChannel + 1) + "\r\n" +
         userAgentAndEnd();
}

// "Session:" has no blank of its own: the stored value brings it.
std::string playRequest(const std::string& url, uint32_t cseq, const std::string& session) {
  return requestLine("PLAY", url, cseq) + "Session:" + session + "\r\nRange: npt=0.000-\r\n" +
         userAgentAndEnd();
}

std::string teardownRequest(const std::string& url, uint32_t cseq, const std::string& session) {
  return requestLine("TEARDOWN", url, cseq) + "Session:" + session + "\r\n" + userAgentAndEnd();
}

}  // namespace vexa::rtsp
